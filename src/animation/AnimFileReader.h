// The animation text file: a "#HIERARCHY" line, one quoted "node" "parent" line per node (the
// first only carries the root's "#DUMMY"), an optional "#RATEMODIFIER:" line, then per animated
// node a "#NAME:" line and pairs of a "#TRACK:" line and a key line. Times are ticks of 1/4800 s.
#pragma once

#include "animation/AnimHierarchy.h"

#include <cstdint>

// Load results.
enum {
    ANIM_OK = 0,
    ANIM_ERR_FILE = 2,        // not opened, no "#HIERARCHY", a bad hierarchy, no "#NAME" after it
    ANIM_ERR_TRACK = 3,       // a bad line inside a part, or a part naming no node
    ANIM_ERR_NO_PARTS = 5,    // nothing after the hierarchy
};

// What the reader fills.
struct CAnimData {
    float LinearDuration = 0.0f;  // ms; set when a linear animation starts
    float AnimFileSpeedModifier = 1.0f;
    CAnimHierarchy Hierarchy;
};

// Reads the file into data (whose hierarchy must be empty) and returns the load result. On
// failure the nodes read so far stay in the hierarchy for its owner to destroy.
int32_t loadAnimationFile(const char* fileName, CAnimData* data);
