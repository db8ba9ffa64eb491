#include "l3render/L3Render.h"

#include "d3dcore9/D3DCore.h"

// The render target is the render core's: its mode, or the size it was told to draw at.
int L3GetScreenWidth() { return static_cast<int>(D3DCore.GetScreenWidth()); }
int L3GetScreenHeight() { return static_cast<int>(D3DCore.GetScreenHeight()); }
