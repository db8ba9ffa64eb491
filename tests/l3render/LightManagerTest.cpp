// The light manager on the scripted card: lights made to the limit, ranked, gathered and switched
// on in the device.
#include "FacadeFixture.h"

#include <cmath>

namespace pt = platform::testing;

namespace {

LightDescription light(DWORD type, const Vector3& at, float range, float colour)
{
    LightDescription d{};
    d.Type = type;
    for (int i = 0; i < 3; ++i) d.Colour[i] = d.Ambient[i] = colour;
    d.Position[0] = at.x, d.Position[1] = at.y, d.Position[2] = at.z;
    d.Direction[0] = 1;
    d.Range = range;
    d.Attenuation0 = 1.0f;
    d.Phi = 0.5f;
    return d;
}

class LightManagerTest : public FacadeFixture {
protected:
    void SetUp() override
    {
        FacadeFixture::SetUp();
        pt::d3d9Config().Adapters[0].DeviceTypes[0].Caps.MaxActiveLights = 8;
        ASSERT_TRUE(startFacade());
        lights().SetLightingEnabled(true);
    }

    CLight* make(const LightDescription& d, bool active = true)
    {
        CLight* l = lights().CreateLight();
        l->SetDesc(&d);
        lights().SetLightActive(l, active);
        return l;
    }

    std::vector<CLight*> gather(const Vector3& at, float radius, uint32_t room)
    {
        std::vector<CLight*> list(room, nullptr);
        lights().GatherLights(at, radius, list.data(), &room);
        list.resize(room);
        return list;
    }

