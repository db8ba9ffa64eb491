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

// The normal of every pair test points from the second shape toward the first. The moving tests
// move the first shape by its motion less the second's against the second standing still, and put
// the contact point back where the second stands at the time of contact.

bool sphereSphere(CCollisionObject* pA, CCollisionObject* pB, Vector3* pPoint, Vector3* pNormal)
{
    Vector3 c1, c2;
    float r1, r2;
    return sphereOf(pA, &c1, &r1) && sphereOf(pB, &c2, &r2) && sphereSphereIntersect(c1, r1, c2, r2, *pPoint, *pNormal);
}

bool movingSphereSphere(CCollisionObject* pA, CCollisionObject* pB, const Vector3& motionA, const Vector3& motionB,
                        Vector3* pPoint, Vector3* pNormal, float* pTime)
{
    Vector3 c1, c2;
    float r1, r2;
    if (!sphereOf(pA, &c1, &r1) || !sphereOf(pB, &c2, &r2) ||
        !temporalSphereSphereIntersect(c1, c1 + (motionA - motionB), r1, c2, r2, *pPoint, *pNormal, *pTime))
        return false;
    *pPoint += motionB * *pTime;
    return true;
}

// A ray against a sphere within the ray's length; the normal leaves the sphere.
bool raySphere(CCollisionObject* pRay, CCollisionObject* pSphere, Vector3* pPoint, Vector3* pNormal)
{
    Vector3 start, direction, centre;
    float length, radius, t;
    if (!rayOf(pRay, &start, &direction, &length) || !sphereOf(pSphere, &centre, &radius)) return false;
    return sphereFiniteRayIntersect(start, direction, centre, radius, t, *pPoint, *pNormal) && t <= length;
}

// Rays take no time: where both stand at the start of the step.
bool movingRaySphere(CCollisionObject* pRay, CCollisionObject* pSphere, const Vector3&, const Vector3&,
                     Vector3* pPoint, Vector3* pNormal, float* pTime)
{
    Vector3 start, direction, centre;
    float length, radius;
    return rayOf(pRay, &start, &direction, &length) && sphereOf(pSphere, &centre, &radius) &&
           temporalSphereRayIntersect(centre, radius, start, direction, length, *pPoint, *pNormal, *pTime);
}

bool sphereCylinder(CCollisionObject* pSphere, CCollisionObject* pCylinder, Vector3* pPoint, Vector3* pNormal)
{
    Vector3 centre;
    float radius;
    CollisionCylinder cylinder;
    return sphereOf(pSphere, &centre, &radius) && cylinderOf(pCylinder, &cylinder) &&
           sphereCylinderIntersect(centre, radius, cylinder, *pPoint, *pNormal);
}

bool movingSphereCylinder(CCollisionObject* pSphere, CCollisionObject* pCylinder, const Vector3& sphereMotion,
                          const Vector3& cylinderMotion, Vector3* pPoint, Vector3* pNormal, float* pTime)
{
    Vector3 centre;
    float radius;
    CollisionCylinder cylinder;
    if (!sphereOf(pSphere, &centre, &radius) || !cylinderOf(pCylinder, &cylinder) ||
        !temporalSphereCylinderIntersect(centre, centre + (sphereMotion - cylinderMotion), radius, cylinder, *pPoint,
                                         *pNormal, *pTime))
        return false;
    *pPoint += cylinderMotion * *pTime;
    return true;
}

// A ray that starts inside the cylinder touches it from the start.
bool rayCylinder(CCollisionObject* pRay, CCollisionObject* pCylinder, Vector3* pPoint, Vector3* pNormal)
{
    Vector3 start, direction;
    float length, t;
    CollisionCylinder cylinder;
    return rayOf(pRay, &start, &direction, &length) && cylinderOf(pCylinder, &cylinder) &&
           rayCylinderIntersect(start, direction, cylinder, t, *pPoint, *pNormal) && t <= length;
}

bool movingRayCylinder(CCollisionObject* pRay, CCollisionObject* pCylinder, const Vector3&, const Vector3&,
                       Vector3* pPoint, Vector3* pNormal, float* pTime)
{
    Vector3 start, direction;
    float length;
    CollisionCylinder cylinder;
    return rayOf(pRay, &start, &direction, &length) && cylinderOf(pCylinder, &cylinder) &&
           temporalRayCylinderIntersect(start, direction, length, cylinder, *pPoint, *pNormal, *pTime);
}

bool cylinderCylinder(CCollisionObject* pA, CCollisionObject* pB, Vector3* pPoint, Vector3* pNormal)
{
    CollisionCylinder a, b;
    return cylinderOf(pA, &a) && cylinderOf(pB, &b) && cylinderCylinderIntersect(a, b, *pPoint, *pNormal);
}

bool movingCylinderCylinder(CCollisionObject* pA, CCollisionObject* pB, const Vector3& motionA,
                            const Vector3& motionB, Vector3* pPoint, Vector3* pNormal, float* pTime)
{
    CollisionCylinder previous, fixed;
    if (!cylinderOf(pA, &previous) || !cylinderOf(pB, &fixed)) return false;
    CollisionCylinder current = previous;
    current.base += motionA - motionB;
    if (!temporalCylinderCylinderIntersect(previous, current, fixed, *pPoint, *pNormal, *pTime)) return false;
    *pPoint += motionB * *pTime;
    return true;
}

