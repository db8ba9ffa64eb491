#include "ai/WorldMgr.h"

#include "ai/Events.h"
#include "utility/Assert.h"

#include <cstring>

namespace {
// The largest level needs more wired objects than the default table holds.
const uint32_t LARGE_LEVEL_MAX_HANDLERS = 1000;
}

CWorldMgr::CWorldMgr() : d_levelLoaded(false), d_frameCounter(0), d_pTree(nullptr) {}

CWorldMgr::~CWorldMgr() { ASSERT(!d_levelLoaded); }

void CWorldMgr::loadLevel(const char* levelPath)
{
    const bool large = levelPath && strstr(levelPath, "desert04");
    CEvents::initialise(large ? LARGE_LEVEL_MAX_HANDLERS : 0);
    d_frameCounter = 0;
    d_levelLoaded = true;
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
