#include "ai/WorldMgr.h"

#include "utility/Assert.h"

CWorldMgr::CWorldMgr() : d_levelLoaded(false), d_pTree(nullptr) {}

CWorldMgr::~CWorldMgr() { ASSERT(!d_levelLoaded); }

void CWorldMgr::unloadLevel()
{
    d_aiMap.destroy();
    d_pTree = nullptr;
    d_levelLoaded = false;
}

CLandTree* CWorldMgr::getTree() const
{
    ASSERT(d_pTree);
    return d_pTree;
}
