// The frame script's clock, shared by the message pump and the live backend.
#pragma once

#include "platform/win32/window.h"

namespace platform::windows {

// One pass of the pump. With onlyIfDue the clock moves only when events of the next frame are
// waiting (a blocked GetMessageA uses it). True when events were delivered.
bool scriptTick(bool onlyIfDue);
void resetScript();
// Reads the file named by PLATFORM_SCRIPT, when set.
void loadScriptFromEnvironment();
// The window script events address: the calling thread's first top-level window.
HWND scriptTarget();

}  // namespace platform::windows
