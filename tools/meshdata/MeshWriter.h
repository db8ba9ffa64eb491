// Writes mesh sections of model files (versions 100 to 106) for tests, fuzz seeds, benchmarks and
// the sample data: describe the blocks and primitives, get the bytes. Every count and length is
// derived from the data unless a field overrides it, so a test can also write a wrong one.
//
//   meshwriter::Block b;
//   b.Material = "demo.mtl";  b.Textures = {"demo.tga"};
//   meshwriter::Primitive p;  p.FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
//   for (auto& v : corners) p.add(v);  p.IndexList = {0, 2, 1, 2, 3, 1};
//   b.Primitives.push_back(p);
//   std::string bytes = meshwriter::section({b}, 106);
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace meshwriter {

// Primitive kinds.
const uint32_t KIND_LIST = 1, KIND_STRIP = 2, KIND_FAN = 3, KIND_LINES = 4;
// FVF bits as files write them.
const uint32_t XYZ = 0x002, NORMAL = 0x010, DIFFUSE = 0x040, SPECULAR = 0x080;
inline uint32_t TEX(uint32_t sets) { return sets << 8; }

// One vertex with every component a file can hold; what a format leaves out is not written.
struct Vertex {
    float Position[3] = {};
    float Normal[3] = {};
    uint32_t Diffuse = 0xFFFFFFFF;     // FVF vertices
    uint32_t Specular = 0;
    float Colour[4] = {1, 1, 1, 1};    // generic vertices: alpha, red, green, blue
    float UV[8][2] = {};
};

inline void put(std::string& out, const void* data, size_t bytes) { out.append(static_cast<const char*>(data), bytes); }
inline void putWord(std::string& out, uint32_t w) { put(out, &w, 4); }
inline void putFloat(std::string& out, float f) { put(out, &f, 4); }
// A name with its terminating zero, the length counting it.
inline void putName(std::string& out, const std::string& name)
{
    putWord(out, static_cast<uint32_t>(name.size() + 1));
    out.append(name);
    out.push_back('\0');
}

// Bytes of a vertex: 108 generic bytes for FVF 0, else position, normal, diffuse, specular and two
// floats per texture set, as the format says.
inline std::string vertexBytes(const Vertex& v, uint32_t fvf)
{
    std::string out;
    put(out, v.Position, 12);
    if (fvf == 0) {
        put(out, v.Colour, 16);
        put(out, v.UV, 64);
        put(out, v.Normal, 12);
        putFloat(out, 0);
        return out;
    }
    if (fvf & NORMAL) put(out, v.Normal, 12);
    if (fvf & DIFFUSE) putWord(out, v.Diffuse);
    if (fvf & SPECULAR) putWord(out, v.Specular);
    for (uint32_t i = 0; i < ((fvf >> 8) & 15) && i < 8; ++i) put(out, v.UV[i], 8);
    return out;
}

struct Primitive {
    uint32_t Kind = 1;         // 1 triangle list, 2 strip, 3 fan, 4 line list
    uint32_t UVSets = 1;       // before 106
    uint32_t Degenerates = 0;  // strips
    uint32_t FVF = 0;          // 106: 0 for generic vertices; before 106 always generic
    uint32_t IndexSize = 2;    // 106; before 106 always 4
    std::string VertexData;    // as vertexBytes writes them
    std::vector<uint32_t> IndexList;
    // Overrides: a non-zero value is written instead of the derived one.
    uint32_t Vertices = 0, Indices = 0, VertexSize = 0;

    uint32_t vertexSize(uint32_t version) const
    {
        if (VertexSize) return VertexSize;
        return version < 106 || FVF == 0 ? 108 : static_cast<uint32_t>(vertexBytes(Vertex(), FVF).size());
    }
    void add(const Vertex& v, uint32_t version = 106) { VertexData += vertexBytes(v, version < 106 ? 0 : FVF); }
};

struct Block {
    std::string Material;
    uint32_t Word0 = 0;
    float ColourA[3] = {1, 1, 1}, ColourB[3] = {1, 1, 1};
    uint32_t Words[3] = {}, Words106[3] = {}, Word = 0;
    std::vector<std::string> Textures;
    std::vector<Primitive> Primitives;
    int64_t NumPrimitives = -1;  // 106: -1 writes the count of Primitives
};

// The section, from the block count on; the model header is the models' own.
inline std::string section(const std::vector<Block>& blocks, uint32_t version)
{
    std::string out;
    putWord(out, static_cast<uint32_t>(blocks.size()));
    for (const Block& b : blocks) {
        putName(out, b.Material);
        putWord(out, b.Word0);
        put(out, b.ColourA, 12);
        put(out, b.ColourB, 12);
        put(out, b.Words, 12);
        if (version >= 106) put(out, b.Words106, 12);
        putWord(out, b.Word);
        putWord(out, static_cast<uint32_t>(b.Textures.size()));
        for (const std::string& t : b.Textures) putName(out, t);
        if (version >= 106)
            putWord(out, b.NumPrimitives < 0 ? static_cast<uint32_t>(b.Primitives.size())
                                             : static_cast<uint32_t>(b.NumPrimitives));
        for (const Primitive& p : b.Primitives) {
            if (version < 106) putWord(out, p.UVSets);
            const uint32_t size = p.vertexSize(version);
            putWord(out, p.Kind);
            putWord(out, p.Vertices ? p.Vertices : static_cast<uint32_t>(p.VertexData.size() / (size ? size : 1)));
            putWord(out, p.Indices ? p.Indices : static_cast<uint32_t>(p.IndexList.size()));
            if (p.Kind == 2) putWord(out, p.Degenerates);
            if (version >= 106) {
                putWord(out, size);
                putWord(out, p.FVF);
            }
            out += p.VertexData;
            const uint32_t indexSize = version >= 106 ? p.IndexSize : 4;
            if (version >= 106) putWord(out, indexSize);
            for (uint32_t i : p.IndexList) put(out, &i, indexSize == 2 ? 2 : 4);
        }
    }
    return out;
}

// A square of side 2 around the origin facing -z (normals -z), wound clockwise for CCW culling,
// texture set 0 spanning the texture; generic vertices before 106.
inline Primitive quad(uint32_t fvf, uint32_t version = 106, uint32_t diffuse = 0xFFFFFFFF)
{
    Primitive p;
    p.FVF = version < 106 ? 0 : fvf;
    p.IndexSize = version < 106 ? 4 : 2;
    const float corners[4][4] = {{-1, -1, 0, 1}, {1, -1, 1, 1}, {-1, 1, 0, 0}, {1, 1, 1, 0}};
    for (const auto& c : corners) {
        Vertex v;
        v.Position[0] = c[0];
        v.Position[1] = c[1];
        v.Normal[2] = -1;
        v.Diffuse = diffuse;
        v.UV[0][0] = c[2];
        v.UV[0][1] = c[3];
        p.add(v, version);
    }
    p.IndexList = {0, 2, 1, 2, 3, 1};
    return p;
}

// The sample mesh: one block of a lit, textured quad.
inline Block demoQuad(const std::string& material, const std::string& texture)
{
    Block b;
    b.Material = material;
    b.Textures = {texture};
    b.Primitives.push_back(quad(XYZ | NORMAL | TEX(1)));
    return b;
}

}  // namespace meshwriter
