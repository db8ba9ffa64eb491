// The reference device with no renderer, brought up in the fuzz folder as the game brings it up.
#pragma once

#include "FuzzSupport.h"
#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"

#include <cstdlib>
#include <filesystem>

namespace fuzz {

inline void startDevice()
{
    std::filesystem::create_directories("data");
    const char codes[] = "3\nDXT1\nDXT3\nDXT5\n";
    writeInput("data/4CC.txt", codes, sizeof codes - 1);
    platform::testing::resetD3D9();
    if (DXSetup::Load() != 0) abort();
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) abort();
    const int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    if (!D3DCore.CreateDevice(false, false, 1)) abort();
}

}  // namespace fuzz
