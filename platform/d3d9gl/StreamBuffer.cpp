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

void StreamBuffer::renew(uint32_t size, uint32_t& retired)
{
    while (size > m_capacity) m_capacity *= 2;
    m_head = 0;
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
    if (start + size > m_capacity) {
        renew(size, retired);
        start = 0;
    }
    m_head = static_cast<uint32_t>(start) + size;
    offset = static_cast<uint32_t>(start);
    if (size == 0) return true;
    if (m_mapped) {
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
