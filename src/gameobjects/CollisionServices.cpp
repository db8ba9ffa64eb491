#include "gameobjects/CollisionServices.h"

#include "gamemanagement/GameMemoryManager.h"
#include "gameobjects/GameObject.h"
#include "utility/Collision.h"

#include <new>

CGameObject* collisionPairFirst = nullptr;
CGameObject* collisionPairSecond = nullptr;
CGameMemoryManager* intersectionMemoryManager = nullptr;

namespace {

const uint32_t INTERSECTION_BLOCK_ID = 0;

bool poolExists() { return intersectionMemoryManager != nullptr; }

bool allocateRecord(uint32_t size, void** block)
{
    return intersectionMemoryManager->allocate(INTERSECTION_BLOCK_ID, size, block);
}

void releaseRecord(void* block) { intersectionMemoryManager->free(INTERSECTION_BLOCK_ID, sizeof(CIntersection), block); }

void invalidContact()
{
    if (collisionPairFirst && collisionPairSecond) collisionPairFirst->resolveContactKill(collisionPairSecond);
}

const SCollisionServices services = {poolExists, allocateRecord, releaseRecord, invalidContact};

}  // namespace

bool createIntersectionMemoryManager(uint32_t count, uint32_t recordSize)
{
    if (intersectionMemoryManager) return false;
    setCollisionServices(&services);
    intersectionMemoryManager = new (std::nothrow) CGameMemoryManager;
    if (!intersectionMemoryManager) return false;
    // Each block carries a 4-byte free link after its data; the data size is rounded so that every
    // block starts 8-byte aligned, as records hold pointers.
    const uint32_t linkBytes = 4;
    const uint32_t alignedSize = ((recordSize + linkBytes + 7u) & ~7u) - linkBytes;
    intersectionMemoryManager->requestBlock(INTERSECTION_BLOCK_ID, alignedSize);
    intersectionMemoryManager->initialise(count, false);
    return true;
}

void destroyIntersectionMemoryManager()
{
    delete intersectionMemoryManager;
    intersectionMemoryManager = nullptr;
}
