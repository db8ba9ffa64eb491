// Material files parsed and compiled per second from a set of 200 (one to three passes, lit and
// unlit, a quarter with a first alternative the card refuses, a few animated), against the block
// reader on the same bytes wrapped as one block each (brackets made name characters): the ratio is the material layer's own cost
// (values, state lists, render defaults and the card's validation).
#include "../BenchMain.h"
#include "d3dcore9/D3DCore.h"
#include "matcore9/MatCore.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include "utility/BlockFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const int MATERIALS = 200;
const char* const STAGE_OPS[] = {"modulate", "selectarg1", "add", "modulate2x"};
const char* const BLENDS[] = {"one", "srcalpha", "invsrcalpha", "destcolor"};

void quiet(const char*, const char*, const char*, int) {}

std::string alternative(int i, bool refused)
{
    const int passes = 1 + i % 3;
    const bool lit = i % 2 == 0;
    const int stages = 1 + i % 4;
    std::ostringstream t;
    t << "[shader]\npasses " << passes << "\nsimultaneoustextures " << stages << "\n";
    t << (lit ? "fvf XYZ|NORMAL|TEX2\nlighting TRUE\ndiffusereflection MODEL\nambientreflection VERTEX\n"
              : "fvf XYZ|DIFFUSE|TEX2\nlighting FALSE\n");
    for (int s = 0; s < stages; ++s) t << "textureformat " << s << " DXT1 8888 565\nusemipmaps " << s << " TRUE\n";
    if (refused) t << "alwaysfail\n";
    if (passes == 1 && i % 10 == 1) t << "textureanimation anim.anm\n";
    t << "sort " << (i % 5 == 0 ? "material" : "none") << "\n";
    for (int p = 0; p < passes; ++p) {
        t << "[pass]\nstages " << stages << "\n// blending of pass " << p << "\n";
        t << "setrenderstate zenable true\nsetrenderstate zwriteenable " << (p == 0 ? "true" : "false") << "\n";
        t << "setrenderstate cullmode ccw\nsetrenderstate alphablendenable " << (p ? "true" : "false") << "\n";
        t << "setrenderstate srcblend " << BLENDS[(i + p) % 4] << "\nsetrenderstate destblend " << BLENDS[(i + p + 1) % 4]
          << "\n";
        for (int s = 0; s < stages; ++s) {
            t << "settexture " << s << " " << s << "\n";
            t << "settexturestagestate " << s << " colorop " << STAGE_OPS[(i + s) % 4] << "\n";
            t << "settexturestagestate " << s << " colorarg1 texture\nsettexturestagestate " << s
              << " colorarg2 " << (s ? "current" : "diffuse") << "\n";
            t << "settexturestagestate " << s << " alphaop selectarg1\nsettexturestagestate " << s
              << " alphaarg1 texture\nsettexturestagestate " << s << " mipfilter linear\n";
            t << "settexturestagestate " << s << " addressu " << (s % 2 ? "clamp" : "wrap") << "\n";
        }
        t << "[end]\n";
    }
    t << "[end]\n";
    return t.str();
}

struct Set {
    std::vector<std::string> Materials;  // "data\\bench\\mNNN.mtl"
    std::vector<std::string> Blocks;     // the same text as block files
    size_t Bytes = 0;
};

void put(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The core with a device on the default card and the shipped render defaults, in the program's own
// folder holding the 200 materials; null when that fails.
const Set* bringUp()
{
    static Set set;
    static bool up = false;
    if (up) return &set;
    setAssertReportHook(quiet);
    const std::filesystem::path dir = std::filesystem::current_path();
    std::error_code error;
    std::filesystem::create_directories(dir / "data" / "bench", error);
    if (error || !std::filesystem::copy_file(std::filesystem::path(VELDRANE_DATA) / "renderdefault.txt",
                                             dir / "data" / "renderdefault.txt", error))
        return nullptr;
    put(dir / "data" / "4CC.txt", "3\nDXT1\nDXT3\nDXT5\n");
    put(dir / "data" / "bench" / "anim.anm",
        "stage 0\nuvtype explicit\n[offsetu]\ntime 1000 divide 0.25 multiply\n[end]\n[rotate]\ntime 36 multiply\n[end]\n");
    for (int i = 0; i < MATERIALS; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "m%03d", i);
        std::string text = "// material " + std::string(name) + "\nshaders " + (i % 4 == 3 ? "2" : "1") +
                           "\nmaterialid " + name + "\n";
        if (i % 4 == 3) text += alternative(i, true);
        text += alternative(i, false);
        put(dir / "data" / "bench" / (std::string(name) + ".mtl"), text);
        // Block-file names cannot begin with a bracket: "[pass]" becomes "_pass_", byte for byte.
        std::string block = text;
        for (char& c : block)
            if (c == '[' || c == ']') c = '_';
        put(dir / "data" / "bench" / (std::string(name) + ".txt"), std::string(name) + "\n{\n" + block + "}\n");
        set.Materials.push_back(std::string("data\\bench\\") + name + ".mtl");
        set.Blocks.push_back(std::string("data\\bench\\") + name + ".txt");
        set.Bytes += text.size();
    }
    if (DXSetup::Load() != 0) return nullptr;
    DXSetup::SetEnumFilter(GameEnumFilter());
    if (!D3DCore.Init()) return nullptr;
    const int32_t mode = D3DCore.FindMode(0, 0, 800, 600);
    D3DCore.SetMode(0, 0, mode, D3DCore.FindFormat(0, 0, mode, 32), 0, 0, true, 0, 0, 0);
    if (!D3DCore.CreateDevice(false, true, 1)) return nullptr;
    MatCore.InitRenderStates();
    up = true;
    return &set;
}

void BM_ParseMaterialFiles(benchmark::State& state)
{
    const Set* set = bringUp();
    if (!set) return state.SkipWithError("no device");
    for (auto _ : state) {
        for (const std::string& name : set->Materials) {
            GMaterial* GM = nullptr;
            if (!MatCore.ParseMaterial(name.c_str(), &GM, nullptr, nullptr, nullptr)) return state.SkipWithError(name.c_str());
            GM->Release();
        }
    }
    state.SetItemsProcessed(state.iterations() * MATERIALS);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->Bytes));
}

void BM_ReadSameBytesAsBlockFiles(benchmark::State& state)
{
    const Set* set = bringUp();
    if (!set) return state.SkipWithError("no device");
    for (auto _ : state) {
        for (const std::string& name : set->Blocks) {
            CParamBlock* block = nullptr;
            if (!loadFirstBlock(name.c_str(), &block, 64)) return state.SkipWithError(name.c_str());
            delete block;
        }
    }
    state.SetItemsProcessed(state.iterations() * MATERIALS);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->Bytes));
}

BENCHMARK(BM_ParseMaterialFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSameBytesAsBlockFiles)->Unit(benchmark::kMillisecond);
BENCH_PAIR(BM_ParseMaterialFiles, BM_ReadSameBytesAsBlockFiles);

}  // namespace

VELDRANE_BENCH_MAIN("materials")
