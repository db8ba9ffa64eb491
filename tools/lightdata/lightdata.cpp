// Writes the sample data of the light maps, the vehicle shadows, the volume fog and the cloud layer
// into a data folder.
//
//   lightdata <folder>      (normally data)
#include "LightData.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lightdata <folder>\n");
        return 2;
    }
    for (const auto& [name, bytes] : lightdata::files()) {
        const std::filesystem::path path = std::filesystem::path(argv[1]) / name;
        std::filesystem::create_directories(path.parent_path());
        FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (!f || std::fclose(f) != 0 || !ok) {
            std::fprintf(stderr, "lightdata: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
