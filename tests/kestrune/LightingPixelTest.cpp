// Light maps, the vehicle shadow and fog puffs drawn on the OpenGL renderer headless, seen from
// straight above: 1000 units of ground across the 640 pixels of the screen (0.64 pixels a unit),
// the screen's middle over (3200, 3200).
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/LightMaps.h"
#include "kestrune/Shadows.h"
#include "kestrune/VolumeFog.h"
#include "platform/testing.h"

namespace {

class LightingPixelTest : public LightingFixture {
protected:
    LightingPixelTest()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9ref::setRendererFactory(&d3d9gl::createOffscreenDeviceRenderer);
        m_drawing = true;
    }
    void SetUp() override
    {
        LightingFixture::SetUp();
        D3DCore.SetClearColour(true, 0, 0, 0);
        ground(64, [](int32_t, int32_t) { return 0; });
        ASSERT_TRUE(LightMaps.Initialise());
    }
    void TearDown() override
    {
        LightMaps.Shutdown();
        ShutdownShadows();
        ReleaseVolumeFog();
        SetVolumePuffRenderer(nullptr);
        platform::testing::setManualClock(false);
        LightingFixture::TearDown();
    }

    // The brightest channel of the pixel over each world point (x, y) on the ground, after one
    // frame seen from 1000 above the light maps (7 over the ground).
    std::vector<int> frame(const std::vector<std::pair<float, float>>& points, const std::function<void()>& draws)
    {
        frameLookingDown(3200, 3200, 1007, 100, draws);
        const std::vector<DWORD> image = frontBuffer(640, 480);
        std::vector<int> out;
        for (const auto& [x, y] : points) {
            const int column = static_cast<int>(320 + (x - 3200) * 0.64f), row = static_cast<int>(240 - (y - 3200) * 0.64f);
            const DWORD p = image[static_cast<size_t>(row) * 640 + column];
            out.push_back(static_cast<int>(std::max({p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF})));
        }
        return out;
    }
    std::vector<int> lightMap(const LightMapLight& light, const std::vector<std::pair<float, float>>& points)
    {
        return frame(points, [&] { LightMaps.BeginLightMapping(), LightMaps.DrawLightMapLight(light), LightMaps.EndLightMapping(); });
    }
};

TEST_F(LightingPixelTest, LightMapsGlowUnderAPointLightAndWhereASpotsRayMeetsTheGround)
{
    LightMapLight light;
    light.Range = 400;
    light.NearSize[0] = light.NearSize[1] = 100;
    light.FarSize[0] = light.FarSize[1] = 700;
    light.NearColour = 0xFFFFFFFFu;
    // On the ground: a glow of half size 100, brightest in the middle (its fading with height is
    // checked on the device's vertices and tints).
    light.Position = Vector3(3200, 3200, 0);
    std::vector<int> seen = lightMap(light, {{3200, 3200}, {3260, 3200}, {3200, 3140}, {3300, 3200}, {3200, 3080}});
    EXPECT_GT(seen[0], 240);
    EXPECT_GT(std::min(seen[1], seen[2]), 60);
    EXPECT_LT(std::max(seen[3], seen[4]), 8);

    // 625 along (0.6, 0, -0.8) from (2825, 3200, 500) is (3200, 3200, 0): 0.375 of white there,
    // nothing under the light, 187.5 along the ray and 150 across it.
    light.Type = LightMapLight::TYPE_SPOT;
    light.Map = LightMapLight::DEFAULT_SPOT_MAP;
    light.Range = 1000;
    light.NearSize[0] = light.NearSize[1] = light.FarSize[0] = light.FarSize[1] = 150;
    light.Position = Vector3(2825, 3200, 500);
    light.Direction = Vector3(0.6f, 0.0f, -0.8f);
    seen = lightMap(light, {{3200, 3200}, {2825, 3200}, {3340, 3200}, {3060, 3200}, {3200, 3340}, {3200, 3060}});
    EXPECT_NEAR(seen[0], 95, 10);
    EXPECT_LT(seen[1], 4);
    EXPECT_GT(std::min(seen[2], seen[3]), 30);
    EXPECT_LT(std::max(seen[4], seen[5]), 8);
}

TEST_F(LightingPixelTest, TheShadowLiesUnderTheVehicleAndTurnsWithIt)
{
    ASSERT_TRUE(InitShadows());
    D3DCore.SetClearColour(true, 128, 128, 128);
    // The jet's delta wing spreads behind its middle: 40 behind and 60 aside is in its shadow, 40
    // ahead is not, nor the ground beyond the mesh. Turned half round, the wing is on the other side.
    const std::vector<std::pair<float, float>> points = {
        {3160, 3260}, {3160, 3140}, {3250, 3200}, {3240, 3260}, {3400, 3400}};
    for (const float heading : {0.0f, 3.14159265f}) {
        const std::vector<int> seen =
            frame(points, [&] { RenderVehicleShadow(SHADOW_JET, 3200, 3200, 0, heading, 0, 0, 4, 100); });
        EXPECT_EQ(seen[0] < 80, heading == 0) << heading;
        EXPECT_EQ(seen[3] < 80, heading != 0) << heading;
        EXPECT_TRUE(heading != 0 || std::max(seen[1], seen[2]) < 80);
        EXPECT_GT(seen[4], 120);
    }
}

// Stands in for the puff model's draw: a square of 200 at the place, in the puffs' material.
void drawPuffSquare(CModelInst*, const Vector3& at)
{
    struct V { float x, y, z; DWORD colour; };
    const V quad[4] = {{at.x - 100, at.y - 100, at.z, ~0u}, {at.x + 100, at.y - 100, at.z, ~0u},
                       {at.x - 100, at.y + 100, at.z, ~0u}, {at.x + 100, at.y + 100, at.z, ~0u}};
    D3DMATRIX identity{};
    identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = identity.m[3][3] = 1;
    D3DCore.SetWorldMatrix(identity);
    D3DCore.ApplyStateBlock(D3DCore.StateBlocks.GetSB(MatFindStateBlock("CloudPart")), 0, 0);
    DXInterface.ID3DDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    D3DCore.InvalidateStateCache();
}

TEST_F(LightingPixelTest, AFogBanksPuffsFadeTowardsTheWorldsEdge)
{
    platform::testing::setManualClock(true);
    SetVolumePuffRenderer(drawPuffSquare);
    m_dir.write("fog.txt", "nummodels 1\n[model]\nname data\\models\\volumefog\\puff.rsm\nvertices 1\ninstances 3\n"
                           "[data]\npos 0 0 0\n[end]\n[instances]\npos 38400 20000 0\npos 38400 3000 0\npos 38400 1500 0\n"
                           "[end]\n[end]\n");
    ASSERT_TRUE(LoadVolumeModels("fog.txt"));
    ASSERT_TRUE(LoadCloudLevel());
    // Over each bank from 2000 above: the puff is drawn 1642 below the camera, faded by the edge
    // (half way into its 6000, a quarter of the way).
    const std::pair<float, int> rows[] = {{20000.0f, 254}, {3000.0f, 127}, {1500.0f, 63}};
    for (const auto& [y, expected] : rows) {
        frameLookingDown(38400, y, 2000, 100, [] { UpdateVolumeFog(); });
        EXPECT_NEAR(static_cast<int>(frontBuffer(640, 480)[240 * 640 + 320] & 0xFF), expected, 6) << y;
    }
}

}  // namespace
