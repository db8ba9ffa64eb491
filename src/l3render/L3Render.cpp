#include "l3render/L3Render.h"

#include "wincore/WinCore.h"

// Render-core seam: these forward to the device's screen size once the render core exists. Until
// then the render target is the main window's client area.
namespace {

RECT targetRect()
{
    RECT client{0, 0, 0, 0};
    GetClientRect(WinCore.MainWindowHandle, &client);
    return client;
}

}  // namespace

int L3GetScreenWidth() { return targetRect().right; }
int L3GetScreenHeight() { return targetRect().bottom; }
