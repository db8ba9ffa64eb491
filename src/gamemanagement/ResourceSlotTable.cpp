#include "gamemanagement/ResourceSlotTable.h"

#include "gamemanagement/ResourceManager.h"
#include "utility/Assert.h"

#include <cstring>
#include <new>

CResourceSlotTable::CResourceSlotTable(uint32_t managerId, uint32_t capacity)
    : d_managerId(managerId & CResourceManager::MASK_MANAGER), d_capacity(capacity), d_numLive(0), d_searchStart(0),
      d_pSlots(new (std::nothrow) Slot[capacity]())
{
    if (!VERIFY(d_pSlots)) d_capacity = 0;
}

CResourceSlotTable::~CResourceSlotTable() { delete[] d_pSlots; }

bool CResourceSlotTable::insert(CResource* pResource, resourceHandle* pHandle)
{
    for (uint32_t slot = d_searchStart; slot < d_capacity; ++slot) {
        if (d_pSlots[slot].pResource) continue;
        d_pSlots[slot].pResource = pResource;
        d_searchStart = slot + 1;
        ++d_numLive;
        *pHandle = CResourceManager::makeHandle(d_managerId, d_pSlots[slot].reuse, slot);
        return true;
    }
    return false;
}

bool CResourceSlotTable::checkHandle(resourceHandle handle) const
{
    if ((handle & CResourceManager::MASK_MANAGER) != d_managerId) {
        assertFailed("(resourceHandle & MASK_MANAGER) == getResourceManagerId()", __FILE__, __LINE__);
        return false;
    }
    // A slot past the table is refused after its report rather than read.
    const uint32_t slot = CResourceManager::handleSlot(handle);
    return VERIFY(slot < d_capacity);
}

CResource* CResourceSlotTable::find(resourceHandle handle) const
{
    if (!checkHandle(handle)) return nullptr;
    const Slot& slot = d_pSlots[CResourceManager::handleSlot(handle)];
    if (!slot.pResource || slot.reuse != CResourceManager::handleReuse(handle)) return nullptr;
    return slot.pResource;
}

CResource* CResourceSlotTable::remove(resourceHandle handle)
{
    CResource* pResource = find(handle);
    if (!pResource) return nullptr;
    const uint32_t index = CResourceManager::handleSlot(handle);
    Slot& slot = d_pSlots[index];
    slot.pResource = nullptr;
    slot.reuse = (slot.reuse + 1) & 0xFu;
    --d_numLive;
    if (index < d_searchStart) d_searchStart = index;
    return pResource;
}
