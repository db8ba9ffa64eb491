// Shared by the archive fuzz targets: reports are dropped (the run log would end the process at its
// fifth message) and inputs are written to a private temporary folder.
#pragma once

#include "utility/Assert.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzarchives {

inline void dropReport(const char*, const char*, const char*, int) {}

inline const std::string& folder()
{
    static std::string path = [] {
        char pattern[] = "/tmp/veldrane-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) abort();
        return std::string(made);
    }();
    return path;
}

inline void setUp() { setAssertReportHook(dropReport); }

// Writes the input to a file of the folder and gives its name.
inline std::string writeInput(const char* name, const uint8_t* data, size_t size)
{
    std::string path = folder() + "/" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) abort();
    if (size) fwrite(data, 1, size, file);
    fclose(file);
    return path;
}

}  // namespace fuzzarchives
