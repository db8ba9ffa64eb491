#include "l3render/ModelChunks.h"

#include <new>

CModelExtensionChunkSet::~CModelExtensionChunkSet()
{
    for (CModelExtensionChunk& chunk : m_chunks) delete[] chunk.pData;
}

void CModelExtensionChunkSet::Release()
{
    if (--m_refCount <= 0) delete this;
}

uint8_t* CModelExtensionChunkSet::AddChunk(uint32_t type, uint32_t size)
{
    // A zero-size chunk still gets a block, so that every chunk has data to point at.
    uint8_t* data = new (std::nothrow) uint8_t[size ? size : 1]();
    if (!data) return nullptr;
    m_chunks.push_back({type, size, data});
    return data;
}

const CModelExtensionChunk* CModelExtensionChunkSet::GetChunk(uint32_t index) const
{
    return index < m_chunks.size() ? &m_chunks[index] : nullptr;
}

const CModelExtensionChunk* CModelExtensionChunkSet::FindChunk(uint32_t type) const
{
    for (const CModelExtensionChunk& chunk : m_chunks)
        if (chunk.type == type) return &chunk;
    return nullptr;
}
