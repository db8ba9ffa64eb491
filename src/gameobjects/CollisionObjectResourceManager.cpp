#include "gameobjects/CollisionObjectResourceManager.h"

#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionServices.h"
#include "utility/Assert.h"
#include "utility/Collision.h"

#include <new>

namespace {

const resDef DEFINITIONS[CCollisionObjectResourceManager::NUM_COLLISION_TYPES] = {
    {CCollisionObjectResourceManager::COLLISION_SPHERE, "CollisionSphere"},
    {CCollisionObjectResourceManager::COLLISION_FINITE_RAY, "CollisionFiniteRay"},
    {CCollisionObjectResourceManager::COLLISION_CYLINDER, "CollisionCylinder"},
    {CCollisionObjectResourceManager::COLLISION_CONVEX_HULL, "CollisionConvexHull"},
    {CCollisionObjectResourceManager::COLLISION_SIMPLE_HIERARCHY, "CollisionSimpleHierarchy"},
    {CCollisionObjectResourceManager::COLLISION_POINT, "CollisionPoint"},
};

CCollisionObject* makeShape(uint32_t typeId)
{
    switch (typeId) {
    case CCollisionObjectResourceManager::COLLISION_SPHERE:
        return new (std::nothrow) CCollisionSphere;
    case CCollisionObjectResourceManager::COLLISION_FINITE_RAY:
        return new (std::nothrow) CCollisionFiniteRay;
    case CCollisionObjectResourceManager::COLLISION_CYLINDER:
        return new (std::nothrow) CCollisionCylinder;
    case CCollisionObjectResourceManager::COLLISION_CONVEX_HULL:
        return new (std::nothrow) CCollisionConvexHull;
    case CCollisionObjectResourceManager::COLLISION_SIMPLE_HIERARCHY:
        return new (std::nothrow) CCollisionSimpleHierarchy;
    case CCollisionObjectResourceManager::COLLISION_POINT:
        return new (std::nothrow) CCollisionPoint;
    default:
        return nullptr;
    }
}

}  // namespace

CCollisionObjectResourceManager::CCollisionObjectResourceManager()
    : d_slots(MANAGER_COLLISION, MAX_COLLISION_OBJECTS),
      d_ownsIntersections(createIntersectionMemoryManager(MAX_INTERSECTIONS, sizeof(CIntersection)))
{
}

CCollisionObjectResourceManager::~CCollisionObjectResourceManager()
{
    for (uint32_t slot = 0; slot < d_slots.getCapacity(); ++slot) {
        CResource* pShape = d_slots.at(slot);
        if (pShape) delete d_slots.remove(pShape->getResourceHandle());
    }
    if (d_ownsIntersections) destroyIntersectionMemoryManager();
}

bool CCollisionObjectResourceManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int)
{
    *pHandle = 0;
    if ((typeId & CResourceManager::MASK_MANAGER) != getResourceManagerId()) {
        assertFailed("( typeId&CResourceManager::MASK_MANAGER )==getResourceManagerId()", __FILE__, __LINE__);
        return false;
    }
    CCollisionObject* pShape = makeShape(typeId);
    if (!pShape) return false;
    resourceHandle handle = 0;
    if (!VERIFY_MSG(d_slots.insert(pShape, &handle), "No free collision object")) {
        delete pShape;
        return false;
    }
    pShape->setResourceHandle(handle);
    *pHandle = handle;
    return true;
}

void CCollisionObjectResourceManager::release(resourceHandle handle) { delete d_slots.remove(handle); }

bool CCollisionObjectResourceManager::acquire(resourceHandle handle, CResource** ppResource)
{
    *ppResource = d_slots.find(handle);
    return *ppResource != nullptr;
}

resDef* CCollisionObjectResourceManager::getDefinition(resDef* pDef, uint32_t index)
{
    if (!VERIFY(index < NUM_COLLISION_TYPES)) return nullptr;
    *pDef = DEFINITIONS[index];
    return pDef;
}

bool CCollisionObjectResourceManager::findTypeByName(const char* typeName, uint32_t* pTypeId)
{
    return findInDefinitions(DEFINITIONS, NUM_COLLISION_TYPES, typeName, pTypeId);
}
