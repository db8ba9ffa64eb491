// Drawn particles read from the recorder: sprites as camera-facing squares in the shared buffer,
// dynamic mesh particles as instances of the shipped debris tinted through its material's texture
// factor; and the particle blocks every drawn kind refuses.
#include "DrawnFixture.h"
#include "d3dcore9/D3DCore.h"
#include "matcore9/Forwarders.h"
#include "effects/particlesystem/MeshParticles.h"
#include "effects/particlesystem/SpriteParticles.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"

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
};

using SpriteParticlesTest = DrawnFixture;

std::vector<std::string> sprite(std::vector<std::string> keys)
{
    return keys.insert(keys.begin(), {"texture t.tga", "render_type 0"}), keys;
}

// Square k of a draw: its four corners C0..C3 (the first four of its six vertices).
const DrawnVertex* square(const Draw& d, size_t k) { return &d.vertices.at(6 * k); }
Vector3 centre(const DrawnVertex* c) { return (c[0].at() + c[1].at() + c[2].at() + c[3].at()) * 0.25f; }

}  // namespace

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
            EXPECT_NEAR(static_cast<CDynamicMeshParticles*>(e->GetParticleSystem())->GetInstance(i)->m_transform.Rotation[k],
                        start.element(k), 1e-5f);
    EXPECT_EQ(tint(), 0x01FF8000u);

    // Without the creator's data there is nothing to draw: the effect is not made.
    testsupport::clearReports();
    EXPECT_EQ(make(d), nullptr);
    EXPECT_EQ(countReports("No Extra Effect Data was passed in to a dynamic mesh particles!!"), 1);
    manager.reset();
    CModelManager::ReleaseModel(model, true);
}

