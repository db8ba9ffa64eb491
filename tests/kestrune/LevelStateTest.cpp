// The game logic's part in saved level states and the event wiring: the state a completed mission
// leaves to the next one, a restart, and the wiring's step in every game step.
#include "kestrune/GameLogic.h"
#include "kestrune/GameFlow.h"

#include "TestSupport.h"
#include "WiredKinds.h"
#include "ai/Events.h"
#include "ai/WorldMgr.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/ParamBlock.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace {

using testkinds::CallLog;
using testkinds::WiredManager;
using testkinds::WiredObject;

const char* const SCRIPT = "TestActive\n{\ninstancename tank\n}\n"
                           "TestActive\n{\ninstancename gate\nOutput\n{\nid 12\nrepeat 1\nnum_array_items 1\n"
                           "Output0 relay\n}\n}\n"
                           "TestActive\n{\ninstancename relay\nInput_12 1\n}\n";

class LevelState : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        registerProjDataServices();
        createProjData();
        getProjData().startSession();
        logic = getProjData().getGameLogic();
        dir.write("level.txt", SCRIPT);
    }
    void TearDown() override
    {
        getProjData().shutdownPreD3D();
        destroyProjData();
        llistFreeElementPool();
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

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    testkinds::CallLog effectsLog;
    CGameLogic* logic = nullptr;
    CallLog log;
};

TEST_F(LevelState, OnlyACompletedCampaignMissionThatTrackedItsDeletionsLeavesItsState)
{
    struct Row {
        const char* what;
        bool campaign, track, flag1, flag2, noSave, saved;
    };
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
    EXPECT_TRUE(order[0] >= 0 && std::is_sorted(std::begin(order), std::end(order)));
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
