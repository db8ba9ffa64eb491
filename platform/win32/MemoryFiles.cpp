#include "MemoryFiles.h"

#include "platform/testing.h"
#include "platform/win32/files.h"

#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>

namespace platform::memoryfiles {

std::atomic<bool> inUse{false};

namespace {

// Looked up by a view as well, so that asking after a name's folder makes no string.
struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
};

struct Table {
    std::mutex lock;
    std::unordered_map<std::string, std::shared_ptr<Contents>, KeyHash, std::equal_to<>> files;
    // Every folder on the way to a held name, with the number of names (and made folders) under it.
    std::unordered_map<std::string, uint32_t, KeyHash, std::equal_to<>> folders;
    bool memoryOnly = false;

    void update() { inUse.store(memoryOnly || !files.empty() || !folders.empty(), std::memory_order_relaxed); }
    // Counts the folders above the key (and the key itself when it is a folder made).
    void addFolders(const std::string& key, bool withKey, int step)
    {
        for (size_t slash = withKey ? key.size() : key.rfind('/'); slash != std::string::npos && slash > 0;
             slash = key.rfind('/', slash - 1)) {
            auto folder = folders.try_emplace(key.substr(0, slash), 0).first;
            folder->second += step;
            if (folder->second == 0) folders.erase(folder);
        }
    }
    void hold(const std::string& key, std::shared_ptr<Contents> contents)
    {
        auto [at, added] = files.try_emplace(key, std::move(contents));
        if (!added) at->second = std::move(contents);
        if (added) addFolders(key, false, 1);
        update();
    }
    bool drop(const std::string& key)
    {
        if (!files.erase(key)) return false;
        addFolders(key, false, -1);
        update();
        return true;
    }
    bool isFolder(std::string_view key) const { return folders.find(key) != folders.end(); }
    // Where a name that is not held would be: a missing folder on the way, or a missing file.
    DWORD missing(const std::string& key) const
    {
        const size_t slash = key.rfind('/');
        return slash == std::string::npos || slash == 0 || isFolder(std::string_view(key).substr(0, slash))
                   ? ERROR_FILE_NOT_FOUND
                                                                                          : ERROR_PATH_NOT_FOUND;
    }
};

Table& table()
{
    static Table t;
    return t;
}

uint64_t now()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ticksFromTimespec(ts);
}

// Names match as mapped names do on a case-blind disk: either slash, any case, "./", doubled and
// trailing slashes ignored. Written into the caller's string, whose room is kept from call to call
// by the opens and look-ups: every open of every file comes here, several a name.
void keyOf(const char* name, std::string& key)
{
    if (!name) {
        key.clear();
        return;
    }
    // Written through a plain pointer.
    key.resize(std::strlen(name));
    char* const out = key.data();
    size_t n = 0;
    for (const char* p = name; *p;) {
        const bool componentStart = n == 0 || out[n - 1] == '/';
        if (componentStart && p[0] == '.' && (p[1] == '/' || p[1] == '\\')) {
            p += 2;
            continue;
        }
        char c = *p++;
        if (c == '\\') c = '/';
        if (c == '/' && n > 0 && out[n - 1] == '/') continue;
        if (c >= 'A' && c <= 'Z') c += 32;
        out[n++] = c;
    }
    if (n > 1 && out[n - 1] == '/') --n;
    key.resize(n);
}

std::string keyOf(const char* name)
{
    std::string key;
    keyOf(name, key);
    return key;
}

bool onDisk(const char* name)
{
    struct stat st;
    return ::stat(platform::mapPath(name).c_str(), &st) == 0;
}

}  // namespace

