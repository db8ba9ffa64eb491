#include "d3d9gl/VertexStreams.h"

#include <algorithm>
#include <bit>

namespace d3d9gl {

namespace {

// The smallest and one past the largest of `count` indices from `start`; false when the memory
// does not hold them.
bool indexRange(const IndexSource& ix, uint32_t start, uint32_t count, uint32_t& low, uint32_t& high)
{
    const uint64_t end = (static_cast<uint64_t>(start) + count) * ix.indexSize;
    if (!ix.data || end > ix.size || count == 0) return false;
    uint32_t lo = UINT32_MAX, hi = 0;
    if (ix.indexSize == 2) {
        const auto* p = static_cast<const uint16_t*>(ix.data) + start;
        for (uint32_t i = 0; i < count; ++i) lo = std::min<uint32_t>(lo, p[i]), hi = std::max<uint32_t>(hi, p[i]);
    } else {
        const auto* p = static_cast<const uint32_t*>(ix.data) + start;
        for (uint32_t i = 0; i < count; ++i) lo = std::min(lo, p[i]), hi = std::max(hi, p[i]);
    }
    low = lo;
    high = hi + 1;
    return high > hi;
}

}  // namespace

void VertexStreams::create(GLState& gl)
{
    m_ring.create();
    m_arrays.init(gl);
}

void VertexStreams::destroy()
{
    dropRetired();
    m_arrays.destroy();
    for (uint32_t name : m_names)
        if (name) glDeleteBuffers(1, &name);
    m_names.clear();
    m_sizes.clear();
    m_ring.destroy();
}

uint32_t VertexStreams::createBuffer(uint32_t size)
{
    GLuint name = 0;
    glGenBuffers(1, &name);
    glBindBuffer(GL_COPY_WRITE_BUFFER, name);
    glBufferData(GL_COPY_WRITE_BUFFER, size, nullptr, GL_DYNAMIC_DRAW);
    for (size_t i = 0; i < m_names.size(); ++i)
        if (!m_names[i]) {
            m_names[i] = name;
            m_sizes[i] = size;
            return static_cast<uint32_t>(i + 1);
        }
    m_names.push_back(name);
    m_sizes.push_back(size);
    return static_cast<uint32_t>(m_names.size());
}

void VertexStreams::updateBuffer(uint32_t buffer, uint32_t offset, uint32_t size, const void* data)
{
    if (!has(buffer) || size == 0 || static_cast<uint64_t>(offset) + size > m_sizes[buffer - 1]) return;
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_names[buffer - 1]);
    glBufferSubData(GL_COPY_WRITE_BUFFER, offset, size, data);
}

void VertexStreams::deleteBuffer(uint32_t buffer)
{
    if (!has(buffer)) return;
    m_arrays.forget(m_names[buffer - 1]);
    glDeleteBuffers(1, &m_names[buffer - 1]);
    m_names[buffer - 1] = 0;
}

bool VertexStreams::stream(const void* data, uint32_t size, uint32_t align, uint32_t& offset)
{
    uint32_t retired = 0;
    const bool written = m_ring.write(data, size, align, offset, retired);
    if (retired) m_retired.push_back(retired);
    return written;
}

void VertexStreams::dropRetired()
{
    for (uint32_t name : m_retired) {
        m_arrays.forget(name);
        glDeleteBuffers(1, &name);
    }
    m_retired.clear();
}

