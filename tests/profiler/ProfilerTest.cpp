#include "profiler/Profiler.h"

#include "TestSupport.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <cstring>

using testsupport::countReports;

namespace {

TEST(ProfilerTest, StartAndStopAreCheckedButGoAhead)
{
    platform::testing::setManualClock(true);
    platform::testing::setTime(500);
    platform::testing::setManualCycleCounter(true);
    platform::testing::setCycleCounter(77);
    theProfiler.counters[0][0] = 5;
    theProfiler.frameCounter = 3;
    profilerStart(42);
    EXPECT_TRUE(theProfiler.started && theProfiler.running);
    EXPECT_EQ(0u, theProfiler.counters[0][0]);
    EXPECT_EQ(0u, theProfiler.frameCounter);
    EXPECT_EQ(77u, theProfiler.startStamp);
    EXPECT_EQ(0, countReports(""));

    profilerStart(43);
    EXPECT_EQ(1, countReports("!Started"));
    profilerStop();
    EXPECT_FALSE(theProfiler.started);
    profilerStop();
    EXPECT_EQ(2, static_cast<int>(testsupport::reports().size()));
    EXPECT_EQ("Started", testsupport::reports().back().expression);

    platform::testing::setManualCycleCounter(false);
    platform::testing::setManualClock(false);
}

}  // namespace
