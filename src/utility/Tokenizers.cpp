#include "utility/Tokenizers.h"

#include "utility/Assert.h"

#include <cstdlib>
#include <cstring>

namespace {

const char* const SEPARATORS = " \t\n\r,";

}  // namespace

bool tokenGetInt(int* pValue, char* text)
{
    const char* token = strtok(text, SEPARATORS);
    if (!token) return false;
    for (const char* p = token; *p; ++p)
        if (*p < '0' || *p > '9') return false;
    *pValue = static_cast<int>(strtol(token, nullptr, 10));
    return true;
}

bool tokenGetFloat(float* pValue, char* text)
{
    const char* token = strtok(text, SEPARATORS);
    if (!token) return false;
    for (const char* p = token; *p; ++p)
        if ((*p < '0' || *p > '9') && *p != '-' && *p != '.') return false;
    *pValue = static_cast<float>(atof(token));
    return true;
}

bool tokenGetString(char* buffer, size_t capacity, char* text)
{
    const char* token = strtok(text, SEPARATORS);
    if (!token || strncmp(token, "//", 2) == 0) return false;
    if (!VERIFY(capacity > 0)) return false;
    size_t length = strlen(token);
    if (length > capacity - 1) length = capacity - 1;
    memcpy(buffer, token, length);
    buffer[length] = 0;
    return true;
}
