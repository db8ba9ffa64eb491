#include "winfile/Compress.h"

#include "utility/Assert.h"
#include "winfile/File.h"

#include <zlib.h>

#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <string>

static_assert(std::endian::native == std::endian::little, "the header is copied as it is stored");

namespace {

// zlib's format cannot expand data by more than this, so a header claiming more is corrupt; the
// check keeps a damaged header from asking for gigabytes.
const uint64_t MAX_INFLATE_RATIO = 1032;

enum HeaderCheck { HEADER_OK, HEADER_INVALID, HEADER_TRUNCATED };

HeaderCheck checkHeader(const void* data, uint32_t sourceBytes, SDeflateHeader* header)
{
    if (sourceBytes < sizeof(SDeflateHeader)) return HEADER_INVALID;
    memcpy(header, data, sizeof(SDeflateHeader));
    if (header->magic != DEFLATE_MAGIC) return HEADER_INVALID;
    if (sizeof(SDeflateHeader) + static_cast<uint64_t>(header->payloadSize) > sourceBytes) return HEADER_TRUNCATED;
    if (header->flags & DEFLATE_FLAG_STORED) {
        if (header->payloadSize != header->uncompressedSize) return HEADER_INVALID;
    } else if (header->uncompressedSize > header->payloadSize * MAX_INFLATE_RATIO) {
        return HEADER_INVALID;
    }
    return HEADER_OK;
}

void report(const std::string& message) { assertFailedMsg(message.c_str(), "false", __FILE__, __LINE__); }

bool writeWholeFile(const char* name, const uint8_t* data, uint32_t size)
{
    CFile file;
    if (!file.Open(name, FILE_MODE_WRITE) || (size && !file.Write(data, size))) {
        report(std::string("Failed to write ") + name);
        return false;
    }
    file.Close();
    return true;
}

}  // namespace

bool getInflatedSize(const void* pCompressedData, uint32_t sourceBytes, uint32_t* pSize)
{
    if (!VERIFY(pCompressedData)) return false;
    SDeflateHeader header;
    if (checkHeader(pCompressedData, sourceBytes, &header) != HEADER_OK) return false;
    if (pSize) *pSize = header.uncompressedSize;
    return true;
}

bool deflateBuffer(const void* pSourceBuffer, void* pDestBuffer, uint32_t sourceBytes, uint32_t* destBytes)
{
    if (!VERIFY(pSourceBuffer) || !VERIFY(pDestBuffer) || !VERIFY(sourceBytes > 0) || !VERIFY(destBytes))
        return false;
    if (*destBytes < static_cast<uint64_t>(sourceBytes) + sizeof(SDeflateHeader)) {
        assertFailedMsg("Deflate dest buffer must be at least12bytes bigger than src",
                        "destBytes >= sourceBytes+sizeof(SDeflateHeader)", __FILE__, __LINE__);
        return false;
    }

    auto* dest = static_cast<uint8_t*>(pDestBuffer);
    SDeflateHeader header = {DEFLATE_MAGIC, 0, 0, sourceBytes, 0};
    const size_t workBytes = static_cast<size_t>(sourceBytes * 1.1 + 13);
    std::unique_ptr<uint8_t[]> pDeflateBuffer(new (std::nothrow) uint8_t[workBytes]);
    // Without a work buffer the data is still stored, which needs none.
    if (VERIFY(pDeflateBuffer)) {
        uLongf compressedBytes = workBytes;
        if (compress(pDeflateBuffer.get(), &compressedBytes, static_cast<const Bytef*>(pSourceBuffer),
                     sourceBytes) == Z_OK &&
            compressedBytes + 13 < sourceBytes) {
            header.payloadSize = static_cast<uint32_t>(compressedBytes);
            memcpy(dest, &header, sizeof header);
            memcpy(dest + sizeof header, pDeflateBuffer.get(), compressedBytes);
            dest[sizeof header + compressedBytes] = 0;
            *destBytes = static_cast<uint32_t>(compressedBytes + 13);
            return true;
        }
    }
    header.flags = DEFLATE_FLAG_STORED;
    header.payloadSize = sourceBytes;
    memcpy(dest, &header, sizeof header);
    memcpy(dest + sizeof header, pSourceBuffer, sourceBytes);
    *destBytes = sourceBytes + sizeof header;
    return true;
}

