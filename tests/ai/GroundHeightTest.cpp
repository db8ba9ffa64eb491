#include "ai/AIMap.h"
#include "utility/VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(GroundHeightTest, HeightsBlendBetweenCellsAndTheNormalFollowsTheSlope)
{
    CAIMap map;
    float height = 5;
    Vector3 normal(9, 9, 9);
    EXPECT_FALSE(map.getGroundHeight(1, 1, &height, &normal));  // no map yet
    ASSERT_TRUE(map.create(5, 4, 10, -20, 100));
    // A plane rising 0.2 a unit along x and 0.3 along y, as the cells' first corners say.
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) map.setHeight(c, r, static_cast<uint16_t>(2 * c + 3 * r));
    ASSERT_TRUE(map.getGroundHeight(-20 + 13, 100 + 21, &height, &normal));
    EXPECT_NEAR(height, 0.2f * 13 + 0.3f * 21, 1e-5f);
    const float n = 1 / std::sqrt(0.04f + 0.09f + 1);
    EXPECT_NEAR(normal.x, -0.2f * n, 1e-6f);
    EXPECT_NEAR(normal.y, -0.3f * n, 1e-6f);
    EXPECT_NEAR(normal.z, n, 1e-6f);
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
}
