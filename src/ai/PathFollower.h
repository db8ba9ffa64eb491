// CPathFollower: what an object that follows a path of the level keeps. There are no paths yet, so
// a follower follows none.
#pragma once

#include <cstdint>

class CPathFollower {
public:
    CPathFollower() : d_pathIndex(-1) {}
    virtual ~CPathFollower() {}

    int32_t getPathIndex() const { return d_pathIndex; }
    // Whether the waypoint being approached is follow-only; false without a path.
    bool isFollowOnly() const { return false; }

private:
    int32_t d_pathIndex;  // -1: none
};
