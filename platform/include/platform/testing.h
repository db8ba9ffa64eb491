// The one place where tests steer and observe the platform. Never used by the engine.
#pragma once

#include "platform/win32/types.h"

#include <functional>
#include <string>
#include <vector>

struct HWND__;

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

// Windows and messages. The test backend has no SDL and no lock files; switching forgets every
// window, class, queue and script.
void useTestWindows();
void useLiveWindows();
void setScreenSize(int width, int height);
// The foreground window as GetForegroundWindow reports it (no messages are sent).
void setForeground(HWND__* window);
// Pretends that another process has (or no longer has) a top-level window of the class.
void setOtherProcessWindow(const char* className, bool present);
void setKeyDown(int virtualKey, bool down);
// GetMessageA on an empty queue runs this once (it may post); when the queue is still empty it
// returns WM_NULL instead of blocking.
void setIdleHook(std::function<void()> hook);
// Messages waiting for the calling thread.
int queuedMessages();

struct WindowCalls {
    int setWindowPos = 0;
    int getMessage = 0;
    int showWindow = 0;
    // The latest SetWindowPos.
    HWND__* lastInsertAfter = nullptr;
    int lastX = 0, lastY = 0, lastWidth = 0, lastHeight = 0;
    UINT lastFlags = 0;
    int lastShowCommand = -1;
};
const WindowCalls& windowCalls();
void resetWindowCalls();

struct MessageBoxRecord {
    std::string text;
    std::string caption;
};
const std::vector<MessageBoxRecord>& messageBoxes();
void clearMessageBoxes();

// The frame script (the text of a PLATFORM_SCRIPT file). False with a line on stderr when a line
// cannot be read; the lines before it stay loaded.
bool loadScript(const char* text);
DWORD scriptFrame();

// CoInitialize calls not yet balanced by CoUninitialize on the calling thread.
int comInitCount();

}  // namespace platform::testing
