// What the collision maths takes from the game-object layer: the pair of objects under test and
// the pool that every intersection record comes from.
#pragma once

#include <cstdint>

class CGameObject;
class CGameMemoryManager;

// Set by the game-object collision step around each shape test and cleared afterwards; the
// collision maths only reads them.
extern CGameObject* collisionPairFirst;
extern CGameObject* collisionPairSecond;

// The intersection record pool; null until the collision-object manager creates it.
extern CGameMemoryManager* intersectionMemoryManager;

// Builds the pool with room for count records of at least recordSize bytes, each block 8-byte
// aligned (false when it exists already).
bool createIntersectionMemoryManager(uint32_t count, uint32_t recordSize);
void destroyIntersectionMemoryManager();
