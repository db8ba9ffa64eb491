// Loading a clump file of 10,000 elements (20 clumps of 500, half of them one-state rocks that
// lean with the ground, half two-state trees), in elements and MB per second, beside CFile::Read
// of the whole file into one buffer. Each load also builds, commits and unloads the combined meshes.
// And drawing its clumps on the reference device: member by member (each element's model placed
// and drawn) and as the combined meshes, each beside the same draws made straight on the device
// (each member's sphere against the view, its world matrix, vertex format and texture set and its
// box drawn; or each clump's sphere tested and its whole mesh drawn in one call).
#include "../BenchMain.h"
#include "../PlainView.h"
#include "ClumpWorld.h"
#include "kestrune/ClumpManager.h"
#include "l3render/L3Render.h"
#include "l3render/LightManager.h"
#include "l3render/Model.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelInst.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include "winfile/File.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const FILE_NAME = "data\\clumps\\big.clump";
const int ELEMENTS = 10000;

void quiet(const char*, const char*, const char*, int) {}

bool bringUp()
{
    static int up = -1;
    if (up >= 0) return up == 1;
    setAssertReportHook(quiet);
    up = clumpworld::bringUp() ? 1 : 0;
    clumpwriter::File f = democlumps::demo();
    std::mt19937 random(7);
    for (clumpwriter::Type& t : f.Types) {
        t.Clumps.assign(10, clumpwriter::Clump());
        for (clumpwriter::Clump& c : t.Clumps)
            for (int i = 0; i < ELEMENTS / 20; ++i)
                c.Elements.push_back(democlumps::element(static_cast<float>(random() % 1500),
                                                         static_cast<float>(random() % 1500), random() & 0xFFFFFF,
                                                         static_cast<float>(random() % 628) / 100.0f));
    }
    clumpworld::writeFile("data/clumps/big.clump", clumpwriter::file(f));
    return up == 1;
}

void BM_LoadClumpFile(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no set-up");
    for (auto _ : state) {
        CClumpManager clumps;
        if (!clumps.LoadClumpFile(FILE_NAME)) return state.SkipWithError("load failed");
        clumps.Unload();
    }
    state.counters["elements"] = benchmark::Counter(static_cast<double>(ELEMENTS), benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size("data/clumps/big.clump")));
}