// A hierarchy answers for its spheres.
bool hierarchySpheres(CCollisionObject* pHierarchy, CCollisionObject* pOther, Vector3* pPoint, Vector3* pNormal)
{
    return static_cast<CCollisionSimpleHierarchy*>(pHierarchy)->testSpheres(pOther, pPoint, pNormal);
}

bool movingHierarchySpheres(CCollisionObject* pHierarchy, CCollisionObject* pOther, const Vector3& ownMotion,
                            const Vector3& otherMotion, Vector3* pPoint, Vector3* pNormal, float* pTime)
{
    return static_cast<CCollisionSimpleHierarchy*>(pHierarchy)
        ->testSpheresMoving(pOther, ownMotion, otherMotion, pPoint, pNormal, pTime);
}

typedef bool (*StaticPairTest)(CCollisionObject*, CCollisionObject*, Vector3*, Vector3*);
typedef bool (*MovingPairTest)(CCollisionObject*, CCollisionObject*, const Vector3&, const Vector3&, Vector3*,
                               Vector3*, float*);

// The tests of one ordered pair of kinds; a swapped pair runs its reverse's tests with the shapes
// exchanged and turns the normal round.
struct PairTests {
    StaticPairTest test;
    MovingPairTest moving;
    bool swapped;
};

enum Kind { SPHERE, RAY, CYLINDER, HULL, HIERARCHY, POINT, NUM_KINDS };

int kindOf(uint32_t typeId)
{
    switch (typeId) {
    case Manager::COLLISION_SPHERE:
        return SPHERE;
    case Manager::COLLISION_FINITE_RAY:
        return RAY;
    case Manager::COLLISION_CYLINDER:
        return CYLINDER;
    case Manager::COLLISION_CONVEX_HULL:
        return HULL;
    case Manager::COLLISION_SIMPLE_HIERARCHY:
        return HIERARCHY;
    case Manager::COLLISION_POINT:
        return POINT;
    default:
        return NUM_KINDS;
    }
}

const PairTests NONE = {nullptr, nullptr, false};
const PairTests SPHERE_SPHERE = {sphereSphere, movingSphereSphere, false};
const PairTests RAY_SPHERE = {raySphere, movingRaySphere, false};
const PairTests SPHERE_RAY = {raySphere, movingRaySphere, true};
const PairTests SPHERE_CYLINDER = {sphereCylinder, movingSphereCylinder, false};
const PairTests CYLINDER_SPHERE = {sphereCylinder, movingSphereCylinder, true};
const PairTests RAY_CYLINDER = {rayCylinder, movingRayCylinder, false};
const PairTests CYLINDER_RAY = {rayCylinder, movingRayCylinder, true};
const PairTests CYLINDER_CYLINDER = {cylinderCylinder, movingCylinderCylinder, false};
const PairTests HIERARCHY_ANY = {hierarchySpheres, movingHierarchySpheres, false};
const PairTests ANY_HIERARCHY = {hierarchySpheres, movingHierarchySpheres, true};

// Rows: the first shape's kind; columns: the second's. A hull carries no planes, so it meets
// nothing; a point has no test; two rays never meet; two hierarchies do not test each other.
const PairTests PAIRS[NUM_KINDS][NUM_KINDS] = {
    //            sphere         ray           cylinder           hull  hierarchy      point
    /* sphere    */ {SPHERE_SPHERE, SPHERE_RAY, SPHERE_CYLINDER, NONE, ANY_HIERARCHY, NONE},
    /* ray       */ {RAY_SPHERE, NONE, RAY_CYLINDER, NONE, ANY_HIERARCHY, NONE},
    /* cylinder  */ {CYLINDER_SPHERE, CYLINDER_RAY, CYLINDER_CYLINDER, NONE, ANY_HIERARCHY, NONE},
    /* hull      */ {NONE, NONE, NONE, NONE, NONE, NONE},
    /* hierarchy */ {HIERARCHY_ANY, HIERARCHY_ANY, HIERARCHY_ANY, NONE, NONE, NONE},
    /* point     */ {NONE, NONE, NONE, NONE, NONE, NONE},
};

const PairTests& pairTests(const CCollisionObject* pA, const CCollisionObject* pB)
{
    const int a = kindOf(pA->getCollisionType()), b = kindOf(pB->getCollisionType());
    return a < NUM_KINDS && b < NUM_KINDS ? PAIRS[a][b] : NONE;
}

}  // namespace

bool CCollisionObject::test(CCollisionObject* pOther, Vector3* pPoint, Vector3* pNormal, int)
{
    if (!pOther || !pPoint || !pNormal) return false;
    const PairTests& pair = pairTests(this, pOther);
    if (!pair.test) return false;
    if (!pair.swapped) return pair.test(this, pOther, pPoint, pNormal);
    if (!pair.test(pOther, this, pPoint, pNormal)) return false;
    *pNormal = pNormal->negated();
    return true;
}

bool CCollisionObject::testMoving(CCollisionObject* pOther, const Vector3& ownMotion, const Vector3& otherMotion,
                                  Vector3* pPoint, Vector3* pNormal, float* pTime)
{
    if (!pOther || !pPoint || !pNormal) return false;
    const PairTests& pair = pairTests(this, pOther);
    if (!pair.moving) return false;
    float time = 0.0f;
    if (!pair.swapped) {
        if (!pair.moving(this, pOther, ownMotion, otherMotion, pPoint, pNormal, &time)) return false;
    } else {
        if (!pair.moving(pOther, this, otherMotion, ownMotion, pPoint, pNormal, &time)) return false;
        *pNormal = pNormal->negated();
    }
    if (pTime) *pTime = time;
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
