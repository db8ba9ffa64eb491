#include "winfile/File.h"

#include "utility/Assert.h"
#include "utility/LogFile.h"
#include "utility/RunLog.h"
#include "utility/TemporaryFile.h"
#include "utility/TextChars.h"
#include "winfile/PackFile.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

bool excludeFromPack = false;
bool scrambling = false;

const uint8_t SCRAMBLE_KEY_37[37] = {
    0x67, 0x90, 0x68, 0xBA, 0x01, 0x69, 0x16, 0xAD, 0x58, 0x70, 0x06, 0xBC, 0x56, 0xB8, 0x7F, 0x0C, 0x50, 0x26, 0x23,
    0xB7, 0x4A, 0x5C, 0xCD, 0xD7, 0x93, 0xEF, 0xF3, 0xE9, 0xC4, 0x3D, 0x90, 0x2D, 0x63, 0xED, 0x65, 0x48, 0x5F};
const uint8_t SCRAMBLE_KEY_43[43] = {
    0xC4, 0x94, 0x27, 0x3D, 0x09, 0x14, 0x82, 0xAB, 0x45, 0xCF, 0x63, 0x97, 0x39, 0x3B, 0xC4, 0x08, 0x82, 0x42, 0xD0,
    0xC9, 0xF8, 0x66, 0x8C, 0xAF, 0x10, 0xB5, 0x75, 0xB2, 0x0A, 0x60, 0x7E, 0x76, 0x83, 0xB5, 0xA0, 0xEB, 0xCB, 0x2B,
    0x12, 0xEB, 0xF7, 0x9E, 0x4F};

const size_t MAX_FILE_PART = 42;
const int MAX_DIRECTORY_CUTS = 15;

bool isSlash(char c) { return c == '\\' || c == '/'; }

// Reports a name that breaks the disc file system's rules. Opening goes on regardless.
void reportName(const char* format, const char* name)
{
    char message[MAX_PATH + 96];
    snprintf(message, sizeof message, format, name);
    assertFailedMsg(message, "false", __FILE__, __LINE__);
}

void checkName(const char* name)
{
    if (strstr(name, "\\\\")) reportName("Can't open <%s> - Double backslashes found in path", name);

    const char* part = strrchr(name, '\\');
    if (!part) part = strrchr(name, '/');
    part = part ? part + 1 : name;
    if (strlen(part) > MAX_FILE_PART) reportName("Can't open <%s> - Filename exceeds 42 characters", name);

    const bool badCharacters = strpbrk(name, "=;+,") != nullptr;
    if (badCharacters) reportName("Can't open <%s> -  Characters =;+, not allowed", name);
    const size_t length = strlen(name);
    const char last = length ? name[length - 1] : 0;
    if (badCharacters || last == '.' || last == ' ') reportName("Can't open file <%s>\nInvalid extension", name);
}

