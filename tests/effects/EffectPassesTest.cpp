// The five passes read from the device recorder around the render core's frame, culling against
// the view, and cull spheres.
#include "EffectsFixture.h"

namespace pt = platform::testing;

namespace {

class EffectPassesTest : public EffectsFixture {
protected:
    // The passes drawn (the test kind's texture-factor marks) and "S" for a sorted draw, in order.
    static std::string recorded()
    {
        std::string out;
        for (const auto& c : pt::d3d9Trace()) {
            if (c.Method == "SetRenderState" && c.Args[0] == D3DRS_TEXTUREFACTOR && c.Args[1] >= 0xE0 && c.Args[1] <= 0xE4)
                out += static_cast<char>('0' + (c.Args[1] - 0xE0));
            if (c.Method == "DrawIndexedPrimitive") out += 'S';
            if (c.Method == "BeginScene") out += '[';
            if (c.Method == "EndScene") out += ']';
        }
        return out;
    }
};

TEST_F(EffectPassesTest, PassZeroInTheSceneThreeAndFourBeforeTheSortedDrawsOneAndTwoAfter)
{
    define(block("TESTEFFECT", "e"), {"e"});
    CEffect* e = create("e");
    D3DCore.SetCameraAngles(0, 0, 0, 0, 0, 0);
    StateBlock* sorted = material("sorted.mtl", 1, SORT_MATERIAL);
    DisplayHandle* h = D3DCore.CreateDisplayHandle();
    quad(h, multi({sorted}), 0, 0, 10);

    // Before the first sort the end-of-scene passes draw nothing.
    pt::setD3D9Trace(true);
    D3DCore.BeginScene(true, false);
    D3DCore.EndScene(true);
    EXPECT_EQ(recorded(), "[]");

    pt::clearD3D9Calls();
    D3DCore.BeginScene(true, false);
    manager->Render(0.75f);
    D3DCore.DrawDisplayList(h, 0);
    D3DCore.EndScene(true);
    EXPECT_EQ(recorded(), "[034S12]");
    EXPECT_EQ(manager->GetInterpolation(), 0.75f);

    // Faded out or hidden: not drawn.
    e->SetFade(0.0f);
    manager->RenderPass(1);
    e->SetFade(1.0f);
    e->SetHidden(true);
    manager->RenderPass(1);
    EXPECT_EQ(logged("render").size(), 5u);
}

TEST_F(EffectPassesTest, OffScreenEffectsAreCulledOrSkippedByTheirDefinition)
{
    SetEffectFrustumTest([](const Vector3& centre, float) { return centre.x >= 0; });
    define(block("TESTEFFECT", "kill", "KillIfOffScreen 1\nEffectRadius 1\n") +
               block("TESTEFFECT", "skip", "RenderIfOnScreenOnly 1\nEffectRadius 1\n") +
               block("TESTEFFECT", "free", "KillIfOffScreen 1\nRenderIfOnScreenOnly 1\nNoBounds 1\n"),
           {"kill", "skip", "free"});
    // Nearest first: a (off), b (off), then the others, c (on) last. a's removal moves c into its
    // slot, which is looked at again; once c is seen, b is no longer culled.
    CEffect* a = create("kill", Vector3(-1, 0, 0));
    CEffect* b = create("kill", Vector3(-2, 0, 0));
    CEffect* hidden = create("skip", Vector3(-3, 0, 0));
    CEffect* shown = create("skip", Vector3(4, 0, 0));
    CEffect* unbounded = create("free", Vector3(-5, 0, 0));
    CEffect* c = create("kill", Vector3(6, 0, 0));
    manager->Render(0.0f);
    EXPECT_FALSE(manager->IsLive(a));
    EXPECT_EQ(renderedEffects(), (std::vector<const CEffect*>{c, b, shown, unbounded}));
    EXPECT_EQ(manager->FindDefinition("kill")->KillIfOffScreen, 0);
    EXPECT_TRUE(manager->IsLive(hidden));
    // Only the one skipped while off screen is left out now.
    renderedEffects().clear();
    manager->Render(0.0f);
    EXPECT_EQ(renderedEffects().size(), 4u);
}

TEST_F(EffectPassesTest, CullSpheresAreDrawnInWireframeAtHalfTheBoundsRadius)
{
    getProjData().ShowCullSpheres = 1;
    manager.reset();
    manager = std::make_unique<CEffectManager>();
    EXPECT_TRUE(manager->ShowsCullSpheres());
    static std::vector<std::pair<float, DWORD>> spheres;  // centre x + scale, fill mode
    spheres.clear();
    SetEffectCullSphereDraw([](const Vector3& centre, float scale) {
        spheres.push_back({centre.x + scale, pt::d3d9State()->RenderStates[D3DRS_FILLMODE]});
    });
    define(block("TESTEFFECT", "round", "EffectRadius 6\n") + block("TESTEFFECT", "flat", "NoBounds 1\n"),
           {"round", "flat"});
    create("round", Vector3(10, 0, 0));
    create("flat");
    manager->Render(0.0f);
    SetEffectCullSphereDraw(nullptr);
    EXPECT_EQ(spheres, (std::vector<std::pair<float, DWORD>>{{13.0f, D3DFILL_WIREFRAME}}));
    EXPECT_EQ(pt::d3d9State()->RenderStates[D3DRS_FILLMODE], static_cast<DWORD>(D3DFILL_SOLID));
}

}  // namespace
