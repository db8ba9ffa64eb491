// The scripted card brought up as the game brings up its device (640 x 480, 32 bits, full screen),
// for programs outside the test fixtures: fuzz targets and benchmarks. False when a step fails.
#pragma once

#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"

inline bool bringUpReferenceDevice()
{
    platform::testing::resetD3D9();
    if (DXSetup::Load() != 0) return false;
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) return false;
    const int32_t mode = D3DCore.FindMode(0, 0, 640, 480);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    return D3DCore.CreateDevice(false, false, 1);
}
