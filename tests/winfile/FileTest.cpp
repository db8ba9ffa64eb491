#include "winfile/File.h"
#include "TestSupport.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::countReports;
using testsupport::TempDir;

TEST(File, ReadsSeekWithinTheFileAndCrossBufferBoundaries)
{
    TempDir dir;
    const std::string data = testsupport::randomBytes(CFile::READ_BUFFER_SIZE * 2 + 77, 5);
    dir.write("f.bin", data);
    for (uint32_t mode : {FILE_MODE_READ, FILE_MODE_READ | FILE_MODE_BUFFERED}) {
        CFile file;
        ASSERT_TRUE(file.Open(dir.file("f.bin").c_str(), mode));
        const uint32_t size = file.GetSize();
        ASSERT_EQ(data.size(), size);
        // Origins 0 (start), 1 (current) and 2 (end); nothing before the start or past the end.
        EXPECT_TRUE(file.Seek(2, 10));
        EXPECT_EQ(size - 10, file.GetPosition());
        EXPECT_FALSE(file.Seek(2, size + 1));
        EXPECT_FALSE(file.Seek(3, 0));
        EXPECT_TRUE(file.Seek(1, -int32_t(size - 10)));
        EXPECT_EQ(0u, file.GetPosition());
        EXPECT_FALSE(file.Seek(1, -1));
        std::string got(data.size(), 0);  // across buffer boundaries, cut at the end
        uint32_t n = 0;
        ASSERT_TRUE(file.Seek(0, CFile::READ_BUFFER_SIZE - 5));
        ASSERT_TRUE(file.Read(got.data(), size, &n));
        EXPECT_EQ(data.substr(CFile::READ_BUFFER_SIZE - 5), got.substr(0, n));
        EXPECT_FALSE(file.Read(got.data(), 1));  // nothing left: false
    }
}

TEST(File, ReadLineStopsAtANewlineANulTheSizeOrTheEnd)
{
    TempDir dir;
    dir.write("t.txt", std::string("one\ntwo\0three\nabcdefgh", 23));
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("t.txt").c_str(), FILE_MODE_READ));  // unbuffered: ReadLine makes a buffer
    char line[6];
    uint32_t count = 0;
    EXPECT_EQ(nullptr, file.ReadLine(line, 1, &count));
    ASSERT_NE(nullptr, file.ReadLine(line, sizeof line, &count));
    EXPECT_EQ(4u, count);
    // The NUL ends a line and is not stored; a line holds size - 1 characters.
    for (const char* wanted : {"two", "three", "\n", "abcde", "fgh"}) {
        ASSERT_NE(nullptr, file.ReadLine(line, sizeof line)) << wanted;
        EXPECT_STREQ(wanted, line);
    }
    EXPECT_EQ(nullptr, file.ReadLine(line, sizeof line));
}

TEST(File, ReadLinePassesOverAByteOrderMarkAtTheVeryStartOnly)
{
    TempDir dir;
    const std::string mark = "\xEF\xBB\xBF";
    dir.write("marked.txt", mark + "one\n" + mark + "two\n");
    for (uint32_t mode : {FILE_MODE_READ, FILE_MODE_READ | FILE_MODE_BUFFERED}) {
        CFile file;
        ASSERT_TRUE(file.Open(dir.file("marked.txt").c_str(), mode));
        char line[16];
        uint32_t count = 0;
        ASSERT_NE(nullptr, file.ReadLine(line, sizeof line, &count));
        EXPECT_EQ(std::make_pair(std::string("one\n"), 4u), std::make_pair(std::string(line), count));
        ASSERT_NE(nullptr, file.ReadLine(line, sizeof line));
        EXPECT_EQ(mark + "two\n", line);  // past the start it is text
        // Read again from the start, by line and as bytes: only the line reader passes over it.
        ASSERT_TRUE(file.Seek(0, 0));
        ASSERT_NE(nullptr, file.ReadLine(line, sizeof line));
        EXPECT_STREQ("one\n", line);
        ASSERT_TRUE(file.Seek(0, 0));
        char bytes[4] = {};
        ASSERT_TRUE(file.Read(bytes, 3));
        EXPECT_EQ(mark, bytes);
    }
}

