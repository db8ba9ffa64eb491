// The loading screen's state (D3DCore::ShowLoadingScreen): a stack of up to eight nested lines
// naming what loads now, a ring of the last eight progress lines, the elapsed time, and a layout
// computed when a load starts.
#pragma once

#include <cstdint>

const int32_t LOADING_LEVELS = 8;
const int32_t LOADING_LEVEL_SIZE = 128;
const int32_t LOADING_HISTORY = 8;
const int32_t LOADING_HISTORY_SIZE = 160;

struct LoadingScreenState {
    bool Enabled = false;
    bool InProgress = false;
    bool Started = false;  // the layout and start time of this load are taken
    int32_t DispLevels = 0;
    char Levels[LOADING_LEVELS][LOADING_LEVEL_SIZE] = {};
    bool UpdateMessage = false;  // a text replaces the top line instead of pushing
    int32_t UpdateIndex = 0;
    char History[LOADING_HISTORY][LOADING_HISTORY_SIZE] = {};
    int32_t HistoryCount = 0;
    int32_t HistoryNewest = -1;
    uint32_t StartTime = 0;
    uint32_t LastRedraw = 0;
    bool Drawn = false;  // LastRedraw holds a time
    // Layout: Scale = screen width / 320 (at least 1).
    float Scale = 1;
    float LevelX = 30, LevelY = 60, TitleY = 20, TimerX = 0, TimerY = 0, Bottom = 0;
};
