// Throughput of the archive layer: the compressed-buffer wrapper against zlib called directly on
// the same 16 MB buffer, name lookups in a pack of 10,000 names, and reading a 50 MB pack through
// CFile.
#include "utility/Assert.h"
#include "winfile/Compress.h"
#include "winfile/File.h"
#include "winfile/PackFile.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

const size_t BUFFER_BYTES = 16 << 20;
const int LOOKUP_NAMES = 10000;
const int READ_FILES = 50;
const uint32_t READ_FILE_BYTES = 1 << 20;

std::string workFolder;

void dropReport(const char*, const char*, const char*, int) {}

// Text-like data: words from a small vocabulary, so that zlib has work to do and something to win.
const std::vector<uint8_t>& source()
{
    static std::vector<uint8_t> data = [] {
        const char* words[] = {"Block", "{", "}", "position", "0.000", "1.250", "-3.5", "model", "AnimalHerd",
                               "spawner", "trigger", "OnDeath", "\n", "\t", "radius", "42"};
        std::mt19937 rng(1);
        std::vector<uint8_t> out;
        out.reserve(BUFFER_BYTES);
        while (out.size() < BUFFER_BYTES) {
            const char* word = words[rng() % 16];
            for (const char* p = word; *p && out.size() < BUFFER_BYTES; ++p) out.push_back(static_cast<uint8_t>(*p));
            if (out.size() < BUFFER_BYTES) out.push_back(rng() % 7 ? ' ' : static_cast<uint8_t>('a' + rng() % 26));
        }
        return out;
    }();
    return data;
}

const std::vector<uint8_t>& deflatedSource()
{
    static std::vector<uint8_t> packed = [] {
        std::vector<uint8_t> out(BUFFER_BYTES + 12);
        uint32_t size = static_cast<uint32_t>(out.size());
        deflateBuffer(source().data(), out.data(), BUFFER_BYTES, &size);
        out.resize(size);
        return out;
    }();
    return packed;
}

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_DeflateBuffer(benchmark::State& state)
{
    std::vector<uint8_t> out(BUFFER_BYTES + 12);
    for (auto _ : state) {
        uint32_t size = static_cast<uint32_t>(out.size());
        benchmark::DoNotOptimize(deflateBuffer(source().data(), out.data(), BUFFER_BYTES, &size));
    }
    state.SetBytesProcessed(state.iterations() * BUFFER_BYTES);
}

void BM_DeflateZlib(benchmark::State& state)
{
    std::vector<uint8_t> out(compressBound(BUFFER_BYTES));
    for (auto _ : state) {
        uLongf size = out.size();
        benchmark::DoNotOptimize(compress(out.data(), &size, source().data(), BUFFER_BYTES));
    }
    state.SetBytesProcessed(state.iterations() * BUFFER_BYTES);
}

void BM_InflateBuffer(benchmark::State& state)
{
    const std::vector<uint8_t>& packed = deflatedSource();
    std::vector<uint8_t> out(BUFFER_BYTES);
    for (auto _ : state) {
        uint32_t size = BUFFER_BYTES;
        benchmark::DoNotOptimize(
            inflateBuffer(packed.data(), out.data(), static_cast<uint32_t>(packed.size()), &size));
    }
    state.SetBytesProcessed(state.iterations() * BUFFER_BYTES);
}

void BM_InflateZlib(benchmark::State& state)
{
    const std::vector<uint8_t>& packed = deflatedSource();
    std::vector<uint8_t> out(BUFFER_BYTES);
    for (auto _ : state) {
        uLongf size = BUFFER_BYTES;
        benchmark::DoNotOptimize(uncompress(out.data(), &size, packed.data() + 12, packed.size() - 13));
    }
    state.SetBytesProcessed(state.iterations() * BUFFER_BYTES);
}

// Both ways in each iteration, so that the ratio compares like with like.
void BM_WrapperOverZlibRatio(benchmark::State& state)
{
    const std::vector<uint8_t>& packed = deflatedSource();
    std::vector<uint8_t> out(compressBound(BUFFER_BYTES) + 12);
    double wrapperDeflate = 0, zlibDeflate = 0, wrapperInflate = 0, zlibInflate = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        uint32_t size = static_cast<uint32_t>(out.size());
        deflateBuffer(source().data(), out.data(), BUFFER_BYTES, &size);
        wrapperDeflate += seconds(start);

        start = std::chrono::steady_clock::now();
        uLongf zsize = out.size();
        compress(out.data(), &zsize, source().data(), BUFFER_BYTES);
        zlibDeflate += seconds(start);

        start = std::chrono::steady_clock::now();
        size = BUFFER_BYTES;
        inflateBuffer(packed.data(), out.data(), static_cast<uint32_t>(packed.size()), &size);
        wrapperInflate += seconds(start);

        start = std::chrono::steady_clock::now();
        zsize = BUFFER_BYTES;
        uncompress(out.data(), &zsize, packed.data() + 12, packed.size() - 13);
        zlibInflate += seconds(start);
    }
    state.counters["deflate_ratio"] = wrapperDeflate / zlibDeflate;
    state.counters["inflate_ratio"] = wrapperInflate / zlibInflate;
}

