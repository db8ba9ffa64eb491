#include "platform/d3d9.h"
#include "platform/testing.h"
#include "Renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace pt = platform::testing;

namespace {

class Direct3D9Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt::resetD3D9();
        HMODULE lib = LoadLibraryA("D3D9.DLL");
        ASSERT_NE(lib, nullptr);
        auto create = reinterpret_cast<PFN_Direct3DCreate9>(GetProcAddress(lib, "Direct3DCreate9"));
        ASSERT_NE(create, nullptr);
        d3d = create(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override
    {
        if (device) device->Release();
        if (d3d) d3d->Release();
        pt::resetD3D9();
    }

    D3DPRESENT_PARAMETERS parameters(D3DFORMAT depth = D3DFMT_D24S8)
    {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 640;
        pp.BackBufferHeight = 480;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = depth;
        return pp;
    }

    void create()
    {
        D3DPRESENT_PARAMETERS pp = parameters();
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

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

TEST_F(Direct3D9Test, DefaultCardAnswersFromTheConfigurationRecord)
{
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    D3DADAPTER_IDENTIFIER9 id;
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_EQ(id.WHQLLevel, 1u);
    EXPECT_EQ(d3d->GetAdapterIdentifier(1, 0, &id), D3DERR_INVALIDCALL);
    UINT n = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A1R5G5B5), 0u);
    D3DDISPLAYMODE first, last;
    ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &first), D3D_OK);
    ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, n - 1, &last), D3D_OK);
    EXPECT_EQ(first.Width, 640u);
    EXPECT_EQ(last.Width, 1920u);
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, n, &last), D3DERR_INVALIDCALL);

    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_EQ(caps.MaxStreams, 16u);
    EXPECT_EQ(caps.VertexShaderVersion & 0xFFFF, 0x101u);
    EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3DERR_INVALIDCALL);

    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT5), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_INDEX16),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                     D3DFMT_D16),
              D3D_OK);
    DWORD levels = 0;
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_NONMASKABLE,
                                              &levels),
              D3D_OK);
    EXPECT_EQ(levels, 4u);

    // The desktop can change under a running test.
    pt::d3d9Config().Adapters[0].Desktop.Format = D3DFMT_R5G6B5;
    D3DDISPLAYMODE desktop;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_EQ(desktop.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(pt::d3d9Calls("GetAdapterDisplayMode"), 1);
}

TEST_F(Direct3D9Test, CreateDeviceRefusesUnacceptedDepthAndForcedResults)
{
    D3DPRESENT_PARAMETERS pp = parameters(D3DFMT_D32);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    pt::setCreateDeviceResult([](const D3DPRESENT_PARAMETERS& p, DWORD) {
        return p.AutoDepthStencilFormat == D3DFMT_D24S8 ? D3DERR_OUTOFVIDEOMEMORY : D3D_OK;
    });
    pp = parameters(D3DFMT_D24S8);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device), D3DERR_OUTOFVIDEOMEMORY);
    pp = parameters(D3DFMT_D16);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x40, &pp, &device), D3D_OK);
    ASSERT_EQ(pt::d3d9CreateAttempts().size(), 3u);
    EXPECT_EQ(pt::d3d9State()->Parameters.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(pt::d3d9State()->Behaviour, 0x40u);
    EXPECT_EQ(pt::d3d9LiveDevices(), 1);
}

TEST_F(Direct3D9Test, DeviceKeepsStatesAndRecordsCalls)
{
    create();
    pt::setD3D9Trace(true);
    EXPECT_EQ(device->SetRenderState(D3DRS_FOGENABLE, TRUE), D3D_OK);
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(256), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(3, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), D3D_OK);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, 1), D3DERR_INVALIDCALL);
    D3DMATRIX m{};
    m._11 = 2;
    EXPECT_EQ(device->SetTransform(D3DTS_VIEW, &m), D3D_OK);
    const pt::D3D9State* s = pt::d3d9State();
    EXPECT_EQ(s->RenderStates[D3DRS_FOGENABLE], 1u);
    EXPECT_EQ(s->SamplerStates[3][D3DSAMP_MINFILTER], static_cast<DWORD>(D3DTEXF_LINEAR));
    EXPECT_EQ(s->Transforms.at(D3DTS_VIEW)._11, 2.0f);
    EXPECT_EQ(pt::d3d9Calls("SetRenderState"), 2);
    ASSERT_GE(pt::d3d9Trace().size(), 2u);
    EXPECT_EQ(pt::d3d9Trace()[0].Method, "SetRenderState");
    EXPECT_EQ(pt::d3d9Trace()[0].Args, (std::vector<uint64_t>{D3DRS_FOGENABLE, 1}));
    D3DVIEWPORT9 tooBig{0, 0, 641, 480, 0, 1};
    EXPECT_EQ(device->SetViewport(&tooBig), D3DERR_INVALIDCALL);
}

