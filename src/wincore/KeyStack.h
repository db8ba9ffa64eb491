// A small stack of typed key bytes. Menus and error screens pop it last-in first-out, or set count
// to 0 to discard everything.
#pragma once

#include <cstdint>

class CKeyStack {
public:
    explicit CKeyStack(uint32_t capacity);
    ~CKeyStack();
    CKeyStack(const CKeyStack&) = delete;
    CKeyStack& operator=(const CKeyStack&) = delete;

    // A full stack drops the byte silently.
    void Push(uint8_t value);
    // False when empty.
    bool Pop(uint8_t& value);
    bool Valid() const { return pBuffer != nullptr; }

    uint8_t* pBuffer;
    uint32_t count;
    uint32_t capacity;
};
