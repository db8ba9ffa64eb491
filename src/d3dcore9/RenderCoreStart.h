// How the game brings the render core up and down until the material library does it: the game's
// enumeration filter, D3DCore::Init, the mode nearest the wanted size, and the device. DXSetup::Load
// must have run (pre-initialisation) and the shell's host be installed (D3DCore::SetHost).
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

// False when no card passes enumeration or the device cannot be created (each reported).
bool StartRenderCore(const RenderCoreSettings& settings);
// Releases the device and shuts the core down, as far as they were brought up.
void StopRenderCore();
