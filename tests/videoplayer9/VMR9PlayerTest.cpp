// CVMR9Player and its allocator-presenter on the DirectShow stand-in: test sources, the manual
// clock, the scripted card.
#include "VideoFixture.h"
#include "videoplayer9/VMR9AllocatorPresenter.h"
#include "videoplayer9/VMR9Player.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

namespace pt = platform::testing;

namespace {

class VMR9PlayerTest : public VideoFixture {
protected:
    std::unique_ptr<CVMR9Player> player() { return std::make_unique<CVMR9Player>(DXInterface.ID3D, DXInterface.ID3DDevice); }
    bool open(CVMR9Player& p, const char* name, uint8_t startPaused = 0)
    {
        return p.Open(m_window, name, 0, 16, 8, 320, 240, 32768, startPaused);
    }
    // The vertex buffer bound for the last draw, as the trace names it.
    static std::vector<VideoVertex> boundQuad()
    {
        std::vector<VideoVertex> quad(4);
        IDirect3DVertexBuffer9* last = nullptr;
        for (const auto& args : calls("SetStreamSource"))
            if (args[1] && args[3] == sizeof(VideoVertex)) last = reinterpret_cast<IDirect3DVertexBuffer9*>(args[1]);
        const auto bytes = pt::d3d9BufferBytes(last);
        if (bytes.size() == sizeof(VideoVertex) * 4) std::memcpy(quad.data(), bytes.data(), bytes.size());
        return quad;
    }
};

}  // namespace

TEST_F(VMR9PlayerTest, OpenBuildsItsGraphInOrderAndSaysWhichStepFailed)
{
    ASSERT_TRUE(bringUp());
    {
        auto p = player();
        EXPECT_FALSE(open(*p, ""));
        EXPECT_FALSE(open(*p, nullptr));
        EXPECT_EQ(dshow::calls("CoCreateInstance"), 0);
        EXPECT_EQ(dshow::liveGraphs(), 0);
    }
    const struct {
        const char* call;
        std::vector<const char*> reports;
    } steps[] = {
        {"CoCreateInstance", {"Failed to create filter graph"}},
        {"CoCreateInstance VideoMixingRenderer9", {"Failed to create VideoMixingRenderer9"}},
        {"QueryInterface IVMRFilterConfig9", {"Failed to create VMRFilterConfig9"}},
        {"SetRenderingMode", {"Failed to set renderless mode"}},
        {"SetNumberOfStreams", {"Failed to set number of streams"}},
        {"QueryInterface IVMRSurfaceAllocatorNotify9",
         {"Faied to query IVMRSurfaceAllocatorNotify9", "Failed to SetAllocatorPresenter"}},
        {"AdviseSurfaceAllocator", {"Failed to AdviseSurfaceAllocator", "Failed to SetAllocatorPresenter"}},
        {"SetD3DDevice", {"Failed to AdviseNotify", "Failed to SetAllocatorPresenter"}},
        {"AddFilter", {"Failed to add VMR9 filter"}},
        {"QueryInterface IMediaControl", {"Failed to query IMediaControl"}},
        {"QueryInterface IMediaPosition", {"Failed to query IMediaPosition"}},
        {"QueryInterface IBasicAudio", {"Failed to query IBasicAudio"}},
        {"RenderFile", {"Failed to render video file"}},
        {"Run", {"Failed to run video"}},
        {"", {}},
    };
    for (const auto& step : steps) {
        dshow::reset();
        dshow::registerVideo("data\\movies\\intro.vid", clip(64, 48, 3));
        if (step.call[0]) dshow::failCall(step.call, E_FAIL);
        testsupport::clearReports();
        auto p = player();
        EXPECT_EQ(open(*p, "data\\movies\\intro.vid"), step.reports.empty()) << step.call;
        for (const char* report : step.reports) EXPECT_EQ(testsupport::countReports(report), 1) << step.call;
        EXPECT_EQ(testsupport::reports().size(), step.reports.size()) << step.call;
        if (!step.reports.empty()) continue;
        const dshow::GraphState g = graphState();
        EXPECT_EQ(std::make_tuple(std::string("data\\movies\\intro.vid"), std::vector<std::string>{"Video Mixing Renderer 9"}, State_Running),
                  std::make_tuple(g.path, g.filters, g.state));
        const dshow::Vmr9State vmr = dshow::vmr9s().at(0);
        EXPECT_EQ(std::make_tuple(DWORD(VMR9Mode_Renderless), 2u, DWORD_PTR(0xACDCACDCu)), std::make_tuple(vmr.mode, vmr.streams, vmr.userId));
        EXPECT_EQ(std::make_pair(DXInterface.ID3DDevice, DXInterface.ID3D->GetAdapterMonitor(0)), std::make_pair(vmr.device, vmr.monitor));
    }
}

