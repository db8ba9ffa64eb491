// Render-state calls per second through the cache, with and without a change, against sending
// every call to the device; and a 3-pass material per draw applied and restored through its state
// block, against the same states set one by one through the cached setters (10,000 draws).
#include "../BenchMain.h"
#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"
#include "utility/Assert.h"

#include <filesystem>
#include <vector>

namespace {

void quiet(const char*, const char*, const char*, int) {}

// The core with a device on the default card, with the files enumeration reads in the program's folder.
bool bringUp()
{
    static bool up = false;
    if (up) return true;
    setAssertReportHook(quiet);
    std::filesystem::create_directories("data");
    FILE* f = std::fopen("data/4CC.txt", "w");
    if (!f) return false;
    std::fputs("3\nDXT1\nDXT3\nDXT5\n", f);
    std::fclose(f);
    if (DXSetup::Load() != 0) return false;
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) return false;
    int32_t mode = D3DCore.FindMode(0, 0, 800, 600);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    up = D3DCore.CreateDevice(false, true, 1);
    return up;
}

// The same value again: the cache answers without the device.
void BM_CachedRenderStateUnchanged(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no device");
    D3DCore.SetRenderState(D3DRS_ZENABLE, 1);
    for (auto _ : state) benchmark::DoNotOptimize(D3DCore.SetRenderState(D3DRS_ZENABLE, 1));
    state.SetItemsProcessed(state.iterations());
}

// A new value every call: compare, store and the device call.
void BM_CachedRenderStateChanged(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no device");
    DWORD value = 0;
    for (auto _ : state) benchmark::DoNotOptimize(D3DCore.SetRenderState(D3DRS_ZENABLE, value++ & 1));
    state.SetItemsProcessed(state.iterations());
}

// Every call sent, as without a cache.
void BM_DeviceRenderStateEveryTime(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no device");
    for (auto _ : state) benchmark::DoNotOptimize(DXInterface.ID3DDevice->SetRenderState(D3DRS_ZENABLE, 1));
    state.SetItemsProcessed(state.iterations());
}

const int DRAWS = 10000;

struct State {
    bool Stage;
    DWORD Index, Type, Value;
};

// Each pass blends differently over two stages; the restore list puts the rare states back.
const std::vector<State> PASSES[3] = {
    {{false, 0, D3DRS_ZWRITEENABLE, TRUE}, {false, 0, D3DRS_ALPHABLENDENABLE, FALSE}, {false, 0, D3DRS_CULLMODE, 3},
     {false, 0, D3DRS_FOGENABLE, TRUE}, {true, 0, D3DTSS_COLOROP, 4}, {true, 0, D3DTSS_ALPHAOP, 2},
     {true, 1, D3DTSS_COLOROP, 1}, {true, 0, 105, 2}},
    {{false, 0, D3DRS_ZWRITEENABLE, FALSE}, {false, 0, D3DRS_ALPHABLENDENABLE, TRUE}, {false, 0, D3DRS_SRCBLEND, 5},
     {false, 0, D3DRS_DESTBLEND, 6}, {true, 0, D3DTSS_COLOROP, 2}, {true, 1, D3DTSS_COLOROP, 4},
     {true, 1, D3DTSS_ALPHAOP, 2}, {true, 1, 105, 2}},
    {{false, 0, D3DRS_SRCBLEND, 2}, {false, 0, D3DRS_DESTBLEND, 2}, {false, 0, D3DRS_ALPHAREF, 0x80},
     {false, 0, D3DRS_ALPHATESTENABLE, TRUE}, {true, 0, D3DTSS_COLOROP, 7}, {true, 0, D3DTSS_COLORARG1, 2},
     {true, 1, D3DTSS_COLOROP, 1}, {true, 0, 101, 3}},
};
const std::vector<State> RESTORE = {{false, 0, D3DRS_FOGENABLE, FALSE},     {false, 0, D3DRS_SRCBLEND, 2},
                                    {false, 0, D3DRS_DESTBLEND, 1},         {false, 0, D3DRS_ALPHAREF, 0},
                                    {false, 0, D3DRS_ALPHATESTENABLE, FALSE}, {true, 0, 101, 1}};

// The block, made once on the shared device.
StateBlock* makeBlock()
{
    static StateBlock* block = nullptr;
    if (block || !bringUp()) return block;
    StateBlockTable& table = D3DCore.StateBlocks;
    const float white[3] = {1, 1, 1};
    DWORD handle = SB_NONE;
    if (!table.CreateSB("bench.mtl", TexNames(), white, white, &handle)) return nullptr;
    GMaterial* GM = new GMaterial();
    GM->FVFFormat.D3DFlags = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    GM->Passes = 3;
    auto record = [&](const std::vector<State>& states) {
        for (const State& s : states) {
            if (s.Stage) table.RecordStageState(s.Index, s.Type, s.Value);
            else table.RecordRenderState(s.Type, s.Value);
        }
        table.EndRecord();
    };
    for (DWORD p = 0; p < 3; ++p) {
        GM->Stages[p] = 2;
        table.BeginRecordPass(GM, p);
        record(PASSES[p]);
    }
    table.BeginRecordRestore(GM);
    record(RESTORE);
    block = table.GetSB(handle);
    block->GMaterial = GM;
    return block;
}

void BM_StateBlockPerDraw(benchmark::State& state)
{
    StateBlock* SB = makeBlock();
    if (!SB) return state.SkipWithError("no device");
    for (auto _ : state) {
        for (int d = 0; d < DRAWS; ++d) {
            for (DWORD p = 0; p < 3; ++p) D3DCore.ApplyStateBlock(SB, p, 0);
            D3DCore.ApplyPendingRestore();
        }
    }
    state.SetItemsProcessed(state.iterations() * DRAWS);
}

// The baseline: the same states and the shader and texture sets a pass makes, through the caches.
void BM_CachedSettersPerDraw(benchmark::State& state)
{
    if (!makeBlock()) return state.SkipWithError("no device");
    auto send = [](const std::vector<State>& states) {
        for (const State& s : states) {
            if (s.Stage) D3DCore.SetTextureStageState(s.Index, s.Type, s.Value);
            else D3DCore.SetRenderState(s.Type, s.Value);
        }
    };
    for (auto _ : state) {
        for (int d = 0; d < DRAWS; ++d) {
            for (const auto& pass : PASSES) {
                D3DCore.SetVertexShader(nullptr);
                D3DCore.SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
                for (int32_t s = 0; s < 8; ++s) D3DCore.SetTexture(s, nullptr);
                send(pass);
            }
            send(RESTORE);
        }
    }
    state.SetItemsProcessed(state.iterations() * DRAWS);
}

BENCHMARK(BM_StateBlockPerDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CachedSettersPerDraw)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_CachedRenderStateUnchanged);
BENCHMARK(BM_CachedRenderStateChanged);
BENCHMARK(BM_DeviceRenderStateEveryTime);
BENCH_PAIR(BM_StateBlockPerDraw, BM_CachedSettersPerDraw);
BENCH_PAIR(BM_CachedRenderStateUnchanged, BM_DeviceRenderStateEveryTime);
BENCH_PAIR(BM_CachedRenderStateChanged, BM_DeviceRenderStateEveryTime);

}  // namespace

VELDRANE_BENCH_MAIN("renderstate")
