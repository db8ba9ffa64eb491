#include "winfile/PackFile.h"

#include "utility/LogFile.h"
#include "utility/TextChars.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

const uint32_t CRC_POLYNOMIAL = 0x04C11DB7u;
const uint32_t CRC_START = 0x8217891Cu;
const uint8_t PACK_KEY = 0xA7;
const uint32_t READ_CHUNK = 32768;
const uint32_t CACHE_SIZE = 131072;
// The pack's own file is opened with this extra bit; CFile ignores it.
const uint32_t PACK_OPEN_BIT = 128;
const char* const PROGRESS_TEXT = "Building Pack-file. Please wait";

std::atomic<int> packSource{PACK_SOURCE_OFF};

// One handle and one file position serve every thread: each entry point holds this lock, so a
// stream thread's seek and read cannot interleave with the main thread's. Recursive because
// recording reaches the add callback, which may call back in.
std::recursive_mutex PackLock;
using PackGuard = std::lock_guard<std::recursive_mutex>;

bool Initialised = false;
bool FileOpen = false;
int Mode = PACKFILE_MODE_READ;
int MaxFiles = 0;
int NumFiles = 0;
std::string PackName;
CFile PackHandle;
std::vector<packentry> FileInfo;        // the directory (read mode)
std::vector<std::string> RecordedNames; // lower-cased, in recording order (build mode)
std::unordered_set<std::string> RecordedSet;
uint32_t Position = 0;
bool Scrambling = false;

uint32_t CrcTable[256];
bool CRCTableInitialised = false;

std::string CallbackString;
void* CallbackContext = nullptr;
PackFileAddCallback AddCallback = nullptr;

uint8_t* Cache = nullptr;
PackFileProgressFunc ProgressFunc = nullptr;

std::string lowerCase(const char* text)
{
    std::string result(text);
    for (char& c : result) c = asciiLower(c);
    return result;
}

void report(const std::string& message, const char* expression)
{
    assertFailedMsg(message.c_str(), expression, __FILE__, __LINE__);
}

void scramble(uint8_t* data, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) data[i] ^= PACK_KEY;
}

uint32_t readLE32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void writeLE32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

// Drops everything an open pack holds.
void releasePack()
{
    PackHandle.Close();
    FileInfo.clear();
    FileInfo.shrink_to_fit();
    RecordedNames.clear();
    RecordedNames.shrink_to_fit();
    RecordedSet.clear();
    FileOpen = false;
    NumFiles = 0;
    Position = 0;
}

void showProgress(const char* text)
{
    if (ProgressFunc) ProgressFunc(text);
}

// Statistics go through the log writer, whose file name the run log also sets; it is set again
// for every write so that a report made during the build cannot divert the statistics.
void writeStatistics(const std::string& logName, const char* text, bool line)
{
    setLogFileName(logName.c_str(), false);
    if (line)
        writeLogLine(text, false);
    else
        writeLogText(text, false);
}

bool openLogFile(const std::string& logName)
{
    // Opening for writing starts the file afresh and tells whether it can be written at all.
    CFile log;
    if (!log.Open(logName.c_str(), FILE_MODE_WRITE | FILE_MODE_NOT_IN_PACK)) {
        report("Failed to open PackFile log file " + logName, "Log != NULL");
        return false;
    }
    log.Close();
    return true;
}

void reportCrcConflicts(const std::vector<packentry>& entries)
{
    // Only names in one CRC run can conflict; a name recorded twice is impossible (recording drops
    // names equal without regard to case), so equal names never reach this point.
    std::vector<int> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&entries](int a, int b) { return entries[a].CRC < entries[b].CRC; });
    std::vector<std::pair<int, int>> conflicts;
    for (size_t runStart = 0; runStart < order.size();) {
        size_t runEnd = runStart + 1;
        while (runEnd < order.size() && entries[order[runEnd]].CRC == entries[order[runStart]].CRC) ++runEnd;
        for (size_t i = runStart; i < runEnd; ++i)
            for (size_t j = i + 1; j < runEnd; ++j) conflicts.emplace_back(order[i], order[j]);
        runStart = runEnd;
    }
    std::sort(conflicts.begin(), conflicts.end());
    for (const auto& [i, j] : conflicts)
        report("Pack-file CRC conflict. Rename one of these files\n" + RecordedNames[i] + "\n" + RecordedNames[j],
               "FileInfo[i].CRC != FileInfo[j].CRC");
}

