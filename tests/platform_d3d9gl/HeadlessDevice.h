// The reference device drawing through OpenGL headless (or another renderer), with its presented
// image read back.
#pragma once

#include "d3d9gl/DeviceRenderer.h"

#include "platform/d3d9.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

constexpr UINT W = 32, H = 32;

inline D3DPRESENT_PARAMETERS headlessParameters(UINT interval = 0)
{
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = W, pp.BackBufferHeight = H, pp.BackBufferFormat = D3DFMT_X8R8G8B8, pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD, pp.Windowed = TRUE, pp.PresentationInterval = interval;
    pp.EnableAutoDepthStencil = TRUE, pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    return pp;
}

class HeadlessDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        platform::testing::resetD3D9();
        configure();
        m_d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(m_d3d, nullptr);
        D3DPRESENT_PARAMETERS pp = headlessParameters();
        ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &m_device),
                  D3D_OK);
        ASSERT_EQ(m_device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &m_capture, nullptr), D3D_OK);
        ASSERT_EQ(m_capture->GetSurfaceLevel(0, &m_surface), D3D_OK);
    }
    // The card and renderer a test asks for, set before the device is made.
    virtual void configure() { d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer); }

    void TearDown() override
    {
        if (m_surface) m_surface->Release();
        if (m_capture) m_capture->Release();
        if (m_device) m_device->Release();
        if (m_d3d) m_d3d->Release();
        d3d9ref::setRendererFactory(nullptr);
        platform::testing::resetD3D9();
    }

    // The presented image at (x, y) as 0xAARRGGBB.
    DWORD front(UINT x, UINT y)
    {
        EXPECT_EQ(m_device->GetFrontBufferData(0, m_surface), D3D_OK);
        D3DLOCKED_RECT r{};
        EXPECT_EQ(m_surface->LockRect(&r, nullptr, D3DLOCK_READONLY), D3D_OK);
        DWORD p;
        std::memcpy(&p, static_cast<const uint8_t*>(r.pBits) + y * r.Pitch + x * 4, 4);
        m_surface->UnlockRect();
        return p;
    }
    void present()
    {
        m_device->EndScene();
        m_device->Present(nullptr, nullptr, nullptr, nullptr);
    }

    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    IDirect3DTexture9* m_capture = nullptr;
    IDirect3DSurface9* m_surface = nullptr;
};
