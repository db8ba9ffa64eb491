// CCollisionObject: the shape through which a game object takes part in contact tests. Shapes point
// at their owner's position and orientation rather than copying them, so they follow the owner
// without being told. The collision-object manager makes them by type id.
#pragma once

#include "gamemanagement/Resource.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CCollisionObject : public CResource {
public:
    explicit CCollisionObject(uint32_t typeId) : d_typeId(typeId) {}

    uint32_t getResourceType() const override { return RESOURCETYPE_COLLISIONOBJECT; }
    uint32_t getCollisionType() const { return d_typeId; }

    // Static test against another shape: contact point and normal, the normal pointing from the
    // other shape toward this one. Pairs without a test of their own make no contact.
    bool test(CCollisionObject* pOther, Vector3* pPoint, Vector3* pNormal, int flag);
    // The same while both shapes move by the given motions over the step: the point where they first
    // touch and the fraction of the step at which they do (0 also when touching from the start).
    // Rays take no time: they are tested where they stand. A movement below sqrt(0.001) relative to
    // the other shape is tested statically where it ends.
    bool testMoving(CCollisionObject* pOther, const Vector3& ownMotion, const Vector3& otherMotion, Vector3* pPoint,
                    Vector3* pNormal, float* pTime = nullptr);
    // False for a shape that has no centre (or whose owner has not placed it yet).
    virtual bool getCentre(Vector3* pCentre) const = 0;
    // Whether the shape's footprint on the ground axes (x, y) meets the box between the two corners
    // grown by the margin on every side.
    bool testBox2D(float x0, float y0, float x1, float y1, float margin) const;

protected:
    // The radius of a circle about the centre that holds the shape's footprint.
    virtual float getFootprintRadius() const { return 0.0f; }

private:
    uint32_t d_typeId;
};

class CCollisionSphere : public CCollisionObject {
public:
    CCollisionSphere();
    const char* getTypeName() const override { return "CollisionSphere"; }
    bool getCentre(Vector3* pCentre) const override;

    const Vector3* pCentre;
    uint32_t collisionClass;
    float radius;

protected:
    float getFootprintRadius() const override { return radius; }
};

class CCollisionFiniteRay : public CCollisionObject {
public:
    CCollisionFiniteRay();
    const char* getTypeName() const override { return "CollisionFiniteRay"; }
    // The middle of the ray.
    bool getCentre(Vector3* pCentre) const override;

    const Vector3* pStart;
    const Vector3* pDirection;  // unit
    float length;

protected:
    float getFootprintRadius() const override { return length * 0.5f; }
};

class CCollisionCylinder : public CCollisionObject {
public:
    CCollisionCylinder();
    const char* getTypeName() const override { return "CollisionCylinder"; }
    bool getCentre(Vector3* pCentre) const override;

    const Vector3* pCentre;
    float radius;
    float height;
    const Matrix3* pOrientation;
    Matrix3 rotation;  // the cylinder's own turn inside its owner

protected:
    // However it is turned, the cylinder stays inside this circle.
    float getFootprintRadius() const override;
};

class CCollisionConvexHull : public CCollisionObject {
public:
    CCollisionConvexHull();
    const char* getTypeName() const override { return "CollisionConvexHull"; }
    bool getCentre(Vector3* pCentre) const override;

    const Vector3* pCentre;
    const Matrix3* pOrientation;
};

// A hierarchy of spheres over many elements (a clump's); it is built by its owner and answers the
// tests against any other shape for its spheres. One made bare holds none.
class CCollisionSimpleHierarchy : public CCollisionObject {
public:
    CCollisionSimpleHierarchy();
    const char* getTypeName() const override { return "CollisionSimpleHierarchy"; }
    bool getCentre(Vector3*) const override { return false; }

    // The spheres against another shape that is not a hierarchy, as test and testMoving.
    virtual bool testSpheres(CCollisionObject*, Vector3*, Vector3*) { return false; }
    virtual bool testSpheresMoving(CCollisionObject*, const Vector3&, const Vector3&, Vector3*, Vector3*, float*)
    {
        return false;
    }
};

class CCollisionPoint : public CCollisionObject {
public:
    CCollisionPoint();
    const char* getTypeName() const override { return "CollisionPoint"; }
    bool getCentre(Vector3* pCentre) const override;

    const Vector3* pCentre;
};
