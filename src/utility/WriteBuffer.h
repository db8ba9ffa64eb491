// CWriteBuffer: collects the text of a block file being saved and hands it to the file in
// FILE_BUFFER_SIZE pieces.
#pragma once

#include <cstdint>

class CFile;

const uint32_t FILE_BUFFER_SIZE = 4096;

class CWriteBuffer {
public:
    explicit CWriteBuffer(CFile* pFile) : d_pFile(pFile), d_numBytes(0) {}
    CWriteBuffer(const CWriteBuffer&) = delete;
    CWriteBuffer& operator=(const CWriteBuffer&) = delete;

    // Flushes first when the bytes do not fit. A single append larger than the buffer is refused.
    // False when a flush failed.
    bool append(const void* data, uint32_t numBytes);
    bool appendText(const char* text);
    // level tab characters (none when indent is clear).
    bool appendIndent(int level, bool indent);
    // Writes what is buffered; the buffer is empty afterwards even when the write failed.
    bool flush();

    uint32_t getNumBytes() const { return d_numBytes; }

private:
    CFile* d_pFile;
    uint32_t d_numBytes;
    uint8_t d_buffer[FILE_BUFFER_SIZE];
};
