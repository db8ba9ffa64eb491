// A frame of 2,000 display-list draws over 50 materials, against the same 2,000 draws made straight
// on the device (the baseline): each quad in turn, its material's states set, drawn from one vertex
// buffer holding every quad. On the null renderer (the render core's own cost) and on the OpenGL
// renderer headless. Items are draws.
#include "../RenderCoreBench.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int MATERIALS = 50;
constexpr int LISTS = 2000;
constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE;

struct Vertex {
    float x, y, z;
    DWORD colour;
};

// Quad i: a small square somewhere on the screen, in clip space.
void quadOf(int i, Vertex out[4])
{
    const float x = -1.0f + 0.05f * static_cast<float>((i * 37) % 38), y = -1.0f + 0.05f * static_cast<float>((i * 53) % 38);
    const DWORD c = 0xFF000000u | static_cast<DWORD>(i * 2654435761u >> 8);
    out[0] = {x, y + 0.04f, 0.5f, c};
    out[1] = {x + 0.04f, y + 0.04f, 0.5f, c};
    out[2] = {x, y, 0.5f, c};
    out[3] = {x + 0.04f, y, 0.5f, c};
}

const WORD QUAD_INDICES[6] = {0, 1, 2, 2, 1, 3};

class Scene : public RenderCoreBench {
public:
    explicit Scene(bool gl) : RenderCoreBench(gl, "displaylist")
    {
        if (m_ok) build();
    }

    ~Scene()
    {
        if (!m_ok) return;
        for (DisplayHandle* h : m_lists) D3DCore.DeleteDisplayHandle(h);
        if (m_vb) m_vb->Release();
        if (m_ib) m_ib->Release();
        D3DCore.StateBlocks.ReleaseAll();
    }


    // The render core: every list drawn through its material's state block.
    void displayListFrame()
    {
        D3DCore.BeginScene(true, false);
        for (DisplayHandle* h : m_lists) D3DCore.DrawDisplayList(h, 0);
        D3DCore.EndScene(true);
        D3DCore.Present(false);
    }

    // The baseline: the same draws in the same order, each with its material's states.
    void directFrame()
    {
        IDirect3DDevice9* dev = DXInterface.ID3DDevice;
        D3DCore.BeginScene(true, false);
        dev->SetFVF(FVF);
        dev->SetStreamSource(0, m_vb, 0, sizeof(Vertex));
        dev->SetIndices(m_ib);
        for (int i = 0; i < LISTS; ++i) {
            dev->SetRenderState(D3DRS_TEXTUREFACTOR, factorOf(i % MATERIALS));
            dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
            dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
            dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4 * i, 0, 4, 0, 2);
        }
        D3DCore.InvalidateStateCache();
        for (auto& s : D3DCore.StreamSources) s = nullptr;
        D3DCore.EndScene(true);
        D3DCore.Present(false);
    }

private:
    static DWORD factorOf(int m) { return 0xFF000000u | static_cast<DWORD>(m * 5 + 10) * 0x010101u; }

    void build()
    {
        DWORD handles[MATERIALS];
        for (int m = 0; m < MATERIALS; ++m) {
            const float white[3] = {1, 1, 1};
            char name[32];
            std::snprintf(name, sizeof(name), "m%d.mtl", m);
            if (!D3DCore.StateBlocks.CreateSB(name, TexNames(), white, white, &handles[m])) {
                m_ok = false;
                return;
            }
            GMaterial* GM = new GMaterial();
            GM->Name = new char[std::strlen(name) + 1];
            std::strcpy(GM->Name, name);
            GM->FVFFormat.D3DFlags = FVF;
            AnalyseFVF(GM->FVFFormat);
            GM->Passes = 1;
            GM->Stages[0] = 1;
            GM->UseTextureFactor = 1;
            GM->TextureFactor = factorOf(m);
            D3DCore.StateBlocks.GetSB(handles[m])->GMaterial = GM;
            D3DCore.StateBlocks.BeginRecordPass(GM, 0);
            D3DCore.StateBlocks.RecordStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            D3DCore.StateBlocks.RecordStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
            D3DCore.StateBlocks.RecordStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
            D3DCore.StateBlocks.EndRecord();
        }
        for (int i = 0; i < LISTS; ++i) {
            const int m = i % MATERIALS;
            MultiBlock multi;
            multi.Blocks = 1;
            multi.StateBlock[0] = handles[m];
            multi.MainFVF = D3DCore.StateBlocks.GetSB(handles[m])->GMaterial->FVFFormat;
            DisplayHandle* h = D3DCore.CreateDisplayHandle();
            AddTrisConfig c;
            c.Vertices = 4;
            c.Indices = 6;
            c.VBWriteOnly = c.IBWriteOnly = 1;
            void *v = nullptr, *ix = nullptr;
            if (!D3DCore.AddTris(h, &multi, &c, &v, &ix, nullptr)) {
                m_ok = false;
                return;
            }
            quadOf(i, static_cast<Vertex*>(v));
            std::memcpy(ix, QUAD_INDICES, sizeof(QUAD_INDICES));
            D3DCore.EndAddTris();
            m_lists.push_back(h);
        }
        // The baseline's buffers: every quad in list order, and one quad's indices.
        IDirect3DDevice9* dev = DXInterface.ID3DDevice;
        dev->CreateVertexBuffer(sizeof(Vertex) * 4 * LISTS, D3DUSAGE_WRITEONLY, FVF, D3DPOOL_MANAGED, &m_vb, nullptr);
        dev->CreateIndexBuffer(sizeof(QUAD_INDICES), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &m_ib, nullptr);
        Vertex* v = nullptr;
        WORD* index = nullptr;
        if (!m_vb || !m_ib || FAILED(m_vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0)) ||
            FAILED(m_ib->Lock(0, 0, reinterpret_cast<void**>(&index), 0))) {
            m_ok = false;
            return;
        }
        for (int i = 0; i < LISTS; ++i) quadOf(i, v + 4 * i);
        std::memcpy(index, QUAD_INDICES, sizeof(QUAD_INDICES));
        m_vb->Unlock();
        m_ib->Unlock();
    }

    std::vector<DisplayHandle*> m_lists;
    IDirect3DVertexBuffer9* m_vb = nullptr;
    IDirect3DIndexBuffer9* m_ib = nullptr;
};

void run(benchmark::State& state, bool gl, bool lists)
{
    Scene scene(gl);
    if (!scene.ok()) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) {
        if (lists)
            scene.displayListFrame();
        else
            scene.directFrame();
    }
    state.SetItemsProcessed(state.iterations() * LISTS);
}

void BM_DisplayListsNullRenderer(benchmark::State& state) { run(state, false, true); }
void BM_DirectDrawsNullRenderer(benchmark::State& state) { run(state, false, false); }
void BM_DisplayListsOpenGL(benchmark::State& state) { run(state, true, true); }
void BM_DirectDrawsOpenGL(benchmark::State& state) { run(state, true, false); }

BENCHMARK(BM_DisplayListsNullRenderer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectDrawsNullRenderer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DisplayListsOpenGL)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DirectDrawsOpenGL)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCH_PAIR(BM_DisplayListsNullRenderer, BM_DirectDrawsNullRenderer);
BENCH_PAIR(BM_DisplayListsOpenGL, BM_DirectDrawsOpenGL);

}  // namespace

VELDRANE_BENCH_MAIN("displaylist")
