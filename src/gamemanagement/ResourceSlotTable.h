// CResourceSlotTable: the fixed slot table of a manager that keeps reuse counts. A handle acquires
// only while its slot holds a live object and the reuse count in the handle is the slot's; releasing
// advances the count (15 wraps to 0), so a kept handle goes stale.
#pragma once

#include "gamemanagement/Resource.h"

#include <cstdint>

class CResourceSlotTable {
public:
    CResourceSlotTable(uint32_t managerId, uint32_t capacity);
    ~CResourceSlotTable();
    CResourceSlotTable(const CResourceSlotTable&) = delete;
    CResourceSlotTable& operator=(const CResourceSlotTable&) = delete;

    // Puts the object in the first free slot; false when every slot is taken.
    bool insert(CResource* pResource, resourceHandle* pHandle);
    // The object of a handle, or null. A handle of another manager and a slot past the table are
    // failed checks.
    CResource* find(resourceHandle handle) const;
    // Takes the object out (the caller destroys it) and advances the slot's reuse count.
    CResource* remove(resourceHandle handle);

    uint32_t getCapacity() const { return d_capacity; }
    uint32_t getNumLive() const { return d_numLive; }
    // The object in a slot (null when empty or past the table), for walks.
    CResource* at(uint32_t slot) const { return slot < d_capacity ? d_pSlots[slot].pResource : nullptr; }

private:
    struct Slot {
        CResource* pResource;
        uint32_t reuse;
    };

    bool checkHandle(resourceHandle handle) const;

    uint32_t d_managerId;
    uint32_t d_capacity;
    uint32_t d_numLive;
    uint32_t d_searchStart;  // no free slot below it
    Slot* d_pSlots;
};
