// The game flow: the shell's entry points are defined here.
#pragma once

#include <cstdint>

// Before any window exists. False ends the program at once.
bool GamePreInit();
// Once the main window and the key stacks exist. False closes the program through the normal shutdown.
bool GameInit();
// One step of the game, once per pump of the main loop. False closes the program.
bool GameMainLoopStep();
// After the main loop; its result is not used.
bool GameShutdown();
// Last of all, and instead of everything else when another copy of the program is running.
void GameUninit();
// Hands the entry points above to the shell; the process entry calls it before WinMain.
void registerGameEntryPoints();

struct GameFlowStats {
    uint32_t stepsRun;  // game steps since GameInit
    bool active;        // the application has the focus
};
GameFlowStats getGameFlowStats();
// Plays the level and mission the game configuration names from their start, when its script
// exists: the level playing ends, every model class is dropped (models that outlive levels take
// theirs again) and the level loads with game time from 0. False when nothing was loaded.
bool gameStartLevel();
// Lets the project data make the game logic and the error texts; GameInit calls it first.
void registerProjDataServices();
