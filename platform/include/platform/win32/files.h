// Win32 file calls over the Linux file system. Names are Windows-style: '\' separates folders and
// each component is matched without regard to case when the exact name is absent. A file without
// write permission is read-only (FILE_ATTRIBUTE_READONLY): it cannot be opened for writing, deleted
// or replaced by a move (ERROR_ACCESS_DENIED), though it may be moved to another name.
#pragma once

#include "platform/win32/types.h"

#include <string>

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFFu)
#define INVALID_SET_FILE_POINTER ((DWORD)0xFFFFFFFFu)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFFu)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_ALREADY_EXISTS 183
#define ERROR_HANDLE_EOF 38
#define ERROR_DISK_FULL 112
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_INVALID_PARAMETER 87
#define ERROR_NO_MORE_FILES 18
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_IO_DEVICE 1117
#define ERROR_DISK_QUOTA_EXCEEDED 1295

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void* security, DWORD creation,
                   DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL CloseHandle(HANDLE handle);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* lastWrite);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* lastWrite);
BOOL DeleteFileA(LPCSTR name);
BOOL MoveFileA(LPCSTR existing, LPCSTR target);
#define MOVEFILE_REPLACE_EXISTING 0x00000001u
// With MOVEFILE_REPLACE_EXISTING an existing target file is replaced in one step (never a folder).
BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags);
BOOL CreateDirectoryA(LPCSTR name, void* security);
DWORD GetFileAttributesA(LPCSTR name);

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA;
// The entries of one folder whose names match the last component of the pattern ('*' any run of
// characters, '?' one; any case), in no particular order; "." and ".." are not listed. Files held
// in memory (platform/testing.h) are listed with the disk's. INVALID_HANDLE_VALUE with
// ERROR_FILE_NOT_FOUND when nothing matches (ERROR_PATH_NOT_FOUND without the folder);
// FindNextFileA ends with ERROR_NO_MORE_FILES. The search is closed by FindClose.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found);
BOOL FindClose(HANDLE search);
// The working folder as the host names it; the length written, or the size needed (with the
// terminator) when the buffer is too small.
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
DWORD GetLastError();
void SetLastError(DWORD code);

namespace platform {
// The Linux path for a Windows-style name: '\' becomes '/', and each component that does not exist
// as written is looked up without regard to case. Components that exist in neither form are kept.
std::string mapPath(const char* windowsName);
// The code a Windows program would get where a file call here failed with the errno. With the
// path of a name that was not found, a missing folder on the way is told from a missing file.
DWORD errorFromErrno(int err, const char* path = nullptr);
}
