#include "MemoryFiles.h"
#include "platform/win32/files.h"
#include "platform/win32/threads.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <set>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace memory = platform::memoryfiles;
using memory::FileObject;
using memory::ticksFromTimespec;

thread_local DWORD lastError = ERROR_SUCCESS;

// Linux ends a process that writes past its file size limit; here such a write fails instead, with
// the code of a file too large (EFBIG below).
[[maybe_unused]] const bool fileSizeSignalIgnored = [] {
    std::signal(SIGXFSZ, SIG_IGN);
    return true;
}();

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool equalNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z') ca += 32;
        if (cb >= 'A' && cb <= 'Z') cb += 32;
        if (ca != cb) return false;
    }
    return *a == *b;
}

// Windows keeps a read-only flag on a file for everyone (root included). Here a file is read-only
// when nobody may write it, or this user may not.
bool isReadOnly(const std::string& path, const struct stat& st)
{
    return S_ISREG(st.st_mode) &&
           ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0);
}

// Pipes, devices and sockets have no place in the file system the game was written for, and an
// open or a read of one may wait for ever: they are not listed, and cannot be opened.
bool isFileOrFolder(const struct stat& st) { return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode); }

// Windows refuses to delete or replace a folder or a read-only file. A link is judged as itself:
// removing or replacing it leaves what it points at as it was.
bool isProtected(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || isReadOnly(path, st));
}

std::string parentOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

FileObject* fileOf(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<FileObject*>(handle);
}

}  // namespace

