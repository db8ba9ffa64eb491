// The GL side of a draw's vertices and indices: copies of the device's buffers, a stream ring for
// data that changes from draw to draw (the caller's memory, dynamic buffers), and the vertex-array
// objects that read them.
//
// Buffer handles are 1-based; 0 is none. Every call needs the renderer's GL context current.
#pragma once

#include "d3d9gl/GLRenderer.h"
#include "d3d9gl/GLState.h"
#include "d3d9gl/StreamBuffer.h"
#include "d3d9gl/VertexArrays.h"

#include <cstdint>
#include <vector>

namespace d3d9gl {

// One value a draw reads from each vertex of a stream.
struct AttributeRead {
    uint32_t location, stream;
    uint32_t offset;  // bytes into the vertex
    int32_t size;     // 1..4, or GL_BGRA
    uint32_t type;
    bool normalised;
    uint32_t bytes;
};

// The vertices a draw reads: [first, end), or for an indexed draw those its indices name.
struct VertexSpan {
    int64_t first = 0;
    uint64_t end = 0;
    // Indexed draws: `count` indices from `start`, each added to `base`.
    const IndexSource* indices = nullptr;
    uint32_t start = 0, count = 0;
    int32_t base = 0;
};

class VertexStreams {
public:
    void create(GLState& gl);
    void destroy();

    uint32_t createBuffer(uint32_t size);
    void updateBuffer(uint32_t buffer, uint32_t offset, uint32_t size, const void* data);
    void deleteBuffer(uint32_t buffer);
    bool has(uint32_t buffer) const { return buffer && buffer <= m_names.size() && m_names[buffer - 1]; }
    uint32_t size(uint32_t buffer) const { return m_sizes[buffer - 1]; }

    // Binds what GL needs to read the attributes from `streams` (indexed by stream number) over
    // the span: whole strides of fixed-function layouts, as far as the attributes reach of inputs.
    // `layout` names the attributes: the same number, the same attributes. `shift` is then to be
    // added to the draw's first vertex or base vertex. False when a stream cannot supply the span.
    bool bindVertices(const AttributeRead* attributes, uint32_t count, uint64_t layout, const VertexSource* streams,
                      const VertexSpan& span, bool wholeStride, bool fixedFunction, int64_t& shift);
    // Binds `count` indices from `start` as the bound vertex array's; `offset` is where GL finds
    // the first. False when the source does not hold them.
    bool bindIndices(const IndexSource& indices, uint32_t start, uint32_t count, uintptr_t& offset);

private:
    // Copies bytes into the ring (StreamBuffer::write).
    bool stream(const void* data, uint32_t size, uint32_t align, uint32_t& offset);
    // Ring buffers left behind go, with the vertex arrays that read them, between draws: a draw
    // may read vertices from one and indices from the next.
    void dropRetired();

    // Where a draw's streams were placed for GL (those its attributes read).
    struct Placed {
        uint32_t names[MAX_VERTEX_STREAMS] = {}, starts[MAX_VERTEX_STREAMS] = {}, strides[MAX_VERTEX_STREAMS] = {};
        bool fixedFunction = false;
    };
    // What the attributes of the last layout read, and where the last draw of it found them.
    struct Read {
        uint64_t layout = 0;
        uint32_t used = 0;                          // a bit per stream
        uint32_t extent[MAX_VERTEX_STREAMS] = {};  // bytes of a vertex read
        bool placed = false;                        // `last` is bound, in a vertex array kept
        Placed last;
    } m_read;
    std::vector<uint32_t> m_retired;
    std::vector<uint32_t> m_names;  // handle - 1 -> GL name, 0 for a free slot
    std::vector<uint32_t> m_sizes;
    StreamBuffer m_ring;
    VertexArrays m_arrays;
};

}  // namespace d3d9gl
