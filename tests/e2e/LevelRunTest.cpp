// The demo level in a headless run of the game: its tree clumps and its fountain's particles in a
// screenshot of the level's view, and the fountain's splashes in the sound output.
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Point {
    float x, y, z;
};

// Where a world point shows in a 640 x 480 screenshot: the fixed view of the level (from above
// (2300, 3300, 900) towards (3650, 3300, 250), a view window 0.75 high at depth 1) in its viewport
// at the picture's top right.
struct LevelView {
    static constexpr float X = 396, Y = 24, W = 224, H = 172;
    Point d, h, u;
    LevelView()
    {
        d = unit({1350, 0, -650});
        h = unit({-d.y, d.x, 0});  // up x depth
        u = {d.y * h.z - d.z * h.y, d.z * h.x - d.x * h.z, d.x * h.y - d.y * h.x};
    }
    static Point unit(Point p)
    {
        const float l = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        return {p.x / l, p.y / l, p.z / l};
    }
    static float dot(Point a, Point b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
    void screen(Point p, int* px, int* py) const
    {
        const Point r{p.x - 2300, p.y - 3300, p.z - 900};
        const float depth = dot(r, d);
        *px = static_cast<int>(std::lround(X + W / 2 - dot(r, h) / depth / (0.375f * W / H) * W / 2));
        *py = static_cast<int>(std::lround(Y + H / 2 - dot(r, u) / depth / 0.375f * H / 2));
    }
};

class Screenshot {
public:
    explicit Screenshot(const std::string& tga) : m_tga(tga), m_topFirst((static_cast<uint8_t>(tga[17]) & 0x20) != 0) {}
    bool valid() const { return m_tga.size() == 18u + 640u * 480u * 4u; }
    // Red, green and blue of a pixel.
    void rgb(int x, int y, int* c) const
    {
        const size_t at = 18 + (static_cast<size_t>(m_topFirst ? y : 479 - y) * 640 + x) * 4;
        for (int i = 0; i < 3; ++i) c[i] = static_cast<uint8_t>(m_tga[at + 2 - i]);
    }
    // Pixels of the square of that half size about the world point that pass the test.
    template <class Test>
    int count(const LevelView& view, Point p, int half, Test test) const
    {
        int sx = 0, sy = 0, n = 0;
        view.screen(p, &sx, &sy);
        for (int y = sy - half; y <= sy + half; ++y)
            for (int x = sx - half; x <= sx + half; ++x) {
                int c[3];
                rgb(x, y, c);
                n += test(c[0], c[1], c[2]);
            }
        return n;
    }

private:
    std::string m_tga;
    bool m_topFirst;
};

bool leafGreen(int r, int g, int b) { return g > r + 40 && g > b + 40; }
bool water(int r, int g, int b) { return b > 110 && b > r + 30 && g > r; }

TEST(LevelRunTest, TheDemoLevelShowsItsTreeClumpsAndItsFountainAndTheFountainIsHeard)
{
    testsupport::TempDir dir;
    copyData(dir);
    ASSERT_TRUE(withoutLoadingScreen(dir));
    // By the 150th frame the bouncing balls no longer rise in front of the far trees.
    ASSERT_EQ(finishGame(startGame(dir, "150 keydown F12\n153 keyup F12\n170 close\n", -1, true), 90), 0);
    const std::string log = textOf(dir, "Veldrane.log");
    EXPECT_EQ(log, "");  // nothing reported
    ASSERT_TRUE(dir.exists("Veldrane_00000.tga")) << textOf(dir, "stderr.txt");
    const Screenshot shot(dir.read("Veldrane_00000.tga"));
    ASSERT_TRUE(shot.valid());
    const LevelView view;

    // The grove near the view, the row of trees far off and the bushes: their crowns in leaf colours
    // (each tree is a trunk under a box of a crown, 80 wide, from 80 to 240 above the ground).
    const Point crowns[] = {{3250, 3080, 150}, {3320, 3140, 150}, {3240, 3190, 150}, {3380, 3060, 150},
                            {3300, 3010, 150}, {5600, 2500, 160}, {5690, 2660, 160}, {5600, 3140, 160},
                            {5690, 3620, 160}, {5600, 4100, 160}, {4400, 2500, 25},  {4560, 4080, 25}};
    for (const Point& p : crowns) EXPECT_GT(shot.count(view, p, 1, leafGreen), 0) << p.x << " " << p.y;
    // Not in the sky above the far trees, nor on the open ground before them.
    const Point bare[] = {{5600, 3300, 700}, {5200, 3000, 0}, {4500, 3300, 20}, {4000, 2600, 0}};
    for (const Point& p : bare) EXPECT_EQ(shot.count(view, p, 1, leafGreen), 0) << p.x << " " << p.y;

    // The fountain's drops above its foot at (3500, 3300), in water colours, and none beside it.
    int drops = 0;
    for (float z = 40; z <= 280; z += 40) drops += shot.count(view, {3500, 3300, z}, 3, water);
    EXPECT_GT(drops, 40);
    EXPECT_EQ(shot.count(view, {3500, 3800, 100}, 3, water), 0);

    // Its splashes (every 45 game steps) in the output: bursts of sound between stretches of silence.
    const std::string raw = textOf(dir, "audio.raw");
    ASSERT_GT(raw.size(), 44100u * 8u);
    std::vector<float> mix(raw.size() / 4);
    std::memcpy(mix.data(), raw.data(), mix.size() * 4);
    float peak = 0;
    int bursts = 0;
    size_t lastLoud = 0;
    for (size_t i = 0; i < mix.size(); ++i) {
        const float level = std::fabs(mix[i]);
        peak = std::max(peak, level);
        if (level < 0.01f) continue;
        // Loud after a quarter of a second of quiet (two channels a frame): a new burst.
        if (bursts == 0 || i - lastLoud > 44100 / 2) ++bursts;
        lastLoud = i;
    }
    EXPECT_GT(peak, 0.1f);
    EXPECT_GE(bursts, 2);
}

}  // namespace
