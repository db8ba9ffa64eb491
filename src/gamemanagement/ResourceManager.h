// CResourceManager: the interface of every resource manager. A manager owns the objects of its
// kinds, their pool and their definitions; the object manager keeps a registry of managers by id and
// routes every instantiate, acquire and release by the handle's top byte.
#pragma once

#include "gamemanagement/Resource.h"

#include <cstddef>
#include <cstdint>

class CGameObjectManager;

// A definition as a manager reports it (and as the object manager keeps a copy of it).
struct resDef {
    static constexpr size_t MAX_TYPE_NAME = 96;  // terminator included

    uint32_t typeId;
    char typeName[MAX_TYPE_NAME];
};

class CResourceManager {
public:
    static constexpr uint32_t MASK_MANAGER = 0xFF000000u;
    static constexpr uint32_t MASK_REUSE = 0x00F00000u;
    static constexpr uint32_t MASK_SLOT = 0x000FFFFFu;
    static constexpr uint32_t REUSE_SHIFT = 20;

    // What getResourceManagerId answers; the registry orders managers by this value, unsigned.
    enum ManagerId : uint32_t {
        MANAGER_MISC = 0x01000000u,
        MANAGER_ANIMALS = 0x02000000u,
        MANAGER_HERDS = 0x03000000u,
        MANAGER_COMPONENTS = 0x04000000u,
        MANAGER_EFFECTS = 0x05000000u,
        MANAGER_CAMERAS = 0x06000000u,
        MANAGER_BLOCKFILES = 0x07000000u,
        MANAGER_COLLISION = 0x81000000u,
        MANAGER_PHYSICS = 0x82000000u,
        MANAGER_MODELS = 0x83000000u,
        MANAGER_SCRIPTOBJECTS = 0x84000000u,
    };

    static resourceHandle makeHandle(uint32_t managerId, uint32_t reuse, uint32_t slot)
    {
        return (managerId & MASK_MANAGER) | ((reuse & 0xFu) << REUSE_SHIFT) | (slot & MASK_SLOT);
    }
    static uint32_t handleSlot(resourceHandle handle) { return handle & MASK_SLOT; }
    static uint32_t handleReuse(resourceHandle handle) { return (handle & MASK_REUSE) >> REUSE_SHIFT; }

    // Type names compare without regard to case over at most MAX_TYPE_NAME characters.
    static bool typeNamesMatch(const char* a, const char* b);
    // Fills a definition record; a name too long for it is cut.
    static void fillDefinition(resDef* pDef, uint32_t typeId, const char* typeName);
    // The usual findTypeByName over a manager's own {id, name} table.
    static bool findInDefinitions(const resDef* defs, uint32_t count, const char* typeName, uint32_t* pTypeId);

    virtual ~CResourceManager() {}

    // A new definition for a name the manager can load on demand; most managers cannot (false).
    virtual bool addDefinition(const char* typeName, resDef* pDef) = 0;
    // A new object of that type in a free slot; the object manager always passes flag 1.
    virtual bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) = 0;
    // Destroys the object and frees its slot (the reuse count advances where one is kept).
    virtual void release(resourceHandle handle) = 0;
    // The live object of a handle; false when the slot is empty.
    virtual bool acquire(resourceHandle handle, CResource** ppResource) = 0;
    virtual uint32_t getNumDefinitions() = 0;
    virtual resDef* getDefinition(resDef* pDef, uint32_t index) = 0;
    virtual bool findTypeByName(const char* typeName, uint32_t* pTypeId) = 0;
    // Never 0.
    virtual uint32_t getResourceManagerId() = 0;
    // Once every manager of the level is registered; false stops the walk.
    virtual bool initialise(CGameObjectManager* pObjectManager) = 0;
    virtual void deviceReset() {}
    // Per-frame work, near the end of the object manager's update.
    virtual void update(CGameObjectManager*) {}
    // At the end of the render-group pass.
    virtual void render(CGameObjectManager*, float) {}
    // Deletes the manager itself.
    virtual void destroy() = 0;
    // When the running level restarts, after its objects were deleted.
    virtual void resetForRestart() {}
};
