// The render façade's start, frames and stop on the scripted card, in the material library's order.
#include "FacadeFixture.h"
#include "effects/EffectScene.h"

namespace pt = platform::testing;

namespace {

class L3RenderTest : public FacadeFixture {};

TEST_F(L3RenderTest, StartFramesAndStopRunInTheMaterialLibrarysOrder)
{
    ASSERT_TRUE(startFacade());
    EXPECT_TRUE(MatCore.Initialised && D3DCore.DeviceActive && lights().IsInitialised());
    EXPECT_EQ(lights().GetMaxLights(), 32u);
    // The default perspective: a view window of 319.2 x 240 at 270.
    EXPECT_FLOAT_EQ(state().Transforms.at(D3DTS_PROJECTION).m[0][0], 2 * 270.0f / 319.2f);

    // A frame opens a scene (the model counters start again), ends and presents it.
    L3CountDrawAttempt();
    EXPECT_EQ(L3BeginScene(true), 0);
    EXPECT_TRUE(state().InScene && L3Scene.drawsAttempted == 0u);
    L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
    L3EndScene();
    L3Present(true);
    EXPECT_TRUE(!state().InScene && state().FramesPresented == 1u);
    // The effects cull by the scene's frustum while the façade runs.
    EXPECT_FALSE(EffectSphereInView(Vector3(-1000, 0, 0), 1));

    // Lights go before the device, the library with the shutdown.
    CLight* light = lights().CreateLight();
    lights().SetLightActive(light, true);
    lights().SetLightingEnabled(true);
    lights().ApplyLights(&light, 1);
    L3DestroyDevice();
    EXPECT_FALSE(lights().IsInitialised() || D3DCore.DeviceActive || MatCore.Lights.SlotsUsed || pt::d3d9LiveDevices());
    EXPECT_TRUE(MatCore.Initialised);
    L3Shutdown();
    EXPECT_FALSE(MatCore.Initialised || D3DCore.Initialised);
    EXPECT_TRUE(EffectSphereInView(Vector3(-1000, 0, 0), 1));
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
