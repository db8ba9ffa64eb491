// A device on the default card of the Direct3D stand-in, its records reset around each test.
#pragma once

#include "platform/d3d9.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pt = platform::testing;

class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt::resetD3D9();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override
    {
        if (device) device->Release();
        d3d->Release();
        pt::resetD3D9();
    }
    static D3DPRESENT_PARAMETERS parameters(D3DFORMAT depth = D3DFMT_D24S8)
    {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 640, pp.BackBufferHeight = 480, pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1, pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.EnableAutoDepthStencil = TRUE, pp.AutoDepthStencilFormat = depth;
        return pp;
    }
    HRESULT create(DWORD behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DFORMAT depth = D3DFMT_D24S8)
    {
        D3DPRESENT_PARAMETERS pp = parameters(depth);
        return d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, behaviour, &pp, &device);
    }
    static DWORD texel(IDirect3DSurface9* surface, UINT x, UINT y)
    {
        D3DLOCKED_RECT r{};
        surface->LockRect(&r, nullptr, D3DLOCK_READONLY);
        DWORD p;
        std::memcpy(&p, static_cast<const uint8_t*>(r.pBits) + y * r.Pitch + x * 4, 4);
        surface->UnlockRect();
        return p;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};
