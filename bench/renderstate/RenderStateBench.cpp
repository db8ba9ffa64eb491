// Render-state calls per second through the cache, with and without a change, against sending
// every call to the device.
#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"
#include "utility/Assert.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

void quiet(const char*, const char*, const char*, int) {}

// The core with a device on the default card, in a folder with the files enumeration reads.
bool bringUp()
{
    static bool up = false;
    if (up) return true;
    setAssertReportHook(quiet);
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "veldrane-bench-renderstate";
    std::filesystem::create_directories(dir / "data");
    FILE* f = std::fopen((dir / "data" / "4CC.txt").c_str(), "w");
    if (!f) return false;
    std::fputs("3\nDXT1\nDXT3\nDXT5\n", f);
    std::fclose(f);
    std::filesystem::current_path(dir);
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

BENCHMARK(BM_CachedRenderStateUnchanged);
BENCHMARK(BM_CachedRenderStateChanged);
BENCHMARK(BM_DeviceRenderStateEveryTime);

}  // namespace

BENCHMARK_MAIN();
