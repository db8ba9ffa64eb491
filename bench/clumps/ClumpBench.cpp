// Loading a clump file of 10,000 elements (20 clumps of 500, half of them one-state rocks that
// lean with the ground, half two-state trees), in elements and MB per second, beside CFile::Read
// of the whole file into one buffer. Each load also builds, commits and unloads the combined meshes.
#include "../BenchMain.h"
#include "ClumpWorld.h"
#include "kestrune/ClumpManager.h"
#include "utility/Assert.h"
#include "winfile/File.h"

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

}  // namespace

BENCHMARK(BM_LoadClumpFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_LoadClumpFile, BM_ReadWholeFile);

VELDRANE_BENCH_MAIN("clumps")
