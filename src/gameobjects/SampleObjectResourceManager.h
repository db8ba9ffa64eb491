// CSampleObjectResourceManager (manager 0x01): hands out the placed game objects that have no
// manager of their own - the sample objects, tree clumps, fired weapon elements, melee weapons,
// placed effects, water, wrecks, collision testers and pickups. Its eleven kinds are built in; all
// live in one pool of MAX_OBJECTS blocks, each as large as the largest kind.
//
// Handles are the manager id ORed with the slot: a reused slot gives the same handle again.
// "Pickup" is left out of the definitions the object manager copies (and out of the name look-up),
// so it is made by type id only.
#pragma once

#include "gamemanagement/PoolKind.h"
#include "gamemanagement/ResourceManager.h"

class CGameObject;

class CSampleObjectResourceManager : public CResourceManager {
public:
    static constexpr uint32_t MAX_OBJECTS = 2048;
    static constexpr uint32_t NUM_KINDS = 11;
    // Type 8 of this manager does not exist.
    static constexpr uint32_t FIRST_TYPE = 0x01000000;
    static constexpr uint32_t LAST_TYPE = 0x0100000b;
    static constexpr uint32_t UNUSED_TYPE = 0x01000008;
    static constexpr const char* BULLET_MODEL = "data\\models\\dressing\\bullet\\bullet.rsm";

    CSampleObjectResourceManager();
    // Frees the pool and the slot table; objects still live are not destroyed.
    ~CSampleObjectResourceManager() override;
    CSampleObjectResourceManager(const CSampleObjectResourceManager&) = delete;
    CSampleObjectResourceManager& operator=(const CSampleObjectResourceManager&) = delete;

    bool addDefinition(const char*, resDef*) override { return false; }
    // The first free slot is found before the type is looked at.
    bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) override;
    void release(resourceHandle handle) override;
    bool acquire(resourceHandle handle, CResource** ppResource) override;
    uint32_t getNumDefinitions() override { return NUM_KINDS - 1; }
    resDef* getDefinition(resDef* pDef, uint32_t index) override;
    bool findTypeByName(const char* typeName, uint32_t* pTypeId) override;
    uint32_t getResourceManagerId() override { return MANAGER_MISC; }
    // Caches the bullet's collision and physics types and its model type (adding the model's
    // definition when the model manager lacks it).
    bool initialise(CGameObjectManager* pObjectManager) override;
    void destroy() override { delete this; }

    // Destroys the object of a handle; false for an empty slot, a handle past the table and an
    // object of none of the kinds (its slot then stays).
    bool releaseObject(resourceHandle handle);
    uint32_t getNumLive() const { return d_slots.getNumLive(); }

    // The kinds' blocks: null (after a report) when the pool is exhausted or absent.
    static void* allocateObject(uint32_t typeId, uint32_t size);
    static void freeObject(uint32_t typeId, uint32_t size, void* pBlock);

    // What initialise cached for the bullet (0 when not found).
    static uint32_t s_bulletCollisionType;
    static uint32_t s_bulletPhysicsType;
    static uint32_t s_bulletModelType;

private:
    // The slot of a handle, or MAX_OBJECTS for a handle that names none.
    static uint32_t slotOf(resourceHandle handle);

    TPoolSlots<CGameObject> d_slots;

    static CGameMemoryManager* s_pObjectMemory;
};
