#include "ai/WorldMgr.h"

#include "ai/Events.h"
#include "gameobjects/GameObjectManager.h"
#include "utility/Assert.h"

#include <cstring>

namespace {
// The largest level needs more wired objects than the default table holds.
const uint32_t LARGE_LEVEL_MAX_HANDLERS = 1000;
}

CWorldMgr::CWorldMgr()
    : d_levelLoaded(false), d_levelEndFlag1(false), d_levelEndFlag2(false), d_frameCounter(0), d_pTree(nullptr)
{
}

CWorldMgr::~CWorldMgr() { ASSERT(!d_levelLoaded); }

void CWorldMgr::makeEventTable(const char* levelPath)
{
    CEvents::initialise(levelPath && strstr(levelPath, "desert04") ? LARGE_LEVEL_MAX_HANDLERS : 0);
}

void CWorldMgr::loadLevel(const char* levelPath)
{
    makeEventTable(levelPath);
    d_frameCounter = 0;
    d_levelEndFlag1 = d_levelEndFlag2 = false;
    d_levelLoaded = true;
}

bool CWorldMgr::restartLevel(CGameObjectManager* pObjects, const SLevelRestart& level)
{
    if (!VERIFY(pObjects)) return false;
    pObjects->resetDeletionTracking();
    pObjects->deleteAllObjectsExcept(level.pKeepTypes, level.numKeepTypes);
    pObjects->update();
    pObjects->update();
    // The objects that stay lose their wiring with the table.
    pObjects->detachEventWiring();
    CEvents::freeAll();
    makeEventTable(level.levelPath);
    pObjects->resetResourceManagers();
    const bool read = pObjects->readInstanceScript(level.instanceScript);
    if (!read) assertFailedMsg("Failed to read the instance script", "0", __FILE__, __LINE__);
    if (level.campaign) pObjects->loadState(level.chapter, level.mission, level.trackDeletions);
    pObjects->update();
    d_frameCounter = 0;
    d_levelEndFlag1 = d_levelEndFlag2 = false;
    return read;
}

void CWorldMgr::trackDeath(CGameObject*, CGameObject*) {}

void CWorldMgr::unloadLevel()
{
    CEvents::freeAll();
    d_aiMap.destroy();
    d_pTree = nullptr;
    d_levelLoaded = false;
}

CLandTree* CWorldMgr::getTree() const
{
    ASSERT(d_pTree);
    return d_pTree;
}
