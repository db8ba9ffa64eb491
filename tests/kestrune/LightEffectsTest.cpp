// Light effects on the scripted card: the pool and its handles, fades, the descriptions the light
// manager is given, the light-map parts and the object colour.
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/LightEffects.h"
#include "l3render/Light.h"

#include <array>
#include <cmath>

using testsupport::countReports;

namespace {

LightProperties light(uint8_t type, float range, const std::array<float, 3>& c2 = {1.0f, 0.5f, 0.25f})
{
    LightProperties p{};
    p.effects = LIGHTEFFECT_MODEL | LIGHTEFFECT_LIGHTMAP | LIGHTEFFECT_COLOUR;
    p.type = type;
    p.position = Vector3(200, 300, 400);
    p.direction = Vector3(0.6f, 0, -0.8f);
    for (int i = 0; i < 3; ++i) p.colour1[i] = 0.2f * (i + 1), p.colour2[i] = c2[i];
    p.range = range;
    p.innerCone = 0.3f;
    p.outerCone = 0.5f;
    p.lightMapSize[0] = p.lightMapSize[1] = 40;
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
        testsupport::clearReports();
    }
    void TearDown() override
    {
        ShutdownLightEffects();
        EXPECT_EQ(lights().GetNumLights(), 0u);
        LightingFixture::TearDown();
    }
    static const LightEffect& e(uint16_t h) { return *GetLightEffect(h); }
    static LightDescription desc(uint16_t h)
    {
        LightDescription d{};
        if (e(h).pD3DLight) e(h).pD3DLight->GetDesc(&d);
        return d;
    }
};

TEST_F(LightEffectsTest, ThePoolHoldsThirtyTwoLightsOffUntilSwitchedAndRefusesHandlesOfNoLight)
{
    // Nothing of a directional light can go on the ground: refused, and its record not lost.
    LightProperties mapOnly = light(LIGHT_DIRECTIONAL, 1000);
    mapOnly.effects = LIGHTEFFECT_LIGHTMAP;
    uint16_t h = 7;
    EXPECT_FALSE(CreateLightEffect(mapOnly, &h));
    EXPECT_EQ(h, INVALID_LIGHT);
    std::vector<uint16_t> handles;
    for (int i = 0; i < 32; ++i) {
        ASSERT_TRUE(CreateLightEffect(light(LIGHT_POINT, 1000), &h)) << i;
        EXPECT_FALSE(e(h).on || e(h).pD3DLight->IsActive());
        handles.push_back(h);
    }
    EXPECT_FALSE(CreateLightEffect(light(LIGHT_POINT, 1000), &h));
    EXPECT_EQ(lights().GetNumLights(), 32u);
    // Past the pool: ignored by destroy, refused (and reported) elsewhere.
    for (uint16_t bad : {uint16_t(32), uint16_t(0xFFFE), INVALID_LIGHT}) {
        EXPECT_FALSE(IsLightEffectValid(bad));
        DestroyLightEffect(bad, true);
    }
    EXPECT_EQ(testsupport::reports().size(), 1u);  // the refused directional light's
    LightProperties out{};
    EXPECT_FALSE(GetLightEffectProperties(40, &out) || SetLightEffectProperties(40, light(LIGHT_POINT, 1)));
    DestroyLightEffect(handles[5], true);
    DestroyLightEffect(handles[5], true);
    EXPECT_EQ(countReports("Tried to destroy a non-existent light"), 1);
    ASSERT_TRUE(CreateLightEffect(light(LIGHT_POINT, 1000), &h));
    EXPECT_EQ(h, handles[5]);
    EXPECT_TRUE(DestroyAllLightEffects());
    EXPECT_EQ(GetNumLightEffects(), 0);
    EXPECT_EQ(lights().GetNumLights(), 0u);
}

TEST_F(LightEffectsTest, LightsFadeInAndOutAndACondemnedLightFreesItselfAtTheEnd)
{
    LightProperties p = light(LIGHT_POINT, 1000);
    p.fadeInDelay = 200;
    p.fadeOutDelay = 500;
    uint16_t h = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(p, &h));
    SwitchLightEffect(h, true);
    EXPECT_TRUE(e(h).pD3DLight->IsActive());
    UpdateLightEffects(100);
    // Half way: the manager's first colour is the properties' second, each at half strength.
    const LightDescription d = desc(h);
    EXPECT_EQ(std::vector<float>({d.Colour[0], d.Colour[2], d.Ambient[1], d.Attenuation0, d.Attenuation1}),
              std::vector<float>({0.5f, 0.125f, 0.2f, 0.0f, 1.0f / 150.0f}));
    EXPECT_EQ(e(h).lightmap.NearColour, 0xFF7F3F1Fu);
    UpdateLightEffects(100);
    EXPECT_EQ(e(h).fadeProgress, 1.0f);
    EXPECT_EQ(e(h).state, 0u);

    // Condemned: it fades out over 500 ms, refuses switching and a second destroy, then goes.
    DestroyLightEffect(h, false);
    DestroyLightEffect(h, false);
    SwitchLightEffect(h, true);
    EXPECT_EQ(countReports("Tried to destroy a light twice"), 1);
    EXPECT_EQ(testsupport::reports().size(), 2u);
    UpdateLightEffects(400);
    EXPECT_NEAR(desc(h).Colour[0], 0.2f, 1e-5f);
    UpdateLightEffects(100);
    EXPECT_FALSE(IsLightEffectValid(h));
    EXPECT_EQ(lights().GetNumLights(), 0u);

    // Switched off with a fade-out delay it stays on until the fade ends, and is kept.
    ASSERT_TRUE(CreateLightEffect(p, &h));
    SwitchLightEffect(h, true);
    UpdateLightEffects(200);
    SwitchLightEffect(h, false);
    EXPECT_TRUE(e(h).on);
    UpdateLightEffects(600);
    EXPECT_FALSE(e(h).on || e(h).pD3DLight->IsActive());
    EXPECT_EQ(e(h).fadeProgress, 0.0f);
    EXPECT_TRUE(IsLightEffectValid(h));
}

