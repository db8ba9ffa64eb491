// The D3DX 9 utility functions the engine calls, and the DirectX error-string lookup.
#pragma once

#include "platform/d3d9.h"

// The symbolic name of a result code ("D3DERR_DEVICELOST"), or "Unknown" for a code it does not know.
const char* DXGetErrorString9(HRESULT code);