TEST_F(VMR9PlayerTest, StartPausedVolumesTheEndAndStopClosing)
{
    ASSERT_TRUE(bringUp());
    dshow::registerVideo("clip.vid", clip(32, 16, 4));
    auto p = player();
    ASSERT_TRUE(open(*p, "clip.vid", 1));
    // Paused at the start: nothing runs and nothing is shown until Play.
    ds::advanceFrames(2 * FRAME);
    EXPECT_EQ(p->GetPosition(), 0);
    EXPECT_EQ(graphState().framesPresented, 0);
    ASSERT_TRUE(p->Play());
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));

    // Every volume from 328 up is full volume; 0 is silence.
    for (auto [volume, hundredths] : {std::pair{32768u, 0}, {3276u, 0}, {328u, 0}, {327u, -2}, {164u, -998}, {0u, -10000}}) {
        p->SetVolume(volume);
        EXPECT_EQ(graphState().volume, hundredths) << volume;
    }
    EXPECT_EQ(p->GetDuration(), 160);
    EXPECT_FALSE(p->IsFinished());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(nextFrame());
    EXPECT_EQ(p->GetPosition(), 120);
    EXPECT_FALSE(p->IsFinished());
    ds::advanceFrames(FRAME);
    EXPECT_TRUE(p->IsFinished());
    // The loop flag is not this player's: the end stays the end.
    ds::advanceFrames(FRAME);
    EXPECT_EQ(p->GetPosition(), 160);
    EXPECT_EQ(graphState().posted, std::vector<LONG>{EC_COMPLETE});

    EXPECT_TRUE(p->Stop());
    EXPECT_EQ(dshow::liveGraphs(), 0);
    EXPECT_FALSE(p->Stop());
    EXPECT_FALSE(p->Play());
    EXPECT_TRUE(p->IsFinished());
    EXPECT_EQ(p->GetPosition(), 0);
}

