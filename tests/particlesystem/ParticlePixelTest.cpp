// Sprites, point trails and the shipped demo drawn by the OpenGL renderer headless, read back as pixels.
#include "DrawnFixture.h"
#include "animation/AnimHierarchy.h"
#include "animation/ModelAnim.h"
#include "d3d9gl/DeviceRenderer.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"

#include <cstdlib>
#include <cstring>

using namespace particletest;

namespace {

const DWORD CLEAR = 0x000040;
const DWORD FRAMES[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};  // of a 2 x 2 atlas, row by row

class ParticlePixelTest : public DrawnFixture {
protected:
    ParticlePixelTest()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
    }
    ~ParticlePixelTest() override { d3d9ref::setRendererFactory(nullptr); }
    void SetUp() override
    {
        DrawnFixture::SetUp();
        D3DCore.SetClearColour(true, 0, 0, CLEAR);
        m_dir.write("quad.tga", lightdata::tga(64, 64, 32, [](int x, int y) { return 0xFF000000u | FRAMES[y / 32 * 2 + x / 32]; }));
    }

    // Every effect drawn over the whole target and presented; the image kept as 0xRRGGBB.
    void shoot()
    {
        drawFrame(wholeTarget(240.0f / 270.0f, 1.0f, 10000.0f), [&] {
            if (m_pModel) m_pModel->Render();
            manager->Render(1.0f);
        });
        m_image = frontBuffer(640, 480);
    }
    // The pixel where a world point lands.
    DWORD at(const Vector3& world) const
    {
        Vector3 p;
        EXPECT_TRUE(L3ViewportToScreen(world, &p));
        return m_image.at(size_t(p.y) * 640 + size_t(p.x));
    }

    std::vector<DWORD> m_image;
    CModelInst* m_pModel = nullptr;  // drawn with the effects
};

int channel(DWORD c, int k) { return int(c >> (8 * k) & 0xFF); }
int brightness(DWORD c) { return channel(c, 0) + channel(c, 1) + channel(c, 2); }

}  // namespace

TEST_F(ParticlePixelTest, SpritesShowTheirAtlasFrameByAge)
{
    ASSERT_NE(make(drawn("spriteparticles", {"texture quad.tga", "render_type 0", "material Particles\\PartLinearBlend.mtl",
                                             "count 1", "lifespan 40", "x_frames 2", "y_frames 2"}),
                   nullptr, Vector3(1000, 0, 0)),
              nullptr);
    // Ages 5, 15, 25, 35 of 40: frames 0 to 3 over the square's 100 units, nothing beyond.
    for (int f = 0, n = 6; f < 4; ++f, n = 10) {
        updates(n);
        shoot();
        EXPECT_EQ(std::vector<DWORD>({at(Vector3(1000, 0, 0)), at(Vector3(1000, 40, -40)), at(Vector3(1000, 0, 60))}),
                  std::vector<DWORD>({FRAMES[f], FRAMES[f], CLEAR})) << f;
    }
}

TEST_F(ParticlePixelTest, APointTrailLightsItsPathDimmerTowardsItsTail)
{
    define(block("POINTTRAIL", "tr", "texture trail.tga\ntrail_length 8\nfade_start 0\ntrail_width 40\nrender_type 0\n"),
           {"tr"});
    CEffect* trail = manager->CreateEffect("tr", Vector3(), Matrix3(), 0, nullptr, nullptr);
    ASSERT_NE(trail, nullptr);
    // Along the screen from left to right, 25 units an update, 1000 away.
    Vector3 point(1000, 150, 0);
    trail->SetFollowedPoints(1, &point);
    for (int i = 0; i < 12; ++i) {
        point.y -= 25;
        updates(1);
    }
    shoot();
    // Between steps j and j + 1 of its history.
    std::vector<int> along;
    for (int j = 0; j < 8; ++j) along.push_back(brightness(at(Vector3(1000, point.y + 25 * j + 12.5f, 0))));
    for (int j = 1; j < 8; ++j) EXPECT_LT(along[j], along[j - 1]) << j;
    EXPECT_GT(along[6], brightness(CLEAR));
    EXPECT_EQ(at(Vector3(1000, point.y - 30, 0)), CLEAR);      // ahead of the point
    EXPECT_EQ(at(Vector3(1000, point.y + 25 * 9, 0)), CLEAR);  // past the tail
    EXPECT_EQ(at(Vector3(1000, point.y + 50, 30)), CLEAR);     // beside the ribbon
}

