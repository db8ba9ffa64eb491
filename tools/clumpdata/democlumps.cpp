// Writes the sample data's clumps into a data folder (DemoClumps.h says which).
//
//   democlumps <data folder>
#include "DemoClumps.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: democlumps <data folder>\n");
        return 2;
    }
    for (const auto& [name, bytes] : democlumps::files()) {
        const std::filesystem::path path = std::filesystem::path(argv[1]) / name;
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
        FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (!f || std::fclose(f) != 0 || !ok) {
            std::fprintf(stderr, "democlumps: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
