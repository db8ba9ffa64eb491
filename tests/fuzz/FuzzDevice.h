// The reference device for fuzz targets whose code registers device callbacks or draws: brought up
// once per process on the scripted card, with the project data.
#pragma once

#include "d3dcore9/D3DCore.h"
#include "global/ProjData.h"
#include "platform/testing.h"

#include <cstdlib>

namespace fuzz {

inline void bringUpDevice()
{
    static bool done = false;
    if (done) return;
    done = true;
    platform::testing::resetD3D9();
    if (DXSetup::Load() != 0) abort();
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) abort();
    const int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    if (!D3DCore.CreateDevice(false, false, 1)) abort();
    createProjData();
}

}  // namespace fuzz
