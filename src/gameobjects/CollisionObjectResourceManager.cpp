#include "gameobjects/CollisionObjectResourceManager.h"

#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionServices.h"
#include "utility/Collision.h"

#include <new>

namespace {

typedef CCollisionObjectResourceManager Manager;

const resDef DEFINITIONS[] = {
    {Manager::COLLISION_SPHERE, "CollisionSphere"},
    {Manager::COLLISION_FINITE_RAY, "CollisionFiniteRay"},
    {Manager::COLLISION_CYLINDER, "CollisionCylinder"},
    {Manager::COLLISION_CONVEX_HULL, "CollisionConvexHull"},
    {Manager::COLLISION_SIMPLE_HIERARCHY, "CollisionSimpleHierarchy"},
    {Manager::COLLISION_POINT, "CollisionPoint"},
};

}  // namespace

CCollisionObjectResourceManager::CCollisionObjectResourceManager()
    : CSlotResourceManager(MANAGER_COLLISION, MAX_COLLISION_OBJECTS, DEFINITIONS, sizeof DEFINITIONS / sizeof DEFINITIONS[0]),
      d_ownsIntersections(createIntersectionMemoryManager(MAX_INTERSECTIONS, sizeof(CIntersection)))
{
}

CCollisionObjectResourceManager::~CCollisionObjectResourceManager()
{
    if (d_ownsIntersections) destroyIntersectionMemoryManager();
}

CResource* CCollisionObjectResourceManager::makeResource(uint32_t typeId)
{
    switch (typeId) {
    case COLLISION_SPHERE:
        return new (std::nothrow) CCollisionSphere;
    case COLLISION_FINITE_RAY:
        return new (std::nothrow) CCollisionFiniteRay;
    case COLLISION_CYLINDER:
        return new (std::nothrow) CCollisionCylinder;
    case COLLISION_CONVEX_HULL:
        return new (std::nothrow) CCollisionConvexHull;
    case COLLISION_SIMPLE_HIERARCHY:
        return new (std::nothrow) CCollisionSimpleHierarchy;
    case COLLISION_POINT:
        return new (std::nothrow) CCollisionPoint;
    default:
        return nullptr;
    }
}
