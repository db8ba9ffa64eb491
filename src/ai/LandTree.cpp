#include "ai/LandTree.h"

#include "ai/AIMap.h"
#include "gameobjects/ObjectListWalk.h"
#include "gameobjects/ObjectManagerInterfaces.h"
#include "utility/Assert.h"

#include <algorithm>
#include <new>

namespace {

// One of a leaf's two lists, with the pool it draws its id from.
struct ListSide {
    uint16_t CLeaf::*id;
    uint16_t CLeaf::*count;
    bool (CObjectManagerInterface::*alloc)(uint16_t*);
    llist* (CObjectManagerInterface::*get)(uint16_t);
    void (CObjectManagerInterface::*free)(uint16_t);
};

typedef CObjectManagerInterface Pools;
const ListSide DYNAMIC_SIDE = {&CLeaf::dynamicListId, &CLeaf::dynamicCount, &Pools::allocDynamicListId,
                               &Pools::getDynamicList, &Pools::freeDynamicListId};
const ListSide STATIC_SIDE = {&CLeaf::staticListId, &CLeaf::staticCount, &Pools::allocStaticListId,
                              &Pools::getStaticList, &Pools::freeStaticListId};

bool addTo(CLeaf& leaf, const ListSide& side, CObjectManagerInterface* pManager, CGameObject* pObject, uint16_t index)
{
    if (!VERIFY(pManager && pObject)) return false;
    uint16_t& id = leaf.*side.id;
    if (id == CLeaf::NO_LIST && !(pManager->*side.alloc)(&id)) return false;
    llist* pList = (pManager->*side.get)(id);
    if (!pList) return false;
    objectlists::append(pList, pObject);
    ++(leaf.*side.count);
    pManager->setLeafIndex(pObject, index);
    return true;
}

// False, changing nothing, when the list does not hold the object.
bool removeFrom(CLeaf& leaf, const ListSide& side, CObjectManagerInterface* pManager, CGameObject* pObject)
{
    if (!VERIFY(pManager && pObject)) return false;
    uint16_t& id = leaf.*side.id;
    llist* pList = id != CLeaf::NO_LIST ? (pManager->*side.get)(id) : nullptr;
    if (!pList || !objectlists::removeFirst(pList, pObject)) return false;
    pManager->setLeafIndex(pObject, CGameObject::NO_LEAF);
    if (--(leaf.*side.count) > 0) return true;
    (pManager->*side.free)(id);
    id = CLeaf::NO_LIST;
    return true;
}

uint16_t countLeaves(uint32_t depth)
{
    uint32_t n = 0;
    for (uint32_t level = 0, width = 1; level <= depth; ++level, width *= 4) n += width;
    return static_cast<uint16_t>(n);
}

// Lays out a node and its subtree depth-first from next; returns the node's index.
uint16_t build(CLeaf* pLeaves, uint16_t& next, uint16_t parent, uint16_t cellX, uint16_t cellY, uint16_t side)
{
    const uint16_t index = next++;
    CLeaf& leaf = pLeaves[index];
    leaf = CLeaf{};
    leaf.parent = parent;
    leaf.cellX = cellX;
    leaf.cellY = cellY;
    leaf.side = side;
    if (side > 1) {
        const uint16_t half = side / 2;
        // Quarters in the order low x low y, high x low y, low x high y, high x high y.
        for (int q = 0; q < 4; ++q) {
            const uint16_t child = build(pLeaves, next, index, static_cast<uint16_t>(cellX + (q & 1) * half),
                                         static_cast<uint16_t>(cellY + (q >> 1) * half), half);
            pLeaves[index].children[q] = child;
        }
    }
    return index;
}

}  // namespace

bool CLeaf::addDynamicObject(CObjectManagerInterface* pManager, CGameObject* pObject, uint16_t leafIndex)
{
    return addTo(*this, DYNAMIC_SIDE, pManager, pObject, leafIndex);
}

bool CLeaf::removeDynamicObject(CObjectManagerInterface* pManager, CGameObject* pObject)
{
    return removeFrom(*this, DYNAMIC_SIDE, pManager, pObject);
}

bool CLeaf::addStaticObject(CObjectManagerInterface* pManager, CGameObject* pObject, uint16_t leafIndex)
{
    return addTo(*this, STATIC_SIDE, pManager, pObject, leafIndex);
}

bool CLeaf::removeStaticObject(CObjectManagerInterface* pManager, CGameObject* pObject)
{
    return removeFrom(*this, STATIC_SIDE, pManager, pObject);
}

CLandTree::CLandTree(float cellSize, uint32_t depth) : d_pLeaves(nullptr), d_numLeaves(0), d_cellSize(cellSize)
{
    depth = std::min(depth, MAX_DEPTH);
    const uint16_t count = countLeaves(depth);
    d_pLeaves = new (std::nothrow) CLeaf[count];
    if (!VERIFY(d_pLeaves)) return;
    uint16_t next = 0;
    build(d_pLeaves, next, CLeaf::NO_PARENT, 0, 0, static_cast<uint16_t>(1u << depth));
    d_numLeaves = count;
}

CLandTree::~CLandTree() { delete[] d_pLeaves; }

CLeaf* CLandTree::getLeaf(uint16_t index)
{
    if (!VERIFY(index < d_numLeaves)) return nullptr;
    return &d_pLeaves[index];
}

float CLandTree::getWorldSize() const { return d_numLeaves ? d_pLeaves[0].side * d_cellSize : 0.0f; }

