// CPathFollower: what an object that follows a path of the level keeps: the path and the waypoint
// it is making for.
#pragma once

#include "ai/PathMgr.h"

#include <cstdint>

class CPathFollower {
public:
    CPathFollower() : d_pathIndex(-1), d_targetWaypoint(0), d_pPaths(nullptr) {}
    virtual ~CPathFollower() {}

    int32_t getPathIndex() const { return d_pathIndex; }
    // Starts on a path of the manager at its first waypoint; -1 follows none.
    void follow(CPathMgr* pPaths, int32_t pathIndex)
    {
        d_pPaths = pPaths;
        d_pathIndex = pathIndex;
        d_targetWaypoint = 0;
    }
    void setTargetWaypoint(uint32_t waypoint) { d_targetWaypoint = waypoint; }
    // Whether the waypoint being approached is follow-only; false without a path.
    bool isFollowOnly() const
    {
        if (d_pathIndex < 0 || !d_pPaths || static_cast<uint32_t>(d_pathIndex) >= d_pPaths->getNumPaths()) return false;
        const SPath* pPath = d_pPaths->getPath(static_cast<uint32_t>(d_pathIndex));
        return pPath && d_targetWaypoint < pPath->numWaypoints && pPath->pWaypoints[d_targetWaypoint].followOnly;
    }

private:
    int32_t d_pathIndex;  // -1: none
    uint32_t d_targetWaypoint;
    CPathMgr* d_pPaths;
};
