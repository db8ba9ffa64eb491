// Feeds random bytes to the reader of data\4CC.txt (FUZZ_FOURCC) or of data\VBIBConfig.txt.
#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

void quiet(const char*, const char*, const char*, int) {}

// A folder of its own, removed at exit.
struct Folder {
    std::filesystem::path path;
    Folder()
    {
        char pattern[] = "/tmp/veldrane-fuzz-XXXXXX";
        path = mkdtemp(pattern);
        std::filesystem::create_directories(path / "data");
        std::filesystem::current_path(path);
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Folder folder;
    setAssertReportHook(quiet);
#ifdef FUZZ_FOURCC
    const char* name = "data/4CC.txt";
#else
    const char* name = "data/VBIBConfig.txt";
#endif
    FILE* f = std::fopen(name, "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
#ifdef FUZZ_FOURCC
    DXSetup.Read4CC();
    if (DXSetup.Total4CC < 0 || DXSetup.Total4CC > MAX_4CC) std::abort();
#else
    D3DCore.ReadVBIBConfig();
    if (D3DCore.DynamicIB9Size == 0) std::abort();
#endif
    return 0;
}
