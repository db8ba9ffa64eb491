// Pictures through the DirectShow stand-in: sources tests register, a renderer built on our base
// classes, the VMR with an allocator-presenter of the test's, all paced by the manual clock.
#include "GraphFixture.h"
#include "platform/d3d9.h"
#include "platform/dshow/baseclasses.h"

#include <cstring>
#include <mutex>
#include <thread>

namespace {

const GUID CLSID_Recording = {0x1D0C3A57, 0x5B1E, 0x4C0E, {0x90, 0x11, 0x4E, 0x0A, 0x2B, 0x61, 0x7C, 0x33}};
const DWORD FRAME = 1764;  // output frames per picture at 25 per second

class RecordingRenderer : public CBaseVideoRenderer {
public:
    RecordingRenderer(const GUID& accepted, HRESULT* result)
        : CBaseVideoRenderer(CLSID_Recording, "Recording Renderer", nullptr, result), m_accepted(accepted) { ++alive; }
    HRESULT CheckMediaType(const CMediaType* type) override
    {
        if (!(*type->FormatType() == FORMAT_VideoInfo)) return E_INVALIDARG;
        return *type->Type() == MEDIATYPE_Video && *type->Subtype() == m_accepted ? S_OK : E_FAIL;
    }
    HRESULT SetMediaType(const CMediaType* type) override { return set = *type, S_OK; }
    HRESULT DoRenderSample(IMediaSample* sample) override
    {
        BYTE* bytes = nullptr;
        REFERENCE_TIME start = 0, end = 0;
        sample->GetPointer(&bytes);
        sample->GetTime(&start, &end);
        std::lock_guard<std::mutex> guard(lock);
        last.assign(bytes, bytes + sample->GetActualDataLength());
        starts.push_back(start);
        renderedOn = std::this_thread::get_id();
        return S_OK;
    }

    static int alive;
    CMediaType set;
    std::mutex lock;
    std::vector<uint8_t> last;
    std::vector<REFERENCE_TIME> starts;
    std::thread::id renderedOn;

private:
    ~RecordingRenderer() override { --alive; }
    GUID m_accepted;
};
int RecordingRenderer::alive = 0;

// The source's first output pin, after a check of every pin's direction.
IPin* outputPin(IBaseFilter* source)
{
    IEnumPins* pins = nullptr;
    EXPECT_EQ(source->EnumPins(&pins), S_OK);
    IPin *first = nullptr, *pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        EXPECT_EQ(pin->QueryDirection(&direction), S_OK);
        EXPECT_EQ(direction, PINDIR_OUTPUT);
        if (first) pin->Release();
        else first = pin;
    }
    pins->Release();
    return first;
}

class VideoGraphTest : public GraphFixture {
protected:
    void TearDown() override
    {
        GraphFixture::TearDown();
        EXPECT_EQ(RecordingRenderer::alive, 0);
    }
};

TEST_F(VideoGraphTest, ARendererInTheGraphTakesTheVideoAndGetsOneFramePerClockStep)
{
    dshow::SyntheticVideo clip;
    clip.width = 6, clip.height = 4, clip.frames = 3, clip.pattern = dshow::Pattern::Counter;
    dshow::registerVideo("data\\Movies\\clip.vid", clip);
    Graph g;
    HRESULT made = E_FAIL;
    auto* renderer = new RecordingRenderer(MEDIASUBTYPE_RGB24, &made);
    ASSERT_EQ(g.builder->AddFilter(renderer, wide("TEXTURERENDERER").c_str()), S_OK);  // the graph holds it
    IBaseFilter *source = nullptr, *second = nullptr;
    EXPECT_EQ(g.builder->AddSourceFilter(wide("missing.vid").c_str(), nullptr, &source), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(g.builder->AddSourceFilter(wide("DATA/movies/CLIP.VID").c_str(), wide("Source").c_str(), &source), S_OK);
    EXPECT_EQ(g.builder->AddSourceFilter(wide("data/movies/clip.vid").c_str(), nullptr, &second), E_UNEXPECTED);
    IPin* pin = outputPin(source);
    ASSERT_NE(pin, nullptr);
    ASSERT_EQ(g.builder->Render(pin), S_OK);
    EXPECT_EQ(g.builder->Render(pin), VFW_E_ALREADY_CONNECTED);
    pin->Release();
    source->Release();
    // RGB24 rows padded to four bytes, stored bottom-up.
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(renderer->set.Format());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::vector<LONG>({info->bmiHeader.biWidth, info->bmiHeader.biHeight, info->bmiHeader.biBitCount}),
              std::vector<LONG>({6, 4, 24}));
    EXPECT_EQ(renderer->set.lSampleSize, 20u * 4);
    EXPECT_EQ(g.state().videoSink, "Recording Renderer");
    REFTIME duration = 0;
    g.position->get_Duration(&duration);
    EXPECT_DOUBLE_EQ(duration, 3 * FRAME / 44100.0);
    auto shows = [&](UINT frame) {
        std::lock_guard<std::mutex> guard(renderer->lock);
        if (renderer->last.size() != 80u) return false;
        for (UINT y = 0; y < 4; ++y)
            for (UINT x = 0; x < 6; ++x) {
                const uint8_t* p = renderer->last.data() + (3 - y) * 20 + x * 3;
                if (DWORD(p[2] << 16 | p[1] << 8 | p[0]) != dshow::patternColour(clip.pattern, 6, 4, frame, x, y)) return false;
            }
        return true;
    };
    ASSERT_EQ(g.control->Run(), S_OK);
    ASSERT_TRUE(dshow::waitForFrames(g.builder, 1));
    EXPECT_TRUE(shows(0));
    ds::advanceFrames(FRAME);
    ASSERT_TRUE(dshow::waitForFrames(g.builder, 2));
    EXPECT_TRUE(shows(1));
    EXPECT_NE(renderer->renderedOn, std::this_thread::get_id());

    // A seek shows the frame at the new place at once; a clock that jumps shows only the frame due.
    ASSERT_EQ(g.position->put_CurrentPosition(0), S_OK);
    ASSERT_TRUE(dshow::waitForFrames(g.builder, 3));
    EXPECT_TRUE(shows(0));
    ds::advanceFrames(3 * FRAME);
    ASSERT_TRUE(dshow::waitForFrames(g.builder, 4));
    EXPECT_TRUE(shows(2));
    EXPECT_EQ(renderer->starts, (std::vector<REFERENCE_TIME>{0, 400000, 0, 800000}));
    EXPECT_EQ(g.take(), std::vector<LONG>{EC_COMPLETE});
    EXPECT_EQ(g.control->Stop(), S_OK);
    EXPECT_FALSE(g.state().streaming);
}

