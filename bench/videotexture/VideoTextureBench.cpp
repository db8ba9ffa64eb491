// The texture renderer copying 640 x 480 RGB24 frames into its texture, at full and at half size,
// in frames per second, against a straight loop converting the same frame into plain memory.
#include "../BenchMain.h"
#include "dxsetup9/DXSetup.h"
#include "videotexture/TextureRenderer.h"

#include <vector>

namespace {

const LONG WIDTH = 640, HEIGHT = 480;
const size_t FRAME_BYTES = static_cast<size_t>(WIDTH) * 3 * HEIGHT;

class Sample final : public IMediaSample {
public:
    Sample() : m_bytes(FRAME_BYTES)
    {
        for (size_t i = 0; i < m_bytes.size(); ++i) m_bytes[i] = static_cast<uint8_t>(i * 13);
    }
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetPointer(BYTE** buffer) override
    {
        *buffer = m_bytes.data();
        return S_OK;
    }
    LONG GetSize() override { return static_cast<LONG>(m_bytes.size()); }
    LONG GetActualDataLength() override { return GetSize(); }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override
    {
        *start = *end = 0;
        return S_OK;
    }
    const uint8_t* bytes() const { return m_bytes.data(); }

private:
    std::vector<uint8_t> m_bytes;
};

// A device of the reference Direct3D that draws nothing, as the render core's; false without one.
bool makeDevice()
{
    if (DXInterface.ID3DDevice) return true;
    DXInterface.ID3D = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = WIDTH;
    pp.BackBufferHeight = HEIGHT;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.Windowed = TRUE;
    return DXInterface.ID3D && SUCCEEDED(DXInterface.ID3D->CreateDevice(0, D3DDEVTYPE_HAL, nullptr,
                                                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                                                         &DXInterface.ID3DDevice));
}

void DoRenderSample(benchmark::State& state)
{
    if (!makeDevice()) return state.SkipWithError("no device");
    HRESULT hr = E_FAIL;
    auto* renderer = new CTextureRenderer(nullptr, &hr, static_cast<uint8_t>(state.range(0)));
    renderer->AddRef();
    CMediaType type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.formattype = FORMAT_VideoInfo;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    info->bmiHeader.biWidth = WIDTH;
    info->bmiHeader.biHeight = HEIGHT;
    Sample sample;
    if (FAILED(renderer->SetMediaType(&type)) || FAILED(renderer->DoRenderSample(&sample))) {
        renderer->Release();
        return state.SkipWithError("the renderer takes no frame");
    }
    for (auto _ : state) benchmark::DoNotOptimize(renderer->DoRenderSample(&sample));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(FRAME_BYTES));
    renderer->Release();
}
BENCHMARK(DoRenderSample)->ArgName("half")->Arg(0)->Arg(1);

// The same frame turned into the same texture rows by a straight loop over its pixels, into
// memory of the texture's size and pitch.
void StraightConversion(benchmark::State& state)
{
    const bool half = state.range(0) != 0;
    const int step = half ? 2 : 1;
    const size_t pitch = 4 * 1024, textureRows = half ? 256 : 512;
    const LONG rows = HEIGHT / step, columns = WIDTH / step;
    const size_t sourcePitch = static_cast<size_t>(WIDTH) * 3;
    Sample sample;
    std::vector<uint8_t> target(pitch * textureRows);
    for (auto _ : state) {
        for (LONG y = 0; y < rows; ++y) {
            const uint8_t* in = sample.bytes() + static_cast<size_t>(y) * step * sourcePitch;
            uint8_t* out = target.data() + static_cast<size_t>(y) * pitch;
            for (LONG x = 0; x < columns; ++x) {
                out[4 * x] = in[3 * step * x];
                out[4 * x + 1] = in[3 * step * x + 1];
                out[4 * x + 2] = in[3 * step * x + 2];
                out[4 * x + 3] = 0xFF;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(FRAME_BYTES));
}
BENCHMARK(StraightConversion)->ArgName("half")->Arg(0)->Arg(1);
BENCH_PAIR(DoRenderSample, StraightConversion);

}  // namespace

VELDRANE_BENCH_MAIN("videotexture")
