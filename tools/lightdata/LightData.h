// The sample data of the light maps, the vehicle shadows, the volume fog and the cloud layer: their
// textures, materials and lists, each file as bytes (the puff model itself is the model tool's). Integer arithmetic only, so that every build makes the
// same bytes (a test compares data/ with these).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lightdata {

// A true-colour TGA, rows top first; pixel(x, y) gives 0xAARRGGBB. 32 bits, or 24 without alpha.
template <typename Pixel>
std::string tga(int width, int height, int bits, Pixel pixel)
{
    std::string out(18, '\0');
    out[2] = 2;
    out[12] = static_cast<char>(width & 0xFF);
    out[13] = static_cast<char>(width >> 8);
    out[14] = static_cast<char>(height & 0xFF);
    out[15] = static_cast<char>(height >> 8);
    out[16] = static_cast<char>(bits);
    out[17] = static_cast<char>(bits == 32 ? 0x28 : 0x20);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = pixel(x, y);
            for (int k = 0; k < bits / 8; ++k) out.push_back(static_cast<char>((argb >> (8 * k)) & 0xFF));
        }
    return out;
}

inline uint32_t grey(uint32_t v, uint32_t alpha = 255) { return alpha << 24 | v << 16 | v << 8 | v; }

// A round glow, brightest in the middle and black along the edge (the patch's surroundings read
// the edge texels). soft: falls off from the middle; else a bright disc with a short rim.
inline std::string glow(bool soft)
{
    const int edge = 64;
    return tga(edge, edge, 32, [=](int x, int y) {
        if (x == 0 || y == 0 || x == edge - 1 || y == edge - 1) return grey(0);
        const int dx = 2 * x - (edge - 1), dy = 2 * y - (edge - 1);
        const int r2 = dx * dx + dy * dy, outer = 60 * 60, inner = 40 * 40;
        if (r2 >= outer) return grey(0);
        if (soft) {
            const int64_t v = outer - r2;
            return grey(static_cast<uint32_t>(v * v * 255 / (int64_t(outer) * outer)));
        }
        if (r2 <= inner) return grey(255);
        return grey(static_cast<uint32_t>((outer - r2) * 255 / (outer - inner)));
    });
}

// A light-map material: the map's texture tinted by the texture factor, added to what is there.
inline std::string lightMapMaterial(const std::string& what)
{
    return "// " + what +
           " - a light map: the texture tinted by the light's colour (the texture factor) and added\n"
           "// to the ground under it. Light maps need FVF XYZ|TEX1.\n"
           "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 1\nfvf XYZ|TEX1\nlighting FALSE\n"
           "textureformat 0 8888 565\nusemipmaps 0 FALSE\n[pass]\nstages 1\nsettexture 0 0\n"
           "setrenderstate zenable true\nsetrenderstate zwriteenable false\nsetrenderstate cullmode none\n"
           "setrenderstate alphablendenable true\nsetrenderstate srcblend one\nsetrenderstate destblend one\n"
           "settexturestagestate 0 colorop modulate\nsettexturestagestate 0 colorarg1 texture\n"
           "settexturestagestate 0 colorarg2 tfactor\nsettexturestagestate 0 alphaop selectarg1\n"
           "settexturestagestate 0 alphaarg1 texture\nsettexturestagestate 0 addressu clamp\n"
           "settexturestagestate 0 addressv clamp\nsettexturestagestate 0 mipfilter none\n[end]\n[end]\n";
}

inline std::string lightMapList()
{
    return "; lightmaps.txt - the light maps: the count, then a texture and a material a line, both in\n"
           "; data\\lights. Map 0 is the spot lights' map, map 1 the point lights'.\n"
           "2\n"
           "spot.tga spotmap.mtl\n"
           "point.tga pointmap.mtl\n";
}

// The shadow: the texture's alpha darkens the ground under it.
inline std::string shadowMaterial()
{
    return "// shadow.mtl - the vehicle's shadow: black where the shadow texture is, by its alpha. The\n"
           "// shadow meshes need FVF XYZ|TEX1.\n"
           "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 1\nfvf XYZ|TEX1\nlighting FALSE\n"
           "textureformat 0 8888 4444\nusemipmaps 0 FALSE\n[pass]\nstages 1\nsettexture 0 0\n"
           "setrenderstate zenable true\nsetrenderstate zwriteenable false\nsetrenderstate cullmode none\n"
           "setrenderstate alphablendenable true\nsetrenderstate srcblend srcalpha\n"
           "setrenderstate destblend invsrcalpha\nsettexturestagestate 0 colorop selectarg1\n"
           "settexturestagestate 0 colorarg1 texture\nsettexturestagestate 0 alphaop selectarg1\n"
           "settexturestagestate 0 alphaarg1 texture\nsettexturestagestate 0 addressu clamp\n"
           "settexturestagestate 0 addressv clamp\nsettexturestagestate 0 mipfilter none\n[end]\n[end]\n";
}