bool VertexStreams::bindVertices(const AttributeRead* attributes, uint32_t count, uint64_t layout,
                                 const VertexSource* streams, const VertexSpan& span, bool wholeStride,
                                 bool fixedFunction, int64_t& shift)
{
    shift = 0;
    if (!m_retired.empty()) dropRetired();
    if (layout != m_read.layout) {
        m_read = Read();
        m_read.layout = layout;
        for (uint32_t i = 0; i < count; ++i) {
            const AttributeRead& a = attributes[i];
            m_read.used |= 1u << a.stream;
            m_read.extent[a.stream] = std::max(m_read.extent[a.stream], a.offset + a.bytes);
        }
    }
    const uint32_t used = m_read.used;
    const uint32_t* extent = m_read.extent;
    const bool single = used && (used & (used - 1)) == 0;
    // Where each stream's vertex 0 lies for GL: a buffer and a byte offset.
    uint32_t names[MAX_VERTEX_STREAMS], starts[MAX_VERTEX_STREAMS];
    bool keep = true;
    for (uint32_t bits = used; bits; bits &= bits - 1) {
        const auto s = static_cast<uint32_t>(std::countr_zero(bits));
        const VertexSource& v = streams[s];
        if (v.stride == 0) return false;
        const uint64_t reach = wholeStride ? v.stride : extent[s];
        uint64_t lo = span.indices ? 0 : static_cast<uint64_t>(std::max<int64_t>(span.first, 0)), hi = span.end;
        if (v.buffer) {
            if (!has(v.buffer)) return false;
            if (v.offset + (hi ? hi - 1 : 0) * v.stride + reach > m_sizes[v.buffer - 1]) return false;
            names[s] = m_names[v.buffer - 1];
            starts[s] = v.offset;
            // One stream: its offset in whole vertices moves the draw instead, so that other
            // offsets of the same buffer share a vertex array.
            if (single && v.offset % v.stride == 0) {
                shift = v.offset / v.stride;
                starts[s] = 0;
            }
            continue;
        }
        if (!v.data) return false;
        // A copy the device keeps gives only the vertices the draw reads; the caller's memory is
        // read from vertex 0 of an indexed draw, as far as the draw says it reaches.
        if (v.size && single && span.indices) {
            uint32_t low = 0, high = 0;
            if (!indexRange(*span.indices, span.start, span.count, low, high)) return false;
            lo = static_cast<uint64_t>(std::max<int64_t>(span.base + static_cast<int64_t>(low), 0));
            hi = static_cast<uint64_t>(std::max<int64_t>(span.base + static_cast<int64_t>(high), 0));
        }
        if (!single) lo = 0;
        if (hi <= lo) return false;
        const uint64_t bytes = (hi - lo - 1) * v.stride + reach;
        if ((v.size && lo * v.stride + bytes > v.size) || bytes > UINT32_MAX) return false;
        uint32_t at = 0;
        const auto* from = static_cast<const uint8_t*>(v.data) + lo * v.stride;
        if (!stream(from, static_cast<uint32_t>(bytes), single ? v.stride : 4, at)) return false;
        names[s] = m_ring.name();
        starts[s] = 0;
        if (single) {
            shift = static_cast<int64_t>(at / v.stride) - static_cast<int64_t>(lo);
        } else {
            starts[s] = at;  // lo is 0; the offset changes with every draw
            keep = false;
        }
    }
    // Streams placed as for the draw before, with the same attributes, keep its vertex array.
    Placed& last = m_read.last;
    bool same = keep && m_read.placed && last.fixedFunction == fixedFunction;
    for (uint32_t bits = used; bits && same; bits &= bits - 1) {
        const auto s = static_cast<uint32_t>(std::countr_zero(bits));
        same = names[s] == last.names[s] && starts[s] == last.starts[s] && streams[s].stride == last.strides[s];
    }
    if (same && m_arrays.rebind()) return true;
    VertexFormat format;
    format.count = count;
    for (uint32_t i = 0; i < count; ++i) {
        const AttributeRead& a = attributes[i];
        format.attributes[i] = VertexAttribute{a.location, a.size, a.type, a.normalised ? 1u : 0u, names[a.stream],
                                               starts[a.stream] + a.offset, streams[a.stream].stride};
    }
    m_arrays.bind(format, keep);
    m_arrays.defaults(format.locations(), fixedFunction);
    m_read.placed = keep;
    last.fixedFunction = fixedFunction;
    for (uint32_t bits = used; bits; bits &= bits - 1) {
        const auto s = static_cast<uint32_t>(std::countr_zero(bits));
        last.names[s] = names[s], last.starts[s] = starts[s], last.strides[s] = streams[s].stride;
    }
    return true;
}

bool VertexStreams::bindIndices(const IndexSource& ix, uint32_t start, uint32_t count, uintptr_t& offset)
{
    const uint64_t from = static_cast<uint64_t>(start) * ix.indexSize, bytes = static_cast<uint64_t>(count) * ix.indexSize;
    if (ix.buffer) {
        if (!has(ix.buffer) || from + bytes > m_sizes[ix.buffer - 1]) return false;
        m_arrays.elements(m_names[ix.buffer - 1]);
        offset = static_cast<uintptr_t>(from);
        return true;
    }
    if (!ix.data || (ix.size && from + bytes > ix.size) || bytes > UINT32_MAX) return false;
    uint32_t at = 0;
    if (!stream(static_cast<const uint8_t*>(ix.data) + from, static_cast<uint32_t>(bytes), ix.indexSize, at)) return false;
    m_arrays.elements(m_ring.name());
    offset = at;
    return true;
}

}  // namespace d3d9gl
