#include "d3d9gl/StreamBuffer.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace d3d9gl {

namespace {

// Enough for many frames of small draws before the ring starts again.
constexpr uint32_t INITIAL_CAPACITY = 4u << 20;
constexpr uint32_t LARGEST_CAPACITY = 1u << 30;

}  // namespace

void StreamBuffer::create()
{
    glGenBuffers(1, &m_name);
    m_capacity = INITIAL_CAPACITY;
    m_head = 0;
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
    glBufferData(GL_COPY_WRITE_BUFFER, m_capacity, nullptr, GL_STREAM_DRAW);
}

void StreamBuffer::destroy()
{
    if (m_name) glDeleteBuffers(1, &m_name);
    m_name = m_capacity = m_head = 0;
}

bool StreamBuffer::write(const void* data, uint32_t size, uint32_t align, uint32_t& offset)
{
    if (!m_name || size > LARGEST_CAPACITY || align == 0) return false;
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
    uint64_t start = (static_cast<uint64_t>(m_head) + align - 1) / align * align;
    if (start + size > m_capacity) {
        // Fresh storage: what GL still reads stays in the old. A write larger than the ring
        // makes it larger.
        while (size > m_capacity) m_capacity *= 2;
        glBufferData(GL_COPY_WRITE_BUFFER, m_capacity, nullptr, GL_STREAM_DRAW);
        start = 0;
    }
    const auto at = static_cast<GLintptr>(start);
    void* p = size ? glMapBufferRange(GL_COPY_WRITE_BUFFER, at, size,
                                      GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT)
                   : nullptr;
    if (p) {
        std::memcpy(p, data, size);
        glUnmapBuffer(GL_COPY_WRITE_BUFFER);
    } else if (size) {
        glBufferSubData(GL_COPY_WRITE_BUFFER, at, size, data);
    }
    m_head = static_cast<uint32_t>(start) + size;
    offset = static_cast<uint32_t>(start);
    return true;
}

}  // namespace d3d9gl
