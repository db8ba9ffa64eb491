// Compressed buffers and files: a 12-byte header, then either a zlib stream (followed by one zero
// byte) or, when compressing would not save more than the header costs, the source bytes stored.
// Saved level states are deflated in place with deflateFile and inflated before they are parsed.
#pragma once

#include <cstdint>

struct SDeflateHeader {
    uint16_t magic;            // DEFLATE_MAGIC (bytes F1 DE)
    uint8_t flags;             // DEFLATE_FLAG_STORED
    uint8_t reserved;          // 0
    uint32_t uncompressedSize;
    uint32_t payloadSize;      // bytes after the header (a compressed payload has one more zero byte)
};
static_assert(sizeof(SDeflateHeader) == 12, "the header is stored as 12 bytes");

const uint16_t DEFLATE_MAGIC = 0xDEF1;
const uint8_t DEFLATE_FLAG_STORED = 1;

// The uncompressed size of compressed data of sourceBytes bytes; false when the header is not
// valid for those bytes.
bool getInflatedSize(const void* pCompressedData, uint32_t sourceBytes, uint32_t* pSize);
// destBytes: the destination's capacity in, the bytes written out. The capacity must be at least
// sourceBytes + 12; otherwise nothing is written and the result is false.
bool deflateBuffer(const void* pSourceBuffer, void* pDestBuffer, uint32_t sourceBytes, uint32_t* destBytes);
// destBytes: the destination's capacity in, the uncompressed bytes out.
bool inflateBuffer(const void* pCompressedData, void* pDestBuffer, uint32_t sourceBytes, uint32_t* destBytes);
// A null destination name means the source file itself.
bool inflateFile(const char* sourceName, const char* destName = nullptr);
bool deflateFile(const char* sourceName, const char* destName = nullptr);
