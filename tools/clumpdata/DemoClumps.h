// The sample data's clumps, built with the clump and model writers:
//   data/clumps/demo.clump   version 11: a one-state type of rocks (leaning with the ground, lit
//                            by the sun) and a two-state type of trees whose state 1 is a stump
//   data/clumps/rock.rsm, tree.rsm, stump.rsm
//                            boxes standing on their base, white in vertex colour (the clump
//                            colours them): one triangle list of 24 vertices and 36 indices each,
//                            as clump states must share their counts
//   data/clumps/clump.mtl    their material: the vertex colour alone
#pragma once

#include "ClumpWriter.h"
#include "ModelWriter.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace democlumps {

namespace mw = meshwriter;

// A box of the half extents standing on z = base in one colour, one flat quad a face (its own
// vertices, so normals built from it stay flat), drawn from outside, added to the primitive.
inline void addBox(mw::Primitive& p, float hx, float hy, float hz, float base = 0.0f, uint32_t colour = 0xFFFFFFFF)
{
    const uint32_t first = static_cast<uint32_t>(p.VertexData.size() / mw::vertexBytes(mw::Vertex(), p.FVF).size());
    const float half[3] = {hx, hy, hz};
    std::vector<std::vector<float>> at;
    for (int axis = 0; axis < 3; ++axis)
        for (float sign : {-1.0f, 1.0f}) {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            const uint32_t face = first + static_cast<uint32_t>(at.size());
            for (float cu : {-1.0f, 1.0f})
                for (float cv : {-1.0f, 1.0f}) {
                    std::vector<float> q(3);
                    q[axis] = sign * half[axis];
                    q[u] = cu * half[u];
                    q[v] = cv * half[v];
                    at.push_back(q);
                }
            // Front faces outside: (b - a) x (c - a) points inwards.
            for (uint32_t i : sign > 0 ? std::vector<uint32_t>{0, 1, 2, 2, 1, 3} : std::vector<uint32_t>{0, 2, 1, 2, 3, 1})
                p.IndexList.push_back(face + i);
        }
    for (const std::vector<float>& q : at) {
        mw::Vertex vertex;
        vertex.Position[0] = q[0];
        vertex.Position[1] = q[1];
        vertex.Position[2] = q[2] + hz + base;
        vertex.Diffuse = colour;
        p.add(vertex);
    }
}

inline mw::Primitive box(float hx, float hy, float hz)
{
    mw::Primitive p;
    p.FVF = mw::XYZ | mw::DIFFUSE;
    addBox(p, hx, hy, hz);
    return p;
}

inline std::string boxModel(float hx, float hy, float hz)
{
    modelwriter::Element e("box");
    e.Type = modelwriter::TYPE_MESH;
    e.Centre[2] = hz;
    e.Radius = std::sqrt(hx * hx + hy * hy + hz * hz);
    mw::Block block;
    block.Material = "clump.mtl";
    block.Primitives.push_back(box(hx, hy, hz));
    e.Mesh = mw::section({block}, 106);
    modelwriter::Model m;
    m.Lods.push_back({0.0f, e});
    return modelwriter::model(m);
}

inline clumpwriter::Element element(float x, float y, uint32_t colour, float turn = 0.0f)
{
    clumpwriter::Element e;
    e.Position[0] = x;
    e.Position[1] = y;
    // A turn about the vertical.
    e.Rotation[2] = std::sin(turn / 2);
    e.Rotation[3] = std::cos(turn / 2);
    e.Colour = colour;
    return e;
}

inline clumpwriter::File demo()
{
    clumpwriter::File f;
    for (const char* name : {"rock", "tree", "stump"}) {
        const std::string path = std::string("data\\clumps\\") + name + ".rsm";
        f.Models.push_back({path, path});
    }
    clumpwriter::Type rocks;
    rocks.Index = 0;
    rocks.ObjectType = 1;
    rocks.Flags = 1 | 8;
    rocks.FadeNear = 4000, rocks.FadeFar = 5000, rocks.Health = 100;
    rocks.States = {{0}};
    rocks.Clumps = {{{element(300, 440, 0x808080), element(300, 500, 0xA0522D, 0.6f), element(300, 560, 0x707050)}}};

    clumpwriter::Type trees;
    trees.Team = 1;
    trees.Index = 1;
    trees.SecondPair = 1;
    trees.FadeNear = 5000, trees.FadeFar = 6000, trees.SecondNear = 1000, trees.SecondFar = 1500, trees.Health = 200;
    trees.SoundMinDistance = 200;
    trees.States = {{1}, {2}};
    trees.Clumps = {{{element(400, 420, 0x228B22), element(400, 470, 0x2E8B57), element(400, 530, 0x6B8E23),
                      element(400, 580, 0x00C000)}}};
    f.Types = {rocks, trees};
    return f;
}

inline std::string material()
{
    return "// clump.mtl - the sample clumps' material: the vertex colour alone.\n"
           "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 0\nfvf XYZ|DIFFUSE\nlighting FALSE\n[pass]\n"
           "stages 1\nsettexture 0 NONE\nsetrenderstate zenable true\nsetrenderstate zwriteenable true\n"
           "setrenderstate cullmode ccw\nsetrenderstate alphablendenable false\n"
           "settexturestagestate 0 colorop selectarg1\nsettexturestagestate 0 colorarg1 diffuse\n"
           "settexturestagestate 0 alphaop selectarg1\nsettexturestagestate 0 alphaarg1 diffuse\n[end]\n[end]\n";
}

// Where each file goes under the data folder, and its bytes.
inline std::vector<std::pair<std::string, std::string>> files()
{
    return {{"clumps/demo.clump", clumpwriter::file(demo())},
            {"clumps/clump.mtl", material()},
            {"clumps/rock.rsm", boxModel(20, 20, 8)},
            {"clumps/tree.rsm", boxModel(8, 8, 40)},
            {"clumps/stump.rsm", boxModel(10, 10, 10)}};
}

}  // namespace democlumps
