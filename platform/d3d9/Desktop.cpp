// The real display's mode, for the default card's desktop. Asked once, and only where a display
// exists: headless runs (no display server, or SDL's offscreen and dummy drivers) keep the default.
#include "Control.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace d3d9ref {

bool realDesktopSize(UINT& width, UINT& height)
{
    static bool asked = false;
    static bool found = false;
    static UINT w = 0, h = 0;
    if (!asked) {
        asked = true;
        const char* driver = std::getenv("SDL_VIDEODRIVER");
        bool headless = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
        bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
        if (display && !headless && SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            SDL_DisplayMode mode;
            if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
                w = static_cast<UINT>(mode.w);
                h = static_cast<UINT>(mode.h);
                found = true;
            }
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
    }
    width = w;
    height = h;
    return found;
}

}  // namespace d3d9ref
