#include "kestrune/ErrorStrings.h"

#include <cstring>
#include <new>

CErrorStrings::CErrorStrings() : m_pStrings{} {}

CErrorStrings::~CErrorStrings()
{
    for (char*& text : m_pStrings) {
        delete[] text;
        text = nullptr;
    }
}

bool CErrorStrings::set(int index, const char* text)
{
    if (index < 0 || index >= NUM_ERROR_STRINGS || !text) return false;
    size_t length = strlen(text);
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) return false;
    memcpy(copy, text, length + 1);
    delete[] m_pStrings[index];
    m_pStrings[index] = copy;
    return true;
}

const char* CErrorStrings::get(int index) const
{
    return index >= 0 && index < NUM_ERROR_STRINGS ? m_pStrings[index] : nullptr;
}
