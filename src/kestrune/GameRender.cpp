#include "kestrune/GameRender.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "d3dcore9/Screenshot.h"
#include "global/ProjData.h"
#include "kestrune/GameLogic.h"
#include "kestrune/ShellRenderHost.h"
#include "matcore9/Forwarders.h"
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
int32_t displayStatistics = 0;
int32_t loadingFrames = 0;

// The sample data's overlay font and the start-up loading screen.
const char* const HUD_TEXTURE = "data\\overlay\\hudfont.tga";
const char* const HUD_MATERIAL = "data\\overlay\\hudfont.mtl";
const char* const HUD_PAGE = "data\\overlay\\hudfont.txt";
int32_t hudPage = -1;
int32_t loadingLeft = 0;
int32_t loadingFrame = 0;

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
    ini->registerItem("Display", "Statistics", &displayStatistics, CIniManager::INI_INT);
    ini->registerItem("Display", "LoadingFrames", &loadingFrames, CIniManager::INI_INT);
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
    if (!StartMaterialLibrary(settings)) {
        writeRunLog("Failed to create the Direct3D device");
        return false;
    }
    deviceUp = true;
    if (!createScreenshotSurface()) writeRunLog("No screenshot surface");
    D3DCore.SetClearColour(true, 0, 0, 0);
    D3DCore.SetBorderColour(true, 0, 0, 0, 0);
    D3DCore.DrawMargin = displayMargin != 0 ? 1 : 0;
    D3DCore.FrameStatsEnabled = displayStatistics != 0 ? 1 : 0;
    setGameViewport();

    hudPage = MatCore.LoadOverlayPage(HUD_TEXTURE, HUD_MATERIAL, HUD_PAGE, true, nullptr, 1.0f);
    loadingLeft = loadingFrames > 0 ? loadingFrames : 0;
    loadingFrame = 0;
    return true;
}

namespace {

// One frame of the start-up loading screen, which draws and presents itself: what was loaded,
// then a progress line per frame.
void loadingScreenFrame()
{
    char line[LOADING_HISTORY_SIZE];
    if (++loadingFrame == 1) {
        MatEnableLoadingScreen(true, false);
        MatShowLoadingScreen("Sample data", 1);
        if (hudPage >= 0)
            snprintf(line, sizeof line, "Overlay font %s: %d glyphs", HUD_PAGE, MatCore.OverlayPage[hudPage].Sprites);
        else
            snprintf(line, sizeof line, "No overlay font %s", HUD_PAGE);
        D3DCore.AddLoadingText(line);
    } else {
        snprintf(line, sizeof line, "Frame %d of %d", loadingFrame, loadingFrames);
        D3DCore.AddLoadingText(line);
    }
    if (--loadingLeft == 0) MatEnableLoadingScreen(false, false);
}

void drawOverlays()
{
    if (hudPage < 0) return;
    char title[] = "Veldrane";
    char line[] = "Sample data: overlay font, debug text and loading screen";
    MatCore.BeginOverlay(hudPage);
    MatCore.OverlayText(title, 24, 120, 1.0f, 1.0f, 0xFFFFFFFFu);
    MatCore.OverlayText(line, 24, 156, 0.5f, 0.5f, 0xFFC0D0FFu);
    MatCore.EndOverlay();
}

}  // namespace

void gameRenderFrame()
{
    if (!deviceUp) return;
    if (loadingLeft > 0) {
        loadingScreenFrame();
    } else {
        MatBeginScene(true);
        // Scene seam: the game's viewports, cameras and HUD are drawn here.
        if (CGameLogic* pLogic = projDataExists() ? getProjData().getGameLogic() : nullptr) {
            pLogic->renderView();
            pLogic->renderAfterScene();
        }
        drawOverlays();
        MatEndScene();
        MatPresent(true);
    }
    const bool held = (GetAsyncKeyState(VK_F12) & 0x8000) != 0;
    if (held && !screenshotHeld && FAILED(takeScreenshot())) writeRunLog("Screenshot failed");
    screenshotHeld = held;
}

void gameRenderShutdown()
{
    if (!deviceUp) return;
    releaseScreenshotSurface();
    if (hudPage >= 0) MatCore.ReleaseOverlayPage(hudPage);
    hudPage = -1;
    MatCore.DestroyDevice();
    D3DCore.ReleaseDynamicVertexBuffers();
    MatCore.Shutdown();
    D3DCore::SetHost(nullptr);
    deviceUp = false;
}
