// The game's start, paced steps and shutdown (GameFlow), and the game logic's levels: loading,
// stepping, drawing, saved level states and restarts.
#include "kestrune/GameFlow.h"
#include "kestrune/GameLogic.h"

#include "TestKinds.h"
#include "TestSupport.h"
#include "WiredKinds.h"
#include "ai/Events.h"
#include "ai/WorldMgr.h"
#include "dxsetup9/DXSetup.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "kestrune/GameInfo.h"
#include "platform/testing.h"
#include "platform/testing/dsound.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"
#include "wincore/WinCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
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
    testsupport::ScopedCwd cwd{dir.path()};
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
    platform::testing::dsound::useManualClock();
    ASSERT_TRUE(preInit());
    ASSERT_TRUE(GameInit());
    CProjData& data = getProjData();
    EXPECT_EQ(std::tuple(data.FrameStep, data.AltStep, data.BypassFrontEnd, std::string(data.CurrentMission)),
              std::tuple(30, 40, 1, std::string("m01")));
    EXPECT_NE(nullptr, data.PlayerWeaponsParamBlock);
    EXPECT_NE(nullptr, data.getAudioManager());
    // Each step waits out the rest of its 30 ms, so game time follows the clock one step per pass.
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(GameMainLoopStep());
    EXPECT_EQ(getGameFlowStats().stepsRun, 9u);
    EXPECT_EQ(platform::testing::dsound::calls("CommitDeferredSettings"), 10);  // the sound's frame update
    EXPECT_EQ(getGameTime(), 9 * 30);
    // Time in the background is not game time, however many passes the main loop makes meanwhile.
    WinCore.WindowProc(nullptr, WM_ACTIVATEAPP, FALSE, 0);
    for (int i = 0; i < 5; ++i) pt::advanceTime(2000), GameMainLoopStep();
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

namespace {

using testkinds::CallLog;
using testkinds::LoggedObject;
using testkinds::LoggingManager;
using testkinds::WiredManager;
using testkinds::WiredObject;

class GameLogicTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        registerProjDataServices();
        createProjData();
        getProjData().startSession();
        logic = getProjData().getGameLogic();
    }
    void TearDown() override
    {
        getProjData().shutdownPreD3D();
        destroyProjData();
        llistFreeElementPool();
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    CGameLogic* logic = nullptr;
    CallLog log;
};

const char* const SCRIPT =
    "class_super_path\n{\npath whatever\n}\n"
    "TestScript\n{\ninstancename relay1\n}\n"
    "TestActive\n{\ninstancename tester1\nOnDamaged_trgr_% 25\n"
    "OnDeath\n{\nnum_array_items 1\nOnDeath0 relay1\n}\n"
    "OnDamaged\n{\nnum_array_items 0\n}\nOnHidden\n{\nnum_array_items 0\n}\nOnRevealed\n{\nnum_array_items 0\n}\n"
    "Input_OnDeath 1\nInput_OnHidden 0\nInput_OnRevealed 0\nInput_OnStop 0\nInput_OnGo 0\n"
    "Input_OnGotosleep 0\nInput_OnWakeup 0\nInput_OnDefault 0\n}\n"
    "CollisionSphere\n{\ninstancename notAnObject\n}\n";

TEST_F(GameLogicTest, ALevelLoadsItsScriptStepsAndShutsDownWithoutATrace)
{
    const uint32_t poolBefore = llistElementsInUse();
    dir.write("level.txt", SCRIPT);
    // Registered out of order, before the game's own managers.
    logic->addLevelManager(new LoggingManager(0x84000000, log));
    logic->addLevelManager(new LoggingManager(0x02000000, log));
    ASSERT_TRUE(logic->loadLevel("level.txt"));

    CGameObjectManager* pObjects = logic->getObjectManager();
    ASSERT_NE(nullptr, pObjects);
    for (uint32_t id : {0x01000000u, 0x81000000u, 0x82000000u, 0x83000000u})
        EXPECT_NE(nullptr, pObjects->getResourceManager(id));
    EXPECT_EQ((std::vector<std::string>{"initialise 02000000", "initialise 84000000"}), log.matching("initialise"));
    // The lower id knows the type name first; the collision sphere is not a game object.
    EXPECT_EQ((std::vector<std::string>{"instantiate 02000001 1", "instantiate 02000003 1"}), log.matching("instantiate"));
    EXPECT_EQ(1, testsupport::countReports("newResource->getResourceType() == CResource::RESOURCETYPE_GAMEOBJECT"));
    EXPECT_EQ(1u, pObjects->GetNumObjects());
    EXPECT_EQ(1, log.count("update 84000000"));

    for (int step = 0; step < 3; ++step) logic->fixedStep();
    EXPECT_EQ(4, log.count("update 02000000"));
    EXPECT_EQ(3u, getProjData().getWorldMgr()->getFrameCounter());
    ASSERT_NE(nullptr, logic->getGameInfo());
    logic->getGameInfo()->setServerRunning(false);
    logic->fixedStep();
    EXPECT_EQ(4, log.count("update 02000000"));

    logic->shutdown();
    EXPECT_EQ(nullptr, pTheObjectManager);
    EXPECT_EQ(1, log.count("destroy 02000000 live=0"));
    EXPECT_EQ(1, log.count("destroy 84000000 live=0"));
    EXPECT_EQ(2, log.count("release"));
    EXPECT_FALSE(CEvents::tableExists());
    EXPECT_EQ(poolBefore, llistElementsInUse());
    logic->fixedStep();
}

