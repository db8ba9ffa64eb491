#include "utility/SimpleFifo.h"

#include "utility/Assert.h"

#include <cstring>
#include <new>

bool CSimpleFifo::init(uint32_t bufferSize)
{
    if (!VERIFY(d_pBuffer == NULL)) return false;
    if (!VERIFY(bufferSize > 0)) return false;
    d_pBuffer = new (std::nothrow) uint8_t[bufferSize];
    if (!VERIFY(d_pBuffer)) return false;
    this->bufferSize = bufferSize;
    return reset();
}

bool CSimpleFifo::reset()
{
    if (!VERIFY(d_pBuffer)) return false;
    d_numItems = 0;
    d_writePos = 0;
    d_readPos = 0;
    return true;
}

void CSimpleFifo::destroy()
{
    delete[] d_pBuffer;
    d_pBuffer = nullptr;
    bufferSize = d_numItems = d_writePos = d_readPos = 0;
}

uint32_t CSimpleFifo::getFreeSpace() const
{
    if (!d_pBuffer) return 0;
    return d_readPos <= d_writePos ? bufferSize - d_writePos + d_readPos - 1 : d_readPos - d_writePos - 1;
}

void CSimpleFifo::copyIn(const uint8_t* data, uint32_t size)
{
    const uint32_t first = size < bufferSize - d_writePos ? size : bufferSize - d_writePos;
    memcpy(d_pBuffer + d_writePos, data, first);
    memcpy(d_pBuffer, data + first, size - first);
    d_writePos = (d_writePos + size) % bufferSize;
}

bool CSimpleFifo::push(const void* pData, uint32_t size)
{
    // A length that does not fit the length byte would corrupt the ring, so it is refused.
    if (!VERIFY(pData) || !VERIFY(size > 0) || !VERIFY(size < 256) || !VERIFY(d_pBuffer)) return false;
    if (size + 1 > getFreeSpace()) return false;
    const uint8_t length = static_cast<uint8_t>(size);
    copyIn(&length, 1);
    copyIn(static_cast<const uint8_t*>(pData), size);
    ++d_numItems;
    return true;
}

bool CSimpleFifo::pop(void* pData, uint32_t& size)
{
    if (!VERIFY(pData) || !VERIFY(size > 0) || !VERIFY(d_numItems > 0)) return false;
    const uint32_t capacity = size;
    const uint32_t length = d_pBuffer[d_readPos];
    size = length;
    if (capacity < length) return false;
    uint32_t from = (d_readPos + 1) % bufferSize;
    const uint32_t first = length < bufferSize - from ? length : bufferSize - from;
    memcpy(pData, d_pBuffer + from, first);
    memcpy(static_cast<uint8_t*>(pData) + first, d_pBuffer, length - first);
    d_readPos = (from + length) % bufferSize;
    --d_numItems;
    return true;
}
