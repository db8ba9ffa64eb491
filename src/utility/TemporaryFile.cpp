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

const char* writeFailureCause(DWORD error, const char* temporary)
{
    thread_local char text[MAX_PATH + 64];
    const DWORD attributes = temporary ? GetFileAttributesA(temporary) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        std::snprintf(text, sizeof text, "A folder stands at the temporary name <%s>", temporary);
        return text;
    }
    switch (error) {
    case ERROR_ACCESS_DENIED: return "File Read Only?";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified";
    case ERROR_DISK_FULL: return "There is not enough space on the disk";
    case ERROR_FILE_TOO_LARGE: return "The file is larger than the file-size limit allows";
    default:
        std::snprintf(text, sizeof text, "System error %u", static_cast<unsigned>(error));
        return text;
    }
}