bool inflateBuffer(const void* pCompressedData, void* pDestBuffer, uint32_t sourceBytes, uint32_t* destBytes)
{
    if (!VERIFY(pCompressedData) || !VERIFY(pDestBuffer) || !VERIFY(sourceBytes > 0) || !VERIFY(destBytes))
        return false;
    SDeflateHeader header;
    switch (checkHeader(pCompressedData, sourceBytes, &header)) {
    case HEADER_OK: break;
    case HEADER_INVALID:
        assertFailedMsg("Inflate: Data header is invalid", "false", __FILE__, __LINE__);
        return false;
    case HEADER_TRUNCATED:
        assertFailedMsg("Inflate: Data is shorter than its header says",
                        "sizeof(SDeflateHeader) + payloadSize <= sourceBytes", __FILE__, __LINE__);
        return false;
    }
    if (*destBytes < header.uncompressedSize) {
        assertFailedMsg("Inflate: Output buffer too small", "false", __FILE__, __LINE__);
        return false;
    }

    const uint8_t* payload = static_cast<const uint8_t*>(pCompressedData) + sizeof header;
    if (header.flags & DEFLATE_FLAG_STORED) {
        memcpy(pDestBuffer, payload, header.uncompressedSize);
        *destBytes = header.uncompressedSize;
        return true;
    }
    uLongf produced = *destBytes;
    if (uncompress(static_cast<Bytef*>(pDestBuffer), &produced, payload, header.payloadSize) != Z_OK) return false;
    *destBytes = static_cast<uint32_t>(produced);
    return true;
}

bool inflateFile(const char* sourceName, const char* destName)
{
    if (!VERIFY(sourceName)) return false;
    if (!destName) destName = sourceName;

    uint32_t sourceBytes = 0;
    std::unique_ptr<char[]> source;
    {
        CFile file;
        if (!file.Open(sourceName, FILE_MODE_READ)) return false;
        source = readWholeFile(file, &sourceBytes);
        if (!source) return false;
    }

    uint32_t inflatedBytes = 0;
    if (!getInflatedSize(reinterpret_cast<const uint8_t*>(source.get()), sourceBytes, &inflatedBytes)) {
        report(std::string("Failed to inflate ") + sourceName + ". Bad header.");
        return false;
    }
    std::unique_ptr<uint8_t[]> pDstBuffer(new (std::nothrow) uint8_t[inflatedBytes ? inflatedBytes : 1]);
    if (!VERIFY(pDstBuffer)) return false;
    if (!inflateBuffer(reinterpret_cast<const uint8_t*>(source.get()), pDstBuffer.get(), sourceBytes, &inflatedBytes)) {
        report(std::string("Inflate failed on ") + sourceName);
        return false;
    }
    return writeWholeFile(destName, pDstBuffer.get(), inflatedBytes);
}

bool deflateFile(const char* sourceName, const char* destName)
{
    if (!VERIFY(sourceName)) return false;
    if (!destName) destName = sourceName;

    uint32_t sourceBytes = 0;
    std::unique_ptr<char[]> source;
    {
        CFile file;
        if (!file.Open(sourceName, FILE_MODE_READ | FILE_MODE_NOT_IN_PACK)) {
            report(std::string("Deflate file: Cannot open ") + sourceName);
            return false;
        }
        source = readWholeFile(file, &sourceBytes);
        if (!source) return false;
    }

    if (!VERIFY(sourceBytes <= UINT32_MAX - 13)) return false;
    uint32_t deflatedBytes = sourceBytes + 13;
    std::unique_ptr<uint8_t[]> deflated(new (std::nothrow) uint8_t[deflatedBytes]);
    if (!VERIFY(deflated)) return false;
    if (!deflateBuffer(reinterpret_cast<const uint8_t*>(source.get()), deflated.get(), sourceBytes, &deflatedBytes)) return false;
    return writeWholeFile(destName, deflated.get(), deflatedBytes);
}
