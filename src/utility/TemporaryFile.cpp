#include "utility/TemporaryFile.h"

#include "platform/win32.h"

#include <cstdio>
#include <cstring>

size_t folderLength(const char* name)
{
    const char* slash = std::strrchr(name, '\\');
    if (const char* other = std::strrchr(name, '/'); other > slash) slash = other;
    return slash ? static_cast<size_t>(slash - name + 1) : 0;
}

void temporaryFileName(const char* name, char* out, size_t size)
{
    std::snprintf(out, size, "%.*s~%x.tmp", static_cast<int>(folderLength(name)), name,
                  static_cast<unsigned>(GetCurrentProcessId()));
}

HANDLE createTemporaryFile(const char* temporary)
{
    DeleteFileA(temporary);
    return CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}
