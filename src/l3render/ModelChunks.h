// Extension chunks: typed blocks of bytes that a model file attaches to a model or to an element,
// for code that knows their type. The loader makes one set per block; a model's clones share its
// set, so the set is reference counted (starting at 1, destroyed by the last Release).
#pragma once

#include <cstdint>
#include <vector>

struct CModelExtensionChunk {
    uint32_t type;
    uint32_t size;   // bytes of pData
    uint8_t* pData;  // owned by the set
};

class CModelExtensionChunkSet {
public:
    CModelExtensionChunkSet() = default;
    CModelExtensionChunkSet(const CModelExtensionChunkSet&) = delete;
    CModelExtensionChunkSet& operator=(const CModelExtensionChunkSet&) = delete;

    void AddRef() { ++m_refCount; }
    void Release();
    int32_t GetRefCount() const { return m_refCount; }

    // Appends a chunk of size bytes (zeroed) and returns them for filling; null when they cannot be
    // allocated.
    uint8_t* AddChunk(uint32_t type, uint32_t size);
    uint32_t GetNumChunks() const { return static_cast<uint32_t>(m_chunks.size()); }
    // Chunks in file order; null past the end.
    const CModelExtensionChunk* GetChunk(uint32_t index) const;
    // The first chunk of the type, or null.
    const CModelExtensionChunk* FindChunk(uint32_t type) const;

private:
    ~CModelExtensionChunkSet();

    int32_t m_refCount = 1;
    std::vector<CModelExtensionChunk> m_chunks;
};
