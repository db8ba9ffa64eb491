// The game's entry points. The shell calls them; the game (kestrune), which sits above the shell,
// hands them over before WinMain runs. Without them the game cannot start.
#pragma once

struct SGameEntryPoints {
    bool (*preInit)();       // before any window exists; false ends the program at once
    bool (*init)();          // once the main window and the key stacks exist; false closes the program
    bool (*mainLoopStep)();  // one step of the game per pump of the main loop; false closes the program
    bool (*shutdown)();      // after the main loop; its result is not used
    void (*uninit)();        // last of all, and instead of everything else when another copy runs
};
void setGameEntryPoints(const SGameEntryPoints* game);
