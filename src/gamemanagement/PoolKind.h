// A built-in kind of a manager whose objects live in a CGameMemoryManager pool: its type id and
// name, the block size it asks of the pool, and how it is constructed in a block. The managers keep a
// fixed table of them: the pool's requests, the definitions and the look-ups all come from it.
#pragma once

#include "gamemanagement/FreeSlots.h"
#include "gamemanagement/GameMemoryManager.h"
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

// The pool and the slot table of such a manager: one pool block per live object, each object in a
// slot of its own (null = free).
template <class Base>
class TPoolSlots {
public:
    template <uint32_t N>
    TPoolSlots(const TPoolKind<Base> (&kinds)[N], uint32_t capacity)
        : d_pPool(new CGameMemoryManager), d_pSlots(new Base*[capacity]()), d_free(capacity), d_numLive(0)
    {
        for (const TPoolKind<Base>& k : kinds) d_pPool->requestBlock(k.typeId, k.size);
        d_pPool->initialise(capacity, false);
    }
    // Objects still in their slots are not destroyed.
    ~TPoolSlots()
    {
        d_pPool->releaseAll();
        delete d_pPool;
        delete[] d_pSlots;
    }
    TPoolSlots(const TPoolSlots&) = delete;
    TPoolSlots& operator=(const TPoolSlots&) = delete;

    CGameMemoryManager* pool() const { return d_pPool; }
    // The lowest free slot, or the capacity when every slot is taken.
    uint32_t firstFree() const { return d_free.lowest(); }
    // The object of a slot below the capacity (null: free).
    Base* at(uint32_t slot) const { return d_pSlots[slot]; }
    uint32_t getNumLive() const { return d_numLive; }

    // Constructs the kind in a block (from this pool) and puts it in the slot.
    Base* construct(const TPoolKind<Base>& kind, void* pBlock, uint32_t slot)
    {
        d_pSlots[slot] = kind.construct(pBlock);
        d_free.take(slot);
        ++d_numLive;
        return d_pSlots[slot];
    }
    // Destroys the object of the slot, gives its block back and frees the slot.
    void destroy(const TPoolKind<Base>& kind, uint32_t slot)
    {
        Base* pObject = d_pSlots[slot];
        // The block starts at the whole object, which need not be where its Base part is.
        void* pBlock = dynamic_cast<void*>(pObject);
        pObject->~Base();
        d_pPool->free(kind.typeId, kind.size, pBlock);
        d_pSlots[slot] = nullptr;
        d_free.give(slot);
        --d_numLive;
    }

private:
    CGameMemoryManager* d_pPool;
    Base** d_pSlots;
    CFreeSlots d_free;
    uint32_t d_numLive;
};
