// Lists through the element pool against std::list, pool blocks against malloc, and CFile::ReadLine
// against std::getline.
#include "../BenchMain.h"
#include "gamemanagement/GameMemoryManager.h"
#include "utility/LList.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <list>
#include <string>
#include <vector>

namespace {

void ListInsertRemove(benchmark::State& state)
{
    llistInitElementPool();
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        llist list;
        for (intptr_t i = 0; i < n; ++i) list.InsertAfter(reinterpret_cast<void*>(i));
        list.GotoHead();
        while (list.RemoveCurrent()) {
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
    llistFreeElementPool();
}
BENCHMARK(ListInsertRemove)->Arg(1000)->Arg(100000);

void StdListInsertRemove(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::list<void*> list;
        for (intptr_t i = 0; i < n; ++i) list.push_back(reinterpret_cast<void*>(i));
        while (!list.empty()) list.pop_front();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(StdListInsertRemove)->Arg(1000)->Arg(100000);

void PoolAllocateFree(benchmark::State& state)
{
    CGameMemoryManager pool;
    pool.requestBlock(0, 64);
    pool.initialise(1024, state.range(0) != 0);
    std::vector<void*> blocks(1024);
    for (auto _ : state) {
        for (void*& b : blocks) pool.allocate(0, 64, &b);
        for (void* b : blocks) pool.free(0, 64, b);
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(PoolAllocateFree)->Arg(0)->Arg(1);

void MallocFree(benchmark::State& state)
{
    std::vector<void*> blocks(1024);
    for (auto _ : state) {
        for (void*& b : blocks) {
            b = malloc(64);
            benchmark::DoNotOptimize(b);
        }
        for (void* b : blocks) free(b);
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(MallocFree);

// A 20 MB text file of lines of varying length, made once in the program's folder.
const char* textFile()
{
    static const bool made = [] {
        std::ofstream out("lines.txt", std::ios::binary);
        std::string line;
        size_t written = 0;
        for (int i = 0; written < 20u << 20; ++i) {
            line.assign(10 + (i * 37) % 90, static_cast<char>('a' + i % 26));
            line += '\n';
            out << line;
            written += line.size();
        }
        return static_cast<bool>(out);
    }();
    return made ? "lines.txt" : nullptr;
}

void FileReadLine(benchmark::State& state)
{
    const char* name = textFile();
    if (!name) return state.SkipWithError("cannot write the file");
    char line[256];
    for (auto _ : state) {
        CFile file;
        if (!file.Open(name, FILE_MODE_READ | FILE_MODE_BUFFERED)) return state.SkipWithError("cannot open the file");
        size_t lines = 0;
        while (file.ReadLine(line, sizeof line)) ++lines;
        benchmark::DoNotOptimize(lines);
        state.SetBytesProcessed(state.bytes_processed() + file.GetSize());
    }
}
BENCHMARK(FileReadLine)->Unit(benchmark::kMillisecond);

void StdGetline(benchmark::State& state)
{
    const char* name = textFile();
    if (!name) return state.SkipWithError("cannot write the file");
    std::string line;
    for (auto _ : state) {
        std::ifstream in(name, std::ios::binary);
        size_t lines = 0, bytes = 0;
        while (std::getline(in, line)) {
            ++lines;
            bytes += line.size() + 1;
        }
        benchmark::DoNotOptimize(lines);
        state.SetBytesProcessed(state.bytes_processed() + static_cast<int64_t>(bytes));
    }
}
BENCHMARK(StdGetline)->Unit(benchmark::kMillisecond);
BENCH_PAIR(ListInsertRemove, StdListInsertRemove);
BENCH_PAIR(PoolAllocateFree, MallocFree);
BENCH_PAIR(FileReadLine, StdGetline);

}  // namespace

VELDRANE_BENCH_MAIN("foundation")
