// CVideoTexture and its texture renderer on the DirectShow stand-in and the scripted card.
#include "VideoFixture.h"
#include "videoplayer9/VideoQuad.h"
#include "videotexture/TextureRenderer.h"
#include "videotexture/VideoTexture.h"

#include <cstring>
#include <memory>

namespace pt = platform::testing;

namespace {

// A frame handed to a renderer as the graph would.
class Sample final : public IMediaSample {
public:
    explicit Sample(std::vector<uint8_t> bytes) : bytes(std::move(bytes)) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetPointer(BYTE** buffer) override
    {
        *buffer = bytes.data();
        return S_OK;
    }
    LONG GetSize() override { return static_cast<LONG>(bytes.size()); }
    LONG GetActualDataLength() override { return static_cast<LONG>(bytes.size()); }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override
    {
        *start = *end = 0;
        return S_OK;
    }
    std::vector<uint8_t> bytes;
};

CMediaType rgb24(LONG width, LONG height, const GUID& subtype = MEDIASUBTYPE_RGB24)
{
    CMediaType type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = FORMAT_VideoInfo;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biBitCount = 24;
    return type;
}

// Texel (x, y) of level 0 as stored, B G R A in the low bytes first.
DWORD texel(IDirect3DTexture9* texture, UINT x, UINT y)
{
    D3DLOCKED_RECT r{};
    texture->LockRect(0, &r, nullptr, D3DLOCK_READONLY);
    DWORD p;
    std::memcpy(&p, static_cast<const uint8_t*>(r.pBits) + y * r.Pitch + x * 4, 4);
    texture->UnlockRect(0);
    return p;
}

class VideoTextureTest : public VideoFixture {
protected:
    bool open(CVideoTexture& p, const char* name, uint8_t loop = 0)
    {
        // Volume 0 and start paused: both ignored by this player.
        return p.Open(m_window, name, loop, 10, 20, 320, 240, 0, 1);
    }
    static CTextureRenderer* renderer(uint8_t half)
    {
        HRESULT hr = E_FAIL;
        auto* r = new CTextureRenderer(nullptr, &hr, half);
        r->AddRef();
        EXPECT_EQ(hr, S_OK);
        return r;
    }
    // What the last draw bound: the texture of stage 0 and the four vertices.
    static IDirect3DTexture9* drawnTexture()
    {
        IDirect3DTexture9* t = nullptr;
        for (const auto& args : calls("SetTexture"))
            if (args[0] == 0 && args[1]) t = reinterpret_cast<IDirect3DTexture9*>(args[1]);
        return t;
    }
    static std::vector<VideoVertex> drawnQuad()
    {
        IDirect3DVertexBuffer9* vb = nullptr;
        for (const auto& args : calls("SetStreamSource"))
            if (args[1] && args[3] == sizeof(VideoVertex)) vb = reinterpret_cast<IDirect3DVertexBuffer9*>(args[1]);
        const auto bytes = pt::d3d9BufferBytes(vb);
        const size_t start = calls("DrawPrimitive").back()[1] * sizeof(VideoVertex);
        std::vector<VideoVertex> quad(4);
        if (bytes.size() >= start + sizeof(VideoVertex) * 4) std::memcpy(quad.data(), bytes.data() + start, sizeof(VideoVertex) * 4);
        return quad;
    }
};

}  // namespace

