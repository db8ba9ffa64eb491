// Textures per second loaded from 100 256 x 256 TGA files with nine levels each: cold (levels
// calculated, level files and the .xim cache written) and warm (from the .xim cache), each beside
// fread of the same files, so that the ratio is the loader's own cost. And DXT blocks decoded,
// in texels per second, beside a plain copy of the decoded bytes.
#include "d3d9/TexelFormats.h"
#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"
#include "utility/Assert.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int COUNT = 100;
constexpr uint32_t EDGE = 256;

void quiet(const char*, const char*, const char*, int) {}

fs::path folder() { return fs::temp_directory_path() / "veldrane-bench-textures"; }

std::string name(int i, const char* extension)
{
    char text[32];
    std::snprintf(text, sizeof(text), "tex\\t%03d.%s", i, extension);
    return text;
}

// The core with a device on the default card, and 100 noisy 32-bit sources.
Tex* bringUp()
{
    static Tex* format = nullptr;
    if (format) return format;
    setAssertReportHook(quiet);
    fs::remove_all(folder());
    fs::create_directories(folder() / "data");
    fs::create_directories(folder() / "tex");
    fs::current_path(folder());
    FILE* f = std::fopen("data/4CC.txt", "w");
    if (!f) return nullptr;
    std::fputs("3\nDXT1\nDXT3\nDXT5\n", f);
    std::fclose(f);
    std::mt19937 random(5);
    std::vector<uint8_t> pixels(EDGE * EDGE * 4);
    for (int i = 0; i < COUNT; ++i) {
        for (uint8_t& p : pixels) p = static_cast<uint8_t>(random());
        const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 32, 0x28};
        std::string path = "tex/" + name(i, "tga").substr(4);
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) return nullptr;
        std::fwrite(header, 1, sizeof(header), out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
    if (DXSetup::Load() != 0) return nullptr;
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) return nullptr;
    int32_t mode = D3DCore.FindMode(0, 0, 800, 600);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    if (!D3DCore.CreateDevice(false, true, 1)) return nullptr;
    for (Tex* t = D3DCore.CurrentModeType->TextureFormats.First; t; t = t->Next)
        if (t->Format == D3DFMT_A8R8G8B8) format = t;
    return format;
}

bool loadAll(Tex* format, const char* extension)
{
    TextureTable& table = D3DCore.TextureTables;
    bool ok = true;
    for (int i = 0; i < COUNT; ++i) {
        TextureHandle h;
        ok = table.AddHWTexture(name(i, extension).c_str(), format, 0, 1, false, false, &h, "bench") && ok;
        ok = table.LoadTexture(h) && ok;
    }
    table.ReleaseAllHWTextures();
    return ok;
}

void forgetCaches()
{
    fs::remove_all("tex/mipmaps");
    for (int i = 0; i < COUNT; ++i) fs::remove("tex/" + name(i, "xim").substr(4));
}

// Reads whole files the plain way.
size_t freadAll(const char* extension)
{
    static std::vector<uint8_t> buffer(4 << 20);
    size_t total = 0;
    for (int i = 0; i < COUNT; ++i) {
        FILE* f = std::fopen(("tex/" + name(i, extension).substr(4)).c_str(), "rb");
        if (!f) continue;
        total += std::fread(buffer.data(), 1, buffer.size(), f);
        std::fclose(f);
    }
    return total;
}

void BM_LoadTexturesCold(benchmark::State& state)
{
    Tex* format = bringUp();
    if (!format) return state.SkipWithError("no device");
    for (auto _ : state) {
        state.PauseTiming();
        forgetCaches();
        state.ResumeTiming();
        if (!loadAll(format, "tga")) return state.SkipWithError("a load failed");
    }
    state.SetItemsProcessed(state.iterations() * COUNT);
}

void BM_FreadSources(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no device");
    for (auto _ : state) benchmark::DoNotOptimize(freadAll("tga"));
    state.SetItemsProcessed(state.iterations() * COUNT);
}

void BM_LoadTexturesWarm(benchmark::State& state)
{
    Tex* format = bringUp();
    if (!format) return state.SkipWithError("no device");
    forgetCaches();
    if (!loadAll(format, "tga")) return state.SkipWithError("a load failed");
    for (auto _ : state)
        if (!loadAll(format, "xim")) return state.SkipWithError("a load failed");
    state.SetItemsProcessed(state.iterations() * COUNT);
}

void BM_FreadCaches(benchmark::State& state)
{
    Tex* format = bringUp();
    if (!format) return state.SkipWithError("no device");
    if (!fs::exists("tex/t000.xim") && !loadAll(format, "tga")) return state.SkipWithError("a load failed");
    for (auto _ : state) benchmark::DoNotOptimize(freadAll("xim"));
    state.SetItemsProcessed(state.iterations() * COUNT);
}

// One 256 x 256 level of DXT blocks, noise-filled, and where it decodes to.
struct Blocks {
    std::vector<uint8_t> bytes, decoded;
    uint32_t pitch;
    explicit Blocks(D3DFORMAT format)
        : bytes(d3d9ref::rowBytes(format, EDGE) * d3d9ref::rowCount(format, EDGE)), decoded(EDGE * EDGE * 4),
          pitch(d3d9ref::rowBytes(format, EDGE))
    {
        std::mt19937 random(9);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    }
};

void BM_DecodeDXT(benchmark::State& state, D3DFORMAT format)
{
    Blocks b(format);
    for (auto _ : state) {
        d3d9ref::decodeDXT(format, b.bytes.data(), b.pitch, EDGE, EDGE, b.decoded.data(), EDGE * 4);
        benchmark::DoNotOptimize(b.decoded.data());
    }
    state.SetItemsProcessed(state.iterations() * EDGE * EDGE);
}

// The baseline: writing the decoded bytes with nothing to work out.
void BM_CopyDecodedBytes(benchmark::State& state)
{
    std::vector<uint8_t> from(EDGE * EDGE * 4, 7), to(EDGE * EDGE * 4);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
    }
    state.SetItemsProcessed(state.iterations() * EDGE * EDGE);
}

}  // namespace

BENCHMARK(BM_LoadTexturesCold)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FreadSources)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTexturesWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreadCaches)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeDXT, dxt1, D3DFMT_DXT1);
BENCHMARK_CAPTURE(BM_DecodeDXT, dxt5, D3DFMT_DXT5);
BENCHMARK(BM_CopyDecodedBytes);

BENCHMARK_MAIN();
