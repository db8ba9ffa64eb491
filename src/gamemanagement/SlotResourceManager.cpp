#include "gamemanagement/SlotResourceManager.h"

#include "utility/Assert.h"

CSlotResourceManager::CSlotResourceManager(uint32_t managerId, uint32_t capacity, const resDef* pDefinitions,
                                           uint32_t numDefinitions)
    : d_managerId(managerId & MASK_MANAGER), d_slots(managerId, capacity),
      d_definitions(pDefinitions, pDefinitions + numDefinitions)
{
}

CSlotResourceManager::~CSlotResourceManager()
{
    for (uint32_t slot = 0; slot < d_slots.getCapacity(); ++slot)
        if (CResource* pResource = d_slots.at(slot)) delete d_slots.remove(pResource->getResourceHandle());
}

bool CSlotResourceManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int)
{
    *pHandle = 0;
    if ((typeId & MASK_MANAGER) != d_managerId) {
        assertFailed("( typeId&CResourceManager::MASK_MANAGER )==getResourceManagerId()", __FILE__, __LINE__);
        return false;
    }
    bool defined = false;
    for (const resDef& definition : d_definitions) defined = defined || definition.typeId == typeId;
    CResource* pResource = defined ? makeResource(typeId) : nullptr;
    if (!pResource) return false;
    resourceHandle handle = 0;
    if (!VERIFY_MSG(d_slots.insert(pResource, &handle), "No free slot for a new resource")) {
        delete pResource;
        return false;
    }
    pResource->setResourceHandle(handle);
    *pHandle = handle;
    return true;
}

void CSlotResourceManager::release(resourceHandle handle) { delete d_slots.remove(handle); }

bool CSlotResourceManager::acquire(resourceHandle handle, CResource** ppResource)
{
    *ppResource = d_slots.find(handle);
    return *ppResource != nullptr;
}

resDef* CSlotResourceManager::getDefinition(resDef* pDef, uint32_t index)
{
    if (!VERIFY(index < getNumDefinitions())) return nullptr;
    *pDef = d_definitions[index];
    return pDef;
}

bool CSlotResourceManager::findTypeByName(const char* typeName, uint32_t* pTypeId)
{
    return findInDefinitions(d_definitions.data(), getNumDefinitions(), typeName, pTypeId);
}
