#include "winfile/File.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;

std::string winName(const TempDir& dir, const std::string& relative) { return dir.path() + "\\" + relative; }

std::string pattern(size_t n)
{
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

TEST(File, SeekOriginsAndBounds)
{
    TempDir dir;
    dir.write("f.bin", pattern(100));
    for (uint32_t mode : {FILE_MODE_READ, FILE_MODE_READ | FILE_MODE_BUFFERED}) {
        CFile file;
        ASSERT_TRUE(file.Open(dir.file("f.bin").c_str(), mode));
        EXPECT_EQ(100u, file.GetSize());
        EXPECT_TRUE(file.Seek(2, 10));
        EXPECT_EQ(90u, file.GetPosition());
        uint8_t b;
        ASSERT_TRUE(file.Read(&b, 1));
        EXPECT_EQ(static_cast<uint8_t>(pattern(100)[90]), b);
        EXPECT_FALSE(file.Seek(2, 101));
        EXPECT_TRUE(file.Seek(1, -91));
        EXPECT_EQ(0u, file.GetPosition());
        EXPECT_FALSE(file.Seek(1, -1));
        EXPECT_FALSE(file.Seek(3, 0));
        EXPECT_TRUE(file.Seek(0, 100));
        EXPECT_FALSE(file.Read(&b, 1));  // nothing left: false
    }
}

TEST(File, BufferedReadsRefillOnlyOutsideTheBuffer)
{
    TempDir dir;
    const std::string data = pattern(300000);
    dir.write("big.bin", data);
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("big.bin").c_str(), FILE_MODE_READ | FILE_MODE_BUFFERED));
    std::vector<char> got(1000);
    uint32_t n = 0;
    ASSERT_TRUE(file.Read(got.data(), 1000, &n));
    EXPECT_EQ(0, memcmp(got.data(), data.data(), 1000));

    // Change the disk under the reader: data still inside the buffer comes from the buffer.
    std::filesystem::resize_file(dir.file("big.bin"), 0);
    dir.write("big.bin", std::string(300000, 'X'));
    ASSERT_TRUE(file.Seek(0, 10));
    ASSERT_TRUE(file.Read(got.data(), 100, &n));
    EXPECT_EQ(0, memcmp(got.data(), data.data() + 10, 100));
    // Outside the buffer it refills from the logical position.
    ASSERT_TRUE(file.Seek(0, 200000));
    ASSERT_TRUE(file.Read(got.data(), 10, &n));
    EXPECT_EQ(std::string(10, 'X'), std::string(got.data(), 10));
}

TEST(File, ReadsAcrossBufferBoundariesAndCutsAtTheEnd)
{
    TempDir dir;
    const std::string data = pattern(CFile::READ_BUFFER_SIZE * 2 + 77);
    dir.write("x.bin", data);
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("x.bin").c_str(), FILE_MODE_READ | FILE_MODE_BUFFERED));
    ASSERT_TRUE(file.Seek(0, CFile::READ_BUFFER_SIZE - 5));
    std::vector<char> got(data.size());
    uint32_t n = 0;
    ASSERT_TRUE(file.Read(got.data(), static_cast<uint32_t>(data.size()), &n));
    EXPECT_EQ(data.size() - (CFile::READ_BUFFER_SIZE - 5), n);
    EXPECT_EQ(0, memcmp(got.data(), data.data() + CFile::READ_BUFFER_SIZE - 5, n));
}

TEST(File, ReadLineRules)
{
    TempDir dir;
    dir.write("t.txt", std::string("one\ntwo\0three\nabcdefgh", 23));
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("t.txt").c_str(), FILE_MODE_READ));  // unbuffered: ReadLine makes a buffer
    char line[6];
    uint32_t count = 0;
    EXPECT_EQ(nullptr, file.ReadLine(line, 1, &count));
    ASSERT_NE(nullptr, file.ReadLine(line, sizeof line, &count));
    EXPECT_STREQ("one\n", line);
    EXPECT_EQ(4u, count);
    ASSERT_NE(nullptr, file.ReadLine(line, sizeof line));
    EXPECT_STREQ("two", line);  // the NUL ends the line and is not stored
    ASSERT_NE(nullptr, file.ReadLine(line, sizeof line));
    EXPECT_STREQ("three", line);  // size - 1 characters
    ASSERT_NE(nullptr, file.ReadLine(line, sizeof line));
    EXPECT_STREQ("\n", line);
    ASSERT_NE(nullptr, file.ReadLine(line, sizeof line));
    EXPECT_STREQ("abcde", line);
    ASSERT_NE(nullptr, file.ReadLine(line, sizeof line));
    EXPECT_STREQ("fgh", line);  // the end of the file
    EXPECT_EQ(nullptr, file.ReadLine(line, sizeof line));
}