TEST(File, WritesTextAndIntegersAndReadsThemBack)
{
    TempDir dir;
    const std::string name = dir.file("w.txt");
    {
        CFile file;
        ASSERT_TRUE(file.Open(name.c_str(), FILE_MODE_WRITE));
        EXPECT_EQ(4u, file.WriteText("a\nb", true));
        EXPECT_EQ(0u, file.WriteText("\n", false));
    }
    {
        CFile file;
        ASSERT_TRUE(file.Open(name.c_str(), FILE_MODE_WRITE | FILE_MODE_APPEND));
        EXPECT_EQ(8u, file.GetPosition());
        EXPECT_TRUE(file.WriteLong(5));
        EXPECT_TRUE(file.Write("hello", 5));
        EXPECT_TRUE(file.WriteLong(9));
        EXPECT_TRUE(file.Write("tiny", 4));
        EXPECT_TRUE(file.WriteShort(0x0201));
    }
    EXPECT_EQ(std::string("a\r\nb\r\n\r\n\x05\0\0\0hello", 17), dir.read("w.txt").substr(0, 17));
    CFile file;
    ASSERT_TRUE(file.Open(name.c_str(), FILE_MODE_READ | FILE_MODE_BUFFERED));
    char buffer[8];
    uint32_t length = 0, value = 0;
    uint16_t half = 0;
    EXPECT_TRUE(file.Seek(0, 8));
    EXPECT_TRUE(file.ReadString(buffer, sizeof buffer, &length));
    EXPECT_EQ("hello", std::string(buffer, length));
    EXPECT_FALSE(file.ReadString(buffer, 8, &length));  // 9 is above the capacity
    EXPECT_TRUE(file.ReadLong(&value));
    EXPECT_EQ(0x796E6974u, value);  // "tiny"
    EXPECT_TRUE(file.ReadShort(&half));
    EXPECT_EQ(0x0201, half);
    EXPECT_FALSE(file.ReadShort(&half));
    file.Close();
    ASSERT_TRUE(file.Open(name.c_str(), FILE_MODE_WRITE));  // without append: truncated
    file.Close();
    EXPECT_EQ("", dir.read("w.txt"));
}

TEST(File, ScramblingDependsOnlyOnThePosition)
{
    TempDir dir;
    const std::string data = testsupport::randomBytes(5000, 5);
    const std::string name = dir.file("s.dat");
    SetFileScrambling(true);
    {
        CFile file;
        ASSERT_TRUE(file.Open(name.c_str(), FILE_MODE_WRITE));
        const std::string copy = data;
        ASSERT_TRUE(file.Write(copy.data(), 3000));
        ASSERT_TRUE(file.Write(copy.data() + 3000, 2000));
        EXPECT_EQ(data, copy);  // the caller's buffer is never touched
    }
    SetFileScrambling(false);
    EXPECT_NE(data, dir.read("s.dat"));
    SetFileScrambling(true);
    for (uint32_t split : {0u, 1u, 36u, 37u, 43u, 1591u, 4999u})
        for (uint32_t mode : {FILE_MODE_READ, FILE_MODE_READ | FILE_MODE_BUFFERED}) {
            CFile file;
            ASSERT_TRUE(file.Open(name.c_str(), mode));
            std::string back(5000, 0);
            uint32_t a = 0, b = 0;
            file.Read(back.data(), split, &a);
            file.Read(back.data() + split, 5000 - split, &b);
            EXPECT_EQ(data, back.substr(0, a + b)) << "split at " << split;
        }
    SetFileScrambling(false);
}

TEST(File, NameChecksReportOverlongNamesAndBadModesAreRefused)
{
    TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    const std::string longPart(43, 'n');
    dir.write(longPart, "y");
    dir.write("a.txt", "x");
    CFile file;
    EXPECT_TRUE(file.Open(longPart.c_str(), FILE_MODE_READ));  // reported, not blocked
    EXPECT_EQ(1, countReports("Can't open <" + longPart + "> - Filename exceeds 42 characters"));
    file.Close();
    EXPECT_FALSE(file.Open("sub\\\\a,b.", FILE_MODE_READ));
    EXPECT_EQ(1, countReports("Double backslashes found in path"));
    EXPECT_EQ(1, countReports("-  Characters =;+, not allowed"));
    EXPECT_EQ(1, countReports("Invalid extension"));
    testsupport::clearReports();
    EXPECT_TRUE(file.Open("A.TXT", FILE_MODE_READ));  // any case
    EXPECT_FALSE(file.Open("a.txt", FILE_MODE_READ));  // already open
    EXPECT_FALSE(file.Write("y", 1));
    file.Close();
    EXPECT_TRUE(testsupport::reports().empty());
    for (uint32_t mode : {FILE_MODE_READ | FILE_MODE_WRITE, uint32_t(FILE_MODE_BUFFERED)}) EXPECT_FALSE(file.Open("a.txt", mode)) << mode;

    // 259 characters is the longest name kept; 260 is refused.
    const std::string longest = std::string(200, 'a') + "\\" + std::string(58, 'b');
    EXPECT_TRUE(file.Open(longest.c_str(), FILE_MODE_WRITE));
    EXPECT_STREQ(longest.c_str(), file.GetName());
    file.Close();
    EXPECT_EQ(0, countReports("strlen(pFilenameIn) < MAX_PATH"));
    EXPECT_FALSE(file.Open((longest + "b").c_str(), FILE_MODE_WRITE));
    EXPECT_EQ(1, countReports("strlen(pFilenameIn) < MAX_PATH"));
    EXPECT_FALSE(FileExists((longest + "b").c_str()));
}

