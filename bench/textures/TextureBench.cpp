// Textures per second loaded from 100 256 x 256 TGA files with nine levels each: cold (levels
// calculated, level files and the .xim cache written) and warm (from the .xim cache), each beside
// fread of the same files, so that the ratio is the loader's own cost. And DXT1 and DXT5 blocks
// decoded, in texels per second, beside the textbook decoder written plainly (each block's palette
// from its two 565 end points, its indices looked up straight into the output rows).
#include "../BenchMain.h"
#include "d3d9/TexelFormats.h"
#include "d3dcore9/D3DCore.h"
#include "platform/testing.h"
#include "utility/Assert.h"

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
    fs::create_directories("data");
    fs::create_directories("tex");
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

// The textbook decoder: a block's four colours (three and transparent black for a DXT1 block
// whose first end point is not the greater) as B, G, R, A words, DXT5's eight alphas, every texel
// looked up into its place in the rows.
void plainDecode(D3DFORMAT format, const uint8_t* blocks, uint32_t pitch, uint8_t* bgra)
{
    const bool dxt1 = format == D3DFMT_DXT1;
    const uint32_t size = dxt1 ? 8 : 16;
    for (uint32_t by = 0; by < EDGE / 4; ++by)
        for (uint32_t bx = 0; bx < EDGE / 4; ++bx) {
            const uint8_t* block = blocks + by * pitch + bx * size;
            const uint8_t* colour = dxt1 ? block : block + 8;
            const int c0 = colour[0] | colour[1] << 8, c1 = colour[2] | colour[3] << 8;
            int rgb[4][3];  // b, g, r
            for (int e = 0; e < 2; ++e) {
                const int c = e ? c1 : c0, r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
                rgb[e][0] = b << 3 | b >> 2, rgb[e][1] = g << 2 | g >> 4, rgb[e][2] = r << 3 | r >> 2;
            }
            const bool four = c0 > c1 || !dxt1;
            for (int k = 0; k < 3; ++k) {
                rgb[2][k] = four ? (2 * rgb[0][k] + rgb[1][k]) / 3 : (rgb[0][k] + rgb[1][k]) / 2;
                rgb[3][k] = four ? (rgb[0][k] + 2 * rgb[1][k]) / 3 : 0;
            }
            uint32_t palette[4];
            for (int e = 0; e < 4; ++e)
                palette[e] = uint32_t(rgb[e][0]) | uint32_t(rgb[e][1]) << 8 | uint32_t(rgb[e][2]) << 16 |
                             (e < 3 || four ? 0xFF000000u : 0u);
            const uint32_t indices = colour[4] | colour[5] << 8 | colour[6] << 16 | uint32_t(colour[7]) << 24;
            uint32_t texels[16];
            for (int t = 0; t < 16; ++t) texels[t] = palette[(indices >> (2 * t)) & 3];
            if (!dxt1) {
                int alphas[8] = {block[0], block[1]};
                if (alphas[0] > alphas[1]) {
                    for (int i = 1; i < 7; ++i) alphas[i + 1] = ((7 - i) * alphas[0] + i * alphas[1]) / 7;
                } else {
                    for (int i = 1; i < 5; ++i) alphas[i + 1] = ((5 - i) * alphas[0] + i * alphas[1]) / 5;
                    alphas[6] = 0, alphas[7] = 255;
                }
                uint64_t bits = 0;
                for (int i = 0; i < 6; ++i) bits |= uint64_t(block[2 + i]) << (8 * i);
                for (int t = 0; t < 16; ++t)
                    texels[t] = (texels[t] & 0x00FFFFFFu) | uint32_t(alphas[(bits >> (3 * t)) & 7]) << 24;
            }
            for (int y = 0; y < 4; ++y)
                std::memcpy(bgra + ((by * 4 + y) * EDGE + bx * 4) * 4, texels + 4 * y, 16);
        }
}

void BM_PlainDecode(benchmark::State& state, D3DFORMAT format)
{
    Blocks b(format);
    // It must give the decoder's texels, or it does other work.
    std::vector<uint8_t> expected(b.decoded.size());
    d3d9ref::decodeDXT(format, b.bytes.data(), b.pitch, EDGE, EDGE, expected.data(), EDGE * 4);
    plainDecode(format, b.bytes.data(), b.pitch, b.decoded.data());
    if (expected != b.decoded) return state.SkipWithError("the plain decoder's texels differ");
    for (auto _ : state) {
        plainDecode(format, b.bytes.data(), b.pitch, b.decoded.data());
        benchmark::DoNotOptimize(b.decoded.data());
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
BENCHMARK_CAPTURE(BM_PlainDecode, dxt1, D3DFMT_DXT1);
BENCHMARK_CAPTURE(BM_PlainDecode, dxt5, D3DFMT_DXT5);
BENCH_PAIR(BM_LoadTexturesCold, BM_FreadSources);
BENCH_PAIR(BM_LoadTexturesWarm, BM_FreadCaches);
BENCH_PAIR(BM_DecodeDXT, BM_PlainDecode);

VELDRANE_BENCH_MAIN("textures")
