#include "d3d9gl/VertexArrays.h"

#include "d3d9gl/ShaderGenerator.h"

#include <cstring>

namespace d3d9gl {

namespace {

// Formats past this many are dropped together rather than kept for ever.
constexpr size_t MAX_KEPT = 1024;

}  // namespace

bool VertexFormat::operator==(const VertexFormat& o) const
{
    return count == o.count && std::memcmp(attributes, o.attributes, count * sizeof(VertexAttribute)) == 0;
}

uint32_t VertexFormat::locations() const
{
    uint32_t bits = 0;
    for (uint32_t i = 0; i < count; ++i) bits |= 1u << attributes[i].location;
    return bits;
}

size_t VertexFormatHash::operator()(const VertexFormat& f) const
{
    uint64_t h = 1469598103934665603ull ^ f.count;
    const auto* words = reinterpret_cast<const uint32_t*>(f.attributes);
    for (size_t i = 0; i < f.count * sizeof(VertexAttribute) / 4; ++i) h = (h ^ words[i]) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29));
}

void VertexArrays::remove(Object& object)
{
    if (!object.name) return;
    glDeleteVertexArrays(1, &object.name);
    m_gl->deleted(object.name, 0);
    if (m_bound == &object) {
        m_bound = nullptr;
        m_boundFormat = nullptr;
    }
    object = Object();
}

void VertexArrays::destroy()
{
    for (auto& [format, object] : m_objects) remove(object);
    m_objects.clear();
    remove(m_scratch);
    m_bound = nullptr;
    m_boundFormat = nullptr;
    m_valuesSet = 0;
    m_defaultsFor = ~0u;
}

void VertexArrays::specify(const VertexFormat& format)
{
    uint32_t bound = 0;
    for (uint32_t i = 0; i < format.count; ++i) {
        const VertexAttribute& a = format.attributes[i];
        if (a.buffer != bound) {
            glBindBuffer(GL_ARRAY_BUFFER, a.buffer);
            bound = a.buffer;
        }
        glEnableVertexAttribArray(a.location);
        glVertexAttribPointer(a.location, a.size, a.type, a.normalised ? GL_TRUE : GL_FALSE, static_cast<GLsizei>(a.stride),
                              reinterpret_cast<const void*>(static_cast<uintptr_t>(a.offset)));
    }
}

void VertexArrays::bind(const VertexFormat& format, bool keep)
{
    if (!keep) {
        if (!m_scratch.name) glGenVertexArrays(1, &m_scratch.name);
        m_gl->vertexArray(m_scratch.name);
        const uint32_t used = format.locations();
        for (uint32_t l = 0; l < MAX_VERTEX_ATTRIBUTES; ++l)
            if (!(used & (1u << l))) glDisableVertexAttribArray(l);
        specify(format);
        m_bound = &m_scratch;
        m_boundFormat = nullptr;
        return;
    }
    if (!m_boundFormat || !(*m_boundFormat == format)) {
        auto found = m_objects.find(format);
        if (found == m_objects.end()) {
            if (m_objects.size() >= MAX_KEPT) {
                for (auto& [f, object] : m_objects) remove(object);
                m_objects.clear();
            }
            found = m_objects.emplace(format, Object()).first;
            glGenVertexArrays(1, &found->second.name);
            m_gl->vertexArray(found->second.name);
            specify(format);
        }
        m_bound = &found->second;
        m_boundFormat = &found->first;
    }
    m_gl->vertexArray(m_bound->name);
}

bool VertexArrays::rebind()
{
    if (!m_bound || m_bound == &m_scratch) return false;
    m_gl->vertexArray(m_bound->name);
    return true;
}

void VertexArrays::elements(uint32_t buffer)
{
    if (!m_bound || m_bound->elements == buffer) return;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    m_bound->elements = buffer;
}

void VertexArrays::forget(uint32_t buffer)
{
    for (auto it = m_objects.begin(); it != m_objects.end();) {
        bool reads = it->second.elements == buffer;
        for (uint32_t i = 0; i < it->first.count && !reads; ++i) reads = it->first.attributes[i].buffer == buffer;
        if (!reads) {
            ++it;
            continue;
        }
        remove(it->second);
        it = m_objects.erase(it);
    }
    // The scratch object is specified afresh at each use; only its index buffer is remembered.
    if (m_scratch.elements == buffer) m_scratch.elements = 0;
}

void VertexArrays::defaults(uint32_t arrayLocations, bool fixedFunction)
{
    const uint32_t wanted = arrayLocations | (fixedFunction ? 1u << 31 : 0);
    if (wanted == m_defaultsFor) return;
    m_defaultsFor = wanted;
    for (uint32_t l = 0; l < MAX_VERTEX_ATTRIBUTES; ++l) {
        if (arrayLocations & (1u << l)) continue;
        float v[4] = {0, 0, 0, 1};
        if (fixedFunction && l == ATTR_DIFFUSE)
            v[0] = v[1] = v[2] = 1;
        else if (fixedFunction && (l == ATTR_SPECULAR || l == ATTR_BLENDWEIGHT))
            v[3] = 0;
        if ((m_valuesSet & (1u << l)) && std::memcmp(m_values[l], v, sizeof(v)) == 0) continue;
        std::memcpy(m_values[l], v, sizeof(v));
        m_valuesSet |= 1u << l;
        glVertexAttrib4f(l, v[0], v[1], v[2], v[3]);
    }
}

}  // namespace d3d9gl
