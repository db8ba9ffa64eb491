// For the platform areas that draw into or read from the real window (Direct3D, DirectInput).
#pragma once

#include "platform/win32/window.h"

struct SDL_Window;

namespace platform {

// The SDL2 window that shows a top-level window; null under the test backend or without a display.
SDL_Window* sdlWindow(HWND window);

// Sanitizer builds: once a GL driver is loaded, keep it to the end of the process so that the leak
// check can name (and pass over) its lifetime allocations. Elsewhere it does nothing.
void keepGraphicsDriversLoaded();

}  // namespace platform