namespace platform {

std::string mapPath(const char* windowsName)
{
    std::string name(windowsName ? windowsName : "");
    for (char& c : name)
        if (c == '\\') c = '/';
    if (name.empty()) return name;

    std::string result;
    size_t pos = 0;
    if (name[0] == '/') {
        result = "/";
        pos = 1;
    }
    while (pos <= name.size()) {
        size_t next = name.find('/', pos);
        if (next == std::string::npos) next = name.size();
        std::string component = name.substr(pos, next - pos);
        if (!component.empty()) {
            std::string dir = result.empty() ? "." : result;
            std::string candidate = result + component;
            if (component != "." && component != ".." && !exists(candidate)) {
                if (DIR* d = ::opendir(dir.c_str())) {
                    while (dirent* entry = ::readdir(d)) {
                        if (equalNoCase(entry->d_name, component.c_str())) {
                            candidate = result + entry->d_name;
                            break;
                        }
                    }
                    ::closedir(d);
                }
            }
            result = candidate;
            if (next < name.size()) result += '/';
        }
        pos = next + 1;
    }
    return result;
}

DWORD errorFromErrno(int err, const char* path)
{
    switch (err) {
    case ENOENT:
        return !path || isDirectory(parentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    // A live handle refused by the kernel was opened without that access.
    case EBADF:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case EFBIG:
        return ERROR_FILE_TOO_LARGE;
    case EDQUOT:
        return ERROR_DISK_QUOTA_EXCEEDED;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EIO:
        return ERROR_IO_DEVICE;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

}  // namespace platform

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer)
{
    char path[4096];
    if (!::getcwd(path, sizeof path)) {
        lastError = platform::errorFromErrno(errno);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(strlen(path));
    if (!buffer || size <= length) return length + 1;
    memcpy(buffer, path, length + 1);
    return length;
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, void*, DWORD creation, DWORD, HANDLE)
{
    if (name == nullptr || *name == 0) {
        lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (memory::active()) {
        HANDLE handle = INVALID_HANDLE_VALUE;
        DWORD error = ERROR_SUCCESS;
        if (memory::create(name, access, creation, handle, error)) {
            lastError = error;
            return handle;
        }
    }
    const std::string path = platform::mapPath(name);
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    case OPEN_EXISTING: break;
    default: lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    const bool there = ::stat(path.c_str(), &st) == 0;
    if (there && (!S_ISREG(st.st_mode) || ((access & GENERIC_WRITE) && isReadOnly(path, st)))) {
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    // Without waiting, should a pipe have taken the file's place meanwhile.
    int fd = ::open(path.c_str(), flags | O_NONBLOCK, 0644);
    if (fd < 0) {
        lastError = platform::errorFromErrno(errno, path.c_str());
        return INVALID_HANDLE_VALUE;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    lastError = ERROR_SUCCESS;
    auto* file = new FileObject;
    file->fd = fd;
    return file;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void*)
{
    if (read) *read = 0;
    FileObject* f = fileOf(file);
    if (!f) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (f->memory) {
        DWORD done = 0;
        const BOOL ok = memory::read(*f, buffer, toRead, done, lastError);
        if (read) *read = done;
        return ok;
    }
    DWORD total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < toRead) {
        ssize_t n = ::read(f->fd, out + total, toRead - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (read) *read = total;
            lastError = platform::errorFromErrno(errno);
            return FALSE;
        }
        if (n == 0) break;
        total += static_cast<DWORD>(n);
    }
    if (read) *read = total;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, void*)
{
    if (written) *written = 0;
    FileObject* f = fileOf(file);
    if (!f) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (f->memory) {
        DWORD done = 0;
        const BOOL ok = memory::write(*f, buffer, toWrite, done, lastError);
        if (written) *written = done;
        return ok;
    }
    DWORD total = 0;
    auto* in = static_cast<const char*>(buffer);
    while (total < toWrite) {
        ssize_t n = ::write(f->fd, in + total, toWrite - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (written) *written = total;
            lastError = platform::errorFromErrno(errno);
            return FALSE;
        }
        total += static_cast<DWORD>(n);
    }
    if (written) *written = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method)
{
    FileObject* f = fileOf(file);
    if (!f) {
        lastError = ERROR_INVALID_HANDLE;
        return INVALID_SET_FILE_POINTER;
    }
    off_t offset = distance;
    if (distanceHigh)
        offset = static_cast<off_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                    static_cast<uint32_t>(distance));
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    uint64_t moved = 0;
    off_t result = f->memory ? (memory::seek(*f, offset, method, moved) ? static_cast<off_t>(moved) : -1)
                             : ::lseek(f->fd, offset, whence);
    if (result < 0) {
        lastError = f->memory ? ERROR_INVALID_PARAMETER : platform::errorFromErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(result) >> 32);
    lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(result);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh)
{
    FileObject* f = fileOf(file);
    struct stat st;
    if (f && f->memory) {
        st.st_size = static_cast<off_t>(memory::size(*f));
    } else if (!f || ::fstat(f->fd, &st) != 0) {
        lastError = ERROR_INVALID_HANDLE;
        return INVALID_FILE_SIZE;
    }
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
    return static_cast<DWORD>(st.st_size);
}

BOOL CloseHandle(HANDLE handle)
{
    if (platform::closeSyncHandle(handle)) return TRUE;
    FileObject* f = fileOf(handle);
    if (!f) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (f->fd >= 0) ::close(f->fd);
    delete f;
    return TRUE;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* lastWrite)
{
    FileObject* f = fileOf(file);
    uint64_t written = 0, accessed = 0;
    struct stat st;
    if (f && f->memory) {
        written = accessed = memory::writeTime(*f);
    } else if (f && ::fstat(f->fd, &st) == 0) {
        written = ticksFromTimespec(st.st_mtim);
        accessed = ticksFromTimespec(st.st_atim);
    } else {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto put = [](FILETIME* out, uint64_t ticks) {
        if (!out) return;
        out->dwLowDateTime = static_cast<DWORD>(ticks);
        out->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    };
    put(creation, written);
    put(access, accessed);
    put(lastWrite, written);
    return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME*, const FILETIME* access, const FILETIME* lastWrite)
{
    FileObject* f = fileOf(file);
    if (!f) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto get = [](const FILETIME* in, timespec& ts) {
        if (!in) {
            ts.tv_sec = 0;
            ts.tv_nsec = UTIME_OMIT;
            return true;
        }
        return memory::timespecFromTicks((static_cast<uint64_t>(in->dwHighDateTime) << 32) | in->dwLowDateTime, ts);
    };
    timespec times[2];
    if (!get(access, times[0]) || !get(lastWrite, times[1])) {
        lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!f->memory && ::futimens(f->fd, times) != 0) {
        lastError = platform::errorFromErrno(errno);
        return FALSE;
    }
    if (f->memory && lastWrite) memory::setWriteTime(*f, ticksFromTimespec(times[1]));
    return TRUE;
}

BOOL DeleteFileA(LPCSTR name)
{
    DWORD error = ERROR_SUCCESS;
    if (memory::active() && memory::remove(name, error)) {
        if (error != ERROR_SUCCESS) lastError = error;
        return error == ERROR_SUCCESS;
    }
    const std::string path = platform::mapPath(name);
    const bool refused = isProtected(path);
    if (refused || ::unlink(path.c_str()) != 0) {
        lastError = refused ? ERROR_ACCESS_DENIED : platform::errorFromErrno(errno, path.c_str());
        return FALSE;
    }
    return TRUE;
}

BOOL MoveFileA(LPCSTR existing, LPCSTR target) { return MoveFileExA(existing, target, 0); }

BOOL MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags)
{
    DWORD error = ERROR_SUCCESS;
    if (memory::active() && memory::move(existing, target, (flags & MOVEFILE_REPLACE_EXISTING) != 0, error)) {
        if (error != ERROR_SUCCESS) lastError = error;
        return error == ERROR_SUCCESS;
    }
    const std::string from = platform::mapPath(existing);
    const std::string to = platform::mapPath(target);
    if (!exists(from)) {
        lastError = platform::errorFromErrno(ENOENT, from.c_str());
        return FALSE;
    }
    const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    if (replace ? isProtected(to) : exists(to)) {
        lastError = replace ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS;
        return FALSE;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        lastError = platform::errorFromErrno(errno, to.c_str());
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR name, void*)
{
    DWORD error = ERROR_SUCCESS;
    if (memory::active() && memory::makeFolder(name, error)) {
        if (error != ERROR_SUCCESS) lastError = error;
        return error == ERROR_SUCCESS;
    }
    const std::string path = platform::mapPath(name);
    if (::mkdir(path.c_str(), 0755) != 0) {
        lastError = platform::errorFromErrno(errno, path.c_str());
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name)
{
    DWORD held = 0, error = ERROR_SUCCESS;
    if (memory::active() && memory::attributes(name, held, error)) {
        if (held == INVALID_FILE_ATTRIBUTES) lastError = error;
        return held;
    }
    const std::string path = platform::mapPath(name);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        lastError = platform::errorFromErrno(errno, path.c_str());
        return INVALID_FILE_ATTRIBUTES;
    }
    if (!isFileOrFolder(st)) {
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return isReadOnly(path, st) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

namespace {

// A search is its whole listing, taken at FindFirstFileA. Live searches are known by address, so
// that a handle of another kind is refused rather than read.
struct FindSearch {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};
std::mutex searchesLock;
std::set<FindSearch*> searches;

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool wildcardMatch(const char* pattern, const char* name)
{
    for (;; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char* rest = name;; ++rest) {
                if (wildcardMatch(pattern + 1, rest)) return true;
                if (*rest == 0) return false;
            }
        }
        if (*pattern == 0 || *name == 0) return *pattern == *name;
        if (*pattern != '?' && folded(*pattern) != folded(*name)) return false;
    }
}

WIN32_FIND_DATAA findEntry(const std::string& name, DWORD attributes, uint64_t size, uint64_t written)
{
    WIN32_FIND_DATAA entry{};
    entry.dwFileAttributes = attributes;
    entry.ftCreationTime = entry.ftLastAccessTime = entry.ftLastWriteTime =
        FILETIME{static_cast<DWORD>(written), static_cast<DWORD>(written >> 32)};
    entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    entry.nFileSizeLow = static_cast<DWORD>(size);
    snprintf(entry.cFileName, sizeof entry.cFileName, "%s", name.c_str());
    return entry;
}

// With searchesLock held.
FindSearch* searchOf(HANDLE handle)
{
    auto* search = static_cast<FindSearch*>(handle);
    if (searches.count(search)) return search;
    lastError = ERROR_INVALID_HANDLE;
    return nullptr;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found)
{
    const std::string given(pattern ? pattern : "");
    const size_t slash = given.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "." : given.substr(0, slash);
    const std::string wanted = given.substr(slash == std::string::npos ? 0 : slash + 1);
    auto search = std::make_unique<FindSearch>();
    std::vector<std::pair<std::string, bool>> held;
    const bool diskHidden = memory::active() && memory::list(folder.c_str(), held);
    for (const auto& [name, isFolder] : held)
        if (wildcardMatch(wanted.c_str(), name.c_str()))
            search->entries.push_back(findEntry(name, isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, 0, 0));
    const std::string path = platform::mapPath(folder.c_str());
    DIR* dir = diskHidden ? nullptr : ::opendir(path.c_str());
    const int listError = dir || diskHidden ? 0 : errno;
    while (dirent* entry = dir ? ::readdir(dir) : nullptr) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !wildcardMatch(wanted.c_str(), name.c_str())) continue;
        // A held name hides the disk's file of that name.
        bool hidden = false;
        for (const auto& h : held) hidden = hidden || equalNoCase(h.first.c_str(), name.c_str());
        struct stat st;
        const std::string full = path + "/" + name;
        if (hidden || ::stat(full.c_str(), &st) != 0 || !isFileOrFolder(st)) continue;
        const DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY
                                 : isReadOnly(full, st) ? FILE_ATTRIBUTE_READONLY
                                                     : FILE_ATTRIBUTE_NORMAL;
        search->entries.push_back(findEntry(name, attributes, static_cast<uint64_t>(st.st_size),
                                            ticksFromTimespec(st.st_mtim)));
    }
    if (search->entries.empty()) {
        // The folder's own absence is a path not found, whatever stands above it.
        lastError = dir || !held.empty()                  ? ERROR_FILE_NOT_FOUND
                    : listError == 0 || listError == ENOENT ? ERROR_PATH_NOT_FOUND
                                                            : platform::errorFromErrno(listError);
        if (dir) ::closedir(dir);
        return INVALID_HANDLE_VALUE;
    }
    if (dir) ::closedir(dir);
    *found = search->entries[search->next++];
    std::lock_guard<std::mutex> guard(searchesLock);
    return *searches.insert(search.release()).first;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* found)
{
    std::lock_guard<std::mutex> guard(searchesLock);
    FindSearch* search = searchOf(handle);
    if (!search) return FALSE;
    if (search->next >= search->entries.size()) {
        lastError = ERROR_NO_MORE_FILES;
        return FALSE;
    }
    *found = search->entries[search->next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(searchesLock);
    FindSearch* search = searchOf(handle);
    if (!search) return FALSE;
    searches.erase(search);
    delete search;
    return TRUE;
}
