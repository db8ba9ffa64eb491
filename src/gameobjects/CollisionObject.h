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

    // Static test against another shape: contact point and normal. Pairs without a test of their
    // own make no contact.
    virtual bool test(CCollisionObject* pOther, Vector3* pPoint, Vector3* pNormal, int flag);
    // The same while both shapes move by the given motions over the step.
    virtual bool testMoving(CCollisionObject* pOther, const Vector3& ownMotion, const Vector3& otherMotion,
                            Vector3* pPoint, Vector3* pNormal);
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

// A hierarchy of spheres over many elements (a clump's); it is built by its owner.
class CCollisionSimpleHierarchy : public CCollisionObject {
public:
    CCollisionSimpleHierarchy();
    const char* getTypeName() const override { return "CollisionSimpleHierarchy"; }
    bool getCentre(Vector3*) const override { return false; }
};

class CCollisionPoint : public CCollisionObject {
public:
    CCollisionPoint();
    const char* getTypeName() const override { return "CollisionPoint"; }
    bool getCentre(Vector3* pCentre) const override;

    const Vector3* pCentre;
};
