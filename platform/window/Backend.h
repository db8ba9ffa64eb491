// The two window backends behind the window table: live (SDL2 when it starts, else windows without a
// screen) and test (no SDL, steered by platform/testing.h).
#pragma once

#include "platform/win32/window.h"

#include <string>
#include <thread>

namespace platform::windows {

struct WindowRecord {
    HWND handle = nullptr;
    std::string className;
    std::string title;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HINSTANCE instance = nullptr;
    HWND parent = nullptr;
    RECT rect{};  // outer rectangle in screen coordinates
    bool visible = false;
    bool minimised = false;
    std::thread::id owner;
    void* native = nullptr;  // the backend's own window (SDL_Window* when live)
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual bool isTest() const = 0;
    // Geometry and visibility changes made by the engine, to be mirrored on a real window.
    virtual void created(WindowRecord&) {}
    virtual void destroyed(WindowRecord&) {}
    virtual void shown(WindowRecord&) {}
    virtual void placed(WindowRecord&) {}
    // Turns pending platform events into posted messages. Runs on a thread that owns windows.
    virtual void poll() {}
    // Sleeps until a platform event may be pending, at most the given time.
    virtual void wait(int milliseconds) = 0;
    virtual void screenSize(int& width, int& height) = 0;
    // True when printable characters arrive as WM_CHAR of their own (text input), so TranslateMessage
    // only produces the control characters.
    virtual bool deliversText() const { return false; }
    // A top-level window of this class exists in another process.
    virtual bool otherProcessHas(const std::string&) { return false; }
    virtual void claimClass(const std::string&) {}
    virtual void releaseClass(const std::string&) {}
};

Backend* makeLiveBackend();
Backend* makeTestBackend();

// Used by the backends to feed the queues.
void postFromPlatform(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Applies a geometry or state change the user made on a real window, posting what Windows would.
void userMoved(HWND window, int clientX, int clientY);
void userResized(HWND window, int clientWidth, int clientHeight);
// A minimise or restore is made on the window's record when its thread takes the message, as Windows
// does it; a real window has made it already, and is not told again (a restore would un-maximise it).
void userMinimised(HWND window, bool minimised);
void userFocus(HWND window, bool focused);
void userKey(HWND window, int virtualKey, bool down, bool alt, bool repeat);
void userChar(HWND window, unsigned char character);
// Asks every top-level window of the calling thread to close.
void closeAll();
// Key state for GetAsyncKeyState.
void setKeyState(int virtualKey, bool down);

// Outer rectangle for a client rectangle and the reverse, by style.
RECT outerFromClient(const RECT& client, DWORD style);
RECT clientFromOuter(const RECT& outer, DWORD style);

}  // namespace platform::windows
