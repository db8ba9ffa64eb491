// Sprite particles read from the recorder: the camera-facing squares written into the shared buffer.
#include "DrawnFixture.h"
#include "effects/particlesystem/SpriteParticles.h"

using namespace particletest;

namespace {

using SpriteParticlesTest = DrawnFixture;

std::vector<std::string> sprite(std::vector<std::string> keys)
{
    keys.insert(keys.begin(), {"texture t.tga", "render_type 0"});
    return keys;
}

// Square k of a draw: its four corners C0..C3 (the first four of its six vertices).
const DrawnVertex* square(const Draw& d, size_t k) { return &d.vertices.at(6 * k); }
Vector3 centre(const DrawnVertex* c) { return (c[0].at() + c[1].at() + c[2].at() + c[3].at()) * 0.25f; }

}  // namespace

TEST_F(SpriteParticlesTest, SquaresFollowTheirParticleFromTheFrameAfterLaunch)
{
    const std::string colour = track("colour", "200.7, 100.2, 50.9");
    CParticleEffect* e = make(drawn("spriteparticles", sprite({"count 1", "lifespan 80", "x_frames 4", "y_frames 2", colour}),
                                    "0, 0, 1"),
                              nullptr, Vector3(1000, 0, 0));
    ASSERT_NE(e, nullptr);
    updates(1);
    EXPECT_TRUE(frame().empty());  // launched in this frame
    updates(1);
    const std::vector<Draw> d = frame(0.25f);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].type, DWORD(D3DPT_TRIANGLELIST));
    EXPECT_EQ(d[0].primitives, 2u);
    CParticleSystem* s = e->GetParticleSystem();
    expectNear(centre(square(d[0], 0)), s->GetPreviousPosition(0) * 0.75f + s->GetPosition(0) * 0.25f, 1e-3f);
    // At 5/8 of its life: frame 5 of the 4 x 2 atlas, column 1 of row 1. The track's colour is
    // truncated; the width is the default size, under the cap at this distance.
    updates(49);
    ASSERT_EQ(s->GetAge(0), 50);
    e->SetFade(0.5f);
    const std::vector<Draw> later = frame();
    const DrawnVertex* c = square(later.at(0), 0);
    EXPECT_EQ(std::vector<float>({c[0].u, c[0].v, c[3].u, c[3].v}), std::vector<float>({0.5f, 1.0f, 0.25f, 0.5f}));
    EXPECT_EQ(c[0].colour, 0x7FC86432u);
    EXPECT_NEAR((c[0].at() - c[1].at()).length(), 100.0f, 1e-2f);
    // Triangles (C0, C1, C2) and (C3, C2, C1); C0 right and below, C3 left and above.
    EXPECT_TRUE(c[0].y < c[1].y && c[0].z < c[2].z && c[4].at().x == c[2].at().x && c[5].y == c[1].y);
}

TEST_F(SpriteParticlesTest, CapFadeFramesAndOrientToTravel)
{
    struct Case {
        std::vector<std::string> keys;
        Vector3 at;
        const char* gravity;
        int updates;
        float width;        // of the square drawn
        uint32_t alpha;     // of its colour
        bool upsideDown;    // its top edge below its centre
    } const cases[] = {
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
    for (const Case& c : cases) {
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
