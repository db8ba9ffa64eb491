// CBufferAllocator: the heap behind the dynamic meshes' system-memory copies and the mesh loaders'
// scratch memory. With recycling on, freed blocks are kept and the next request takes the kept
// block with the smallest surplus (blocks are never split), so a batch of model loads reuses its
// own memory instead of going back to the heap for every buffer. Model and world loaders switch
// recycling on around a batch of loads and off afterwards.
//
//   void* p = CBufferAllocator::GetInstance()->Alloc(bytes);   // null when the heap refuses
//   ...
//   CBufferAllocator::GetInstance()->Free(p);
//
// One instance, made on first use, destroyed at game shutdown. Render thread only.
#pragma once

#include "utility/LList.h"

#include <cstdint>

class CBufferAllocator {
public:
    // Each block counts its size plus this header in TotalTaken; the header actually kept is wider,
    // so that every block is aligned for any type.
    static const uint32_t HEADER_SIZE = 4;

    static CBufferAllocator* GetInstance();
    static void DestroyInstance();

    void* Alloc(uint32_t size);
    // As Alloc, all zeros: a block new from the heap comes zeroed from it (a large one untouched
    // until written), a kept one is cleared.
    void* AllocZeroed(uint32_t size);
    // A pointer that Alloc did not hand out (or handed out and took back) is reported and ignored.
    void Free(void* p);
    void EnableRecycling();
    // Every kept block goes back to the heap.
    void DisableRecycling();
    bool Recycling() const { return d_recycling; }

    // Bytes of the blocks taken from the heap and not given back, headers included.
    uint64_t TotalTaken() const { return d_totalTaken; }
    // Block sizes in use (a reused block counts its whole size), kept, and the two together.
    uint64_t BytesInUse() const { return d_bytesInUse; }
    uint64_t BytesKept() const { return d_bytesKept; }
    uint64_t BytesHeld() const { return d_bytesInUse + d_bytesKept; }
    uint32_t BlocksInUse() const { return d_usedList.getNumItems(); }
    uint32_t BlocksKept() const { return d_freeList.getNumItems(); }
    // Requests served from the kept blocks since the instance was made.
    uint32_t BlocksReused() const { return d_blocksReused; }

private:
    CBufferAllocator() = default;
    ~CBufferAllocator();
    CBufferAllocator(const CBufferAllocator&) = delete;
    CBufferAllocator& operator=(const CBufferAllocator&) = delete;

    void ReturnToHeap(void* block);
    void* Take(uint32_t size, bool zeroed);

    llist d_usedList;  // block addresses (headers)
    llist d_freeList;
    bool d_recycling = false;
    uint64_t d_totalTaken = 0;
    uint64_t d_bytesInUse = 0;
    uint64_t d_bytesKept = 0;
    uint32_t d_blocksReused = 0;
};
