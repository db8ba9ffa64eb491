// Particle effects and trails drawn under the façade's camera, with the shipped particle data, read
// back from the device recorder: each draw call of a frame with the vertices it drew.
#pragma once

#include "ParticleFixture.h"
#include "ParticleData.h"
#include "l3render/L3Render.h"
#include "platform/testing.h"

#include <vector>

namespace particletest {

namespace pt = platform::testing;

struct DrawnVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
    Vector3 at() const { return Vector3(x, y, z); }
};

struct Draw {
    DWORD type;
    uint32_t primitives;
    std::vector<DrawnVertex> vertices;
};

class DrawnFixture : public ParticleFixture {
protected:
    void SetUp() override
    {
        ParticleFixture::SetUp();
        for (const auto& [name, bytes] : particledata::files()) m_dir.write("data/" + name, bytes);
        m_dir.write("t.tga", particledata::smoke());
        // The camera at the origin looking along +x; +y is to the left on the screen, +z up.
        L3SetViewFromAngles(Vector3(), 0, 0, 0);
        D3DCore.FrameStatsEnabled = 0;  // only the effects draw
        pt::setD3D9Trace(true);
    }

    // One frame: every pass of the effect manager drawn at the interpolation factor.
    std::vector<Draw> frame(float t = 1.0f)
    {
        pt::clearD3D9Calls();
        L3BeginScene(true);
        manager->Render(t);
        L3EndScene();
        return draws();
    }

    // The draws since the recorder was cleared, their vertices read from the buffers as they stand.
    static std::vector<Draw> draws()
    {
        std::vector<Draw> out;
        // Until the frame sets one, the buffer set before it (as it still is).
        IDirect3DVertexBuffer9* stream = pt::d3d9State()->Streams[0].Buffer;
        for (const pt::D3D9Call& c : pt::d3d9Trace()) {
            if (c.Method == "SetStreamSource" && c.Args[0] == 0)
                stream = reinterpret_cast<IDirect3DVertexBuffer9*>(static_cast<uintptr_t>(c.Args[1]));
            if (c.Method != "DrawPrimitive" || !stream) continue;
            Draw d{static_cast<DWORD>(c.Args[0]), static_cast<uint32_t>(c.Args[2]), {}};
            const size_t count = d.type == D3DPT_TRIANGLELIST ? 3 * d.primitives : d.primitives + 2;
            d.vertices.resize(count);
            const std::vector<uint8_t> bytes = pt::d3d9BufferBytes(stream);
            std::memcpy(d.vertices.data(), bytes.data() + c.Args[1] * sizeof(DrawnVertex), count * sizeof(DrawnVertex));
            out.push_back(d);
        }
        return out;
    }

    void updates(int n) { for (int i = 0; i < n; ++i) manager->Update(); }
};

// A keys block holding the value throughout: "colour" gives "colourkeys" of two keys.
inline std::string track(const std::string& key, const std::string& value)
{
    const std::string k = "{\n" + key + " " + value + "\n}\n";
    return key + "keys\n{\n" + k + k + "}\n";
}

// A particle effect of one kind of drawn particles, still at its place.
inline Definition drawn(const std::string& kind, const std::vector<std::string>& keys,
                        const std::string& gravity = "0, 0, 0")
{
    Definition d;
    d.system = section(kind, keys);
    d.controller = section("gravitycontrollernocollision", {"respawn 0", "gravity " + gravity, "dampening 100"});
    d.emitter = section("pointemitter", {"power 0", "variation 0", "stagger_frames 0"});
    return d;
}

}  // namespace particletest
