// The sample data's models, built with the model writer: their meshes are triangle lists turned
// into strips by the stripifier, as the game's own meshes are.
//   data/models/robot.rsm    class robot: a dummy root with two arms and a hand under the right
//                            arm, each a lit, textured cube (demo.mtl), placed as the sample walk
//                            animation has them at rest
//   data/classdef/robot.def  the robot's parts in animation node order
//   data/sphere.rsm          a sphere of radius 2 in vertex colour (the effects' cull spheres)
//   data/models/debris.rsm   a small block tinted by its particles (with data/models/debris.mtl)
//   data/models/volumefog/puff.rsm   a fog puff: a white ball of radius 150 (puff.mtl, the
//                            material that the volume fog fades)
//   data/dumb_test_object.rsm             the collision tester: an orange ball of radius 100
//   data/models/dressing/bullet/bullet.rsm   the sample bullet: a yellow ball of radius 5
#pragma once

#include "ModelWriter.h"
#include "stripifier/Stripifier.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace samplemodels {

namespace mw = meshwriter;

const uint32_t LIT_FVF = mw::XYZ | mw::NORMAL | mw::TEX(1);
const uint32_t COLOUR_FVF = mw::XYZ | mw::DIFFUSE;

// One strip primitive from a triangle list. A face is wound so that (b - a) x (c - a) points into
// the model: the game's world is mirrored on its way to the screen, where the card culls by winding.
inline mw::Primitive strip(const std::vector<mw::Vertex>& vertices, std::vector<uint32_t> list, uint32_t fvf)
{
    std::string bytes;
    for (const mw::Vertex& v : vertices) bytes += mw::vertexBytes(v, fvf);
    const uint32_t size = static_cast<uint32_t>(mw::vertexBytes(mw::Vertex(), fvf).size());
    MeshData in = {MESH_TRIANGLELIST, static_cast<uint32_t>(vertices.size()), size, static_cast<uint32_t>(list.size()),
                   fvf, bytes.data(), 4, list.data(), 0};
    MeshData out = {};
    StripifyOptions options;
    options.LengthMode = 0;
    options.OutputType = STRIPIFY_OUTPUT_STRIP;
    mw::Primitive p;
    p.FVF = fvf;
    if (!Stripify(in, out, options) || out.IndexSize != 2) {
        FreeMeshData(out);
        p.VertexData = bytes;
        p.IndexList = list;
        return p;
    }
    p.Kind = mw::KIND_STRIP;
    p.Degenerates = out.NumDegenerates;
    p.VertexData.assign(static_cast<const char*>(out.pVertices), out.NumVertices * size);
    const uint16_t* indices = static_cast<const uint16_t*>(out.pIndices);
    p.IndexList.assign(indices, indices + out.NumIndices);
    FreeMeshData(out);
    return p;
}

// A box of the half extents around the origin, one flat quad a face with the texture spanning it.
inline mw::Primitive box(float hx, float hy, float hz)
{
    // Proper rotations that take the face towards -z to each of the six faces, so every face keeps
    // the front-facing winding of the first.
    typedef void (*Turn)(const float*, float*);
    const Turn turns[6] = {
        [](const float* v, float* o) { o[0] = v[0], o[1] = v[1], o[2] = v[2]; },
        [](const float* v, float* o) { o[0] = -v[0], o[1] = v[1], o[2] = -v[2]; },
        [](const float* v, float* o) { o[0] = -v[2], o[1] = v[1], o[2] = v[0]; },
        [](const float* v, float* o) { o[0] = v[2], o[1] = v[1], o[2] = -v[0]; },
        [](const float* v, float* o) { o[0] = v[0], o[1] = -v[2], o[2] = v[1]; },
        [](const float* v, float* o) { o[0] = v[0], o[1] = v[2], o[2] = -v[1]; },
    };
    const float corners[4][4] = {{-1, -1, 0, 1}, {1, -1, 1, 1}, {-1, 1, 0, 0}, {1, 1, 1, 0}};
    const float half[3] = {hx, hy, hz};
    const float towards[3] = {0, 0, -1};
    std::vector<mw::Vertex> vertices;
    std::vector<uint32_t> list;
    for (const Turn turn : turns) {
        const uint32_t base = static_cast<uint32_t>(vertices.size());
        for (const auto& c : corners) {
            const float at[3] = {c[0], c[1], -1};
            mw::Vertex v;
            turn(at, v.Position);
            turn(towards, v.Normal);
            for (int i = 0; i < 3; ++i) v.Position[i] *= half[i];
            v.UV[0][0] = c[2];
            v.UV[0][1] = c[3];
            vertices.push_back(v);
        }
        for (uint32_t i : {0u, 1u, 2u, 2u, 1u, 3u}) list.push_back(base + i);
    }
    return strip(vertices, list, LIT_FVF);
}

