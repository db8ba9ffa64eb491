// The render façade's start, frames and stop on the scripted card, in the material library's order.
#include "FacadeFixture.h"
#include "effects/EffectScene.h"

namespace pt = platform::testing;

namespace {

class L3RenderTest : public FacadeFixture {};

TEST_F(L3RenderTest, StartFramesAndStopRunInTheMaterialLibrarysOrder)
{
    ASSERT_TRUE(startFacade());
    EXPECT_EQ(std::vector<int>({MatCore.Initialised, D3DCore.DeviceActive, lights().IsInitialised(), int(lights().GetMaxLights())}),
              std::vector<int>({1, 1, 1, 32}));
    // The default perspective: a view window of 319.2 x 240 at 270.
    EXPECT_FLOAT_EQ(state().Transforms.at(D3DTS_PROJECTION).m[0][0], 2 * 270.0f / 319.2f);

    // A frame opens a scene (the model counters start again), ends and presents it.
    L3CountDrawAttempt();
    EXPECT_EQ(L3BeginScene(true), 0);
    EXPECT_EQ(std::make_pair(true, 0u), std::make_pair(bool(state().InScene), L3Scene.drawsAttempted));
    L3SetViewFromAngles(Vector3(0, 0, 0), 0, 0, 0);
    L3EndScene();
    L3Present(true);
    EXPECT_EQ(std::make_pair(false, 1u), std::make_pair(bool(state().InScene), uint32_t(state().FramesPresented)));
    // The effects cull by the scene's frustum while the façade runs.
    EXPECT_FALSE(EffectSphereInView(Vector3(-1000, 0, 0), 1));

    // Lights go before the device, the library with the shutdown.
    CLight* light = lights().CreateLight();
    lights().SetLightActive(light, true);
    lights().SetLightingEnabled(true);
    lights().ApplyLights(&light, 1);
    L3DestroyDevice();
    EXPECT_EQ(std::vector<int>({lights().IsInitialised(), D3DCore.DeviceActive, int(MatCore.Lights.SlotsUsed), pt::d3d9LiveDevices(),
                                MatCore.Initialised}),
              std::vector<int>({0, 0, 0, 0, 1}));
    L3Shutdown();
    EXPECT_EQ(std::make_pair(0, 0), std::make_pair(int(MatCore.Initialised), int(D3DCore.Initialised)));

    EXPECT_TRUE(EffectSphereInView(Vector3(-1000, 0, 0), 1));
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