bool copyFile(const std::string& name, uint32_t size)
{
    CFile source;
    uint32_t copied = 0;
    if (source.Open(name.c_str(), FILE_MODE_READ | FILE_MODE_NOT_IN_PACK)) {
        while (copied < size) {
            uint32_t piece = std::min(size - copied, CACHE_SIZE);
            uint32_t got = 0;
            if (!source.Read(Cache, piece, &got) || got == 0) break;
            if (Scrambling) scramble(Cache, got);
            if (!PackHandle.Write(Cache, got)) return false;
            copied += got;
        }
        source.Close();
    }
    // A file that shrank since it was measured is padded, so that the directory stays true.
    memset(Cache, Scrambling ? PACK_KEY : 0, CACHE_SIZE);
    while (copied < size) {
        uint32_t piece = std::min(size - copied, CACHE_SIZE);
        if (!PackHandle.Write(Cache, piece)) return false;
        copied += piece;
    }
    return true;
}

void buildPack(const std::string& logName)
{
    showProgress(PROGRESS_TEXT);
    ASSERT_MSG(NumFiles != 0, "Why are you building a pack-file with no files ?");

    const uint32_t headerSize = 4 + 12 * static_cast<uint32_t>(NumFiles);
    std::vector<packentry> entries(NumFiles);
    uint32_t dataOffset = headerSize;
    for (int i = 0; i < NumFiles; ++i) {
        entries[i].CRC = PackFileNameCrc(RecordedNames[i].c_str());
        entries[i].Offset = dataOffset;
        CFile file;
        if (file.Open(RecordedNames[i].c_str(), FILE_MODE_READ | FILE_MODE_NOT_IN_PACK)) {
            entries[i].Size = file.GetSize();
            file.Close();
        } else {
            report("Failed to open\n" + RecordedNames[i], "false");
            entries[i].Size = 0;
        }
        dataOffset += entries[i].Size;
    }

    if (!logName.empty()) {
        char line[MAX_PATH + 64];
        writeStatistics(logName, "Pack statistics:\n", false);
        snprintf(line, sizeof line, "Files: %d", NumFiles);
        writeStatistics(logName, line, true);
        snprintf(line, sizeof line, "Header: %d bytes\n\n\n", static_cast<int>(headerSize));
        writeStatistics(logName, line, false);
        snprintf(line, sizeof line, "Filesize: %d bytes    %8.1fK    %8.1fM\n", static_cast<int>(dataOffset),
                 dataOffset / 1024.0, dataOffset / 1048576.0);
        writeStatistics(logName, line, false);
        for (int i = 0; i < NumFiles; ++i) {
            snprintf(line, sizeof line, "%4d: %08X %s", i, entries[i].CRC, RecordedNames[i].c_str());
            writeStatistics(logName, line, true);
        }
    }

    reportCrcConflicts(entries);

    std::vector<packentry> directory(entries);
    std::sort(directory.begin(), directory.end(), [](const packentry& a, const packentry& b) {
        return a.CRC != b.CRC ? a.CRC < b.CRC : a.Offset < b.Offset;
    });
    for (size_t i = 1; i < directory.size(); ++i)
        if (directory[i].CRC == directory[i - 1].CRC && directory[i].Offset == directory[i - 1].Offset)
            report("Sorting 2 identical packentries not allowed!", "false");

    std::vector<uint8_t> header(headerSize);
    writeLE32(header.data(), static_cast<uint32_t>(NumFiles));
    for (int i = 0; i < NumFiles; ++i) {
        writeLE32(&header[4 + 12 * i], directory[i].CRC);
        writeLE32(&header[8 + 12 * i], directory[i].Offset);
        writeLE32(&header[12 + 12 * i], directory[i].Size);
    }
    if (!PackHandle.Write(header.data(), headerSize)) {
        report("Failed to write Pack-file <" + PackName + ">", "false");
        return;
    }

    Cache = new (std::nothrow) uint8_t[CACHE_SIZE];
    if (!VERIFY(Cache != NULL)) return;
    char progress[64];
    for (int i = 0; i < NumFiles; ++i) {
        snprintf(progress, sizeof progress, "%s - %d", PROGRESS_TEXT, NumFiles - i);
        showProgress(progress);
        if (!copyFile(RecordedNames[i], entries[i].Size)) {
            report("Failed to write Pack-file <" + PackName + ">", "false");
            break;
        }
    }
    delete[] Cache;
    Cache = nullptr;
}

