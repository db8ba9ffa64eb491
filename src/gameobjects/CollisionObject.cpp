#include "gameobjects/CollisionObject.h"

#include "gameobjects/CollisionObjectResourceManager.h"
#include "utility/CollisionTemporal.h"

#include <algorithm>
#include <cmath>

typedef CCollisionObjectResourceManager Manager;

namespace {

// A sphere's centre and radius; false for any other shape or one not placed yet.
bool sphereOf(const CCollisionObject* pShape, Vector3* pCentre, float* pRadius)
{
    if (pShape->getCollisionType() != Manager::COLLISION_SPHERE) return false;
    const auto* pSphere = static_cast<const CCollisionSphere*>(pShape);
    if (!pSphere->pCentre) return false;
    *pCentre = *pSphere->pCentre;
    *pRadius = pSphere->radius;
    return true;
}

// A finite ray as start, direction and length.
bool rayOf(const CCollisionObject* pShape, Vector3* pStart, Vector3* pDirection, float* pLength)
{
    if (pShape->getCollisionType() != Manager::COLLISION_FINITE_RAY) return false;
    const auto* pRay = static_cast<const CCollisionFiniteRay*>(pShape);
    if (!pRay->pStart || !pRay->pDirection) return false;
    *pStart = *pRay->pStart;
    *pDirection = *pRay->pDirection;
    *pLength = pRay->length;
    return true;
}

// The cylinder stands along its own z axis, turned by its rotation and then by its owner's
// orientation, centred on the owner's position; its height runs along the axis.
bool cylinderOf(const CCollisionObject* pShape, CollisionCylinder* pCylinder)
{
    if (pShape->getCollisionType() != Manager::COLLISION_CYLINDER) return false;
    const auto* pShapeCylinder = static_cast<const CCollisionCylinder*>(pShape);
    if (!pShapeCylinder->pCentre) return false;
    Matrix3 turn = pShapeCylinder->rotation;
    if (pShapeCylinder->pOrientation) Matrix3::multiply(turn, pShapeCylinder->rotation, *pShapeCylinder->pOrientation);
    turn.getRow1(2, pCylinder->axis);
    pCylinder->radius = pShapeCylinder->radius;
    pCylinder->length = pShapeCylinder->height;
    pCylinder->base = *pShapeCylinder->pCentre - pCylinder->axis * (0.5f * pShapeCylinder->height);
    return true;
}

// A ray against a sphere within the ray's length; the normal leaves the sphere.
bool raySphere(const CCollisionObject* pRay, const CCollisionObject* pSphere, Vector3* pPoint, Vector3* pNormal)
{
    Vector3 start, direction, centre;
    float length, radius, t;
    if (!rayOf(pRay, &start, &direction, &length) || !sphereOf(pSphere, &centre, &radius)) return false;
    return sphereFiniteRayIntersect(start, direction, centre, radius, t, *pPoint, *pNormal) && t <= length;
}

// A sphere against a cylinder; the normal leaves the cylinder.
bool sphereCylinder(const CCollisionObject* pSphere, const CCollisionObject* pCylinder, Vector3* pPoint,
                    Vector3* pNormal)
{
    Vector3 centre;
    float radius;
    CollisionCylinder cylinder;
    if (!sphereOf(pSphere, &centre, &radius) || !cylinderOf(pCylinder, &cylinder)) return false;
    return sphereCylinderIntersect(centre, radius, cylinder, *pPoint, *pNormal);
}

}  // namespace

// Normals point from the other shape towards this one.
bool CCollisionObject::test(CCollisionObject* pOther, Vector3* pPoint, Vector3* pNormal, int)
{
    if (!pOther || !pPoint || !pNormal) return false;
    const uint32_t own = getCollisionType(), other = pOther->getCollisionType();
    // A hierarchy answers for its spheres from its own side.
    if (other == Manager::COLLISION_SIMPLE_HIERARCHY && own != other) {
        if (!pOther->test(this, pPoint, pNormal, 0)) return false;
        *pNormal = pNormal->negated();
        return true;
    }
    if (own == Manager::COLLISION_SPHERE && other == Manager::COLLISION_SPHERE) {
        Vector3 c1, c2;
        float r1, r2;
        return sphereOf(this, &c1, &r1) && sphereOf(pOther, &c2, &r2) &&
               sphereSphereIntersect(c1, r1, c2, r2, *pPoint, *pNormal);
    }
    if (own == Manager::COLLISION_FINITE_RAY) return raySphere(this, pOther, pPoint, pNormal);
    if (own == Manager::COLLISION_SPHERE && other == Manager::COLLISION_CYLINDER)
        return sphereCylinder(this, pOther, pPoint, pNormal);
    // The reversed pairs find their normal pointing the other way.
    const bool hit = (other == Manager::COLLISION_FINITE_RAY && raySphere(pOther, this, pPoint, pNormal)) ||
                     (other == Manager::COLLISION_SPHERE && sphereCylinder(pOther, this, pPoint, pNormal));
    if (hit) *pNormal = pNormal->negated();
    return hit;
}

// Sphere against sphere only: this one moves by its motion less the other's against the other
// standing still, and the contact point is put back where the other stands at that time.
bool CCollisionObject::testMoving(CCollisionObject* pOther, const Vector3& ownMotion, const Vector3& otherMotion,
                                  Vector3* pPoint, Vector3* pNormal)
{
    Vector3 own, other;
    float ownRadius, otherRadius, time;
    if (!pOther || !pPoint || !pNormal || !sphereOf(this, &own, &ownRadius) ||
        !sphereOf(pOther, &other, &otherRadius))
        return false;
    const Vector3 relative = ownMotion - otherMotion;
    if (!temporalSphereSphereIntersect(own, own + relative, ownRadius, other, otherRadius, *pPoint, *pNormal, time))
        return false;
    *pPoint += otherMotion * time;
    return true;
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