TEST(File, WritingCreatesMissingFoldersWithoutChangingTheWorkingFolder)
{
    TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    std::filesystem::create_directory(dir.file("data"));
    const auto before = std::filesystem::current_path();
    CFile file;
    ASSERT_TRUE(file.Open("data\\new\\sub\\file.dat", FILE_MODE_WRITE));
    EXPECT_TRUE(file.Write("z", 1));
    EXPECT_EQ(before, std::filesystem::current_path());
    EXPECT_TRUE(std::filesystem::exists(dir.file("data/new/sub/file.dat")));
    EXPECT_TRUE(createDirectoriesFor("plain.txt"));   // no folder: nothing to create
    for (const char* name : {"data\\new\\", "data\\x.txt"}) EXPECT_FALSE(createDirectoriesFor(name)) << name;  // a slash ends it; it exists

    // Fifteen missing folders are cut and made; a sixteenth cut fails and makes nothing.
    std::string deep = "d0", deeper = "e0";
    for (int i = 1; i < 15; ++i) deep += "\\d" + std::to_string(i);
    for (int i = 1; i < 16; ++i) deeper += "/e" + std::to_string(i);
    EXPECT_TRUE(createDirectoriesFor((deep + "\\f.txt").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("d0/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12/d13/d14")));
    EXPECT_FALSE(createDirectoriesFor((deeper + "/f.txt").c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir.file("e0")));
    EXPECT_FALSE(file.Open("missing\\f.txt", FILE_MODE_READ));  // reads never create folders
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

// Files held in memory are read, written, timed, listed, deleted and moved through the same calls,
// and the disk under them is never touched.
TEST(File, FilesHeldInMemoryServeTheFileCallsWithoutTheDisk)
{
    TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    namespace pt = platform::testing;
    const std::string data = testsupport::randomBytes(CFile::READ_BUFFER_SIZE + 300, 9);
    pt::setMemoryFile("data/Sub/f.bin", data.data(), data.size());
    for (uint32_t mode : {FILE_MODE_READ, FILE_MODE_READ | FILE_MODE_BUFFERED}) {
        CFile file;
        ASSERT_TRUE(file.Open("DATA\\sub\\F.BIN", mode));  // either slash, any case
        std::string got(data.size(), 0);
        uint32_t n = 0;
        ASSERT_TRUE(file.Seek(2, 100));
        ASSERT_TRUE(file.Read(got.data(), 1000, &n));
        ASSERT_TRUE(file.Seek(0, 5));
        EXPECT_EQ(data.substr(data.size() - 100), got.substr(0, n));
        // Held again while open: this handle keeps the bytes it opened.
        pt::setMemoryFile("data/sub/f.bin", "new", 3);
        EXPECT_TRUE(file.Read(got.data(), 10, &n));
        EXPECT_EQ(data.substr(5, 10), got.substr(0, n));
        pt::setMemoryFile("data/sub/f.bin", data.data(), data.size());
    }
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA("data\\sub"));
    for (const char* name : {"data\\sub", "data\\g.bin"}) EXPECT_FALSE(FileExists(name)) << name;
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("data/sub/f.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());

    // A held name takes writes. With the disk out of sight, a new name does too, folders and all, and
    // what is on the disk is not there.
    CFile file;
    ASSERT_TRUE(file.Open("data\\sub\\f.bin", FILE_MODE_WRITE));
    ASSERT_TRUE(file.Write("abc", 3));
    file.Close();
    dir.write("disk.txt", "d");
    pt::setMemoryFilesOnly(true);
    EXPECT_FALSE(FileExists("disk.txt"));
    EXPECT_FALSE(DeleteFileA("disk.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("none\\disk.txt"));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    ASSERT_TRUE(file.Open("out\\deep\\w.txt", FILE_MODE_WRITE));
    ASSERT_TRUE(file.WriteLong(7));
    file.Close();
    ASSERT_TRUE(file.Open("out\\deep\\w.txt", FILE_MODE_WRITE | FILE_MODE_APPEND));
    ASSERT_TRUE(file.Write("!", 1));
    const FILETIME stamp = {0x12345670u, 0x01D00000u};
    EXPECT_TRUE(file.SetLastWriteTime(&stamp));
    file.Close();
    pt::setMemoryFilesOnly(false);
    EXPECT_TRUE(FileExists("disk.txt"));
    std::string held;
    EXPECT_TRUE(pt::memoryFile("data/sub/f.bin", &held));
    EXPECT_EQ("abc", held);
    EXPECT_TRUE(pt::memoryFile("OUT/deep/w.txt", &held));
    EXPECT_EQ(std::string("\7\0\0\0!", 5), held);
    FILETIME back{};
    ASSERT_TRUE(file.Open("out/deep/w.txt", FILE_MODE_READ));
    ASSERT_TRUE(file.GetLastWriteTime(&back));
    EXPECT_EQ(std::make_pair(stamp.dwLowDateTime, stamp.dwHighDateTime), std::make_pair(back.dwLowDateTime, back.dwHighDateTime));
    file.Close();

    EXPECT_FALSE(MoveFileA("out\\deep\\w.txt", "data\\sub\\f.bin"));  // the target exists
    EXPECT_TRUE(MoveFileExA("out\\deep\\w.txt", "data\\sub\\f.bin", MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(FileExists("out\\deep\\w.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("out"));
    EXPECT_TRUE(pt::memoryFile("data/sub/f.bin", &held));
    EXPECT_EQ(5u, held.size());
    EXPECT_TRUE(MoveFileA("data\\sub\\f.bin", "moved.txt"));
    EXPECT_TRUE(FileExists("moved.txt"));
    EXPECT_TRUE(DeleteFileA("MOVED.TXT"));
    EXPECT_FALSE(FileExists("moved.txt"));

    // Nothing reached the disk but the file written there.
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    EXPECT_EQ("d", dir.read("disk.txt"));
    pt::clearMemoryFiles();
}

// Every time a file system keeps is a FILETIME: one a FILETIME cannot say (before 1601, after 30828)
// is held at the nearest it can, without overflow. A time read from one file and set on another
// reads back as it was read, as a cache set to its source's time must.
TEST(File, FileTimesReadBackAsSetAndThoseAFiletimeCannotSayAreHeldAtItsLimits)
{
    TempDir dir(testsupport::MEMORY_FOLDER);
    testsupport::ScopedCwd cwd(dir.path());
    const auto ticksOf = [](const FILETIME& t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
    constexpr uint64_t LARGEST = INT64_MAX;  // the largest FILETIME Windows takes: the top bit clear
    const timespec first = {-11644473600, 0}, last = {910692730085, 477580700};  // 1601-01-01 and LARGEST
    const struct { const char* what; timespec time; uint64_t ticks; timespec set; } times[] = {
        {"1960, with a fraction of a second", {-315619200, 123456700}, 113288544001234567ull, {-315619200, 123456700}},
        {"1601-01-01", first, 0, first},
        {"a moment before it", {-11644473601, 999999999}, 0, first},
        {"1336", {-20000000000, 0}, 0, first},
        {"the first 64-bit second", {INT64_MIN, 0}, 0, first},
        {"the largest FILETIME", last, LARGEST, last},
        {"the rest of its second", {910692730085, 999999999}, LARGEST, last},
        {"the next second, where the count overflowed", {910692730086, 0}, LARGEST, last},
        {"33658", {999999999999, 0}, LARGEST, last},
        {"the last 64-bit second", {INT64_MAX, 0}, LARGEST, last},
    };
    for (const auto& t : times) {
        SCOPED_TRACE(t.what);
        dir.write("source", "s");
        dir.write("cache", "c");
        const timespec both[2] = {t.time, t.time};
        struct stat st;
        if (utimensat(AT_FDCWD, "source", both, 0) != 0 || stat("source", &st) != 0 ||
            st.st_mtim.tv_sec != t.time.tv_sec || st.st_mtim.tv_nsec != t.time.tv_nsec) {
            std::cout << "skipped, as the file system of " << dir.path() << " does not keep it: " << t.what << "\n";
            continue;
        }
        CFile file;
        FILETIME read{}, back{};
        ASSERT_TRUE(file.Open("source", FILE_MODE_READ));
        ASSERT_TRUE(file.GetLastWriteTime(&read));
        file.Close();
        EXPECT_EQ(t.ticks, ticksOf(read));
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA("sou*", &entry);
        ASSERT_NE(INVALID_HANDLE_VALUE, search);
        FindClose(search);
        EXPECT_EQ(t.ticks, ticksOf(entry.ftLastWriteTime));

        ASSERT_TRUE(file.Open("cache", FILE_MODE_WRITE | FILE_MODE_APPEND));
        EXPECT_TRUE(file.SetLastWriteTime(&read));
        file.Close();
        ASSERT_EQ(stat("cache", &st), 0);
        EXPECT_EQ(std::make_pair(t.set.tv_sec, t.set.tv_nsec), std::make_pair(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
        ASSERT_TRUE(file.Open("cache", FILE_MODE_READ));
        ASSERT_TRUE(file.GetLastWriteTime(&back));
        file.Close();
        EXPECT_EQ(t.ticks, ticksOf(back));
    }
    EXPECT_TRUE(testsupport::reports().empty());

    // One with the top bit set is none Windows takes: refused, and the report names the file. Part
    // of a write, it is said whatever the file being read has said.
    CFile file;
    ASSERT_TRUE(file.Open("cache", FILE_MODE_WRITE | FILE_MODE_APPEND));
    ReadingFile reading("source");
    ASSERT_MSG(false, "source: its own fault");
    const FILETIME beyond = {0, 0x80000000u};
    EXPECT_FALSE(file.SetLastWriteTime(&beyond));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, file.LastError());
    EXPECT_EQ(1, countReports("SetFileTime error, please debug & check error code\n<cache>"));
}

// A file nobody may write is read-only for every user, root too: not written, deleted or replaced,
// though it may take a new name. Searches list a folder's names by pattern, held files with the
// disk's.
TEST(File, ReadOnlyFilesStayAndSearchesListAFolderByPattern)
{
    TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    dir.write("ro.txt", "kept");
    dir.write("new.txt", "new");
    std::filesystem::permissions(dir.file("ro.txt"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::group_read |
                                                         std::filesystem::perms::others_read);
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY, GetFileAttributesA("RO.TXT"));
    for (DWORD creation : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("ro.txt", GENERIC_WRITE, 0, nullptr, creation, 0, nullptr));
        EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError()) << creation;
    }
    EXPECT_FALSE(DeleteFileA("ro.txt"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(MoveFileExA("new.txt", "ro.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("kept", dir.read("ro.txt"));
    EXPECT_EQ("new", dir.read("new.txt"));
    CFile file;
    EXPECT_TRUE(file.Open("ro.txt", FILE_MODE_READ));
    file.Close();
    EXPECT_TRUE(MoveFileA("ro.txt", "moved.txt"));
    EXPECT_EQ("kept", dir.read("moved.txt"));

    dir.write("sub/~1a.tmp", "");
    dir.write("sub/~B2.TMP", "");
    dir.write("sub/x~1a.tmp", "");
    std::filesystem::create_directory(dir.file("sub/~d.tmp"));
    platform::testing::setMemoryFile("sub/~c3.tmp", "", 0);
    auto found = [](const char* pattern) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA(pattern, &entry);
        if (search == INVALID_HANDLE_VALUE) return names;
        do names.push_back(entry.cFileName + std::string(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "/" : ""));
        while (FindNextFileA(search, &entry));
        EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
        EXPECT_TRUE(FindClose(search));
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(found("SUB\\~*.tmp"), (std::vector<std::string>{"~1a.tmp", "~B2.TMP", "~c3.tmp", "~d.tmp/"}));
    EXPECT_EQ(found("sub/?1?.*"), (std::vector<std::string>{"~1a.tmp"}));
    EXPECT_TRUE(found("sub\\*.none").empty());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_TRUE(found("none\\*").empty());
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    platform::testing::setMemoryFilesOnly(true);
    EXPECT_EQ(found("sub\\*"), (std::vector<std::string>{"~c3.tmp"}));
    platform::testing::clearMemoryFiles();
    platform::testing::setMemoryFilesOnly(false);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

// Only files and folders are there to open: an open of a pipe or a device could wait for ever. A
// write past the file size limit fails as on a full disk, and the process goes on.
TEST(File, PipesAndDevicesCannotBeOpenedAndAWritePastTheSizeLimitIsAFullDisk)
{
    TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    // Both ends held here: an open that ought to be refused would not wait instead.
    const int ends = open(dir.file("pipe").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(ends, 0);
    std::filesystem::create_symlink("/dev/null", dir.file("device"));
    dir.write("kept.txt", "kept");
    for (const char* name : {"pipe", "device"}) {
        for (DWORD access : {DWORD(GENERIC_READ), DWORD(GENERIC_WRITE)})
            for (DWORD creation : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS}) {
                EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(name, access, 0, nullptr, creation, 0, nullptr))
                    << name << " " << access << " " << creation;
                EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
            }
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(name)) << name;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("*", &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_STREQ("kept.txt", entry.cFileName);
    EXPECT_FALSE(FindNextFileA(search, &entry));
    FindClose(search);
    close(ends);
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("pipe")));

    rlimit kept;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &kept), 0);
    rlimit small = kept;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    HANDLE file = CreateFileA("big.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string bytes(3000, 'b');
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    setrlimit(RLIMIT_FSIZE, &kept);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(1000u, written);
    EXPECT_EQ(ERROR_FILE_TOO_LARGE, error);
}

// A failed open keeps the system's code for it through the calls a report of it comes after, and
// each way a file call fails here gives the code a Windows program would get for it.
TEST(File, AFailedOpenKeepsItsWindowsCode)
{
    TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    dir.write("kept.txt", "k");
    std::filesystem::create_directory(dir.file("folder"));
    const std::string tooLong(256, 'n');  // longer than a name in a folder may be
    // A folder is no file to read: not there, as a missing one is not.
    const struct { const char* name; uint32_t mode; DWORD error; } opens[] = {
        {"missing.txt", FILE_MODE_READ, ERROR_FILE_NOT_FOUND},
        {"missing\\f.txt", FILE_MODE_READ | FILE_MODE_BUFFERED, ERROR_PATH_NOT_FOUND},
        {"folder", FILE_MODE_WRITE, ERROR_ACCESS_DENIED},
        {"folder", FILE_MODE_READ, ERROR_ACCESS_DENIED},
        {tooLong.c_str(), FILE_MODE_WRITE, ERROR_FILENAME_EXCED_RANGE}};
    for (const auto& c : opens) {
        CFile file;
        EXPECT_FALSE(file.Open(c.name, c.mode));
        EXPECT_TRUE(FileExists("kept.txt"));
        EXPECT_EQ(c.error, file.LastError()) << c.name;
        DWORD error = ERROR_SUCCESS;
        if (c.mode & FILE_MODE_READ) {
            EXPECT_FALSE(FileExists(c.name, 0, &error));
            EXPECT_EQ(c.error, error) << c.name;
            EXPECT_EQ(nullptr, unreadableCause(c.name, error)) << c.name;
        }
    }
    EXPECT_FALSE(MoveFileExA("kept.txt", tooLong.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, GetLastError());

    // No descriptor left.
    rlimit kept;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &kept), 0);
    const int next = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(next);
    rlimit none = kept;
    none.rlim_cur = static_cast<rlim_t>(next);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    CFile refused;
    const bool opened = refused.Open("kept.txt", FILE_MODE_READ);
    setrlimit(RLIMIT_NOFILE, &kept);
    EXPECT_FALSE(opened);
    EXPECT_EQ(ERROR_TOO_MANY_OPEN_FILES, refused.LastError());
    // Said of a file that is there; one that is not is still not found.
    EXPECT_EQ("Unreadable File (too many files are open):kept.txt",
              openFailureText("kept.txt", refused.LastError(), "kept.txt not found"));
    EXPECT_EQ("missing.txt not found", openFailureText("missing.txt", refused.LastError(), "missing.txt not found"));

    // The process's own memory, written where nothing is mapped: a device error.
    HANDLE memory = CreateFileA("/proc/self/mem", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD done = 0;
    EXPECT_FALSE(WriteFile(memory, "b", 1, &done, nullptr));
    EXPECT_EQ(ERROR_IO_DEVICE, GetLastError());
    CloseHandle(memory);
    // No test can fill a quota or the disk.
    const std::pair<int, DWORD> codes[] = {{EDQUOT, ERROR_DISK_QUOTA_EXCEEDED}, {ENOSPC, ERROR_DISK_FULL}};
    for (const auto& [err, error] : codes) EXPECT_EQ(error, platform::errorFromErrno(err)) << err;
}
