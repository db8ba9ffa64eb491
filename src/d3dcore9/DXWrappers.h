// Small device wrappers of the render core, and colour helpers.
#pragma once

#include "platform/d3d9.h"

HRESULT DXCreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out);
HRESULT DXCreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** out);
// These two report a failure through the DirectX error report and return it.
HRESULT DXCreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** out);
HRESULT DXCreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DCubeTexture9** out);
HRESULT LockBuffer(IDirect3DVertexBuffer9* buffer, UINT offset, UINT size, void** data, DWORD flags);
HRESULT LockBuffer(IDirect3DIndexBuffer9* buffer, UINT offset, UINT size, void** data, DWORD flags);

// Releases the interface held and clears the variable.
template <class T>
void DXReleaseInterface(T*& pointer)
{
    if (pointer) pointer->Release();
    pointer = nullptr;
}

// The alpha byte repeated in all four bytes (0x80123456 -> 0x80808080).
void ColourAlphaToAll(DWORD& colour);
// Red, green and blue each become (channel * alpha) >> 8; alpha is kept.
void ColourPremultiply(DWORD& colour);
