// CLandTree: the quadtree over the level's square of ground that tells the object manager which
// objects stand near each other. Each leaf (node) keeps a static and a dynamic object list; the
// lists themselves live in the object manager's list pools and a leaf holds only their ids, which it
// takes when its first object arrives and gives back when its last leaves.
//
// An object sits in the deepest leaf whose square holds its footprint (the circle of its collision
// object about its position; a point without one), so large objects stay higher up the tree. The
// world square starts at (0, 0) on the ground axes x and y; the up axis z plays no part.
//
// The tree sits beneath the game objects: it learns an object's position, footprint and leaf from
// the object manager it is handed with each object.
#pragma once

#include <cstdint>

class CAIMap;
class CGameObject;
class CObjectManagerInterface;
struct Vector3;

struct CLeaf {
    static constexpr uint16_t NO_CHILD = 0;
    static constexpr uint16_t NO_PARENT = 0xFFFF;
    static constexpr uint16_t NO_LIST = 0;

    uint16_t children[4];  // NO_CHILD: none (the root, index 0, is nobody's child)
    uint16_t parent;       // NO_PARENT at the root
    uint16_t cellX;        // the square's corner, in cells
    uint16_t cellY;
    uint16_t side;  // in cells
    uint16_t staticListId;
    uint16_t staticCount;
    uint16_t dynamicListId;
    uint16_t dynamicCount;

    // Each takes a list id when the leaf has none (false when the pool is out of ids) and writes the
    // object's leaf index; removal gives the id back when the list empties, and is false (changing
    // nothing) when the list does not hold the object.
    bool addDynamicObject(CObjectManagerInterface* pManager, CGameObject* pObject, uint16_t leafIndex);
    bool removeDynamicObject(CObjectManagerInterface* pManager, CGameObject* pObject);
    bool addStaticObject(CObjectManagerInterface* pManager, CGameObject* pObject, uint16_t leafIndex);
    bool removeStaticObject(CObjectManagerInterface* pManager, CGameObject* pObject);
};

class CLandTree {
public:
    // A full quadtree of depth levels below the root: the smallest leaves are one cell across.
    // Deeper trees than MAX_DEPTH could hold more occupied leaves than there are list ids.
    static constexpr uint32_t MAX_DEPTH = 4;

    CLandTree(float cellSize, uint32_t depth);
    ~CLandTree();
    CLandTree(const CLandTree&) = delete;
    CLandTree& operator=(const CLandTree&) = delete;

    // Static insertion by the object's position; false when it has none or stands outside.
    bool insertStatic(CObjectManagerInterface* pManager, CGameObject* pObject);
    // The second form, for objects the first refuses: into the root, when the object's collision
    // object reaches into the world square.
    bool insertStaticAtRoot(CObjectManagerInterface* pManager, CGameObject* pObject);
    // Each leaves the object outside the tree (leaf index NO_LEAF); nothing for one outside already.
    void removeStatic(CObjectManagerInterface* pManager, CGameObject* pObject);
    void removeDynamic(CObjectManagerInterface* pManager, CGameObject* pObject);
    // Moves a dynamic object to the leaf of its position (inserting one that is outside the tree).
    // False, with the object taken out of the tree, when it has no position or has left the square.
    // When the leaf cannot have a list the object stays outside the tree, still true.
    bool relocateDynamic(CObjectManagerInterface* pManager, CGameObject* pObject);
    // The brains' senses query over the objects near one; there are no senses yet.
    void querySenses(CObjectManagerInterface*, CGameObject*, uint32_t, void*) {}

    // The ground under the point's x and y and its unit normal, answered from the level's AI map;
    // height 0 and an upright normal where the map has no ground (or the tree no map).
    float getGroundHeight(const Vector3& point, Vector3* pNormal) const;
    void setAIMap(const CAIMap* pMap) { d_pAIMap = pMap; }
    // The first ground point within length along the unit direction from start, and the ground's
    // normal there. Where the tree has no map the ground is flat at height 0.
    bool rayTest(const Vector3& start, const Vector3& direction, float length, Vector3* pHit, Vector3* pNormal) const;

    // Null, reported, past the last leaf.
    CLeaf* getLeaf(uint16_t index);
    uint16_t getNumLeaves() const { return d_numLeaves; }
    float getCellSize() const { return d_cellSize; }
    float getWorldSize() const;
    // The leaf for an object at the position (the manager tests its footprint); false outside the
    // world square.
    bool findLeaf(CObjectManagerInterface* pManager, const CGameObject* pObject, const Vector3& position,
                  uint16_t* pIndex) const;

private:
    void takeOut(CObjectManagerInterface* pManager, CGameObject* pObject, bool staticFirst);
    bool squareHolds(const CLeaf& leaf, float x, float y) const;

    CLeaf* d_pLeaves;
    uint16_t d_numLeaves;
    float d_cellSize;
    const CAIMap* d_pAIMap = nullptr;
};