bool directoryExists(const std::string& path)
{
    if (path.empty()) return true;  // the current folder
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void SetFileExcludeFromPack(bool exclude) { excludeFromPack = exclude; }
void SetFileScrambling(bool scramble) { scrambling = scramble; }
bool GetFileScrambling() { return scrambling; }

void scrambleFileData(uint8_t* data, uint32_t count, uint32_t filePosition)
{
    uint32_t i37 = filePosition % 37, i43 = filePosition % 43;
    for (uint32_t i = 0; i < count; ++i) {
        data[i] ^= SCRAMBLE_KEY_37[i37] ^ SCRAMBLE_KEY_43[i43];
        if (++i37 == 37) i37 = 0;
        if (++i43 == 43) i43 = 0;
    }
}

bool createDirectoriesFor(const char* fileName)
{
    std::string path(fileName);
    if (path.empty() || isSlash(path.back())) return false;
    size_t lastSlash = path.find_last_of("\\/");
    if (lastSlash == std::string::npos) return true;
    path.resize(lastSlash);
    while (!path.empty() && isSlash(path.back())) path.pop_back();
    if (path.empty() || directoryExists(path)) return false;

    // Walk back to the longest prefix that exists.
    size_t prefixEnd = path.size();
    int cuts = 0;
    while (prefixEnd > 0 && !directoryExists(path.substr(0, prefixEnd))) {
        if (++cuts > MAX_DIRECTORY_CUTS) return false;
        size_t slash = path.find_last_of("\\/", prefixEnd - 1);
        prefixEnd = slash == std::string::npos ? 0 : slash;
    }

    // Then create the rest, outermost first.
    for (size_t pos = prefixEnd; pos <= path.size(); ++pos) {
        if (pos != path.size() && !isSlash(path[pos])) continue;
        if (pos == 0 || pos == prefixEnd || isSlash(path[pos - 1])) continue;
        std::string folder = path.substr(0, pos);
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return true;
}

namespace {

// A few spare read buffers per thread: files opened one after another, or one while another is
// open (a model file inside its clump file), reuse them instead of mapping and faulting in 128 KB
// afresh each time.
struct SpareReadBuffers {
    static const int MAX_SPARE = 4;
    uint8_t* buffer[MAX_SPARE] = {};
    uint32_t size[MAX_SPARE] = {};
    int count = 0;
    ~SpareReadBuffers()
    {
        while (count) delete[] buffer[--count];
    }
};
thread_local SpareReadBuffers spareReadBuffers;

uint8_t* takeReadBuffer(uint32_t size)
{
    SpareReadBuffers& spare = spareReadBuffers;
    for (int i = spare.count - 1; i >= 0; --i) {
        if (spare.size[i] != size) continue;
        uint8_t* buffer = spare.buffer[i];
        --spare.count;
        spare.buffer[i] = spare.buffer[spare.count];
        spare.size[i] = spare.size[spare.count];
        return buffer;
    }
    return new (std::nothrow) uint8_t[size];
}

void releaseReadBuffer(uint8_t*& buffer, uint32_t size)
{
    if (!buffer) return;
    SpareReadBuffers& spare = spareReadBuffers;
    if (spare.count < SpareReadBuffers::MAX_SPARE) {
        spare.buffer[spare.count] = buffer;
        spare.size[spare.count++] = size;
    } else {
        delete[] buffer;
    }
    buffer = nullptr;
}

}  // namespace

CFile::CFile()
    : m_name{},
      m_handle(INVALID_HANDLE_VALUE),
      m_isOpen(false),
      m_hasReadBuffer(false),
      m_canRead(false),
      m_canWrite(false),
      m_firstReadPending(false),
      m_notInPack(false),
      m_packBacked(false),
      m_pReadBuffer(nullptr),
      m_readBufferCapacity(0),
      m_readBufferStart(0),
      m_readBufferValid(0),
      m_readBufferSize(READ_BUFFER_SIZE),
      m_osPosition(0),
      m_position(0),
      m_size(0),
      m_packEntry(-1),
      m_lastError(ERROR_SUCCESS)
{
}

CFile::~CFile()
{
    if (m_isOpen) CFile::Close();
    releaseReadBuffer(m_pReadBuffer, m_readBufferCapacity);
}

bool CFile::MakeReadBuffer()
{
    m_pReadBuffer = takeReadBuffer(m_readBufferSize);
    if (!m_pReadBuffer) {
        assertFailedMsg("OUT OF MEMORY!!!!", "pReadBuffer != NULL", __FILE__, __LINE__);
        return false;
    }
    m_readBufferCapacity = m_readBufferSize;
    m_readBufferStart = 0;
    m_readBufferValid = 0;
    m_hasReadBuffer = true;
    return true;
}

bool CFile::Open(const char* pFilenameIn, uint32_t mode)
{
    if (!VERIFY(pFilenameIn)) return false;
    if (excludeFromPack) mode |= FILE_MODE_NOT_IN_PACK;

    checkName(pFilenameIn);
    if (m_isOpen) return false;
    if (strlen(pFilenameIn) > MAX_NAME) {
        char message[160];
        snprintf(message, sizeof message, "Can't open <%.100s...> - Filename exceeds %u characters", pFilenameIn,
                 MAX_NAME);
        assertFailedMsg(message, "strlen(pFilenameIn) < MAX_PATH", __FILE__, __LINE__);
        return false;
    }

    const bool reading = (mode & FILE_MODE_READ) != 0;
    const bool writing = (mode & FILE_MODE_WRITE) != 0;
    if (reading == writing) return false;
    m_canRead = reading;
    m_canWrite = writing;
    m_notInPack = (mode & FILE_MODE_NOT_IN_PACK) != 0;
    m_packBacked = false;
    if ((mode & FILE_MODE_BUFFERED) && !writing && !m_hasReadBuffer && !MakeReadBuffer()) {
        m_canRead = false;
        return false;
    }
    m_readBufferValid = 0;
    strcpy(m_name, pFilenameIn);

    auto fail = [this] {
        m_lastError = GetLastError();
        m_canRead = m_canWrite = false;
        releaseReadBuffer(m_pReadBuffer, m_readBufferCapacity);
        m_pReadBuffer = nullptr;
        m_hasReadBuffer = false;
        return false;
    };

    if (PackFileGetSource() == PACK_SOURCE_READ && reading && !m_notInPack) {
        m_packEntry = PackFileFind(m_name);
        if (m_packEntry < 0) return fail();
        m_packBacked = true;
        m_size = PackFileEntrySize(m_packEntry);
    } else {
        const DWORD access = writing ? GENERIC_WRITE : GENERIC_READ;
        const DWORD share = writing ? 0 : FILE_SHARE_READ;
        const DWORD creation = !writing ? OPEN_EXISTING : (mode & FILE_MODE_APPEND) ? OPEN_ALWAYS : CREATE_ALWAYS;
        const auto create = [&] {
            return writing && (mode & FILE_MODE_TEMPORARY)
                       ? createTemporaryFile(m_name)
                       : CreateFileA(m_name, access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        m_handle = create();
        if (m_handle == INVALID_HANDLE_VALUE && writing && GetLastError() == ERROR_PATH_NOT_FOUND &&
            createDirectoriesFor(m_name))
            m_handle = create();
        if (m_handle == INVALID_HANDLE_VALUE) return fail();
        m_size = GetFileSize(m_handle, nullptr);
    }

    m_isOpen = true;
    m_firstReadPending = true;
    m_osPosition = m_position = 0;
    if (writing && (mode & FILE_MODE_APPEND)) Seek(2, 0);
    return true;
}

void CFile::Close()
{
    if (m_isOpen && !m_packBacked && m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_isOpen = m_canRead = m_canWrite = false;
    m_packBacked = false;
    m_packEntry = -1;
    releaseReadBuffer(m_pReadBuffer, m_readBufferCapacity);
    m_pReadBuffer = nullptr;
    m_hasReadBuffer = false;
    m_readBufferValid = 0;
}

bool CFile::Seek(int origin, int32_t offset)
{
    if (!m_isOpen) return false;
    int64_t target;
    switch (origin) {
    case 0: target = offset; break;
    case 1: target = static_cast<int64_t>(m_position) + offset; break;
    case 2: target = static_cast<int64_t>(m_size) - offset; break;
    default: return false;
    }
    if (target < 0 || target > m_size) return false;
    const uint32_t position = static_cast<uint32_t>(target);

    if (m_hasReadBuffer) {
        m_position = position;
        if (position < m_readBufferStart || position >= m_readBufferStart + m_readBufferValid) m_readBufferValid = 0;
        return true;
    }
    if (!m_packBacked && SetFilePointer(m_handle, static_cast<LONG>(position), nullptr, FILE_BEGIN) ==
                             INVALID_SET_FILE_POINTER)
        return false;
    m_osPosition = m_position = position;
    return true;
}

bool CFile::RawRead(void* buffer, uint32_t count, uint32_t* done)
{
    if (m_firstReadPending) {
        m_firstReadPending = false;
        if (PackFileGetSource() == PACK_SOURCE_BUILD && !m_notInPack) PackFileRecordFile(m_name);
    }
    uint32_t got = 0;
    bool ok = m_packBacked ? PackFileRead(m_packEntry, m_osPosition, buffer, count, &got)
                           : ReadFile(m_handle, buffer, count, &got, nullptr) != 0;
    if (!ok) got = 0;
    if (scrambling && got) scrambleFileData(static_cast<uint8_t*>(buffer), got, m_osPosition);
    m_osPosition += got;
    *done = got;
    return got > 0;
}

bool CFile::Read(void* buffer, uint32_t count, uint32_t* done)
{
    if (done) *done = 0;
    if (!m_isOpen || !m_canRead) return false;
    if (count > m_size - m_position) count = m_size - m_position;
    if (count == 0) {
        // Even an empty read belongs to a pack being built: an empty file is read no other way.
        uint32_t none = 0;
        if (m_firstReadPending) RawRead(buffer, 0, &none);
        return false;
    }

    if (!m_hasReadBuffer) {
        uint32_t got = 0;
        RawRead(buffer, count, &got);
        m_position = m_osPosition;
        if (done) *done = got;
        return got > 0;
    }

    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t delivered = 0;
    while (delivered < count) {
        if (m_position < m_readBufferStart || m_position >= m_readBufferStart + m_readBufferValid) {
            if (m_osPosition != m_position) {
                if (!m_packBacked &&
                    SetFilePointer(m_handle, static_cast<LONG>(m_position), nullptr, FILE_BEGIN) ==
                        INVALID_SET_FILE_POINTER)
                    break;
                m_osPosition = m_position;
            }
            uint32_t got = 0;
            m_readBufferStart = m_position;
            m_readBufferValid = 0;
            if (!RawRead(m_pReadBuffer, m_readBufferCapacity, &got)) break;
            m_readBufferValid = got;
        }
        uint32_t available = m_readBufferStart + m_readBufferValid - m_position;
        uint32_t take = count - delivered < available ? count - delivered : available;
        memcpy(out + delivered, m_pReadBuffer + (m_position - m_readBufferStart), take);
        delivered += take;
        m_position += take;
    }
    if (done) *done = delivered;
    return delivered > 0;
}

bool CFile::Write(const void* buffer, uint32_t count, uint32_t* done)
{
    if (done) *done = 0;
    if (!m_isOpen || !m_canWrite || m_packBacked) return false;
    const void* source = buffer;
    std::vector<uint8_t> scrambled;
    if (scrambling) {
        // Scramble a copy: the caller's buffer may be constant.
        scrambled.assign(static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + count);
        scrambleFileData(scrambled.data(), count, m_osPosition);
        source = scrambled.data();
    }
    DWORD written = 0;
    if (!WriteFile(m_handle, source, count, &written, nullptr) || written != count) {
        m_lastError = GetLastError();
        SetFilePointer(m_handle, static_cast<LONG>(m_osPosition), nullptr, FILE_BEGIN);
        return false;
    }
    m_osPosition += written;
    m_position = m_osPosition;
    if (m_osPosition > m_size) m_size = m_osPosition;
    if (done) *done = written;
    return true;
}

bool CFile::ReadLong(uint32_t* value)
{
    uint8_t bytes[4];
    uint32_t got = 0;
    if (!Read(bytes, 4, &got) || got != 4) return false;
    *value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

bool CFile::ReadShort(uint16_t* value)
{
    uint8_t bytes[2];
    uint32_t got = 0;
    if (!Read(bytes, 2, &got) || got != 2) return false;
    *value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return true;
}

bool CFile::WriteLong(uint32_t value)
{
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Write(bytes, 4);
}

bool CFile::WriteShort(uint16_t value)
{
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return Write(bytes, 2);
}

bool CFile::ReadString(void* buffer, uint32_t capacity, uint32_t* length)
{
    uint32_t size = 0;
    if (length) *length = 0;
    if (!ReadLong(&size) || size == 0 || size > capacity) return false;
    uint32_t got = 0;
    if (!Read(buffer, size, &got) || got != size) return false;
    if (length) *length = size;
    return true;
}

char* CFile::ReadLine(char* buffer, uint32_t size, uint32_t* count)
{
    if (count) *count = 0;
    if (size < 2 || !m_isOpen || !m_canRead) return nullptr;
    if (!m_hasReadBuffer) {
        if (!MakeReadBuffer()) return nullptr;
        m_readBufferValid = 0;
    }
    uint32_t stored = 0;
    bool consumed = false;
    // Some editors start a text file with a UTF-8 byte-order mark: no reader wants it in its first line.
    if (m_position == 0 && m_size >= 3) {
        char mark[4] = {};
        uint32_t got = 0;
        if (!Read(mark, 3, &got) || got != 3 || skipByteOrderMark(mark) == mark) Seek(0, 0);
    }
    while (stored < size - 1 && m_position < m_size) {
        if (m_position < m_readBufferStart || m_position >= m_readBufferStart + m_readBufferValid) {
            // Refill through the ordinary buffered read, one byte, then scan the buffer directly.
            char c;
            if (!Read(&c, 1)) break;
            consumed = true;
            if (c == 0) break;
            buffer[stored++] = c;
            if (c == '\n') break;
            continue;
        }
        const uint8_t* start = m_pReadBuffer + (m_position - m_readBufferStart);
        uint32_t available = m_readBufferStart + m_readBufferValid - m_position;
        if (available > size - 1 - stored) available = size - 1 - stored;
        if (available > m_size - m_position) available = m_size - m_position;
        // The line ends at its LF (kept) or at a NUL (consumed, not kept), whichever comes first.
        const auto* lf = static_cast<const uint8_t*>(memchr(start, '\n', available));
        uint32_t n = lf ? static_cast<uint32_t>(lf - start) + 1 : available;
        const auto* nul = static_cast<const uint8_t*>(memchr(start, 0, n));
        const bool ended = lf || nul;
        const uint32_t kept = nul ? static_cast<uint32_t>(nul - start) : n;
        if (nul) n = kept + 1;
        memcpy(buffer + stored, start, kept);
        stored += kept;
        consumed = consumed || n > 0;
        m_position += n;
        if (ended) break;
    }
    buffer[stored] = 0;
    if (count) *count = stored;
    return consumed ? buffer : nullptr;
}

uint32_t CFile::WriteText(const char* text, bool finalLineEnd)
{
    std::string converted;
    const uint32_t count = appendWindowsText(converted, text, finalLineEnd);
    if (!converted.empty()) Write(converted.data(), static_cast<uint32_t>(converted.size()));
    return count;
}

bool CFile::GetLastWriteTime(FILETIME* time)
{
    bool isOpen = m_isOpen && !m_packBacked;
    if (!VERIFY(isOpen)) return false;
    return GetFileTime(m_handle, nullptr, nullptr, time) != 0;
}

bool CFile::SetLastWriteTime(const FILETIME* time)
{
    bool isOpen = m_isOpen && !m_packBacked;
    if (!VERIFY(isOpen)) return false;
    if (!SetFileTime(m_handle, nullptr, nullptr, time)) {
        m_lastError = GetLastError();
        // Part of a write, which is about no file being read.
        ReportApart apart;
        assertFailedMsg(concatStrings("SetFileTime error, please debug & check error code\n<", m_name, ">"), "false",
                        __FILE__, __LINE__);
        return false;
    }
    return true;
}

std::unique_ptr<char[]> readWholeFile(CFile& file, uint32_t* size)
{
    const uint32_t bytes = file.GetSize() - file.GetPosition();
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(bytes) + 1]);
    if (!VERIFY(buffer != nullptr)) return nullptr;
    uint32_t got = 0;
    // An empty rest is still read, so that a pack being built records the file.
    if (!file.Read(buffer.get(), bytes, &got) && bytes > 0) return nullptr;
    if (got != bytes) return nullptr;
    buffer[bytes] = 0;
    if (size) *size = bytes;
    return buffer;
}

bool FileExists(const char* name, uint32_t mode, DWORD* error)
{
    CFile file;
    if (!file.Open(name, mode | FILE_MODE_READ)) {
        if (error) *error = file.LastError();
        return false;
    }
    file.Close();
    if (error) *error = ERROR_SUCCESS;
    return true;
}

const char* unreadableCause(const char* name, DWORD error)
{
    if (!name || error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return nullptr;
    // Asked of the name itself, which needs no free handle: too many open files says nothing of
    // whether the file is there.
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
    switch (error) {
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_TOO_MANY_OPEN_FILES: return "too many files are open";
    case ERROR_IO_DEVICE: return "I/O device error";
    default:
        thread_local char text[32];
        std::snprintf(text, sizeof text, "system error %u", static_cast<unsigned>(error));
        return text;
    }
}

namespace {

std::string unreadableText(const char* name, const char* cause)
{
    return std::string("Unreadable File (") + cause + "):" + name;
}

}  // namespace

std::string openFailureText(const char* name, DWORD error, const char* notFound)
{
    const char* cause = unreadableCause(name, error);
    return cause ? unreadableText(name, cause) : std::string(notFound);
}

bool reportUnreadableFile(const char* name, DWORD error)
{
    const char* cause = unreadableCause(name, error);
    if (!cause) return false;
    // Said by every read of it, so that it is each read's first report; the run log writes it once.
    noteFileFailure(name);
    ReadingFile reading(name);
    assertFailedMsg(unreadableText(name, cause).c_str(), "FileOK", __FILE__, __LINE__);
    return true;
}

bool FileReadable(const char* name)
{
    DWORD error = ERROR_SUCCESS;
    if (FileExists(name, 0, &error)) return true;
    reportUnreadableFile(name, error);
    return false;
}
