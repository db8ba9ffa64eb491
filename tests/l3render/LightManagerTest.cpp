// The light manager on the scripted card: lights made to the limit, ranked, gathered and switched
// on in the device, and what a lost device leaves of them.
#include "FacadeFixture.h"

#include <cmath>

namespace pt = platform::testing;

namespace {

LightDescription point(float x, float y, float z, float range, float colour)
{
    LightDescription d{};
    d.Type = D3DLIGHT_POINT;
    for (int i = 0; i < 3; ++i) d.Colour[i] = d.Ambient[i] = colour;
    d.Position[0] = x, d.Position[1] = y, d.Position[2] = z;
    d.Range = range;
    d.Attenuation0 = 1.0f;
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
        CLight* light = lights().CreateLight();
        if (!light) return nullptr;
        light->SetDesc(&d);
        lights().SetLightActive(light, active);
        return light;
    }

    std::vector<CLight*> gather(const Vector3& at, float radius, uint32_t room)
    {
        std::vector<CLight*> list(room, nullptr);
        uint32_t n = room;
        lights().GatherLights(at, radius, list.data(), &n);
        list.resize(n);
        return list;
    }

    // The device lights that are on.
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
    // The façade asks for 32 lights; 8 are visible on this card.
    EXPECT_EQ(lights().GetMaxLights(), 32u);
    EXPECT_EQ(lights().GetMaxVisibleLights(), 8u);
    // A second start is reported and keeps what lives.
    CLight* kept = make(point(0, 0, 0, 10, 1));
    EXPECT_FALSE(lights().Init(4, 2));
    EXPECT_EQ(testsupport::countReports("Light manager initialised twice"), 1);
    EXPECT_EQ(lights().GetMaxLights(), 32u);
    EXPECT_TRUE(lights().DestroyLight(kept));
    lights().Shutdown();

    ASSERT_TRUE(lights().Init(3, 2));
    EXPECT_EQ(lights().GetMaxVisibleLights(), 2u);
    std::vector<CLight*> made;
    while (CLight* light = lights().CreateLight()) made.push_back(light);
    EXPECT_EQ(made.size(), 3u);
    EXPECT_EQ(MatCore.Lights.SlotsUsed, 3u);
    CLight stranger;
    testsupport::clearReports();
    EXPECT_FALSE(lights().DestroyLight(&stranger));
    EXPECT_EQ(testsupport::countReports("Tried to destroy non-existent light"), 1);
    // Shutdown takes the lights still held, without a leak report.
    lights().Shutdown();
    EXPECT_EQ(testsupport::countReports("Shutdown leaked lights"), 0);
    EXPECT_EQ(MatCore.Lights.SlotsUsed, 0u);

    // Before Init, and with null lights or lists, nothing changes.
    testsupport::clearReports();
    EXPECT_EQ(lights().CreateLight(), nullptr);
    uint32_t n = 1;
    CLight* list[1] = {nullptr};
    lights().GatherLights(Vector3(), 1, list, &n);
    EXPECT_EQ(testsupport::countReports("m_initialised"), 2);
    ASSERT_TRUE(lights().Init(32, 0));
    lights().SetLightActive(nullptr, true);
    lights().GatherLights(Vector3(), 1, nullptr, &n);
    std::vector<std::string> checks;
    for (const auto& r : testsupport::reports()) checks.push_back(r.expression);
    EXPECT_EQ(checks, std::vector<std::string>({"m_initialised", "m_initialised", "pLight", "ppLightList"}));
    EXPECT_EQ(n, 1u);
}

TEST_F(LightManagerTest, CandidatesAreRankedByWeightedDistance)
{
    // Reaches a sphere of radius 5 whose centre is 11 away: 121 - 25 < 100.
    CLight* near = make(point(11, 0, 0, 10, 0.5f));
    CLight* outOfRange = make(point(0, 30, 0, 10, 1.0f));
    CLight* inactive = make(point(1, 0, 0, 100, 1.0f), false);
    EXPECT_EQ(gather(Vector3(), 5, 4), std::vector<CLight*>({near}));
    (void)outOfRange, (void)inactive;

    // Equal keys keep slot order; brighter lights count as nearer; a priority light comes first.
    CLight* twin = make(point(-11, 0, 0, 10, 0.5f));
    CLight* bright = make(point(0, 12, 0, 20, 0.9f));  // (1 - 0.9) x 144 = 14.4 < 0.5 x 121
    LightDescription sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Colour[0] = 0.2f;  // (1 - 0.2 / 6) x 100 = 96.7
    sun.Direction[2] = -1;
    CLight* directional = make(sun);
    EXPECT_EQ(gather(Vector3(), 5, 8), std::vector<CLight*>({bright, near, twin, directional}));
    EXPECT_NEAR(bright->GetKey(), 14.4f, 1e-3f);
    CLight* overbright = make(point(0, 0, 1, 10, 2.0f));  // a negative key counts as 0
    directional->SetPriority(true);
    EXPECT_EQ(gather(Vector3(), 5, 3), std::vector<CLight*>({directional, overbright, bright}));
    EXPECT_EQ(overbright->GetKey(), 0.0f);
    EXPECT_EQ(directional->GetKey(), -1.0f);

    // Fewer candidates than room: the count comes down. Lighting off: list and count untouched.
    EXPECT_EQ(gather(Vector3(0, 0, 500), 1, 4), std::vector<CLight*>({directional}));
    lights().SetLightingEnabled(false);
    CLight* list[2] = {nullptr, nullptr};
    uint32_t n = 2;
    lights().GatherLights(Vector3(), 5, list, &n);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(list[0], nullptr);
}

