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
constexpr GLbitfield PERSISTENT = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;

bool canMapForGood()
{
    GLint major = 0, minor = 0, count = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major > 4 || (major == 4 && minor >= 4)) return true;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const char* e = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (e && std::strcmp(e, "GL_ARB_buffer_storage") == 0) return true;
    }
    return false;
}

}  // namespace

void StreamBuffer::create()
{
    m_persistent = canMapForGood();
    m_capacity = INITIAL_CAPACITY;
    uint32_t retired = 0;
    renew(m_capacity, retired);
}

void StreamBuffer::destroy()
{
    dropFences();
    if (m_name) {
        if (m_mapped) {
            glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
            glUnmapBuffer(GL_COPY_WRITE_BUFFER);
        }
        glDeleteBuffers(1, &m_name);
    }
    m_name = m_capacity = m_head = 0;
    m_mapped = nullptr;
}

void StreamBuffer::dropFences()
{
    for (void*& f : m_fences) {
        if (f) glDeleteSync(static_cast<GLsync>(f));
        f = nullptr;
    }
    m_written = 0;
    m_segment = 0;
}

void StreamBuffer::enter(uint32_t start, uint32_t end, bool wrapped)
{
    const uint32_t segmentSize = m_capacity / SEGMENTS;
    const uint32_t first = start / segmentSize, last = (end - 1) / segmentSize;
    // The draws of the segments written so far have all been made: a fence each marks their end.
    if ((wrapped || first != m_segment) && m_written) {
        for (uint32_t s = 0; s < SEGMENTS; ++s) {
            if (!(m_written & (1u << s))) continue;
            if (m_fences[s]) glDeleteSync(static_cast<GLsync>(m_fences[s]));
            m_fences[s] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        }
        m_written = 0;
    }
    for (uint32_t s = first; s <= last; ++s) {
        if (m_written & (1u << s)) continue;
        if (m_fences[s]) {
            const auto fence = static_cast<GLsync>(m_fences[s]);
            while (glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000) == GL_TIMEOUT_EXPIRED) {
            }
            glDeleteSync(fence);
            m_fences[s] = nullptr;
        }
        m_written |= 1u << s;
    }
    m_segment = last;
}

void StreamBuffer::renew(uint32_t size, uint32_t& retired)
{
    while (size > m_capacity) m_capacity *= 2;
    m_head = 0;
    dropFences();
    if (!m_persistent && m_name) {
        // The same buffer on new storage.
        glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
        glBufferData(GL_COPY_WRITE_BUFFER, m_capacity, nullptr, GL_STREAM_DRAW);
        return;
    }
    // Storage that stays mapped cannot be replaced: a new buffer takes the old one's place, made
    // before the old goes so that the names differ.
    GLuint name = 0;
    glGenBuffers(1, &name);
    glBindBuffer(GL_COPY_WRITE_BUFFER, name);
    if (m_persistent) {
        glBufferStorage(GL_COPY_WRITE_BUFFER, m_capacity, nullptr, PERSISTENT);
        m_mapped = static_cast<uint8_t*>(glMapBufferRange(GL_COPY_WRITE_BUFFER, 0, m_capacity, PERSISTENT));
    } else {
        glBufferData(GL_COPY_WRITE_BUFFER, m_capacity, nullptr, GL_STREAM_DRAW);
    }
    retired = m_name;  // unmapped when deleted
    m_name = name;
}

bool StreamBuffer::write(const void* data, uint32_t size, uint32_t align, uint32_t& offset, uint32_t& retired)
{
    retired = 0;
    if (!m_name || size > LARGEST_CAPACITY || align == 0) return false;
    uint64_t start = (static_cast<uint64_t>(m_head) + align - 1) / align * align;
    const bool wrapped = start + size > m_capacity;
    if (wrapped) {
        // Storage mapped for good goes round again unless the write is larger than it.
        if (!m_mapped || size > m_capacity) renew(size, retired);
        start = 0;
    }
    m_head = static_cast<uint32_t>(start) + size;
    offset = static_cast<uint32_t>(start);
    if (size == 0) return true;
    if (m_mapped) {
        enter(static_cast<uint32_t>(start), m_head, wrapped);
        std::memcpy(m_mapped + start, data, size);
        return true;
    }
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
    const auto at = static_cast<GLintptr>(start);
    void* p = glMapBufferRange(GL_COPY_WRITE_BUFFER, at, size,
                               GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
    if (p) {
        std::memcpy(p, data, size);
        glUnmapBuffer(GL_COPY_WRITE_BUFFER);
    } else {
        glBufferSubData(GL_COPY_WRITE_BUFFER, at, size, data);
    }
    return true;
}

}  // namespace d3d9gl
