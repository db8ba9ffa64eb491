// CFile: the one file class. Wraps an OS file, adds an optional 128 KB read buffer, checks names
// against the disc file system's rules, creates missing folders for writes, and serves reads from
// the open pack file when one is being read.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <memory>
#include <string>

// Open mode bits.
constexpr uint32_t FILE_MODE_READ = 1;
constexpr uint32_t FILE_MODE_WRITE = 2;
constexpr uint32_t FILE_MODE_APPEND = 4;       // with FILE_MODE_WRITE: open or create, then seek to the end
constexpr uint32_t FILE_MODE_BUFFERED = 8;     // reads go through a read buffer (ignored when writing)
constexpr uint32_t FILE_MODE_TEMPORARY = 16;   // with FILE_MODE_WRITE: made anew by createTemporaryFile
constexpr uint32_t FILE_MODE_NOT_IN_PACK = 64; // keep this file out of a pack being built

// While set, every open adds FILE_MODE_NOT_IN_PACK.
void SetFileExcludeFromPack(bool exclude);
// While set, file data is XOR scrambled by position as it is written and read.
void SetFileScrambling(bool scramble);
bool GetFileScrambling();
// Scrambles or unscrambles bytes that stand at filePosition in a file (the operation is its own inverse).
void scrambleFileData(uint8_t* data, uint32_t count, uint32_t filePosition);

class CFile {
public:
    static const uint32_t READ_BUFFER_SIZE = 0x20000;
    static const uint32_t MAX_NAME = MAX_PATH - 1;

    CFile();
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    bool Open(const char* name, uint32_t mode);
    virtual void Close();
    // origin 0: from the start, 1: from the current position, 2: back from the end.
    bool Seek(int origin, int32_t offset);
    bool Read(void* buffer, uint32_t count, uint32_t* done = nullptr);
    virtual bool Write(const void* buffer, uint32_t count, uint32_t* done = nullptr);
    bool ReadLong(uint32_t* value);
    bool ReadShort(uint16_t* value);
    bool WriteLong(uint32_t value);
    bool WriteShort(uint16_t value);
    // A 32-bit length (1 to capacity), then that many bytes.
    bool ReadString(void* buffer, uint32_t capacity, uint32_t* length);
    // One line up to and including its LF (a NUL ends it too), at most size - 1 characters. A UTF-8
    // byte-order mark at the very start of the file is passed over.
    char* ReadLine(char* buffer, uint32_t size, uint32_t* count = nullptr);
    // Each LF written as CR LF, plus a final CR LF when asked.
    uint32_t WriteText(const char* text, bool finalLineEnd);
    bool GetLastWriteTime(FILETIME* time);
    bool SetLastWriteTime(const FILETIME* time);

    // GetLastError as the failing call left it, for the last open, write or time setting that
    // failed: the calls the class makes after it (a seek back, freeing the buffer) overwrite it.
    DWORD LastError() const { return m_lastError; }

    bool IsOpen() const { return m_isOpen; }
    uint32_t GetSize() const { return m_size; }
    uint32_t GetPosition() const { return m_position; }
    const char* GetName() const { return m_name; }
    bool IsPackBacked() const { return m_packBacked; }

private:
    bool MakeReadBuffer();
    bool RawRead(void* buffer, uint32_t count, uint32_t* done);

    char m_name[MAX_PATH];
    HANDLE m_handle;
    bool m_isOpen;
    bool m_hasReadBuffer;
    bool m_canRead;
    bool m_canWrite;
    bool m_firstReadPending;
    bool m_notInPack;
    bool m_packBacked;
    uint8_t* m_pReadBuffer;
    uint32_t m_readBufferCapacity;
    uint32_t m_readBufferStart;  // file position of the buffer's first byte
    uint32_t m_readBufferValid;  // bytes of valid contents
    uint32_t m_readBufferSize;   // capacity given to a buffer when one is made
    uint32_t m_osPosition;
    uint32_t m_position;
    uint32_t m_size;
    int32_t m_packEntry;
    DWORD m_lastError;
};

// The rest of an open file in one buffer with a NUL after its bytes (so text can be parsed in
// place); null when it cannot be allocated (reported) or read. *size gets the byte count.
std::unique_ptr<char[]> readWholeFile(CFile& file, uint32_t* size);

// Opens the file with mode | FILE_MODE_READ and closes it again; *error gets the failed open's code.
bool FileExists(const char* name, uint32_t mode = 0, DWORD* error = nullptr);

// Why a file that is there could not be opened, from the failed open's code (CFile::LastError):
// "access denied", "too many files are open" and so on. Null when it is simply not there: missing,
// or a folder, a pipe or a device at its name, which no read opens either.
const char* unreadableCause(const char* name, DWORD error);
// The report of a file that could not be opened: notFound when it is simply not there, else
// "Unreadable File (<cause>):<name>".
std::string openFailureText(const char* name, DWORD error, const char* notFound);
// Reports such a file, naming it (the first report of its read: what the caller would say of the
// failure follows from it), and is true; false for a file that is simply not there, whose report
// (or silence) is the caller's.
bool reportUnreadableFile(const char* name, DWORD error);
// FileExists for a file the caller does without when it is missing: one there that cannot be
// opened is reported (reportUnreadableFile), and is done without too.
bool FileReadable(const char* name);

// Creates the folders of a file name, outermost first. False when the name ends in a slash or the
// folder already exists.
bool createDirectoriesFor(const char* fileName);