bool create(const char* name, DWORD access, DWORD creation, HANDLE& handle, DWORD& error)
{
    Table& t = table();
    thread_local std::string key;
    keyOf(name, key);
    std::lock_guard<std::mutex> guard(t.lock);
    auto found = t.files.find(key);
    std::shared_ptr<Contents> contents;
    if (found == t.files.end()) {
        if (t.isFolder(key)) {
            error = ERROR_ACCESS_DENIED;
            return true;
        }
        if (!t.memoryOnly) return false;
        if (!(access & GENERIC_WRITE) || creation == OPEN_EXISTING || creation == TRUNCATE_EXISTING) {
            error = t.missing(key);
            return true;
        }
        if (creation != CREATE_NEW && creation != CREATE_ALWAYS && creation != OPEN_ALWAYS) {
            error = ERROR_INVALID_PARAMETER;
            return true;
        }
        contents = std::make_shared<Contents>();
        contents->writeTime = now();
        t.hold(key, contents);
    } else {
        contents = found->second;
        if (creation == CREATE_NEW) {
            error = ERROR_ALREADY_EXISTS;
            return true;
        }
        if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING) {
            error = ERROR_INVALID_PARAMETER;
            return true;
        }
        if (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING) {
            std::lock_guard<std::mutex> bytes(contents->lock);
            contents->bytes.clear();
            contents->writeTime = now();
        }
    }
    auto* file = new FileObject;
    file->memory = std::move(contents);
    file->canRead = (access & GENERIC_READ) != 0 || !(access & GENERIC_WRITE);
    file->canWrite = (access & GENERIC_WRITE) != 0;
    handle = file;
    error = ERROR_SUCCESS;
    return true;
}

bool attributes(const char* name, DWORD& result, DWORD& error)
{
    Table& t = table();
    thread_local std::string key;
    keyOf(name, key);
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.files.count(key)) {
        result = FILE_ATTRIBUTE_NORMAL;
    } else if (t.isFolder(key)) {
        result = FILE_ATTRIBUTE_DIRECTORY;
    } else if (t.memoryOnly) {
        result = INVALID_FILE_ATTRIBUTES;
        error = t.missing(key);
    } else {
        return false;
    }
    return true;
}

bool makeFolder(const char* name, DWORD& error)
{
    Table& t = table();
    const std::string key = keyOf(name);
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.memoryOnly) return false;
    if (t.files.count(key) || t.isFolder(key)) {
        error = ERROR_ALREADY_EXISTS;
    } else if (t.missing(key) == ERROR_PATH_NOT_FOUND) {
        error = ERROR_PATH_NOT_FOUND;
    } else {
        t.addFolders(key, true, 1);
        t.update();
        error = ERROR_SUCCESS;
    }
    return true;
}

bool remove(const char* name, DWORD& error)
{
    Table& t = table();
    const std::string key = keyOf(name);
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.drop(key)) return true;
    if (t.isFolder(key)) {
        error = ERROR_ACCESS_DENIED;
        return true;
    }
    if (!t.memoryOnly) return false;
    error = t.missing(key);
    return true;
}

bool move(const char* from, const char* to, bool replace, DWORD& error)
{
    Table& t = table();
    const std::string source = keyOf(from), target = keyOf(to);
    std::lock_guard<std::mutex> guard(t.lock);
    auto held = t.files.find(source);
    const bool targetFile = t.files.count(target) != 0, targetFolder = t.isFolder(target);
    if (held == t.files.end() && !targetFile && !targetFolder && !t.memoryOnly) return false;
    if (held == t.files.end() && (t.memoryOnly || !onDisk(from))) {
        error = t.missing(source);
        return true;
    }
    // A held name hides the disk's file of that name, which a replacing move leaves alone.
    if (targetFolder || (!replace && (targetFile || (!t.memoryOnly && onDisk(to)))) || held == t.files.end()) {
        error = replace ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS;
        return true;
    }
    if (t.memoryOnly && t.missing(target) == ERROR_PATH_NOT_FOUND) {
        error = ERROR_PATH_NOT_FOUND;
        return true;
    }
    std::shared_ptr<Contents> contents = held->second;
    t.drop(source);
    t.hold(target, std::move(contents));
    return true;
}

