#include "gameobjects/CollisionObject.h"

#include "gameobjects/CollisionObjectResourceManager.h"

#include <algorithm>
#include <cmath>

typedef CCollisionObjectResourceManager Manager;

bool CCollisionObject::test(CCollisionObject*, Vector3*, Vector3*, int) { return false; }

bool CCollisionObject::testMoving(CCollisionObject*, const Vector3&, const Vector3&, Vector3*, Vector3*)
{
    return false;
}

bool CCollisionObject::testBox2D(float x0, float y0, float x1, float y1, float margin) const
{
    Vector3 centre;
    if (!getCentre(&centre)) return false;
    const float minX = std::min(x0, x1) - margin, maxX = std::max(x0, x1) + margin;
    const float minY = std::min(y0, y1) - margin, maxY = std::max(y0, y1) + margin;
    const float dx = centre.x - std::clamp(centre.x, minX, maxX);
    const float dy = centre.y - std::clamp(centre.y, minY, maxY);
    const float r = getFootprintRadius();
    return dx * dx + dy * dy <= r * r;
}

namespace {

bool readCentre(const Vector3* pSource, Vector3* pCentre)
{
    if (!pSource) return false;
    *pCentre = *pSource;
    return true;
}

}  // namespace

CCollisionSphere::CCollisionSphere()
    : CCollisionObject(Manager::COLLISION_SPHERE), pCentre(nullptr), collisionClass(0), radius(0.0f)
{
}

bool CCollisionSphere::getCentre(Vector3* pOut) const { return readCentre(pCentre, pOut); }

CCollisionFiniteRay::CCollisionFiniteRay()
    : CCollisionObject(Manager::COLLISION_FINITE_RAY), pStart(nullptr), pDirection(nullptr), length(0.0f)
{
}

bool CCollisionFiniteRay::getCentre(Vector3* pOut) const
{
    if (!pStart || !pDirection) return false;
    *pOut = *pStart + *pDirection * (length * 0.5f);
    return true;
}

CCollisionCylinder::CCollisionCylinder()
    : CCollisionObject(Manager::COLLISION_CYLINDER), pCentre(nullptr), radius(0.0f), height(0.0f),
      pOrientation(nullptr)
{
    rotation.setIdentity();
}

bool CCollisionCylinder::getCentre(Vector3* pOut) const { return readCentre(pCentre, pOut); }

float CCollisionCylinder::getFootprintRadius() const { return std::sqrt(radius * radius + height * height); }

CCollisionConvexHull::CCollisionConvexHull()
    : CCollisionObject(Manager::COLLISION_CONVEX_HULL), pCentre(nullptr), pOrientation(nullptr)
{
}

bool CCollisionConvexHull::getCentre(Vector3* pOut) const { return readCentre(pCentre, pOut); }

CCollisionSimpleHierarchy::CCollisionSimpleHierarchy() : CCollisionObject(Manager::COLLISION_SIMPLE_HIERARCHY) {}

CCollisionPoint::CCollisionPoint() : CCollisionObject(Manager::COLLISION_POINT), pCentre(nullptr) {}

bool CCollisionPoint::getCentre(Vector3* pOut) const { return readCentre(pCentre, pOut); }
