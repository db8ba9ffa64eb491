// Light maps, the vehicle shadow and fog puffs drawn on the OpenGL renderer headless, seen from
// straight above: 1000 units of ground across the 640 pixels of the screen (0.64 pixels a unit),
// the screen's middle over (3200, 3200).
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/LightMaps.h"
#include "kestrune/Shadows.h"
#include "kestrune/VolumeFog.h"
#include "platform/testing.h"

namespace pt = platform::testing;

namespace {

const float CAMERA_HEIGHT = 1007.0f;  // 1000 above the light maps (7 over the ground)
const float PIXELS_A_UNIT = 0.64f;

class LightingPixelTest : public LightingFixture {
protected:
    void SetUp() override
    {
        LightingFixture::SetUp();
        ASSERT_TRUE(startPixels());
        D3DCore.SetClearColour(true, 0, 0, 0);
        ground(64, [](int32_t, int32_t) { return 0; });
    }
    void TearDown() override
    {
        if (LightMaps.IsInitialised()) LightMaps.Shutdown();
        ShutdownShadows();
        ReleaseVolumeFog();
        SetVolumePuffRenderer(nullptr);
        pt::setManualClock(false);
        LightingFixture::TearDown();
    }

    // The brightest channel of the pixel over the world point (x, y) on the ground.
    static int at(const std::vector<DWORD>& image, float x, float y)
    {
        const int px = static_cast<int>(320 + (x - 3200) * PIXELS_A_UNIT);
        const int py = static_cast<int>(240 - (y - 3200) * PIXELS_A_UNIT);
        const DWORD p = image[static_cast<size_t>(py) * 640 + px];
        return std::max({static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF), static_cast<int>(p & 0xFF)});
    }

    std::vector<DWORD> lightMap(const LightMapLight& light)
    {
        frameLookingDown(3200, 3200, CAMERA_HEIGHT, 100, [&] {
            LightMaps.BeginLightMapping();
            LightMaps.DrawLightMapLight(light);
            LightMaps.EndLightMapping();
        });
        return pixels();
    }
};

TEST_F(LightingPixelTest, APointLightsGlowSpreadsAndDarkensAsTheLightRises)
{
    ASSERT_TRUE(LightMaps.Initialise());
    LightMapLight light;
    light.Type = LightMapLight::TYPE_POINT;
    light.Range = 400;
    light.NearSize[0] = light.NearSize[1] = 100;
    light.FarSize[0] = light.FarSize[1] = 700;
    light.NearColour = 0xFFFFFFFFu;
    // On the ground: a glow of half size 100, brightest in the middle.
    light.Position = Vector3(3200, 3200, 0);
    std::vector<DWORD> image = lightMap(light);
    EXPECT_GT(at(image, 3200, 3200), 240);
    EXPECT_GT(at(image, 3260, 3200), 60);
    EXPECT_GT(at(image, 3200, 3140), 60);
    EXPECT_LT(at(image, 3300, 3200), 8);
    EXPECT_LT(at(image, 3200, 3080), 8);
    // Half its range up: half as bright, half size 400.
    light.Position.z = 200;
    image = lightMap(light);
    EXPECT_NEAR(at(image, 3200, 3200), 127, 12);
    EXPECT_GT(at(image, 3300, 3200), 60);
    EXPECT_GT(at(image, 3200, 3450), 20);
    EXPECT_LT(at(image, 3640, 3200), 8);
    // At its range: nothing.
    light.Position.z = 400;
    image = lightMap(light);
    EXPECT_LT(at(image, 3200, 3200), 4);
}

TEST_F(LightingPixelTest, ASpotsGlowLiesWhereItsRayMeetsTheGroundStretchedAlongIt)
{
    ASSERT_TRUE(LightMaps.Initialise());
    LightMapLight spot;
    spot.Type = LightMapLight::TYPE_SPOT;
    spot.Map = LightMapLight::DEFAULT_SPOT_MAP;
    spot.Range = 1000;
    spot.NearSize[0] = spot.NearSize[1] = 150;
    spot.FarSize[0] = spot.FarSize[1] = 150;
    spot.NearColour = 0xFFFFFFFFu;
    // 625 along (0.6, 0, -0.8) from (2825, 3200, 500) is (3200, 3200, 0).
    spot.Position = Vector3(2825, 3200, 500);
    spot.Direction = Vector3(0.6f, 0.0f, -0.8f);
    const std::vector<DWORD> image = lightMap(spot);
    EXPECT_NEAR(at(image, 3200, 3200), 95, 10);  // 0.375 of white
    EXPECT_LT(at(image, 2825, 3200), 4);         // nothing under the light itself
    // 187.5 along the ray, 150 across it.
    EXPECT_GT(at(image, 3340, 3200), 30);
    EXPECT_GT(at(image, 3060, 3200), 30);
    EXPECT_LT(at(image, 3200, 3340), 8);
    EXPECT_LT(at(image, 3200, 3060), 8);
}

