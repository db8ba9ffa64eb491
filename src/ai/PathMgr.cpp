#include "ai/PathMgr.h"

#include "utility/Assert.h"

#include <algorithm>
#include <new>

int32_t CPathMgr::addPath(resourceHandle parentHandle, const SWaypoint* pWaypoints, uint32_t count)
{
    if (!d_pPaths) d_pPaths = new (std::nothrow) SPath[MAX_PATHS]();
    if (!VERIFY(d_pPaths) || !VERIFY(d_numPaths < MAX_PATHS)) return -1;
    SWaypoint* pCopy = count ? new (std::nothrow) SWaypoint[count] : nullptr;
    if (count && !VERIFY(pCopy && pWaypoints)) {
        delete[] pCopy;
        return -1;
    }
    std::copy(pWaypoints, pWaypoints + count, pCopy);
    d_pPaths[d_numPaths] = SPath{parentHandle, count, pCopy};
    return static_cast<int32_t>(d_numPaths++);
}

SPath* CPathMgr::getPath(uint32_t idx)
{
    if (!VERIFY(d_numPaths > idx && d_pPaths)) return nullptr;
    return &d_pPaths[idx];
}

void CPathMgr::clear()
{
    for (uint32_t i = 0; i < d_numPaths; ++i) delete[] d_pPaths[i].pWaypoints;
    delete[] d_pPaths;
    d_pPaths = nullptr;
    d_numPaths = 0;
}