std::string lookupName(int i)
{
    char name[64];
    snprintf(name, sizeof name, "data\\objects\\obj%05d.dat", i);
    return name;
}

std::string readName(int i)
{
    char name[64];
    snprintf(name, sizeof name, "data\\levels\\chunk%02d.bin", i);
    return name;
}

// Builds a pack once per run; later calls only give its name.
std::string buildPack(const char* packName, int count, std::string (*nameOf)(int), uint32_t bytes)
{
    const std::string pack = workFolder + "/" + packName;
    if (std::filesystem::exists(pack)) return pack;
    std::mt19937 rng(2);
    std::vector<char> contents(bytes);
    for (int i = 0; i < count; ++i) {
        for (char& c : contents) c = static_cast<char>(rng());
        CFile file;
        file.Open((workFolder + "/" + nameOf(i)).c_str(), FILE_MODE_WRITE);
        file.Write(contents.data(), bytes);
    }
    PackFileOpen(pack.c_str(), PACKFILE_MODE_BUILD, count);
    for (int i = 0; i < count; ++i) PackFileAddFile((workFolder + "/" + nameOf(i)).c_str());
    PackFileClose();
    return pack;
}

void BM_PackLookup(benchmark::State& state)
{
    const std::string pack = buildPack("lookup.pak", LOOKUP_NAMES, lookupName, 8);
    std::vector<std::string> names;
    for (int i = 0; i < LOOKUP_NAMES; ++i) names.push_back(workFolder + "/" + lookupName((i * 7919) % LOOKUP_NAMES));
    PackFileOpen(pack.c_str(), PACKFILE_MODE_READ, 0);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PackFileFind(names[i].c_str()));
        if (++i == names.size()) i = 0;
    }
    PackFileClose();
    state.SetItemsProcessed(state.iterations());
}

void readPack(benchmark::State& state, uint32_t mode, uint32_t piece)
{
    const std::string pack = buildPack("read.pak", READ_FILES, readName, READ_FILE_BYTES);
    std::vector<std::string> names;
    for (int i = 0; i < READ_FILES; ++i) names.push_back(workFolder + "/" + readName(i));
    std::vector<char> buffer(READ_FILE_BYTES);
    PackFileOpen(pack.c_str(), PACKFILE_MODE_READ, 0);
    PackFileSetSource(PACK_SOURCE_READ);
    for (auto _ : state) {
        for (const std::string& name : names) {
            CFile file;
            file.Open(name.c_str(), mode);
            for (uint32_t at = 0; at < READ_FILE_BYTES; at += piece) file.Read(buffer.data() + at, piece);
        }
    }
    PackFileSetSource(PACK_SOURCE_OFF);
    PackFileClose();
    state.SetBytesProcessed(state.iterations() * READ_FILES * static_cast<int64_t>(READ_FILE_BYTES));
}

void BM_PackReadWholeFiles(benchmark::State& state) { readPack(state, FILE_MODE_READ, READ_FILE_BYTES); }
void BM_PackReadBuffered4K(benchmark::State& state) { readPack(state, FILE_MODE_READ | FILE_MODE_BUFFERED, 4096); }

}  // namespace

BENCHMARK(BM_DeflateBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeflateZlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateZlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WrapperOverZlibRatio)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PackLookup);
BENCHMARK(BM_PackReadWholeFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackReadBuffered4K)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/veldrane-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    workFolder = pattern;
    std::filesystem::create_directories(workFolder + "/data/objects");
    std::filesystem::create_directories(workFolder + "/data/levels");
    setAssertReportHook(dropReport);
    PackFileInit(1);

    benchmark::Initialize(&argc, argv);
    if (!benchmark::ReportUnrecognizedArguments(argc, argv)) benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    PackFileShutdown();
    std::filesystem::remove_all(workFolder);
    return 0;
}