TEST_F(VMR9PlayerTest, EachFrameIsDrawnOnTheQuadPresentedAndStepsTheFrontEnd)
{
    ASSERT_TRUE(bringUp());
    pt::setD3D9Trace(true);
    dshow::registerVideo("big.vid", clip(640, 480, 6));
    auto p = player();
    ASSERT_TRUE(open(*p, "big.vid"));
    p->SetFrontEndUpdate(1);
    CFEGameLink::SetExitAfterSteps(2);
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    const UINT presented = state().FramesPresented;

    // A card that wants powers of two: 1024 x 512 surfaces, of which the picture fills a part.
    const VMR9AllocationInfo granted = dshow::vmr9s().at(0).granted;
    EXPECT_EQ(std::make_pair(1024u, 512u), std::make_pair(granted.dwWidth, granted.dwHeight));
    EXPECT_TRUE(granted.dwFlags & VMR9AllocFlag_TextureSurface);
    const std::vector<VideoVertex> quad = boundQuad();
    const float corners[4][4] = {{16, 8, 0, 0}, {16, 248, 0, 0.9375f}, {336, 8, 0.625f, 0}, {336, 248, 0.625f, 0.9375f}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(quad[i].x, corners[i][0]) << i;
        EXPECT_EQ(quad[i].y, corners[i][1]) << i;
        EXPECT_FLOAT_EQ(quad[i].u, corners[i][2]) << i;
        EXPECT_FLOAT_EQ(quad[i].v, corners[i][3]) << i;
        EXPECT_FLOAT_EQ(quad[i].rhw, 0.999f);
        EXPECT_EQ(quad[i].colour, 0xFFFFFFFFu);
    }
    EXPECT_EQ(calls("CreateVertexBuffer").back(),
              (std::vector<uint64_t>{112, D3DUSAGE_WRITEONLY, VIDEO_FVF, D3DPOOL_MANAGED}));
    EXPECT_EQ(calls("DrawPrimitive").back(), (std::vector<uint64_t>{D3DPT_TRIANGLESTRIP, 0, 2}));
    EXPECT_EQ(calls("SetFVF").back(), std::vector<uint64_t>{VIDEO_FVF});
    EXPECT_EQ(state().RenderStates[D3DRS_CULLMODE], DWORD(D3DCULL_NONE));
    EXPECT_EQ(state().RenderStates[D3DRS_LIGHTING], DWORD(FALSE));
    EXPECT_EQ(state().SamplerStates[0][D3DSAMP_ADDRESSU], DWORD(D3DTADDRESS_CLAMP));
    EXPECT_EQ(state().SamplerStates[0][D3DSAMP_MINFILTER], DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(state().StageStates[0][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE));
    EXPECT_EQ(state().StageStates[0][D3DTSS_ALPHAARG2], D3DTA_DIFFUSE);

    // One front-end step, and one present, per frame; the second step asks to leave.
    EXPECT_EQ(CFEGameLink::Steps(), 1);
    EXPECT_EQ(p->GetFrontEndResult(), 1);
    ASSERT_TRUE(nextFrame());
    EXPECT_EQ(CFEGameLink::Steps(), 2);
    EXPECT_EQ(state().FramesPresented, presented + 1);
    EXPECT_EQ(p->GetFrontEndResult(), 2);
    p->SetFrontEndUpdate(0);
    EXPECT_EQ(p->GetFrontEndResult(), 1);
    ASSERT_TRUE(nextFrame());
    EXPECT_EQ(CFEGameLink::Steps(), 2);

    // The trace switched off, read and emptied with nothing waited for after the streaming thread
    // drew a frame; the frames after it are counted but not traced.
    const int shown = graphState().framesPresented;
    ds::advanceFrames(FRAME);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pt::setD3D9Trace(false);
    EXPECT_FALSE(pt::d3d9Trace().empty());
    pt::clearD3D9Calls();
    ASSERT_TRUE(dshow::waitForFrames(graph(), shown + 1));
    pt::clearD3D9Calls();
    ASSERT_TRUE(nextFrame());
    EXPECT_TRUE(pt::d3d9Trace().empty());
    EXPECT_GT(pt::d3d9Calls("DrawPrimitive"), 0);

    pt::setD3D9Trace(true);
    p->Close();

    // Without the power-of-two cap the surfaces take the picture's size and the whole texture.
    pt::d3d9Config().Adapters[0].DeviceTypes[0].Caps.TextureCaps &= ~D3DPTEXTURECAPS_POW2;
    ASSERT_TRUE(open(*p, "big.vid"));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    EXPECT_EQ(dshow::vmr9s().at(0).granted.dwWidth, 640u);
    EXPECT_FLOAT_EQ(boundQuad()[3].u, 1.0f);
    EXPECT_FLOAT_EQ(boundQuad()[3].v, 1.0f);
}

TEST_F(VMR9PlayerTest, YuvVideoIsCopiedIntoAPrivateRenderTargetTexture)
{
    ASSERT_TRUE(bringUp());
    pt::setD3D9Trace(true);
    dshow::registerVideo("yuv.vid", clip(64, 48, 3, D3DFMT_YUY2));
    auto p = player();
    ASSERT_TRUE(open(*p, "yuv.vid"));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    ASSERT_TRUE(nextFrame());
    const VMR9AllocationInfo granted = dshow::vmr9s().at(0).granted;
    EXPECT_EQ(granted.dwFlags & (VMR9AllocFlag_TextureSurface | VMR9AllocFlag_OffscreenSurface),
              DWORD(VMR9AllocFlag_OffscreenSurface));
    EXPECT_EQ(granted.Format, D3DFMT_YUY2);
    EXPECT_EQ(calls("StretchRect").size(), 2u);
    // The texture drawn is a render target of the display's format, as large as the surfaces.
    IDirect3DTexture9* drawn = nullptr;
    for (const auto& args : calls("SetTexture"))
        if (args[1]) drawn = reinterpret_cast<IDirect3DTexture9*>(args[1]);
    ASSERT_NE(drawn, nullptr);
    D3DSURFACE_DESC desc{};
    drawn->GetLevelDesc(0, &desc);
    EXPECT_EQ(std::make_tuple(DWORD(D3DUSAGE_RENDERTARGET), D3DPOOL_DEFAULT, D3DFMT_X8R8G8B8, 64u, 64u),
              std::make_tuple(desc.Usage, desc.Pool, desc.Format, desc.Width, desc.Height));
}

TEST_F(VMR9PlayerTest, ALostDeviceGivesTheSurfacesBackAndTheVideoPlaysOn)
{
    ASSERT_TRUE(bringUp());
    dshow::registerVideo("clip.vid", clip(32, 16, 5));
    auto p = player();
    ASSERT_TRUE(open(*p, "clip.vid"));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    const int surfaces = pt::d3d9LiveResources(D3DPOOL_DEFAULT);
    testsupport::clearReports();
    pt::setD3D9DeviceState(D3DERR_DEVICENOTRESET);
    ASSERT_TRUE(nextFrame());
    EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_DEFAULT), surfaces - 2);
    ASSERT_TRUE(nextFrame());
    EXPECT_EQ(dshow::vmr9s().at(0).surfaceFailures, 1);
    EXPECT_TRUE(testsupport::reports().empty());
    EXPECT_FALSE(graphState().posted.size());
    pt::setD3D9DeviceState(D3D_OK);
    EXPECT_TRUE(p->Stop());
}