TEST(File, WriteTextAndAppend)
{
    TempDir dir;
    const std::string name = dir.file("w.txt");
    {
        CFile file;
        ASSERT_TRUE(file.Open(name.c_str(), FILE_MODE_WRITE));
        EXPECT_EQ(4u, file.WriteText("a\nb", true));
        EXPECT_EQ(0u, file.WriteText("\n", false));
        EXPECT_EQ(8u, file.GetSize());
    }
    EXPECT_EQ("a\r\nb\r\n\r\n", dir.read("w.txt"));
    {
        CFile file;
        ASSERT_TRUE(file.Open(name.c_str(), FILE_MODE_WRITE | FILE_MODE_APPEND));
        EXPECT_EQ(8u, file.GetPosition());
        EXPECT_TRUE(file.WriteLong(0x04030201));
        EXPECT_TRUE(file.WriteShort(0x0605));
    }
    EXPECT_EQ(std::string("a\r\nb\r\n\r\n\x01\x02\x03\x04\x05\x06"), dir.read("w.txt"));
    {
        CFile file;
        ASSERT_TRUE(file.Open(name.c_str(), FILE_MODE_WRITE));  // without append: truncated
    }
    EXPECT_EQ("", dir.read("w.txt"));
}

TEST(File, IntegersAndLengthPrefixedStrings)
{
    TempDir dir;
    dir.write("s.bin", std::string("\x05\x00\x00\x00hello\x09\x00\x00\x00tiny\x01\x02", 19));
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("s.bin").c_str(), FILE_MODE_READ | FILE_MODE_BUFFERED));
    char buffer[8];
    uint32_t length = 0;
    ASSERT_TRUE(file.ReadString(buffer, sizeof buffer, &length));
    EXPECT_EQ("hello", std::string(buffer, length));
    EXPECT_FALSE(file.ReadString(buffer, 8, &length));  // 9 is above the capacity
    uint32_t value = 0;
    EXPECT_TRUE(file.ReadLong(&value));
    EXPECT_EQ(0x796E6974u, value);  // "tiny"
    uint16_t half = 0;
    EXPECT_TRUE(file.ReadShort(&half));
    EXPECT_EQ(0x0201, half);
    EXPECT_FALSE(file.ReadShort(&half));
}

TEST(File, ScramblingDependsOnlyOnThePosition)
{
    TempDir dir;
    const std::string data = pattern(5000);
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
    for (uint32_t split : {0u, 1u, 36u, 37u, 43u, 1591u, 4999u}) {
        for (uint32_t mode : {FILE_MODE_READ, FILE_MODE_READ | FILE_MODE_BUFFERED}) {
            CFile file;
            ASSERT_TRUE(file.Open(name.c_str(), mode));
            std::string back(5000, 0);
            uint32_t a = 0, b = 0;
            file.Read(back.data(), split, &a);
            file.Read(back.data() + split, 5000 - split, &b);
            EXPECT_EQ(5000u, a + b);
            EXPECT_EQ(data, back) << "split at " << split;
        }
    }
    SetFileScrambling(false);
}