TEST_F(Direct3D9Test, ResetRefusesWhileDefaultPoolResourcesLiveAndFollowsTheLostSequence)
{
    create();
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(64, D3DUSAGE_DYNAMIC, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr), D3D_OK);
    IDirect3DVertexBuffer9* managed = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 1);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);

    D3DPRESENT_PARAMETERS pp = parameters();
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ib->Release();
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), 0);

    pt::setD3D9DeviceState(D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&pp), D3DERR_DEVICELOST);
    pt::setD3D9DeviceState(D3DERR_DEVICENOTRESET);
    pp.BackBufferWidth = 800;
    pp.BackBufferHeight = 600;
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(pt::d3d9State()->RenderStates[D3DRS_LIGHTING], 1u);  // states back to their defaults
    EXPECT_EQ(pt::d3d9State()->Viewport.Width, 800u);
    ASSERT_EQ(pt::d3d9ResetParameters().size(), 3u);

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
    create();
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->GetLevelCount(), 7u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(tex->GetLevelDesc(2, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 16u);
    EXPECT_EQ(desc.Height, 4u);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_GT(locked.Pitch, 64 * 4);
    EXPECT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
    static_cast<uint8_t*>(locked.pBits)[locked.Pitch] = 0x5A;
    EXPECT_EQ(tex->UnlockRect(0), D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &surface), D3D_OK);
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(locked.pBits)[locked.Pitch], 0x5A);
    surface->UnlockRect();
    tex->Release();
    surface->Release();  // the surface kept the texture alive until here
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_MANAGED), 0);

    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 2 * 8);  // two DXT1 blocks per block row
    EXPECT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(6), 0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    cube->Release();
}

TEST_F(Direct3D9Test, BuffersLockWithinTheirLength)
{
    create();
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(16, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(8, 9, &data, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Lock(4, 8, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    std::memset(data, 0xAB, 8);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    std::vector<uint8_t> bytes = pt::d3d9BufferBytes(vb);
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(bytes[4], 0xAB);
    EXPECT_EQ(bytes[11], 0xAB);
    EXPECT_EQ(bytes[12], 0);
    D3DVERTEXBUFFER_DESC desc;
    vb->GetDesc(&desc);
    EXPECT_EQ(desc.FVF, static_cast<DWORD>(D3DFVF_XYZ));
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    vb->Release();
}

TEST_F(Direct3D9Test, FailureSwitchesFrontBufferAndShaderIntrospection)
{
    create();
    pt::setD3D9Failure("CreateTexture", E_OUTOFMEMORY);
    IDirect3DTexture9* tex = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(tex, nullptr);
    pt::setD3D9Failure("CreateTexture", D3D_OK);
    pt::setD3D9Failure("LockRect", D3DERR_INVALIDCALL);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    pt::setD3D9Failure("LockRect", D3D_OK);

    pt::setD3D9FrontBuffer({0xFF102030u, 2, 3, 0xFF405060u}, 2, 2);
    ASSERT_EQ(device->GetFrontBufferData(0, surface), D3D_OK);
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    uint32_t texel;
    std::memcpy(&texel, static_cast<uint8_t*>(locked.pBits) + locked.Pitch + 4, 4);
    EXPECT_EQ(texel, 0xFF405060u);
    surface->UnlockRect();
    surface->Release();
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_SYSTEMMEM), 0);

    const DWORD tokens[] = {0xFFFE0101u, 0x00000000u, 0x0000FFFFu, 0xDEADBEEFu};
    IDirect3DVertexShader9* vs = nullptr;
    ASSERT_EQ(device->CreateVertexShader(tokens, &vs), D3D_OK);
    EXPECT_EQ(pt::d3d9ShaderTokens(vs), (std::vector<DWORD>{0xFFFE0101u, 0, 0xFFFF}));
    vs->Release();
}

TEST_F(Direct3D9Test, AMultithreadedDeviceTakesCallsFromOtherThreads)
{
    D3DPRESENT_PARAMETERS pp = parameters();
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MULTITHREADED, &pp, &device), D3D_OK);
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

// A renderer that notes what reaches it, as a real one would see it.
struct Seen {
    std::vector<std::string> Calls;
    uint64_t VertexVersion = 0;
    float FirstX = 0;
    DWORD ZEnable = 0;
};
Seen* seen = nullptr;

class NotingRenderer : public d3d9ref::Renderer {
public:
    bool open(HWND, const D3DPRESENT_PARAMETERS&) override
    {
        seen->Calls.push_back("open");
        return true;
    }
    void close() override { seen->Calls.push_back("close"); }
    void clear(const pt::D3D9State&, DWORD, D3DCOLOR, float, DWORD) override { seen->Calls.push_back("clear"); }
    void draw(const pt::D3D9State& state, const d3d9ref::DrawCall& call) override
    {
        seen->Calls.push_back("draw " + std::to_string(call.PrimitiveCount));
        d3d9ref::BufferView view;
        if (d3d9ref::viewBuffer(state.Streams[0].Buffer, view)) {
            seen->VertexVersion = view.Version;
            std::memcpy(&seen->FirstX, view.Bytes, 4);
        }
        seen->ZEnable = state.RenderStates[D3DRS_ZENABLE];
    }
    void present() override { seen->Calls.push_back("present"); }
    bool readFrontBuffer(std::vector<uint32_t>&, UINT&, UINT&) override { return false; }
};

TEST_F(Direct3D9Test, ARendererSeesClearsDrawsAndPresentsWithTheState)
{
    Seen noted;
    seen = &noted;
    d3d9ref::setRendererFactory([]() -> std::unique_ptr<d3d9ref::Renderer> { return std::make_unique<NotingRenderer>(); });
    create();
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
    EXPECT_EQ(noted.Calls, (std::vector<std::string>{"open", "clear", "draw 1", "present"}));
    EXPECT_EQ(noted.VertexVersion, 1u);
    EXPECT_EQ(noted.FirstX, 2.5f);
    EXPECT_EQ(noted.ZEnable, 0u);
    EXPECT_EQ(pt::d3d9State()->FramesPresented, 1u);
    vb->Release();
    device->Release();
    device = nullptr;
    EXPECT_EQ(noted.Calls.back(), "close");
    d3d9ref::setRendererFactory(nullptr);
    seen = nullptr;
}

}  // namespace
