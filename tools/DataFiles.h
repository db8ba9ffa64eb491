// The whole program of a sample-data tool: writes each (name, bytes) pair under the folder it is
// given, making the folders on the way.
//
//   <tool> <data folder>
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace datafiles {

using Files = std::vector<std::pair<std::string, std::string>>;

inline int writeAll(const char* tool, int argc, char** argv, const Files& files)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <data folder>\n", tool);
        return 2;
    }
    for (const auto& [name, bytes] : files) {
        const std::filesystem::path path = std::filesystem::path(argv[1]) / name;
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
        FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (!f || std::fclose(f) != 0 || !ok) {
            std::fprintf(stderr, "%s: cannot write %s\n", tool, path.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace datafiles
