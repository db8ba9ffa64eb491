// loadBlocks on a generated 5 MB block file of typical content definitions, in MB/s.
#include "utility/BlockFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const size_t TARGET_SIZE = 5 * 1024 * 1024;

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

class BlockFileFixture : public benchmark::Fixture {
public:
    void SetUp(const benchmark::State&) override
    {
        if (!m_path.empty()) return;
        char pattern[] = "/tmp/veldrane-bench-XXXXXX";
        if (!mkdtemp(pattern)) abort();
        m_folder = pattern;
        m_path = m_folder + "/objects.txt";
        // The library never destroys its fixtures: the folder goes at exit.
        atexit([] {
            unlink(m_path.c_str());
            rmdir(m_folder.c_str());
        });
        const std::string text = makeBlockFile();
        FILE* f = fopen(m_path.c_str(), "wb");
        if (!f) abort();
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        m_size = text.size();
    }

    static inline std::string m_folder;
    static inline std::string m_path;
    static inline size_t m_size = 0;
};

BENCHMARK_DEFINE_F(BlockFileFixture, LoadBlocks)(benchmark::State& state)
{
    for (auto _ : state) {
        blockList list;
        if (!loadBlocks(m_path.c_str(), list, 64) || list.count == 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(list.pHead);
        deleteBlockList(list);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(m_size));
}
BENCHMARK_REGISTER_F(BlockFileFixture, LoadBlocks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
