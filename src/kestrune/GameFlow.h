// The game flow: the shell's entry points (wincore/GameEntry.h) are defined here.
#pragma once

#include "wincore/GameEntry.h"

#include <cstdint>

struct GameFlowStats {
    uint32_t stepsRun;  // game steps since GameInit
    bool active;        // the application has the focus
};
GameFlowStats getGameFlowStats();
// Lets the project data make the game logic and the error texts; GameInit calls it first.
void registerProjDataServices();
