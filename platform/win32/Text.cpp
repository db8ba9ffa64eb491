#include "platform/win32/text.h"

#include <cstring>

int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int bytes, WCHAR* wide, int wideCount)
{
    if (!text || bytes == 0 || bytes < -1 || wideCount < 0) return 0;
    const size_t count = bytes == -1 ? strlen(text) + 1 : static_cast<size_t>(bytes);
    if (wideCount == 0) return static_cast<int>(count);
    if (!wide || count > static_cast<size_t>(wideCount)) return 0;
    for (size_t i = 0; i < count; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    return static_cast<int>(count);
}