TEST_F(MeshParticlesTest, TheModelIsTheFileNamedNotALowerDetailVariantBesideIt)
{
    // The lowest render quality would take the damaged variant.
    ASSERT_EQ(L3Scene.renderQuality, 0);
    m_dir.write("data/models/debris_low.rsm", "damaged");
    testsupport::clearReports();
    const CParticleEffectDefinition* d =
        read(drawn("meshparticles", {"count 1", "render_type 0", "model data\\models\\debris.rsm"}));
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(static_cast<const CMeshParticlesDefinition*>(d->m_pParticleSystemDefinition)->stateBlocks.empty());
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(MeshParticlesTest, DrawnKindsRefuseWhatTheyCannotDrawAndRunOnAbsurdNumbers)
{
    const std::vector<std::string> sprite = {"count 4", "texture t.tga"};
    auto with = [](std::vector<std::string> keys, const std::string& more) { return keys.push_back(more), keys; };
    const std::pair<Definition, const char*> refused[] = {
        {drawn("spriteparticles", sprite), "needs a render_type"},
        {drawn("spriteparticles", with(sprite, "render_type 3")), "render_type must be 0, 1 or 2"},
        {drawn("spriteparticles", with(with(sprite, "render_type 0"), "x_frames 0")), "x_frames and y_frames"},
        {drawn("spriteparticles", with(with(sprite, "render_type 0"), "y_frames -1")), "x_frames and y_frames"},
        {drawn("meshparticles", {"count 1", "render_type 0"}), "Mesh particles need a model"},
        {drawn("meshparticles", {"count 1", "render_type 0", "model data\\models\\none.rsm"}), "RSM <data\\models\\none.rsm> file not found"},
        {drawn("meshparticles", {"count 1", "model data\\models\\debris.rsm", "render_type 5"}), "render_type must be 0, 1 or 2"},
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
    keys.insert(keys.end(), {"lifespan 0", "fade_frames 1"});
    testsupport::clearReports();
    ASSERT_NE(make(drawn("spriteparticles", keys, "0, 0, 1e30"), nullptr, Vector3(1000, 0, 0)), nullptr);
    for (int i = 0; i < 4; ++i) updates(1), frame(0.5f);
    EXPECT_EQ(countReports("!_isnan(m_pSpriteData[m_nextSprite].angle)"), 1);
    EXPECT_LE(testsupport::reports().size(), 2u);
}

TEST_F(SpriteParticlesTest, CapFadeFramesAndOrientToTravel)
{
    const struct {
        std::vector<std::string> keys;
        Vector3 at;
        const char* gravity;
        int updates;
        float width;        // of the square drawn
        uint32_t alpha;     // of its colour
        bool upsideDown;    // its top edge below its centre
    } cases[] = {
        // 200 units at this depth span 40 % of the width: the 20 % cap halves them.
        {{track("size", "200")}, Vector3(422.932f, 0, 0), "0, 0, 0", 3, 100.0f, 255, false},
        // A lifespan of 40 in four frames: 9 frames into the first slot of 10.
        {{"lifespan 40", "x_frames 4", "fade_frames 1"}, Vector3(1000, 0, 0), "0, 0, 0", 10, 100.0f, 229, false},
        {{"lifespan 40", "x_frames 4", "fade_frames 1"}, Vector3(1000, 0, 0), "0, 0, 0", 11, 100.0f, 0, false},
        // Without a lifespan there is no slot to ramp in.
        {{"fade_frames 1"}, Vector3(1000, 0, 0), "0, 0, 0", 5, 100.0f, 0, false},
        // Falling straight down the screen turns the square by pi; standing still, not at all.
        {{"orient_to_travel 1"}, Vector3(1000, 0, 0), "0, 0, -1", 3, 100.0f, 255, true},
        {{"orient_to_travel 1"}, Vector3(1000, 0, 0), "0, 0, 0", 3, 100.0f, 255, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.keys));
        std::vector<std::string> keys = sprite(c.keys);
        keys.push_back("count 1");
        ASSERT_NE(make(drawn("spriteparticles", keys, c.gravity), nullptr, c.at), nullptr);
        updates(c.updates);
        const std::vector<Draw> d = frame();
        ASSERT_EQ(d.size(), 1u);
        const DrawnVertex* q = square(d[0], 0);
        EXPECT_NEAR((q[0].at() - q[1].at()).length(), c.width, 0.05f);
        EXPECT_EQ(q[0].colour >> 24, c.alpha);
        EXPECT_EQ(q[2].z < centre(q).z, c.upsideDown);
        manager.reset();
        manager = std::make_unique<CEffectManager>();
    }
}

TEST_F(SpriteParticlesTest, SortedNearestFirstAndDrawnInBatchesThatFitALock)
{
    // Eight squares along the view (enough for the quicksort), launched in reverse order of distance.
    Definition d = drawn("spriteparticles", sprite({"count 8", "sort_particles 1"}));
    d.emitter = section("pointemitter", {"power 0", "variation 0", "stagger_frames 8"});
    CParticleEffect* e = make(d, nullptr, Vector3(2000, 0, 0));
    for (int i = 0; i < 8; ++i) {
        e->SetPosition(Vector3(2000.0f - 100.0f * i, 0, 0));
        updates(1);
    }
    updates(1);
    const std::vector<Draw> sorted = frame();
    ASSERT_EQ(sorted.size(), 1u);
    for (size_t k = 0; k < 8; ++k) EXPECT_NEAR(centre(square(sorted[0], k)).x, 1300.0f + 100.0f * k, 1e-2f) << k;

    // 1500 squares: 9000 vertices, while a lock may take a third of the buffer's 12000.
    manager.reset();
    manager = std::make_unique<CEffectManager>();
    make(drawn("spriteparticles", sprite({"count 1500"})), nullptr, Vector3(1000, 0, 0));
    updates(2);
    std::vector<uint32_t> batches;
    for (const Draw& b : frame()) batches.push_back(b.primitives);
    EXPECT_EQ(batches, std::vector<uint32_t>({1332, 1332, 336}));
    EXPECT_TRUE(testsupport::reports().empty());
}