// The jet seen from above, nose towards +u: fuselage, swept wings and tail planes.
inline std::string planeShadow()
{
    return tga(64, 64, 32, [](int x, int y) {
        const int across = y < 32 ? 31 - y : y - 32;  // 0 on the middle line
        const bool fuselage = across < 3 && x >= 4 && x <= 60;
        const bool wing = x >= 18 && x <= 42 && across <= (42 - x) * 26 / 24 + 2;
        const bool tail = x >= 5 && x <= 13 && across <= (13 - x) + 6;
        return (fuselage || wing || tail) && x > 0 && y > 0 && x < 63 && y < 63 ? 0x96000000u : 0u;
    });
}

// The walker's footprint: a soft round blob.
inline std::string mechShadow()
{
    return tga(64, 64, 32, [](int x, int y) {
        const int dx = 2 * x - 63, dy = 2 * y - 63, r2 = dx * dx + dy * dy, outer = 58 * 58;
        if (r2 >= outer) return 0u;
        return static_cast<uint32_t>(160 * (outer - r2) / outer) << 24;
    });
}

// The cloud layer's height pattern: value noise on a 16 x 16 lattice that wraps, smoothly blended.
inline std::string cloudLevel()
{
    const auto lattice = [](int i, int j) {
        uint32_t h = static_cast<uint32_t>((i & 15) * 73856093u) ^ static_cast<uint32_t>((j & 15) * 19349663u);
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        return static_cast<int>(h & 0xFF);
    };
    return tga(256, 256, 24, [&](int x, int y) {
        const int i = x / 16, j = y / 16, u = x % 16, v = y % 16;
        const int top = lattice(i, j) * (16 - u) + lattice(i + 1, j) * u;
        const int bottom = lattice(i, j + 1) * (16 - u) + lattice(i + 1, j + 1) * u;
        return grey(static_cast<uint32_t>((top * (16 - v) + bottom * v) / 256));
    });
}

// The puffs: white, faded by the texture factor's alpha that the volume fog sets (material id
// "CloudPart").
inline std::string puffMaterial()
{
    return "// puff.mtl - a fog or cloud puff: its vertex colour, faded by the alpha of the texture factor\n"
           "// that the volume fog sets for each puff. Puffs need FVF XYZ|DIFFUSE.\n"
           "shaders 1\nmaterialid CloudPart\n[shader]\npasses 1\nsimultaneoustextures 0\nfvf XYZ|DIFFUSE\n"
           "lighting FALSE\n[pass]\nstages 1\nstageid 0 Scroller\nsettexture 0 NONE\n"
           "setrenderstate texturefactor 0xff000000\nsetrenderstate zenable true\n"
           "setrenderstate zwriteenable false\nsetrenderstate cullmode none\n"
           "setrenderstate alphablendenable true\nsetrenderstate srcblend srcalpha\n"
           "setrenderstate destblend invsrcalpha\nsettexturestagestate 0 colorop selectarg1\n"
           "settexturestagestate 0 colorarg1 diffuse\nsettexturestagestate 0 alphaop selectarg1\n"
           "settexturestagestate 0 alphaarg1 tfactor\n[end]\n[end]\n";
}

// One kind of bank, five puffs each, forty banks over the world.
inline std::string volumeModels()
{
    return "nummodels 1\n"
           "[model]\n"
           "name data\\models\\volumefog\\puff.rsm\n"
           "vertices 5\n"
           "instances 40\n"
           "[data]\n"
           "pos 0 0 0\n"
           "pos 220 40 30\n"
           "pos -180 120 -20\n"
           "pos 60 -200 40\n"
           "pos -90 -60 90\n"
           "[end]\n"
           "[instances]\n"
           "pos 38400 38400 900\n"
           "random 39 0 0 800 76800 76800 1200\n"
           "[end]\n"
           "[end]\n";
}

// Every file, as a path under data/ and its bytes.
inline std::vector<std::pair<std::string, std::string>> files()
{
    return {
        {"lights/lightmaps.txt", lightMapList()},
        {"lights/spot.tga", glow(false)},
        {"lights/point.tga", glow(true)},
        {"lights/spotmap.mtl", lightMapMaterial("spotmap.mtl")},
        {"lights/pointmap.mtl", lightMapMaterial("pointmap.mtl")},
        {"models/shadow/shadow.mtl", shadowMaterial()},
        {"models/shadow/plane shadow.tga", planeShadow()},
        {"models/shadow/MechShad.tga", mechShadow()},
        {"models/volumefog/cloudlevel.tga", cloudLevel()},
        {"models/volumefog/puff.mtl", puffMaterial()},
        {"models/volumefog/volumemodels.txt", volumeModels()},
    };
}

}  // namespace lightdata
