// Mesh and dynamic mesh particles: instances of the shipped debris placed, spun and tinted through
// the texture factor of its material; and the particle blocks every drawn kind refuses.
#include "DrawnFixture.h"
#include "d3dcore9/D3DCore.h"
#include "matcore9/Forwarders.h"
#include "effects/particlesystem/MeshParticles.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"

#include <cmath>

using namespace particletest;

namespace {

class MeshParticlesTest : public DrawnFixture {
protected:
    void SetUp() override
    {
        DrawnFixture::SetUp();
        for (const char* f : {"models/debris.rsm", "models/debris.mtl", "models/demo.tga"}) copyData(f);
    }
    // The texture factor the debris material last took.
    static DWORD tint() { return D3DCore.StateBlocks.GetSB(MatFindStateBlock("debris"))->GMaterial->TextureFactor; }
    static const float* rotation(CModelInst* pInstance) { return pInstance->m_transform.Rotation; }
};

const std::string DEBRIS = "model data\\models\\debris.rsm";

float wrapped(float a) { return a > 3.14159265f ? a - 6.28318531f : (a < -3.14159265f ? a + 6.28318531f : a); }

}  // namespace

TEST_F(MeshParticlesTest, InstancesSpinTheShortWayAndTintEveryMaterial)
{
    CParticleEffect* e = make(drawn("meshparticles", {"count 1", DEBRIS, "rotation 0, 0, 179", "render_type 1",
                                                      track("colour", "200.9, 100.5, 50"),
                                                      track("scale", "2, 3, 4")}),
                              nullptr, Vector3(1000, 0, 0));
    ASSERT_NE(e, nullptr);
    auto* s = static_cast<CMeshParticles*>(e->GetParticleSystem());
    const auto* def = static_cast<const CMeshParticlesDefinition*>(s->GetDefinition());
    EXPECT_EQ(def->stateBlocks, std::vector<DWORD>({MatFindStateBlock("debris")}));
    EXPECT_NEAR(s->GetCollisionRadius(0), 3.0f * def->model->m_radius, 1e-5f);
    // A spin about the third axis alone (the first angle kept): the rotation wraps into -pi..pi.
    std::vector<float> angles;
    for (int k = 0; k < 2; ++k) {
        updates(1);
        angles.push_back(s->GetRotation(0)[0]);
        EXPECT_EQ(std::vector<float>({s->GetRotation(0)[1], s->GetRotation(0)[2]}), std::vector<float>({0, 0}));
    }
    const float spin = angles[0];
    ASSERT_GT(std::fabs(spin), 1.6f);  // so that two spins pass pi
    EXPECT_NEAR(angles[1], wrapped(2 * spin), 1e-5f);
    // Drawn in the manager's pass 3 a quarter of the way across the wrap: the short way, by the spin.
    frame(0.25f);
    const float* r = rotation(s->GetInstance(0));
    EXPECT_NEAR(std::atan2(-r[1], r[0]), wrapped(spin * 1.25f), 1e-4f);
    // Every material of the debris takes the tint, truncated; without alpha keys the alpha is 1.
    EXPECT_EQ(tint(), 0x01C86432u);
    EXPECT_EQ(std::vector<float>(s->GetInstance(0)->m_transform.Scale, s->GetInstance(0)->m_transform.Scale + 3),
              std::vector<float>({2, 3, 4}));
}

TEST_F(MeshParticlesTest, DynamicPiecesKeepTheirStartAndTheCreatorsColour)
{
    CModel* model = CModelUtil::LoadModel("data\\models\\debris.rsm", 0, 1.0f, nullptr, 0);
    ASSERT_NE(model, nullptr);
    Matrix3 start;
    start.setRotationZ(0.5f);
    DynamicMeshData data = {model, &start, 1.5f, 1, 0x00FF8000u};
    ParticleEffectExtraData extra = {&data, nullptr, nullptr};
    const Definition d = drawn("dynamicmeshparticles", {"count 2", "render_type 0", track("scale", "2"),
                                                        track("colour", "1, 2, 3")});
    CParticleEffect* e = make(d, &extra, Vector3(1000, 0, 0));
    ASSERT_NE(e, nullptr);
    EXPECT_NEAR(e->GetParticleSystem()->GetCollisionRadius(1), 2.0f * model->m_radius, 1e-5f);
    updates(20);
    frame(0.5f);
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 9; ++k)
            EXPECT_NEAR(rotation(static_cast<CDynamicMeshParticles*>(e->GetParticleSystem())->GetInstance(i))[k],
                        start.element(k), 1e-5f);
    EXPECT_EQ(tint(), 0x01FF8000u);

    // Without the creator's data there is nothing to draw: the effect is not made.
    testsupport::clearReports();
    EXPECT_EQ(make(d), nullptr);
    EXPECT_EQ(countReports("No Extra Effect Data was passed in to a dynamic mesh particles!!"), 1);
    manager.reset();
    CModelManager::ReleaseModel(model, true);
}

TEST_F(MeshParticlesTest, DrawnKindsRefuseWhatTheyCannotDrawAndRunOnAbsurdNumbers)
{
    const std::vector<std::string> sprite = {"count 4", "texture t.tga"};
    auto with = [](std::vector<std::string> keys, const std::string& more) {
        keys.push_back(more);
        return keys;
    };
    const std::pair<Definition, const char*> refused[] = {
        {drawn("spriteparticles", sprite), "needs a render_type"},
        {drawn("spriteparticles", with(sprite, "render_type 3")), "render_type must be 0, 1 or 2"},
        {drawn("spriteparticles", with(with(sprite, "render_type 0"), "x_frames 0")), "x_frames and y_frames"},
        {drawn("spriteparticles", with(with(sprite, "render_type 0"), "y_frames -1")), "x_frames and y_frames"},
        {drawn("meshparticles", {"count 1", "render_type 0"}), "Mesh particles need a model"},
        {drawn("meshparticles", {"count 1", "render_type 0", "model data\\models\\none.rsm"}), "cannot load"},
        {drawn("meshparticles", {"count 1", DEBRIS, "render_type 5"}), "render_type must be 0, 1 or 2"},
        {drawn("dynamicmeshparticles", {"count 1"}), "needs a render_type"},
    };
    for (const auto& [d, report] : refused) {
        testsupport::clearReports();
        EXPECT_EQ(read(d), nullptr) << d.text();
        EXPECT_EQ(countReports(report), 1) << d.text();
    }
    // Colours, sizes and spins no byte or float holds: drawn all the same, the bad angle reported once.
    const std::string absurd[] = {"colour 1e30, -1e30, nan", "alpha 1e30", "size 1e30", "angle nan"};
    std::vector<std::string> keys = with(with(sprite, "render_type 0"), "rotation 1e38");
    for (const std::string& key : absurd) keys.push_back(track(key.substr(0, key.find(' ')), key.substr(key.find(' ') + 1)));
    keys.push_back("lifespan 0");
    keys.push_back("fade_frames 1");
    testsupport::clearReports();
    ASSERT_NE(make(drawn("spriteparticles", keys, "0, 0, 1e30"), nullptr, Vector3(1000, 0, 0)), nullptr);
    for (int i = 0; i < 4; ++i) {
        updates(1);
        frame(0.5f);
    }
    EXPECT_EQ(countReports("!_isnan(m_pSpriteData[m_nextSprite].angle)"), 1);
    EXPECT_LE(testsupport::reports().size(), 2u);
}