TEST_F(LightEffectsTest, EachTypeDescribesItsLightAndPartsComeAndGoWithTheProperties)
{
    uint16_t h = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(light(LIGHT_SPOT, 800), &h));
    const LightDescription d = desc(h);
    EXPECT_EQ(d.Type, static_cast<DWORD>(D3DLIGHT_SPOT));
    EXPECT_EQ(std::vector<float>({d.Falloff, d.Attenuation1, d.Theta, d.Phi, d.Direction[0], d.Position[2]}),
              std::vector<float>({1.0f, 4.0f / 800.0f, 0.3f, 0.5f, 0.6f, 400.0f}));
    EXPECT_EQ(e(h).lightmap.Map, LightMapLight::DEFAULT_SPOT_MAP);
    EXPECT_FLOAT_EQ(e(h).lightmap.FarSize[0], std::tan(0.2f) * 800 * 1.75f);

    // A directional light has no light map, nor a spot light of no range, nor a light asking for a
    // map that is not loaded: the other parts are made.
    LightProperties p[] = {light(LIGHT_DIRECTIONAL, 1000), light(LIGHT_SPOT, 0), light(LIGHT_POINT, 10)};
    p[2].ownLightMap = 1;
    p[2].lightMapIndex = 3;
    LightProperties got{};
    for (const LightProperties& q : p) {
        ASSERT_TRUE(SetLightEffectProperties(h, q) && GetLightEffectProperties(h, &got));
        EXPECT_EQ(got.effects, LIGHTEFFECT_MODEL | LIGHTEFFECT_COLOUR) << int(q.type);
    }
    EXPECT_EQ(countReports("properties.range > EPSILON") + countReports("NumLightMaps()"), 2);
    p[0].effects = LIGHTEFFECT_COLOUR;  // the model light goes back to the manager
    ASSERT_TRUE(SetLightEffectProperties(h, p[0]));
    EXPECT_EQ(e(h).pD3DLight, nullptr);
    p[0].effects = 0;
    EXPECT_FALSE(SetLightEffectProperties(h, p[0]));
    // A colour beyond 0..1 is clamped channel by channel in the glow; its own map 0.
    LightProperties bright = light(LIGHT_POINT, 10, {2.0f, -1.0f, 0.5f});
    bright.ownLightMap = 1;
    ASSERT_TRUE(SetLightEffectProperties(h, bright));
    EXPECT_EQ(e(h).lightmap.Map, 0u);
    EXPECT_EQ(e(h).lightmap.NearColour, 0xFFFF007Fu);
    EXPECT_FLOAT_EQ(e(h).lightmap.FarSize[1], 17.5f);
}

TEST_F(LightEffectsTest, TheObjectColourAddsTheLightsThatAreOn)
{
    LightProperties red = light(LIGHT_POINT, 10, {1, 0, 0});
    red.position = Vector3(5, 0, 0);
    LightProperties sun = light(LIGHT_DIRECTIONAL, 0, {0, 0, 0.2f}), spot = sun, excluded = sun;
    sun.colour1[2] = 0.2f;
    sun.colour1[0] = sun.colour1[1] = 0;
    spot.type = LIGHT_SPOT;
    excluded.noObjectColour = 1;
    uint16_t h = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(red, &h));
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3()), 0x808080u);  // still off
    SwitchLightEffect(h, true);
    // 0.5 plus the red share (1 - d² / range²), rounded and clamped.
    const std::pair<Vector3, uint32_t> rows[] = {{Vector3(0, 0, 0), 0xFF8080u},   // 0.5 + 0.75
                                                 {Vector3(5, 8, 0), 0xDB8080u},   // 0.5 + 0.36: 219.3
                                                 {Vector3(5, 10, 0), 0x808080u}}; // at the range
    for (const auto& [at, colour] : rows) EXPECT_EQ(GetLightEffectColourAtPoint(at), colour) << at.y;
    for (const LightProperties& p : {sun, spot, excluded}) {
        ASSERT_TRUE(CreateLightEffect(p, &h));
        SwitchLightEffect(h, true);
    }
    // (0.2 + 0.2) x 0.75 from the directional light; the spot and the excluded light add nothing.
    EXPECT_EQ(GetLightEffectColourAtPoint(Vector3(50, 50, 0)), 0x8080CCu);
}

}  // namespace
