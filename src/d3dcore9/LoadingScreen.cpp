// D3DCore: the loading screen. While a level loads the game loop runs no frames; the loaders call
// in here and the render core draws whole frames of its own: a title, the nested lines naming
// what loads now, the last progress lines and the time since the load began.
#include "d3dcore9/D3DCore.h"

#include "utility/Assert.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

void D3DCore::EnableLoadingScreen(bool on)
{
    LoadingScreenState& l = Loading;
    const bool starting = on && !l.Enabled;
    l.Enabled = on;
    l.InProgress = on;
    if (starting) {
        // A new load: its layout and start time are taken when it first draws.
        l.DispLevels = 0;
        l.HistoryCount = 0;
        l.Started = false;
    }
}

void D3DCore::SetLoadingUpdateMode(bool on)
{
    Loading.UpdateMessage = on;
    Loading.UpdateIndex = std::max(Loading.DispLevels - 1, 0);
}

void D3DCore::StartLoad()
{
    LoadingScreenState& l = Loading;
    // Text is placed in the viewport: its width, not the screen's, keeps the timer and the title on
    // it when the picture is boxed.
    const float width = static_cast<float>(LastViewPort.Width ? LastViewPort.Width : GetScreenWidth());
    l.Scale = static_cast<float>(std::max<uint32_t>(GetScreenWidth() / 320, 1));
    l.LevelX = 30 * l.Scale;
    l.LevelY = 60 * l.Scale;
    l.TitleY = 20 * l.Scale;
    l.TimerX = width - 40 * l.Scale;
    l.Bottom = static_cast<float>(LastViewPort.Height ? LastViewPort.Height : GetScreenHeight());
    l.TimerY = l.Bottom - 8 * l.Scale;
    l.DispLevels = 0;
    l.StartTime = timeGetTime();
    l.Started = true;
}

void D3DCore::DrawLoadStats()
{
    if (!Loading.Started) StartLoad();
    char text[32];
    snprintf(text, sizeof text, "Time: %d", static_cast<int>((timeGetTime() - Loading.StartTime) / 1000));
    DebugPrintScaled(text, Loading.TimerX, Loading.TimerY, Loading.Scale, true, true);
}

void D3DCore::SetLoadingText(const char* text)
{
    const char* Str = text ? text : "";
    if (!VERIFY(strlen(Str) < 160)) return;
    LoadingScreenState& l = Loading;
    if (!l.Enabled) return;
    l.HistoryNewest = (l.HistoryNewest + 1) % LOADING_HISTORY;
    snprintf(l.History[l.HistoryNewest], LOADING_HISTORY_SIZE, "%s", Str);
    l.HistoryCount = std::min(l.HistoryCount + 1, LOADING_HISTORY);
}

void D3DCore::AddLoadingText(const char* text)
{
    SetLoadingText(text);
    if (Loading.Enabled && Loading.InProgress) DrawLoadingScreen(true);
}

int32_t D3DCore::ShowLoadingScreen(const char* text, bool force)
{
    // Messages first, and the device back before anything is drawn (as at the start of a frame).
    do {
        Host().ProcessMessages();
        TestDevice();
    } while (DeviceLost && DeviceActive);
    LoadingScreenState& l = Loading;
    if (!l.Enabled || !l.InProgress) return 0;
    ASSERT(DeviceActive);
    if (!l.Started) StartLoad();
    const char* t = text ? text : "";
    if (strlen(t) >= LOADING_LEVEL_SIZE) return 0;
    int32_t level = 0;
    if (!t[0]) {
        // A pop with nothing to pop, or in update mode, is refused after its report.
        if (VERIFY(!l.UpdateMessage) && VERIFY(l.DispLevels != 0)) level = --l.DispLevels;
    } else if (l.UpdateMessage && l.DispLevels > 0) {
        level = std::min(l.UpdateIndex, l.DispLevels - 1);
        snprintf(l.Levels[level], LOADING_LEVEL_SIZE, "%s", t);
    } else if (VERIFY(l.DispLevels < 8)) {
        level = l.DispLevels++;
        snprintf(l.Levels[level], LOADING_LEVEL_SIZE, "%s", t);
    }
    DrawLoadingScreen(force);
    // Holding Escape asks to abort: the run log's message limit ends the process.
    if (GetAsyncKeyState(VK_ESCAPE) & 0x8000) WriteLog("Abort Load?");
    return level;
}

void D3DCore::DrawLoadingScreen(bool force)
{
    LoadingScreenState& l = Loading;
    const uint32_t now = timeGetTime();
    if (!force && l.Drawn && now - l.LastRedraw <= 100) return;
    // A scene is already open: no frame of our own can be drawn inside it.
    if (!VERIFY(!BegunScene)) return;
    if (!l.Started) StartLoad();
    const BYTE keptEnabled = ClearColourEnabled, keptStats = FrameStatsEnabled;
    const DWORD keptColour = ClearColour;
    SetClearColour(true, 0, 0, 0);
    FrameStatsEnabled = 0;
    BeginScene(true, false);
    if (BegunScene) {
        const float S = l.Scale;
        DrawLoadStats();
        for (int32_t i = 0; i < l.DispLevels; ++i)
            DebugPrintScaled(l.Levels[i], l.LevelX + 4 * S * i, l.LevelY + 10 * S * i, S, true, true);
        for (int32_t k = 0; k < l.HistoryCount; ++k) {
            const char* line = l.History[(l.HistoryNewest - k + LOADING_HISTORY) % LOADING_HISTORY];
            const float scale = strlen(line) >= 80 ? S / 2 : S;
            DebugPrintScaled(line, l.LevelX, l.Bottom - 10 * S * (k + 2), scale, true, true);
        }
        char title[160];
        snprintf(title, sizeof title, "Loading %s - Please Wait", Host().AppName());
        const float titleWidth = 4 * 2 * S * static_cast<float>(strlen(title));
        DebugPrintScaled(title, (l.TimerX + 40 * S - titleWidth) / 2, l.TitleY, 2 * S, true, true);
    }
    EndScene(true);
    Present(false);
    ClearColourEnabled = keptEnabled;
    ClearColour = keptColour;
    FrameStatsEnabled = keptStats;
    l.LastRedraw = now;
    l.Drawn = true;
}
