// CCollisionObjectResourceManager (manager 0x81): makes, hands out and destroys the collision shapes
// of the level's objects. Handles keep reuse counts. Its construction also makes the pool of
// intersection records that the collision maths takes its contacts from.
#pragma once

#include "gamemanagement/SlotResourceManager.h"

class CCollisionObjectResourceManager : public CSlotResourceManager {
public:
    enum CollisionType : uint32_t {
        COLLISION_SPHERE = 0x81000001u,
        COLLISION_FINITE_RAY = 0x81000003u,
        COLLISION_CYLINDER = 0x81000004u,
        COLLISION_CONVEX_HULL = 0x81000006u,
        COLLISION_SIMPLE_HIERARCHY = 0x8100000Au,
        COLLISION_POINT = 0x8100000Eu,
    };
    static constexpr uint32_t MAX_COLLISION_OBJECTS = 4096;
    static constexpr uint32_t MAX_INTERSECTIONS = 1024;

    CCollisionObjectResourceManager();
    ~CCollisionObjectResourceManager() override;
    void destroy() override { delete this; }

protected:
    CResource* makeResource(uint32_t typeId) override;

private:
    bool d_ownsIntersections;
};
