#include "kestrune/GameLogic.h"
#include "kestrune/GameFlow.h"

#include "TestKinds.h"
#include "TestSupport.h"
#include "ai/Events.h"
#include "ai/LandTree.h"
#include "ai/WorldMgr.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "kestrune/GameInfo.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testkinds::CallLog;
using testkinds::LoggedObject;
using testkinds::LoggingManager;

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
    EXPECT_EQ(pObjects, getProjData().getObjectManager());
    EXPECT_EQ(static_cast<CNetObjectInterface*>(pObjects), getProjData().getObjectManagerInterface());
    for (uint32_t id : {0x01000000u, 0x81000000u, 0x82000000u, 0x83000000u})
        EXPECT_NE(nullptr, pObjects->getResourceManager(id));
    EXPECT_EQ((std::vector<std::string>{"initialise 02000000", "initialise 84000000"}), log.matching("initialise"));
    // The lower id knows the type name first; the collision sphere is not a game object.
    EXPECT_EQ((std::vector<std::string>{"instantiate 02000001 1", "instantiate 02000003 1"}), log.matching("instantiate"));
    EXPECT_EQ(1, testsupport::countReports("newResource->getResourceType() == CResource::RESOURCETYPE_GAMEOBJECT"));
    resourceHandle handle = 0;
    ASSERT_TRUE(pObjects->findHandleByName("tester1", &handle));
    CResource* pResource = nullptr;
    ASSERT_TRUE(pObjects->acquireResource(handle, &pResource));
    CEvents* pWiring = static_cast<CGameObject*>(pResource)->getMssgHandler();
    ASSERT_NE(nullptr, pWiring);
    EXPECT_STREQ("relay1", pWiring->getOutProcess(0)->recipientNames[0]);
    EXPECT_EQ(1u, pObjects->GetNumObjects());
    EXPECT_EQ(1, log.count("update 84000000"));

    for (int step = 0; step < 3; ++step) logic->fixedStep();
    EXPECT_EQ(4, log.count("update 02000000"));
    EXPECT_EQ(3u, getProjData().getWorldMgr()->getFrameCounter());
    ASSERT_NE(nullptr, logic->getGameInfo());
    logic->getGameInfo()->setServerRunning(false);
    logic->fixedStep();
    EXPECT_EQ(4, log.count("update 02000000"));
    EXPECT_FALSE(logic->isGameInfoFlagSet());
    logic->getGameInfo()->setStateFlags(GameInfo::FLAG_GAME_INFO);
    EXPECT_TRUE(pObjects->isGameInfoFlagSet());

    logic->shutdown();
    EXPECT_EQ(nullptr, logic->getObjectManager());
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
    EXPECT_EQ(1, testsupport::countReports("Failed to read the instance script"));
    EXPECT_EQ(1, log.count("destroy 84000000"));
    EXPECT_EQ(1, log.count("initialise"));
    EXPECT_EQ(0u, logic->getObjectManager()->GetNumObjects());
    // A second load replaces the first level.
    EXPECT_FALSE(logic->loadLevel("nowhere.txt"));
    EXPECT_EQ(2, log.count("destroy 84000000"));
}

TEST_F(GameLogicTest, ALoadedLevelsObjectsStandInItsTreeAndAreInterpolatedAndDrawnEachFrame)
{
    EXPECT_EQ(CCameraManager::NO_CAMERA, logic->getCameraManager().getCurrentCamera());
    dir.write("level.txt", "TestActive\n{\ninstancename walker\n}\n");
    logic->addLevelManager(new LoggingManager(0x84000000, log));
    ASSERT_TRUE(logic->loadLevel("level.txt"));
    CGameObjectManager* pObjects = logic->getObjectManager();
    resourceHandle handle = 0;
    ASSERT_TRUE(pObjects->findHandleByName("walker", &handle));
    CResource* pResource = nullptr;
    pObjects->acquireResource(handle, &pResource);
    auto* walker = static_cast<LoggedObject*>(pResource);

    getProjData().GameTime = 100;
    logic->fixedStep();
    EXPECT_NE(CGameObject::NO_LEAF, walker->d_leafIndex);
    EXPECT_LT(0.0f, getProjData().getLandTree()->getWorldSize());
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

}  // namespace
