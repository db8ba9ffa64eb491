// CGameMemoryManager: a fixed-block pool per use. Users announce the sizes they need, then the pool
// is initialised once with every block sized for the largest request, optionally with guard words
// around each block, and with fill bytes that make stale data visible.
#pragma once

#include <cstddef>
#include <cstdint>

class CGameMemoryManager {
public:
    static const uint32_t GUARD_BYTES_START = 0xBEEFBEEF;
    static const uint32_t GUARD_BYTES_END = 0xFEEDFEED;
    static const uint8_t FILL_FRESH = 0xCD;
    static const uint8_t FILL_FREED = 0xDD;

    CGameMemoryManager();
    ~CGameMemoryManager();
    CGameMemoryManager(const CGameMemoryManager&) = delete;
    CGameMemoryManager& operator=(const CGameMemoryManager&) = delete;

    // False once initialised.
    bool requestBlock(uint32_t id, uint32_t size);
    bool initialise(uint32_t count, bool guards);
    // False when not initialised or exhausted (no report: callers report).
    bool allocate(uint32_t id, uint32_t size, void** pointer);
    bool free(uint32_t id, uint32_t size, void* pointer);
    // Checks every block's guard words (with guards on).
    void validate();
    void releaseAll();
    void releaseRequests();

    uint32_t stride() const { return m_stride; }
    uint32_t dataSize() const { return m_dataSize; }
    uint32_t blockCount() const { return m_blockCount; }
    bool isInitialised() const { return m_initialised; }
    const uint8_t* memory() const { return m_pMemory; }

private:
    static const uint32_t NO_BLOCK = 0xFFFFFFFFu;

    struct Request {
        uint32_t id;
        uint32_t size;
        Request* next;
    };

    uint8_t* blockAt(uint32_t index) const { return m_pMemory + static_cast<size_t>(index) * m_stride; }
    uint32_t dataOffset() const { return m_guards ? 4 : 0; }
    // The free link is a 32-bit block index, keeping the block layout of the 32-bit build.
    uint32_t& linkOf(uint32_t index) const
    {
        return *reinterpret_cast<uint32_t*>(blockAt(index) + m_stride - 4);
    }

    uint32_t m_requestCount;
    Request* m_pRequests;
    uint8_t* m_pMemory;
    uint32_t m_freeHead;
    uint32_t m_stride;
    uint32_t m_dataSize;
    bool m_guards;
    bool m_initialised;
    uint32_t m_blockCount;
};