// A small allocator-presenter: texture surfaces where the VMR may have them, plain ones else,
// and every presented surface read back.
class Presenter : public IVMRSurfaceAllocator9, public IVMRImagePresenter9 {
public:
    explicit Presenter(IDirect3DDevice9* device) : m_device(device) { ++alive; }
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (riid == IID_IVMRImagePresenter9)
            *object = static_cast<IVMRImagePresenter9*>(this);
        else if (riid == IID_IVMRSurfaceAllocator9 || riid == IID_IUnknown)
            *object = static_cast<IVMRSurfaceAllocator9*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT InitializeDevice(DWORD_PTR, VMR9AllocationInfo* info, DWORD* buffers) override
    {
        asked = *info;
        info->dwFlags |= VMR9AllocFlag_TextureSurface;
        surfaces.assign(*buffers, nullptr);
        if (SUCCEEDED(notify->AllocateSurfaceHelper(info, buffers, surfaces.data()))) return S_OK;
        info->dwFlags = (info->dwFlags & ~VMR9AllocFlag_TextureSurface) | VMR9AllocFlag_OffscreenSurface;
        return notify->AllocateSurfaceHelper(info, buffers, surfaces.data());
    }
    HRESULT TerminateDevice(DWORD_PTR) override
    {
        for (IDirect3DSurface9* s : surfaces)
            if (s) s->Release();
        surfaces.clear();
        return ++terminated, S_OK;
    }
    HRESULT GetSurface(DWORD_PTR, DWORD index, DWORD, IDirect3DSurface9** surface) override
    {
        if (index >= surfaces.size()) return E_FAIL;
        (*surface = surfaces[index])->AddRef();
        return S_OK;
    }
    HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* n) override
    {
        (notify = n)->AddRef();
        return notify->SetD3DDevice(m_device, reinterpret_cast<HMONITOR>(7));
    }
    HRESULT StartPresenting(DWORD_PTR) override { return calls.push_back("start"), S_OK; }
    HRESULT StopPresenting(DWORD_PTR) override { return calls.push_back("stop"), S_OK; }
    HRESULT PresentImage(DWORD_PTR id, VMR9PresentationInfo* info) override
    {
        calls.push_back("present");
        userId = id;
        IDirect3DTexture9* texture = nullptr;
        inTexture = SUCCEEDED(info->lpSurf->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture)));
        if (texture) texture->Release();
        D3DSURFACE_DESC desc{};
        info->lpSurf->GetDesc(&desc);
        D3DLOCKED_RECT locked{};
        info->lpSurf->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        std::lock_guard<std::mutex> guard(lock);
        format = desc.Format;
        pitch = static_cast<UINT>(locked.Pitch);
        pixels.assign(static_cast<const uint8_t*>(locked.pBits), static_cast<const uint8_t*>(locked.pBits) + pitch * desc.Height);
        info->lpSurf->UnlockRect();
        return S_OK;
    }

    static int alive;
    IVMRSurfaceAllocatorNotify9* notify = nullptr;
    VMR9AllocationInfo asked{};
    std::vector<IDirect3DSurface9*> surfaces;
    std::vector<std::string> calls;
    DWORD_PTR userId = 0;
    bool inTexture = false;
    int terminated = 0;
    std::mutex lock;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT pitch = 0;
    std::vector<uint8_t> pixels;

