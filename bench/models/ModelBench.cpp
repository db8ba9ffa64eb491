// A large model file loaded with tool meshes, in MB per second, beside CFile::Read of the whole
// file into one buffer: 256 mesh elements (a root, 15 children, 240 grandchildren) of 500 vertices
// and 1,500 indices each, about 5 MB. And the sample models the same way, beside reading them whole.
#include "../BenchMain.h"
#include "ModelWriter.h"
#include "SampleModels.h"
#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "matcore9/BufferAllocator.h"
#include "utility/Assert.h"
#include "utility/LList.h"
#include "winfile/File.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace mw = modelwriter;

const char* const FILE_NAME = "data\\big.rsm";

void quiet(const char*, const char*, const char*, int) {}

mw::Element meshElement(const std::string& name, std::mt19937& random)
{
    mw::Element e(name, static_cast<float>(random() % 100), 0, 0);
    e.Type = mw::TYPE_MESH;
    meshwriter::Block block = meshwriter::demoQuad("m.mtl", "m.tga");
    meshwriter::Primitive& p = block.Primitives[0];
    p = meshwriter::Primitive();
    p.FVF = meshwriter::XYZ | meshwriter::NORMAL | meshwriter::TEX(1);
    for (int v = 0; v < 500; ++v) {
        meshwriter::Vertex vertex;
        for (float& f : vertex.Position) f = static_cast<float>(random() % 1000) / 10.0f;
        vertex.Normal[2] = 1;
        p.add(vertex);
    }
    for (int i = 0; i < 1500; ++i) p.IndexList.push_back(random() % 500);
    e.Mesh = meshwriter::section({block}, 106);
    return e;
}

bool bringUp()
{
    static bool up = false;
    if (up) return true;
    setAssertReportHook(quiet);
    if (!llistElementPoolExists()) llistInitElementPool();
    fs::create_directories("data");
    std::mt19937 random(5);
    mw::Element root = meshElement("root", random);
    for (int c = 0; c < 15; ++c) {
        char name[16];
        std::snprintf(name, sizeof name, "c%d", c);
        mw::Element child = meshElement(name, random);
        for (int g = 0; g < 16; ++g) child.Children.push_back(meshElement("g", random));
        root.Children.push_back(child);
    }
    mw::Model m;
    m.Lods.push_back({0, root});
    std::vector<std::pair<std::string, std::string>> files = samplemodels::files();
    files.emplace_back("big.rsm", mw::model(m));
    for (const auto& [name, bytes] : files) {
        fs::create_directories(fs::path("data/" + name).parent_path());
        FILE* f = std::fopen(("data/" + name).c_str(), "wb");
        if (!f) return false;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    up = CModelClassManager::Init() && CModelManager::Init();
    return up;
}

// The sample models' files, as the game names them.
std::vector<std::string> sampleModels()
{
    std::vector<std::string> names;
    for (const auto& [name, bytes] : samplemodels::files()) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".rsm") != 0) continue;
        std::string game = "data\\" + name;
        std::replace(game.begin(), game.end(), '/', '\\');
        names.push_back(game);
    }
    return names;
}

int64_t sampleModelBytes()
{
    int64_t bytes = 0;
    for (const auto& [name, data] : samplemodels::files())
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".rsm") == 0) bytes += static_cast<int64_t>(data.size());
    return bytes;
}

void BM_LoadModelToolMeshes(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no set-up");
    for (auto _ : state) {
        CModel* model = CModelUtil::LoadModel(FILE_NAME, 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL);
        if (!model) return state.SkipWithError("load failed");
        CModelManager::ReleaseModel(model, true);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size("data/big.rsm")));
}

// The baseline: the whole file in one CFile::Read.
void BM_ReadWholeFile(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no set-up");
    const uint32_t bytes = static_cast<uint32_t>(fs::file_size("data/big.rsm"));
    std::vector<char> buffer(bytes);
    for (auto _ : state) {
        CFile file;
        uint32_t done = 0;
        if (!file.Open(FILE_NAME, FILE_MODE_READ) || !file.Read(buffer.data(), bytes, &done) || done != bytes)
            return state.SkipWithError("read failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_LoadSampleModels(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no set-up");
    const std::vector<std::string> names = sampleModels();
    for (auto _ : state)
        for (const std::string& name : names) {
            CModel* model = CModelUtil::LoadModel(name.c_str(), 0, 1.0f, nullptr, CModelUtil::LOAD_TOOL);
            if (!model) return state.SkipWithError("load failed");
            CModelManager::ReleaseModel(model, true);
        }
    state.SetBytesProcessed(state.iterations() * sampleModelBytes());
}

// The baseline: each sample model's file in one CFile::Read.
void BM_ReadSampleModels(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no set-up");
    const std::vector<std::string> names = sampleModels();
    std::vector<char> buffer(static_cast<size_t>(sampleModelBytes()));
    for (auto _ : state)
        for (const std::string& name : names) {
            CFile file;
            uint32_t done = 0;
            if (!file.Open(name.c_str(), FILE_MODE_READ) || !file.Read(buffer.data(), file.GetSize(), &done) ||
                done != file.GetSize())
                return state.SkipWithError("read failed");
            benchmark::DoNotOptimize(buffer.data());
        }
    state.SetBytesProcessed(state.iterations() * sampleModelBytes());
}

}  // namespace

BENCHMARK(BM_LoadModelToolMeshes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond);
BENCH_PAIR(BM_LoadModelToolMeshes, BM_ReadWholeFile);
BENCHMARK(BM_LoadSampleModels)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadSampleModels)->Unit(benchmark::kMicrosecond);
BENCH_PAIR(BM_LoadSampleModels, BM_ReadSampleModels);

VELDRANE_BENCH_MAIN("models")
