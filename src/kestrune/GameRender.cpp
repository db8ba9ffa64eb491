#include "kestrune/GameRender.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "d3dcore9/Screenshot.h"
#include "global/ProjData.h"
#include "kestrune/GameLogic.h"
#include "kestrune/ShellRenderHost.h"
#include "matcore9/MatCore.h"
#include "utility/IniManager.h"
#include "utility/RunLog.h"
#include "wincore/WinCore.h"

#include <cmath>

namespace {

CShellRenderHost shellHost;
bool deviceUp = false;
bool screenshotHeld = false;

int32_t displayWidth = 640;
int32_t displayHeight = 480;
int32_t displayFullScreen = 0;
int32_t displayMargin = 0;

// The game's picture is 4:3; a screen of another shape keeps bars at the sides or above and below.
void setGameViewport()
{
    const int32_t w = static_cast<int32_t>(D3DCore.GetScreenWidth()) & ~1;
    const int32_t h = static_cast<int32_t>(D3DCore.GetScreenHeight()) & ~1;
    if (w <= 0 || h <= 0) return;
    int32_t usedWidth = w, usedHeight = h;
    if (w * 3 > h * 4)
        usedWidth = 2 * static_cast<int32_t>(std::lround(h * 4.0 / 3.0 / 2.0));
    else if (w * 3 < h * 4)
        usedHeight = 2 * static_cast<int32_t>(std::lround(w * 3.0 / 4.0 / 2.0));
    D3DCore.SetViewPort(0, 0, w, h, usedWidth, usedHeight);
}

}  // namespace

bool gameRenderLoad() { return DXSetup::Load() == 0; }

void gameRenderRegisterSettings(CIniManager* ini)
{
    ini->registerItem("Display", "Width", &displayWidth, CIniManager::INI_INT);
    ini->registerItem("Display", "Height", &displayHeight, CIniManager::INI_INT);
    ini->registerItem("Display", "FullScreen", &displayFullScreen, CIniManager::INI_INT);
    ini->registerItem("Display", "ScreenMargin", &displayMargin, CIniManager::INI_INT);
}

bool gameRenderInit()
{
    // The game flow also runs without a window (its own tests): nothing to draw into then.
    if (!WinCore.MainWindowHandle) return true;
    D3DCore::SetHost(&shellHost);
    RenderCoreSettings settings;
    settings.Width = static_cast<uint32_t>(displayWidth);
    settings.Height = static_cast<uint32_t>(displayHeight);
    settings.FullScreen = displayFullScreen != 0;
    MatCore.InitRenderStates();
    if (!StartRenderCore(settings)) {
        MatCore.ShutdownRenderStates();
        writeRunLog("Failed to create the Direct3D device");
        return false;
    }
    deviceUp = true;
    MatCore.AttachDevice();
    if (!createScreenshotSurface()) writeRunLog("No screenshot surface");
    D3DCore.SetClearColour(true, 0, 0, 0);
    D3DCore.SetBorderColour(true, 0, 0, 0, 0);
    D3DCore.DrawMargin = displayMargin != 0 ? 1 : 0;
    setGameViewport();
    return true;
}

void gameRenderFrame()
{
    if (!deviceUp) return;
    D3DCore.BeginScene(true, false);
    // Scene seam: the game's viewports, cameras and HUD are drawn here.
    if (CGameLogic* pLogic = projDataExists() ? getProjData().getGameLogic() : nullptr) {
        pLogic->renderView();
        pLogic->renderAfterScene();
    }
    D3DCore.EndScene(true);
    D3DCore.Present(true);
    const bool held = (GetAsyncKeyState(VK_F12) & 0x8000) != 0;
    if (held && !screenshotHeld && FAILED(takeScreenshot())) writeRunLog("Screenshot failed");
    screenshotHeld = held;
}

void gameRenderShutdown()
{
    if (!deviceUp) return;
    releaseScreenshotSurface();
    D3DCore.ReleaseDynamicVertexBuffers();
    MatCore.DetachDevice();
    StopRenderCore();
    MatCore.ShutdownRenderStates();
    D3DCore::SetHost(nullptr);
    deviceUp = false;
}
