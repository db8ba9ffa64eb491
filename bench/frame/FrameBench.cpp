// Frames per second of a frame of 1,000 pre-transformed quads, each locked, filled and drawn
// through a dynamic vertex buffer: on the OpenGL renderer headless, and on the null renderer (the
// render core's own cost).
#include "../RenderCoreBench.h"

#include <benchmark/benchmark.h>

namespace {

struct Vertex {
    float x, y, z, rhw;
    DWORD colour;
};

class Scene : public RenderCoreBench {
public:
    explicit Scene(bool gl) : RenderCoreBench(gl, "frame")
    {
        if (m_ok) {
            D3DCore.SetClearColour(true, 0, 0, 64);
            D3DCore.SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
            m_vb = D3DCore.CreateDynamicVertexBuffer(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
            m_ok = m_vb >= 0;
        }
    }

    void frame()
    {
        D3DCore.BeginScene(true, false);
        DynamicVB& vb = D3DCore.DynamicVertexBuffer9[m_vb];
        for (int i = 0; i < 1000; ++i) {
            auto* v = static_cast<Vertex*>(vb.Lock(4));
            if (!v) continue;
            const float x = static_cast<float>((i * 37) % 620), y = static_cast<float>((i * 53) % 460);
            const DWORD c = 0xFF000000u | static_cast<DWORD>(i * 2654435761u >> 8);
            v[0] = {x, y, 0.5f, 1, c};
            v[1] = {x + 20, y, 0.5f, 1, c};
            v[2] = {x, y + 20, 0.5f, 1, c};
            v[3] = {x + 20, y + 20, 0.5f, 1, c};
            vb.Unlock();
            vb.DrawTriStrip();
        }
        D3DCore.EndScene(true);
        D3DCore.Present(false);
    }

private:
    int32_t m_vb = -1;
};

void run(benchmark::State& state, bool gl)
{
    Scene scene(gl);
    if (!scene.ok()) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) scene.frame();
    // Items per second = frames per second, by the wall clock (the GL driver works on threads of its own).
    state.SetItemsProcessed(state.iterations());
}

void BM_ThousandQuadsOpenGL(benchmark::State& state) { run(state, true); }
void BM_ThousandQuadsNullRenderer(benchmark::State& state) { run(state, false); }

BENCHMARK(BM_ThousandQuadsOpenGL)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThousandQuadsNullRenderer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