TEST_F(VMR9PlayerTest, ThePresenterNeedsAWindowAndDirect3DAndMakesADeviceWhenGivenNone)
{
    ASSERT_TRUE(bringUp());
    HRESULT hr = S_OK;
    auto made = [&](HWND window, IDirect3D9* d3d = nullptr, IDirect3DDevice9* device = nullptr) {
        auto* a = new CVMR9AllocatorPresenter(hr, window, d3d, device);
        a->Release();
        return hr;
    };
    EXPECT_EQ(made(reinterpret_cast<HWND>(0x1234)), E_INVALIDARG);
    pt::setLibraryMissing("d3d9.dll", true);
    EXPECT_EQ(made(m_window), S_OK);  // the debug runtime serves
    pt::setLibraryMissing("d3d9d.dll", true);
    EXPECT_EQ(made(m_window), E_FAIL);
    pt::setLibraryMissing("d3d9.dll", false);
    pt::setExportMissing("d3d9.dll", "Direct3DCreate9", true);
    EXPECT_EQ(made(m_window), E_FAIL);
    pt::setExportMissing("d3d9.dll", "Direct3DCreate9", false);
    pt::setLibraryMissing("d3d9d.dll", false);

    // Its own device: windowed on the window, copying.
    auto* a = new CVMR9AllocatorPresenter(hr, m_window, DXInterface.ID3D, nullptr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(pt::d3d9LiveDevices(), 2);
    const D3DPRESENT_PARAMETERS& own = pt::d3d9CreateAttempts().back();
    EXPECT_EQ(std::make_tuple(TRUE, D3DSWAPEFFECT_COPY, m_window), std::make_tuple(own.Windowed, own.SwapEffect, own.hDeviceWindow));

    IVMRImagePresenter9* presenter = nullptr;
    ASSERT_EQ(a->QueryInterface(IID_IVMRImagePresenter9, reinterpret_cast<void**>(&presenter)), S_OK);
    EXPECT_EQ(presenter->Release(), 1u);
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(pt::d3d9LiveDevices(), 1);

    // A player given no Direct3D draws and presents on the presenter's own device, not the core's.
    dshow::registerVideo("clip.vid", clip(32, 16, 2));
    const uint32_t coreFrames = D3DCore.FrameCount;
    {
        CVMR9Player own(nullptr, nullptr);
        ASSERT_TRUE(own.Open(m_window, "clip.vid", 0, 0, 0, 32, 16, 0, 0));
        ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
        EXPECT_NE(dshow::vmr9s().at(0).device, DXInterface.ID3DDevice);
        EXPECT_EQ(state().FramesPresented, 1u);
        EXPECT_EQ(D3DCore.FrameCount, coreFrames);
    }

    // Through the player; and the front end's flag without a presenter is reported, not used.
    testsupport::clearReports();
    auto p = player();
    EXPECT_FALSE(p->Open(reinterpret_cast<HWND>(0x1234), "clip.vid", 0, 0, 0, 32, 16, 0, 0));
    EXPECT_EQ(testsupport::countReports("Failed to SetAllocatorPresenter"), 1);
    testsupport::clearReports();
    p->Close();
    EXPECT_EQ(p->SetFrontEndUpdate(1), 0);
    EXPECT_EQ(p->GetFrontEndResult(), 1);
    EXPECT_EQ(testsupport::countReports("pAlloc"), 2);
}