TEST_F(LightManagerTest, SpotLightsReachWhatLiesInsideTheirCone)
{
    LightDescription d = point(0, 0, 0, 100, 1.0f);
    d.Type = D3DLIGHT_SPOT;
    d.Direction[0] = 1;
    d.Phi = 0.5f;
    CLight* spot = make(d);
    // Along the axis, inside the cone, off it, and a model standing at the light itself.
    EXPECT_EQ(gather(Vector3(50, 0, 0), 1, 2).size(), 1u);
    EXPECT_EQ(gather(Vector3(50, 20, 0), 1, 2).size(), 1u);  // 0.38 rad
    EXPECT_EQ(gather(Vector3(50, 30, 0), 1, 2).size(), 0u);  // 0.54 rad
    EXPECT_EQ(gather(Vector3(0, 0, 0), 1, 2), std::vector<CLight*>({spot}));
    EXPECT_FALSE(std::isnan(spot->GetKey()));
}

TEST_F(LightManagerTest, OnlyTheChosenLightsAreOnAndOnlyChangesReachTheDevice)
{
    lights().Shutdown();
    ASSERT_TRUE(lights().Init(32, 2));
    lights().SetLightingEnabled(true);
    CLight* a = make(point(1, 0, 0, 10, 1.0f));
    CLight* b = make(point(2, 0, 0, 10, 1.0f));
    CLight* c = make(point(3, 0, 0, 10, 1.0f));
    const std::vector<CLight*> all = gather(Vector3(), 1, 3);
    ASSERT_EQ(all, std::vector<CLight*>({a, b, c}));
    pt::clearD3D9Calls();
    lights().ApplyLights(all.data(), 3);  // two visible at most
    EXPECT_EQ(onInDevice(), std::vector<DWORD>({a->GetHandle(), b->GetHandle()}));
    EXPECT_EQ(pt::d3d9Calls("LightEnable"), 2);
    EXPECT_TRUE(a->IsEnabled() && b->IsEnabled() && !c->IsEnabled());
    // The brightest light applied is what bump-mapped materials are lit by.
    ASSERT_NE(D3DCore.ProminentLight, nullptr);
    EXPECT_EQ(std::vector<float>(D3DCore.ProminentLight, D3DCore.ProminentLight + 3), std::vector<float>({-1, 0, 0}));
    EXPECT_EQ(D3DCore.ProminentIntensity, 1.0f);

    pt::clearD3D9Calls();
    lights().ApplyLights(all.data(), 2);
    EXPECT_EQ(pt::d3d9Calls("LightEnable"), 0);
    CLight* swapped[2] = {c, a};
    lights().ApplyLights(swapped, 2);
    EXPECT_EQ(onInDevice(), std::vector<DWORD>({a->GetHandle(), c->GetHandle()}));
    EXPECT_EQ(pt::d3d9Calls("LightEnable"), 2);
    // A description sent again unchanged does not reach the device.
    pt::clearD3D9Calls();
    const LightDescription same = a->Desc();
    a->SetDesc(&same);
    EXPECT_EQ(pt::d3d9Calls("SetLight"), 0);

    // A null entry changes nothing.
    testsupport::clearReports();
    CLight* holed[2] = {b, nullptr};
    lights().ApplyLights(holed, 2);
    EXPECT_EQ(testsupport::countReports("ppLightList[i]"), 1);
    EXPECT_EQ(onInDevice(), std::vector<DWORD>({a->GetHandle(), c->GetHandle()}));

    // Across a lost device the lights come back as they were.
    pt::queueTestCooperativeLevel(D3DERR_DEVICENOTRESET);
    D3DCore.BeginScene(true, false);
    D3DCore.EndScene(true);
    ASSERT_EQ(pt::d3d9ResetParameters().size(), 1u);
    EXPECT_EQ(onInDevice(), std::vector<DWORD>({a->GetHandle(), c->GetHandle()}));
    EXPECT_EQ(state().Lights.at(b->GetHandle()).Position.x, 2.0f);
    pt::clearD3D9Calls();
    lights().ApplyLights(swapped, 2);
    EXPECT_EQ(pt::d3d9Calls("LightEnable"), 0);

    // Inactive or switched-off lighting: every light goes off.
    lights().SetLightActive(c, false);
    lights().SetLightingEnabled(false);
    EXPECT_TRUE(onInDevice().empty());
}

}  // namespace
