// The one place where tests steer and observe the platform. Never used by the engine.
#pragma once

#include "platform/win32/types.h"

#include <functional>

namespace platform::testing {

// Clocks. While set, timeGetTime answers the given value and Sleep only advances it.
void setManualClock(bool manual);
void setTime(DWORD milliseconds);
void advanceTime(DWORD milliseconds);
// While set, GetSystemTime answers this time.
void setSystemTime(const SYSTEMTIME* time);  // null: the real clock again

// Process exit. The hook runs instead of ending the process; it must not return (throw, or
// longjmp). Null restores the real exit.
void setExitHook(std::function<void(int code)> hook);

}  // namespace platform::testing
