#include "gameobjects/CollisionHierarchy.h"

#include "gameobjects/CollisionObjectResourceManager.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cmath>

typedef CCollisionObjectResourceManager Manager;

namespace {

// A sphere about the other shape, so that whole branches can be passed over; false when the shape
// gives none (every sphere is then tested).
bool boundsOf(const CCollisionObject* pShape, Vector3* pCentre, float* pRadius)
{
    switch (pShape->getCollisionType()) {
    case Manager::COLLISION_SPHERE:
        *pRadius = static_cast<const CCollisionSphere*>(pShape)->radius;
        break;
    case Manager::COLLISION_FINITE_RAY:
        *pRadius = static_cast<const CCollisionFiniteRay*>(pShape)->length * 0.5f;
        break;
    case Manager::COLLISION_CYLINDER: {
        const auto* pCylinder = static_cast<const CCollisionCylinder*>(pShape);
        const float half = 0.5f * pCylinder->height;
        *pRadius = std::sqrt(pCylinder->radius * pCylinder->radius + half * half);
        break;
    }
    default:
        return false;
    }
    return pShape->getCentre(pCentre);
}

}  // namespace

CCollisionHierarchy* CCollisionHierarchy::build(CCollisionSphere* const* ppSpheres, const uint32_t* pIds,
                                                uint32_t numObj, uint32_t perLeaf)
{
    if (numObj >= MAX_OBJ) {
        assertFailed("numObj<MAX_OBJ", __FILE__, __LINE__);
        return nullptr;
    }
    if (numObj == 0 || !ppSpheres || !pIds) return nullptr;
    auto* pHierarchy = new CCollisionHierarchy;
    pHierarchy->d_leaves.reserve(numObj);
    for (uint32_t i = 0; i < numObj; ++i)
        if (ppSpheres[i] && ppSpheres[i]->pCentre) pHierarchy->d_leaves.push_back({ppSpheres[i], pIds[i], true});
    if (pHierarchy->d_leaves.empty()) {
        delete pHierarchy;
        return nullptr;
    }
    pHierarchy->buildNode(0, static_cast<uint32_t>(pHierarchy->d_leaves.size()), std::max(perLeaf, 1u));
    return pHierarchy;
}

int32_t CCollisionHierarchy::buildNode(uint32_t first, uint32_t count, uint32_t perLeaf)
{
    const int32_t index = static_cast<int32_t>(d_nodes.size());
    d_nodes.push_back({Vector3(), 0.0f, first, count, {-1, -1}});
    Vector3 low = *d_leaves[first].pSphere->pCentre, high = low, sum;
    for (uint32_t i = first; i < first + count; ++i) {
        const Vector3& c = *d_leaves[i].pSphere->pCentre;
        low.set(std::min(low.x, c.x), std::min(low.y, c.y), std::min(low.z, c.z));
        high.set(std::max(high.x, c.x), std::max(high.y, c.y), std::max(high.z, c.z));
        sum += c;
    }
    const Vector3 centre = sum / static_cast<float>(count);
    float radius = 0.0f;
    for (uint32_t i = first; i < first + count; ++i) {
        const Vector3 d = *d_leaves[i].pSphere->pCentre - centre;
        radius = std::max(radius, std::sqrt(d.lengthSquared()) + d_leaves[i].pSphere->radius);
    }
    d_nodes[index].centre = centre;
    d_nodes[index].radius = radius;
    if (count <= perLeaf) return index;
    // Split at the median along the widest axis.
    const Vector3 extent = high - low;
    const int axis = extent.x >= extent.y && extent.x >= extent.z ? 0 : extent.y >= extent.z ? 1 : 2;
    auto key = [axis](const Leaf& leaf) {
        const Vector3& c = *leaf.pSphere->pCentre;
        return axis == 0 ? c.x : axis == 1 ? c.y : c.z;
    };
    const uint32_t half = count / 2;
    std::nth_element(d_leaves.begin() + first, d_leaves.begin() + first + half, d_leaves.begin() + first + count,
                     [&](const Leaf& a, const Leaf& b) { return key(a) < key(b); });
    const int32_t left = buildNode(first, half, perLeaf);
    const int32_t right = buildNode(first + half, count - half, perLeaf);
    d_nodes[index].child[0] = left;
    d_nodes[index].child[1] = right;
    return index;
}

