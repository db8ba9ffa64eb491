#include "gameobjects/SampleObjectResourceManager.h"

#include "gamemanagement/GameMemoryManager.h"
#include "gameobjects/GameEffect.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/PlacedObjects.h"
#include "gameobjects/SampleObjects.h"
#include "gameobjects/TreeClump.h"
#include "utility/Assert.h"
#include "weapons/MeleeWeapon.h"
#include "weapons/WeaponElementInstance.h"

namespace {

typedef CSampleObjectResourceManager Manager;
typedef TPoolKind<CGameObject> Kind;

template <class K>
constexpr Kind kind(const char* name)
{
    return poolKind<CGameObject, K>(K::TYPE_ID, name);
}

// In the order of the definition list; the last is not listed to the object manager.
const Kind KINDS[Manager::NUM_KINDS] = {
    kind<CSampleObjectBullet>("SampleObjectBullet"),
    kind<CSampleObjectLaser>("SampleObjectLaser"),
    kind<CSampleObjectTarget>("SampleObjectTarget"),
    kind<CTreeClump>("TreeClump"),
    kind<WeaponElementInstance>("WeaponElementInstance"),
    kind<MeleeWeapon>("MeleeWeapon"),
    kind<CGameEffect>("Effect"),
    kind<CWater>("Water"),
    kind<CWreck>("Wreck"),
    kind<CCollisionTest>("CollisionTest"),
    kind<CPickup>("Pickup"),
};

}  // namespace

CGameMemoryManager* CSampleObjectResourceManager::s_pObjectMemory = nullptr;
uint32_t CSampleObjectResourceManager::s_bulletCollisionType = 0;
uint32_t CSampleObjectResourceManager::s_bulletPhysicsType = 0;
uint32_t CSampleObjectResourceManager::s_bulletModelType = 0;

CSampleObjectResourceManager::CSampleObjectResourceManager() : d_slots(KINDS, MAX_OBJECTS)
{
    s_pObjectMemory = d_slots.pool();
}

CSampleObjectResourceManager::~CSampleObjectResourceManager()
{
    // The kinds must not reach a pool that is gone.
    if (s_pObjectMemory == d_slots.pool()) s_pObjectMemory = nullptr;
}

void* CSampleObjectResourceManager::allocateObject(uint32_t typeId, uint32_t size)
{
    void* pBlock = nullptr;
    if (s_pObjectMemory && s_pObjectMemory->allocate(typeId, size, &pBlock)) return pBlock;
    assertFailedMsg("Sample objects memory manager failed to allocate", "0", __FILE__, __LINE__);
    return nullptr;
}

void CSampleObjectResourceManager::freeObject(uint32_t typeId, uint32_t size, void* pBlock)
{
    if (VERIFY(s_pObjectMemory)) s_pObjectMemory->free(typeId, size, pBlock);
}

uint32_t CSampleObjectResourceManager::slotOf(resourceHandle handle)
{
    // The reuse bits are always 0 in this manager's handles: a handle with any set names no slot.
    if (handle & MASK_REUSE) return MAX_OBJECTS;
    return handleSlot(handle) < MAX_OBJECTS ? handleSlot(handle) : MAX_OBJECTS;
}

bool CSampleObjectResourceManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int)
{
    const uint32_t slot = d_slots.firstFree();
    if (slot == MAX_OBJECTS) return false;
    if (typeId < FIRST_TYPE || typeId > LAST_TYPE || typeId == UNUSED_TYPE) return false;
    const Kind* pKind = findPoolKind(KINDS, typeId);
    void* pBlock = pKind ? allocateObject(typeId, pKind->size) : nullptr;
    if (!pBlock) return false;
    *pHandle = MANAGER_MISC | slot;
    d_slots.construct(*pKind, pBlock, slot)->setResourceHandle(*pHandle);
    return true;
}

void CSampleObjectResourceManager::release(resourceHandle handle) { releaseObject(handle); }

bool CSampleObjectResourceManager::releaseObject(resourceHandle handle)
{
    const uint32_t slot = slotOf(handle);
    if (!VERIFY(slot < MAX_OBJECTS)) return false;
    CGameObject* pObject = d_slots.at(slot);
    if (!VERIFY(pObject)) return false;
    const Kind* pKind = findPoolKind(KINDS, pObject->GetType());
    if (!pKind) return false;
    d_slots.destroy(*pKind, slot);
    return true;
}

bool CSampleObjectResourceManager::acquire(resourceHandle handle, CResource** ppResource)
{
    const uint32_t slot = slotOf(handle);
    if (!VERIFY(slot < MAX_OBJECTS) || !d_slots.at(slot)) return false;
    *ppResource = d_slots.at(slot);
    return true;
}

resDef* CSampleObjectResourceManager::getDefinition(resDef* pDef, uint32_t index)
{
    return poolKindDefinition(KINDS, pDef, index);
}

bool CSampleObjectResourceManager::findTypeByName(const char* typeName, uint32_t* pTypeId)
{
    // Only the listed definitions are matched, so "Pickup" is not found by name.
    for (uint32_t i = 0; i < getNumDefinitions(); ++i) {
        if (!typeNamesMatch(KINDS[i].name, typeName)) continue;
        *pTypeId = KINDS[i].typeId;
        return true;
    }
    return false;
}

bool CSampleObjectResourceManager::initialise(CGameObjectManager* pObjectManager)
{
    s_bulletCollisionType = s_bulletPhysicsType = s_bulletModelType = 0;
    if (!VERIFY(pObjectManager)) return true;
    uint32_t typeId = 0;
    if (pObjectManager->findTypeIdAnyManager("CollisionFiniteRay", &typeId)) s_bulletCollisionType = typeId;
    if (pObjectManager->findTypeIdAnyManager("PhysicsNone", &typeId)) s_bulletPhysicsType = typeId;
    if (pObjectManager->findTypeId(MANAGER_MODELS, BULLET_MODEL, &typeId) ||
        pObjectManager->addDefinition(MANAGER_MODELS, BULLET_MODEL, &typeId))
        s_bulletModelType = typeId;
    return true;
}
