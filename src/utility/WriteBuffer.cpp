#include "utility/WriteBuffer.h"

#include "utility/Assert.h"
#include "winfile/File.h"

#include <cstring>

bool CWriteBuffer::append(const void* data, uint32_t numBytes)
{
    if (!VERIFY(numBytes <= FILE_BUFFER_SIZE)) return false;
    if (d_numBytes + numBytes > FILE_BUFFER_SIZE && !flush()) return false;
    memcpy(d_buffer + d_numBytes, data, numBytes);
    d_numBytes += numBytes;
    return true;
}

bool CWriteBuffer::appendText(const char* text)
{
    return append(text, static_cast<uint32_t>(strlen(text)));
}

bool CWriteBuffer::appendIndent(int level, bool indent)
{
    static const char tabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    if (!indent) return true;
    while (level > 0) {
        const int n = level < 32 ? level : 32;
        if (!append(tabs, static_cast<uint32_t>(n))) return false;
        level -= n;
    }
    return true;
}

bool CWriteBuffer::flush()
{
    if (d_numBytes == 0) return true;
    const bool ok = d_pFile && d_pFile->Write(d_buffer, d_numBytes);
    d_numBytes = 0;
    return ok;
}
