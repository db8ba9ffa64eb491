#include "ai/AIMap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(AIMapTest, HeightsByCellWithZeroOutside)
{
    CAIMap map;
    EXPECT_EQ(0, map.getHeightAt(0, 0));  // empty map

    // 3 x 2 cells of 4 units.
    const std::vector<uint16_t> heights = {1, 2, 3, 4, 5, 0xFFFF};
    ASSERT_TRUE(map.setHeights(3, 2, 4, heights.data()));
    EXPECT_EQ(1, map.getHeightAt(0, 0));
    EXPECT_EQ(1, map.getHeightAt(3, 3));
    EXPECT_EQ(2, map.getHeightAt(4, 0));
    EXPECT_EQ(4, map.getHeightAt(0, 4));
    EXPECT_EQ(0x7FFF, map.getHeightAt(11, 7));  // heights are 15-bit
    EXPECT_EQ(0, map.getHeightAt(12, 0));
    EXPECT_EQ(0, map.getHeightAt(0, 8));
    EXPECT_EQ(0, map.getHeightAt(-1, 0));
    EXPECT_EQ(0, map.getHeightAt(0, -4));

    EXPECT_FALSE(map.setHeights(0, 2, 4, heights.data()));
    EXPECT_FALSE(map.setHeights(3, 2, 0, heights.data()));
    EXPECT_FALSE(map.setHeights(3, 2, 4, nullptr));
    EXPECT_EQ(0, map.getHeightAt(0, 0));  // a refused table empties the map
}

}  // namespace
