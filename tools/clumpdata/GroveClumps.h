// The demo level's clumps (data/levels/demo/level.ini names them), built with the clump and model
// writers:
//   data/clumps/grove.clump  version 11: flammable trees that sway when near and fall when knocked,
//                            in a grove near the level's view and a row far off, whose states are
//                            whole, stump and burnt; and bushes that nothing collides with
//   data/clumps/grove_tree.rsm, grove_stump.rsm, grove_burnt.rsm, grove_bush.rsm
//                            trunk and crown boxes in vertex colour: the crown white for the
//                            element colour to paint, the trunk brown; the three tree states share
//                            their counts, as clump states must
//   data/clumps/grove.mtl    their material: the vertex colour times the texture factor the clumps
//                            tint with (grey 128 leaves it as it is)
#pragma once

#include "DemoClumps.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace groveclumps {

namespace mw = meshwriter;
namespace cw = clumpwriter;

const uint32_t BROWN = 0xFF9C7A54, DARK = 0xFF2A2420, CHAR = 0xFF4A4640, WHITE = 0xFFFFFFFF;
const char* const FIRE_WEAPON = "data\\weapons\\treefire.txt";

struct Box {
    float hx, hy, hz, base;
    uint32_t colour;
};

inline std::string model(const std::vector<Box>& boxes)
{
    mw::Primitive p;
    p.FVF = mw::XYZ | mw::DIFFUSE;
    float top = 0.0f, wide = 0.0f;
    for (const Box& b : boxes) {
        democlumps::addBox(p, b.hx, b.hy, b.hz, b.base, b.colour);
        top = std::max(top, b.base + 2 * b.hz);
        wide = std::max({wide, b.hx, b.hy});
    }
    modelwriter::Element e("grove");
    e.Type = modelwriter::TYPE_MESH;
    e.Centre[2] = top / 2;
    e.Radius = std::sqrt(2 * wide * wide + top * top / 4);
    mw::Block block;
    block.Material = "grove.mtl";
    block.Primitives.push_back(p);
    e.Mesh = mw::section({block}, 106);
    modelwriter::Model m;
    m.Lods.push_back({0.0f, e});
    return modelwriter::model(m);
}

// A tree, turned about the vertical by an angle of its own and a little taller or shorter.
inline cw::Element tree(float x, float y, uint32_t colour, float size = 1.0f)
{
    cw::Element e = democlumps::element(x, y, colour, x * 0.013f + y * 0.007f);
    e.Scale[0] = e.Scale[1] = 1.0f;
    e.Scale[2] = size;
    return e;
}

inline cw::File grove()
{
    cw::File f;
    for (const char* name : {"grove_tree", "grove_stump", "grove_burnt", "grove_bush"}) {
        const std::string path = std::string("data\\clumps\\") + name + ".rsm";
        f.Models.push_back({path, path});
    }
    const uint32_t greens[] = {0x50D050, 0x40B848, 0x68C038, 0x38C070, 0x58E060};
    cw::Type trees;
    trees.Team = 1;
    trees.Index = 0;
    trees.ObjectType = 0;
    trees.Flags = 2 | 4;
    trees.FireWeapon = FIRE_WEAPON;
    trees.SecondPair = 1;
    trees.FadeNear = 5000, trees.FadeFar = 6000, trees.SecondNear = 1400, trees.SecondFar = 2000, trees.Health = 200;
    trees.States = {{0}, {1}, {2}};
    cw::Clump near, far;
    const float nearAt[][2] = {{3250, 3080}, {3320, 3140}, {3240, 3190}, {3380, 3060}, {3300, 3010}};
    for (int i = 0; i < 5; ++i) near.Elements.push_back(tree(nearAt[i][0], nearAt[i][1], greens[i], 0.9f + 0.05f * i));
    for (int i = 0; i < 11; ++i)
        far.Elements.push_back(tree(5600.0f + (i % 2) * 90.0f, 2500.0f + 160.0f * i, greens[(i + 2) % 5], 1.0f + 0.1f * (i % 3)));
    trees.Clumps = {near, far};

    cw::Type bushes;
    bushes.Team = 1;
    bushes.Index = 1;
    bushes.ObjectType = 2;
    bushes.FadeNear = 5000, bushes.FadeFar = 6000, bushes.Health = 50;
    bushes.States = {{3}};
    cw::Clump scrub;
    const float bushAt[][2] = {{4400, 2500}, {4520, 2580}, {4650, 2470}, {4420, 4000}, {4560, 4080}, {4680, 3960}};
    for (int i = 0; i < 6; ++i) scrub.Elements.push_back(democlumps::element(bushAt[i][0], bushAt[i][1], 0x3C9040, i * 0.7f));
    bushes.Clumps = {scrub};
    f.Types = {trees, bushes};
    return f;
}

inline std::string material()
{
    return "// grove.mtl - the demo level's clumps: the vertex colour times twice the texture factor.\n"
           "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 0\nfvf XYZ|DIFFUSE\nlighting FALSE\n[pass]\n"
           "stages 1\nsettexture 0 NONE\nsetrenderstate texturefactor 0xFF808080\nsetrenderstate zenable true\n"
           "setrenderstate zwriteenable true\nsetrenderstate cullmode ccw\nsetrenderstate alphablendenable false\n"
           "settexturestagestate 0 colorop modulate2x\nsettexturestagestate 0 colorarg1 diffuse\n"
           "settexturestagestate 0 colorarg2 tfactor\nsettexturestagestate 0 alphaop selectarg1\n"
           "settexturestagestate 0 alphaarg1 diffuse\n[end]\n[end]\n";
}

inline std::vector<std::pair<std::string, std::string>> files()
{
    return {{"clumps/grove.clump", cw::file(grove())},
            {"clumps/grove.mtl", material()},
            {"clumps/grove_tree.rsm", model({{8, 8, 50, 0, BROWN}, {40, 40, 80, 80, WHITE}})},
            {"clumps/grove_stump.rsm", model({{10, 10, 20, 0, BROWN}, {7, 7, 3, 40, BROWN}})},
            {"clumps/grove_burnt.rsm", model({{8, 8, 50, 0, DARK}, {22, 22, 60, 80, CHAR}})},
            {"clumps/grove_bush.rsm", model({{34, 34, 20, 0, WHITE}, {20, 20, 14, 30, WHITE}})}};
}

}  // namespace groveclumps
