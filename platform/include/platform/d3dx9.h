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

// A block of bytes handed out by D3DX: assembled code or an error text (NUL-terminated).
struct ID3DXBuffer {
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;

protected:
    virtual ~ID3DXBuffer() = default;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

typedef struct _D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
} D3DXMACRO;

// Include handlers are only passed through as null.
struct ID3DXInclude;
typedef ID3DXInclude* LPD3DXINCLUDE;

// Assembles vs_1_1 and ps_1_1 .. ps_1_4 source ("vs.1.1" or "vs_1_1" as the first statement)
// into a Direct3D 9 token stream ending with its end token. On failure *errors receives a text
// whose lines read "(line): error: what" and the result is D3DXERR_INVALIDDATA. Defines,
// include handlers and flags are not used; a non-empty define list is refused.
HRESULT D3DXAssembleShader(LPCSTR source, UINT length, const D3DXMACRO* defines, LPD3DXINCLUDE include, DWORD flags,
                           LPD3DXBUFFER* code, LPD3DXBUFFER* errors);
