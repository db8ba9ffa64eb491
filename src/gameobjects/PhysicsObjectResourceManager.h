// CPhysicsObjectResourceManager (manager 0x82): makes, hands out and destroys the physics objects of
// the level's game objects, MAX_PHYSICS_OBJECTS at most, from one pool. Handles are the manager id
// ORed with the slot: a reused slot gives the same handle again.
#pragma once

#include "gamemanagement/PoolKind.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/PhysicsObject.h"

class CPhysicsObjectResourceManager : public CResourceManager {
public:
    static constexpr uint32_t MAX_PHYSICS_OBJECTS = 200;
    static constexpr uint32_t NUM_KINDS = 4;

    CPhysicsObjectResourceManager();
    // Frees the pool and the slot table; objects still live are not destroyed.
    ~CPhysicsObjectResourceManager() override;
    CPhysicsObjectResourceManager(const CPhysicsObjectResourceManager&) = delete;
    CPhysicsObjectResourceManager& operator=(const CPhysicsObjectResourceManager&) = delete;

    bool addDefinition(const char*, resDef*) override { return false; }
    // A type outside the four kinds is a failed check.
    bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) override;
    void release(resourceHandle handle) override;
    bool acquire(resourceHandle handle, CResource** ppResource) override;
    uint32_t getNumDefinitions() override { return NUM_KINDS; }
    resDef* getDefinition(resDef* pDef, uint32_t index) override;
    bool findTypeByName(const char* typeName, uint32_t* pTypeId) override;
    uint32_t getResourceManagerId() override { return MANAGER_PHYSICS; }
    bool initialise(CGameObjectManager*) override { return true; }
    void destroy() override { delete this; }

    // Destroys the object of a handle; false (after a report) for a handle of another manager or
    // past the table, an empty slot, or an object of none of the kinds.
    bool releaseObject(resourceHandle handle);
    uint32_t getNumLive() const { return d_slots.getNumLive(); }

private:
    // The slot of a handle of this manager, after the checks (the manager's with the caller's text);
    // MAX_PHYSICS_OBJECTS when it names none.
    uint32_t checkedSlot(resourceHandle handle, const char* managerCheck);

    TPoolSlots<CPhysicsObject> d_slots;
};

// The pool of the physics objects while their manager lives.
extern CGameMemoryManager* physicsMemoryManager;
