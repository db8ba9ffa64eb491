#include "winfile/PackFile.h"

#include "TestSupport.h"
#include "winfile/File.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

using testsupport::countReports;
using testsupport::reports;

namespace {

uint32_t le32(const std::string& bytes, size_t at)
{
    return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8) |
           (static_cast<uint8_t>(bytes[at + 2]) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
}

std::string le32Bytes(uint32_t v)
{
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

std::string randomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s(n, 0);
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

// Two different lower-case names with the same CRC, found by a birthday search.
std::pair<std::string, std::string> crcTwins()
{
    static std::pair<std::string, std::string> twins;
    if (!twins.first.empty()) return twins;
    std::unordered_map<uint32_t, std::string> seen;
    // Names must differ in more than 32 bits' span to collide, so they are spread over 8 letters.
    uint64_t state = 12345;
    for (;;) {
        std::string name(8, 'a');
        for (char& c : name) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            c = static_cast<char>('a' + (state >> 33) % 26);
        }
        auto [it, inserted] = seen.emplace(PackFileNameCrc(name.c_str()), name);
        if (!inserted) return twins = {it->second, name};
    }
}

// Reads a whole file through CFile, in one call or in pieces.
std::string readThroughCFile(const char* name, uint32_t mode = FILE_MODE_READ, uint32_t piece = 0)
{
    CFile file;
    if (!file.Open(name, mode)) return "<not opened>";
    std::string out(file.GetSize(), 0);
    uint32_t at = 0;
    while (at < out.size()) {
        uint32_t want = piece ? std::min<uint32_t>(piece, out.size() - at) : out.size() - at;
        uint32_t got = 0;
        if (!file.Read(&out[at], want, &got)) break;
        at += got;
    }
    out.resize(at);
    return out;
}

class PackFileTest : public ::testing::Test {
protected:
    void SetUp() override { PackFileInit(1); }
    void TearDown() override
    {
        PackFileSetSource(PACK_SOURCE_OFF);
        PackFileSetProgressFunc(nullptr);
        PackFileShutdown();
    }

