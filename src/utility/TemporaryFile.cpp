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

namespace {

bool isFolder(const char* name)
{
    const DWORD attributes = name ? GetFileAttributesA(name) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

const char* writeFailureCause(DWORD error, const char* temporary, const char* name)
{
    thread_local char text[MAX_PATH + 64];
    if (isFolder(temporary)) {
        std::snprintf(text, sizeof text, "A folder stands at the temporary name <%s>", temporary);
        return text;
    }
    // A folder cannot be replaced, as a read-only file cannot: the move says only that access was denied.
    if (error == ERROR_ACCESS_DENIED && isFolder(name)) {
        std::snprintf(text, sizeof text, "A folder stands at the name <%s>", name);
        return text;
    }
    switch (error) {
    case ERROR_ACCESS_DENIED: return "File Read Only?";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified";
    case ERROR_DISK_FULL: return "There is not enough space on the disk";
    case ERROR_DISK_QUOTA_EXCEEDED: return "The requested file operation failed because the storage quota was exceeded";
    case ERROR_FILE_TOO_LARGE: return "The file is larger than the file-size limit allows";
    case ERROR_TOO_MANY_OPEN_FILES: return "Too many files are open";
    case ERROR_FILENAME_EXCED_RANGE: return "The filename or extension is too long";
    case ERROR_IO_DEVICE: return "The request could not be performed because of an I/O device error";
    default:
        std::snprintf(text, sizeof text, "System error %u", static_cast<unsigned>(error));
        return text;
    }
}
