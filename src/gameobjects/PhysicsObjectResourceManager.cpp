#include "gameobjects/PhysicsObjectResourceManager.h"

#include "gamemanagement/GameMemoryManager.h"
#include "gamemanagement/PoolKind.h"
#include "gameobjects/PhysicsObject.h"
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

CPhysicsObjectResourceManager::CPhysicsObjectResourceManager()
    : d_pMemory(new CGameMemoryManager), physicsObject(new CPhysicsObject*[MAX_PHYSICS_OBJECTS]()), d_numLive(0)
{
    for (const Kind& k : KINDS) d_pMemory->requestBlock(k.typeId, k.size);
    d_pMemory->initialise(MAX_PHYSICS_OBJECTS, false);
    physicsMemoryManager = d_pMemory;
}

CPhysicsObjectResourceManager::~CPhysicsObjectResourceManager()
{
    d_pMemory->releaseAll();
    if (physicsMemoryManager == d_pMemory) physicsMemoryManager = nullptr;
    delete d_pMemory;
    delete[] physicsObject;
}

bool CPhysicsObjectResourceManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int)
{
    const uint32_t slot = firstFreeSlot(physicsObject, MAX_PHYSICS_OBJECTS);
    if (slot == MAX_PHYSICS_OBJECTS) return false;
    const Kind* pKind = findPoolKind(KINDS, typeId);
    if (!pKind) {
        assertFailed("0", __FILE__, __LINE__);
        return false;
    }
    void* pBlock = nullptr;
    if (!d_pMemory->allocate(typeId, pKind->size, &pBlock)) {
        assertFailedMsg("Physics object resource manager failed to allocate : out of memory slots", "0", __FILE__,
                        __LINE__);
        return false;
    }
    CPhysicsObject* pObject = pKind->construct(pBlock);
    physicsObject[slot] = pObject;
    ++d_numLive;
    *pHandle = MANAGER_PHYSICS | slot;
    pObject->setResourceHandle(*pHandle);
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
    if (resource == MAX_PHYSICS_OBJECTS || !VERIFY(physicsObject[resource])) return false;
    CPhysicsObject* pObject = physicsObject[resource];
    const Kind* pKind = findPoolKind(KINDS, pObject->getTypeId());
    if (!pKind) {
        assertFailed("0", __FILE__, __LINE__);
        return false;
    }
    pObject->~CPhysicsObject();
    d_pMemory->free(pKind->typeId, pKind->size, pObject);
    physicsObject[resource] = nullptr;
    --d_numLive;
    return true;
}

bool CPhysicsObjectResourceManager::acquire(resourceHandle handle, CResource** ppResource)
{
    const uint32_t resource = checkedSlot(handle, "(resourceHandle & MASK_MANAGER) == getResourceManagerId()");
    if (resource == MAX_PHYSICS_OBJECTS || !physicsObject[resource]) return false;
    *ppResource = physicsObject[resource];
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
