// The render façade on the scripted card (or the OpenGL renderer headless) with the project data,
// a world manager whose AI map and land tree the lights and shadows stand on, and the shipped light,
// shadow and cloud data copied into the test's data folder.
#pragma once

#include "FacadeFixture.h"
#include "ai/AIMap.h"
#include "ai/WorldMgr.h"
#include "d3d9gl/DeviceRenderer.h"
#include "global/ProjData.h"
#include "matcore9/Forwarders.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>

class LightingFixture : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        createProjData();
        getProjData().pWorldMgr = new CWorldMgr;
        for (const char* f : {"lights/lightmaps.txt", "lights/spot.tga", "lights/point.tga", "lights/spotmap.mtl",
                              "lights/pointmap.mtl", "models/shadow/shadow.mtl", "models/shadow/plane shadow.tga",
                              "models/shadow/MechShad.tga", "models/volumefog/cloudlevel.tga"})
            copyData(f);
    }

    void TearDown() override
    {
        CWorldMgr*& pWorld = getProjData().pWorldMgr;
        pWorld->unloadLevel();
        delete pWorld;
        pWorld = nullptr;
        destroyProjData();
        FacadeFixture::TearDown();
        if (m_pixels) d3d9ref::setRendererFactory(nullptr);
    }

    // The façade drawing through the OpenGL renderer, headless.
    bool startPixels(uint32_t width = 640, uint32_t height = 480)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        m_pixels = true;
        return startFacade(width, height);
    }

    // An AI map of cells x cells of 100 units from the origin, heights by cell, and a land tree over it.
    static CAIMap& ground(int32_t cells, const std::function<uint16_t(int32_t, int32_t)>& height)
    {
        CWorldMgr* pWorld = getProjData().getWorldMgr();
        pWorld->createTree(100.0f, 2);
        CAIMap& map = *pWorld->getAIMap();
        EXPECT_TRUE(map.create(cells, cells, 100, 0, 0));
        for (int32_t r = 0; r < cells; ++r)
            for (int32_t c = 0; c < cells; ++c) map.setHeight(c, r, height(c, r));
        return map;
    }

    // One frame through the façade: the camera looking straight down from above (x, y) at height z
    // (camera x and y along the world's), the view window width x height at the near distance 100.
    void frameLookingDown(float x, float y, float z, float viewWidth, const std::function<void()>& draws)
    {
        L3BeginScene(true);
        L3SetPerspective(100.0f, 100000.0f, viewWidth, viewWidth * 0.75f);
        D3DMATRIX view{};
        view.m[0][0] = view.m[1][1] = view.m[3][3] = 1;
        view.m[2][2] = -1;
        view.m[3][0] = -x;
        view.m[3][1] = -y;
        view.m[3][2] = z;
        MatSetViewMatrix(view);
        const float camera[3] = {x, y, z};
        std::copy(camera, camera + 3, D3DCore.CameraPosition);
        draws();
        L3EndScene();
        L3Present(false);
    }

    // The presented image, rows top first, 0x00RRGGBB.
    static std::vector<DWORD> pixels()
    {
        const uint32_t w = D3DCore.GetScreenWidth(), h = D3DCore.GetScreenHeight();
        std::vector<DWORD> out(static_cast<size_t>(w) * h);
        IDirect3DTexture9* capture = nullptr;
        IDirect3DSurface9* surface = nullptr;
        D3DLOCKED_RECT r{};
        EXPECT_EQ(DXInterface.ID3DDevice->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &capture, nullptr),
                  D3D_OK);
        capture->GetSurfaceLevel(0, &surface);
        EXPECT_EQ(DXInterface.ID3DDevice->GetFrontBufferData(0, surface), D3D_OK);
        surface->LockRect(&r, nullptr, D3DLOCK_READONLY);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                out[static_cast<size_t>(y) * w + x] =
                    reinterpret_cast<const DWORD*>(static_cast<const uint8_t*>(r.pBits) + y * r.Pitch)[x] & 0xFFFFFF;
        surface->UnlockRect();
        surface->Release();
        capture->Release();
        return out;
    }

    bool m_pixels = false;
};
