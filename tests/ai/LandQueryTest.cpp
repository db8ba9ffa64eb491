#include "ai/AIMap.h"
#include "utility/VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

TEST(LandQueryTest, HeightsBlendBetweenCellsAndTheNormalFollowsTheSlope)
{
    CAIMap map;
    float height = 5;
    Vector3 normal(9, 9, 9);
    EXPECT_FALSE(map.getGroundHeight(1, 1, &height, &normal));  // no map yet
    EXPECT_EQ(map.getHeightAt(0, 0), 0);
    EXPECT_FALSE(map.create(0, 3, 100, 0, 0));
    EXPECT_FALSE(map.create(1 << 20, 1 << 20, 1, 0, 0));
    ASSERT_TRUE(map.create(5, 4, 10, -20, 100));
    // A plane rising 0.2 a unit along x and 0.3 along y, as the cells' first corners say.
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) map.setHeight(c, r, static_cast<uint16_t>(2 * c + 3 * r));
    EXPECT_FALSE(map.setHeight(5, 0, 7));
    ASSERT_TRUE(map.getGroundHeight(-20 + 13, 100 + 21, &height, &normal));
    EXPECT_NEAR(height, 0.2f * 13 + 0.3f * 21, 1e-5f);
    const float n = 1 / std::sqrt(0.04f + 0.09f + 1);
    EXPECT_NEAR((normal - Vector3(-0.2f * n, -0.3f * n, n)).length(), 0.0f, 1e-6f);
    // Past the last corners the ground is level.
    ASSERT_TRUE(map.getGroundHeight(-20 + 45, 100 + 35, &height, &normal));
    EXPECT_FLOAT_EQ(height, 2 * 4 + 3 * 3);
    EXPECT_EQ(normal.z, 1.0f);

    // Outside the map, or at no number at all: false, height 0, the normal as it was.
    const float outside[][2] = {{-21, 110}, {30, 110}, {0, 99}, {0, 140}, {NAN, 110}, {0, INFINITY}, {1e30f, 0}};
    for (const auto& p : outside) {
        height = 5;
        normal.set(9, 9, 9);
        EXPECT_FALSE(map.getGroundHeight(p[0], p[1], &height, &normal)) << p[0] << " " << p[1];
        EXPECT_EQ(height, 0.0f);
        EXPECT_EQ(normal.x, 9.0f);
    }
    // The plain look-up takes the cell under the point, 0 off the map; heights are 15-bit.
    map.setHeight(0, 0, 0xFFFF);
    const int cells[][3] = {{-20, 100, 0x7FFF}, {-7, 121, 8}, {29, 139, 17}, {30, 110, 0},
                            {-21, 110, 0},      {0, 99, 0},   {0, 140, 0}};
    for (const auto& c : cells) EXPECT_EQ(map.getHeightAt(c[0], c[1]), c[2]) << c[0] << " " << c[1];
}

// One raised corner: the cell's two triangles differ by where its diagonal runs.
TEST(LandQueryTest, CellsAreClampedAndTheDiagonalSplitsTheGround)
{
    CAIMap map;
    EXPECT_EQ(map.getCellHeight(3, 3), 0.0f);
    ASSERT_TRUE(map.create(3, 2, 100, 0, 0));
    map.setHeight(1, 1, 100);
    map.setHeight(2, 0, 40);
    EXPECT_EQ(std::vector<float>({map.getCellHeight(1, 1), map.getCellHeight(9, -4), map.getCellHeight(1, 7)}),
              std::vector<float>({100, 40, 100}));  // clamped to the map
    EXPECT_FALSE(map.setDiagonal(3, 0, true));
    // Other diagonal, x, y, height, and the unnormalised normal's (-slope x, -slope y).
    const float rows[][6] = {{0, 50, 25, 25, 0, -1},  // below the diagonal: rises along y only
                             {0, 25, 50, 25, -1, 0},  // above it: along x only
                             {1, 50, 25, 0, 0, 0},    // the triangle without the raised corner is flat
                             {1, 75, 75, 50, -1, -1}};
    for (const auto& r : rows) {
        map.setDiagonal(0, 0, r[0] != 0);
        EXPECT_EQ(map.getCellDiagonal(-1, -1), r[0] != 0);
        float height = -1;
        Vector3 normal;
        ASSERT_TRUE(map.getGroundHeight(r[1], r[2], &height, &normal));
        EXPECT_NEAR(height, r[3], 1e-4f) << r[0] << " " << r[1] << " " << r[2];
        const float n = 1 / std::sqrt(r[4] * r[4] + r[5] * r[5] + 1);
        EXPECT_NEAR((normal - Vector3(r[4] * n, r[5] * n, n)).length(), 0.0f, 1e-5f);
    }
}

// Rays against a rough map, checked against a fine march along each ray: the first crossing of
// the ground is the hit, and a ray that never crosses misses.
TEST(LandQueryTest, RaysMeetTheFirstGroundTheyCross)
{
    CAIMap map;
    ASSERT_TRUE(map.create(12, 9, 100, -300, 200));
    std::mt19937 random(7);
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 12; ++c) {
            map.setHeight(c, r, static_cast<uint16_t>(random() % 400));
            map.setDiagonal(c, r, random() % 2 == 1);
        }
    Vector3 hit, normal;
    EXPECT_FALSE(CAIMap().intersectLand(Vector3(0, 0, 0), Vector3(0, 0, -1), &hit));
    // No direction, up and away, beside the map, no number.
    for (const auto& [from, to] : {std::pair(Vector3(0, 500, 0), Vector3(0, 0, 0)),
                                   {Vector3(0, 500, 1000), Vector3(0, 0, 1)},
                                   {Vector3(-400, 500, 100), Vector3(0, 0, -1)},
                                   {Vector3(NAN, 500, 100), Vector3(0, 0, -1)}})
        EXPECT_FALSE(map.intersectLand(from, to, &hit));
    std::uniform_real_distribution<float> across(-500, 1100), along(0, 1200), high(-50, 600), unit(-1, 1);
    int hits = 0;
    const float dt = 0.002f;  // a step of at most 1.2 units over the ground
    for (int i = 0; i < 300; ++i) {
        const Vector3 start(across(random), along(random), high(random));
        const Vector3 direction(unit(random) * 400, unit(random) * 400, unit(random) * 150);
        float expected = -1, previous = NAN, g = 0;
        for (int k = 0; k <= 20000 && expected < 0; ++k) {
            const Vector3 p = start + direction * (k * dt);
            const bool over = map.getGroundHeight(p.x, p.y, &g, &normal);
            if (over && (p.z == g || (!std::isnan(previous) && (p.z < g) != (previous < 0)))) expected = k * dt;
            previous = over ? p.z - g : NAN;
        }
        const bool found = map.intersectLand(start, direction, &hit);
        if (found) {  // grazing rays may fall either way within a step
            map.getGroundHeight(hit.x, hit.y, &g, &normal);
            EXPECT_NEAR(hit.z, g, 0.5f) << i;
        }
        if (expected < 0) continue;
        ASSERT_TRUE(found) << i;
        ++hits;
        const bool alongX = std::fabs(direction.x) > std::fabs(direction.y);
        EXPECT_NEAR(alongX ? (hit.x - start.x) / direction.x : (hit.y - start.y) / direction.y, expected, 2 * dt + 1e-3f)
            << i;
    }
    EXPECT_GT(hits, 50);
}

}  // namespace
