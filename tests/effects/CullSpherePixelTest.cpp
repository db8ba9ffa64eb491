// Cull spheres drawn by the OpenGL renderer headless, read back as pixels.
#include "EffectsFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const DWORD CLEAR = 0x000040;

class CullSpherePixelTest : public EffectsFixture {
protected:
    CullSpherePixelTest()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        m_drawing = true;
    }
};

TEST_F(CullSpherePixelTest, TheWireframeSphereLiesWithinTheProjectedBoundsAndLeavesTheFillSolid)
{
    getProjData().ShowCullSpheres = 1;
    manager.reset();
    manager = std::make_unique<CEffectManager>();
    ASSERT_NE(manager->GetSphereInstance(), nullptr);
    define(block("TESTEFFECT", "round", "EffectRadius 30\n"), {"round"});
    const Vector3 centre(200, 10, -5);
    const float r = 30.0f;
    create("round", centre);
    D3DCore.SetClearColour(true, 0, 0, CLEAR);
    D3DCore.FrameStatsEnabled = 0;  // only the sphere draws
    L3SetViewFromAngles(Vector3(), 0, 0, 0);
    drawFrame(wholeTarget(6.0f, 10.0f, 10000.0f), [&] { manager->Render(0.0f); });
    EXPECT_EQ(platform::testing::d3d9State()->RenderStates[D3DRS_FILLMODE], DWORD(D3DFILL_SOLID));

    // The sphere's outline seen from d away is wider than its edge point's projection by
    // d / sqrt(d^2 - r^2); a pixel and a half more for the line's width.
    Vector3 mid, edge;
    ASSERT_TRUE(L3WorldToScreen(centre, &mid));
    ASSERT_TRUE(L3WorldToScreen(centre + Vector3(0, r, 0), &edge));

    const float d = std::sqrt(centre.x * centre.x + centre.y * centre.y + centre.z * centre.z);
    const float bound = std::hypot(edge.x - mid.x, edge.y - mid.y) * d / std::sqrt(d * d - r * r) + 1.5f;
    ASSERT_GT(bound, 50.0f);
    const std::vector<DWORD> image = frontBuffer(640, 480);
    int lit = 0;
    float farthest = 0.0f;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            if (image[y * 640 + x] == CLEAR) continue;
            ++lit;
            farthest = std::max(farthest, std::hypot(x + 0.5f - mid.x, y + 0.5f - mid.y));
        }
    // Out to the bounds, no further, and in lines, not filled.
    EXPECT_LE(farthest, bound);
    EXPECT_GT(farthest, 0.9f * bound);
    EXPECT_GT(lit, 300);
    EXPECT_LT(lit, 3.1416f * bound * bound / 2);
}

}  // namespace