TEST_F(VideoTextureTest, OpenBuildsTheGraphAndEveryFailureIsReportedAndFalse)
{
    ASSERT_TRUE(bringUp());
    const int managed = pt::d3d9LiveResources(D3DPOOL_MANAGED);
    const struct {
        const char* call;
        const char* report;
    } steps[] = {
        {"CoCreateInstance", "Failed to create filter graph"},
        {"AddSourceFilter", "Failed to add source filter"},
        {"AddFilter", "Failed to add texturerenderer filter to graph"},
        {"EnumPins", "Failed to enum source filter pins"},
        {"QueryDirection", "Failed to get pin direction"},
        {"QueryInterface IMediaControl", "m_pMC"},
        {"QueryInterface IMediaPosition", "m_pMP"},
        {"QueryInterface IMediaEvent", "m_pME"},
        {"QueryInterface IBasicAudio", "m_pBA"},
        {"Run", "SUCCEEDED(m_pMC->Run())"},
        {"", nullptr},
    };
    for (const auto& step : steps) {
        dshow::reset();
        dshow::registerVideo("clip.vid", clip(64, 48, 3));
        if (step.call[0]) dshow::failCall(step.call, E_FAIL);
        testsupport::clearReports();
        {
            CVideoTexture p(0);
            EXPECT_EQ(open(p, "clip.vid"), !step.report) << step.call;
            if (step.report) {
                EXPECT_EQ(testsupport::countReports(step.report), 1) << step.call;
                continue;
            }
            EXPECT_TRUE(testsupport::reports().empty());
            const dshow::GraphState g = graphState();
            EXPECT_EQ(g.filters, (std::vector<std::string>{"clip.vid", "TEXTURERENDERER"}));
            EXPECT_EQ(g.videoSink, "Texture Renderer");
            EXPECT_EQ(g.state, State_Running);
            EXPECT_EQ(g.volume, 0);
        }
        // The graph held the last reference to the renderer, and the renderer its texture.
        EXPECT_EQ(dshow::liveGraphs(), 0);
        EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_MANAGED), managed);
    }
    CVideoTexture p(0);
    EXPECT_FALSE(p.Open(m_window, nullptr, 0, 0, 0, 1, 1, 0, 0));
    EXPECT_EQ(testsupport::countReports("pFilename"), 1);
    EXPECT_TRUE(p.IsFinished());

    // Pictures the renderer does not take are not drawn; the rest still plays.
    dshow::SyntheticVideo rgb32 = clip(64, 48, 3, D3DFMT_X8R8G8B8);
    rgb32.toneHz = 300;
    dshow::registerVideo("rgb32.vid", rgb32);
    ASSERT_TRUE(open(p, "rgb32.vid"));
    EXPECT_EQ(graphState().videoSink, "");
    pt::setD3D9Trace(true);
    p.Render();
    EXPECT_TRUE(calls("DrawPrimitive").empty());
}

TEST_F(VideoTextureTest, TheRendererTakesRgb24VideoInfoAndSizesItsTextureInPowersOfTwo)
{
    ASSERT_TRUE(bringUp());
    CTextureRenderer* r = renderer(0);
    CMediaType other = rgb24(8, 8);
    other.formattype = FORMAT_WaveFormatEx;
    EXPECT_EQ(r->CheckMediaType(&other), E_INVALIDARG);
    other = rgb24(8, 8, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(r->CheckMediaType(&other), E_FAIL);
    other = rgb24(8, 8);
    other.majortype = MEDIATYPE_Audio;
    EXPECT_EQ(r->CheckMediaType(&other), E_FAIL);
    other = rgb24(8, 8);
    EXPECT_EQ(r->CheckMediaType(&other), S_OK);
    r->Release();

    const struct {
        LONG width, height;
        uint8_t half;
        UINT textureWidth, textureHeight;
        int32_t shownWidth, shownHeight;
    } sizes[] = {
        {640, 480, 0, 1024, 512, 640, 480}, {640, -480, 1, 512, 256, 320, 240}, {1, 4, 0, 1, 4, 1, 4},
        {1, 1, 1, 1, 1, 0, 0},              {513, 3, 1, 256, 1, 256, 1},
    };
    for (const auto& s : sizes) {
        r = renderer(s.half);
        const CMediaType type = rgb24(s.width, s.height);
        ASSERT_EQ(r->SetMediaType(&type), S_OK);
        EXPECT_EQ(r->GetTextureWidth(), s.textureWidth) << s.width;
        EXPECT_EQ(r->GetTextureHeight(), s.textureHeight) << s.height;
        EXPECT_EQ(r->GetVideoWidth(), s.shownWidth) << s.width;
        EXPECT_EQ(r->GetVideoHeight(), s.shownHeight) << s.height;
        r->Release();
    }
    pt::setD3D9Failure("CreateTexture", E_OUTOFMEMORY);
    r = renderer(0);
    EXPECT_EQ(r->SetMediaType(&other), E_OUTOFMEMORY);
    EXPECT_EQ(testsupport::countReports("Failed to create d3d texture"), 1);
    r->Release();
}

TEST_F(VideoTextureTest, FramesAreCopiedAsStoredAndHalfSizeStaysWithinTheTexture)
{
    ASSERT_TRUE(bringUp());
    for (auto [width, height, half] : {std::tuple{5, 3, 0}, {5, 3, 1}, {6, 4, 1}}) {
        CTextureRenderer* r = renderer(static_cast<uint8_t>(half));
        const CMediaType type = rgb24(width, height);
        ASSERT_EQ(r->SetMediaType(&type), S_OK);
        const int pitch = (width * 3 + 3) & ~3;
        std::vector<uint8_t> frame(static_cast<size_t>(pitch) * height);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + 1);
        Sample shortSample(std::vector<uint8_t>(frame.begin(), frame.end() - 1));
        EXPECT_EQ(r->DoRenderSample(&shortSample), E_FAIL);
        Sample sample(frame);
        ASSERT_EQ(r->DoRenderSample(&sample), S_OK);

        const int step = half ? 2 : 1;
        IDirect3DTexture9* t = r->GetTexture();
        for (int y = 0; y < height / step; ++y)
            for (int x = 0; x < width / step; ++x) {
                const uint8_t* in = frame.data() + y * step * pitch + x * step * 3;
                EXPECT_EQ(texel(t, x, y), 0xFF000000u | in[2] << 16 | in[1] << 8 | in[0]) << width << half << x << y;
            }
        // Past the texture's width nothing is written, though the locked rows go on.
        D3DLOCKED_RECT locked{};
        t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
        const UINT textureWidth = r->GetTextureWidth();
        for (int b = textureWidth * 4; b < locked.Pitch; ++b)
            EXPECT_EQ(static_cast<const uint8_t*>(locked.pBits)[b], 0) << width << " byte " << b;
        t->UnlockRect(0);
        r->Release();
    }
}

