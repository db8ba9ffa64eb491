// Sprites, point trails and the demo drawn by the OpenGL renderer headless, read back as pixels; and
// the shipped particle data is what its generator writes.
#include "DrawnFixture.h"
#include "animation/Animation.h"
#include "animation/AnimHierarchy.h"
#include "d3d9gl/DeviceRenderer.h"
#include "l3render/ModelClassManager.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace particletest;

namespace {

const DWORD CLEAR = 0x000040;
// The four frames of a 2 x 2 atlas, row by row.
const DWORD FRAMES[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};

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
        pt::setD3D9Trace(false);
        D3DCore.SetClearColour(true, 0, 0, CLEAR);
        m_dir.write("quad.tga", lightdata::tga(64, 64, 32, [](int x, int y) { return 0xFF000000u | FRAMES[y / 32 * 2 + x / 32]; }));
    }

    // Every effect drawn and presented; the image kept as 0xRRGGBB.
    void shoot()
    {
        L3BeginScene(true);
        ViewportSettings v;
        v.aspectRatio = AspectRatioToFloat(0);
        v.width = 640, v.height = 480;
        v.nearZ = 1.0f, v.farZ = 10000.0f, v.fov = 240.0f / 270.0f;
        L3ApplyViewportSettings(v);
        manager->Render(1.0f);
        L3EndScene();
        L3Present(false);
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(DXInterface.ID3DDevice->CreateOffscreenPlainSurface(640, 480, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                                      &surface, nullptr),
                  D3D_OK);
        EXPECT_EQ(DXInterface.ID3DDevice->GetFrontBufferData(0, surface), D3D_OK);
        D3DLOCKED_RECT r{};
        surface->LockRect(&r, nullptr, D3DLOCK_READONLY);
        m_image.resize(640 * 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                m_image[y * 640 + x] = reinterpret_cast<const DWORD*>(static_cast<const uint8_t*>(r.pBits) + y * r.Pitch)[x] & 0xFFFFFF;
        surface->UnlockRect();
        surface->Release();
    }
    // The pixel where a world point lands.
    DWORD at(const Vector3& world) const
    {
        Vector3 p;
        EXPECT_TRUE(L3ViewportToScreen(world, &p));
        const int x = int(p.x) + D3DCore.LastViewPort.X, y = int(p.y) + D3DCore.LastViewPort.Y;
        return x >= 0 && x < 640 && y >= 0 && y < 480 ? m_image[y * 640 + x] : CLEAR;
    }

    std::vector<DWORD> m_image;
};

int channel(DWORD c, int k) { return int(c >> (8 * k) & 0xFF); }
int brightness(DWORD c) { return channel(c, 0) + channel(c, 1) + channel(c, 2); }

// a over b, by alpha / 255.
DWORD over(DWORD a, DWORD b, int alpha)
{
    DWORD out = 0;
    for (int k = 0; k < 3; ++k) out |= DWORD((channel(a, k) * alpha + channel(b, k) * (255 - alpha)) / 255) << (8 * k);
    return out;
}

void expectColour(DWORD got, DWORD want, int tolerance = 3)
{
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(channel(got, k), channel(want, k), tolerance) << std::hex << got << " " << want;
}

}  // namespace

TEST_F(ParticlePixelTest, ASpriteShowsItsAtlasFrameInsideItsSquare)
{
    const std::vector<std::string> keys = {"texture quad.tga", "render_type 0", "material Particles\\PartLinearBlend.mtl",
                                           "count 1", "lifespan 40", "x_frames 2", "y_frames 2"};
    CParticleEffect* e = make(drawn("spriteparticles", keys), nullptr, Vector3(1000, 0, 0));
    ASSERT_NE(e, nullptr);
    updates(6);
    // Ages 5, 15, 25, 35 of 40: frames 0 to 3. The square is 100 units across.
    for (int f = 0; f < 4; ++f, updates(10)) {
        ASSERT_EQ(e->GetParticleSystem()->GetAge(0), 5 + 10 * f);
        shoot();
        EXPECT_EQ(at(Vector3(1000, 0, 0)), FRAMES[f]) << f;
        EXPECT_EQ(at(Vector3(1000, 40, -40)), FRAMES[f]) << f;
        EXPECT_EQ(at(Vector3(1000, 0, 60)), CLEAR) << f;
        EXPECT_EQ(at(Vector3(1000, -60, 0)), CLEAR) << f;
    }
}