TEST_F(ParticlePixelTest, TheDemoSmokeRisesFromTheWalkingRobotsHandAndTheBurstScattersAtItsFeet)
{
    for (const char* f : {"models/robot.rsm", "classdef/robot.def", "anims/robot_walk.txt", "models/demo.mtl", "models/demo.anm",
                          "models/debris.rsm", "models/debris.mtl", "models/demo.tga"})
        copyData(f);
    ground(10);
    ASSERT_TRUE(manager->ReadBlocks("data\\particles\\demo.ps_"));
    for (const char* name : {"demo_smoke", "demo_burst"}) ASSERT_TRUE(manager->PrecacheEffect(name)) << name;
    CModel* robot = CModelUtil::LoadModel("data\\models\\robot.rsm", 0, 1.0f, nullptr, 0);
    ASSERT_NE(robot, nullptr);
    m_pModel = CModelManager::CreateModelInst(robot);
    CModelAnim walk("data\\anims\\robot_walk.txt");
    ASSERT_TRUE(walk.Attach(CModelClassManager::GetClass(robot->m_classId), m_pModel));
    walk.Start();
    CAnimHierarchy& nodes = walk.GetHierarchy();
    // The robot walks along +y in front of a camera looking along +x; its hand is where the walk's
    // root, right arm and hand put it.
    L3SetViewFromAngles(Vector3(60, 140, 30), 0, 0, 0);
    const Vector3 start(150, 100, 10);
    auto walkTo = [&](const Vector3& feet) {
        std::memcpy(m_pModel->m_transform.Translation, &feet.x, sizeof(float) * 3);
        Vector3 p = nodes.FindNodeByName("hand")->Translation, q;
        for (const char* node : {"armR", "root"}) {
            nodes.FindNodeByName(node)->RotationMatrix.transform(p, q);
            p = q + nodes.FindNodeByName(node)->Translation;
        }
        return feet + p;
    };
    Vector3 feet = start;
    walk.Play(0);
    const Vector3 launch = walkTo(feet);
    CEffect* smoke = manager->CreateEffect("demo_smoke", launch, Matrix3(), 0, nullptr, nullptr);
    auto* burst = dynamic_cast<CParticleEffect*>(manager->CreateEffect("demo_burst", feet, Matrix3(), 0, nullptr, nullptr));
    ASSERT_NE(smoke, nullptr);
    ASSERT_NE(burst, nullptr);
    CEffect* trail = smoke->GetLinkedEffect();
    ASSERT_NE(trail, nullptr);
    ASSERT_EQ(CEffect::TYPE_POINTTRAIL, trail->GetType());
    for (int frame = 0; frame < 30; ++frame) {
        walk.Play(33);
        feet.y += 0.5f;
        smoke->SetPosition(walkTo(feet));
        updates(1);
    }
    ASSERT_TRUE(manager->IsLive(smoke));
    ASSERT_TRUE(manager->IsLive(burst));
    shoot();
    // The robot's hand (black: nothing lights it) is where the smoke now leaves from. The puffs
    // rose from where it was when they left: grey above it. The debris, tinted brown, lies round
    // the feet where it burst.
    Vector3 h, f;
    ASSERT_TRUE(L3ViewportToScreen(launch, &h));
    ASSERT_TRUE(L3ViewportToScreen(start, &f));
    EXPECT_EQ(at(walkTo(feet)), 0u);
    int puffs = 0, pieces = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const DWORD c = m_image[y * 640 + x];
            if (channel(c, 2) > channel(c, 0) + 40) {
                ASSERT_LT(std::abs(x - f.x), 120) << x << " " << y;
                ASSERT_LT(std::abs(y - f.y), 40) << x << " " << y;
                ++pieces;
            } else if (channel(c, 2) > 0x60 && channel(c, 2) + 8 > channel(c, 1)) {
                ASSERT_LT(y, h.y + 10) << x << " " << y;
                ASSERT_LT(std::abs(x - h.x), 150) << x << " " << y;

                puffs += y < h.y - 40;
            }
        }
    EXPECT_GT(puffs, 500);
    EXPECT_GT(pieces, 30);
    // The trail adds light to the smoke.
    const std::vector<DWORD> withTrail = m_image;
    trail->SetHidden(true);
    shoot();
    int lit = 0;
    for (size_t i = 0; i < m_image.size(); ++i) {
        lit += withTrail[i] != m_image[i];
        ASSERT_GE(brightness(withTrail[i]), brightness(m_image[i])) << i;
    }
    EXPECT_GT(lit, 20);
    EXPECT_TRUE(testsupport::reports().empty());
}
