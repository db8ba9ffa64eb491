#include "DeviceFixture.h"
#include "Renderer.h"

#include <thread>

namespace {

using Direct3D9Test = DeviceFixture;

TEST_F(Direct3D9Test, LoaderSwitchesGiveTheFailuresTheSetupTellsApart)
{
    pt::setLibraryMissing("d3d9.dll", true);
    EXPECT_EQ(LoadLibraryA("d3d9.dll"), nullptr);
    EXPECT_NE(LoadLibraryA("d3d9d.dll"), nullptr);
    pt::setLibraryMissing("d3d9.dll", false);
    pt::setExportMissing("d3d9.dll", "Direct3DCreate9", true);
    EXPECT_EQ(GetProcAddress(LoadLibraryA("d3d9.dll"), "Direct3DCreate9"), nullptr);
    EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
    pt::setDirect3DCreateFails(true);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    pt::setDirect3DCreateFails(false);
    EXPECT_EQ(Direct3DCreate9(32), nullptr);  // only the version the engine was built for
}

TEST_F(Direct3D9Test, CreateDeviceRefusesUnacceptedDepthAndForcedResults)
{
    EXPECT_EQ(create(0, D3DFMT_D32), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    pt::setCreateDeviceResult([](const D3DPRESENT_PARAMETERS& p, DWORD) {
        return p.AutoDepthStencilFormat == D3DFMT_D24S8 ? D3DERR_OUTOFVIDEOMEMORY : D3D_OK;
    });
    EXPECT_EQ(create(0, D3DFMT_D24S8), D3DERR_OUTOFVIDEOMEMORY);
    ASSERT_EQ(create(0x40, D3DFMT_D16), D3D_OK);
    EXPECT_EQ(pt::d3d9CreateAttempts().size(), 3u);
    EXPECT_EQ(pt::d3d9State()->Behaviour, 0x40u);
    EXPECT_EQ(pt::d3d9LiveDevices(), 1);
}

TEST_F(Direct3D9Test, CallsAndLocksOutsideTheirLimitsAreRefused)
{
    ASSERT_EQ(create(), D3D_OK);
    EXPECT_EQ(device->SetRenderState(D3DRS_FOGENABLE, TRUE), D3D_OK);
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(256), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 tooBig{0, 0, 641, 480, 0, 1};
    EXPECT_EQ(device->SetViewport(&tooBig), D3DERR_INVALIDCALL);
    EXPECT_EQ(pt::d3d9State()->RenderStates[D3DRS_FOGENABLE], 1u);
    EXPECT_EQ(pt::d3d9Calls("SetRenderState"), 2);

    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(16, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(8, 9, &data, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Lock(4, 8, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    std::memset(data, 0xAB, 8);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    const std::vector<uint8_t> bytes = pt::d3d9BufferBytes(vb);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 3, bytes.begin() + 13),
              (std::vector<uint8_t>{0, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0}));
    vb->Release();
}

TEST_F(Direct3D9Test, ResetRefusesWhileDefaultPoolResourcesLiveAndFollowsTheLostSequence)
{
    ASSERT_EQ(create(), D3D_OK);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(64, D3DUSAGE_DYNAMIC, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    IDirect3DVertexBuffer9* managed = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    D3DPRESENT_PARAMETERS pp = parameters();
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ib->Release();

    pt::setD3D9DeviceState(D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&pp), D3DERR_DEVICELOST);
    pt::setD3D9DeviceState(D3DERR_DEVICENOTRESET);
    pp.BackBufferWidth = 800, pp.BackBufferHeight = 600;
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(pt::d3d9State()->RenderStates[D3DRS_LIGHTING], 1u);  // states back to their defaults
    EXPECT_EQ(pt::d3d9State()->Viewport.Width, 800u);

    pt::queueTestCooperativeLevel(D3DERR_DEVICELOST);
    pt::queueResetResult(D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);  // the queue is answered once
    EXPECT_EQ(device->Reset(&pp), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);  // forced results leave the device's state alone
    managed->Release();
}

TEST_F(Direct3D9Test, TexturesKeepLevelsFacesAndAPitchWiderThanTheRow)
{
    ASSERT_EQ(create(), D3D_OK);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->GetLevelCount(), 7u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(tex->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(std::make_pair(desc.Width, desc.Height), std::make_pair(16u, 4u));
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_GT(locked.Pitch, 64 * 4);
    EXPECT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
    static_cast<uint8_t*>(locked.pBits)[locked.Pitch] = 0x5A;
    EXPECT_EQ(tex->UnlockRect(0), D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &surface), D3D_OK);
    tex->Release();
    EXPECT_EQ(texel(surface, 0, 1) & 0xFF, 0x5Au);
    surface->Release();  // the surface kept the texture alive until here
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_MANAGED), 0);

    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 2 * 8);  // two DXT1 blocks per block row
    EXPECT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(6), 0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    cube->Release();
}

