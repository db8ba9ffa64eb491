#include "kestrune/GameLogic.h"
#include "kestrune/GameFlow.h"

#include "TestKinds.h"
#include "TestSupport.h"
#include "ai/LandTree.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "utility/LList.h"

#include <gtest/gtest.h>

namespace {

using testkinds::CallLog;
using testkinds::LoggedObject;
using testkinds::LoggingManager;

TEST(GameFrameTest, ALoadedLevelsObjectsStandInItsTreeAndAreInterpolatedAndDrawnEachFrame)
{
    llistInitElementPool();
    registerProjDataServices();
    createProjData();
    getProjData().startSession();
    {
        testsupport::TempDir dir;
        testsupport::ScopedCwd cwd{dir.path()};
        CallLog log;
        CGameLogic* logic = getProjData().getGameLogic();
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
    getProjData().shutdownPreD3D();
    destroyProjData();
    llistFreeElementPool();
}

}  // namespace
