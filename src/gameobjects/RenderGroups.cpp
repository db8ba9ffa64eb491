#include "gameobjects/RenderGroups.h"

#include <algorithm>
#include <new>

llist* CRenderGroupList::find(uint32_t key)
{
    for (Block* pBlock = d_pFirst; pBlock; pBlock = pBlock->pNext) {
        if (key < pBlock->smallestKey || key > pBlock->largestKey) continue;
        for (uint32_t i = 0; i < pBlock->numUsed; ++i)
            if (pBlock->groups[i].key == key) return &pBlock->groups[i].objects;
    }
    return nullptr;
}

llist* CRenderGroupList::findOrMake(uint32_t key)
{
    if (llist* pFound = find(key)) return pFound;
    Block* pBlock = d_pFirst;
    while (pBlock && pBlock->numUsed >= MAX_GROUPS_PER_BLOCK) pBlock = pBlock->pNext;
    if (pBlock) {
        pBlock->smallestKey = std::min(pBlock->smallestKey, key);
        pBlock->largestKey = std::max(pBlock->largestKey, key);
    } else {
        pBlock = new (std::nothrow) Block;
        if (!pBlock) return nullptr;
        pBlock->smallestKey = pBlock->largestKey = key;
        pBlock->numUsed = 0;
        pBlock->pNext = d_pFirst;
        d_pFirst = pBlock;
    }
    Group& group = pBlock->groups[pBlock->numUsed++];
    group.key = key;
    ++d_numGroups;
    return &group.objects;
}

void CRenderGroupList::freeAll()
{
    while (d_pFirst) {
        Block* pBlock = d_pFirst;
        d_pFirst = pBlock->pNext;
        delete pBlock;
    }
    d_numGroups = 0;
}
