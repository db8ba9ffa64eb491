#include "gameobjects/PhysicsObjectResourceManager.h"

#include "utility/Assert.h"

CGameMemoryManager* physicsMemoryManager = nullptr;

namespace {

typedef TPoolKind<CPhysicsObject> Kind;

template <class K>
constexpr Kind kind(uint32_t typeId, const char* name)
{
    return poolKind<CPhysicsObject, K>(typeId, name);
}

// By type number; names are looked up in another order.
const Kind KINDS[CPhysicsObjectResourceManager::NUM_KINDS] = {
    kind<CPhysicsNone>(CPhysicsObject::PHYSICS_NONE, "PhysicsNone"),
    kind<CPhysicsParticle>(CPhysicsObject::PHYSICS_PARTICLE, "PhysicsParticle"),
    kind<CPhysicsImmovable>(CPhysicsObject::PHYSICS_IMMOVABLE, "PhysicsImmovable"),
    kind<CPhysicsRigidBody>(CPhysicsObject::PHYSICS_RIGIDBODY, "PhysicsRigidBody"),
};
const uint32_t NAME_ORDER[CPhysicsObjectResourceManager::NUM_KINDS] = {0, 1, 3, 2};

}  // namespace

CPhysicsObjectResourceManager::CPhysicsObjectResourceManager() : d_slots(KINDS, MAX_PHYSICS_OBJECTS)
{
    physicsMemoryManager = d_slots.pool();
}

CPhysicsObjectResourceManager::~CPhysicsObjectResourceManager()
{
    if (physicsMemoryManager == d_slots.pool()) physicsMemoryManager = nullptr;
}

bool CPhysicsObjectResourceManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int)
{
    const uint32_t slot = d_slots.firstFree();
    if (slot == MAX_PHYSICS_OBJECTS) return false;
    const Kind* pKind = findPoolKind(KINDS, typeId);
    if (!pKind) {
        assertFailed("0", __FILE__, __LINE__);
        return false;
    }
    void* pBlock = nullptr;
    if (!d_slots.pool()->allocate(typeId, pKind->size, &pBlock)) {
        assertFailedMsg("Physics object resource manager failed to allocate : out of memory slots", "0", __FILE__,
                        __LINE__);
        return false;
    }
    *pHandle = MANAGER_PHYSICS | slot;
    d_slots.construct(*pKind, pBlock, slot)->setResourceHandle(*pHandle);
    return true;
}

uint32_t CPhysicsObjectResourceManager::checkedSlot(resourceHandle handle, const char* managerCheck)
{
    if ((handle & MASK_MANAGER) != getResourceManagerId()) {
        assertFailed(managerCheck, __FILE__, __LINE__);
        return MAX_PHYSICS_OBJECTS;
    }
    const uint32_t resource = handle & ~MASK_MANAGER;
    if (!VERIFY(resource < MAX_PHYSICS_OBJECTS)) return MAX_PHYSICS_OBJECTS;
    return resource;
}

void CPhysicsObjectResourceManager::release(resourceHandle handle) { releaseObject(handle); }

bool CPhysicsObjectResourceManager::releaseObject(resourceHandle handle)
{
    const uint32_t resource = checkedSlot(handle, "manager == getResourceManagerId()");
    if (resource == MAX_PHYSICS_OBJECTS) return false;
    CPhysicsObject* pObject = d_slots.at(resource);
    if (!pObject) {
        assertFailed("physicsObject[resource]", __FILE__, __LINE__);
        return false;
    }
    const Kind* pKind = findPoolKind(KINDS, pObject->getTypeId());
    if (!pKind) {
        assertFailed("0", __FILE__, __LINE__);
        return false;
    }
    d_slots.destroy(*pKind, resource);
    return true;
}

bool CPhysicsObjectResourceManager::acquire(resourceHandle handle, CResource** ppResource)
{
    const uint32_t resource = checkedSlot(handle, "(resourceHandle & MASK_MANAGER) == getResourceManagerId()");
    if (resource == MAX_PHYSICS_OBJECTS || !d_slots.at(resource)) return false;
    *ppResource = d_slots.at(resource);
    return true;
}

resDef* CPhysicsObjectResourceManager::getDefinition(resDef* pDef, uint32_t index)
{
    return poolKindDefinition(KINDS, pDef, index);
}

bool CPhysicsObjectResourceManager::findTypeByName(const char* typeName, uint32_t* pTypeId)
{
    for (uint32_t i : NAME_ORDER) {
        if (!typeNamesMatch(KINDS[i].name, typeName)) continue;
        *pTypeId = KINDS[i].typeId;
        return true;
    }
    return false;
}
