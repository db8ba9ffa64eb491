// loadBlocks on a generated 5 MB block file of typical content definitions, in MB/s, beside the
// same file read whole with fread and parsed by a plain recursive reader of the same grammar
// (names, braces, value lines to the line end, "//" comments) into a tree of std::string and
// std::vector.
#include "../BenchMain.h"
#include "utility/BlockFile.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

const size_t TARGET_SIZE = 5 * 1024 * 1024;
const char* const FILE_NAME = "objects.txt";

// Object definitions with nested parts, comments and a mix of value kinds.
std::string makeBlockFile()
{
    std::string text;
    char line[256];
    for (int object = 0; text.size() < TARGET_SIZE; ++object) {
        snprintf(line, sizeof line, "// object %d\r\nObject%d\r\n{\r\n", object, object);
        text += line;
        snprintf(line, sizeof line, "\tname\t\tobject_%d\r\n\tposition\t%d.5, %d.25, -%d.0\r\n", object, object,
                 object * 2, object % 100);
        text += line;
        text += "\trotation\t10, 20, 30 // degrees\r\n\tflags\t0x1F\r\n";
        for (int part = 0; part < 4; ++part) {
            snprintf(line, sizeof line,
                     "\tPart%d\r\n\t{\r\n\t\tmodel\tdata\\models\\part%d.mdl\r\n\t\tscale\t1.25\r\n"
                     "\t\tcolour\t0.5, 0.25, 1.0, 1.0\r\n\t}\r\n",
                     part, part);
            text += line;
        }
        text += "}\r\n";
    }
    return text;
}

// The file, written once into the program's folder; its size, or 0 when it cannot be written.
size_t blockFile()
{
    static size_t size = [] {
        const std::string text = makeBlockFile();
        FILE* f = fopen(FILE_NAME, "wb");
        if (!f) return size_t(0);
        const bool written = fwrite(text.data(), 1, text.size(), f) == text.size();
        return fclose(f) == 0 && written ? text.size() : size_t(0);
    }();
    return size;
}

void BM_LoadBlocks(benchmark::State& state)
{
    const size_t size = blockFile();
    if (!size) return state.SkipWithError("cannot write the file");
    for (auto _ : state) {
        blockList list;
        if (!loadBlocks(FILE_NAME, list, 64) || list.count == 0) return state.SkipWithError("load failed");
        benchmark::DoNotOptimize(list.pHead);
        deleteBlockList(list);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_LoadBlocks)->Unit(benchmark::kMillisecond);

struct PlainBlock {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::unique_ptr<PlainBlock>> blocks;
};

class PlainReader {
public:
    explicit PlainReader(const char* text) : p(text) {}

    bool block(PlainBlock& out)
    {
        skipWhite();
        const char* name = p;
        while (isName(*p)) ++p;
        out.name.assign(name, p);
        skipWhite();
        if (*p++ != '{') return false;
        for (;;) {
            skipWhite();
            if (*p == '}') {
                ++p;
                return true;
            }
            if (!*p) return false;
            const char* entry = p;
            while (isName(*p)) ++p;
            const char* nameEnd = p;
            skipWhite();
            if (*p == '{') {
                p = entry;
                auto child = std::make_unique<PlainBlock>();
                if (!block(*child)) return false;
                out.blocks.push_back(std::move(child));
                continue;
            }
            // A value line: blanks, then the rest of the line.
            p = nameEnd;
            while (*p == ' ' || *p == '\t') ++p;
            const char* value = p;
            while (*p && *p != '\r' && *p != '\n') ++p;
            out.values.emplace_back(std::string(entry, nameEnd), std::string(value, p));
        }
    }

    bool atEnd()
    {
        skipWhite();
        return *p == 0;
    }

private:
    static bool isName(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#';
    }
    void skipWhite()
    {
        for (;;) {
            if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
                ++p;
            } else if (p[0] == '/' && p[1] == '/') {
                while (*p && *p != '\n') ++p;
            } else {
                return;
            }
        }
    }

    const char* p;
};

void BM_PlainReadAndParse(benchmark::State& state)
{
    const size_t size = blockFile();
    if (!size) return state.SkipWithError("cannot write the file");
    std::string text;
    for (auto _ : state) {
        FILE* f = fopen(FILE_NAME, "rb");
        if (!f) return state.SkipWithError("cannot open the file");
        text.resize(size);
        const size_t read = fread(text.data(), 1, size, f);
        fclose(f);
        if (read != size) return state.SkipWithError("short read");
        std::vector<PlainBlock> blocks;
        PlainReader reader(text.c_str());
        while (!reader.atEnd()) {
            blocks.emplace_back();
            if (!reader.block(blocks.back())) return state.SkipWithError("parse failed");
        }
        benchmark::DoNotOptimize(blocks.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}
BENCHMARK(BM_PlainReadAndParse)->Unit(benchmark::kMillisecond);
BENCH_PAIR(BM_LoadBlocks, BM_PlainReadAndParse);

}  // namespace

VELDRANE_BENCH_MAIN("blockfile")