// The baseline: the whole file in one CFile::Read.
void BM_ReadWholeFile(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no set-up");
    const uint32_t bytes = static_cast<uint32_t>(fs::file_size("data/clumps/big.clump"));
    std::vector<char> buffer(bytes);
    for (auto _ : state) {
        CFile file;
        uint32_t done = 0;
        if (!file.Open(FILE_NAME, FILE_MODE_READ) || !file.Read(buffer.data(), bytes, &done) || done != bytes)
            return state.SkipWithError("read failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["elements"] = benchmark::Counter(static_cast<double>(ELEMENTS), benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

// Drawing ------------------------------------------------------------------------------------------

// The file loaded once, seen from 2,000 units west of its square, looking east over it.
class Drawn {
public:
    Drawn()
    {
        if (!bringUp() || !m_clumps.LoadClumpFile(FILE_NAME) || !CLightManager::GetInstance()->Init(8, 0)) return;
        L3SetPerspective(10.0f, 20000.0f, 70.0f, 50.0f);
        L3SetViewFromAngles(Vector3(-2000.0f, 750.0f, 400.0f), 0, 0, 0);
        uint32_t vertices = 0, indices = 0;
        for (uint32_t t = 0; t < m_clumps.GetNumClumpTypes(); ++t) {
            CClumpType* type = m_clumps.GetClumpType(t);
            for (uint32_t c = 0; type && c < type->numClumps; ++c) {
                CModelClump* clump = type->pClumpList[c].d_pClump;
                if (!clump) continue;
                m_models.push_back(clump);
                Combined whole{clump->GetCentre(), clump->GetRadius(), 0, 0};
                for (uint32_t e = 0; e < clump->GetNumElements(); ++e) {
                    const CClumpElementData* member = clump->GetElement(e);
                    const MeshTransform& place = member->pModelInst->m_transform;
                    Member m;
                    std::memcpy(m.rotation, place.Rotation, sizeof m.rotation);
                    std::memcpy(m.translation, place.Translation, sizeof m.translation);
                    m.centre = member->pModelInst->m_pModel->m_centre;
                    m.radius = member->pModelInst->m_pModel->m_radius;
                    m_members.push_back(m);
                    for (const CClumpPiece* piece = member->pFirstPiece; piece; piece = piece->pNext) {
                        whole.vertices += piece->vertexCount;
                        whole.indices += piece->indexCount;
                    }
                }
                vertices = std::max(vertices, whole.vertices);
                indices = std::max(indices, whole.indices);
                m_combined.push_back(whole);
            }
        }
        // One buffer pair big enough for the largest clump's mesh; a member's box at its start.
        IDirect3DDevice9* dev = DXInterface.ID3DDevice;
        m_ok = !m_models.empty() && vertices <= 0xFFFF &&
               SUCCEEDED(dev->CreateVertexBuffer(VERTEX_SIZE * vertices, D3DUSAGE_WRITEONLY, FVF, D3DPOOL_MANAGED,
                                                 &m_vb, nullptr)) &&
               SUCCEEDED(dev->CreateIndexBuffer(2 * indices, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &m_ib,
                                                nullptr));
    }
    ~Drawn()
    {
        if (m_vb) m_vb->Release();
        if (m_ib) m_ib->Release();
        m_clumps.Unload();
        if (CLightManager::GetInstance()->IsInitialised()) CLightManager::GetInstance()->Shutdown();
    }
    bool ok() const { return m_ok; }

    void frame(bool combined)
    {
        D3DCore.BeginScene(true, false);
        for (CModelClump* clump : m_models) {
            bool visible = false;
            clump->Render(combined ? 0.0f : 1e9f, combined, &visible);
        }
        D3DCore.EndScene(true);
    }

    void plainFrame(bool combined)
    {
        IDirect3DDevice9* dev = DXInterface.ID3DDevice;
        D3DCore.BeginScene(true, false);
        dev->SetStreamSource(0, m_vb, 0, VERTEX_SIZE);
        dev->SetIndices(m_ib);
        if (combined) {
            const float turn[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, still[3] = {0, 0, 0};
            const D3DMATRIX identity = plainview::worldMatrix(turn, still);
            for (const Combined& c : m_combined) {
                if (!plainview::inView(c.centre, c.radius)) continue;
                dev->SetTransform(D3DTS_WORLD, &identity);
                dev->SetFVF(FVF);
                dev->SetTexture(0, nullptr);
                dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, c.vertices, 0, c.indices / 3);
            }
        } else {
            for (const Member& m : m_members) {
                // The model's centre turned and moved by the member's placement.
                const Vector3 centre(
                    m.centre.x * m.rotation[0] + m.centre.y * m.rotation[3] + m.centre.z * m.rotation[6] + m.translation[0],
                    m.centre.x * m.rotation[1] + m.centre.y * m.rotation[4] + m.centre.z * m.rotation[7] + m.translation[1],
                    m.centre.x * m.rotation[2] + m.centre.y * m.rotation[5] + m.centre.z * m.rotation[8] + m.translation[2]);
                if (!plainview::inView(centre, m.radius)) continue;
                const D3DMATRIX world = plainview::worldMatrix(m.rotation, m.translation);
                dev->SetTransform(D3DTS_WORLD, &world);
                dev->SetFVF(FVF);
                dev->SetTexture(0, nullptr);
                dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 24, 0, 12);
            }
        }
        D3DCore.InvalidateStateCache();
        for (auto& source : D3DCore.StreamSources) source = nullptr;
        D3DCore.EndScene(true);
    }

    uint32_t members() const { return static_cast<uint32_t>(m_members.size()); }

private:
    static constexpr DWORD FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE;
    static constexpr UINT VERTEX_SIZE = 16;

    struct Member {
        float rotation[9], translation[3];
        Vector3 centre;
        float radius;
    };
    struct Combined {
        Vector3 centre;
        float radius;
        uint32_t vertices, indices;
    };

    CClumpManager m_clumps;
    std::vector<CModelClump*> m_models;
    std::vector<Member> m_members;
    std::vector<Combined> m_combined;
    IDirect3DVertexBuffer9* m_vb = nullptr;
    IDirect3DIndexBuffer9* m_ib = nullptr;
    bool m_ok = false;
};

Drawn* drawn()
{
    static std::unique_ptr<Drawn> made = std::make_unique<Drawn>();
    return made->ok() ? made.get() : nullptr;
}

template <class Frame>
int drawsOf(Frame frame)
{
    const int before = platform::testing::d3d9Calls("DrawIndexedPrimitive");
    frame();
    return platform::testing::d3d9Calls("DrawIndexedPrimitive") - before;
}

void draw(benchmark::State& state, bool combined, bool plain)
{
    Drawn* d = drawn();
    if (!d) return state.SkipWithError("the clumps could not be drawn");
    const int draws = drawsOf([&] { plain ? d->plainFrame(combined) : d->frame(combined); });
    if (plain && draws != drawsOf([&] { d->frame(combined); }))
        return state.SkipWithError("the baseline makes another number of draws");
    state.counters["draws"] = draws;
    for (auto _ : state) plain ? d->plainFrame(combined) : d->frame(combined);
    state.SetItemsProcessed(state.iterations() * d->members());
}

void BM_ClumpMembersDrawn(benchmark::State& state) { draw(state, false, false); }
void BM_PlainMemberDraws(benchmark::State& state) { draw(state, false, true); }
void BM_ClumpCombinedDrawn(benchmark::State& state) { draw(state, true, false); }
void BM_PlainCombinedDraws(benchmark::State& state) { draw(state, true, true); }

}  // namespace

BENCHMARK(BM_LoadClumpFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClumpMembersDrawn)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainMemberDraws)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClumpCombinedDrawn)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainCombinedDraws)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_LoadClumpFile, BM_ReadWholeFile);
BENCH_PAIR(BM_ClumpMembersDrawn, BM_PlainMemberDraws);
BENCH_PAIR(BM_ClumpCombinedDrawn, BM_PlainCombinedDraws);

VELDRANE_BENCH_MAIN("clumps")