bool openForReading(const char* name)
{
    if (!PackHandle.Open(name, FILE_MODE_READ | FILE_MODE_NOT_IN_PACK | PACK_OPEN_BIT)) {
        report("Failed to open <" + PackName + "> for reading", "false");
        return false;
    }
    // The directory must fit in the file before anything is allocated for it.
    const uint32_t fileSize = PackHandle.GetSize();
    uint32_t count = 0;
    if (!PackHandle.ReadLong(&count) || 4 + 12 * static_cast<uint64_t>(count) > fileSize) {
        report("Something wrong with " + PackName, "Read == NumFiles * sizeof(packentry)");
        PackHandle.Close();
        return false;
    }
    const uint32_t directoryBytes = 12 * count;
    std::vector<uint8_t> raw(directoryBytes);
    uint32_t got = 0;
    if (count && (!PackHandle.Read(raw.data(), directoryBytes, &got) || got != directoryBytes)) {
        report("Something wrong with " + PackName, "Read == NumFiles * sizeof(packentry)");
        PackHandle.Close();
        return false;
    }
    const uint32_t headerSize = 4 + directoryBytes;
    FileInfo.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        packentry& entry = FileInfo[i];
        entry.CRC = readLE32(&raw[12 * i]);
        entry.Offset = readLE32(&raw[12 * i + 4]);
        entry.Size = readLE32(&raw[12 * i + 8]);
        if (entry.Offset < headerSize || static_cast<uint64_t>(entry.Offset) + entry.Size > fileSize) {
            report("Something wrong with " + PackName + "\nEntry " + intToString(static_cast<int>(i)) +
                       " lies outside the file",
                   "Offset + Size <= FileSize");
            FileInfo.clear();
            PackHandle.Close();
            return false;
        }
    }
    NumFiles = static_cast<int>(count);
    Position = headerSize;
    FileOpen = true;
    return true;
}

}  // namespace

void PackFileSetSource(int source) { packSource = source; }
int PackFileGetSource() { return packSource; }

void PackFileSetProgressFunc(PackFileProgressFunc func) { ProgressFunc = func; }

void PackFileBuildCrcTable()
{
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t crc = n << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ CRC_POLYNOMIAL : crc << 1;
        CrcTable[n] = crc;
    }
    CRCTableInitialised = true;
}

uint32_t PackFileNameCrc(const char* name)
{
    if (!VERIFY(name)) return CRC_START;
    if (!CRCTableInitialised) {
        assertFailedMsg("CRC Table not initialised!", "CRCTableInitialised", __FILE__, __LINE__);
        PackFileBuildCrcTable();
    }
    uint32_t crc = CRC_START;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        const unsigned char b = static_cast<unsigned char>(asciiLower(static_cast<char>(*p)));
        crc = (crc << 8) ^ CrcTable[(crc >> 24) ^ b];
    }
    return crc;
}

void PackFileInit(int scrambling)
{
    PackGuard hold(PackLock);
    ASSERT(!Initialised);
    if (FileOpen) releasePack();
    FileOpen = false;
    NumFiles = 0;
    MaxFiles = 0;
    Position = 0;
    Scrambling = scrambling != 0;
    PackFileBuildCrcTable();
    Initialised = true;
}

void PackFileShutdown()
{
    PackGuard hold(PackLock);
    if (!VERIFY_MSG(Cache == NULL, "Build cache not deleted!")) {
        delete[] Cache;
        Cache = nullptr;
    }
    // A pack left open is dropped without being built.
    if (FileOpen) releasePack();
    Initialised = false;
}

bool PackFileOpen(const char* name, int mode, int maxFiles)
{
    PackGuard hold(PackLock);
    if (!VERIFY(name)) return false;
    if (FileOpen) {
        report(std::string("Can't open Pack-file <") + name + ">\nPack-file <" + PackName + "> already open",
               "!FileOpen");
        return false;
    }
    MaxFiles = maxFiles;
    Mode = mode;
    PackName = lowerCase(name);
    Position = 0;
    NumFiles = 0;

    if (mode == PACKFILE_MODE_READ) return openForReading(name);
    if (mode == PACKFILE_MODE_BUILD) {
        if (maxFiles < 1) {
            report("No max files specified when opening <" + PackName + "> for writing", "MaxFiles > 0");
            return false;
        }
        if (!PackHandle.Open(name, FILE_MODE_WRITE | FILE_MODE_NOT_IN_PACK | PACK_OPEN_BIT)) {
            report("Failed to open <" + PackName + "> for writing", "false");
            return false;
        }
        RecordedNames.clear();
        RecordedSet.clear();
        FileOpen = true;
        return true;
    }
    report("Illegal open mode for pack-file <" + PackName + ">", "false");
    return false;
}

void PackFileClose(const char* logFileName)
{
    PackGuard hold(PackLock);
    if (!FileOpen) {
        assertFailedMsg("Can't close Pack-file - no pack-file open currently!", "FileOpen", __FILE__, __LINE__);
        return;
    }
    if (Mode == PACKFILE_MODE_BUILD) {
        std::string logName;
        if (logFileName && openLogFile(logFileName)) logName = logFileName;
        buildPack(logName);
    }
    releasePack();
}

