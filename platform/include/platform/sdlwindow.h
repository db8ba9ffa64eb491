// For the platform areas that draw into or read from the real window (Direct3D, DirectInput).
#pragma once

#include "platform/win32/window.h"

struct SDL_Window;

namespace platform {

// The SDL2 window that shows a top-level window; null under the test backend or without a display.
SDL_Window* sdlWindow(HWND window);

// Sanitizer builds: keeps the GL driver that SDL loaded in memory until the leak check, which cannot
// tell the driver's lifetime allocations from ours once the driver is unloaded. Call after creating
// an OpenGL window or context; does nothing in other builds.
void keepGLDriverLoaded();

}  // namespace platform
