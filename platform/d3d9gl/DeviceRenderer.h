// The OpenGL renderer as the reference device's renderer: resources are copied to GL when their
// bytes change, and the device's state tables drive each draw.
//
// The device uses it whenever its window is shown by SDL; with test windows it draws nothing
// unless a test installs createOffscreenDeviceRenderer, which opens a hidden window of its own.
#pragma once

#include "d3d9/Renderer.h"

namespace d3d9gl {

// Draws into the device window's SDL window; without one it draws nothing.
std::unique_ptr<d3d9ref::Renderer> createWindowDeviceRenderer();
// Draws into the device window's SDL window, or into a hidden window of its own.
std::unique_ptr<d3d9ref::Renderer> createOffscreenDeviceRenderer();

}  // namespace d3d9gl
