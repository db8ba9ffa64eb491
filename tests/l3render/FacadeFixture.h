// The render façade brought up on the scripted card, windowed, with the shipped core materials.
#pragma once

#include "MatFixture.h"
#include "d3d9gl/DeviceRenderer.h"
#include "d3dcore9/RenderCoreStart.h"
#include "l3render/L3Render.h"
#include "l3render/LightManager.h"
#include "l3render/ModelManager.h"
#include "matcore9/BufferAllocator.h"
#include "utility/LList.h"

#include <cstdlib>
#include <functional>
#include <vector>

// A viewport over the whole 640 x 480 target, 4:3 unless another aspect is given.
inline ViewportSettings wholeTarget(float fov, float nearZ, float farZ, int aspect = 0)
{
    ViewportSettings v;
    v.aspectRatio = AspectRatioToFloat(aspect), v.width = 640, v.height = 480;
    v.nearZ = nearZ, v.farZ = farZ, v.fov = fov;
    return v;
}

// One frame: begun, the viewport applied, drawn, ended and presented.
inline void drawFrame(const ViewportSettings& v, const std::function<void()>& draw)
{
    L3BeginScene(true);
    L3ApplyViewportSettings(v);
    draw();
    L3EndScene();
    L3Present(false);
}

class FacadeFixture : public MatFixture {
protected:
    void SetUp() override
    {
        MatFixture::SetUp();
        llistInitElementPool();
    }

    void TearDown() override
    {
        if (m_drawing) {
            CModelManager::Shutdown();
            D3DCore.FreeDisplayHandles();
            CBufferAllocator::DestroyInstance();
        }
        CLightManager& lights = *CLightManager::GetInstance();
        if (D3DCore.DeviceActive && MatCore.Initialised) L3DestroyDevice();
        if (lights.IsInitialised()) lights.Shutdown();
        if (MatCore.Initialised) L3Shutdown();
        MatFixture::TearDown();
        llistFreeElementPool();
        if (m_drawing) d3d9ref::setRendererFactory(nullptr);
    }

    bool startFacade(uint32_t width = 640, uint32_t height = 480)
    {
        for (const char* f : {"font.mtl", "font.tga", "letterbox.mtl", "fallbackmaterials/vc.mtl",
                              "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl"})
            copyData(f);
        if (DXSetup::Load() != 0) return false;
        DXSetup::SetEnumFilter(GameEnumFilter());
        if (!L3Init()) return false;
        RenderCoreSettings settings;
        settings.Width = width;
        settings.Height = height;
        settings.FullScreen = false;
        return SelectRenderMode(settings) && L3CreateDevice(false, false, 1);
    }

    // The façade at 640 x 480 drawing on the OpenGL renderer headless, with these shipped files.
    bool startDrawing(std::initializer_list<const char*> files)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        m_drawing = true;
        for (const char* f : files) copyData(f);
        return startFacade(640, 480);
    }

    static CLightManager& lights() { return *CLightManager::GetInstance(); }

    // The presented image, 0x00RRGGBB per pixel, rows from the top.
    static std::vector<DWORD> frontBuffer(UINT width, UINT height)
    {
        std::vector<DWORD> image(static_cast<size_t>(width) * height);
        IDirect3DSurface9* surface = nullptr;
        if (DXInterface.ID3DDevice->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                                &surface, nullptr) != D3D_OK)
            return image;
        EXPECT_EQ(DXInterface.ID3DDevice->GetFrontBufferData(0, surface), D3D_OK);
        D3DLOCKED_RECT r{};
        surface->LockRect(&r, nullptr, D3DLOCK_READONLY);
        for (UINT y = 0; y < height; ++y)
            for (UINT x = 0; x < width; ++x)
                image[y * width + x] = static_cast<const DWORD*>(r.pBits)[y * (r.Pitch / 4) + x] & 0xFFFFFF;
        surface->UnlockRect();
        surface->Release();
        return image;
    }

    bool m_drawing = false;
};
