// The effects' sort: entries in ascending key order (nearest first), in place. Fewer than 6 entries
// are sorted by insertion; more by a quicksort with median-of-three pivots that leaves runs shorter
// than 5 to a final insertion pass. Not stable.
#pragma once

#include <cstdint>

class CEffect;

struct TEffectSortEntry {
    CEffect* pEffect;
    float key;  // squared distance from the camera
};

void SortEffectEntries(TEffectSortEntry* pEntries, uint32_t count);