TEST_F(ParticlePixelTest, OverlappingTranslucentSpritesBlendInTheirDrawingOrder)
{
    // One sprite 2000 away, then ten updates later one 1000 away in front of it: half clear each,
    // in different frames of the atlas by their ages.
    for (bool sorted : {true, false}) {
        SCOPED_TRACE(sorted);
        const std::vector<std::string> keys = {
            "texture quad.tga", "render_type 0", "material Particles\\PartLinearBlend.mtl", "count 2", "lifespan 40",
            "x_frames 2", "y_frames 2", sorted ? "sort_particles 1" : "sort_particles 0",
            "alphakeys\n{\n{\nalpha 128\n}\n{\nalpha 128\n}\n}\n"};
        Definition d = drawn("spriteparticles", keys);
        d.emitter = section("pointemitter", {"power 0", "variation 0", "stagger_frames 20"});
        CParticleEffect* e = make(d, nullptr, Vector3(2000, 0, 0));
        ASSERT_NE(e, nullptr);
        updates(1);
        e->SetPosition(Vector3(1000, 0, 0));
        updates(17);
        const int32_t farAge = e->GetParticleSystem()->GetAge(0), nearAge = e->GetParticleSystem()->GetAge(1);
        const DWORD far = FRAMES[farAge * 4 / 40], near = FRAMES[nearAge * 4 / 40];
        ASSERT_NE(far, near);
        shoot();
        // Nearest first when sorted, else in launch order.
        expectColour(at(Vector3(1000, 0, 0)), sorted ? over(far, over(near, CLEAR, 128), 128)
                                                     : over(near, over(far, CLEAR, 128), 128));
        // Where only the nearer square reaches.
        expectColour(at(Vector3(1000, 40, 0)), over(near, CLEAR, 128));
        manager = std::make_unique<CEffectManager>();
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
    for (const char* f : {"models/robot.rsm", "classdef/robot.def", "anims/robot_walk.txt", "models/debris.rsm",
                          "models/debris.mtl", "models/demo.tga"})
        copyData(f);
    ground(10);
    ASSERT_TRUE(manager->ReadBlocks("data\\particles\\demo.ps_"));
    ASSERT_TRUE(manager->PrecacheEffect("demo_smoke") && manager->PrecacheEffect("demo_burst"));
    CAnimation walk("data\\anims\\robot_walk.txt");
    ASSERT_TRUE(walk.IsValid());
    walk.LoopMode = CAnimation::LOOP_WRAP;
    walk.Start();
    CAnimHierarchy& nodes = walk.GetHierarchy();
    // The robot walks along +y in front of a camera looking along +x; its hand is where the walk's
    // root, right arm and hand put it.
    L3SetViewFromAngles(Vector3(60, 140, 30), 0, 0, 0);
    const Vector3 start(150, 100, 10);
    auto hand = [&](const Vector3& feet) {
        Vector3 p = nodes.FindNodeByName("hand")->Translation, q;
        for (const char* node : {"armR", "root"}) {
            nodes.FindNodeByName(node)->RotationMatrix.transform(p, q);
            p = q + nodes.FindNodeByName(node)->Translation;
        }
        return feet + p;
    };
    Vector3 feet = start;
    walk.Advance(0);
    const Vector3 launch = hand(feet);
    CEffect* smoke = manager->CreateEffect("demo_smoke", launch, Matrix3(), 0, nullptr, nullptr);
    auto* burst = dynamic_cast<CParticleEffect*>(manager->CreateEffect("demo_burst", feet, Matrix3(), 0, nullptr, nullptr));
    ASSERT_TRUE(smoke && burst);
    CEffect* trail = smoke->GetLinkedEffect();
    ASSERT_TRUE(trail && trail->GetType() == CEffect::TYPE_POINTTRAIL);
    for (int frame = 0; frame < 30; ++frame) {
        walk.Advance(33);
        feet.y += 0.5f;
        smoke->SetPosition(hand(feet));
        updates(1);
    }
    ASSERT_TRUE(manager->IsLive(smoke) && manager->IsLive(burst));
    shoot();
    // The puffs rose from where the hand was when they left, in a cone: lit pixels above it, none
    // below it or far to either side.
    Vector3 h;
    ASSERT_TRUE(L3ViewportToScreen(launch, &h));
    int above = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            if (m_image[y * 640 + x] == CLEAR) continue;
            ASSERT_TRUE(y < h.y + 10 && std::abs(x - h.x) < 200) << x << " " << y << " " << h.x << " " << h.y;
            above += y < h.y - 40;
        }
    EXPECT_GT(above, 500);
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
    // The debris flew out from the feet, fell and lies or bounces on the ground around them.
    CParticleSystem* debris = burst->GetParticleSystem();
    float spread = 0;
    for (int32_t i = 0; i < debris->GetCount(); ++i) {
        const Vector3 d = debris->GetPosition(i) - start;
        EXPECT_GE(debris->GetPosition(i).z, 10.0f) << i;
        EXPECT_LT(Vector3(d.x, d.y, 0).length(), 80.0f) << i;
        spread = std::max(spread, Vector3(d.x, d.y, 0).length());
    }
    EXPECT_GT(spread, 10.0f);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST(ParticleData, TheSampleFilesAreWhatTheGeneratorWrites)
{
    for (const auto& [name, bytes] : particledata::files()) {
        std::ifstream in(std::string(VELDRANE_DATA) + "/" + name, std::ios::binary);
        std::stringstream shipped;
        shipped << in.rdbuf();
        EXPECT_TRUE(shipped.str() == bytes) << name << ": run tools/particledata/make-particle-data.sh";
    }
}
