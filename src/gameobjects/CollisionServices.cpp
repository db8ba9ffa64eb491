#include "gameobjects/CollisionServices.h"

#include "gamemanagement/GameMemoryManager.h"

#include <new>

CGameObject* collisionPairFirst = nullptr;
CGameObject* collisionPairSecond = nullptr;
CGameMemoryManager* intersectionMemoryManager = nullptr;

namespace {
const uint32_t INTERSECTION_BLOCK_ID = 0;
}

bool createIntersectionMemoryManager(uint32_t count, uint32_t recordSize)
{
    if (intersectionMemoryManager) return false;
    intersectionMemoryManager = new (std::nothrow) CGameMemoryManager;
    if (!intersectionMemoryManager) return false;
    intersectionMemoryManager->requestBlock(INTERSECTION_BLOCK_ID, recordSize);
    intersectionMemoryManager->initialise(count, false);
    return true;
}

void destroyIntersectionMemoryManager()
{
    delete intersectionMemoryManager;
    intersectionMemoryManager = nullptr;
}
