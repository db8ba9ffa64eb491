// Writes model files (.rsm, versions 100 to 106) and class definition files for tests, fuzz seeds,
// benchmarks and the sample data: describe the model, get the bytes. Mesh sections come from the
// mesh writer. Every count is derived from the data unless a field overrides it, so a test can
// also write a wrong one.
//
//   modelwriter::Element root;  root.Name = "root";             // a dummy (type 8)
//   modelwriter::Element arm;   arm.Name = "arml";  arm.Translation[0] = 10;
//   root.Children.push_back(arm);
//   modelwriter::Model m;  m.ClassName = "robot";  m.Lods.push_back({0.0f, root});
//   std::string bytes = modelwriter::model(m);
#pragma once

#include "MeshWriter.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace modelwriter {

const uint32_t TYPE_MESH = 1, TYPE_DUMMY = 8;

struct Chunk {
    uint32_t Type = 0;
    std::string Data;
    int64_t Size = -1;  // -1 writes the size of Data
};

struct Element {
    std::string Name;
    bool NameZero = true;     // the terminating zero is written and counted
    int64_t NameCount = -1;   // -1 derives it
    uint32_t Type = TYPE_DUMMY;
    float Translation[3] = {0, 0, 0};
    float Rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float Scale[3] = {1, 1, 1};
    float Centre[3] = {0, 0, 0};  // type 1, from 102
    float Radius = 1;
    std::string Mesh;             // type 1: a mesh section (meshwriter::section)
    std::vector<Chunk> Chunks;    // 106; written when not empty
    int64_t NumChunks = -1;
    std::vector<Element> Children;  // in file order
    int64_t NumChildren = -1;

    Element() = default;
    Element(std::string name, float x = 0, float y = 0, float z = 0) : Name(std::move(name))
    {
        Translation[0] = x;
        Translation[1] = y;
        Translation[2] = z;
    }
};

struct Lod {
    float Threshold = 0;
    Element Root;
};

struct Model {
    uint32_t Version = 106;
    uint32_t ElementCount = 0;  // before 106, not read
    std::string ClassName;      // empty: count 0, the default class
    std::vector<Chunk> Chunks;  // 106; written when not empty
    int64_t NumChunks = -1;
    std::vector<Lod> Lods;      // before 106 the first root alone
    int64_t NumLods = -1;
};

using meshwriter::put;
using meshwriter::putFloat;
using meshwriter::putWord;

inline void chunks(std::string& out, const std::vector<Chunk>& list, int64_t count)
{
    putWord(out, list.empty() ? 0 : 1);
    if (list.empty()) return;
    putWord(out, count < 0 ? static_cast<uint32_t>(list.size()) : static_cast<uint32_t>(count));
    for (const Chunk& c : list) {
        putWord(out, c.Type);
        putWord(out, c.Size < 0 ? static_cast<uint32_t>(c.Data.size()) : static_cast<uint32_t>(c.Size));
        out += c.Data;
    }
}

inline void element(std::string& out, const Element& e, uint32_t version)
{
    const uint32_t bytes = static_cast<uint32_t>(e.Name.size()) + (e.NameZero ? 1 : 0);
    putWord(out, e.NameCount < 0 ? bytes : static_cast<uint32_t>(e.NameCount));
    out += e.Name;
    if (e.NameZero) out.push_back('\0');
    putWord(out, e.Type);
    put(out, e.Translation, 12);
    put(out, e.Rotation, 36);
    put(out, e.Scale, 12);
    if (e.Type == TYPE_MESH) {
        if (version >= 102) {
            put(out, e.Centre, 12);
            putFloat(out, e.Radius);
        }
        out += e.Mesh;
    }
    if (version >= 106) chunks(out, e.Chunks, e.NumChunks);
    putWord(out, e.NumChildren < 0 ? static_cast<uint32_t>(e.Children.size()) : static_cast<uint32_t>(e.NumChildren));
    for (const Element& child : e.Children) element(out, child, version);
}

inline std::string model(const Model& m)
{
    std::string out;
    putWord(out, m.Version);
    if (m.Version < 106) putWord(out, m.ElementCount);
    if (m.Version >= 101) {
        // Before 104 the count leaves out the terminating zero that follows the name.
        const uint32_t length = static_cast<uint32_t>(m.ClassName.size());
        putWord(out, m.ClassName.empty() ? 0 : m.Version < 104 ? length : length + 1);
        if (!m.ClassName.empty() || m.Version < 104) {
            out += m.ClassName;
            out.push_back('\0');
        }
    }
    if (m.Version >= 106) {
        chunks(out, m.Chunks, m.NumChunks);
        putWord(out, m.NumLods < 0 ? static_cast<uint32_t>(m.Lods.size()) : static_cast<uint32_t>(m.NumLods));
        for (const Lod& lod : m.Lods) {
            putFloat(out, lod.Threshold);
            element(out, lod.Root, m.Version);
        }
    } else if (!m.Lods.empty()) {
        element(out, m.Lods[0].Root, m.Version);
    }
    return out;
}

// A mesh element of one lit, textured quad drawn with the material, bounded by the radius.
inline Element quadElement(const std::string& name, uint32_t version = 106, float radius = 1.5f,
                           const std::string& material = "demo.mtl")
{
    Element e(name);
    e.Type = TYPE_MESH;
    e.Radius = radius;
    meshwriter::Block b = meshwriter::demoQuad(material, "demo.tga");
    b.Primitives = {meshwriter::quad(meshwriter::XYZ | meshwriter::NORMAL | meshwriter::TEX(1), version)};
    e.Mesh = meshwriter::section({b}, version);
    return e;
}

// A class definition file: each class with its element names, one a line.
inline std::string classFile(const std::vector<std::pair<std::string, std::vector<std::string>>>& classes,
                             const std::string& comment = "")
{
    std::string out = comment;
    for (const auto& [name, elements] : classes) {
        out += "class " + name + "\r\n{\r\n";
        for (const std::string& e : elements) out += "  " + e + "\r\n";
        out += "}\r\n";
    }
    return out;
}

}  // namespace modelwriter
