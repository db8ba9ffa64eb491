// What video presenters ask of the device: render targets, surface copies between formats and
// sizes, the texture a surface belongs to, the adapter's monitor.
#include "platform/d3d9.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pt = platform::testing;

namespace {

class SurfaceCopyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt::resetD3D9();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 32;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.Windowed = TRUE;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
    }
    void TearDown() override
    {
        device->Release();
        d3d->Release();
        pt::resetD3D9();
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

}  // namespace

TEST_F(SurfaceCopyTest, RenderTargetsMonitorsAndContainers)
{
    D3DDEVICE_CREATION_PARAMETERS created{};
    ASSERT_EQ(device->GetCreationParameters(&created), D3D_OK);
    EXPECT_EQ(created.AdapterOrdinal, 0u);
    EXPECT_EQ(created.BehaviorFlags, DWORD(D3DCREATE_SOFTWARE_VERTEXPROCESSING));
    EXPECT_NE(d3d->GetAdapterMonitor(0), nullptr);
    EXPECT_EQ(d3d->GetAdapterMonitor(1), nullptr);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_RENDERTARGET));
    IDirect3DSurface9* none = nullptr;
    EXPECT_EQ(device->GetRenderTarget(1, &none), D3DERR_NOTFOUND);

    // A level of a render-target texture may be the target; a plain texture's may not.
    IDirect3DTexture9* target = nullptr;
    IDirect3DTexture9* plain = nullptr;
    ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &plain, nullptr), D3D_OK);
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* plainLevel = nullptr;
    target->GetSurfaceLevel(0, &level);
    plain->GetSurfaceLevel(0, &plainLevel);
    EXPECT_EQ(device->SetRenderTarget(0, plainLevel), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    IDirect3DSurface9* now = nullptr;
    device->GetRenderTarget(0, &now);
    EXPECT_EQ(now, level);
    now->Release();
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);

    IDirect3DTexture9* container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
    EXPECT_EQ(container, target);
    container->Release();
    EXPECT_EQ(back->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), E_NOINTERFACE);
    EXPECT_EQ(container, nullptr);

    level->Release();
    plainLevel->Release();
    target->Release();
    plain->Release();
    back->Release();
}

TEST_F(SurfaceCopyTest, StretchRectConvertsAndScalesBetweenDefaultPoolSurfaces)
{
    // A 4 x 2 YUY2 frame: left half white, right half black, top row and bottom row alike.
    IDirect3DSurface9* yuv = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 2, D3DFMT_YUY2, D3DPOOL_DEFAULT, &yuv, nullptr), D3D_OK);
    D3DLOCKED_RECT r{};
    yuv->LockRect(&r, nullptr, 0);
    const uint8_t row[8] = {235, 128, 235, 128, 16, 128, 16, 128};  // Y U Y V, Y U Y V
    for (int y = 0; y < 2; ++y) std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch, row, 8);
    yuv->UnlockRect();

    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    ASSERT_EQ(device->StretchRect(yuv, nullptr, level, nullptr, D3DTEXF_NONE), D3D_OK);
    for (UINT y : {0u, 3u}) {
        EXPECT_EQ(texel(level, 0, y) & 0xFFFFFF, 0xFFFFFFu) << y;
        EXPECT_EQ(texel(level, 3, y) & 0xFFFFFF, 0xFFFFFFu) << y;
        EXPECT_EQ(texel(level, 4, y) & 0xFFFFFF, 0x000000u) << y;
        EXPECT_EQ(texel(level, 7, y) & 0xFFFFFF, 0x000000u) << y;
    }
    // Into part of the target, and refused from or into a managed surface.
    RECT part{0, 0, 2, 2};
    RECT into{6, 2, 8, 4};
    ASSERT_EQ(device->StretchRect(yuv, &part, level, &into, D3DTEXF_LINEAR), D3D_OK);
    EXPECT_EQ(texel(level, 7, 3) & 0xFFFFFF, 0xFFFFFFu);
    RECT outside{6, 2, 9, 4};
    EXPECT_EQ(device->StretchRect(yuv, nullptr, level, &outside, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    IDirect3DTexture9* managed = nullptr;
    device->CreateTexture(8, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr);
    IDirect3DSurface9* managedLevel = nullptr;
    managed->GetSurfaceLevel(0, &managedLevel);
    EXPECT_EQ(device->StretchRect(yuv, nullptr, managedLevel, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    managedLevel->Release();
    managed->Release();
    level->Release();
    target->Release();
    yuv->Release();
}