// A sphere of the radius around the origin: rings of slices, a single vertex at each pole.
inline mw::Primitive sphere(float radius, uint32_t slices, uint32_t stacks, uint32_t colour = 0xFFFFFFFFu)
{
    const float pi = 3.14159265358979f;
    std::vector<mw::Vertex> vertices;
    auto add = [&](float x, float y, float z) {
        mw::Vertex v;
        v.Position[0] = x * radius;
        v.Position[1] = y * radius;
        v.Position[2] = z * radius;
        v.Diffuse = colour;
        vertices.push_back(v);
        return static_cast<uint32_t>(vertices.size() - 1);
    };
    const uint32_t top = add(0, 0, 1);
    for (uint32_t s = 1; s < stacks; ++s) {
        const float polar = pi * s / stacks;
        for (uint32_t i = 0; i < slices; ++i) {
            const float around = 2 * pi * i / slices;
            add(std::sin(polar) * std::cos(around), std::sin(polar) * std::sin(around), std::cos(polar));
        }
    }
    const uint32_t bottom = add(0, 0, -1);
    auto ring = [&](uint32_t s, uint32_t i) { return 1 + (s - 1) * slices + i % slices; };
    std::vector<uint32_t> list;
    // Each triangle turned so that it faces outwards (its cross product pointing in, as above).
    auto face = [&](uint32_t a, uint32_t b, uint32_t c) {
        const float* pa = vertices[a].Position;
        const float* pb = vertices[b].Position;
        const float* pc = vertices[c].Position;
        const float u[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
        const float w[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
        const float n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        const bool outwards = n[0] * (pa[0] + pb[0] + pc[0]) + n[1] * (pa[1] + pb[1] + pc[1]) +
                                  n[2] * (pa[2] + pb[2] + pc[2]) > 0;
        list.insert(list.end(), {a, outwards ? c : b, outwards ? b : c});
    };
    for (uint32_t i = 0; i < slices; ++i) {
        face(top, ring(1, i), ring(1, i + 1));
        for (uint32_t s = 1; s + 1 < stacks; ++s) {
            face(ring(s, i), ring(s + 1, i), ring(s + 1, i + 1));
            face(ring(s, i), ring(s + 1, i + 1), ring(s, i + 1));
        }
        face(bottom, ring(stacks - 1, i + 1), ring(stacks - 1, i));
    }
    return strip(vertices, list, COLOUR_FVF);
}

// A mesh element of one block: the primitive drawn with the material, bounded by the sphere.
inline modelwriter::Element meshElement(const std::string& name, float x, float y, float z, mw::Primitive primitive,
                                        const std::string& material, const std::vector<std::string>& textures,
                                        float radius)
{
    modelwriter::Element e(name, x, y, z);
    e.Type = modelwriter::TYPE_MESH;
    e.Radius = radius;
    mw::Block block;
    block.Material = material;
    block.Textures = textures;
    block.Primitives.push_back(std::move(primitive));
    e.Mesh = mw::section({block}, 106);
    return e;
}

inline modelwriter::Element cube(const std::string& name, float x, float y, float z, float half)
{
    return meshElement(name, x, y, z, box(half, half, half), "demo.mtl", {"demo.tga"}, half * std::sqrt(3.0f));
}

inline modelwriter::Model robot()
{
    modelwriter::Element root("root");
    modelwriter::Element armR = cube("armR", 0, 20, 0, 2);
    armR.Children.push_back(cube("hand", 0, 5, 0, 1));
    root.Children.push_back(cube("armL", 10, 0, 0, 2));
    root.Children.push_back(armR);
    modelwriter::Model m;
    m.ClassName = "robot";
    m.Lods.push_back({0.0f, root});
    return m;
}

inline std::string robotClasses()
{
    return modelwriter::classFile({{"robot", {"root", "armL", "armR", "hand"}}},
                                  "; robot.def - the sample robot's parts, in animation node order\r\n");
}

inline modelwriter::Model sampleSphere()
{
    modelwriter::Model m;
    m.Lods.push_back({0.0f, meshElement("sphere", 0, 0, 0, sphere(2, 16, 8), "fallbackmaterials\\vc.mtl", {}, 2)});
    return m;
}

inline modelwriter::Model debris()
{
    modelwriter::Model m;
    const float hx = 0.5f, hy = 0.35f, hz = 0.25f;
    m.Lods.push_back({0.0f, meshElement("debris", 0, 0, 0, box(hx, hy, hz), "debris.mtl", {"demo.tga"},
                                        std::sqrt(hx * hx + hy * hy + hz * hz))});
    return m;
}

// Debris takes the colour its particles give it: the texture times the texture factor.
inline std::string debrisMaterial()
{
    return "// debris.mtl - mesh-particle debris: the texture tinted by the texture factor, which the\n"
           "// particles set before each piece is drawn.\n"
           "shaders 1\nmaterialid debris\n[shader]\npasses 1\nsimultaneoustextures 1\nfvf XYZ|NORMAL|TEX1\n"
           "lighting FALSE\ntextureformat 0 8888 565\nusemipmaps 0 TRUE\n[pass]\nstages 1\nsettexture 0 0\n"
           "setrenderstate zenable true\nsetrenderstate zwriteenable true\nsetrenderstate cullmode none\n"
           "setrenderstate alphablendenable false\nsetrenderstate texturefactor 0xFFFFFFFF\n"
           "settexturestagestate 0 colorop modulate\nsettexturestagestate 0 colorarg1 texture\n"
           "settexturestagestate 0 colorarg2 tfactor\nsettexturestagestate 0 alphaop selectarg1\n"
           "settexturestagestate 0 alphaarg1 texture\nsettexturestagestate 0 mipfilter linear\n[end]\n[end]\n";
}

inline modelwriter::Model puff()
{
    modelwriter::Model m;
    m.Lods.push_back({0.0f, meshElement("puff", 0, 0, 0, sphere(150, 12, 6), "puff.mtl", {}, 150)});
    return m;
}

// A placed object's stand-in: a ball of the radius in one colour, for the sample objects.
inline modelwriter::Model ball(float radius, uint32_t colour, const std::string& material)
{
    modelwriter::Model m;
    m.Lods.push_back({0.0f, meshElement("ball", 0, 0, 0, sphere(radius, 16, 8, colour), material, {}, radius)});
    return m;
}

// Where each file goes under the data folder, and its bytes.
inline std::vector<std::pair<std::string, std::string>> files()
{
    return {{"models/robot.rsm", modelwriter::model(robot())},
            {"classdef/robot.def", robotClasses()},
            {"sphere.rsm", modelwriter::model(sampleSphere())},
            {"models/debris.rsm", modelwriter::model(debris())},
            {"models/debris.mtl", debrisMaterial()},
            {"models/volumefog/puff.rsm", modelwriter::model(puff())},
            {"dumb_test_object.rsm", modelwriter::model(ball(100, 0xFFD08030u, "fallbackmaterials\\vc.mtl"))},
            {"models/dressing/bullet/bullet.rsm",
             modelwriter::model(ball(5, 0xFFFFE080u, "..\\..\\..\\fallbackmaterials\\vc.mtl"))}};
}

}  // namespace samplemodels
