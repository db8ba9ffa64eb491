// CVideoTexture and its texture renderer on the DirectShow stand-in and the scripted card.
#include "VideoFixture.h"
#include "videoplayer9/VideoQuad.h"
#include "videotexture/TextureRenderer.h"
#include "videotexture/VideoTexture.h"
#include <cstring>
#include <memory>

namespace pt = platform::testing;

namespace {
struct Sample final : IMediaSample {  // a frame handed to a renderer as the graph would
    explicit Sample(std::vector<uint8_t> bytes) : bytes(std::move(bytes)) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetPointer(BYTE** buffer) override { return *buffer = bytes.data(), S_OK; }
    LONG GetSize() override { return static_cast<LONG>(bytes.size()); }
    LONG GetActualDataLength() override { return static_cast<LONG>(bytes.size()); }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override { return *start = *end = 0, S_OK; }
    std::vector<uint8_t> bytes;
};
}  // namespace

static CMediaType rgb24(LONG width, LONG height, const GUID& subtype = MEDIASUBTYPE_RGB24)
{
    CMediaType type;
    type.majortype = MEDIATYPE_Video, type.subtype = subtype, type.formattype = FORMAT_VideoInfo;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    info->bmiHeader.biWidth = width, info->bmiHeader.biHeight = height, info->bmiHeader.biBitCount = 24;
    return type;
}

// Byte i of level 0's locked rows, and their pitch.
static uint8_t texelByte(IDirect3DTexture9* texture, size_t i, INT* pitch = nullptr)
{
    D3DLOCKED_RECT r{};
    texture->LockRect(0, &r, nullptr, D3DLOCK_READONLY);
    const uint8_t b = static_cast<const uint8_t*>(r.pBits)[i];
    if (pitch) *pitch = r.Pitch;
    texture->UnlockRect(0);
    return b;
}

using VideoTextureTest = VideoFixture;

TEST_F(VideoTextureTest, OpenBuildsTheGraphAndEveryFailureIsReportedAndFalse)
{
    ASSERT_TRUE(bringUp());
    const int managed = pt::d3d9LiveResources(D3DPOOL_MANAGED);
    const std::pair<const char*, const char*> steps[] = {
        {"CoCreateInstance", "Failed to create filter graph"}, {"AddSourceFilter", "Failed to add source filter"},
        {"AddFilter", "Failed to add texturerenderer filter to graph"}, {"EnumPins", "Failed to enum source filter pins"},
        {"QueryDirection", "Failed to get pin direction"}, {"QueryInterface IMediaControl", "m_pMC"},
        {"QueryInterface IMediaPosition", "m_pMP"}, {"QueryInterface IMediaEvent", "m_pME"},
        {"QueryInterface IBasicAudio", "m_pBA"}, {"Run", "SUCCEEDED(m_pMC->Run())"}, {"", nullptr}};
    for (const auto& [call, report] : steps) {
        dshow::reset();
        dshow::registerVideo("clip.vid", clip(64, 48, 3));
        if (call[0]) dshow::failCall(call, E_FAIL);
        testsupport::clearReports();
        {
            CVideoTexture p(0);
            EXPECT_EQ(p.Open(m_window, "clip.vid", 0, 10, 20, 320, 240, 0, 1), !report) << call;
            EXPECT_EQ(testsupport::countReports(report ? report : "?"), report ? 1 : 0) << call;
            EXPECT_TRUE(report || (graphState().filters == std::vector<std::string>{"clip.vid", "TEXTURERENDERER"}));
        }
        // The graph held the last reference to the renderer, and the renderer its texture.
        EXPECT_EQ(dshow::liveGraphs(), 0);
        EXPECT_EQ(pt::d3d9LiveResources(D3DPOOL_MANAGED), managed);
    }
    CVideoTexture p(0);
    EXPECT_FALSE(p.Open(m_window, nullptr, 0, 0, 0, 1, 1, 0, 0));
    EXPECT_TRUE(p.IsFinished());
}

