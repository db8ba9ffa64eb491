// Mesh sections loaded, in MB per second, beside fread of the same bytes: a 106 section of 16
// blocks of 2,000 vertices (copied into display lists as they stand, or kept by a tool object) and
// the same geometry as a 105 section of generic vertices (converted). And the buffer allocator's
// allocations and frees per second, with and without recycling, beside malloc/free of the same sizes.
#include "../BenchMain.h"
#include "../MeshMaterial.h"
#include "MeshWriter.h"
#include "d3dcore9/D3DCore.h"
#include "matcore9/BufferAllocator.h"
#include "matcore9/HWDynamicMesh.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include "utility/LList.h"
#include "winfile/File.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace mw = meshwriter;

const DWORD FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
const int BLOCKS = 16;
const uint32_t VERTICES = 2000;

void quiet(const char*, const char*, const char*, int) {}

std::string sectionBytes(DWORD version)
{
    std::mt19937 random(3);
    std::vector<mw::Block> blocks;
    for (int b = 0; b < BLOCKS; ++b) {
        mw::Block block = mw::demoQuad("m.mtl", "m.tga");
        mw::Primitive& p = block.Primitives[0];
        p = mw::Primitive();
        p.FVF = version < 106 ? 0 : FVF;
        p.IndexSize = version < 106 ? 4 : 2;
        for (uint32_t v = 0; v < VERTICES; ++v) {
            mw::Vertex vertex;
            for (float& f : vertex.Position) f = static_cast<float>(random() % 1000) / 10.0f;
            vertex.Normal[2] = 1;
            vertex.UV[0][0] = vertex.UV[0][1] = 0.5f;
            p.add(vertex, version);
        }
        for (uint32_t i = 0; i < 3 * VERTICES; ++i) p.IndexList.push_back(random() % VERTICES);
        blocks.push_back(block);
    }
    return mw::section(blocks, version);
}

// The core with a device on the default card, one material and the two section files.
bool bringUp()
{
    static bool up = false;
    if (up) return true;
    setAssertReportHook(quiet);
    if (!llistElementPoolExists()) llistInitElementPool();
    fs::create_directories("data");
    FILE* f = std::fopen("data/4CC.txt", "w");
    if (!f) return false;
    std::fputs("3\nDXT1\nDXT3\nDXT5\n", f);
    std::fclose(f);
    for (DWORD version : {105u, 106u}) {
        const std::string bytes = sectionBytes(version);
        f = std::fopen(version == 106 ? "m106.bin" : "m105.bin", "wb");
        if (!f) return false;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    if (DXSetup::Load() != 0) return false;
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) return false;
    const int32_t mode = D3DCore.FindMode(0, 0, 800, 600);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    if (!D3DCore.CreateDevice(false, true, 1)) return false;
    up = bench::useOneMeshMaterial(FVF);
    return up;
}

template <class Object>
void loadSection(benchmark::State& state, const char* name, DWORD version)
{
    if (!bringUp()) return state.SkipWithError("no device");
    const int64_t bytes = static_cast<int64_t>(fs::file_size(name));
    for (auto _ : state) {
        CFile file;
        file.Open(name, FILE_MODE_READ | FILE_MODE_BUFFERED);
        Object* object = new Object();
        const bool loaded = object->Load(file, version, "m.rsm");
        object->Release();
        if (!loaded) return state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_StaticMesh106(benchmark::State& state) { loadSection<HWMeshObject>(state, "m106.bin", 106); }
void BM_StaticMesh105Generic(benchmark::State& state) { loadSection<HWMeshObject>(state, "m105.bin", 105); }
void BM_ToolMesh106(benchmark::State& state) { loadSection<HWToolObject>(state, "m106.bin", 106); }

// The baseline: the same bytes with fread into one buffer.
void freadSection(benchmark::State& state, const char* name)
{
    if (!bringUp()) return state.SkipWithError("no device");
    const size_t bytes = fs::file_size(name);
    std::vector<char> buffer(bytes);
    for (auto _ : state) {
        FILE* f = std::fopen(name, "rb");
        if (!f) return state.SkipWithError("cannot read the section");
        benchmark::DoNotOptimize(std::fread(buffer.data(), 1, bytes, f));
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_FreadSection106(benchmark::State& state) { freadSection(state, "m106.bin"); }
void BM_FreadSection105(benchmark::State& state) { freadSection(state, "m105.bin"); }

// A model load's pattern: 64 buffers of 16 bytes to 64 KB, freed in a shuffled order.
struct Traffic {
    std::vector<uint32_t> sizes;
    std::vector<int> freeOrder;
    Traffic()
    {
        std::mt19937 random(9);
        for (int i = 0; i < 64; ++i) sizes.push_back(16u << (random() % 13));
        for (int i = 0; i < 64; ++i) freeOrder.push_back(i);
        std::shuffle(freeOrder.begin(), freeOrder.end(), random);
    }
};

void allocator(benchmark::State& state, bool recycle)
{
    static const Traffic traffic;
    if (!llistElementPoolExists()) llistInitElementPool();
    CBufferAllocator* a = CBufferAllocator::GetInstance();
    if (recycle) a->EnableRecycling();
    void* blocks[64];
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) blocks[i] = a->Alloc(traffic.sizes[i]);
        benchmark::DoNotOptimize(blocks);
        for (int i : traffic.freeOrder) a->Free(blocks[i]);
    }
    CBufferAllocator::DestroyInstance();
    state.SetItemsProcessed(state.iterations() * 128);
}

void BM_AllocatorRecycling(benchmark::State& state) { allocator(state, true); }
void BM_AllocatorNoRecycling(benchmark::State& state) { allocator(state, false); }

void BM_MallocFree(benchmark::State& state)
{
    static const Traffic traffic;
    void* blocks[64];
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) blocks[i] = std::malloc(traffic.sizes[i]);
        benchmark::DoNotOptimize(blocks);
        for (int i : traffic.freeOrder) std::free(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations() * 128);
}

}  // namespace

BENCHMARK(BM_StaticMesh106)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StaticMesh105Generic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToolMesh106)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreadSection106)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreadSection105)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllocatorRecycling);
BENCHMARK(BM_AllocatorNoRecycling);
BENCHMARK(BM_MallocFree);
BENCH_PAIR(BM_StaticMesh106, BM_FreadSection106);
BENCH_PAIR(BM_StaticMesh105Generic, BM_FreadSection105);
BENCH_PAIR(BM_ToolMesh106, BM_FreadSection106);
BENCH_PAIR(BM_AllocatorRecycling, BM_MallocFree);
BENCH_PAIR(BM_AllocatorNoRecycling, BM_MallocFree);

VELDRANE_BENCH_MAIN("meshes")
