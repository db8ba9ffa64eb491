// Light effects on the scripted card: the pool and its handles, fades, the descriptions the light
// manager is given, the light-map parts and the object colour.
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/LightEffects.h"
#include "l3render/Light.h"

#include <cmath>

using testsupport::countReports;

namespace {

LightProperties pointLight(float range = 1000.0f)
{
    LightProperties p{};
    p.effects = LIGHTEFFECT_MODEL | LIGHTEFFECT_LIGHTMAP | LIGHTEFFECT_COLOUR;
    p.type = LIGHT_POINT;
    p.position = Vector3(200, 300, 400);
    p.direction = Vector3(0, 0, -1);
    const float c1[3] = {0.2f, 0.4f, 0.6f}, c2[3] = {1.0f, 0.5f, 0.25f};
    for (int i = 0; i < 3; ++i) p.colour1[i] = c1[i], p.colour2[i] = c2[i];
    p.range = range;
    p.lightMapSize[0] = 30;
    p.lightMapSize[1] = 40;
    return p;
}

class LightEffectsTest : public LightingFixture {
protected:
    void SetUp() override
    {
        LightingFixture::SetUp();
        ASSERT_TRUE(startFacade());
        ground(8, [](int32_t, int32_t) { return 0; });
        ASSERT_TRUE(InitLightEffects(32));
        EXPECT_EQ(LightMaps.NumLightMaps(), 2u);
        testsupport::clearReports();
    }
    void TearDown() override
    {
        ShutdownLightEffects();
        EXPECT_EQ(lights().GetNumLights(), 0u);
        LightingFixture::TearDown();
    }

    static LightDescription desc(uint16_t handle)
    {
        LightDescription d{};
        const LightEffect* e = GetLightEffect(handle);
        if (e && e->pD3DLight) e->pD3DLight->GetDesc(&d);
        return d;
    }
    static float progress(uint16_t handle) { return GetLightEffect(handle)->fadeProgress; }
};

TEST_F(LightEffectsTest, ThePoolHoldsThirtyTwoLightsAndRefusesHandlesOfNoLight)
{
    uint16_t handle = 7;
    // Nothing of a directional light can go on the ground: refused, and its record not lost.
    LightProperties mapOnly = pointLight();
    mapOnly.type = LIGHT_DIRECTIONAL;
    mapOnly.effects = LIGHTEFFECT_LIGHTMAP;
    EXPECT_FALSE(CreateLightEffect(mapOnly, &handle));
    EXPECT_EQ(handle, INVALID_LIGHT);
    EXPECT_EQ(countReports("No part of the light effect could be made"), 1);
    EXPECT_EQ(GetNumLightEffects(), 0);

    std::vector<uint16_t> handles;
    for (int i = 0; i < 32; ++i) {
        ASSERT_TRUE(CreateLightEffect(pointLight(), &handle)) << i;
        handles.push_back(handle);
        // A new light is off until it is switched on.
        EXPECT_FALSE(GetLightEffect(handle)->on);
        EXPECT_FALSE(GetLightEffect(handle)->pD3DLight->IsActive());
    }
    EXPECT_FALSE(CreateLightEffect(pointLight(), &handle));
    EXPECT_EQ(GetNumLightEffects(), 32);
    EXPECT_EQ(lights().GetNumLights(), 32u);

    // Handles past the pool are no light's: ignored by destroy, refused elsewhere.
    testsupport::clearReports();
    for (uint16_t bad : {uint16_t(32), uint16_t(0xFFFE), INVALID_LIGHT}) {
        EXPECT_FALSE(IsLightEffectValid(bad));
        DestroyLightEffect(bad, true);
    }
    EXPECT_TRUE(testsupport::reports().empty());
    LightProperties out{};
    EXPECT_FALSE(GetLightEffectProperties(40, &out));
    EXPECT_FALSE(SetLightEffectProperties(40, pointLight()));
    SwitchLightEffect(40, true);
    EXPECT_EQ(testsupport::reports().size(), 3u);

    DestroyLightEffect(handles[5], true);
    EXPECT_FALSE(IsLightEffectValid(handles[5]));
    DestroyLightEffect(handles[5], true);
    EXPECT_EQ(countReports("Tried to destroy a non-existent light"), 1);
    ASSERT_TRUE(CreateLightEffect(pointLight(), &handle));
    EXPECT_EQ(handle, handles[5]);

    EXPECT_TRUE(DestroyAllLightEffects());
    EXPECT_EQ(GetNumLightEffects(), 0);
    EXPECT_EQ(lights().GetNumLights(), 0u);
    for (int i = 0; i < 32; ++i) EXPECT_TRUE(CreateLightEffect(pointLight(), &handle));
}

TEST_F(LightEffectsTest, LightsFadeInAndOutAndACondemnedLightFreesItselfAtTheEnd)
{
    LightProperties p = pointLight();
    p.fadeInDelay = 200;
    p.fadeOutDelay = 500;
    uint16_t light = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(p, &light));
    EXPECT_EQ(progress(light), 0.0f);
    EXPECT_EQ(desc(light).Colour[0], 0.0f);
    SwitchLightEffect(light, true);
    EXPECT_TRUE(GetLightEffect(light)->pD3DLight->IsActive());
    EXPECT_EQ(GetLightEffect(light)->state, LightEffect::STATE_FADINGIN);

