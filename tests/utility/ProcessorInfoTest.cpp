#include "utility/ProcessorInfo.h"

#include "TestSupport.h"
#include "platform/testing.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

TEST_F(ProcessorInfoTest, VendorsAndFeatureFlags)
{
    // Intel and other vendors take all six flags; AMD never SSE2, but the extended flags when their
    // leaf exists; without CPUID nothing is detected or measured.
    CpuAnswers intel = answers("GenuineIntel", 2, ALL_FEATURES), other = answers("SomeVendorXY", 1, 1u << 25);
    CpuAnswers amd = answers("AuthenticAMD", 1, ALL_FEATURES), oldAmd = amd, none{};
    amd.extended0[0] = 0x80000001u;
    amd.extended1[3] = oldAmd.extended1[3] = (1u << 22) | (1u << 31);
    oldAmd.extended0[0] = 0x80000000u;
    const struct { CpuAnswers* answers; std::string flags; } cases[] = {
        {&intel, "I FTCMS2"}, {&other, "O S"}, {&amd, "A FTCMS mx"}, {&oldAmd, "A FTCMS"}, {&none, ""}};
    for (const auto& c : cases) {
        platform::testing::setCpuAnswers(c.answers);
        const DWORD before = timeGetTime();
        detectProcessor();
        const ProcessorInfo& p = processorInfo;
        std::string flags = std::string(p.isIntel ? "I" : "") + (p.isAMD ? "A" : "") + (p.isOther ? "O" : "");
        flags += flags.empty() ? "" : " ";
        for (auto [has, letter] : {std::pair{p.hasFPU, 'F'}, {p.hasTSC, 'T'}, {p.hasCMOV, 'C'}, {p.hasMMX, 'M'}, {p.hasSSE, 'S'},
                                   {p.hasSSE2, '2'}})
            if (has) flags += letter;
        if (p.hasMMXExtensions || p.has3DNow || p.has3DNowExtensions)
            flags += std::string(" ") + (p.hasMMXExtensions ? "m" : "") + (p.has3DNow ? "x" : "") + (p.has3DNowExtensions ? "3" : "");
        EXPECT_EQ(c.flags, flags);
        EXPECT_TRUE(c.answers != &intel || std::string(p.vendor) == "GenuineIntel");
        EXPECT_EQ(c.answers == &none, processorInfo.cyclesPerSecond == 0 && timeGetTime() - before < 5u);
    }
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
