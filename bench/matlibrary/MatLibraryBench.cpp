// The material library on the null renderer: materials already loaded, asked for again by name
// (the state-block table's look-up, then the reference given back), against a std::unordered_map
// of the same names compared without regard to case whose entry is taken and given back; and
// overlay text laid out and drawn per frame, per character, against a plain loop writing the same
// quads into memory.
#include "../BenchMain.h"
#include "../FoldedNames.h"
#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderCoreStart.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int MATERIALS = 200;
const int TEXT_LENGTH = 1000;

void quiet(const char*, const char*, const char*, int) {}

void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

std::string materialName(int i) { return "data\\bench\\material" + std::to_string(i) + ".mtl"; }

int32_t hudPage = -1;

// The library with a device on the default card, in the program's own folder with the shipped core
// data and MATERIALS vertex-colour materials, each loaded once.
bool bringUp()
{
    static bool up = false;
    if (up) return true;
    setAssertReportHook(quiet);
    const fs::path dir = fs::current_path();
    std::error_code error;
    for (const char* f : {"renderdefault.txt", "font.mtl", "font.tga", "letterbox.mtl", "fallbackmaterials/vc.mtl",
                          "fallbackmaterials/t1.mtl", "fallbackmaterials/t1_vc.mtl", "overlay/hudfont.mtl",
                          "overlay/hudfont.tga", "overlay/hudfont.txt"}) {
        fs::create_directories((dir / "data" / f).parent_path(), error);
        if (error || !fs::copy_file(fs::path(VELDRANE_DATA) / f, dir / "data" / f, error)) return false;
    }
    writeFile(dir / "data" / "4CC.txt", "3\nDXT1\nDXT3\nDXT5\n");
    std::string vc;
    FILE* f = std::fopen((dir / "data" / "fallbackmaterials" / "vc.mtl").c_str(), "rb");
    if (!f) return false;
    char buffer[4096];
    vc.assign(buffer, std::fread(buffer, 1, sizeof buffer, f));
    std::fclose(f);
    for (int i = 0; i < MATERIALS; ++i) writeFile(dir / "data" / "bench" / ("material" + std::to_string(i) + ".mtl"), vc);
    RenderCoreSettings settings;
    settings.Width = 800;
    settings.Height = 600;
    settings.VSync = false;
    if (DXSetup::Load() != 0 || !StartMaterialLibrary(settings)) return false;
    for (int i = 0; i < MATERIALS; ++i) {
        DWORD h = SB_NONE;
        if (!MatCore.LoadMaterial(materialName(i).c_str(), TexNames(), &h)) return false;
    }
    hudPage = MatCore.LoadOverlayPage("data\\overlay\\hudfont.tga", "data\\overlay\\hudfont.mtl",
                                      "data\\overlay\\hudfont.txt", true, nullptr, 1.0f);
    up = hudPage >= 0;
    return up;
}

void BM_LoadMaterialByName(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no library");
    std::vector<std::string> names;
    for (int i = 0; i < MATERIALS; ++i) names.push_back(materialName(i));
    const TexNames none;
    for (auto _ : state)
        for (const std::string& name : names) {
            DWORD h = SB_NONE;
            MatCore.LoadMaterial(name.c_str(), none, &h);
            D3DCore.StateBlocks.ReleaseSB(h);
        }
    state.SetItemsProcessed(state.iterations() * MATERIALS);
}

// The plain way to do the same work: the names in a std::unordered_map that ignores case, whose
// entry is taken (its texture count checked and its count raised) and given back.
struct Entry {
    DWORD Textures = 0;
    DWORD RefCount = 1;
};

void BM_UnorderedMapByName(benchmark::State& state)
{
    bench::FoldedMap<Entry> table;
    std::vector<std::string> names;
    for (int i = 0; i < MATERIALS; ++i) {
        names.push_back(materialName(i));
        table.emplace(names.back(), Entry());
    }
    const TexNames none;
    for (auto _ : state)
        for (const std::string& name : names) {
            const auto found = table.find(std::string_view(name.c_str()));
            if (found == table.end() || found->second.Textures != none.TotalNames) return state.SkipWithError(name.c_str());
            Entry* entry = &found->second;
            ++entry->RefCount;
            benchmark::DoNotOptimize(entry);
            --entry->RefCount;
        }
    state.SetItemsProcessed(state.iterations() * MATERIALS);
}

std::string sampleText()
{
    std::string text;
    while (text.size() < TEXT_LENGTH) text += "The quick brown fox jumps over the lazy dog. 0123456789 ";
    text.resize(TEXT_LENGTH);
    return text;
}

// A frame with one long line of text: layout, the locked buffers, the flushes and the draws.
void BM_OverlayTextPerCharacter(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no library");
    std::string text = sampleText();
    for (auto _ : state) {
        D3DCore.BeginScene(false, false);
        MatCore.BeginOverlay(hudPage);
        MatCore.OverlayText(text.data(), 0, 0, 0.5f, 0.5f, 0xFFFFFFFFu);
        MatCore.EndOverlay();
        D3DCore.EndScene(false);
    }
    state.SetItemsProcessed(state.iterations() * TEXT_LENGTH);
}

struct Vertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};

// The same quads written by a plain loop into memory: no buffers, no device.
void BM_PlainQuadsPerCharacter(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no library");
    const OverlayPageInfo& page = MatCore.OverlayPage[hudPage];
    const std::string text = sampleText();
    std::vector<Vertex> out(text.size() * 4);
    std::vector<uint16_t> indices(text.size() * 6);
    for (auto _ : state) {
        float pen = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const int sprite = page.CharMap[static_cast<unsigned char>(text[i])];
            const OverlaySpriteRect& s = page.Sprite[sprite];
            const float r = pen + s.Width * 0.5f, b = s.Height * 0.5f;
            out[i * 4 + 0] = {pen, 0, 0.01f, 100, 0xFFFFFFFFu, s.U0, s.V0};
            out[i * 4 + 1] = {r, 0, 0.01f, 100, 0xFFFFFFFFu, s.U1, s.V0};
            out[i * 4 + 2] = {pen, b, 0.01f, 100, 0xFFFFFFFFu, s.U0, s.V1};
            out[i * 4 + 3] = {r, b, 0.01f, 100, 0xFFFFFFFFu, s.U1, s.V1};
            const uint16_t base = static_cast<uint16_t>((i * 4) & 0xFFFF);
            const uint16_t q[6] = {base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2),
                                   static_cast<uint16_t>(base + 2), static_cast<uint16_t>(base + 1),
                                   static_cast<uint16_t>(base + 3)};
            std::copy(q, q + 6, indices.begin() + static_cast<std::ptrdiff_t>(i * 6));
            pen += page.Widths[sprite] * 0.5f;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetItemsProcessed(state.iterations() * TEXT_LENGTH);
}

BENCHMARK(BM_LoadMaterialByName);
BENCHMARK(BM_UnorderedMapByName);
BENCH_PAIR(BM_LoadMaterialByName, BM_UnorderedMapByName);
BENCHMARK(BM_OverlayTextPerCharacter);
BENCHMARK(BM_PlainQuadsPerCharacter);
BENCH_PAIR(BM_OverlayTextPerCharacter, BM_PlainQuadsPerCharacter);

}  // namespace

VELDRANE_BENCH_MAIN("matlibrary")