    UpdateLightEffects(100);
    EXPECT_FLOAT_EQ(progress(light), 0.5f);
    // The manager's first colour is the properties' second, each at the light's strength.
    LightDescription d = desc(light);
    EXPECT_EQ(d.Type, static_cast<DWORD>(D3DLIGHT_POINT));
    EXPECT_FLOAT_EQ(d.Colour[0], 0.5f);
    EXPECT_FLOAT_EQ(d.Colour[2], 0.125f);
    EXPECT_FLOAT_EQ(d.Ambient[1], 0.2f);
    EXPECT_FLOAT_EQ(d.Attenuation1, 1.0f / 150.0f);
    EXPECT_EQ(d.Attenuation0, 0.0f);
    EXPECT_FLOAT_EQ(d.Range, 1000.0f);
    EXPECT_EQ(GetLightEffect(light)->lightmap.NearColour, 0xFF7F3F1Fu);
    UpdateLightEffects(100);
    EXPECT_EQ(progress(light), 1.0f);
    EXPECT_EQ(GetLightEffect(light)->state, 0u);
    EXPECT_FLOAT_EQ(desc(light).Colour[0], 1.0f);

    // Condemned: it fades out over 500 ms, refuses switching and a second destroy, then goes.
    DestroyLightEffect(light, false);
    DestroyLightEffect(light, false);
    EXPECT_EQ(countReports("Tried to destroy a light twice"), 1);
    SwitchLightEffect(light, true);
    EXPECT_EQ(testsupport::reports().size(), 2u);
    for (int ms = 0; ms < 400; ms += 100) UpdateLightEffects(100);
    EXPECT_TRUE(IsLightEffectValid(light));
    EXPECT_NEAR(progress(light), 0.2f, 1e-5f);
    EXPECT_NEAR(desc(light).Colour[0], 0.2f, 1e-5f);
    UpdateLightEffects(100);
    EXPECT_FALSE(IsLightEffectValid(light));
    EXPECT_EQ(GetNumLightEffects(), 0);
    EXPECT_EQ(lights().GetNumLights(), 0u);

    // Switched off with a fade-out delay it fades and ends off, still held; without one, at once.
    p.fadeInDelay = 0;
    ASSERT_TRUE(CreateLightEffect(p, &light));
    SwitchLightEffect(light, true);
    EXPECT_EQ(progress(light), 1.0f);
    SwitchLightEffect(light, false);
    EXPECT_TRUE(GetLightEffect(light)->on);
    UpdateLightEffects(600);
    EXPECT_FALSE(GetLightEffect(light)->on);
    EXPECT_FALSE(GetLightEffect(light)->pD3DLight->IsActive());
    EXPECT_EQ(progress(light), 0.0f);
    EXPECT_TRUE(IsLightEffectValid(light));
    p.fadeOutDelay = 0;
    ASSERT_TRUE(SetLightEffectProperties(light, p));
    SwitchLightEffect(light, true);
    SwitchLightEffect(light, false);
    EXPECT_FALSE(GetLightEffect(light)->on);
    EXPECT_EQ(progress(light), 0.0f);
    EXPECT_EQ(testsupport::reports().size(), 2u);  // the two above
}