TEST_F(GameLogicTest, AMissingScriptLeavesAnEmptyLevelAndDuplicateManagersAreDropped)
{
    logic->addLevelManager(new LoggingManager(0x84000000, log));
    logic->addLevelManager(new LoggingManager(0x84000000, log));
    EXPECT_FALSE(logic->loadLevel("nowhere.txt"));
    EXPECT_EQ(1, testsupport::countReports("While reading nowhere.txt\nFailed to read the instance script"));
    EXPECT_EQ(1, log.count("destroy 84000000"));
    EXPECT_EQ(1, log.count("initialise"));
    // A second load replaces the first level; its read of the script is a new one, which says
    // so again (the run log writes the same text once).
    EXPECT_FALSE(logic->loadLevel("nowhere.txt"));
    EXPECT_EQ(2, log.count("destroy 84000000"));
    EXPECT_EQ(2, testsupport::countReports("While reading nowhere.txt\nFailed to read the instance script"));
}

TEST_F(GameLogicTest, ALoadedLevelsObjectsStandInItsTreeAndAreInterpolatedAndDrawnEachFrame)
{
    dir.write("level.txt", "TestActive\n{\ninstancename walker\n}\n");
    logic->addLevelManager(new LoggingManager(0x84000000, log));
    ASSERT_TRUE(logic->loadLevel("level.txt"));
    CGameObjectManager* pObjects = logic->getObjectManager();
    resourceHandle handle = 0;
    CResource* pResource = nullptr;
    ASSERT_TRUE(pObjects->findHandleByName("walker", &handle));
    ASSERT_TRUE(pObjects->acquireResource(handle, &pResource));
    auto* walker = static_cast<LoggedObject*>(pResource);

    getProjData().GameTime = 100;
    logic->fixedStep();
    EXPECT_NE(CGameObject::NO_LEAF, walker->d_leafIndex);
    getProjData().GameTime = 160;
    logic->afterFixedSteps();
    EXPECT_FLOAT_EQ(1.8f, walker->interpolation);

    pObjects->addToRenderList(walker);
    log.calls.clear();
    logic->renderView();
    logic->renderAfterScene();
    EXPECT_EQ((std::vector<std::string>{"render walker", "render 84000000", "render walker"}), log.calls);
    logic->shutdown();
}

const char* const LEVEL = "TestActive\n{\ninstancename tank\n}\n"
                           "TestActive\n{\ninstancename gate\nOutput\n{\nid 12\nrepeat 1\nnum_array_items 1\n"
                           "Output0 relay\n}\n}\n"
                           "TestActive\n{\ninstancename relay\nInput_12 1\n}\n";

// Saved level states and the event wiring: the state a completed mission leaves to the next one, a
// restart, and the wiring's step in every game step.
class LevelState : public GameLogicTest {
protected:
    void SetUp() override
    {
        GameLogicTest::SetUp();
        dir.write("level.txt", LEVEL);
    }
    void TearDown() override
    {
        GameLogicTest::TearDown();
        // Later tests start from the table size of a fresh program.
        CEvents::initialise(CEvents::DEFAULT_MAX_HANDLERS);
        CEvents::freeAll();
    }
    void load(int chapter, int mission, bool campaign, bool track = true)
    {
        logic->addLevelManager(new WiredManager(CResourceManager::MANAGER_MISC, log));
        // Effects need the device: a stand-in takes the effect manager's place.
        logic->addLevelManager(new testkinds::LoggingManager(CResourceManager::MANAGER_EFFECTS, effectsLog));
        logic->setMission(chapter, mission, campaign, track);
        ASSERT_TRUE(logic->loadLevel("level.txt"));
    }
    WiredObject* obj(const char* name) { return testkinds::wiredByName(logic->getObjectManager(), name); }
    // Plays the mission: the gate remembers it is open and the tank is destroyed.
    void play()
    {
        obj("gate")->state = {{"open", "1"}};
        logic->getObjectManager()->deleteObject(obj("tank"));
        logic->fixedStep();
    }
    CWorldMgr& world() { return *getProjData().getWorldMgr(); }
    int position(const std::string& prefix)
    {
        auto at = std::find_if(log.calls.begin(), log.calls.end(),
                               [&prefix](const std::string& call) { return call.rfind(prefix, 0) == 0; });
        return at == log.calls.end() ? -1 : static_cast<int>(at - log.calls.begin());
    }

