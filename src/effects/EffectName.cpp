#include "effects/EffectName.h"

#include "utility/Assert.h"

#include <cstring>
#include <strings.h>

CEffectName::CEffectName(const char* text) : m_pText(nullptr), m_size(0)
{
    if (!text) text = "";
    assign(text, std::strlen(text) + 1);
}

CEffectName::CEffectName(const char* text, size_t size) : m_pText(nullptr), m_size(0)
{
    if (!text) text = "";
    const size_t needed = std::strlen(text) + 1;
    if (!VERIFY(size >= needed)) size = needed;
    assign(text, size);
}

CEffectName::CEffectName(const CEffectName& other) : m_pText(nullptr), m_size(0)
{
    assign(other.m_pText, other.m_size);
}

CEffectName::~CEffectName() { delete[] m_pText; }

void CEffectName::assign(const char* text, size_t size)
{
    m_pText = new char[size];
    m_size = size;
    std::memset(m_pText, 0, size);
    std::memcpy(m_pText, text, std::strlen(text) + 1);
}

CEffectName& CEffectName::operator=(const CEffectName& other)
{
    if (this == &other) return *this;
    const size_t needed = std::strlen(other.m_pText) + 1;
    if (needed > m_size) {
        delete[] m_pText;
        assign(other.m_pText, needed);
    } else {
        std::memcpy(m_pText, other.m_pText, needed);
    }
    return *this;
}

bool CEffectName::operator==(const char* text) const { return text && strcasecmp(m_pText, text) == 0; }
