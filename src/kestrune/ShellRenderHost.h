// The render core's view of the application shell: the main window, the shell's callback rows, the
// device-not-ready flag and the pump, all through WinCore. Installed with D3DCore::SetHost before
// D3DCore::Init.
#pragma once

#include "d3dcore9/D3DCoreHost.h"

class CShellRenderHost : public D3DCoreHost {
public:
    HWND MainWindow() override;
    int32_t RegisterShellFunc(uint32_t type, void (*func)()) override;
    void UnregisterShellFunc(uint32_t type, int32_t index) override;
    void SetDeviceNotReady(bool notReady) override;
    void ProcessMessages() override;
    void SetClientSize(uint32_t width, uint32_t height) override;
    void SetSystemCursor(bool keep) override;
    void BringToForeground() override;
    void RestoreWindow() override;
    void SetFullScreenWindow() override;
    void ShowMainWindow(bool show) override;
    uint32_t GetScreenWidth() override;
    uint32_t GetScreenHeight() override;
    void EraseBackground() override;
    const char* AppName() override;
    bool TakeInput() override;
    void UnacquireInput() override;
    uint64_t ReadTimeStampCounter() override;
    uint64_t GetProcessorClock() override;
};
