// The game's entry points. The shell calls them; the game module (kestrune) defines them.
#pragma once

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
