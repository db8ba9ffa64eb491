// CRenderGroupList: the object manager's render groups, which batch drawing by a key each object
// gives (objects of one key are drawn together). Groups sit in blocks of MAX_GROUPS_PER_BLOCK keys,
// each block knowing the smallest and largest of its keys so a search skips it by range; a new
// block goes to the front of the chain, and a block's groups keep the order their keys arrived in.
#pragma once

#include "gameobjects/ObjectListWalk.h"
#include "utility/LList.h"

#include <cstdint>

class CRenderGroupList {
public:
    static constexpr uint32_t MAX_GROUPS_PER_BLOCK = 28;

    struct Group {
        uint32_t key;
        llist objects;
    };
    struct Block {
        uint32_t smallestKey;
        uint32_t largestKey;
        uint32_t numUsed;
        Block* pNext;
        Group groups[MAX_GROUPS_PER_BLOCK];
    };

    CRenderGroupList() : d_pFirst(nullptr), d_numGroups(0) {}
    ~CRenderGroupList() { freeAll(); }
    CRenderGroupList(const CRenderGroupList&) = delete;
    CRenderGroupList& operator=(const CRenderGroupList&) = delete;

    // The objects of a key's group; null when no group has the key.
    llist* find(uint32_t key);
    // The same, making the group when there is none (null only when no block can be had).
    llist* findOrMake(uint32_t key);
    // Every object of every group: blocks from the front, groups in order, objects in order.
    template <class T, class Visit>
    void forEachObject(Visit visit)
    {
        for (Block* pBlock = d_pFirst; pBlock; pBlock = pBlock->pNext)
            for (uint32_t i = 0; i < pBlock->numUsed; ++i) objectlists::forEachIn<T>(&pBlock->groups[i].objects, visit);
    }
    void freeAll();
    uint32_t getNumGroups() const { return d_numGroups; }

private:
    Block* d_pFirst;
    uint32_t d_numGroups;
};