TEST_F(LightEffectsTest, EachTypeDescribesItsLightAndPartsComeAndGoWithTheProperties)
{
    LightProperties spot = pointLight(800);
    spot.type = LIGHT_SPOT;
    spot.direction = Vector3(0.6f, 0, -0.8f);
    spot.innerCone = 0.3f;
    spot.outerCone = 0.5f;
    spot.noObjectColour = 1;
    uint16_t light = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(spot, &light));
    LightDescription d = desc(light);
    EXPECT_EQ(d.Type, static_cast<DWORD>(D3DLIGHT_SPOT));
    EXPECT_EQ(d.Falloff, 1.0f);
    EXPECT_FLOAT_EQ(d.Attenuation1, 4.0f / 800.0f);
    EXPECT_EQ(d.Theta, 0.3f);
    EXPECT_EQ(d.Phi, 0.5f);
    EXPECT_EQ(d.Direction[0], 0.6f);
    EXPECT_EQ(d.Position[2], 400.0f);
    const LightMapLight& map = GetLightEffect(light)->lightmap;
    EXPECT_EQ(map.Type, LightMapLight::TYPE_SPOT);
    EXPECT_EQ(map.Map, LightMapLight::DEFAULT_SPOT_MAP);
    EXPECT_FLOAT_EQ(map.FarSize[0], std::tan(0.2f) * 800 * 1.75f);
    EXPECT_EQ(map.NearSize[1], 40.0f);
    EXPECT_EQ(map.FarColour, 0xFF000000u);

    LightProperties sun = pointLight();
    sun.type = LIGHT_DIRECTIONAL;
    ASSERT_TRUE(SetLightEffectProperties(light, sun));
    d = desc(light);
    EXPECT_EQ(d.Type, static_cast<DWORD>(D3DLIGHT_DIRECTIONAL));
    EXPECT_EQ(d.Direction[2], -1.0f);
    // A directional light has no light map: the part asked for is not made.
    LightProperties got{};
    ASSERT_TRUE(GetLightEffectProperties(light, &got));
    EXPECT_EQ(got.effects, LIGHTEFFECT_MODEL | LIGHTEFFECT_COLOUR);

    sun.effects = LIGHTEFFECT_COLOUR;
    ASSERT_TRUE(SetLightEffectProperties(light, sun));
    EXPECT_EQ(GetLightEffect(light)->pD3DLight, nullptr);
    EXPECT_EQ(lights().GetNumLights(), 0u);
    sun.effects = 0;
    EXPECT_FALSE(SetLightEffectProperties(light, sun));

    // Light-map parts that cannot be made: a spot light of no range, a map not loaded.
    testsupport::clearReports();
    spot.range = 0;
    ASSERT_TRUE(SetLightEffectProperties(light, spot));
    EXPECT_EQ(countReports("properties.range > EPSILON"), 1);
    spot.range = 800;
    spot.ownLightMap = 1;
    spot.lightMapIndex = 2;
    ASSERT_TRUE(SetLightEffectProperties(light, spot));
    EXPECT_EQ(countReports("NumLightMaps()"), 1);
    ASSERT_TRUE(GetLightEffectProperties(light, &got));
    EXPECT_EQ(got.effects, LIGHTEFFECT_MODEL | LIGHTEFFECT_COLOUR);
    spot.lightMapIndex = 1;
    LightProperties bright = pointLight(10);
    const float c2[3] = {2.0f, -1.0f, 0.5f};
    for (int i = 0; i < 3; ++i) bright.colour2[i] = c2[i];
    bright.ownLightMap = 1;
    bright.lightMapIndex = 0;
    ASSERT_TRUE(SetLightEffectProperties(light, bright));
    EXPECT_EQ(GetLightEffect(light)->lightmap.Map, 0u);
    EXPECT_EQ(GetLightEffect(light)->lightmap.NearColour, 0xFFFF007Fu);
    EXPECT_FLOAT_EQ(GetLightEffect(light)->lightmap.FarSize[1], 17.5f);
}

TEST_F(LightEffectsTest, TheObjectColourAddsTheLightsThatAreOn)
{
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3()), 0x808080u);
    LightProperties red = pointLight(10);
    const float c2[3] = {1, 0, 0};
    for (int i = 0; i < 3; ++i) red.colour2[i] = c2[i];
    red.position = Vector3(5, 0, 0);
    uint16_t light = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(red, &light));
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3()), 0x808080u);  // still off
    SwitchLightEffect(light, true);
    // 0.5 plus the red share (1 - d² / range²), rounded and clamped.
    const std::pair<Vector3, uint32_t> rows[] = {
        {Vector3(0, 0, 0), 0xFF8080u},   // 0.5 + 0.75
        {Vector3(5, 8, 0), 0xDB8080u},   // 0.5 + 0.36: 219.3
        {Vector3(5, 10, 0), 0x808080u},  // at the range
    };
    for (const auto& [at, colour] : rows) EXPECT_EQ(GetLightEffectColourAtPoint(at), colour) << at.x << " " << at.y;

    LightProperties sun = pointLight();
    sun.type = LIGHT_DIRECTIONAL;
    sun.effects = LIGHTEFFECT_COLOUR;
    const float blue[3] = {0, 0, 0.2f};
    for (int i = 0; i < 3; ++i) sun.colour1[i] = blue[i], sun.colour2[i] = blue[i];
    ASSERT_TRUE(CreateLightEffect(sun, &light));
    SwitchLightEffect(light, true);
    LightProperties spot = sun;
    spot.type = LIGHT_SPOT;
    ASSERT_TRUE(CreateLightEffect(spot, &light));
    SwitchLightEffect(light, true);
    LightProperties excluded = sun;
    excluded.noObjectColour = 1;
    ASSERT_TRUE(CreateLightEffect(excluded, &light));
    SwitchLightEffect(light, true);
    // (0.2 + 0.2) x 0.75 from the one directional light; the spot and the excluded light add nothing.
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3(50, 50, 0)), 0x8080CCu);
}

}  // namespace
