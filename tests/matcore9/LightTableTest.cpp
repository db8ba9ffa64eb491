// The light table on the scripted card: slots, what reaches the device, and a reset in between.
#include "MatFixture.h"

namespace pt = platform::testing;

namespace {

class LightTableTest : public MatFixture {
protected:
    void TearDown() override
    {
        LightTable& t = MatCore.Lights;
        for (uint32_t i = 0; i < MAXLIGHTS; ++i) {
            if (t.Used[i] && t.Active[i]) t.LightEnable(i, false);
            if (t.Used[i]) t.FreeLight(i);
        }
        MatFixture::TearDown();
    }

    static LightDescription spot(float r)
    {
        return LightDescription{D3DLIGHT_SPOT, {r, 0.5f, 0.25f}, {0.1f, 0.2f, 0.3f}, {1, 2, 3}, {0, 0, 1},
                                50.0f, 1.0f, 1.0f, 0.1f, 0.01f, 0.5f, 1.0f};
    }
};

TEST_F(LightTableTest, SlotsAreTakenLowestFirstAndBadHandlesAreRefused)
{
    ASSERT_TRUE(bringUp());
    LightTable& t = MatCore.Lights;
    EXPECT_EQ(GetMaxLights(), 128u);
    for (uint32_t i = 0; i < MAXLIGHTS; ++i) ASSERT_EQ(t.AllocLight(), i);
    testsupport::clearReports();
    // Full: no slot 128, nothing changes.
    EXPECT_EQ(t.AllocLight(), LIGHT_NONE);
    EXPECT_EQ(testsupport::countReports("SlotsUsed < MAXLIGHTS"), 1);
    EXPECT_EQ(t.SlotsUsed, 128u);
    t.FreeLight(5);
    t.FreeLight(0);
    EXPECT_EQ(t.FirstUsed, 1u);
    EXPECT_EQ(t.AllocLight(), 0u);
    EXPECT_EQ(t.AllocLight(), 5u);
    for (uint32_t i = MAXLIGHTS; i-- > 0;) t.FreeLight(i);
    EXPECT_EQ(std::vector<uint32_t>({t.FirstUsed, t.LastUsed, t.FirstFree, t.SlotsUsed}),
              std::vector<uint32_t>({127, 0, 0, 0}));
    testsupport::clearReports();
    // Past the table or unused: reported and refused.
    t.FreeLight(128);
    t.SetLight(200, spot(1));
    t.LightEnable(3, true);
    EXPECT_FALSE(t.IsLightEnabled(MAXLIGHTS));
    EXPECT_EQ(testsupport::countReports("Handle < MAXLIGHTS"), 3);
    EXPECT_EQ(testsupport::countReports("Used[Handle]"), 1);
    EXPECT_EQ(t.SlotsUsed + t.ActiveLights, 0u);
    EXPECT_TRUE(state().Lights.empty());
}

TEST_F(LightTableTest, DescriptionsAndSwitchesReachTheDeviceAndSurviveAReset)
{
    caps().MaxActiveLights = 255;
    ASSERT_TRUE(bringUpLibrary());
    EXPECT_EQ(GetMaxActiveLights(), 128u);
    LightTable& t = MatCore.Lights;
    const uint32_t a = t.AllocLight(), b = t.AllocLight();
    t.SetLight(a, spot(1.0f));
    t.SetLight(b, spot(0.5f));
    const D3DLIGHT9& sent = state().Lights.at(a);
    // The highlight colour is half the diffuse one, without alpha.
    EXPECT_EQ(std::vector<float>({sent.Diffuse.a, sent.Specular.b, sent.Specular.a, sent.Range}),
              std::vector<float>({1, 0.125f, 0, 50}));

    t.LightEnable(a, true);
    t.LightEnable(b, true);
    pt::setD3D9Trace(true);
    pt::clearD3D9Calls();
    testsupport::clearReports();
    t.LightEnable(a, true);  // already on: reported, nothing sent
    EXPECT_EQ(pt::d3d9Calls("LightEnable"), 0);
    t.FreeLight(b);  // on: reported, switched off first
    EXPECT_EQ(testsupport::reports().size(), 2u);
    EXPECT_EQ(state().LightEnabled.at(b), FALSE);
    EXPECT_EQ(t.ActiveLights, 1u);

    // A lost device comes back with every described light, the one that was on switched on.
    const uint32_t c = t.AllocLight();
    t.SetLight(c, spot(0.25f));
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);
    D3DCore.BeginScene(true, false);
    D3DCore.EndScene(true);
    ASSERT_EQ(state().Lights.count(c), 1u);
    EXPECT_EQ(state().Lights.at(c).Diffuse.r, 0.25f);
    EXPECT_EQ(state().LightEnabled.at(a), TRUE);
    EXPECT_EQ(state().LightEnabled.count(c), 0u);
}

}  // namespace
