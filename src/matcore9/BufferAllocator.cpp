#include "matcore9/BufferAllocator.h"

#include "utility/Assert.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

CBufferAllocator* instance = nullptr;

// The size sits in the first four bytes of a header as wide as the strictest alignment.
const size_t HEADER_BYTES = alignof(std::max_align_t);

uint32_t sizeOf(const void* block)
{
    uint32_t size;
    std::memcpy(&size, block, sizeof(size));
    return size;
}

void* dataOf(void* block) { return static_cast<char*>(block) + HEADER_BYTES; }

}  // namespace

CBufferAllocator* CBufferAllocator::GetInstance()
{
    if (!instance) instance = new CBufferAllocator();
    return instance;
}

void CBufferAllocator::DestroyInstance()
{
    delete instance;
    instance = nullptr;
}

CBufferAllocator::~CBufferAllocator()
{
    ASSERT(d_usedList.getNumItems() == 0);
    DisableRecycling();
    // Blocks still in use go too: nothing may hold allocator memory past the allocator.
    while (!d_usedList.Empty()) {
        d_usedList.GotoHead();
        void* block = d_usedList.GetCurrent();
        d_usedList.RemoveCurrent();
        d_bytesInUse -= sizeOf(block);
        ReturnToHeap(block);
    }
}

void CBufferAllocator::ReturnToHeap(void* block)
{
    d_totalTaken -= sizeOf(block) + uint64_t{HEADER_SIZE};
    std::free(block);
}

void* CBufferAllocator::Alloc(uint32_t size) { return Take(size, false); }

void* CBufferAllocator::AllocZeroed(uint32_t size) { return Take(size, true); }

void* CBufferAllocator::Take(uint32_t size, bool zeroed)
{
    if (d_recycling && !d_freeList.Empty()) {
        // Best fit: the smallest surplus, the first of equal ones; an exact fit cannot be beaten.
        llistElement* best = nullptr;
        uint32_t bestSurplus = 0;
        d_freeList.GotoHead();
        for (llistElement* e = d_freeList.GetCurrentElement(); e; e = e->next) {
            const uint32_t kept = sizeOf(e->data);
            if (kept < size) continue;
            if (!best || kept - size < bestSurplus) {
                best = e;
                bestSurplus = kept - size;
                if (bestSurplus == 0) break;
            }
        }
        if (best) {
            void* block = best->data;
            d_freeList.RemoveElement(best);
            d_usedList.GotoTail();
            d_usedList.InsertAfter(block);
            d_bytesKept -= sizeOf(block);
            d_bytesInUse += sizeOf(block);
            ++d_blocksReused;
            if (zeroed) std::memset(dataOf(block), 0, size);
            return dataOf(block);
        }
    }
    if (size > UINT32_MAX - HEADER_BYTES) return nullptr;
    void* block = zeroed ? std::calloc(1, HEADER_BYTES + size) : std::malloc(HEADER_BYTES + size);
    if (!block) return nullptr;
    std::memcpy(block, &size, sizeof(size));
    d_usedList.GotoTail();
    d_usedList.InsertAfter(block);
    d_totalTaken += size + uint64_t{HEADER_SIZE};
    d_bytesInUse += size;
    return dataOf(block);
}

void CBufferAllocator::Free(void* p)
{
    if (!VERIFY(!d_usedList.Empty())) return;
    // Scratch memory is mostly freed newest first: the search starts at the newest block.
    d_usedList.GotoTail();
    llistElement* e = d_usedList.GetCurrentElement();
    while (e && dataOf(e->data) != p) e = e->prev;
    if (!e) {
        assertFailedMsg("Bad pointer passed to CBufferAllocator::Free", "false", __FILE__, __LINE__);
        return;
    }
    void* block = e->data;
    d_usedList.RemoveElement(e);
    d_bytesInUse -= sizeOf(block);
    if (d_recycling) {
        d_freeList.GotoTail();
        d_freeList.InsertAfter(block);
        d_bytesKept += sizeOf(block);
    } else {
        ReturnToHeap(block);
    }
}

void CBufferAllocator::EnableRecycling() { d_recycling = true; }

void CBufferAllocator::DisableRecycling()
{
    d_recycling = false;
    while (!d_freeList.Empty()) {
        d_freeList.GotoHead();
        void* block = d_freeList.GetCurrent();
        d_freeList.RemoveCurrent();
        d_bytesKept -= sizeOf(block);
        ReturnToHeap(block);
    }
}
