#include "global/GameClock.h"

#include "platform/testing.h"
#include "platform/win32.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace pt = platform::testing;

class GameClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt::setManualClock(true);
        pt::setTime(1000);
    }
    void TearDown() override { pt::setManualClock(false); }
};

TEST_F(GameClockTest, MeasuresRealTimeAndLeavesPausesOut)
{
    CGameClock clock;
    clock.start();
    pt::advanceTime(40);
    EXPECT_EQ(clock.update(), 1040u);
    EXPECT_EQ(clock.getTime(), 40u);

    clock.skipGap();
    pt::advanceTime(5000);  // paused: loading, or in the background
    clock.update();
    EXPECT_EQ(clock.getTime(), 40u);
    pt::advanceTime(30);
    clock.update();
    EXPECT_EQ(clock.getTime(), 70u);

    clock.skipGap();
    pt::advanceTime(100);
    clock.resume();
    pt::advanceTime(10);
    clock.update();
    EXPECT_EQ(clock.getTime(), 80u);
}

TEST_F(GameClockTest, TheTimerWrapCostsNothing)
{
    pt::setTime(0xFFFFFFF0u);
    CGameClock clock;
    clock.start();
    pt::advanceTime(0x20);  // wraps to 0x10
    clock.update();
    EXPECT_EQ(clock.getTime(), 0x20u);
}

TEST_F(GameClockTest, AnUnstartedClockIsReportedAndStillCounts)
{
    CGameClock clock;
    pt::setTime(25);
    clock.update();
    EXPECT_EQ(testsupport::countReports("m_running"), 1);
    EXPECT_EQ(clock.getTime(), 25u);
}
