// A ring of GL buffer memory for vertices and indices that change from draw to draw (caller
// memory, dynamic buffers). Each write lands after the last in a range GL is not reading, mapped
// without waiting for the GPU; a full ring starts again on fresh storage, GL keeping the old
// storage until the draws that read it are done.
//
// Needs the renderer's GL context current; one per context.
#pragma once

#include <cstdint>

namespace d3d9gl {

class StreamBuffer {
public:
    StreamBuffer() = default;
    StreamBuffer(const StreamBuffer&) = delete;
    StreamBuffer& operator=(const StreamBuffer&) = delete;

    void create();
    void destroy();
    uint32_t name() const { return m_name; }
    // Copies `size` bytes in; `offset` is where they start, a multiple of `align` (any positive
    // number, a vertex stride among them). False, writing nothing, for more than a ring can hold.
    bool write(const void* data, uint32_t size, uint32_t align, uint32_t& offset);

private:
    uint32_t m_name = 0;
    uint32_t m_capacity = 0;
    uint32_t m_head = 0;
};

}  // namespace d3d9gl