bool CLandTree::squareHolds(const CLeaf& leaf, float x, float y) const
{
    const float x0 = leaf.cellX * d_cellSize, y0 = leaf.cellY * d_cellSize, size = leaf.side * d_cellSize;
    return x >= x0 && x <= x0 + size && y >= y0 && y <= y0 + size;
}

bool CLandTree::findLeaf(CObjectManagerInterface* pManager, const CGameObject* pObject, const Vector3& position,
                         uint16_t* pIndex) const
{
    if (d_numLeaves == 0 || !squareHolds(d_pLeaves[0], position.x, position.y)) return false;
    uint16_t index = 0;
    for (;;) {
        const CLeaf& leaf = d_pLeaves[index];
        if (leaf.children[0] == CLeaf::NO_CHILD) break;
        const float middle = (leaf.side / 2) * d_cellSize;
        const int q = (position.x >= leaf.cellX * d_cellSize + middle ? 1 : 0) +
                      (position.y >= leaf.cellY * d_cellSize + middle ? 2 : 0);
        // A footprint that reaches into another quarter stays at this level.
        bool straddles = false;
        for (int other = 0; other < 4 && pObject && !straddles; ++other) {
            if (other == q) continue;
            const CLeaf& o = d_pLeaves[leaf.children[other]];
            straddles = pManager->footprintReaches(pObject, o.cellX * d_cellSize, o.cellY * d_cellSize,
                                                   (o.cellX + o.side) * d_cellSize, (o.cellY + o.side) * d_cellSize);
        }
        if (straddles) break;
        index = leaf.children[q];
    }
    *pIndex = index;
    return true;
}

bool CLandTree::insertStatic(CObjectManagerInterface* pManager, CGameObject* pObject)
{
    Vector3 position;
    uint16_t index = 0;
    if (!VERIFY(pManager && pObject) || !pManager->getTreePosition(pObject, &position) ||
        !findLeaf(pManager, pObject, position, &index))
        return false;
    return d_pLeaves[index].addStaticObject(pManager, pObject, index);
}

bool CLandTree::insertStaticAtRoot(CObjectManagerInterface* pManager, CGameObject* pObject)
{
    if (!VERIFY(pManager && pObject) || d_numLeaves == 0) return false;
    const float size = getWorldSize();
    if (!pManager->footprintReaches(pObject, 0.0f, 0.0f, size, size)) return false;
    return d_pLeaves[0].addStaticObject(pManager, pObject, 0);
}

void CLandTree::takeOut(CObjectManagerInterface* pManager, CGameObject* pObject, bool staticFirst)
{
    if (!VERIFY(pManager && pObject)) return;
    const uint16_t leafIndex = pManager->getLeafIndex(pObject);
    if (leafIndex == CGameObject::NO_LEAF) return;
    CLeaf* pLeaf = getLeaf(leafIndex);
    pManager->setLeafIndex(pObject, CGameObject::NO_LEAF);
    if (!pLeaf) return;
    // An object may have been placed on the other side than it now says it belongs to (a static
    // object relocated with the cameras): it leaves whichever list holds it.
    const bool found = staticFirst ? pLeaf->removeStaticObject(pManager, pObject) ||
                                         pLeaf->removeDynamicObject(pManager, pObject)
                                   : pLeaf->removeDynamicObject(pManager, pObject) ||
                                         pLeaf->removeStaticObject(pManager, pObject);
    ASSERT_MSG(found, "The object is not in its leaf's lists");
}

void CLandTree::removeStatic(CObjectManagerInterface* pManager, CGameObject* pObject)
{
    takeOut(pManager, pObject, true);
}

void CLandTree::removeDynamic(CObjectManagerInterface* pManager, CGameObject* pObject)
{
    takeOut(pManager, pObject, false);
}

bool CLandTree::relocateDynamic(CObjectManagerInterface* pManager, CGameObject* pObject)
{
    if (!VERIFY(pManager && pObject)) return false;
    Vector3 position;
    uint16_t index = 0;
    if (!pManager->getTreePosition(pObject, &position) || !findLeaf(pManager, pObject, position, &index)) {
        takeOut(pManager, pObject, false);
        return false;
    }
    if (pManager->getLeafIndex(pObject) == index) return true;
    takeOut(pManager, pObject, false);
    // Out of list ids (reported by the pool) the object is still in the world: it waits outside the
    // tree and tries again when it next moves.
    d_pLeaves[index].addDynamicObject(pManager, pObject, index);
    return true;
}

float CLandTree::getGroundHeight(const Vector3& point, Vector3* pNormal) const
{
    float height = 0.0f;
    Vector3 normal(0.0f, 0.0f, 1.0f);
    if (d_pAIMap && !d_pAIMap->getGroundHeight(point.x, point.y, &height, &normal)) normal.set(0.0f, 0.0f, 1.0f);
    if (pNormal) *pNormal = normal;
    return height;
}

bool CLandTree::rayTest(const Vector3& start, const Vector3& direction, float length, Vector3* pHit,
                        Vector3* pNormal) const
{
    Vector3 hit;
    if (d_pAIMap && d_pAIMap->getWidth() > 0) {
        if (!d_pAIMap->intersectLand(start, direction, &hit)) return false;
    } else {
        // Flat ground: met from above, or at the start when that is under it already.
        if (start.z > 0.0f && !(direction.z < 0.0f)) return false;
        hit = start.z > 0.0f ? start + direction * (-start.z / direction.z) : start;
    }
    if ((hit - start).lengthSquared() > length * length) return false;
    *pHit = hit;
    getGroundHeight(hit, pNormal);
    return true;
}
