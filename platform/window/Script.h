// The frame script's clock, shared by the message pump and the live backend.
#pragma once

#include "platform/win32/window.h"

namespace platform::windows {

// One pass of the pump. A waiting pump (a blocked GetMessageA) moves the clock frame by frame
// while the script has events left, and not at all once it has none. True when events were delivered.
bool scriptTick(bool waiting);
void resetScript();
// Reads the file named by PLATFORM_SCRIPT, when set; one that cannot be read whole (missing, over
// 1 MB, not a regular file, not text, a line without a frame and a verb) ends the process with
// code 2 and a message.
void loadScriptFromEnvironment();
// The window script events address: the calling thread's first top-level window.
HWND scriptTarget();

}  // namespace platform::windows
