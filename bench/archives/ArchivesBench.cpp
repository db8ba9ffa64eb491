// Throughput of the archive layer: the compressed-buffer wrapper against zlib called directly on
// the same 16 MB buffer; name look-ups in a pack of 10,000 names against a std::unordered_map of
// the names (compared without regard to case, as the pack's CRC folds them); and reading a 50 MB
// pack through CFile against fread of the same entries at their offsets, unscrambled by hand.
#include "../BenchMain.h"
#include "../FoldedNames.h"
#include "utility/Assert.h"
#include "winfile/Compress.h"
#include "winfile/File.h"
#include "winfile/PackFile.h"

#include <zlib.h>

#include <algorithm>
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
const uint8_t PACK_KEY = 0xA7;  // the key packs are scrambled with

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

// Builds a pack once per run in the program's folder; later calls only give its name. Empty when
// it cannot be built.
std::string buildPack(const char* pack, int count, std::string (*nameOf)(int), uint32_t bytes)
{
    if (std::filesystem::exists(pack)) return pack;
    std::filesystem::create_directories("data/objects");
    std::filesystem::create_directories("data/levels");
    std::mt19937 rng(2);
    std::vector<char> contents(bytes);
    for (int i = 0; i < count; ++i) {
        for (char& c : contents) c = static_cast<char>(rng());
        CFile file;
        if (!file.Open(nameOf(i).c_str(), FILE_MODE_WRITE) || !file.Write(contents.data(), bytes)) return {};
    }
    if (!PackFileOpen(pack, PACKFILE_MODE_BUILD, count)) return {};
    for (int i = 0; i < count; ++i) PackFileAddFile(nameOf(i).c_str());
    PackFileClose();
    return std::filesystem::exists(pack) ? pack : std::string();
}

// The look-ups' names, in a shuffled order.
std::vector<std::string> lookupQueries()
{
    std::vector<std::string> names;
    for (int i = 0; i < LOOKUP_NAMES; ++i) names.push_back(lookupName((i * 7919) % LOOKUP_NAMES));
    return names;
}

void BM_PackLookup(benchmark::State& state)
{
    const std::string pack = buildPack("lookup.pak", LOOKUP_NAMES, lookupName, 8);
    if (pack.empty() || !PackFileOpen(pack.c_str(), PACKFILE_MODE_READ, 0)) return state.SkipWithError("no pack");
    const std::vector<std::string> names = lookupQueries();
    size_t i = 0, found = 0;
    for (auto _ : state) {
        found += PackFileFind(names[i].c_str()) >= 0;
        if (++i == names.size()) i = 0;
    }
    PackFileClose();
    if (found != static_cast<size_t>(state.iterations())) state.SkipWithError("a name was not found");
    state.SetItemsProcessed(state.iterations());
}

void BM_UnorderedMapLookup(benchmark::State& state)
{
    bench::FoldedMap<int> entries;
    for (int i = 0; i < LOOKUP_NAMES; ++i) entries.emplace(lookupName(i), i);
    const std::vector<std::string> names = lookupQueries();
    size_t i = 0, found = 0;
    for (auto _ : state) {
        found += entries.find(std::string_view(names[i].c_str())) != entries.end();
        if (++i == names.size()) i = 0;
    }
    if (found != static_cast<size_t>(state.iterations())) state.SkipWithError("a name was not found");
    state.SetItemsProcessed(state.iterations());
}

void readPack(benchmark::State& state, uint32_t mode, uint32_t piece)
{
    const std::string pack = buildPack("read.pak", READ_FILES, readName, READ_FILE_BYTES);
    if (pack.empty() || !PackFileOpen(pack.c_str(), PACKFILE_MODE_READ, 0)) return state.SkipWithError("no pack");
    std::vector<char> buffer(READ_FILE_BYTES);
    PackFileSetSource(PACK_SOURCE_READ);
    for (auto _ : state) {
        for (int i = 0; i < READ_FILES; ++i) {
            CFile file;
            if (!file.Open(readName(i).c_str(), mode)) return state.SkipWithError("not in the pack");
            for (uint32_t at = 0; at < READ_FILE_BYTES; at += piece) file.Read(buffer.data() + at, piece);
        }
    }
    PackFileSetSource(PACK_SOURCE_OFF);
    PackFileClose();
    state.SetBytesProcessed(state.iterations() * READ_FILES * static_cast<int64_t>(READ_FILE_BYTES));
}

// The same entries read with fread at their offsets (the directory's entries in recording order)
// and unscrambled, whole or in pieces.
void freadPack(benchmark::State& state, uint32_t piece)
{
    const std::string pack = buildPack("read.pak", READ_FILES, readName, READ_FILE_BYTES);
    FILE* f = pack.empty() ? nullptr : fopen(pack.c_str(), "rb");
    if (!f) return state.SkipWithError("no pack");
    uint32_t count = 0;
    std::vector<packentry> entries;
    if (fread(&count, 4, 1, f) == 1 && count == READ_FILES) {
        entries.resize(count);
        if (fread(entries.data(), sizeof(packentry), count, f) != count) entries.clear();
    }
    if (entries.empty()) {
        fclose(f);
        return state.SkipWithError("bad directory");
    }
    std::sort(entries.begin(), entries.end(), [](const packentry& a, const packentry& b) { return a.Offset < b.Offset; });
    std::vector<uint8_t> buffer(READ_FILE_BYTES);
    for (auto _ : state) {
        for (const packentry& entry : entries) {
            fseek(f, entry.Offset, SEEK_SET);
            for (uint32_t at = 0; at < entry.Size; at += piece) {
                const size_t n = fread(buffer.data() + at, 1, std::min(piece, entry.Size - at), f);
                for (size_t k = 0; k < n; ++k) buffer[at + k] ^= PACK_KEY;
            }
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    fclose(f);
    state.SetBytesProcessed(state.iterations() * READ_FILES * static_cast<int64_t>(READ_FILE_BYTES));
}

void BM_PackReadWholeFiles(benchmark::State& state) { readPack(state, FILE_MODE_READ, READ_FILE_BYTES); }
void BM_PackReadBuffered4K(benchmark::State& state) { readPack(state, FILE_MODE_READ | FILE_MODE_BUFFERED, 4096); }
void BM_FreadWholeEntries(benchmark::State& state) { freadPack(state, READ_FILE_BYTES); }
void BM_FreadEntries4K(benchmark::State& state) { freadPack(state, 4096); }

}  // namespace

BENCHMARK(BM_DeflateBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeflateZlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflateZlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackLookup);
BENCHMARK(BM_UnorderedMapLookup);
BENCHMARK(BM_PackReadWholeFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreadWholeEntries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackReadBuffered4K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreadEntries4K)->Unit(benchmark::kMillisecond);
BENCH_PAIR(BM_DeflateBuffer, BM_DeflateZlib);
BENCH_PAIR(BM_InflateBuffer, BM_InflateZlib);
BENCH_PAIR(BM_PackLookup, BM_UnorderedMapLookup);
BENCH_PAIR(BM_PackReadWholeFiles, BM_FreadWholeEntries);
BENCH_PAIR(BM_PackReadBuffered4K, BM_FreadEntries4K);

// The pack layer and its reports, once for the program.
static const bool packLayer = [] {
    setAssertReportHook(dropReport);
    PackFileInit(1);
    return true;
}();

VELDRANE_BENCH_MAIN("archives")
