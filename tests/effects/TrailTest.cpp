// Trails and point trails read from the recorder: the strips they write and how they live and end.
#include "DrawnFixture.h"
#include "effects/Trail.h"

using namespace particletest;

namespace {

class TrailTest : public DrawnFixture {
protected:
    CEffect* start(const std::string& kind, const std::string& keys)
    {
        define(block(kind, "tr", "texture t.tga\n" + keys), {"tr"});
        return manager->CreateEffect("tr", Vector3(), Matrix3(), 0, nullptr, nullptr);
    }
    static std::vector<uint32_t> primitives(const std::vector<Draw>& draws)
    {
        std::vector<uint32_t> out;
        for (const Draw& d : draws) out.push_back(d.primitives);
        return out;
    }
};

}  // namespace

TEST_F(TrailTest, PointTrailsFadeAlongTheirHistoryAndDieByTheirClock)
{
    CEffect* trail = start("POINTTRAIL", "trail_length 8\nfade_start 4\ndeath_clock 30\ntrail_width 2\nvscroll 0.25\n");
    ASSERT_NE(trail, nullptr);
    std::vector<Vector3> points = {Vector3(1000, 0, 0), Vector3(1000, 50, 0), Vector3(1000, 0, 50),
                                   Vector3(1000, 50, 50), Vector3(1000, -50, 0)};
    // One strip of 2 x 9 vertices per point, joined by two more, drawn across each camera axis.
    for (uint32_t n : {1u, 2u, 5u}) {
        trail->SetFollowedPoints(n, points.data());
        const uint32_t strip = 18 * n + 2 * (n - 1) - 2;
        EXPECT_EQ(primitives(frame()), std::vector<uint32_t>({strip, strip})) << n;
    }
    EXPECT_EQ(countReports("Tried to change the thing that a point trail is following"), 2);

    // Once the history has filled, steps past fade_start 4 fade out.
    updates(9);
    points[0] = Vector3(1000, 0, 10);
    updates(1);
    std::vector<Draw> d = frame();
    std::vector<uint32_t> colours;
    for (int j = 0; j <= 8; j += 2) colours.push_back(d[0].vertices[2 * j].colour);
    EXPECT_EQ(colours, std::vector<uint32_t>({0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x80808080u, 0u}));
    // Across the horizontal axis, then the vertical one.
    expectNear(d[0].vertices[1].at(), Vector3(1000, 1, 10));
    expectNear(d[1].vertices[3].at(), Vector3(1000, 0, 1));

    // Its points taken away, the history stands and the trail fades over 30 updates.
    trail->SetFollowedPoints(0, nullptr);
    updates(15);
    EXPECT_EQ(frame()[0].vertices[0].colour, 0x80808080u);
    updates(14);
    ASSERT_TRUE(manager->IsLive(trail));
    updates(1);
    EXPECT_FALSE(manager->IsLive(trail));
}

TEST_F(TrailTest, TrailsSpanNeighbouringPointsAndEndWithNothingToFollow)
{
    CEffect* trail = start("TRAIL", "render_type 0\ntrail_length 8\n");
    updates(1);
    EXPECT_FALSE(manager->IsLive(trail));

    trail = manager->CreateEffect("tr", Vector3(), Matrix3(), 0, nullptr, nullptr);
    std::vector<Vector3> points(5, Vector3(1000, 0, 0));
    for (uint32_t n : {1u, 2u, 5u}) {
        trail->SetFollowedPoints(n, points.data());
        updates(1);
        EXPECT_EQ(primitives(frame()), n < 2 ? std::vector<uint32_t>() : std::vector<uint32_t>({18 * (n - 1) + 2 * (n - 2) - 2}));
    }
    // Each vertex lies between the step before and its own by the interpolation factor.
    points[1] = Vector3(1000, 40, 20);
    updates(1);
    const std::vector<Draw> d = frame(0.25f);
    expectNear(d[0].vertices[1].at(), Vector3(1000, 10, 5));
    expectNear(d[0].vertices[3].at(), Vector3(250, 0, 0));  // from the zeros a new history starts with
}

TEST_F(TrailTest, BadBlocksAreRefusedWithAReport)
{
    const std::pair<std::string, const char*> cases[] = {
        {block("POINTTRAIL", "a", "trail_length 0\n"), "trail_length must be at least 1"},
        {block("TRAIL", "a", "texture t.tga\nrender_type 1\ntrail_length -5\n"), "trail_length must be at least 1"},
        {block("POINTTRAIL", "a", "render_type 3\n"), "render_type must be 0, 1 or 2"},
        {block("TRAIL", "a", "texture t.tga\nrender_type -1\n"), "render_type must be 0, 1 or 2"},
    };
    int file = 0;
    for (const auto& [text, report] : cases) {
        testsupport::clearReports();
        define(text, {}, "trail" + std::to_string(++file) + ".txt");
        EXPECT_FALSE(manager->PrecacheEffect("a")) << text;
        EXPECT_EQ(countReports(std::string("Effect definition a: ") + report), 1) << text;
    }
}