    // Records the files by reading them through CFile, then builds the pack.
    void build(const char* pack, const std::vector<std::string>& names, int maxFiles = PACKFILE_BUILD_MAX_FILES,
               const char* log = nullptr)
    {
        ASSERT_TRUE(PackFileOpen(pack, PACKFILE_MODE_BUILD, maxFiles));
        PackFileSetSource(PACK_SOURCE_BUILD);
        for (const std::string& name : names) readThroughCFile(name.c_str());
        PackFileSetSource(PACK_SOURCE_OFF);
        PackFileClose(log);
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(PackFileTest, NameCrcOfKnownNames)
{
    EXPECT_EQ(0x8217891Cu, PackFileNameCrc(""));
    EXPECT_EQ(0xB3ABD68Au, PackFileNameCrc("abc"));
    EXPECT_EQ(0xB3ABD68Au, PackFileNameCrc("ABC"));
    EXPECT_EQ(PackFileNameCrc("data\\Foo.tga"), PackFileNameCrc("DATA\\foo.TGA"));
    EXPECT_NE(PackFileNameCrc("data\\foo.tga"), PackFileNameCrc("data/foo.tga"));
    // Only A-Z fold: no locale lower-casing of 8-bit letters.
    EXPECT_NE(PackFileNameCrc("\xC9"), PackFileNameCrc("\xE9"));
    EXPECT_NE(PackFileNameCrc("[a"), PackFileNameCrc("{a"));
}

TEST_F(PackFileTest, BuildsFromRecordedReadsAndReadsBackByteForByte)
{
    const std::string text = "hello pack\n";
    const std::string big = randomBytes(100000, 7);  // several read chunks and read buffers
    dir.write("data/Text.txt", text);
    dir.write("data/big.bin", big);
    dir.write("data/empty.dat", "");
    dir.write("data/unread.dat", "");
    dir.write("data/outside.txt", "kept out");

    ASSERT_TRUE(PackFileOpen("Test.pak", PACKFILE_MODE_BUILD, PACKFILE_BUILD_MAX_FILES));
    PackFileSetSource(PACK_SOURCE_BUILD);
    EXPECT_EQ(text, readThroughCFile("data\\text.txt", FILE_MODE_READ | FILE_MODE_BUFFERED));
    EXPECT_EQ(big, readThroughCFile("data\\big.bin"));
    readThroughCFile("DATA\\TEXT.TXT");  // the same file in other case: recorded once
    readThroughCFile("data\\outside.txt", FILE_MODE_READ | FILE_MODE_NOT_IN_PACK);
    {
        CFile opened;  // a file opened but never read is not recorded
        ASSERT_TRUE(opened.Open("data\\unread.dat", FILE_MODE_READ));
        CFile empty;  // an empty file read whole is
        ASSERT_TRUE(empty.Open("data\\empty.dat", FILE_MODE_READ));
        EXPECT_NE(nullptr, readWholeFile(empty, nullptr));
    }
    EXPECT_EQ(3, PackFileNumFiles());
    PackFileSetSource(PACK_SOURCE_OFF);
    PackFileClose("pack.log");
    EXPECT_FALSE(PackFileIsOpen());
    EXPECT_TRUE(reports().empty());

    // Layout: count, directory sorted by (CRC, offset), data in recording order, scrambled.
    const std::string pack = dir.read("Test.pak");
    ASSERT_EQ(4 + 36 + text.size() + big.size(), pack.size());
    ASSERT_EQ(3u, le32(pack, 0));
    struct Expected {
        const char* name;
        uint32_t offset;
        const std::string* data;
    };
    const std::string empty;
    const Expected expected[] = {{"data\\text.txt", 40, &text},
                                 {"data\\big.bin", 40 + static_cast<uint32_t>(text.size()), &big},
                                 {"data\\empty.dat", 40 + static_cast<uint32_t>(text.size() + big.size()), &empty}};
    uint32_t previous = 0;
    for (int i = 0; i < 3; ++i) {
        const uint32_t crc = le32(pack, 4 + 12 * i);
        EXPECT_LE(previous, crc);
        previous = crc;
        bool matched = false;
        for (const Expected& e : expected) {
            if (crc != PackFileNameCrc(e.name)) continue;
            matched = true;
            EXPECT_EQ(e.offset, le32(pack, 8 + 12 * i)) << e.name;
            EXPECT_EQ(e.data->size(), le32(pack, 12 + 12 * i)) << e.name;
        }
        EXPECT_TRUE(matched) << i;
    }
    // Every data byte is XORed with one key, and the key is not zero.
    const uint8_t key = static_cast<uint8_t>(pack[40]) ^ static_cast<uint8_t>(text[0]);
    EXPECT_NE(0, key);
    std::string plain = pack.substr(40);
    for (char& c : plain) c = static_cast<char>(c ^ key);
    EXPECT_EQ(text + big, plain);

    const std::string log = dir.read("pack.log");
    EXPECT_EQ(0u, log.find("Pack statistics:\r\nFiles: 3\r\nHeader: 40 bytes\r\n\r\n\r\nFilesize: 100051 bytes")) << log;
    char line[64];
    snprintf(line, sizeof line, "\r\n   1: %08X data\\big.bin\r\n", PackFileNameCrc("data\\big.bin"));
    EXPECT_NE(std::string::npos, log.find(line)) << log;

    // Read back with the originals gone.
    dir.write("data/big.bin", "changed on disk");
    ASSERT_TRUE(PackFileOpen("test.pak", PACKFILE_MODE_READ, 0));
    PackFileSetSource(PACK_SOURCE_READ);
    EXPECT_EQ(big, readThroughCFile("data\\big.bin", FILE_MODE_READ, 1000));
    EXPECT_EQ(text, readThroughCFile("Data\\Text.TXT", FILE_MODE_READ | FILE_MODE_BUFFERED));
    EXPECT_EQ(big, readThroughCFile("data\\big.bin", FILE_MODE_READ | FILE_MODE_BUFFERED));
    EXPECT_EQ("", readThroughCFile("data\\empty.dat"));
    // Not in the pack: no fall-back to the disk, unless kept out of the pack.
    EXPECT_EQ("<not opened>", readThroughCFile("data\\outside.txt"));
    EXPECT_EQ("kept out", readThroughCFile("data\\outside.txt", FILE_MODE_READ | FILE_MODE_NOT_IN_PACK));
    // The CRC tells the slashes apart.
    EXPECT_EQ("<not opened>", readThroughCFile("data/big.bin"));
    PackFileClose();
}

TEST_F(PackFileTest, SeeksWithinEntriesAndCutsAtTheirEnd)
{
    const std::string a = randomBytes(70000, 1), b = "second";
    dir.write("a.bin", a);
    dir.write("b.bin", b);
    build("p.pak", {"a.bin", "b.bin"});
    ASSERT_TRUE(PackFileOpen("p.pak", PACKFILE_MODE_READ, 0));
    const int ia = PackFileFind("A.BIN"), ib = PackFileFind("b.bin");
    ASSERT_GE(ia, 0);
    ASSERT_GE(ib, 0);
    EXPECT_EQ(-1, PackFileFind("c.bin"));
    EXPECT_EQ(70000u, PackFileEntrySize(ia));

    char buffer[70010];
    uint32_t got = 99;
    EXPECT_TRUE(PackFileRead(ib, 2, buffer, 100, &got));  // cut to the entry's end
    EXPECT_EQ("cond", std::string(buffer, got));
    EXPECT_TRUE(PackFileRead(ia, 69990, buffer, 100, &got));  // seeks back
    EXPECT_EQ(a.substr(69990), std::string(buffer, got));
    EXPECT_TRUE(PackFileRead(ia, 0, buffer, sizeof buffer, &got));  // three chunks
    EXPECT_EQ(a, std::string(buffer, got));
    EXPECT_TRUE(PackFileRead(ib, 6, buffer, 10, &got));  // at the end: nothing, and success
    EXPECT_EQ(0u, got);
    EXPECT_TRUE(PackFileRead(ib, 60, buffer, 10, &got));  // past the end: nothing either
    EXPECT_EQ(0u, got);
    EXPECT_TRUE(reports().empty());

    EXPECT_FALSE(PackFileRead(2, 0, buffer, 10, &got));
    EXPECT_FALSE(PackFileRead(-1, 0, buffer, 10, &got));
    EXPECT_EQ(2, countReports("Seeking on invalid file"));
    EXPECT_EQ(2, countReports("Index >= 0 && Index < NumFiles"));
    PackFileClose();
}

// A stream thread reads its file from the open pack while the main thread reads another; small
// unbuffered pieces make every piece a seek and a read of the pack's one handle.
TEST_F(PackFileTest, TwoThreadsReadTheirOwnBytesFromOnePack)
{
    const std::string contents[2] = {randomBytes(40000, 3), randomBytes(40000, 4)};
    const char* names[2] = {"one.wav", "two.wav"};
    for (int i = 0; i < 2; ++i) dir.write(names[i], contents[i]);
    build("s.pak", {names[0], names[1]});
    ASSERT_TRUE(PackFileOpen("s.pak", PACKFILE_MODE_READ, 0));
    PackFileSetSource(PACK_SOURCE_READ);
    std::atomic<int> wrong{0};
    auto reader = [&](int i) {
        for (int pass = 0; pass < 20; ++pass)
            if (readThroughCFile(names[i], FILE_MODE_READ, 997) != contents[i]) ++wrong;
    };
    std::thread stream(reader, 1);
    reader(0);
    stream.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_TRUE(reports().empty());
    PackFileClose();
}

TEST_F(PackFileTest, NamesSharingACrcAreToldApartByReadingOrder)
{
    const auto [first, second] = crcTwins();
    ASSERT_NE(first, second);
    ASSERT_EQ(PackFileNameCrc(first.c_str()), PackFileNameCrc(second.c_str()));
    dir.write(first, "first file");
    dir.write(second, "the second file");
    build("twins.pak", {first, second});
    EXPECT_EQ(1, countReports("Pack-file CRC conflict. Rename one of these files\n" + first + "\n" + second));
    EXPECT_EQ(1, countReports("FileInfo[i].CRC != FileInfo[j].CRC"));
    EXPECT_EQ(1u, reports().size());

    ASSERT_TRUE(PackFileOpen("twins.pak", PACKFILE_MODE_READ, 0));
    PackFileSetSource(PACK_SOURCE_READ);
    EXPECT_EQ("first file", readThroughCFile(first.c_str()));
    EXPECT_EQ("the second file", readThroughCFile(second.c_str()));
    // Once the pack has read past both, the last of the run answers.
    EXPECT_EQ("the second file", readThroughCFile(first.c_str()));
    PackFileClose();
}

TEST_F(PackFileTest, EmptyFilesSharingACrcCannotBeSorted)
{
    const auto [first, second] = crcTwins();
    dir.write(first, "");
    dir.write(second, "");
    ASSERT_TRUE(PackFileOpen("twins.pak", PACKFILE_MODE_BUILD, 5));
    PackFileAddFile(first.c_str());
    PackFileAddFile(second.c_str());
    PackFileClose();
    EXPECT_EQ(1, countReports("Sorting 2 identical packentries not allowed!"));
}

TEST_F(PackFileTest, RecordingRules)
{
    ASSERT_TRUE(PackFileOpen("Rec.pak", PACKFILE_MODE_BUILD, 2));
    dir.write("a", "1");
    dir.write("b", "22");
    dir.write("c", "333");
    EXPECT_EQ(1, PackFileAddFile("A"));
    EXPECT_EQ(0, PackFileAddFile("a"));  // the same name in other case
    EXPECT_EQ(2, PackFileAddFile("b"));
    EXPECT_TRUE(reports().empty());
    EXPECT_EQ(0, PackFileAddFile("c"));
    EXPECT_EQ(0, PackFileAddFile("c"));
    EXPECT_EQ(2, countReports("Can't write to pack-file <rec.pak> 2files exceeded"));
    EXPECT_EQ(2, countReports("NumFiles < MaxFiles"));
    EXPECT_EQ(2, PackFileNumFiles());
    testsupport::clearReports();

    // The add filter takes matching names instead of the pack.
    std::vector<std::string> filtered;
    PackFileSetAddCallback("SOUND\\", &filtered, [](void* context, const char* name) {
        static_cast<std::vector<std::string>*>(context)->push_back(name);
    });
    PackFileRecordFile("Data\\Sound\\Bang.WAV");
    EXPECT_EQ(std::vector<std::string>{"data\\sound\\bang.wav"}, filtered);
    PackFileSetAddCallback("other", nullptr, [](void*, const char*) {});
    EXPECT_EQ(1, countReports("CallbackString == NULL"));
    PackFileClearAddCallback();
    PackFileClearAddCallback();
    EXPECT_EQ(1, countReports("AddCallback != NULL"));
    PackFileRecordFile("Data\\Sound\\Bang.WAV");  // no filter: the pack, which is full
    EXPECT_EQ(1, countReports("files exceeded"));
    testsupport::clearReports();

    PackFileClose();
    EXPECT_EQ(4u + 24 + 3, dir.read("Rec.pak").size());
}

TEST_F(PackFileTest, ReportsOfMisuse)
{
    EXPECT_EQ(0, PackFileAddFile("x"));
    EXPECT_EQ(1, countReports("Can't add file <x> to pack file\nNo pack-file open"));
    PackFileClose();
    EXPECT_EQ(1, countReports("Can't close Pack-file - no pack-file open currently!"));
    EXPECT_FALSE(PackFileOpen("missing.pak", PACKFILE_MODE_READ, 0));
    EXPECT_EQ(1, countReports("Failed to open <missing.pak> for reading"));
    EXPECT_FALSE(PackFileOpen("Odd.pak", 7, 0));
    EXPECT_EQ(1, countReports("Illegal open mode for pack-file <odd.pak>"));
    EXPECT_FALSE(PackFileOpen("none.pak", PACKFILE_MODE_BUILD, 0));
    EXPECT_EQ(1, countReports("No max files specified when opening <none.pak> for writing"));
    EXPECT_FALSE(PackFileOpen("no\\such\\folder\\x.pak\\", PACKFILE_MODE_BUILD, 5));
    EXPECT_EQ(1, countReports("Failed to open <no\\such\\folder\\x.pak\\> for writing"));
    EXPECT_FALSE(PackFileIsOpen());
    testsupport::clearReports();

    // A build with nothing recorded still writes an empty pack.
    ASSERT_TRUE(PackFileOpen("empty.pak", PACKFILE_MODE_BUILD, 5));
    // Opening a second pack fails and leaves the first as it was.
    EXPECT_FALSE(PackFileOpen("Other.pak", PACKFILE_MODE_READ, 0));
    EXPECT_EQ(1, countReports("Can't open Pack-file <Other.pak>\nPack-file <empty.pak> already open"));
    EXPECT_EQ(1, countReports("!FileOpen"));
    EXPECT_EQ(1, PackFileAddFile("gone.txt"));  // vanishes before the build
    PackFileClose();
    EXPECT_EQ(1, countReports("Failed to open\ngone.txt"));
    EXPECT_EQ(std::string("\1\0\0\0", 4), dir.read("empty.pak").substr(0, 4));
    EXPECT_EQ(16u, dir.read("empty.pak").size());
    testsupport::clearReports();

    ASSERT_TRUE(PackFileOpen("empty2.pak", PACKFILE_MODE_BUILD, 5));
    PackFileClose();
    EXPECT_EQ(1, countReports("Why are you building a pack-file with no files ?"));
    EXPECT_EQ(std::string(4, '\0'), dir.read("empty2.pak"));

    ASSERT_TRUE(PackFileOpen("empty2.pak", PACKFILE_MODE_READ, 0));
    EXPECT_EQ(0, PackFileAddFile("x"));
    EXPECT_EQ(1, countReports("Can't add file <x> to pack file\nPack-file <empty2.pak> isn't open for write"));
    EXPECT_EQ(-1, PackFileFind("x"));
    PackFileClose();
}

TEST_F(PackFileTest, ALogThatCannotBeOpenedIsReportedAndTheBuildGoesOn)
{
    dir.write("a.txt", "abc");
    dir.write("logs/x", "");
    build("a.pak", {"a.txt"}, PACKFILE_BUILD_MAX_FILES, "logs");  // a folder cannot be written as a file
    EXPECT_EQ(1, countReports("Failed to open PackFile log file logs"));
    EXPECT_EQ(1, countReports("Log != NULL"));
    EXPECT_EQ(1u, reports().size());
    EXPECT_EQ(4u + 12 + 3, dir.read("a.pak").size());
}

TEST_F(PackFileTest, CloseForgetsTheDirectory)
{
    dir.write("a.txt", "abc");
    build("a.pak", {"a.txt"});
    ASSERT_TRUE(PackFileOpen("a.pak", PACKFILE_MODE_READ, 0));
    EXPECT_EQ(0, PackFileFind("a.txt"));
    PackFileClose();
    EXPECT_FALSE(PackFileIsOpen());
    EXPECT_EQ(0, PackFileNumFiles());
    EXPECT_EQ(-1, PackFileFind("a.txt"));
    // And the next open works without a new Init.
    testsupport::clearReports();
    ASSERT_TRUE(PackFileOpen("a.pak", PACKFILE_MODE_READ, 0));
    EXPECT_TRUE(reports().empty());
    PackFileClose();
}

TEST_F(PackFileTest, ProgressTextsThroughTheRenderSeam)
{
    static std::vector<std::string> shown;
    shown.clear();
    PackFileSetProgressFunc([](const char* text) { shown.push_back(text); });
    dir.write("a", "1");
    dir.write("b", "2");
    build("p.pak", {"a", "b"});
    const std::vector<std::string> expected = {"Building Pack-file. Please wait", "Building Pack-file. Please wait - 2",
                                               "Building Pack-file. Please wait - 1"};
    EXPECT_EQ(expected, shown);
}

TEST_F(PackFileTest, CorruptPacksFailToOpen)
{
    dir.write("a.txt", "abcdef");
    dir.write("b.txt", "ghij");
    build("good.pak", {"a.txt", "b.txt"});
    const std::string good = dir.read("good.pak");
    ASSERT_EQ(4u + 24 + 10, good.size());

    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string outside = good;
    outside.replace(12, 4, le32Bytes(20));  // an entry's size runs past the end
    std::string inHeader = good;
    inHeader.replace(8, 4, le32Bytes(4));  // an entry's data inside the directory
    const Case cases[] = {
        {"empty", ""},
        {"short count", "\1\0"},
        {"huge count", le32Bytes(0x7FFFFFFF) + std::string(100, 'x')},
        {"count beyond the file", le32Bytes(3) + good.substr(4)},
        {"directory cut", good.substr(0, 20)},
        {"entry past the end", outside},
        {"entry in the directory", inHeader},
    };
    for (const Case& c : cases) {
        testsupport::clearReports();
        dir.write("bad.pak", c.bytes);
        EXPECT_FALSE(PackFileOpen("bad.pak", PACKFILE_MODE_READ, 0)) << c.what;
        EXPECT_EQ(1, countReports("Something wrong with bad.pak")) << c.what;
        EXPECT_FALSE(PackFileIsOpen()) << c.what;
        EXPECT_EQ(-1, PackFileFind("a.txt")) << c.what;
    }

    // Random packs either fail or serve every entry within their bounds.
    for (uint32_t seed = 0; seed < 300; ++seed) {
        std::string bytes = randomBytes(seed % 97, seed);
        if (seed % 3 == 0 && bytes.size() >= 4) bytes.replace(0, 4, le32Bytes(seed % 8));
        dir.write("rnd.pak", bytes);
        if (!PackFileOpen("rnd.pak", PACKFILE_MODE_READ, 0)) continue;
        char buffer[128];
        for (int i = 0; i < PackFileNumFiles(); ++i) {
            uint32_t got = 0;
            PackFileRead(i, 0, buffer, sizeof buffer, &got);
            EXPECT_EQ(std::min<uint32_t>(PackFileEntrySize(i), sizeof buffer), got);
        }
        PackFileClose();
    }
}

}  // namespace
