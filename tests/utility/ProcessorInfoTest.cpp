#include "utility/ProcessorInfo.h"

#include "TestSupport.h"
#include "platform/testing.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>

using platform::testing::CpuAnswers;

namespace {

class ProcessorInfoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::setManualClock(true);
        platform::testing::setTime(1000);
        platform::testing::setClockStep(1);
        platform::testing::setManualCycleCounter(true);
        platform::testing::setCycleCounter(0);
        platform::testing::setCycleStep(2400000000u);
    }
    void TearDown() override
    {
        platform::testing::setCpuAnswers(nullptr);
        platform::testing::setManualCycleCounter(false);
        platform::testing::setCycleStep(0);
        platform::testing::setClockStep(0);
        platform::testing::setManualClock(false);
    }

    static CpuAnswers answers(const char* vendor, uint32_t maxLeaf, uint32_t features)
    {
        CpuAnswers a{};
        a.present = true;
        a.leaf0[0] = maxLeaf;
        memcpy(&a.leaf0[1], vendor, 4);
        memcpy(&a.leaf0[3], vendor + 4, 4);
        memcpy(&a.leaf0[2], vendor + 8, 4);
        a.leaf1[3] = features;
        return a;
    }
};

const uint32_t ALL_FEATURES = (1u << 0) | (1u << 4) | (1u << 15) | (1u << 23) | (1u << 25) | (1u << 26);

TEST_F(ProcessorInfoTest, IntelAndOtherVendorsTakeAllSixFlags)
{
    CpuAnswers intel = answers("GenuineIntel", 2, ALL_FEATURES);
    platform::testing::setCpuAnswers(&intel);
    detectProcessor();
    EXPECT_STREQ("GenuineIntel", processorInfo.vendor);
    EXPECT_TRUE(processorInfo.isIntel);
    EXPECT_FALSE(processorInfo.isAMD || processorInfo.isOther);
    EXPECT_TRUE(processorInfo.hasFPU && processorInfo.hasTSC && processorInfo.hasCMOV && processorInfo.hasMMX &&
                processorInfo.hasSSE && processorInfo.hasSSE2);

    CpuAnswers other = answers("SomeVendorXY", 1, 1u << 25);
    platform::testing::setCpuAnswers(&other);
    detectProcessor();
    EXPECT_TRUE(processorInfo.isOther);
    EXPECT_TRUE(processorInfo.hasSSE);
    EXPECT_FALSE(processorInfo.hasSSE2 || processorInfo.hasFPU);
}

TEST_F(ProcessorInfoTest, AmdHasNoSse2ButExtendedFlagsWhenTheLeafExists)
{
    CpuAnswers amd = answers("AuthenticAMD", 1, ALL_FEATURES);
    amd.extended0[0] = 0x80000001u;
    amd.extended1[3] = (1u << 22) | (1u << 31);
    platform::testing::setCpuAnswers(&amd);
    detectProcessor();
    EXPECT_TRUE(processorInfo.isAMD);
    EXPECT_TRUE(processorInfo.hasSSE);
    EXPECT_FALSE(processorInfo.hasSSE2);
    EXPECT_TRUE(processorInfo.hasMMXExtensions && processorInfo.has3DNow);
    EXPECT_FALSE(processorInfo.has3DNowExtensions);

    amd.extended0[0] = 0x80000000u;
    platform::testing::setCpuAnswers(&amd);
    detectProcessor();
    EXPECT_FALSE(processorInfo.hasMMXExtensions || processorInfo.has3DNow);
}

TEST_F(ProcessorInfoTest, ClockIsTheCountOverTheSecond)
{
    CpuAnswers intel = answers("GenuineIntel", 1, ALL_FEATURES);
    platform::testing::setCpuAnswers(&intel);
    detectProcessor();
    EXPECT_EQ(2400000000u, processorInfo.cyclesPerSecond);
    EXPECT_EQ(2400u, processorInfo.MHz);
    uint64_t clock = 0;
    getProcessorClock(&clock);
    EXPECT_EQ(2400000000u, clock);
    EXPECT_GE(timeGetTime(), 1000u + 2 + 1001);

    platform::testing::setCycleStep(5000000000ull);  // beyond 32 bits
    measureProcessorClock();
    EXPECT_EQ(5000000000ull, processorInfo.cyclesPerSecond);
    EXPECT_EQ(5000u, processorInfo.MHz);

    uint64_t stamp = 0;
    platform::testing::setCycleCounter(123);
    readTimeStampCounter(&stamp);
    EXPECT_EQ(123u, stamp);
}

TEST_F(ProcessorInfoTest, WithoutCpuidNothingIsDetectedOrMeasured)
{
    CpuAnswers none{};
    platform::testing::setCpuAnswers(&none);
    const DWORD before = timeGetTime();
    detectProcessor();
    EXPECT_FALSE(processorInfo.hasFPU || processorInfo.isIntel || processorInfo.isOther);
    EXPECT_EQ(0u, processorInfo.cyclesPerSecond);
    EXPECT_LT(timeGetTime() - before, 5u);
}

}  // namespace

#if defined(__x86_64__)
#include "platform/cpu.h"

TEST(ProcessorStandInTest, LiveAnswersComeFromTheProcessor)
{
    ASSERT_TRUE(cpuidSupported());
    uint32_t regs[4];
    cpuid(0, regs);
    EXPECT_GE(regs[0], 1u);
    cpuid(1, regs);
    EXPECT_TRUE(regs[3] & (1u << 4));  // every x86-64 processor has a time-stamp counter
    const uint64_t first = readTsc();
    EXPECT_GT(readTsc(), first);
}
#endif
