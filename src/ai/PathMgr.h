// CPathMgr: the level's paths. A path is a row of waypoints carried by a parent object (the object
// whose position and orientation the waypoints follow); a waypoint may be follow-only, which keeps
// the objects that follow it out of contact with the parent.
#pragma once

#include "gamemanagement/Resource.h"
#include "utility/VectorMath.h"

#include <cstdint>

struct SWaypoint {
    Vector3 position;
    uint8_t followOnly;
};

struct SPath {
    resourceHandle parentHandle;
    uint32_t numWaypoints;
    SWaypoint* pWaypoints;  // owned
};

class CPathMgr {
public:
    static constexpr uint32_t MAX_PATHS = 256;

    CPathMgr() : d_pPaths(nullptr), d_numPaths(0) {}
    ~CPathMgr() { clear(); }
    CPathMgr(const CPathMgr&) = delete;
    CPathMgr& operator=(const CPathMgr&) = delete;

    // A copy of the waypoints becomes the next path; its index, or -1 when the table is full.
    int32_t addPath(resourceHandle parentHandle, const SWaypoint* pWaypoints, uint32_t count);
    // Null, reported, for an index past the paths.
    SPath* getPath(uint32_t idx);
    uint32_t getNumPaths() const { return d_numPaths; }
    void clear();

private:
    SPath* d_pPaths;
    uint32_t d_numPaths;
};
