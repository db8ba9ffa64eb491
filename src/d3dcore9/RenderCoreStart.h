// The game's choice of display mode (the mode nearest the wanted size, in the wanted depth or the
// other), and a bare start of the render core with it: the game's enumeration filter,
// D3DCore::Init, the mode and the device. The game itself starts through the material library and
// uses only the mode choice. DXSetup::Load must have run (pre-initialisation) and the shell's host
// be installed (D3DCore::SetHost).
#pragma once

#include <cstdint>

struct RenderCoreSettings {
    uint32_t Width = 640;
    uint32_t Height = 480;
    int32_t Bits = 32;  // 16 or 32; the other depth is taken when the mode lacks it
    bool FullScreen = true;
    bool VSync = true;
    int32_t Interval = 1;
    int32_t MultiSample = 0;
};

// After D3DCore::Init: the mode of the settings chosen with D3DCore::SetMode; false when none fits.
bool SelectRenderMode(const RenderCoreSettings& settings);
// False when no card passes enumeration or the device cannot be created (each reported).
bool StartRenderCore(const RenderCoreSettings& settings);
// Releases the device and shuts the core down, as far as they were brought up.
void StopRenderCore();
