#include "d3dcore9/D3DCoreHost.h"

#include <chrono>

namespace {

// Stands for the main window until the shell's own host is installed.
char headlessWindow;

}  // namespace

HWND D3DCoreHost::MainWindow() { return reinterpret_cast<HWND>(&headlessWindow); }

int32_t D3DCoreHost::RegisterShellFunc(uint32_t type, void (*func)())
{
    if (type > 1) return -1;
    for (int32_t i = 0; i < 10; ++i)
        if (!m_funcs[type][i]) {
            m_funcs[type][i] = func;
            return i;
        }
    return -1;
}

void D3DCoreHost::UnregisterShellFunc(uint32_t type, int32_t index)
{
    if (type <= 1 && index >= 0 && index < 10) m_funcs[type][index] = nullptr;
}

void D3DCoreHost::SetDeviceNotReady(bool) {}
void D3DCoreHost::ProcessMessages() {}
void D3DCoreHost::SetClientSize(uint32_t, uint32_t) {}
void D3DCoreHost::SetSystemCursor(bool) {}
void D3DCoreHost::SetFullScreen(bool) {}
void D3DCoreHost::BringToForeground() {}
void D3DCoreHost::RestoreWindow() {}
void D3DCoreHost::SetFullScreenWindow() {}
void D3DCoreHost::ShowMainWindow(bool) {}
void D3DCoreHost::UnacquireInput() {}
void D3DCoreHost::EraseBackground() {}

const char* D3DCoreHost::AppName() { return "Veldrane"; }

// Headless, nobody answers: as if a key were waiting.
bool D3DCoreHost::TakeInput() { return true; }
uint32_t D3DCoreHost::GetScreenWidth() { return 1024; }
uint32_t D3DCoreHost::GetScreenHeight() { return 768; }

uint64_t D3DCoreHost::ReadTimeStampCounter()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t D3DCoreHost::GetProcessorClock() { return 1000000; }