private:
    ~Presenter()
    {
        if (notify) notify->Release();
        --alive;
    }
    IDirect3DDevice9* m_device;
    std::atomic<ULONG> m_references{1};
};
int Presenter::alive = 0;

class VmrLayouts : public VideoGraphTest, public ::testing::WithParamInterface<DWORD> {};

}  // namespace

TEST_P(VmrLayouts, TheVmrFillsTheAllocatorsSurfacesAndPresentsThemOnTheStreamingThread)
{
    const bool yuv = GetParam() == D3DFMT_YUY2;
    dshow::SyntheticVideo clip;
    clip.width = 8, clip.height = 4, clip.frames = 2, clip.layout = GetParam(), clip.pattern = dshow::Pattern::Bars;
    dshow::registerVideo("bars.vid", clip);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 16, pp.BackBufferHeight = 16, pp.BackBufferFormat = D3DFMT_X8R8G8B8, pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device), D3D_OK);

    IBaseFilter* vmr = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&vmr)),
              S_OK);
    IVMRFilterConfig9* config = nullptr;
    ASSERT_EQ(vmr->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(&config)), S_OK);
    IVMRSurfaceAllocatorNotify9* notify = nullptr;
    EXPECT_EQ(vmr->QueryInterface(IID_IVMRSurfaceAllocatorNotify9, reinterpret_cast<void**>(&notify)), E_NOINTERFACE);
    ASSERT_EQ(config->SetRenderingMode(VMR9Mode_Renderless), S_OK);
    ASSERT_EQ(config->SetNumberOfStreams(2), S_OK);
    config->Release();
    ASSERT_EQ(vmr->QueryInterface(IID_IVMRSurfaceAllocatorNotify9, reinterpret_cast<void**>(&notify)), S_OK);
    auto* presenter = new Presenter(device);
    ASSERT_EQ(notify->AdviseSurfaceAllocator(0xACDCACDC, presenter), S_OK);
    ASSERT_EQ(presenter->AdviseNotify(notify), S_OK);
    notify->Release();

    Graph g;
    ASSERT_EQ(g.builder->AddFilter(vmr, wide("Video Mixing Renderer 9").c_str()), S_OK);
    ASSERT_EQ(g.render("bars.vid"), S_OK);
    const dshow::Vmr9State vs = dshow::vmr9s().at(0);
    EXPECT_EQ(2u, vs.streams);
    EXPECT_EQ(std::make_pair(static_cast<void*>(device), static_cast<void*>(reinterpret_cast<HMONITOR>(7))),
              std::make_pair(static_cast<void*>(vs.device), static_cast<void*>(vs.monitor)));

    EXPECT_EQ(presenter->asked.dwFlags, DWORD(yuv ? VMR9AllocFlag_OffscreenSurface : VMR9AllocFlag_3DRenderTarget));
    EXPECT_EQ(presenter->asked.Format, yuv ? D3DFMT_YUY2 : D3DFMT_X8R8G8B8);
    // Texture surfaces are refused for four-character codes: the presenter fell back.
    EXPECT_EQ(vs.granted.dwFlags & VMR9AllocFlag_TextureSurface, DWORD(yuv ? 0 : VMR9AllocFlag_TextureSurface));

    ASSERT_EQ(g.control->Run(), S_OK);
    ASSERT_TRUE(dshow::waitForFrames(g.builder, 1));
    {
        std::lock_guard<std::mutex> guard(presenter->lock);
        EXPECT_EQ(presenter->format, yuv ? D3DFMT_YUY2 : D3DFMT_X8R8G8B8);
        EXPECT_EQ(presenter->userId, 0xACDCACDCu);
        EXPECT_EQ(presenter->inTexture, !yuv);
        // Upright: the first row holds the bars, the last the black and white halves.
        for (UINT x = 0; x < 8 && !yuv; ++x)
            for (UINT y : {0u, 3u}) {
                DWORD p;
                std::memcpy(&p, presenter->pixels.data() + y * presenter->pitch + x * 4, 4);
                EXPECT_EQ(p, 0xFF000000u | dshow::patternColour(clip.pattern, 8, 4, 0, x, y)) << x << y;
            }
    }
    ds::advanceFrames(FRAME);
    ASSERT_TRUE(dshow::waitForFrames(g.builder, 2));
    g.control->Stop();
    EXPECT_EQ(presenter->calls, (std::vector<std::string>{"start", "present", "present", "stop"}));
    g.release();
    EXPECT_EQ(presenter->terminated, 1);

    // The VMR and its allocator-presenter hold each other: both go with the last outside reference.
    vmr->Release();
    EXPECT_EQ(dshow::liveVmr9s(), 1);
    presenter->Release();
    EXPECT_EQ(dshow::liveVmr9s(), 0);
    EXPECT_EQ(Presenter::alive, 0);
    device->Release(), d3d->Release();
}

INSTANTIATE_TEST_SUITE_P(Layouts, VmrLayouts, ::testing::Values(DWORD(D3DFMT_R8G8B8), DWORD(D3DFMT_YUY2)));
