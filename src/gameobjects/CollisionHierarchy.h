// CCollisionHierarchy: many spheres (a clump's elements) under one collision object. The spheres
// are grouped into a tree of bounding spheres, at most perLeaf of them under a bottom node, so a
// shape far from most of them is tested against few. A test keeps the list of the spheres it hit,
// which the owner walks afterwards; each sphere carries its owner's id and can be switched off.
//
//   CCollisionHierarchy* h = CCollisionHierarchy::build(spheres, ids, count);
//   if (h->test(shot, &point, &normal, 0)) {  // or shot->test(h, ...)
//       h->beginHits();
//       for (int32_t hit; (hit = h->nextHit(&id, &point)) >= 0;) h->setHitEnabled(hit, false);
//   }
//
// The spheres are not owned and must outlive the hierarchy; their centres are read once, at build.
#pragma once

#include "gameobjects/CollisionObject.h"

#include <vector>

class CModelInst;

class CCollisionHierarchy : public CCollisionSimpleHierarchy {
public:
    static constexpr uint32_t MAX_OBJ = 4096;
    static constexpr uint32_t OBJECTS_PER_LEAF = 10;

    // Null (after a report at MAX_OBJ or more) for no spheres or too many.
    static CCollisionHierarchy* build(CCollisionSphere* const* ppSpheres, const uint32_t* pIds, uint32_t numObj,
                                      uint32_t perLeaf = OBJECTS_PER_LEAF);

    // Every enabled sphere against the other shape; the point and normal are those of the first
    // hit (of the earliest, when moving).
    bool testSpheres(CCollisionObject* pOther, Vector3* pPoint, Vector3* pNormal) override;
    bool testSpheresMoving(CCollisionObject* pOther, const Vector3& ownMotion, const Vector3& otherMotion,
                           Vector3* pPoint, Vector3* pNormal, float* pTime) override;
    bool getCentre(Vector3* pCentre) const override;

    // The hits of the last test in the order found: a hit's index, its sphere's id and contact
    // point; -1 after the last.
    void beginHits();
    int32_t nextHit(uint32_t* pId, Vector3* pPoint = nullptr);
    void setHitEnabled(int32_t hit, bool enabled);
    // Every sphere of the id.
    void setEnabledById(uint32_t id, bool enabled);
    void enableAll();
    bool isEnabledById(uint32_t id) const;
    uint32_t getNumObjects() const { return static_cast<uint32_t>(d_leaves.size()); }

protected:
    float getFootprintRadius() const override;

private:
    struct Leaf {
        CCollisionSphere* pSphere;
        uint32_t id;
        bool enabled;
    };
    struct Node {
        Vector3 centre;
        float radius;
        uint32_t first, count;  // leaves
        int32_t child[2];       // -1 at the bottom
    };
    struct Hit {
        uint32_t leaf;
        Vector3 point, normal;
        float time;
    };
    // The motions of a moving test.
    struct Motions {
        Vector3 own, other;
    };

    CCollisionHierarchy() = default;
    int32_t buildNode(uint32_t first, uint32_t count, uint32_t perLeaf);
    // Gathers the hits of the other shape (moving, when motions are given); false when none.
    bool gather(CCollisionObject* pOther, const Motions* pMotions, Vector3* pPoint, Vector3* pNormal, float* pTime);
    void collect(int32_t node, CCollisionObject* pOther, const Motions* pMotions, const Vector3& centre, float radius,
                 bool bounded);

    std::vector<Leaf> d_leaves;
    std::vector<Node> d_nodes;  // the root first
    std::vector<Hit> d_hits;
    uint32_t d_nextHit = 0;
};

// Collision geometry from a model instance's own collision data. Models carry none yet: false, and
// callers fall back to spheres.
bool buildCollisionHierarchy(CModelInst* pInstance, CCollisionObject** ppObject, const Vector3& position,
                             const Matrix3& orientation, bool useLod1);
