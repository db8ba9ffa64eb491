// The five passes read from the device recorder around the façade's frame, culling against its
// frustum, and cull spheres.
#include "BlockBuilder.h"
#include "EffectsFixture.h"
#include "d3dcore9/FVFFormat.h"
#include "l3render/Model.h"
#include "l3render/ModelInst.h"

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

    // A triangle of a material drawn in the delayed sorted pass.
    static DisplayHandle* sortedTriangle()
    {
        StateBlock* SB = makeBlock(newMaterial("sorted", {1}));
        AnalyseFVF(SB->GMaterial->FVFFormat);
        SB->GMaterial->DelayedSort = SORT_MATERIAL;
        MultiBlock m;
        m.Blocks = 1;
        m.StateBlock[0] = handleOf(SB);
        m.MainFVF = SB->GMaterial->FVFFormat;
        DisplayHandle* h = D3DCore.CreateDisplayHandle();
        AddTrisConfig config;
        config.Vertices = config.Indices = 3;
        void *vertices = nullptr, *indices = nullptr;
        D3DCore.AddTris(h, &m, &config, &vertices, &indices, nullptr);
        const float v[3][4] = {{0, 0, 10, 0}, {1, 0, 10, 0}, {0, 1, 10, 0}};  // XYZ | DIFFUSE
        std::memcpy(vertices, v, sizeof(v));
        const WORD i[3] = {0, 1, 2};
        std::memcpy(indices, i, sizeof(i));
        D3DCore.EndAddTris();
        return h;
    }
};

TEST_F(EffectPassesTest, PassZeroInTheSceneThreeAndFourBeforeTheSortedDrawsOneAndTwoAfter)
{
    define(block("TESTEFFECT", "e"), {"e"});
    CEffect* e = create("e");
    L3SetViewFromAngles(Vector3(), 0, 0, 0);
    DisplayHandle* h = sortedTriangle();

    // Before the first sort the end-of-scene passes draw nothing.
    pt::setD3D9Trace(true);
    L3BeginScene(true);
    L3EndScene();
    EXPECT_EQ(recorded(), "[]");

    pt::clearD3D9Calls();
    L3BeginScene(true);
    manager->Render(0.75f);
    D3DCore.DrawDisplayList(h, 0);
    L3EndScene();
    EXPECT_EQ(recorded(), "[034S12]");
    D3DCore.DeleteDisplayHandle(h);
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
    // In view: ahead of the camera, which looks along +x.
    L3SetViewFromAngles(Vector3(), 0, 0, 0);
    L3SetPerspective(1, 1000, 2, 2);
    define(block("TESTEFFECT", "kill", "KillIfOffScreen 1\nEffectRadius 1\n") +
               block("TESTEFFECT", "skip", "RenderIfOnScreenOnly 1\nEffectRadius 1\n") +
               block("TESTEFFECT", "free", "KillIfOffScreen 1\nRenderIfOnScreenOnly 1\nNoBounds 1\n"),
           {"kill", "skip", "free"});
    // Nearest first: a (off), b (off), then the others, c (on) last. a's removal moves c into its
    // slot, which is looked at again; once c is seen, b is no longer culled.
    CEffect* a = create("kill", Vector3(-10, 0, 0));
    CEffect* b = create("kill", Vector3(-20, 0, 0));
    CEffect* hidden = create("skip", Vector3(-30, 0, 0));
    CEffect* shown = create("skip", Vector3(40, 0, 0));
    CEffect* unbounded = create("free", Vector3(-50, 0, 0));
    CEffect* c = create("kill", Vector3(60, 0, 0));
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

TEST_F(EffectPassesTest, CullSpheresDrawTheSphereModelOverTheBoundsInWireframe)
{
    getProjData().ShowCullSpheres = 1;
    manager.reset();
    manager = std::make_unique<CEffectManager>();
    ASSERT_NE(manager->GetSphereModel(), nullptr);
    EXPECT_EQ(manager->GetSphereModel()->m_radius, 2.0f);
    define(block("TESTEFFECT", "round", "EffectRadius 6\n") + block("TESTEFFECT", "flat", "NoBounds 1\n"),
           {"round", "flat"});
    create("flat");
    create("round", Vector3(50, 1, 2));
    L3SetViewFromAngles(Vector3(), 0, 0, 0);
    L3SetPerspective(1, 1000, 2, 2);
    pt::setD3D9Trace(true);
    L3BeginScene(true);
    const uint32_t before = L3Scene.drawsAttempted;
    manager->Render(0.0f);
    // One sphere, for the effect with bounds, at its centre and half its radius; then solid again.
    EXPECT_EQ(L3Scene.drawsAttempted - before, 1u);
    EXPECT_EQ(L3Scene.drawsDone - before, 1u);
    const CModelTransform& placed = manager->GetSphereInstance()->m_transform;
    EXPECT_EQ(std::vector<float>(placed.Translation, placed.Translation + 3), std::vector<float>({50, 1, 2}));
    EXPECT_EQ(std::vector<float>(placed.Scale, placed.Scale + 3), std::vector<float>(3, 3.0f));
    std::vector<uint64_t> fillModes;
    for (const auto& c : pt::d3d9Trace())
        if (c.Method == "SetRenderState" && c.Args[0] == D3DRS_FILLMODE) fillModes.push_back(c.Args[1]);
    EXPECT_EQ(fillModes, (std::vector<uint64_t>{D3DFILL_WIREFRAME, D3DFILL_SOLID}));
    L3EndScene();
}

}  // namespace