    static std::vector<DWORD> onInDevice()
    {
        std::vector<DWORD> on;
        for (const auto& [index, enabled] : state().LightEnabled)
            if (enabled) on.push_back(index);
        return on;
    }
};

TEST_F(LightManagerTest, LimitsComeFromTheDeviceAndTheRequestAndLightsAreMadeToTheLimit)
{
    // The façade asks for 32 lights; the card shows 8. A second start is reported and keeps both.
    make(light(D3DLIGHT_POINT, Vector3(), 10, 1));
    EXPECT_FALSE(lights().Init(4, 2));
    EXPECT_EQ(testsupport::countReports("Light manager initialised twice"), 1);
    EXPECT_EQ(std::vector<uint32_t>({lights().GetMaxLights(), lights().GetMaxVisibleLights(), lights().GetNumLights()}),
              std::vector<uint32_t>({32, 8, 1}));
    lights().Shutdown();
    EXPECT_EQ(MatCore.Lights.SlotsUsed, 0u);  // the live light went with it, unreported

    ASSERT_TRUE(lights().Init(3, 2));
    EXPECT_EQ(lights().GetMaxVisibleLights(), 2u);
    for (int i = 0; i < 3; ++i) EXPECT_NE(lights().CreateLight(), nullptr);
    EXPECT_EQ(lights().CreateLight(), nullptr);
    CLight stranger;
    EXPECT_FALSE(lights().DestroyLight(&stranger));
    lights().Shutdown();
    // Before Init nothing is made.
    testsupport::clearReports();
    EXPECT_EQ(lights().CreateLight(), nullptr);
    EXPECT_EQ(testsupport::countReports("m_initialised"), 1);
}

TEST_F(LightManagerTest, CandidatesAreRankedByDistanceWeightedByDarkness)
{
    // Reaches a sphere of radius 5 whose centre is 11 away (121 - 25 < 100); out of reach; inactive.
    CLight* near = make(light(D3DLIGHT_POINT, Vector3(11, 0, 0), 10, 0.5f));
    make(light(D3DLIGHT_POINT, Vector3(0, 30, 0), 10, 1));
    make(light(D3DLIGHT_POINT, Vector3(1, 0, 0), 100, 1), false);
    EXPECT_EQ(gather(Vector3(), 5, 4), std::vector<CLight*>({near}));
    // Equal keys keep slot order, brighter counts as nearer, a directional light weighs 100.
    CLight* twin = make(light(D3DLIGHT_POINT, Vector3(-11, 0, 0), 10, 0.5f));
    CLight* bright = make(light(D3DLIGHT_POINT, Vector3(0, 12, 0), 20, 0.9f));  // 0.1 x 144 < 0.5 x 121
    CLight* sun = make(light(D3DLIGHT_DIRECTIONAL, Vector3(), 0, 0.1f));        // 0.9 x 100
    EXPECT_EQ(gather(Vector3(), 5, 8), std::vector<CLight*>({bright, near, twin, sun}));
    EXPECT_NEAR(bright->GetKey(), 14.4f, 1e-3f);
    // A negative key counts as 0, a priority light as -1; the room limits the list.
    CLight* overbright = make(light(D3DLIGHT_POINT, Vector3(0, 0, 1), 10, 2));
    sun->SetPriority(true);
    EXPECT_EQ(gather(Vector3(), 5, 3), std::vector<CLight*>({sun, overbright, bright}));
    EXPECT_EQ(std::vector<float>({sun->GetKey(), overbright->GetKey()}), std::vector<float>({-1, 0}));

    // A spot reaches along its axis and inside its cone (0.38 of 0.5 rad), not outside (0.54), and
    // a model at the light itself.
    lights().SetLightActive(sun, false);
    CLight* spot = make(light(D3DLIGHT_SPOT, Vector3(0, 0, 1000), 100, 1));
    for (const auto& [at, reached] : {std::pair{Vector3(50, 0, 1000), true}, {Vector3(50, 20, 1000), true},
                                      {Vector3(50, 30, 1000), false}, {Vector3(0, 0, 1000), true}})
        EXPECT_EQ(gather(at, 1, 2), reached ? std::vector<CLight*>({spot}) : std::vector<CLight*>()) << at.y;
    EXPECT_FALSE(std::isnan(spot->GetKey()));
}

TEST_F(LightManagerTest, OnlyTheChosenLightsAreOnAndOnlyChangesReachTheDevice)
{
    lights().Shutdown();
    ASSERT_TRUE(lights().Init(32, 2));
    lights().SetLightingEnabled(true);
    CLight* a = make(light(D3DLIGHT_POINT, Vector3(1, 0, 0), 10, 1));
    CLight* b = make(light(D3DLIGHT_POINT, Vector3(2, 0, 0), 10, 1));
    CLight* c = make(light(D3DLIGHT_POINT, Vector3(3, 0, 0), 10, 1));
    const std::vector<CLight*> all = gather(Vector3(), 1, 3);
    ASSERT_EQ(all, std::vector<CLight*>({a, b, c}));
    pt::clearD3D9Calls();
    lights().ApplyLights(all.data(), 3);  // two visible at most
    EXPECT_EQ(onInDevice(), std::vector<DWORD>({a->GetHandle(), b->GetHandle()}));
    EXPECT_EQ(pt::d3d9Calls("LightEnable"), 2);
    // The first light applied is what bump-mapped materials are lit by.
    ASSERT_NE(D3DCore.ProminentLight, nullptr);
    EXPECT_EQ(std::vector<float>(D3DCore.ProminentLight, D3DCore.ProminentLight + 3), std::vector<float>({-1, 0, 0}));
    EXPECT_EQ(D3DCore.ProminentIntensity, 1.0f);

    pt::clearD3D9Calls();
    lights().ApplyLights(all.data(), 2);
    const LightDescription same = a->Desc();
    a->SetDesc(&same);
    EXPECT_EQ(pt::d3d9Calls("LightEnable") + pt::d3d9Calls("SetLight"), 0);
    CLight* swapped[2] = {c, a};
    lights().ApplyLights(swapped, 2);
    EXPECT_EQ(onInDevice(), std::vector<DWORD>({a->GetHandle(), c->GetHandle()}));
    EXPECT_EQ(pt::d3d9Calls("LightEnable"), 2);
    // A null entry changes nothing.
    CLight* holed[2] = {b, nullptr};
    lights().ApplyLights(holed, 2);
    EXPECT_EQ(testsupport::countReports("ppLightList[i]"), 1);
    EXPECT_EQ(onInDevice(), std::vector<DWORD>({a->GetHandle(), c->GetHandle()}));

    // Made inactive, or lighting off: every light goes off.
    lights().SetLightActive(c, false);
    lights().SetLightingEnabled(false);
    EXPECT_TRUE(onInDevice().empty());
}

}  // namespace
