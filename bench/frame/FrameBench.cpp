// A frame of 1,000 pre-transformed quads, each locked, filled and drawn through the render core's
// dynamic vertex buffer, beside the same 1,000 draws made straight on the device from a dynamic
// vertex buffer of its own (appending, discarding when full): on the null renderer (the render
// core's own cost) and on the OpenGL renderer headless. And presenting a cleared 640 x 480 frame
// and reading it back (as a screenshot does), beside plain OpenGL swapping and reading the window's
// pixels top row first.
#include "../PlainGL.h"
#include "../RenderCoreBench.h"

#include <cstring>
#include <vector>

namespace {

const int QUADS = 1000;
const DWORD FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

struct Vertex {
    float x, y, z, rhw;
    DWORD colour;
};

void quadOf(int i, Vertex* v)
{
    const float x = static_cast<float>((i * 37) % 620), y = static_cast<float>((i * 53) % 460);
    const DWORD c = 0xFF000000u | static_cast<DWORD>(i * 2654435761u >> 8);
    v[0] = {x, y, 0.5f, 1, c};
    v[1] = {x + 20, y, 0.5f, 1, c};
    v[2] = {x, y + 20, 0.5f, 1, c};
    v[3] = {x + 20, y + 20, 0.5f, 1, c};
}

class Scene : public RenderCoreBench {
public:
    explicit Scene(bool gl) : RenderCoreBench(gl, "frame")
    {
        if (!m_ok) return;
        D3DCore.SetClearColour(true, 0, 0, 64);
        D3DCore.SetFVF(FVF);
        m_vb = D3DCore.CreateDynamicVertexBuffer(FVF);
        m_ok = m_vb >= 0;
        m_ok = m_ok && SUCCEEDED(DXInterface.ID3DDevice->CreateVertexBuffer(
                           sizeof(Vertex) * 4 * QUADS, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, FVF, D3DPOOL_DEFAULT,
                           &m_own, nullptr));
    }
    ~Scene()
    {
        if (m_own) m_own->Release();
    }

    void frame()
    {
        D3DCore.BeginScene(true, false);
        DynamicVB& vb = D3DCore.DynamicVertexBuffer9[m_vb];
        for (int i = 0; i < QUADS; ++i) {
            auto* v = static_cast<Vertex*>(vb.Lock(4));
            if (!v) continue;
            quadOf(i, v);
            vb.Unlock();
            vb.DrawTriStrip();
        }
        D3DCore.EndScene(true);
        D3DCore.Present(false);
    }

    // The baseline: each quad appended to the device buffer and drawn, the buffer begun afresh
    // each frame.
    void directFrame()
    {
        IDirect3DDevice9* dev = DXInterface.ID3DDevice;
        D3DCore.BeginScene(true, false);
        dev->SetFVF(FVF);
        dev->SetStreamSource(0, m_own, 0, sizeof(Vertex));
        for (int i = 0; i < QUADS; ++i) {
            void* v = nullptr;
            const UINT offset = static_cast<UINT>(i) * 4 * sizeof(Vertex);
            if (FAILED(m_own->Lock(offset, 4 * sizeof(Vertex), &v, i == 0 ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE)))
                continue;
            quadOf(i, static_cast<Vertex*>(v));
            m_own->Unlock();
            dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4 * i, 2);
        }
        D3DCore.InvalidateStateCache();
        for (auto& s : D3DCore.StreamSources) s = nullptr;
        D3DCore.EndScene(true);
        D3DCore.Present(false);
    }

private:
    int32_t m_vb = -1;
    IDirect3DVertexBuffer9* m_own = nullptr;
};

void run(benchmark::State& state, bool gl, bool core)
{
    Scene scene(gl);
    if (!scene.ok()) return state.SkipWithError("no device");
    for (auto _ : state) core ? scene.frame() : scene.directFrame();
    // Items per second = frames per second, by the wall clock (the GL driver works on threads of its own).
    state.SetItemsProcessed(state.iterations());
}

void BM_ThousandQuadsNullRenderer(benchmark::State& state) { run(state, false, true); }
void BM_DirectQuadsNullRenderer(benchmark::State& state) { run(state, false, false); }
void BM_ThousandQuadsOpenGL(benchmark::State& state) { run(state, true, true); }
void BM_DirectQuadsOpenGL(benchmark::State& state) { run(state, true, false); }

BENCHMARK(BM_ThousandQuadsNullRenderer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectQuadsNullRenderer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThousandQuadsOpenGL)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectQuadsOpenGL)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCH_PAIR(BM_ThousandQuadsNullRenderer, BM_DirectQuadsNullRenderer);
BENCH_PAIR(BM_ThousandQuadsOpenGL, BM_DirectQuadsOpenGL);

const UINT WIDTH = 640, HEIGHT = 480;

void BM_PresentAndReadBack(benchmark::State& state)
{
    Scene scene(true);
    if (!scene.ok()) return state.SkipWithError("no device");
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(DXInterface.ID3DDevice->CreateOffscreenPlainSurface(WIDTH, HEIGHT, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                                   &surface, nullptr)))
        return state.SkipWithError("no surface");
    for (auto _ : state) {
        D3DCore.BeginScene(true, false);
        D3DCore.EndScene(true);
        D3DCore.Present(false);
        DXInterface.ID3DDevice->GetFrontBufferData(0, surface);
    }
    surface->Release();
    state.SetItemsProcessed(state.iterations());
}

void BM_PlainSwapAndReadPixels(benchmark::State& state)
{
    plaingl::Context gl(WIDTH, HEIGHT);
    if (!gl.ok()) return state.SkipWithError("no OpenGL");
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::vector<uint8_t> rows(WIDTH * HEIGHT * 4), image(WIDTH * HEIGHT * 4);
    for (auto _ : state) {
        glClearColor(0, 0, 0.25f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        // The frame as it goes to the window, read before the swap leaves the back buffer undefined.
        glReadPixels(0, 0, WIDTH, HEIGHT, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
        gl.swap();
        for (UINT y = 0; y < HEIGHT; ++y)
            std::memcpy(&image[y * WIDTH * 4], &rows[(HEIGHT - 1 - y) * WIDTH * 4], WIDTH * 4);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_PresentAndReadBack)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainSwapAndReadPixels)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCH_PAIR(BM_PresentAndReadBack, BM_PlainSwapAndReadPixels);

}  // namespace

VELDRANE_BENCH_MAIN("frame")
