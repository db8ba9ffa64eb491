#include "gamemanagement/GameMemoryManager.h"

#include "utility/Assert.h"

#include <cstdlib>
#include <cstring>
#include <new>

CGameMemoryManager::CGameMemoryManager()
    : m_requestCount(0),
      m_pRequests(nullptr),
      m_pMemory(nullptr),
      m_freeHead(NO_BLOCK),
      m_stride(0),
      m_dataSize(0),
      m_guards(false),
      m_initialised(false),
      m_blockCount(0)
{
}

CGameMemoryManager::~CGameMemoryManager() { releaseAll(); }

bool CGameMemoryManager::requestBlock(uint32_t id, uint32_t size)
{
    if (m_initialised) return false;
    auto* node = new (std::nothrow) Request{id, size, nullptr};
    if (!node) return true;
    Request** end = &m_pRequests;
    while (*end) end = &(*end)->next;
    *end = node;
    ++m_requestCount;
    return true;
}

bool CGameMemoryManager::initialise(uint32_t count, bool guards)
{
    m_guards = guards;
    uint32_t m_largest = 0;
    for (Request* r = m_pRequests; r; r = r->next)
        if (r->size > m_largest) m_largest = r->size;
    ASSERT(m_largest != 0);
    m_dataSize = m_largest;
    m_stride = m_dataSize + (guards ? 12 : 4);
    ::free(m_pMemory);  // a second call replaces the first memory
    m_pMemory = static_cast<uint8_t*>(malloc(static_cast<size_t>(m_stride) * count));
    if (!VERIFY(m_pMemory)) {
        m_blockCount = 0;
        m_freeHead = NO_BLOCK;
        m_initialised = true;
        return true;
    }
    memset(m_pMemory, FILL_FRESH, static_cast<size_t>(m_stride) * count);
    m_blockCount = count;
    m_freeHead = NO_BLOCK;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* block = blockAt(i);
        if (guards) {
            memcpy(block, &GUARD_BYTES_START, 4);
            memcpy(block + 4 + m_dataSize, &GUARD_BYTES_END, 4);
        }
        linkOf(i) = m_freeHead;
        m_freeHead = i;
    }
    m_initialised = true;
    return true;
}

bool CGameMemoryManager::allocate(uint32_t, uint32_t, void** pointer)
{
    if (!m_initialised || m_freeHead == NO_BLOCK) return false;
    const uint32_t index = m_freeHead;
    uint8_t* data = blockAt(index) + dataOffset();
    memset(data, FILL_FRESH, m_dataSize);
    m_freeHead = linkOf(index);
    *pointer = data;
    return true;
}

bool CGameMemoryManager::free(uint32_t, uint32_t, void* pointer)
{
    if (!m_initialised) {
        assertFailed("0", __FILE__, __LINE__);
        return false;
    }
    auto* data = static_cast<uint8_t*>(pointer);
    // A pointer that is not a block's data start would corrupt the free list.
    if (!VERIFY(data >= m_pMemory + dataOffset() && data < m_pMemory + static_cast<size_t>(m_stride) * m_blockCount))
        return false;
    const size_t offset = static_cast<size_t>(data - m_pMemory) - dataOffset();
    if (!VERIFY(offset % m_stride == 0)) return false;
    const uint32_t index = static_cast<uint32_t>(offset / m_stride);
    memset(data, FILL_FREED, m_dataSize);
    linkOf(index) = m_freeHead;
    m_freeHead = index;
    return true;
}

void CGameMemoryManager::validate()
{
    if (!m_guards || !m_pMemory) return;
    for (uint32_t i = 0; i < m_blockCount; ++i) {
        const uint8_t* pCurrent = blockAt(i);
        uint32_t start, end;
        memcpy(&start, pCurrent, 4);
        memcpy(&end, pCurrent + 4 + m_dataSize, 4);
        if (start != GUARD_BYTES_START)
            assertFailed("*(unsigned int*)pCurrent == GUARD_BYTES_START", __FILE__, __LINE__);
        if (end != GUARD_BYTES_END)
            assertFailed("*(unsigned int*)(pCurrent+4+m_dataSize) == GUARD_BYTES_END", __FILE__, __LINE__);
    }
}

void CGameMemoryManager::releaseRequests()
{
    while (m_pRequests) {
        Request* next = m_pRequests->next;
        delete m_pRequests;
        m_pRequests = next;
    }
    m_requestCount = 0;
}

void CGameMemoryManager::releaseAll()
{
    ::free(m_pMemory);
    m_pMemory = nullptr;
    m_freeHead = NO_BLOCK;
    m_blockCount = 0;
    m_initialised = false;
    releaseRequests();
}