TEST_F(VideoTextureTest, UpdateLoopsOrEndsAndRenderDrawsTheFrameUpsideDown)
{
    ASSERT_TRUE(bringUp());
    dshow::SyntheticVideo counter = clip(64, 48, 3);
    counter.pattern = dshow::Pattern::Counter;
    dshow::registerVideo("clip.vid", counter);
    auto p = std::make_unique<CVideoTexture>(0);
    ASSERT_TRUE(open(*p, "clip.vid"));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    EXPECT_EQ(p->GetDuration(), 120);
    EXPECT_FALSE(p->IsFinished());
    EXPECT_TRUE(p->Update());

    pt::setD3D9Trace(true);
    EXPECT_EQ(p->GetFrontEndResult(), 2);
    p->SetFrontEndUpdate(1);
    p->Render();
    EXPECT_EQ(CFEGameLink::Steps(), 1);
    EXPECT_EQ(p->GetFrontEndResult(), 1);
    // Shifted half a pixel; texture row 0 (the picture's bottom row as stored) at the bottom.
    const std::vector<VideoVertex> quad = drawnQuad();
    const float expected[4][4] = {{9.5f, 259.5f, 0, 0}, {9.5f, 19.5f, 0, 0.75f}, {329.5f, 259.5f, 1, 0}, {329.5f, 19.5f, 1, 0.75f}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(quad[i].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(quad[i].y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(quad[i].u, expected[i][2]) << i;
        EXPECT_FLOAT_EQ(quad[i].v, expected[i][3]) << i;
    }
    IDirect3DTexture9* t = drawnTexture();
    ASSERT_NE(t, nullptr);
    for (UINT x : {0u, 31u, 63u})
        EXPECT_EQ(texel(t, x, 0), 0xFF000000u | dshow::patternColour(counter.pattern, 64, 48, 0, x, 47)) << x;
    EXPECT_EQ(state().FVF, VIDEO_FVF);

    // A lost device: the frame that finds it draws nothing, the next does not even look.
    pt::setD3D9DeviceState(D3DERR_DEVICELOST);
    p->Render();
    const size_t tests = calls("TestCooperativeLevel").size();
    p->Render();
    EXPECT_EQ(calls("TestCooperativeLevel").size(), tests);
    pt::setD3D9DeviceState(D3D_OK);

    // The end: once false, then no more events.
    ds::advanceFrames(3 * FRAME);
    EXPECT_TRUE(p->IsFinished());
    EXPECT_FALSE(p->Update());
    EXPECT_TRUE(p->Update());
    p.reset();

    // Looping: back to the start, the first frame shown again, and Update stays true.
    p = std::make_unique<CVideoTexture>(0);
    ASSERT_TRUE(open(*p, "clip.vid", 1));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    ds::advanceFrames(3 * FRAME);
    ASSERT_TRUE(dshow::waitForFrames(graph(), 2));
    EXPECT_TRUE(p->Update());
    EXPECT_EQ(p->GetPosition(), 0);
    EXPECT_FALSE(p->IsFinished());
    EXPECT_TRUE(dshow::waitForFrames(graph(), 3));
}
