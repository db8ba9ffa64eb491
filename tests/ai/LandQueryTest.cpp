#include "ai/AIMap.h"
#include "utility/VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// One raised corner: the cell's two triangles differ by where its diagonal runs.
TEST(LandQueryTest, CellsAreClampedAndTheDiagonalSplitsTheGround)
{
    CAIMap map;
    EXPECT_EQ(map.getCellHeight(3, 3), 0.0f);
    EXPECT_FALSE(map.getCellDiagonal(0, 0));
    ASSERT_TRUE(map.create(3, 2, 100, 0, 0));
    map.setHeight(1, 1, 100);
    map.setHeight(2, 0, 40);
    EXPECT_EQ(map.getCellHeight(1, 1), 100.0f);
    EXPECT_EQ(map.getCellHeight(9, -4), 40.0f);  // clamped to (2, 0)
    EXPECT_EQ(map.getCellHeight(1, 7), 100.0f);
    EXPECT_FALSE(map.setDiagonal(3, 0, true));

    struct Row {
        bool other;
        float x, y;
        float height;
        float nx, ny;  // of the unnormalised normal (-slope x, -slope y, 1)
    };
    const Row rows[] = {
        {false, 50, 25, 25, 0.0f, -1.0f},  // below the diagonal: rises along y only
        {false, 25, 50, 25, -1.0f, 0.0f},  // above it: along x only
        {true, 50, 25, 0, 0.0f, 0.0f},     // the triangle without the raised corner is flat
        {true, 75, 75, 50, -1.0f, -1.0f},
    };
    for (const Row& row : rows) {
        map.setDiagonal(0, 0, row.other);
        EXPECT_EQ(map.getCellDiagonal(-1, -1), row.other);
        float height = -1;
        Vector3 normal;
        ASSERT_TRUE(map.getGroundHeight(row.x, row.y, &height, &normal));
        EXPECT_NEAR(height, row.height, 1e-4f) << row.other << " " << row.x << " " << row.y;
        const float n = 1 / std::sqrt(row.nx * row.nx + row.ny * row.ny + 1);
        EXPECT_NEAR(normal.x, row.nx * n, 1e-5f);
        EXPECT_NEAR(normal.y, row.ny * n, 1e-5f);
        EXPECT_NEAR(normal.z, n, 1e-5f);
    }
}

// Rays against a rough map, checked against a fine march along each ray: the first crossing of
// the ground is the hit, and a ray that never crosses misses.
TEST(LandQueryTest, RaysMeetTheFirstGroundTheyCross)
{
    CAIMap map;
    const int W = 12, H = 9;
    ASSERT_TRUE(map.create(W, H, 100, -300, 200));
    std::mt19937 random(7);
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            map.setHeight(c, r, static_cast<uint16_t>(random() % 400));
            map.setDiagonal(c, r, random() % 2 == 1);
        }
    Vector3 hit;
    EXPECT_FALSE(CAIMap().intersectLand(Vector3(0, 0, 0), Vector3(0, 0, -1), &hit));
    EXPECT_FALSE(map.intersectLand(Vector3(0, 500, 0), Vector3(0, 0, 0), &hit));
    EXPECT_FALSE(map.intersectLand(Vector3(0, 500, 1000), Vector3(0, 0, 1), &hit));  // up, away
    EXPECT_FALSE(map.intersectLand(Vector3(-400, 500, 100), Vector3(0, 0, -1), &hit));  // beside the map
    EXPECT_FALSE(map.intersectLand(Vector3(NAN, 500, 100), Vector3(0, 0, -1), &hit));
    ASSERT_TRUE(map.intersectLand(Vector3(140, 530, 5000), Vector3(0, 0, -3), &hit));
    float ground = 0;
    Vector3 normal;
    map.getGroundHeight(140, 530, &ground, &normal);
    EXPECT_NEAR(hit.z, ground, 1e-2f);
    EXPECT_EQ(hit.x, 140.0f);

    std::uniform_real_distribution<float> across(-500, 1100), along(0, 1200), high(-50, 600), unit(-1, 1);
    int hits = 0, misses = 0;
    for (int i = 0; i < 300; ++i) {
        const Vector3 start(across(random), along(random), high(random));
        const Vector3 direction(unit(random) * 400, unit(random) * 400, unit(random) * 150);
        // The march: steps of a hundredth of a cell's width along the ray, over the map only.
        const float length = std::sqrt(direction.x * direction.x + direction.y * direction.y);
        const int steps = static_cast<int>(length / 100 * 100 * 40) + 2000;  // 40 map widths of travel
        const float dt = 40.0f / steps;
        float expected = -1;
        float previous = NAN;
        for (int k = 0; k <= steps; ++k) {
            const float t = k * dt;
            const Vector3 p = start + direction * t;
            float g = 0;
            if (!map.getGroundHeight(p.x, p.y, &g, &normal)) {
                previous = NAN;
                continue;
            }
            const float above = p.z - g;
            if (above == 0 || (!std::isnan(previous) && (above < 0) != (previous < 0))) {
                expected = t;
                break;
            }
            previous = above;
        }
        const bool found = map.intersectLand(start, direction, &hit);
        // Grazing rays may fall either way within a step; the march is the judge elsewhere.
        if (expected < 0) {
            if (found) {
                map.getGroundHeight(hit.x, hit.y, &ground, &normal);
                EXPECT_NEAR(hit.z, ground, 0.5f) << i;
            }
            ++misses;
            continue;
        }
        ASSERT_TRUE(found) << i;
        ++hits;
        const float t = std::fabs(direction.x) > std::fabs(direction.y) ? (hit.x - start.x) / direction.x
                                                                           : (hit.y - start.y) / direction.y;
        EXPECT_NEAR(t, expected, 2 * dt + 1e-3f) << i;
        map.getGroundHeight(hit.x, hit.y, &ground, &normal);
        EXPECT_NEAR(hit.z, ground, 0.5f) << i;
    }
    EXPECT_GT(hits, 50);
    EXPECT_GT(misses, 20);
}

}  // namespace
