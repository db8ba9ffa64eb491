// Compressed buffers: any bytes either inflate within the size their header gives or fail, and any
// bytes deflate and inflate back to themselves.
#include "FuzzSupport.h"
#include "winfile/Compress.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // Exact-size copies, so that any read past the input is caught.
    std::vector<uint8_t> input(data, data + size);
    uint32_t inflatedSize = 0;
    if (getInflatedSize(input.data(), static_cast<uint32_t>(size), &inflatedSize)) {
        std::vector<uint8_t> out(inflatedSize ? inflatedSize : 1);
        uint32_t capacity = inflatedSize;
        if (inflateBuffer(input.data(), out.data(), static_cast<uint32_t>(size), &capacity) && capacity > inflatedSize)
            abort();
    } else {
        uint8_t out[16];
        uint32_t capacity = sizeof out;
        if (inflateBuffer(input.data(), out, static_cast<uint32_t>(size), &capacity)) abort();
    }

    std::vector<uint8_t> packed(size + 12);
    uint32_t packedSize = static_cast<uint32_t>(packed.size());
    if (!deflateBuffer(input.data(), packed.data(), static_cast<uint32_t>(size), &packedSize)) abort();
    packed.resize(packedSize);
    std::vector<uint8_t> back(size);
    uint32_t backSize = static_cast<uint32_t>(size);
    if (!inflateBuffer(packed.data(), back.data(), packedSize, &backSize) || backSize != size ||
        memcmp(back.data(), data, size) != 0)
        abort();
    return 0;
}
