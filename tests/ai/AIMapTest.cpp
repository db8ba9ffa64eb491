#include "ai/AIMap.h"
#include "ai/FlagSet.h"
#include "ai/WorldMgr.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

TEST(AIMapTest, HeightsComeFromTheCellUnderThePointAndZeroOutside)
{
    CAIMap map;
    EXPECT_EQ(map.getHeightAt(0, 0), 0);
    ASSERT_TRUE(map.create(4, 3, 100, -200, 50));
    EXPECT_TRUE(map.setHeight(1, 2, 0xFFFF));  // heights are 15-bit
    EXPECT_TRUE(map.setHeight(3, 0, 7));
    EXPECT_FALSE(map.setHeight(4, 0, 7));
    // Cells of 100 from (-200, 50): the cell under the point, 0 off the map.
    const int rows[][3] = {{-100, 250, 0x7FFF}, {-1, 349, 0x7FFF}, {199, 50, 7}, {200, 50, 0},
                           {-201, 50, 0},       {0, 49, 0},        {0, 350, 0}};
    for (const auto& r : rows) EXPECT_EQ(map.getHeightAt(r[0], r[1]), r[2]) << r[0] << " " << r[1];
    EXPECT_FALSE(map.create(0, 3, 100, 0, 0));
    EXPECT_FALSE(map.create(1 << 20, 1 << 20, 1, 0, 0));
}

TEST(AIMapTest, FlagBitsAndTheWorldManagersLevel)
{
    uint8_t flags[4] = {};
    setFlagBit(flags, 0);
    setFlagBit(flags, 13);
    setFlagBit(flags, 31);
    EXPECT_EQ(std::vector<int>(flags, flags + 4), std::vector<int>({0x01, 0x20, 0, 0x80}));

    CWorldMgr world;
    EXPECT_EQ(world.getTree(), nullptr);
    EXPECT_EQ(testsupport::countReports("d_pTree"), 1);
    world.unloadLevel();
    EXPECT_FALSE(world.isLevelLoaded());
}
