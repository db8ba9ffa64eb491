// Writes the sample data of the particle effects into a data folder.
//
//   particledata <folder>      (normally data)
#include "ParticleData.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: particledata <folder>\n");
        return 2;
    }
    for (const auto& [name, bytes] : particledata::files()) {
        const std::filesystem::path path = std::filesystem::path(argv[1]) / name;
        std::filesystem::create_directories(path.parent_path());
        FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (!f || std::fclose(f) != 0 || !ok) {
            std::fprintf(stderr, "particledata: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