TEST_F(VideoTextureTest, FramesAreCopiedAsStoredAndHalfSizeStaysWithinTheTexture)
{
    ASSERT_TRUE(bringUp());
    CMediaType wrong[3] = {rgb24(8, 8), rgb24(8, 8, MEDIASUBTYPE_RGB32), rgb24(8, 8)};  // only RGB24 video info
    wrong[0].formattype = FORMAT_WaveFormatEx;
    wrong[2].majortype = MEDIATYPE_Audio;
    // The texture takes the picture's size (halved when asked) up to a power of two. Rows of whole
    // words and of a padded end, long enough to be copied in runs of pixels and a rest.
    for (auto [width, height, half, textureSize] : {std::tuple{5, 3, 0, 804u}, {5, 3, 1, 201u}, {6, 4, 1, 402u},
                                                    {21, 3, 0, 3204u}, {16, 2, 0, 1602u}, {16, 2, 1, 801u}}) {
        HRESULT hr = E_FAIL;
        CTextureRenderer* r = new CTextureRenderer(nullptr, &hr, static_cast<uint8_t>(half));
        r->AddRef();
        for (const CMediaType& type : wrong) EXPECT_NE(r->CheckMediaType(&type), S_OK);
        const CMediaType type = rgb24(width, height);
        ASSERT_EQ(r->SetMediaType(&type), S_OK);
        EXPECT_EQ(r->GetTextureWidth() * 100 + r->GetTextureHeight(), textureSize);
        const int pitch = (width * 3 + 3) & ~3;  // rows of whole words, as stored
        std::vector<uint8_t> frame(static_cast<size_t>(pitch) * height);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + 1);
        Sample shortSample(std::vector<uint8_t>(frame.begin(), frame.end() - 1));
        EXPECT_EQ(r->DoRenderSample(&shortSample), E_FAIL);
        Sample sample(frame);
        ASSERT_EQ(r->DoRenderSample(&sample), S_OK);
        // Texels B G R 255 from every (second) pixel; past the texture's width nothing is written.
        const int step = half ? 2 : 1;
        INT texturePitch = 0;
        texelByte(r->GetTexture(), 0, &texturePitch);
        for (int y = 0; y < height / step; ++y)
            for (int b = 0; b < texturePitch; ++b) {
                const int x = b / 4, wanted = x >= width / step ? 0 : b % 4 == 3 ? 255 : frame[y * step * pitch + x * step * 3 + b % 4];
                EXPECT_EQ(texelByte(r->GetTexture(), y * texturePitch + b), wanted) << width << half << " " << y << " " << b;
            }
        r->Release();
    }
    // Sizes whose rows or frame a sample's 32-bit length cannot hold make no texture.
    for (auto [width, height] : {std::pair<LONG, LONG>{0x2AAAAAAA, 1}, {0x10000, 0x10000}, {8, INT32_MIN}, {-8, 8}}) {
        testsupport::clearReports();
        HRESULT hr = E_FAIL;
        CTextureRenderer* r = new CTextureRenderer(nullptr, &hr, 0);
        r->AddRef();
        const CMediaType type = rgb24(width, height);
        EXPECT_EQ(r->SetMediaType(&type), E_INVALIDARG) << width << " " << height;
        EXPECT_EQ(nullptr, r->GetTexture());
        EXPECT_EQ(1, testsupport::countReports("Video frame size not supported"));
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
    ASSERT_TRUE(p->Open(m_window, "clip.vid", 0, 10, 20, 320, 240, 0, 1));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    EXPECT_EQ(120, p->GetDuration());
    EXPECT_TRUE(p->Update());
    EXPECT_FALSE(p->IsFinished());

    pt::setD3D9Trace(true);
    p->SetFrontEndUpdate(1);
    p->Render();
    EXPECT_EQ(std::make_pair(1, 1), std::make_pair(int(CFEGameLink::Steps()), int(p->GetFrontEndResult())));
    // Shifted half a pixel; texture row 0 (the picture's bottom row as stored) at the bottom.
    auto last = [](const char* method) {  // the last non-null interface a call bound
        uint64_t bound = 0;
        for (const auto& args : calls(method)) bound = args[1] ? args[1] : bound;
        return bound;
    };
    const auto bytes = pt::d3d9BufferBytes(reinterpret_cast<IDirect3DVertexBuffer9*>(last("SetStreamSource")));
    const size_t start = calls("DrawPrimitive").back()[1] * sizeof(VideoVertex);
    ASSERT_GE(bytes.size(), start + 4 * sizeof(VideoVertex));
    const float expected[4][4] = {{9.5f, 259.5f, 0, 0}, {9.5f, 19.5f, 0, 0.75f}, {329.5f, 259.5f, 1, 0}, {329.5f, 19.5f, 1, 0.75f}};
    VideoVertex v[4];
    std::memcpy(v, bytes.data() + start, sizeof v);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::vector<float>({v[i].x, v[i].y, v[i].u, v[i].v}), std::vector<float>(expected[i], expected[i] + 4)) << i;
    auto* t = reinterpret_cast<IDirect3DTexture9*>(last("SetTexture"));
    for (UINT x : {0u, 31u, 63u})
        EXPECT_EQ(texelByte(t, x * 4 + 1), dshow::patternColour(counter.pattern, 64, 48, 0, x, 47) >> 8 & 255) << x;

    ds::advanceFrames(3 * FRAME);  // the end: once false, then no more events
    EXPECT_TRUE(p->IsFinished());
    EXPECT_FALSE(p->Update());
    EXPECT_TRUE(p->Update());
    p.reset();

    // Looping: back to the start, the first frame shown again, and Update stays true.
    p = std::make_unique<CVideoTexture>(0);
    ASSERT_TRUE(p->Open(m_window, "clip.vid", 1, 10, 20, 320, 240, 0, 1));
    ASSERT_TRUE(dshow::waitForFrames(graph(), 1));
    ds::advanceFrames(3 * FRAME);
    ASSERT_TRUE(dshow::waitForFrames(graph(), 2));
    EXPECT_TRUE(p->Update());
    EXPECT_EQ(0, p->GetPosition());
    EXPECT_FALSE(p->IsFinished());

    EXPECT_TRUE(dshow::waitForFrames(graph(), 3));
}
