#include "ai/AIMap.h"
#include "ai/FlagSet.h"
#include "ai/WorldMgr.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(AIMapTest, HeightsComeFromTheCellUnderThePointAndZeroOutside)
{
    CAIMap map;
    EXPECT_EQ(map.getHeightAt(0, 0), 0);
    ASSERT_TRUE(map.create(4, 3, 100, -200, 50));
    EXPECT_TRUE(map.setHeight(1, 2, 0xFFFF));  // heights are 15-bit
    EXPECT_TRUE(map.setHeight(3, 0, 7));
    EXPECT_FALSE(map.setHeight(4, 0, 7));
    EXPECT_EQ(map.getHeightAt(-100, 250), 0x7FFF);
    EXPECT_EQ(map.getHeightAt(-1, 349), 0x7FFF);
    EXPECT_EQ(map.getHeightAt(199, 50), 7);
    EXPECT_EQ(map.getHeightAt(200, 50), 0);
    EXPECT_EQ(map.getHeightAt(-201, 50), 0);
    EXPECT_EQ(map.getHeightAt(0, 49), 0);
    EXPECT_EQ(map.getHeightAt(0, 350), 0);
    EXPECT_FALSE(map.create(0, 3, 100, 0, 0));
    EXPECT_FALSE(map.create(1 << 20, 1 << 20, 1, 0, 0));
}

TEST(AIMapTest, FlagBitsAndTheWorldManagersLevel)
{
    uint8_t flags[4] = {};
    setFlagBit(flags, 0);
    setFlagBit(flags, 13);
    setFlagBit(flags, 31);
    EXPECT_EQ(flags[0], 0x01);
    EXPECT_EQ(flags[1], 0x20);
    EXPECT_EQ(flags[3], 0x80);

    CWorldMgr world;
    EXPECT_EQ(world.getTree(), nullptr);
    EXPECT_EQ(testsupport::countReports("d_pTree"), 1);
    world.unloadLevel();
    EXPECT_FALSE(world.isLevelLoaded());
}
