#include "kestrune/GameFlow.h"

#include "dxsetup9/DXSetup.h"
#include "global/ProjData.h"
#include "platform/testing.h"
#include "platform/testing/dsound.h"
#include "utility/LList.h"
#include "wincore/WinCore.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <tuple>

namespace pt = platform::testing;

namespace {

const char* const INIT_INI = "[Game]\nvariableUpdate = <int> 0\nvariableUpdateTime = <int> 40\n\n[FrontEnd]\nBypassFrontEnd = <int> 1\n";
const char* const GAME_CONFIG =
    "gameconfig\n{\n\tlevel\n\t{\n\t\tcurrentlevelpath\tdata\\levels\\a\\\n\t\tcurrentworldpath\tdata\\worlds\\a\\\n"
    "\t\tcurrentmission\tm01\n\t}\n\tMechWeapons\n\t{\n\t}\n\tPlaneWeapons\n\t{\n\t}\n}\n";

class GameFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt::useTestWindows();
        pt::setManualClock(true);
        pt::setTime(100000);
        WinCore.SetAppName(nullptr);
        WinCore.~CWinCore();
        new (&WinCore) CWinCore();
        llistInitElementPool();
        dir.write("data/init.ini", INIT_INI);
        dir.write("data/gamevars.ini", "[Game]\n");
        dir.write("data/gameconfig.txt", GAME_CONFIG);
        dir.write("data/4CC.txt", "3\nDXT1\nDXT3\nDXT5\n");
    }
    void TearDown() override
    {
        if (llistElementPoolExists()) llistFreeElementPool();
        WinCore.SetAppName(nullptr);
        pt::setManualClock(false);
        pt::useTestWindows();
    }

    testsupport::TempDir dir;
};

// Start-up measures the processor clock against the timer: let the manual clock run meanwhile.
bool preInit()
{
    pt::setClockStep(1);
    bool ok = GamePreInit();
    pt::setClockStep(0);
    return ok;
}

}  // namespace

TEST_F(GameFlowTest, StartsRunsInPacedStepsAndShutsDownCleanly)
{
    testsupport::ScopedCwd cwd(dir.path());
    platform::testing::dsound::useManualClock();
    ASSERT_TRUE(preInit());
    EXPECT_STREQ(WinCore.AppName, "Veldrane");
    EXPECT_EQ(pt::comInitCount(), 1);

    ASSERT_TRUE(GameInit());
    CProjData& data = getProjData();
    EXPECT_EQ(std::tuple(data.FrameStep, data.AltStep, data.BypassFrontEnd, std::string(data.CurrentMission)),
              std::tuple(30, 40, 1, std::string("m01")));
    EXPECT_TRUE(data.PlayerWeaponsParamBlock && data.getAudioManager());

    // Each step waits out the rest of its 30 ms, so game time follows the clock one step per pass.
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(GameMainLoopStep());
    EXPECT_EQ(getGameFlowStats().stepsRun, 9u);
    EXPECT_EQ(platform::testing::dsound::calls("CommitDeferredSettings"), 10);  // the sound's frame update
    EXPECT_EQ(getGameTime(), 9 * 30);

    // Time in the background is not game time, however many passes the main loop makes meanwhile.
    WinCore.WindowProc(nullptr, WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_FALSE(getGameFlowStats().active);
    for (int i = 0; i < 5; ++i) {
        pt::advanceTime(2000);
        ASSERT_TRUE(GameMainLoopStep());
    }
    EXPECT_EQ(getGameFlowStats().stepsRun, 9u);
    EXPECT_EQ(getGameTime(), 9 * 30);
    pt::advanceTime(10000);
    WinCore.WindowProc(nullptr, WM_ACTIVATEAPP, TRUE, 0);
    GameMainLoopStep();
    EXPECT_LE(getGameTime(), 11 * 30);
    for (int i = 0; i < 3; ++i) GameMainLoopStep();
    EXPECT_GT(getGameFlowStats().stepsRun, 9u);

    GameShutdown();
    EXPECT_FALSE(projDataExists());
    GameUninit();
    EXPECT_EQ(pt::comInitCount(), 0);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(GameFlowTest, TheStartUpFileGivesTheVariableStepAndGravityAndWithoutItInitialisationFails)
{
    dir.write("data/init.ini", "[Game]\nvariableUpdate = <int> 1\nvariableUpdateTime = <int> 0\n"
                               "[Physics]\nGravityX = <float> 1.5\nGravityY = <float> -2\n");
    testsupport::ScopedCwd cwd(dir.path());
    ASSERT_TRUE(preInit());
    ASSERT_TRUE(GameInit());
    EXPECT_EQ(getFrameStep(), 33);  // a step of 0 would stop game time
    // A key left out keeps its default.
    const CProjData& data = getProjData();
    EXPECT_EQ(std::tuple(data.GravityX, data.GravityY, data.GravityZ), std::tuple(1.5f, -2.0f, -9.81f));
    GameShutdown();
    GameUninit();

    std::remove(dir.file("data/init.ini").c_str());
    ASSERT_TRUE(preInit());
    EXPECT_FALSE(GameInit());
    EXPECT_EQ(testsupport::countReports("init.ini missing"), 1);
    GameShutdown();
    GameUninit();
    EXPECT_FALSE(projDataExists());
    // No device ever took Direct3D over, so the end of the run gives it back.
    EXPECT_EQ(DXInterface.ID3D, nullptr);
    EXPECT_FALSE(DXSetup.DDrawLoaded);
}

TEST_F(GameFlowTest, ALongStepStillHearsACloseWithinASlice)
{
    dir.write("data/init.ini", "[Game]\nvariableUpdate = <int> 1\nvariableUpdateTime = <int> 600000\n");
    testsupport::ScopedCwd cwd(dir.path());
    ASSERT_TRUE(preInit());
    ASSERT_TRUE(GameInit());
    PostQuitMessage(0);
    const DWORD before = timeGetTime();
    ASSERT_TRUE(GameMainLoopStep());
    EXPECT_LT(timeGetTime() - before, 100u);
    EXPECT_TRUE(WinCore.ProcessMessages(true));
    GameShutdown();
    GameUninit();
}

TEST_F(GameFlowTest, AProcessorWithoutSimdIsToldOffAndNothingStarts)
{
    pt::CpuAnswers answers{};
    answers.present = true;
    answers.leaf0[0] = 1;
    memcpy(&answers.leaf0[1], "Genu", 4);
    memcpy(&answers.leaf0[3], "ineI", 4);
    memcpy(&answers.leaf0[2], "ntel", 4);
    answers.leaf1[3] = (1u << 0) | (1u << 4) | (1u << 23);  // FPU, TSC, MMX: no SSE
    pt::setCpuAnswers(&answers);
    pt::clearMessageBoxes();
    bool started = preInit();
    pt::setCpuAnswers(nullptr);
    EXPECT_FALSE(started);
    ASSERT_EQ(pt::messageBoxes().size(), 1u);
    EXPECT_EQ(pt::messageBoxes()[0].caption, "Failed to execute");
    EXPECT_EQ(pt::messageBoxes()[0].text,
              "Attempted execution of P3 optimised version on CPU that does not support SIMD operations\n");
    EXPECT_EQ(pt::comInitCount(), 0);
    EXPECT_EQ(WinCore.AppName, nullptr);
}