    testkinds::CallLog effectsLog;
};

TEST_F(LevelState, OnlyACompletedCampaignMissionThatTrackedItsDeletionsLeavesItsState)
{
    struct Row { const char* what; bool campaign, track, flag1, flag2, noSave, saved; };
    const Row rows[] = {
        {"not over", true, true, false, false, false, false},
        {"over, second flag set", true, true, true, true, false, false},
        {"left without counting", true, true, true, false, true, false},
        {"deletions not tracked", true, false, true, false, false, false},
        {"not a campaign level", false, true, true, false, false, false},
        {"completed", true, true, true, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        load(2, 3, row.campaign, row.track);
        play();
        world().setLevelEndFlags(row.flag1, row.flag2);
        logic->setNoStateSave(row.noSave);
        logic->unloadLevel();
        EXPECT_EQ(row.saved, dir.exists("data/savedstates/c02m4.pst"));
    }
    EXPECT_TRUE(testsupport::reports().empty());
    // The next mission of the chapter starts from that state.
    load(2, 4, true);
    EXPECT_EQ(nullptr, obj("tank"));
    EXPECT_EQ((std::map<std::string, std::string>{{"open", "1"}}), obj("gate")->restored);
}

TEST_F(LevelState, ARestartPlaysTheLevelAgainFromTheChaptersStateAndStepsTheWiringEveryGameStep)
{
    load(2, 3, true);
    play();
    world().setLevelEndFlags(true, false);
    logic->unloadLevel();
    // Mission 4 reads what mission 3 left; the wiring runs each game step while objects run.
    load(2, 4, true);
    EXPECT_TRUE(obj("gate")->getMssgHandler()->sendEvent(CEvents::ON_GO));
    logic->fixedStep();
    logic->fixedStep();
    EXPECT_EQ(3, log.count("got 12 relay"));
    logic->getObjectManager()->setObjectsRunning(false);
    logic->fixedStep();
    EXPECT_EQ(3, log.count("got 12 relay"));
    logic->getObjectManager()->setObjectsRunning(true);
    // An object of a kept type stays through the restart, without the wiring of the table it loses.
    logic->setRestartKeepTypes({CResourceManager::MANAGER_MISC | uint32_t(testkinds::KIND_PARTIAL)});
    CParamBlock keeperBlock("TestPartial");
    keeperBlock.addString("instancename", "keeper");
    keeperBlock.addString("Input_12", "1");
    ASSERT_TRUE(logic->getObjectManager()->createObjectByName("TestPartial", &keeperBlock, 0));
    WiredObject* keeper = obj("keeper");
    ASSERT_NE(nullptr, keeper->getMssgHandler());
    world().setLevelEndFlags(true, false);
    strcpy(getProjData().CurrentLevelPath, "data\\levels\\desert04\\");
    log.calls.clear();
    ASSERT_TRUE(logic->restartLevel());

    EXPECT_EQ(keeper, obj("keeper"));
    EXPECT_EQ(nullptr, keeper->getMssgHandler());
    EXPECT_EQ(1000u, CEvents::getMaxHandlers());
    EXPECT_EQ(0u, world().getFrameCounter());
    EXPECT_FALSE(world().getLevelEndFlag1());
    // Objects go, the managers reset, the script's objects come back, the state applies again.
    const int order[] = {position("release"), position("resetForRestart"), position("initFromParamBlock"),
                         position("restoreState gate")};
    EXPECT_GE(order[0], 0);
    EXPECT_TRUE(std::is_sorted(std::begin(order), std::end(order))) << order[0] << order[1] << order[2] << order[3];

    EXPECT_EQ(nullptr, obj("tank"));
    EXPECT_EQ(1, obj("gate")->restores);
    EXPECT_TRUE(logic->getObjectManager()->isDeletionTrackingEnabled());
    EXPECT_EQ(1u, logic->getObjectManager()->getDeletionTrackingQueue().getNumItems());
    // The new objects are wired in the new table.
    EXPECT_TRUE(obj("gate")->getMssgHandler()->sendEvent(CEvents::ON_GO));
    EXPECT_EQ(1, log.count("got 12 relay"));
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