bool PackFileIsOpen()
{
    PackGuard hold(PackLock);
    return FileOpen;
}

int PackFileNumFiles()
{
    PackGuard hold(PackLock);
    return NumFiles;
}

int PackFileAddFile(const char* FileName)
{
    PackGuard hold(PackLock);
    if (!VERIFY(FileName) || !VERIFY((*FileName) != 0)) return 0;
    if (!FileOpen) {
        report(std::string("Can't add file <") + FileName + "> to pack file\nNo pack-file open", "FileOpen");
        return 0;
    }
    if (Mode != PACKFILE_MODE_BUILD) {
        report(std::string("Can't add file <") + FileName + "> to pack file\nPack-file <" + PackName +
                   "> isn't open for write",
               "Mode == MODE_WRITE");
        return 0;
    }
    std::string lowered = lowerCase(FileName);
    if (RecordedSet.count(lowered)) return 0;
    if (NumFiles >= MaxFiles) {
        report("Can't write to pack-file <" + PackName + "> " + intToString(MaxFiles) + "files exceeded",
               "NumFiles < MaxFiles");
        return 0;
    }
    RecordedSet.insert(lowered);
    RecordedNames.push_back(std::move(lowered));
    return ++NumFiles;
}

void PackFileRecordFile(const char* name)
{
    PackGuard hold(PackLock);
    if (!VERIFY(name)) return;
    if (AddCallback) {
        std::string lowered = lowerCase(name);
        if (lowered.find(CallbackString) != std::string::npos) {
            AddCallback(CallbackContext, lowered.c_str());
            return;
        }
    }
    PackFileAddFile(name);
}

void PackFileSetAddCallback(const char* String, void* context, PackFileAddCallback callback)
{
    PackGuard hold(PackLock);
    if (!CallbackString.empty()) assertFailed("CallbackString == NULL", __FILE__, __LINE__);
    ASSERT(AddCallback == NULL);
    if (!VERIFY(String != NULL) || !VERIFY(strlen(String) != 0)) return;
    CallbackString = lowerCase(String);
    CallbackContext = context;
    AddCallback = callback;
}

void PackFileClearAddCallback()
{
    PackGuard hold(PackLock);
    ASSERT(AddCallback != NULL);
    CallbackString.clear();
    CallbackContext = nullptr;
    AddCallback = nullptr;
}

int PackFileFind(const char* name)
{
    PackGuard hold(PackLock);
    if (!VERIFY(name) || !FileOpen || Mode != PACKFILE_MODE_READ || NumFiles == 0) return -1;
    const uint32_t crc = PackFileNameCrc(name);
    int low = 0, high = NumFiles - 1, found = -1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const uint32_t here = FileInfo[middle].CRC;
        if (here == crc) {
            found = middle;
            break;
        }
        if (here < crc)
            low = middle + 1;
        else
            high = middle - 1;
    }
    if (found < 0) return -1;
    int first = found, last = found;
    while (first > 0 && FileInfo[first - 1].CRC == crc) --first;
    while (last < NumFiles - 1 && FileInfo[last + 1].CRC == crc) ++last;
    for (int i = first; i <= last; ++i)
        if (FileInfo[i].Offset >= Position) return i;
    return last;
}

uint32_t PackFileEntrySize(int index)
{
    PackGuard hold(PackLock);
    if (!FileOpen || Mode != PACKFILE_MODE_READ || index < 0 || index >= NumFiles) return 0;
    return FileInfo[index].Size;
}

bool PackFileRead(int Index, uint32_t offset, void* buffer, uint32_t count, uint32_t* done)
{
    PackGuard hold(PackLock);
    if (done) *done = 0;
    if (!FileOpen || Mode != PACKFILE_MODE_READ || !(Index >= 0 && Index < NumFiles)) {
        assertFailedMsg("Seeking on invalid file", "Index >= 0 && Index < NumFiles", __FILE__, __LINE__);
        return false;
    }
    const packentry& entry = FileInfo[Index];
    const uint32_t left = offset < entry.Size ? entry.Size - offset : 0;
    if (count > left) count = left;
    if (count == 0) return true;

    const uint32_t target = entry.Offset + offset;
    if (target != Position) {
        if (!PackHandle.Seek(0, static_cast<int32_t>(target))) return false;
        Position = target;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t total = 0;
    bool result = true;
    while (total < count) {
        const uint32_t chunk = std::min(count - total, READ_CHUNK);
        uint32_t got = 0;
        result = PackHandle.Read(out + total, chunk, &got);
        if (Scrambling) scramble(out + total, got);
        total += got;
        if (got < chunk) break;
    }
    Position += total;
    if (done) *done = total;
    return result;
}
