// The game logic brings a level's light effects, light maps, cloud layer and fog banks with the
// level, runs their fades each game step and draws them in a player's view.
#include "LightingFixture.h"

#include "TestSupport.h"
#include "kestrune/GameLogic.h"
#include "kestrune/LightEffects.h"
#include "kestrune/VolumeFog.h"
#include "platform/testing.h"
#include "utility/IniManager.h"

namespace {

int puffsDrawn = 0;

using GameLightingTest = LightingFixture;

TEST_F(GameLightingTest, ALevelBringsItsLightsFogAndCloudsAndTheGameStepsAndDrawsThem)
{
    for (const char* f : {"models/volumefog/puff.rsm", "models/volumefog/puff.mtl", "models/volumefog/volumemodels.txt"})
        copyData(f);
    ASSERT_TRUE(startFacade());
    ground(64, [](int32_t, int32_t) { return 0; });
    CIniManager ini;
    RegisterVolumeIniKeys(&ini);
    m_dir.write("level.ini", "[VOLUMEMODELS]\nVolumeData = <string> \"data\\models\\volumefog\\volumemodels.txt\"\n");
    ASSERT_TRUE(ini.loadFile("level.ini"));
    m_dir.write("level.txt", "");
    getProjData().FrameStep = 30;
    SetVolumePuffRenderer([](CModelInst*, const Vector3&) { ++puffsDrawn; });
    testsupport::clearReports();

    CGameLogic logic(nullptr);
    ASSERT_TRUE(logic.loadLevel("level.txt"));
    EXPECT_EQ(GetMaxLightEffects(), 32);
    EXPECT_EQ(LightMaps.NumLightMaps(), 2u);
    ASSERT_EQ(GetNumVolumeModels(), 1);
    EXPECT_TRUE(GetVolumeModel(0)->Complete);
    LightProperties p{};
    p.effects = LIGHTEFFECT_LIGHTMAP;
    p.type = LIGHT_POINT;
    p.position = Vector3(3000, 3000, 100);
    p.colour2[0] = 1;
    p.range = 500;
    p.lightMapSize[0] = p.lightMapSize[1] = 200;
    p.fadeInDelay = 90;
    uint16_t light = INVALID_LIGHT;
    ASSERT_TRUE(CreateLightEffect(p, &light));
    SwitchLightEffect(light, true);
    logic.fixedStep();
    EXPECT_FLOAT_EQ(GetLightEffect(light)->fadeProgress, 1.0f / 3.0f);

    // The view over the first bank (38400, 38400, 900), looking down on it from 1500 above.
    const int drawsBefore = platform::testing::d3d9Calls("DrawIndexedPrimitive");
    frameLookingDown(38400, 38400, 2400, 100, [&] { logic.renderView(); });
    EXPECT_GT(platform::testing::d3d9Calls("DrawIndexedPrimitive"), drawsBefore);  // the light map
    EXPECT_GT(puffsDrawn, 0);
    // Only the effects' missing precache list is reported.
    EXPECT_EQ(testsupport::reports().size(), static_cast<size_t>(testsupport::countReports("loaded")));
    logic.unloadLevel();
    EXPECT_EQ(std::vector<int>({GetMaxLightEffects(), LightMaps.IsInitialised(), GetNumVolumeModels()}),
              std::vector<int>({0, 0, -1}));
    SetVolumePuffRenderer(nullptr);
}

}  // namespace