TEST_F(LightingPixelTest, TheShadowLiesUnderTheVehicleAndTurnsWithIt)
{
    ASSERT_TRUE(InitShadows());
    D3DCore.SetClearColour(true, 128, 128, 128);
    const auto shadow = [&](float heading) {
        frameLookingDown(3200, 3200, 1000, 100,
                         [&] { RenderVehicleShadow(SHADOW_JET, 3200, 3200, 0, heading, 0, 0, 4, 100); });
        return pixels();
    };
    // The jet's delta wing spreads behind its middle: 40 behind and 60 aside is in its shadow, 40
    // ahead is not; beyond the mesh the ground keeps its colour.
    std::vector<DWORD> image = shadow(0);
    EXPECT_LT(at(image, 3160, 3260), 80);
    EXPECT_LT(at(image, 3160, 3140), 80);
    EXPECT_GT(at(image, 3240, 3260), 120);
    EXPECT_LT(at(image, 3250, 3200), 80);  // the fuselage
    EXPECT_GT(at(image, 3400, 3400), 120);
    // Turned half round, the wing is on the other side.
    image = shadow(3.14159265f);
    EXPECT_GT(at(image, 3160, 3260), 120);
    EXPECT_LT(at(image, 3240, 3260), 80);
}

// Stands in for the puff model's draw: a square of 200 at the place, in the puffs' material.
void drawPuffSquare(CModelInst*, const Vector3& at)
{
    struct V {
        float x, y, z;
        DWORD colour;
    };
    const V quad[4] = {{at.x - 100, at.y - 100, at.z, 0xFFFFFFFFu},
                       {at.x + 100, at.y - 100, at.z, 0xFFFFFFFFu},
                       {at.x - 100, at.y + 100, at.z, 0xFFFFFFFFu},
                       {at.x + 100, at.y + 100, at.z, 0xFFFFFFFFu}};
    D3DMATRIX identity{};
    identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = identity.m[3][3] = 1;
    D3DCore.SetWorldMatrix(identity);
    D3DCore.ApplyStateBlock(D3DCore.StateBlocks.GetSB(MatFindStateBlock("CloudPart")), 0, 0);
    DXInterface.ID3DDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    D3DCore.InvalidateStateCache();
}

TEST_F(LightingPixelTest, AFogBanksPuffsFadeTowardsTheWorldsEdge)
{
    for (const char* f : {"models/volumefog/puff.rsm", "models/volumefog/puff.mtl"}) copyData(f);
    pt::setManualClock(true);
    SetVolumePuffRenderer(drawPuffSquare);
    m_dir.write("fog.txt", "nummodels 1\n[model]\nname data\\models\\volumefog\\puff.rsm\nvertices 1\ninstances 3\n"
                           "[data]\npos 0 0 0\n[end]\n[instances]\npos 38400 20000 0\npos 38400 3000 0\npos 38400 1500 0\n"
                           "[end]\n[end]\n");
    ASSERT_TRUE(LoadVolumeModels("fog.txt"));
    ASSERT_TRUE(LoadCloudLevel());
    // Over each bank from 2000 above: the puff is drawn 1642 below the camera, faded by the edge.
    std::vector<int> seen;
    for (float y : {20000.0f, 3000.0f, 1500.0f}) {
        frameLookingDown(38400, y, 2000, 100, [] { UpdateVolumeFog(); });
        seen.push_back(static_cast<int>(pixels()[240 * 640 + 320] & 0xFF));
    }
    EXPECT_NEAR(seen[0], 254, 4);
    EXPECT_NEAR(seen[1], 127, 6);  // half way into the edge's 6000
    EXPECT_NEAR(seen[2], 63, 6);
}

}  // namespace
