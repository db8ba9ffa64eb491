// The shell services the render core uses: the main window, the shell's callback rows, the
// device-not-ready flag, the message pump and window placement, and the processor clock. The
// application shell installs its own host (D3DCore::SetHost) before D3DCore::Init; until then a
// headless host answers: a window handle that is never shown, no messages, a 1024 x 768 screen and
// a microsecond clock.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

class D3DCoreHost {
public:
    virtual ~D3DCoreHost() = default;

    virtual HWND MainWindow();
    // Rows as the shell's: 0 activate, 1 deactivate. Returns the slot, -1 when the row is full.
    virtual int32_t RegisterShellFunc(uint32_t type, void (*func)());
    virtual void UnregisterShellFunc(uint32_t type, int32_t index);
    // The shell's copy of the device-lost byte: its pump waits for messages while it is set.
    virtual void SetDeviceNotReady(bool notReady);
    // One pump of the shell's messages, not as the main pump (WM_QUIT is consumed).
    virtual void ProcessMessages();
    virtual void SetClientSize(uint32_t width, uint32_t height);
    // The shell keeps the system cursor while windowed and hides it full-screen.
    virtual void SetSystemCursor(bool keep);
    virtual void SetFullScreen(bool fullScreen);
    // SetForegroundWindow, a pump, SetActiveWindow, a pump.
    virtual void BringToForeground();
    virtual void RestoreWindow();        // ShowWindow(SW_RESTORE)
    virtual void SetFullScreenWindow();  // WS_POPUP over the whole screen, hidden
    virtual void ShowMainWindow(bool show);
    virtual uint32_t GetScreenWidth();
    virtual uint32_t GetScreenHeight();
    // The processor's time-stamp counter and its rate in cycles per second.
    virtual uint64_t ReadTimeStampCounter();
    virtual uint64_t GetProcessorClock();
    // The device was lost: the keyboard and mouse let go of their devices.
    virtual void UnacquireInput();
    // Windowed and lost: the main window is sent WM_ERASEBKGND so the shell paints it black.
    virtual void EraseBackground();
    // The application's name, as the loading screen's title shows it.
    virtual const char* AppName();
    // Takes one entry of the shell's input queue; false when none is waiting.
    virtual bool TakeInput();

private:
    void (*m_funcs[2][10])() = {};
};