TEST(File, NameChecksReportButDoNotBlock)
{
    TempDir dir;
    dir.write("a.txt", "x");
    const std::string longPart(43, 'n');
    dir.write(longPart, "y");
    CFile file;
    EXPECT_TRUE(file.Open(winName(dir, longPart).c_str(), FILE_MODE_READ));
    ASSERT_EQ(1u, testsupport::reports().size());
    EXPECT_EQ("Can't open <" + winName(dir, longPart) + "> - Filename exceeds 42 characters",
              testsupport::reports()[0].message);
    file.Close();

    testsupport::clearReports();
    EXPECT_FALSE(file.Open((dir.path() + "\\\\a,b.").c_str(), FILE_MODE_READ));
    EXPECT_EQ(1, testsupport::countReports("Double backslashes found in path"));
    EXPECT_EQ(1, testsupport::countReports("-  Characters =;+, not allowed"));
    EXPECT_EQ(1, testsupport::countReports("Invalid extension"));

    testsupport::clearReports();
    EXPECT_TRUE(file.Open(winName(dir, "A.TXT").c_str(), FILE_MODE_READ));  // any case
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST(File, OverlongNamesAreRefused)
{
    const std::string name = "data\\" + std::string(300, 'q') + ".txt";
    CFile file;
    EXPECT_FALSE(file.Open(name.c_str(), FILE_MODE_WRITE));
    EXPECT_EQ(1, testsupport::countReports("strlen(pFilenameIn) < MAX_PATH"));
    EXPECT_FALSE(FileExists(name.c_str()));

    // 259 characters is the longest name kept; 260 is refused.
    TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    const std::string longest = std::string(200, 'a') + "\\" + std::string(58, 'b');
    ASSERT_EQ(259u, longest.size());
    testsupport::clearReports();
    EXPECT_TRUE(file.Open(longest.c_str(), FILE_MODE_WRITE));
    EXPECT_STREQ(longest.c_str(), file.GetName());
    file.Close();
    EXPECT_EQ(0, testsupport::countReports("strlen(pFilenameIn) < MAX_PATH"));
    EXPECT_FALSE(file.Open((longest + "b").c_str(), FILE_MODE_WRITE));
    EXPECT_EQ(1, testsupport::countReports("strlen(pFilenameIn) < MAX_PATH"));
}

TEST(File, ModesThatAreRefused)
{
    TempDir dir;
    dir.write("m.txt", "x");
    CFile file;
    EXPECT_FALSE(file.Open(dir.file("m.txt").c_str(), FILE_MODE_READ | FILE_MODE_WRITE));
    EXPECT_FALSE(file.Open(dir.file("m.txt").c_str(), FILE_MODE_BUFFERED));
    EXPECT_FALSE(file.Open(dir.file("missing.txt").c_str(), FILE_MODE_READ));
    EXPECT_TRUE(file.Open(dir.file("m.txt").c_str(), FILE_MODE_READ | 128));
    EXPECT_FALSE(file.Open(dir.file("m.txt").c_str(), FILE_MODE_READ));  // already open
    EXPECT_FALSE(file.Write("y", 1));
    EXPECT_TRUE(FileExists(dir.file("m.txt").c_str()));
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
    file.Close();
    EXPECT_EQ(before, std::filesystem::current_path());
    EXPECT_EQ("z", dir.read("data/new/sub/file.dat"));
    EXPECT_TRUE(createDirectoriesFor("plain.txt"));   // no folder: nothing to create
    EXPECT_FALSE(createDirectoriesFor("data\\new\\"));  // ends with a slash
    EXPECT_FALSE(createDirectoriesFor("data\\x.txt"));  // the folder exists already
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

TEST(File, LastWriteTimeRoundTripsExactly)
{
    TempDir dir;
    dir.write("t.tga", "x");
    FILETIME time{0x12345677u, 0x01D00000u};
    {
        CFile file;
        ASSERT_TRUE(file.Open(dir.file("t.tga").c_str(), FILE_MODE_WRITE | FILE_MODE_APPEND));
        EXPECT_TRUE(file.SetLastWriteTime(&time));
    }
    CFile file;
    ASSERT_TRUE(file.Open(dir.file("t.tga").c_str(), FILE_MODE_READ));
    FILETIME back{};
    EXPECT_TRUE(file.GetLastWriteTime(&back));
    EXPECT_EQ(time.dwLowDateTime, back.dwLowDateTime);
    EXPECT_EQ(time.dwHighDateTime, back.dwHighDateTime);
    file.Close();
    EXPECT_FALSE(file.GetLastWriteTime(&back));
    EXPECT_EQ(1, testsupport::countReports("isOpen"));
}

}  // namespace
