// What video presenters ask of the device: render targets, surface copies between formats and
// sizes, the texture a surface belongs to, the adapter's monitor.
#include "DeviceFixture.h"

namespace {

class SurfaceCopyTest : public DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        ASSERT_EQ(create(D3DCREATE_SOFTWARE_VERTEXPROCESSING), D3D_OK);
    }
};

}  // namespace

TEST_F(SurfaceCopyTest, RenderTargetsMonitorsAndContainers)
{
    D3DDEVICE_CREATION_PARAMETERS created{};
    ASSERT_EQ(device->GetCreationParameters(&created), D3D_OK);
    EXPECT_EQ(created.BehaviorFlags, DWORD(D3DCREATE_SOFTWARE_VERTEXPROCESSING));
    EXPECT_NE(d3d->GetAdapterMonitor(0), nullptr);
    EXPECT_EQ(d3d->GetAdapterMonitor(1), nullptr);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 640u);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_RENDERTARGET));
    IDirect3DSurface9* now = nullptr;
    EXPECT_EQ(device->GetRenderTarget(1, &now), D3DERR_NOTFOUND);

    // A level of a render-target texture may be the target; a plain texture's may not.
    IDirect3DTexture9 *target = nullptr, *plain = nullptr;
    ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &plain, nullptr), D3D_OK);
    IDirect3DSurface9 *level = nullptr, *plainLevel = nullptr;
    target->GetSurfaceLevel(0, &level);
    plain->GetSurfaceLevel(0, &plainLevel);
    // A new target brings a viewport of its whole size, and viewports must lie within it.
    EXPECT_EQ(device->SetRenderTarget(0, plainLevel), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    device->GetRenderTarget(0, &now);
    EXPECT_EQ(std::make_pair(level, level), std::make_pair(now, pt::d3d9State()->RenderTarget));
    now->Release();
    D3DVIEWPORT9 viewport{};
    device->GetViewport(&viewport);
    EXPECT_EQ(std::make_pair(16u, 16u), std::make_pair(DWORD(viewport.Width), DWORD(viewport.Height)));
    D3DVIEWPORT9 wide{0, 0, 32, 16, 0, 1};
    EXPECT_EQ(device->SetViewport(&wide), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    device->GetViewport(&viewport);
    EXPECT_EQ(std::make_pair(640u, 480u), std::make_pair(DWORD(viewport.Width), DWORD(viewport.Height)));

    EXPECT_EQ(device->SetViewport(&wide), D3D_OK);

    IDirect3DTexture9* container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
    EXPECT_EQ(container, target);
    container->Release();
    EXPECT_EQ(back->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), E_NOINTERFACE);
    EXPECT_EQ(container, nullptr);

    for (IDirect3DResource9* p : std::initializer_list<IDirect3DResource9*>{level, plainLevel, target, plain, back}) p->Release();
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
    for (UINT y : {0u, 3u})
        for (UINT x : {0u, 3u, 4u, 7u}) EXPECT_EQ(texel(level, x, y) & 0xFFFFFF, x < 4 ? 0xFFFFFFu : 0u) << x << y;
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
    for (IDirect3DResource9* p : std::initializer_list<IDirect3DResource9*>{managedLevel, managed, level, target, yuv}) p->Release();
}
