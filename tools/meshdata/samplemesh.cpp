// Writes the sample data's mesh: data/models/demo.msh, the mesh section of a lit, textured quad
// drawn with demo.mtl, and its texture data/models/demo.tga, a 64 x 64 checkerboard of a warm and
// a cool colour framed in white.
//
//   samplemesh <folder>      (normally data/models)
#include "MeshWriter.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool writeFile(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// A 32-bit TGA, rows top first (descriptor bit 5), blue green red alpha.
std::string checkerTga()
{
    const int edge = 64;
    std::string out(18, '\0');
    out[2] = 2;
    out[12] = static_cast<char>(edge);
    out[14] = static_cast<char>(edge);
    out[16] = 32;
    out[17] = 0x28;
    for (int y = 0; y < edge; ++y)
        for (int x = 0; x < edge; ++x) {
            const bool frame = x < 2 || y < 2 || x >= edge - 2 || y >= edge - 2;
            const bool warm = ((x / 8) + (y / 8)) % 2 == 0;
            const uint8_t bgra[4] = {static_cast<uint8_t>(frame ? 255 : warm ? 0x30 : 0xC0),
                                     static_cast<uint8_t>(frame ? 255 : warm ? 0x90 : 0x70),
                                     static_cast<uint8_t>(frame ? 255 : warm ? 0xE0 : 0x30), 255};
            out.append(reinterpret_cast<const char*>(bgra), 4);
        }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: samplemesh <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string mesh = meshwriter::section({meshwriter::demoQuad("demo.mtl", "demo.tga")}, 106);
    if (!writeFile(folder + "/demo.msh", mesh) || !writeFile(folder + "/demo.tga", checkerTga())) {
        std::fprintf(stderr, "samplemesh: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
