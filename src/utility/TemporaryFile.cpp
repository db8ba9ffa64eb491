#include "utility/TemporaryFile.h"

#include "platform/win32.h"

#include <cstdio>
#include <cstring>

void temporaryFileName(const char* name, char* out, size_t size)
{
    const char* slash = std::strrchr(name, '\\');
    if (const char* other = std::strrchr(name, '/'); other > slash) slash = other;
    const int folder = slash ? static_cast<int>(slash - name + 1) : 0;
    std::snprintf(out, size, "%.*s~%x.tmp", folder, name, static_cast<unsigned>(GetCurrentProcessId()));
}
