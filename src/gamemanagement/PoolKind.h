// A built-in kind of a manager whose objects live in a CGameMemoryManager pool: its type id and
// name, the block size it asks of the pool, and how it is constructed in a block. The managers keep a
// fixed table of them: the pool's requests, the definitions and the look-ups all come from it.
#pragma once

#include "gamemanagement/ResourceManager.h"

#include <cstddef>
#include <cstdint>
#include <new>

template <class Base>
struct TPoolKind {
    uint32_t typeId;
    const char* name;
    uint32_t size;
    Base* (*construct)(void* pBlock);
};

template <class Base, class K>
Base* constructPoolKind(void* pBlock)
{
    return new (pBlock) K;
}

// The pool lays its blocks out one after another, each followed by a 4-byte link: a request of
// 8n + 4 bytes keeps every block of a pool without guards on an 8-byte boundary, which the objects'
// pointers need.
constexpr uint32_t poolRequestSize(size_t size)
{
    return static_cast<uint32_t>((size + 4 + 7) / 8 * 8 - 4);
}

template <class Base, class K>
constexpr TPoolKind<Base> poolKind(uint32_t typeId, const char* name)
{
    static_assert(alignof(K) <= 8, "pool blocks are aligned to 8 bytes");
    return TPoolKind<Base>{typeId, name, poolRequestSize(sizeof(K)), constructPoolKind<Base, K>};
}

// The kind of a type id in the table, or null.
template <class Base, uint32_t N>
const TPoolKind<Base>* findPoolKind(const TPoolKind<Base> (&kinds)[N], uint32_t typeId)
{
    for (const TPoolKind<Base>& k : kinds)
        if (k.typeId == typeId) return &k;
    return nullptr;
}

// The definition record of a table entry; past the table a record of type 0 and no name.
template <class Base, uint32_t N>
resDef* poolKindDefinition(const TPoolKind<Base> (&kinds)[N], resDef* pDef, uint32_t index)
{
    if (!pDef) return nullptr;
    if (index < N)
        CResourceManager::fillDefinition(pDef, kinds[index].typeId, kinds[index].name);
    else
        CResourceManager::fillDefinition(pDef, 0, "");
    return pDef;
}

// The first null entry of a slot table, or count when every slot is taken.
template <class T>
uint32_t firstFreeSlot(T* const* pSlots, uint32_t count)
{
    uint32_t slot = 0;
    while (slot < count && pSlots[slot]) ++slot;
    return slot;
}
