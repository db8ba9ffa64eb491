#include "utility/ActualParameter.h"

#include "platform/win32.h"
#include "utility/WriteBuffer.h"

#include <cstdio>
#include <cstring>
#include <new>

void CParameter::setName(const char* name, size_t length)
{
    if (length > MAX_NAME) length = MAX_NAME;
    memcpy(d_name, name, length);
    d_name[length] = 0;
}

void CParameter::setName(const char* name) { setName(name, strnlen(name, MAX_NAME)); }

bool CParameter::namesMatch(const char* a, const char* b) { return strnicmp(a, b, MAX_NAME) == 0; }

CActualParameter::CActualParameter(const char* name, const char* value)
{
    setName(name);
    setValue(value);
}

void CActualParameter::setValue(const char* value, size_t length)
{
    if (length > MAX_VALUE) length = MAX_VALUE;
    memmove(d_value, value, length);
    d_value[length] = 0;
}

void CActualParameter::setValue(const char* value) { setValue(value, strnlen(value, MAX_VALUE)); }

CParameter* CActualParameter::clone() const
{
    return new (std::nothrow) CActualParameter(d_name, d_value);
}

bool CActualParameter::write(CWriteBuffer& buffer, int level, bool indent) const
{
    return buffer.appendIndent(level, indent) && buffer.appendText(d_name) && buffer.append("\t", 1) &&
           buffer.appendText(d_value) && buffer.append("\r\n", 2);
}

bool CActualParameter::readInt(int* pOut) const
{
    int value;
    if (sscanf(d_value, "%i", &value) != 1) return false;
    *pOut = value;
    return true;
}

bool CActualParameter::readFloat(float* pOut) const
{
    float value;
    if (sscanf(d_value, "%f", &value) != 1) return false;
    *pOut = value;
    return true;
}

bool CActualParameter::readFloats(float* pOut, int count) const
{
    float values[16];
    if (count > 16) return false;
    const char* p = d_value;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            p = strchr(p, ',');
            if (!p) return false;
            ++p;
        }
        if (sscanf(p, "%f", &values[i]) != 1) return false;
    }
    memcpy(pOut, values, sizeof(float) * count);
    return true;
}

size_t CActualParameter::strippedLength() const
{
    const char* comment = strstr(d_value, "//");
    size_t length = comment ? static_cast<size_t>(comment - d_value) : strlen(d_value);
    while (length > 0 && (d_value[length - 1] == ' ' || d_value[length - 1] == '\t')) --length;
    return length;
}
