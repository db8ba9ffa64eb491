#include "wincore/KeyStack.h"

#include <new>

CKeyStack::CKeyStack(uint32_t capacity_) : pBuffer(new (std::nothrow) uint8_t[capacity_]), count(0), capacity(capacity_)
{
    if (!pBuffer) capacity = 0;
}

CKeyStack::~CKeyStack()
{
    count = 0;
    delete[] pBuffer;
    pBuffer = nullptr;
}

void CKeyStack::Push(uint8_t value)
{
    if (count < capacity) pBuffer[count++] = value;
}

bool CKeyStack::Pop(uint8_t& value)
{
    if (count == 0) return false;
    value = pBuffer[--count];
    return true;
}