void CCollisionHierarchy::collect(int32_t index, CCollisionObject* pOther, const Motions* pMotions,
                                  const Vector3& centre, float radius, bool bounded)
{
    const Node& node = d_nodes[index];
    if (bounded) {
        const float reach = node.radius + radius;
        if ((node.centre - centre).lengthSquared() > reach * reach) return;
    }
    if (node.child[0] >= 0) {
        collect(node.child[0], pOther, pMotions, centre, radius, bounded);
        collect(node.child[1], pOther, pMotions, centre, radius, bounded);
        return;
    }
    for (uint32_t i = node.first; i < node.first + node.count; ++i) {
        if (!d_leaves[i].enabled) continue;
        Hit hit{i, Vector3(), Vector3(), 0.0f};
        CCollisionSphere* pSphere = d_leaves[i].pSphere;
        const bool touched = pMotions ? pSphere->testMoving(pOther, pMotions->own, pMotions->other, &hit.point,
                                                            &hit.normal, &hit.time)
                                      : pSphere->test(pOther, &hit.point, &hit.normal, 0);
        if (touched) d_hits.push_back(hit);
    }
}

bool CCollisionHierarchy::gather(CCollisionObject* pOther, const Motions* pMotions, Vector3* pPoint,
                                 Vector3* pNormal, float* pTime)
{
    d_hits.clear();
    d_nextHit = 0;
    Vector3 centre;
    float radius = 0.0f;
    const bool bounded = boundsOf(pOther, &centre, &radius);
    if (bounded && pMotions) {
        // About the other shape's whole path relative to the spheres.
        const Vector3 path = pMotions->other - pMotions->own;
        centre += path * 0.5f;
        radius += 0.5f * std::sqrt(path.lengthSquared());
    }
    collect(0, pOther, pMotions, centre, radius, bounded);
    if (d_hits.empty()) return false;
    const auto first = std::min_element(d_hits.begin(), d_hits.end(),
                                        [](const Hit& a, const Hit& b) { return a.time < b.time; });
    *pPoint = first->point;
    *pNormal = first->normal;
    if (pTime) *pTime = first->time;
    return true;
}

bool CCollisionHierarchy::testSpheres(CCollisionObject* pOther, Vector3* pPoint, Vector3* pNormal)
{
    return gather(pOther, nullptr, pPoint, pNormal, nullptr);
}

bool CCollisionHierarchy::testSpheresMoving(CCollisionObject* pOther, const Vector3& ownMotion,
                                            const Vector3& otherMotion, Vector3* pPoint, Vector3* pNormal,
                                            float* pTime)
{
    const Motions motions{ownMotion, otherMotion};
    return gather(pOther, &motions, pPoint, pNormal, pTime);
}

bool CCollisionHierarchy::getCentre(Vector3* pCentre) const
{
    *pCentre = d_nodes[0].centre;
    return true;
}

float CCollisionHierarchy::getFootprintRadius() const { return d_nodes[0].radius; }

void CCollisionHierarchy::beginHits() { d_nextHit = 0; }

int32_t CCollisionHierarchy::nextHit(uint32_t* pId, Vector3* pPoint)
{
    if (d_nextHit >= d_hits.size()) return -1;
    const Hit& hit = d_hits[d_nextHit];
    if (pId) *pId = d_leaves[hit.leaf].id;
    if (pPoint) *pPoint = hit.point;
    return static_cast<int32_t>(d_nextHit++);
}

void CCollisionHierarchy::setHitEnabled(int32_t hit, bool enabled)
{
    if (VERIFY(hit >= 0 && static_cast<uint32_t>(hit) < d_hits.size())) d_leaves[d_hits[hit].leaf].enabled = enabled;
}

void CCollisionHierarchy::setEnabledById(uint32_t id, bool enabled)
{
    for (Leaf& leaf : d_leaves)
        if (leaf.id == id) leaf.enabled = enabled;
}

bool CCollisionHierarchy::isEnabledById(uint32_t id) const
{
    for (const Leaf& leaf : d_leaves)
        if (leaf.id == id && leaf.enabled) return true;
    return false;
}

void CCollisionHierarchy::enableAll()
{
    for (Leaf& leaf : d_leaves) leaf.enabled = true;
}

bool buildCollisionHierarchy(CModelInst*, CCollisionObject**, const Vector3&, const Matrix3&, bool) { return false; }
