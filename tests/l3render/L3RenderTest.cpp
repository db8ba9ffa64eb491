// The render façade's start, frames and stop on the scripted card, in the material library's order.
#include "FacadeFixture.h"
#include "effects/EffectScene.h"

namespace pt = platform::testing;

namespace {

class L3RenderTest : public FacadeFixture {};

TEST_F(L3RenderTest, TheScreenIsTheRenderCoresTarget)
{
    // Drawing into a texture of another size: the façade sees the target, not the window.
    D3DCore.SetOverrideSize(800, 600);
    EXPECT_EQ(L3GetScreenWidth(), 800);
    EXPECT_EQ(L3GetScreenHeight(), 600);
    D3DCore.ClearOverrideSize();
    // Otherwise the display mode's size.
    D3DCore.ScreenWidth = 1024;
    D3DCore.ScreenHeight = 768;
    EXPECT_EQ(L3GetScreenWidth(), 1024);
    EXPECT_EQ(L3GetScreenHeight(), 768);
}

TEST_F(L3RenderTest, StartFramesAndStopRunInTheMaterialLibrarysOrder)
{
    pt::setD3D9Trace(true);
    ASSERT_TRUE(startFacade());
    EXPECT_TRUE(MatCore.Initialised && D3DCore.DeviceActive && lights().IsInitialised());
    EXPECT_EQ(lights().GetMaxLights(), 32u);
    // The default perspective: a view window of 319.2 x 240 at 270.
    const D3DMATRIX& projection = state().Transforms.at(D3DTS_PROJECTION);
    EXPECT_FLOAT_EQ(projection.m[0][0], 2 * 270.0f / 319.2f);
    EXPECT_FLOAT_EQ(projection.m[1][1], 2 * 270.0f / 240.0f);
    EXPECT_FLOAT_EQ(L3Scene.farZ, 640000.0f);
    EXPECT_FLOAT_EQ(L3Scene.lodScale, 268435456.0f / 240.0f * 270.0f);

    // Two frames; the model counters start again with each.
    for (int frame = 0; frame < 2; ++frame) {
        L3CountDrawAttempt();
        L3CountDrawSkipped();
        pt::clearD3D9Calls();
        EXPECT_EQ(L3BeginScene(true), 0);
        EXPECT_EQ(L3Scene.drawsAttempted + L3Scene.drawsSkipped, 0u);
        EXPECT_TRUE(state().InScene);
        L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
        L3EndScene();
        L3Present(true);
        std::vector<std::string> order;
        for (const auto& c : pt::d3d9Trace())
            if (c.Method == "BeginScene" || c.Method == "EndScene" || c.Method == "Present" || c.Method == "Clear")
                order.push_back(c.Method);
        ASSERT_GE(order.size(), 4u);
        EXPECT_EQ(order.front(), "Clear");
        EXPECT_EQ(std::vector<std::string>(order.end() - 3, order.end()),
                  std::vector<std::string>({"BeginScene", "EndScene", "Present"}));
    }
    EXPECT_EQ(state().FramesPresented, 2u);
    // The effects cull by the scene's frustum while the façade runs.
    EXPECT_FALSE(EffectSphereInView(Vector3(-1000, 0, 0), 1));

    // Lights go before the device; the library stays until the shutdown.
    CLight* light = lights().CreateLight();
    LightDescription d{};
    d.Type = D3DLIGHT_DIRECTIONAL;
    d.Direction[2] = -1;
    light->SetDesc(&d);
    lights().SetLightActive(light, true);
    lights().SetLightingEnabled(true);
    lights().ApplyLights(&light, 1);
    L3DestroyDevice();
    EXPECT_FALSE(lights().IsInitialised());
    EXPECT_FALSE(D3DCore.DeviceActive);
    EXPECT_EQ(MatCore.Lights.SlotsUsed, 0u);
    EXPECT_EQ(pt::d3d9LiveDevices(), 0);
    EXPECT_TRUE(MatCore.Initialised);
    L3Shutdown();
    EXPECT_FALSE(MatCore.Initialised || D3DCore.Initialised);
    EXPECT_TRUE(EffectSphereInView(Vector3(-1000, 0, 0), 1));
    EXPECT_EQ(testsupport::reports().size(), 0u);
}

}  // namespace
