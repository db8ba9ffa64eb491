#include "d3dcore9/DXWrappers.h"

#include "d3dcore9/LogWriter.h"
#include "dxsetup9/DXSetup.h"

HRESULT DXCreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out)
{
    if (!DXInterface.ID3DDevice) return D3DERR_INVALIDCALL;
    return DXInterface.ID3DDevice->CreateVertexBuffer(length, usage, fvf, pool, out, nullptr);
}

HRESULT DXCreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** out)
{
    if (!DXInterface.ID3DDevice) return D3DERR_INVALIDCALL;
    return DXInterface.ID3DDevice->CreateIndexBuffer(length, usage, format, pool, out, nullptr);
}

HRESULT DXCreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** out)
{
    HRESULT Err = DXInterface.ID3DDevice
                      ? DXInterface.ID3DDevice->CreateTexture(width, height, levels, usage, format, pool, out, nullptr)
                      : D3DERR_INVALIDCALL;
    if (FAILED(Err)) DXErrorReport(Err);
    return Err;
}

HRESULT DXCreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DCubeTexture9** out)
{
    HRESULT Err = DXInterface.ID3DDevice
                      ? DXInterface.ID3DDevice->CreateCubeTexture(edge, levels, usage, format, pool, out, nullptr)
                      : D3DERR_INVALIDCALL;
    if (FAILED(Err)) DXErrorReport(Err);
    return Err;
}

HRESULT LockBuffer(IDirect3DVertexBuffer9* buffer, UINT offset, UINT size, void** data, DWORD flags)
{
    return buffer ? buffer->Lock(offset, size, data, flags) : D3DERR_INVALIDCALL;
}

HRESULT LockBuffer(IDirect3DIndexBuffer9* buffer, UINT offset, UINT size, void** data, DWORD flags)
{
    return buffer ? buffer->Lock(offset, size, data, flags) : D3DERR_INVALIDCALL;
}

void ColourAlphaToAll(DWORD& colour)
{
    DWORD a = colour >> 24;
    colour = (a << 24) | (a << 16) | (a << 8) | a;
}

void ColourPremultiply(DWORD& colour)
{
    DWORD a = colour >> 24;
    DWORD r = (((colour >> 16) & 0xFF) * a) >> 8;
    DWORD g = (((colour >> 8) & 0xFF) * a) >> 8;
    DWORD b = ((colour & 0xFF) * a) >> 8;
    colour = (a << 24) | (r << 16) | (g << 8) | b;
}
