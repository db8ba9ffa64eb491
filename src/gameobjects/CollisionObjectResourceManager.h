// CCollisionObjectResourceManager (manager 0x81): makes, hands out and destroys the collision shapes
// of the level's objects. Handles keep reuse counts. Its construction also makes the pool of
// intersection records that the collision maths takes its contacts from.
#pragma once

#include "gamemanagement/ResourceManager.h"
#include "gamemanagement/ResourceSlotTable.h"

class CCollisionObjectResourceManager : public CResourceManager {
public:
    enum CollisionType : uint32_t {
        COLLISION_SPHERE = 0x81000001u,
        COLLISION_FINITE_RAY = 0x81000003u,
        COLLISION_CYLINDER = 0x81000004u,
        COLLISION_CONVEX_HULL = 0x81000006u,
        COLLISION_SIMPLE_HIERARCHY = 0x8100000Au,
        COLLISION_POINT = 0x8100000Eu,
    };
    static constexpr uint32_t NUM_COLLISION_TYPES = 6;
    static constexpr uint32_t MAX_COLLISION_OBJECTS = 4096;
    static constexpr uint32_t MAX_INTERSECTIONS = 1024;

    CCollisionObjectResourceManager();
    // Destroys the shapes still live.
    ~CCollisionObjectResourceManager() override;

    bool addDefinition(const char*, resDef*) override { return false; }
    bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) override;
    void release(resourceHandle handle) override;
    bool acquire(resourceHandle handle, CResource** ppResource) override;
    uint32_t getNumDefinitions() override { return NUM_COLLISION_TYPES; }
    resDef* getDefinition(resDef* pDef, uint32_t index) override;
    bool findTypeByName(const char* typeName, uint32_t* pTypeId) override;
    uint32_t getResourceManagerId() override { return MANAGER_COLLISION; }
    bool initialise(CGameObjectManager*) override { return true; }
    void destroy() override { delete this; }

    uint32_t getNumLive() const { return d_slots.getNumLive(); }

private:
    CResourceSlotTable d_slots;
    bool d_ownsIntersections;
};
