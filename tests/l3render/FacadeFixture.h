// The render façade brought up on the scripted card, windowed, with the shipped core materials.
#pragma once

#include "MatFixture.h"
#include "d3dcore9/RenderCoreStart.h"
#include "l3render/L3Render.h"
#include "l3render/LightManager.h"
#include "utility/LList.h"

class FacadeFixture : public MatFixture {
protected:
    void SetUp() override
    {
        MatFixture::SetUp();
        llistInitElementPool();
    }

    void TearDown() override
    {
        CLightManager& lights = *CLightManager::GetInstance();
        if (D3DCore.DeviceActive && MatCore.Initialised) L3DestroyDevice();
        if (lights.IsInitialised()) lights.Shutdown();
        if (MatCore.Initialised) L3Shutdown();
        MatFixture::TearDown();
        llistFreeElementPool();
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

    static CLightManager& lights() { return *CLightManager::GetInstance(); }
};
