#include "kestrune/ShellRenderHost.h"

#include "input/InputDevices.h"
#include "utility/ProcessorInfo.h"
#include "wincore/WinCore.h"

HWND CShellRenderHost::MainWindow() { return WinCore.MainWindowHandle; }

int32_t CShellRenderHost::RegisterShellFunc(uint32_t type, void (*func)())
{
    return WinCore.RegisterFunc(type, func).Index;
}

void CShellRenderHost::UnregisterShellFunc(uint32_t type, int32_t index)
{
    WinCore.UnregisterFunc(WinCoreFuncHandle{type, index});
}

void CShellRenderHost::SetDeviceNotReady(bool notReady) { WinCore.DeviceNotReady = notReady; }

void CShellRenderHost::ProcessMessages() { WinCore.ProcessMessages(false); }

void CShellRenderHost::SetClientSize(uint32_t width, uint32_t height)
{
    WinCore.SetClientSize(static_cast<int>(width), static_cast<int>(height));
}

void CShellRenderHost::SetSystemCursor(bool keep) { WinCore.SetSystemCursor(keep); }

void CShellRenderHost::BringToForeground()
{
    SetForegroundWindow(WinCore.MainWindowHandle);
    WinCore.ProcessMessages(false);
    SetActiveWindow(WinCore.MainWindowHandle);
    WinCore.ProcessMessages(false);
}

void CShellRenderHost::RestoreWindow() { ShowWindow(WinCore.MainWindowHandle, SW_RESTORE); }

void CShellRenderHost::SetFullScreenWindow() { WinCore.SetFullScreenWindow(); }

void CShellRenderHost::ShowMainWindow(bool show) { WinCore.ShowMainWindow(show); }

uint32_t CShellRenderHost::GetScreenWidth() { return static_cast<uint32_t>(WinCore.GetScreenWidth()); }

uint32_t CShellRenderHost::GetScreenHeight() { return static_cast<uint32_t>(WinCore.GetScreenHeight()); }

void CShellRenderHost::EraseBackground() { SendMessageA(WinCore.MainWindowHandle, WM_ERASEBKGND, 0, 0); }

const char* CShellRenderHost::AppName() { return WinCore.AppName ? WinCore.AppName : ""; }

// A character, or the 0 that stands for an extended key (its code then waits on the other stack).
// A window closed meanwhile answers too: nobody is left to press a key.
bool CShellRenderHost::TakeInput()
{
    if (WinCore.Quit) return true;
    uint8_t key = 0;
    if (!WinCore.pWinKeyStack || !WinCore.pWinKeyStack->Pop(key)) return false;
    if (key == 0 && WinCore.pWinExtendedKeyStack) WinCore.pWinExtendedKeyStack->Pop(key);
    return true;
}

uint64_t CShellRenderHost::ReadTimeStampCounter()
{
    uint64_t value = 0;
    readTimeStampCounter(&value);
    return value;
}

uint64_t CShellRenderHost::GetProcessorClock()
{
    uint64_t clock = 0;
    getProcessorClock(&clock);
    return clock;
}

void CShellRenderHost::UnacquireInput()
{
    unacquireKeyboard();
    unacquireMouse();
}
