// The sample data of the particle effects: the demo's effect definitions, the two particle
// materials and their textures, each file as bytes. Integer arithmetic only, so that every build
// makes the same bytes (a test compares data/ with these).
#pragma once

#include "LightData.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace particledata {

using lightdata::tga;

// A particle material: the texture times the vertex colour, added to the scene by its alpha
// (destBlend "one") or laid over it ("invsrcalpha"). Sprites and trails use FVF XYZ|DIFFUSE|TEX1.
inline std::string material(const std::string& name, const std::string& what, const std::string& destBlend)
{
    return "// " + name + " - " + what + ": the texture times the vertex colour, by its alpha.\n" +
           "// Sprites and trails draw with FVF XYZ|DIFFUSE|TEX1.\n"
           "shaders 1\n[shader]\npasses 1\nsimultaneoustextures 1\nfvf XYZ|DIFFUSE|TEX1\nlighting FALSE\n"
           "textureformat 0 8888 4444\nusemipmaps 0 FALSE\n[pass]\nstages 1\nsettexture 0 0\n"
           "setrenderstate zenable true\nsetrenderstate zwriteenable false\nsetrenderstate cullmode none\n"
           "setrenderstate alphablendenable true\nsetrenderstate srcblend srcalpha\n"
           "setrenderstate destblend " + destBlend + "\n"
           "settexturestagestate 0 colorop modulate\nsettexturestagestate 0 colorarg1 texture\n"
           "settexturestagestate 0 colorarg2 diffuse\nsettexturestagestate 0 alphaop modulate\n"
           "settexturestagestate 0 alphaarg1 texture\nsettexturestagestate 0 alphaarg2 diffuse\n"
           "settexturestagestate 0 addressu clamp\nsettexturestagestate 0 addressv clamp\n[end]\n[end]\n";
}

// A 2 x 2 atlas of puffs, each a soft disc a little larger and thinner than the one before.
inline std::string smoke()
{
    return tga(64, 64, 32, [](int x, int y) {
        const int frame = (y / 32) * 2 + x / 32;
        const int dx = 2 * (x % 32) - 31, dy = 2 * (y % 32) - 31;
        const int radius = 20 + 3 * frame, outer = radius * radius, r2 = dx * dx + dy * dy;
        if (r2 >= outer) return 0x00FFFFFFu;
        const uint32_t alpha = static_cast<uint32_t>((outer - r2) * (255 - 40 * frame) / outer);
        return alpha << 24 | lightdata::grey(235 - 10 * frame, 0);
    });
}

// Across the ribbon: brightest along its middle, nothing at its edges; square, as textures must be.
inline std::string trail()
{
    return tga(32, 32, 32, [](int x, int) {
        const int across = x < 16 ? x : 31 - x;
        return static_cast<uint32_t>(across * 255 / 15) << 24 | 0xFFFFFFu;
    });
}

// A block in the effect files' syntax: every brace and every key on its own line.
inline std::string block(const std::string& name, const std::vector<std::string>& lines)
{
    std::string text = name + "\n{\n";
    for (const std::string& line : lines) text += line.back() == '\n' ? line : line + "\n";
    return text + "}\n";
}

inline std::string keys(const std::string& name, const std::vector<std::string>& values)
{
    std::string text = name + "\n{\n";
    for (const std::string& value : values) text += "{\n" + value + "\n}\n";
    return text + "}\n";
}

// The demo: a puff of smoke rising from a point with a trail behind each puff, and a burst of
// debris that falls and bounces on the ground. Every puff leaves at once and none comes back: a
// trail follows its point wherever it goes, so a puff launched or relaunched away from where it
// waited would drag its ribbon across the scene.
inline std::string demo()
{
    const std::vector<std::string> noEvents = {"OnCollision SYS_NONE",   "OnParticleDeath SYS_NONE",
                                               "OnSystemDeath SYS_NONE", "OnTime SYS_NONE",
                                               "OnPeriod SYS_NONE",      "OnTimeParticle SYS_NONE",
                                               "OnPeriodParticle SYS_NONE"};
    auto effect = [&](const std::string& name, std::vector<std::string> lines, const std::vector<std::string>& parts) {
        lines.insert(lines.begin(), "instancename " + name);
        lines.insert(lines.end(), noEvents.begin(), noEvents.end());
        for (const std::string& part : parts) lines.push_back(part);
        return block("PARTICLESYSTEM", lines);
    };
    return "// demo.ps_ - the particle demo: demo_smoke puffs rise with a demo_trail behind each,\n"
           "// demo_burst scatters debris that bounces on the ground.\n" +
           effect("demo_smoke", {"EffectRadius 60", "PointConsumer demo_trail"},
                  {block("spriteparticles",
                         {"count 24", "lifespan 48", "x_frames 2", "y_frames 2", "texture smoke.tga",
                          "material Particles\\PartLinearBlend.mtl", "rotation 4",
                          "size_variation 1", "sizecap 40", "render_type 0",
                          keys("sizekeys", {"size 5", "size 18"}),
                          keys("alphakeys", {"alpha 200", "time 0.5\nalpha 120", "alpha 0"}),
                          keys("colourkeys", {"colour 255, 240, 220", "colour 170, 170, 190"})}),
                   block("gravitycontrollernocollision", {"respawn 0", "gravity 0, 0, 0.02", "dampening 97"}),
                   block("fountainemitter", {"stagger_frames 0", "spread 0.9", "power 1.2", "variation 0.4",
                                             "position_variation 1, 1, 0"})}) +
           block("POINTTRAIL", {"instancename demo_trail", "texture trail.tga", "trail_length 8", "trail_width 1.5",
                                "fade_start 4", "death_clock 30", "render_type 0"}) +
           effect("demo_burst", {"EffectRadius 40"},
                  {block("meshparticles",
                         {"count 12", "lifespan 60", "model data\\models\\debris.rsm", "rotation 20, 15, 10",
                          "scale_variation 0.3", "render_type 0", keys("scalekeys", {"scale 3, 3, 3", "scale 2, 2, 2"}),
                          keys("colourkeys", {"colour 255, 200, 120", "colour 200, 110, 70"}),
                          keys("alphakeys", {"alpha 255", "alpha 255"})}),
                   block("gravitycontroller", {"respawn 0", "gravity 0, 0, -0.08", "collision_dampening 60"}),
                   block("pointemitter", {"power 1.2", "variation 0.4", "offset 0, 0, 2", "stagger_frames 0"})});
}

// Every file, as a path under data/ and its bytes.
inline std::vector<std::pair<std::string, std::string>> files()
{
    return {
        {"particles/demo.ps_", demo()},
        {"particles/PartLinearAdd.mtl", material("PartLinearAdd.mtl", "particles added to the scene", "one")},
        {"particles/PartLinearBlend.mtl", material("PartLinearBlend.mtl", "particles laid over the scene", "invsrcalpha")},
        {"particles/smoke.tga", smoke()},
        {"particles/trail.tga", trail()},
    };
}

}  // namespace particledata