bool list(const char* folder, std::vector<std::pair<std::string, bool>>& names)
{
    Table& t = table();
    std::string key = keyOf(folder);
    if (key == ".") key.clear();
    const std::string prefix = key.empty() ? "" : key + "/";
    auto direct = [&prefix](const std::string& held) {
        return held.size() > prefix.size() && held.compare(0, prefix.size(), prefix) == 0 &&
               held.find('/', prefix.size()) == std::string::npos;
    };
    std::lock_guard<std::mutex> guard(t.lock);
    for (const auto& held : t.files)
        if (direct(held.first)) names.emplace_back(held.first.substr(prefix.size()), false);
    for (const auto& held : t.folders)
        if (direct(held.first)) names.emplace_back(held.first.substr(prefix.size()), true);
    return t.memoryOnly;
}

BOOL read(FileObject& file, void* buffer, DWORD count, DWORD& done, DWORD& error)
{
    done = 0;
    if (!file.canRead) {
        error = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(file.memory->lock);
    const std::vector<uint8_t>& bytes = file.memory->bytes;
    if (file.position < bytes.size()) {
        done = static_cast<DWORD>(std::min<uint64_t>(count, bytes.size() - file.position));
        std::memcpy(buffer, bytes.data() + file.position, done);
        file.position += done;
    }
    return TRUE;
}

BOOL write(FileObject& file, const void* buffer, DWORD count, DWORD& done, DWORD& error)
{
    done = 0;
    if (!file.canWrite) {
        error = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    // As large as a file the engine can address, no larger.
    if (file.position + count > 0xFFFFFFFFull) {
        error = ERROR_DISK_FULL;
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(file.memory->lock);
    std::vector<uint8_t>& bytes = file.memory->bytes;
    if (file.position + count > bytes.size()) bytes.resize(file.position + count);
    if (count) std::memcpy(bytes.data() + file.position, buffer, count);
    file.position += count;
    file.memory->writeTime = now();
    done = count;
    return TRUE;
}

bool seek(FileObject& file, int64_t distance, DWORD method, uint64_t& result)
{
    const int64_t base = method == FILE_BEGIN ? 0 : method == FILE_CURRENT ? static_cast<int64_t>(file.position)
                                                                           : static_cast<int64_t>(size(file));
    if (distance < 0 && base + distance < 0) return false;
    result = file.position = static_cast<uint64_t>(base + distance);
    return true;
}

uint64_t size(FileObject& file)
{
    std::lock_guard<std::mutex> guard(file.memory->lock);
    return file.memory->bytes.size();
}

uint64_t writeTime(FileObject& file)
{
    std::lock_guard<std::mutex> guard(file.memory->lock);
    return file.memory->writeTime;
}

void setWriteTime(FileObject& file, uint64_t ticks)
{
    std::lock_guard<std::mutex> guard(file.memory->lock);
    file.memory->writeTime = ticks;
}

}  // namespace platform::memoryfiles

namespace platform::testing {

using namespace platform::memoryfiles;

void setMemoryFile(const std::string& name, const void* data, size_t size)
{
    auto contents = std::make_shared<Contents>();
    if (size) contents->bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    contents->writeTime = now();
    Table& t = table();
    const std::string key = keyOf(name.c_str());
    std::lock_guard<std::mutex> guard(t.lock);
    t.hold(key, std::move(contents));
}

void removeMemoryFile(const std::string& name)
{
    Table& t = table();
    const std::string key = keyOf(name.c_str());
    std::lock_guard<std::mutex> guard(t.lock);
    t.drop(key);
}

void clearMemoryFiles()
{
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.files.clear();
    t.folders.clear();
    t.update();
}

void setMemoryFilesOnly(bool on)
{
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.memoryOnly = on;
    t.update();
}

bool memoryFile(const std::string& name, std::string* bytes)
{
    Table& t = table();
    const std::string key = keyOf(name.c_str());
    std::shared_ptr<Contents> contents;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        auto found = t.files.find(key);
        if (found == t.files.end()) return false;
        contents = found->second;
    }
    std::lock_guard<std::mutex> guard(contents->lock);
    if (bytes) bytes->assign(contents->bytes.begin(), contents->bytes.end());
    return true;
}

}  // namespace platform::testing
