#include "platform/cpu.h"
#include "platform/testing.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

#if defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace {

std::mutex answersLock;
bool answersSet = false;
platform::testing::CpuAnswers answers{};

std::atomic<bool> manualCounter{false};
std::atomic<uint64_t> counterValue{0};
std::atomic<uint64_t> counterStep{0};

}  // namespace

bool cpuidSupported()
{
    {
        std::lock_guard<std::mutex> lock(answersLock);
        if (answersSet) return answers.present;
    }
#if defined(__x86_64__)
    return true;  // every x86-64 processor has CPUID
#else
    return false;
#endif
}

void cpuid(uint32_t leaf, uint32_t regs[4])
{
    {
        std::lock_guard<std::mutex> lock(answersLock);
        if (answersSet) {
            const uint32_t* from = leaf == 0            ? answers.leaf0
                                   : leaf == 1          ? answers.leaf1
                                   : leaf == 0x80000000u ? answers.extended0
                                   : leaf == 0x80000001u ? answers.extended1
                                                         : nullptr;
            if (from)
                memcpy(regs, from, 4 * sizeof(uint32_t));
            else
                memset(regs, 0, 4 * sizeof(uint32_t));
            return;
        }
    }
#if defined(__x86_64__)
    unsigned int a, b, c, d;
    __cpuid_count(leaf, 0, a, b, c, d);
    regs[0] = a;
    regs[1] = b;
    regs[2] = c;
    regs[3] = d;
#else
    memset(regs, 0, 4 * sizeof(uint32_t));
#endif
}

uint64_t readTsc()
{
    if (manualCounter) return counterValue.fetch_add(counterStep);
#if defined(__x86_64__)
    return __rdtsc();
#else
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
#endif
}

namespace platform::testing {

void setCpuAnswers(const CpuAnswers* newAnswers)
{
    std::lock_guard<std::mutex> lock(answersLock);
    answersSet = newAnswers != nullptr;
    if (newAnswers) answers = *newAnswers;
}

void setManualCycleCounter(bool manual) { manualCounter = manual; }
void setCycleCounter(uint64_t value) { counterValue = value; }
void setCycleStep(uint64_t cycles) { counterStep = cycles; }

}  // namespace platform::testing
