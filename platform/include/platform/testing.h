// The one place where tests steer and observe the platform. Never used by the engine.
#pragma once

#include "platform/win32/types.h"

#include <cstdint>
#include <functional>

namespace platform::testing {

// Clocks. While set, timeGetTime answers the given value and Sleep only advances it.
void setManualClock(bool manual);
void setTime(DWORD milliseconds);
void advanceTime(DWORD milliseconds);
// While the clock is manual, each timeGetTime call moves it on by this step after answering, so
// code that waits for the clock to pass a time finishes (0: the clock stands still).
void setClockStep(DWORD milliseconds);
// While set, GetSystemTime answers this time.
void setSystemTime(const SYSTEMTIME* time);  // null: the real clock again

// Process exit. The hook runs instead of ending the process; it must not return (throw, or
// longjmp). Null restores the real exit.
void setExitHook(std::function<void(int code)> hook);

// Processor. While answers are set, cpuid answers from them (EAX, EBX, ECX, EDX per leaf; other
// leaves give zeros) instead of the processor. Null: the processor again.
struct CpuAnswers {
    bool present;          // whether CPUID exists at all
    uint32_t leaf0[4];     // highest leaf; vendor in EBX, EDX, ECX
    uint32_t leaf1[4];     // feature bits in EDX
    uint32_t extended0[4]; // highest extended leaf
    uint32_t extended1[4]; // extended feature bits in EDX
};
void setCpuAnswers(const CpuAnswers* answers);
// While set, readTsc answers a counter that only moves by the step on each read.
void setManualCycleCounter(bool manual);
void setCycleCounter(uint64_t value);
void setCycleStep(uint64_t cycles);

}  // namespace platform::testing
