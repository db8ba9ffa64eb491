// A ring of GL buffer memory for vertices and indices that change from draw to draw (caller
// memory, dynamic buffers). Each write lands after the last, in memory GL is not reading: mapped
// for good where GL can keep a buffer mapped, else mapped at each write without waiting for the
// GPU. Storage mapped for good is used again lap after lap, each segment written only once the
// draws that read it on the lap before are done (a fence per segment, long passed by then); the
// other kind starts again on fresh storage, which GL keeps until the draws that read it are done.
// A write larger than the ring moves it to storage twice as large.
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
    // `retired` is a buffer the ring no longer uses (0: none), for the caller to delete once the
    // draw under way has been made, with all that refers to it.
    bool write(const void* data, uint32_t size, uint32_t align, uint32_t& offset, uint32_t& retired);

private:
    // Fresh storage of at least `size` bytes.
    void renew(uint32_t size, uint32_t& retired);
    // Storage mapped for good: before bytes [start, end) are written, fences the segments written
    // since the last fence once the head leaves them (or goes round), and waits for the draws of
    // the lap before to finish with the segments it enters.
    void enter(uint32_t start, uint32_t end, bool wrapped);
    void dropFences();

    static constexpr uint32_t SEGMENTS = 8;

    uint32_t m_name = 0;
    uint32_t m_capacity = 0;
    uint32_t m_head = 0;
    bool m_persistent = false;  // the storage stays mapped, at m_mapped
    uint8_t* m_mapped = nullptr;
    void* m_fences[SEGMENTS] = {};  // GLsync of each segment's last lap
    uint32_t m_written = 0;         // a bit per segment written since the last fence
    uint32_t m_segment = 0;         // the segment the head is in
};

}  // namespace d3d9gl
