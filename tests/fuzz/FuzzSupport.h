// Shared set-up of the fuzz targets: reports are dropped (the run log would end the process at its
// fifth message) and each input is written to a file in a private folder.
#pragma once

#include "utility/Assert.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzz {

inline void dropReport(const char*, const char*, const char*, int) {}

inline std::string& folder()
{
    static std::string path;
    return path;
}

// Runs when libFuzzer ends the process normally.
inline void removeFolder()
{
    std::error_code ignored;
    if (!folder().empty()) std::filesystem::remove_all(folder(), ignored);
}

// Once per process: a fresh working folder and no run-log output.
inline void setUp()
{
    static bool done = false;
    if (done) return;
    done = true;
    setAssertReportHook(dropReport);
    char pattern[] = "/tmp/veldrane-fuzz-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) abort();
    folder() = pattern;
    atexit(removeFolder);
}

inline void writeInput(const char* name, const void* data, size_t size)
{
    FILE* f = fopen(name, "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
}

}  // namespace fuzz