TEST_F(Direct3D9Test, AMultithreadedDeviceTakesCallsFromOtherThreads)
{
    ASSERT_EQ(create(D3DCREATE_MULTITHREADED), D3D_OK);
    auto work = [this](DWORD state) {
        for (int i = 0; i < 2000; ++i) {
            IDirect3DVertexBuffer9* vb = nullptr;
            if (device->CreateVertexBuffer(32, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr) == D3D_OK) vb->Release();
            device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), static_cast<DWORD>(i));
        }
    };
    std::thread a(work, D3DRS_AMBIENT), b(work, D3DRS_TEXTUREFACTOR);
    a.join();
    b.join();
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);
    EXPECT_EQ(pt::d3d9Calls("CreateVertexBuffer"), 4000);
    EXPECT_EQ(pt::d3d9State()->RenderStates[D3DRS_AMBIENT], 1999u);
}

// What reaches a renderer, as a real one would see it.
std::vector<std::string> seen;
float seenX = 0;
DWORD seenZ = 0;

class NotingRenderer : public d3d9ref::Renderer {
public:
    bool open(HWND, const D3DPRESENT_PARAMETERS&) override { return seen.push_back("open"), true; }
    void close() override { seen.push_back("close"); }
    void clear(const pt::D3D9State&, DWORD, D3DCOLOR, float, DWORD) override { seen.push_back("clear"); }
    void draw(const pt::D3D9State& state, const d3d9ref::DrawCall& call) override
    {
        seen.push_back("draw " + std::to_string(call.PrimitiveCount));
        d3d9ref::BufferView view;
        if (d3d9ref::viewBuffer(state.Streams[0].Buffer, view)) std::memcpy(&seenX, view.Bytes, 4);
        seenZ = state.RenderStates[D3DRS_ZENABLE];
    }
    void present() override { seen.push_back("present"); }
    bool readFrontBuffer(uint8_t*, UINT, UINT&, UINT&) override { return false; }
};

TEST_F(Direct3D9Test, ARendererSeesClearsDrawsAndPresentsWithTheState)
{
    seen.clear();
    d3d9ref::setRendererFactory([]() -> std::unique_ptr<d3d9ref::Renderer> { return std::make_unique<NotingRenderer>(); });
    ASSERT_EQ(create(), D3D_OK);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(48, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    float* v = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0), D3D_OK);
    v[0] = 2.5f;
    vb->Unlock();
    device->SetStreamSource(0, vb, 0, 12);
    device->SetFVF(D3DFVF_XYZ);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // outside a scene
    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    vb->Release();
    device->Release();
    device = nullptr;
    d3d9ref::setRendererFactory(nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"open", "clear", "draw 1", "present", "close"}));
    EXPECT_EQ(seenX, 2.5f);
    EXPECT_EQ(seenZ, 0u);
}

}  // namespace
