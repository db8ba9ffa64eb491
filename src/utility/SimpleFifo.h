// CSimpleFifo: a byte ring of variable-size items (1 to 255 bytes each), oldest out first. Each
// item is stored as a length byte and its bytes; one byte of the ring always stays free.
#pragma once

#include <cstdint>

class CSimpleFifo {
public:
    CSimpleFifo() : d_pBuffer(nullptr), bufferSize(0), d_numItems(0), d_writePos(0), d_readPos(0) {}
    ~CSimpleFifo() { destroy(); }
    CSimpleFifo(const CSimpleFifo&) = delete;
    CSimpleFifo& operator=(const CSimpleFifo&) = delete;

    bool init(uint32_t bufferSize);
    // Empties the ring; false when there is none.
    bool reset();
    void destroy();

    // False when the item is empty, longer than 255 bytes, or does not fit (nothing changes).
    bool push(const void* pData, uint32_t size);
    // size is the buffer's capacity on entry and the item's length on return. When the item is
    // longer than the buffer the result is false and the item stays, so the caller can retry.
    bool pop(void* pData, uint32_t& size);

    uint32_t getNumItems() const { return d_numItems; }
    // Bytes that can be stored now (an item needs its length + 1).
    uint32_t getFreeSpace() const;

private:
    void copyIn(const uint8_t* data, uint32_t size);

    uint8_t* d_pBuffer;
    uint32_t bufferSize;
    uint32_t d_numItems;
    uint32_t d_writePos;
    uint32_t d_readPos;
};
