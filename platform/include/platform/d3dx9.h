// The D3DX 9 utility functions the engine calls, and the DirectX error-string lookup.
#pragma once

#include "platform/d3d9.h"

// ---- Surfaces ----
#define D3DX_DEFAULT 0xFFFFFFFFu
#define D3DX_FILTER_NONE 1u
#define D3DX_FILTER_POINT 2u
#define D3DX_FILTER_LINEAR 3u
#define D3DX_FILTER_TRIANGLE 4u
#define D3DX_FILTER_BOX 5u
#define D3DXERR_INVALIDDATA ((HRESULT)0x88760B59u)

// Copies a rectangle of one surface into a rectangle of another (null: the whole surface),
// converting between any two formats the reference device keeps, DXT encoding and decoding
// included. The filter's low byte chooses how a size change is sampled (NONE: no scaling, what
// lies outside the source reads as transparent black; POINT: nearest; the others: area average).
// A non-zero colour key turns source texels of exactly that A8R8G8B8 value transparent black.
// Palettised formats use the palettes given (a destination needs one).
HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                   const tagRECT* destRect, IDirect3DSurface9* srcSurface,
                                   const PALETTEENTRY* srcPalette, const tagRECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey);

// The symbolic name of a result code ("D3DERR_DEVICELOST"), or "Unknown" for a code it does not know.
const char* DXGetErrorString9(HRESULT code);
