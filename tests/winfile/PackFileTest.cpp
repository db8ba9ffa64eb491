#include "winfile/PackFile.h"
#include "TestSupport.h"
#include "platform/testing.h"
#include "winfile/Compress.h"
#include "winfile/File.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

using testsupport::countReports;
using testsupport::reports;

using testsupport::randomBytes;

static uint32_t le32(const std::string& bytes, size_t at) { uint32_t v; std::memcpy(&v, &bytes[at], 4); return v; }
static std::string le32Bytes(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// Two different lower-case names of 8 letters with the same CRC, found by a birthday search.
static std::pair<std::string, std::string> crcTwins()
{
    std::unordered_map<uint32_t, std::string> seen;
    for (uint64_t state = 12345;;) {
        std::string name(8, 'a');
        for (char& c : name) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            c = static_cast<char>('a' + (state >> 33) % 26);
        }
        auto [it, inserted] = seen.emplace(PackFileNameCrc(name.c_str()), name);
        if (!inserted) return {it->second, name};
    }
}

// Reads a whole file through CFile, in one call or in pieces.
static std::string readThroughCFile(const char* name, uint32_t mode = FILE_MODE_READ, uint32_t piece = 0)
{
    CFile file;
    if (!file.Open(name, mode)) return "<not opened>";
    std::string out(file.GetSize(), 0);
    uint32_t at = 0, got = 0;
    for (; at < out.size(); at += got)
        if (!file.Read(&out[at], piece ? std::min<uint32_t>(piece, out.size() - at) : out.size() - at, &got)) break;
    out.resize(at);
    return out;
}

class PackFileTest : public ::testing::Test {
protected:
    void SetUp() override { PackFileInit(1); }
    void TearDown() override { PackFileSetSource(PACK_SOURCE_OFF), PackFileSetProgressFunc(nullptr), PackFileShutdown(); }
    // Records the files by reading them through CFile, then builds the pack.
    void build(const char* pack, const std::vector<std::string>& names)
    {
        ASSERT_TRUE(PackFileOpen(pack, PACKFILE_MODE_BUILD, PACKFILE_BUILD_MAX_FILES));
        PackFileSetSource(PACK_SOURCE_BUILD);
        for (const std::string& name : names) readThroughCFile(name.c_str());
        PackFileSetSource(PACK_SOURCE_OFF);
        PackFileClose();
    }
    void openToRead(const char* pack)
    {
        ASSERT_TRUE(PackFileOpen(pack, PACKFILE_MODE_READ, 0));
        PackFileSetSource(PACK_SOURCE_READ);
    }
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(PackFileTest, BuildsFromRecordedReadsAndReadsBackByteForByte)
{
    const std::string text = "hello pack\n", big = randomBytes(100000, 7);  // big: several chunks and buffers
    dir.write("data/Text.txt", text);
    dir.write("data/big.bin", big);
    for (const char* name : {"data/empty.dat", "data/unread.dat"}) dir.write(name, "");
    dir.write("data/outside.txt", "kept out");
    dir.write("state.pst", std::string(400, 'x'));
    static std::vector<std::string> shown;
    shown.clear();
    PackFileSetProgressFunc([](const char* text) { shown.push_back(text); });

    ASSERT_TRUE(PackFileOpen("Test.pak", PACKFILE_MODE_BUILD, PACKFILE_BUILD_MAX_FILES));
    PackFileSetSource(PACK_SOURCE_BUILD);
    EXPECT_EQ(text, readThroughCFile("data\\text.txt", FILE_MODE_READ | FILE_MODE_BUFFERED));
    EXPECT_EQ(big, readThroughCFile("data\\big.bin"));
    readThroughCFile("DATA\\TEXT.TXT");  // the same file in other case: recorded once
    readThroughCFile("data\\outside.txt", FILE_MODE_READ | FILE_MODE_NOT_IN_PACK);
    EXPECT_TRUE(deflateFile("state.pst"));  // the compressor keeps its source out of the pack
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
    ASSERT_EQ(4u, shown.size());
    EXPECT_EQ("Building Pack-file. Please wait - 1", shown.back());
    EXPECT_EQ(0u, dir.read("pack.log").find("Pack statistics:\r\nFiles: 3\r\n"));

    // Layout: count, directory (CRC, offset, size) sorted by CRC, data in recording order XORed with one key.
    const std::string pack = dir.read("Test.pak");
    ASSERT_EQ(4 + 36 + text.size() + big.size(), pack.size());
    ASSERT_EQ(3u, le32(pack, 0));
    std::vector<std::vector<uint32_t>> directory, expected = {
        {PackFileNameCrc("data\\text.txt"), 40, uint32_t(text.size())},
        {PackFileNameCrc("data\\big.bin"), 40 + uint32_t(text.size()), uint32_t(big.size())},
        {PackFileNameCrc("data\\empty.dat"), 40 + uint32_t(text.size() + big.size()), 0}};
    for (int i = 0; i < 3; ++i) directory.push_back({le32(pack, 4 + 12 * i), le32(pack, 8 + 12 * i), le32(pack, 12 + 12 * i)});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, directory);
    const uint8_t key = static_cast<uint8_t>(pack[40]) ^ static_cast<uint8_t>(text[0]);
    EXPECT_NE(0, key);
    std::string plain = pack.substr(40);
    for (char& c : plain) c = static_cast<char>(c ^ key);
    EXPECT_EQ(text + big, plain);

    // Read back with the originals gone.
    dir.write("data/big.bin", "changed on disk");
    openToRead("test.pak");
    EXPECT_EQ(big, readThroughCFile("data\\big.bin", FILE_MODE_READ, 1000));
    EXPECT_EQ(text, readThroughCFile("Data\\Text.TXT", FILE_MODE_READ | FILE_MODE_BUFFERED));
    EXPECT_EQ("", readThroughCFile("data\\empty.dat"));
    // Not in the pack: no fall-back to the disk, unless kept out of the pack; the CRC tells slashes apart.
    EXPECT_EQ("<not opened>", readThroughCFile("data\\outside.txt"));
    EXPECT_EQ("kept out", readThroughCFile("data\\outside.txt", FILE_MODE_READ | FILE_MODE_NOT_IN_PACK));
    EXPECT_EQ("<not opened>", readThroughCFile("data/big.bin"));
    PackFileClose();
}

TEST_F(PackFileTest, SeeksWithinEntriesCutsAtTheirEndAndCloseForgetsTheDirectory)
{
    const std::string a = randomBytes(70000, 1), b = "second";
    dir.write("a.bin", a);
    dir.write("b.bin", b);
    build("p.pak", {"a.bin", "b.bin"});
    ASSERT_TRUE(PackFileOpen("p.pak", PACKFILE_MODE_READ, 0));
    const int ia = PackFileFind("A.BIN"), ib = PackFileFind("b.bin");
    ASSERT_GE(ia, 0);
    ASSERT_GE(ib, 0);
    EXPECT_EQ(std::make_pair(-1, 70000u), std::make_pair(PackFileFind("c.bin"), PackFileEntrySize(ia)));
    char buffer[70010];
    uint32_t got = 99;
    // Cut to the entry's end; seeking back; three chunks; at and past the end nothing, and success.
    for (auto [entry, offset, length, wanted] : {std::tuple{ib, 2u, 100u, std::string("cond")}, {ia, 69990u, 100u, a.substr(69990)},
                                                {ia, 0u, uint32_t(sizeof buffer), a}, {ib, 6u, 10u, std::string()}, {ib, 60u, 10u, std::string()}}) {
        EXPECT_TRUE(PackFileRead(entry, offset, buffer, length, &got));
        EXPECT_EQ(wanted, std::string(buffer, got)) << offset;
    }
    PackFileClose();
    EXPECT_EQ(std::make_tuple(false, 0, -1), std::make_tuple(PackFileIsOpen(), PackFileNumFiles(), PackFileFind("a.bin")));
    EXPECT_TRUE(reports().empty());
}

// A stream thread reads its file from the open pack while the main thread reads another; small
// unbuffered pieces make every piece a seek and a read of the pack's one handle. The pack on disk
// and the same pack held in memory serve alike.
TEST_F(PackFileTest, TwoThreadsReadTheirOwnBytesFromOnePack)
{
    const std::string contents[2] = {randomBytes(40000, 3), randomBytes(40000, 4)};
    const char* names[2] = {"one.wav", "two.wav"};
    for (int i = 0; i < 2; ++i) dir.write(names[i], contents[i]);
    build("s.pak", {names[0], names[1]});
    const std::string pack = dir.read("s.pak");
    platform::testing::setMemoryFile("m.pak", pack.data(), pack.size());
    for (const char* name : {"s.pak", "m.pak"}) {
        openToRead(name);
        std::atomic<int> wrong{0};
        auto reader = [&](int i) {
            for (int pass = 0; pass < 20; ++pass)
                if (readThroughCFile(names[i], FILE_MODE_READ, 997) != contents[i]) ++wrong;
        };
        std::thread stream(reader, 1);
        reader(0);
        stream.join();
        EXPECT_EQ(0, wrong.load()) << name;
        PackFileClose();
    }
    platform::testing::clearMemoryFiles();
    EXPECT_FALSE(dir.exists("m.pak"));
    EXPECT_TRUE(reports().empty());
}

TEST_F(PackFileTest, NamesSharingACrcAreToldApartByReadingOrderUnlessBothAreEmpty)
{
    const auto [first, second] = crcTwins();
    ASSERT_NE(first, second);
    ASSERT_EQ(PackFileNameCrc(first.c_str()), PackFileNameCrc(second.c_str()));
    dir.write(first, "first file");
    dir.write(second, "the second file");
    build("twins.pak", {first, second});
    EXPECT_EQ(1, countReports("Pack-file CRC conflict. Rename one of these files\n" + first + "\n" + second));
    openToRead("twins.pak");
    EXPECT_EQ("first file", readThroughCFile(first.c_str()));
    EXPECT_EQ("the second file", readThroughCFile(second.c_str()));
    EXPECT_EQ("the second file", readThroughCFile(first.c_str()));  // once read past both, the last answers
    PackFileClose();
    dir.write(first, "");  // empty twins cannot be sorted
    dir.write(second, "");
    ASSERT_TRUE(PackFileOpen("twins.pak", PACKFILE_MODE_BUILD, 5));
    EXPECT_TRUE(PackFileAddFile(first.c_str()));
    EXPECT_TRUE(PackFileAddFile(second.c_str()));
    PackFileClose();
    EXPECT_EQ(1, countReports("Sorting 2 identical packentries not allowed!"));
}

TEST_F(PackFileTest, RecordingRulesAndMisuseReports)
{
    ASSERT_TRUE(PackFileOpen("Rec.pak", PACKFILE_MODE_BUILD, 2));
    for (const char* name : {"a", "b", "c"}) dir.write(name, name);
    // Indices from 1; the same name in other case and names past the limit give 0.
    for (auto [name, index] : {std::pair{"A", 1}, {"a", 0}, {"b", 2}, {"c", 0}}) EXPECT_EQ(index, PackFileAddFile(name)) << name;
    EXPECT_EQ(1, countReports("Can't write to pack-file <rec.pak> 2files exceeded"));
    // The add filter takes matching names instead of the pack.
    std::vector<std::string> filtered;
    PackFileSetAddCallback("SOUND\\", &filtered, [](void* context, const char* name) {
        static_cast<std::vector<std::string>*>(context)->push_back(name);
    });
    PackFileRecordFile("Data\\Sound\\Bang.WAV");
    EXPECT_EQ(std::vector<std::string>{"data\\sound\\bang.wav"}, filtered);
    PackFileClearAddCallback();
    EXPECT_FALSE(PackFileOpen("Other.pak", PACKFILE_MODE_READ, 0));  // a second pack: the first stays
    dir.write("logs/x", "");
    PackFileClose("logs");  // a folder cannot be written as a log: reported, and the build goes on
    EXPECT_EQ(1, countReports("Failed to open PackFile log file logs"));
    EXPECT_EQ(4u + 24 + 2, dir.read("Rec.pak").size());
    testsupport::clearReports();
    EXPECT_EQ(0, PackFileAddFile("x"));
    PackFileClose();
    for (auto [name, mode, maxFiles] : {std::tuple<const char*, int, int>{"missing.pak", PACKFILE_MODE_READ, 0}, {"Odd.pak", 7, 0},
                                        {"none.pak", PACKFILE_MODE_BUILD, 0}, {"no\\such\\x.pak\\", PACKFILE_MODE_BUILD, 5}})
        EXPECT_FALSE(PackFileOpen(name, mode, maxFiles)) << name;
    EXPECT_EQ(std::make_pair(false, size_t(6)), std::make_pair(PackFileIsOpen(), reports().size()));
    EXPECT_EQ(1, countReports("Illegal open mode for pack-file <odd.pak>"));

    // A file that vanishes before the build is reported and left out; an empty build writes a count of 0.
    ASSERT_TRUE(PackFileOpen("empty.pak", PACKFILE_MODE_BUILD, 5));
    EXPECT_EQ(1, PackFileAddFile("gone.txt"));
    PackFileClose();
    EXPECT_EQ(1, countReports("Failed to open\ngone.txt"));
    ASSERT_TRUE(PackFileOpen("empty.pak", PACKFILE_MODE_BUILD, 5));
    PackFileClose();
    EXPECT_EQ(std::string(4, '\0'), dir.read("empty.pak"));
}

TEST_F(PackFileTest, CorruptPacksFailToOpen)
{
    for (auto [name, contents] : {std::pair{"a.txt", "abcdef"}, {"b.txt", "ghij"}}) dir.write(name, contents);
    build("good.pak", {"a.txt", "b.txt"});
    const std::string good = dir.read("good.pak");  // 4 + 24 + 10 bytes
    std::string outside = good, inHeader = good;
    outside.replace(12, 4, le32Bytes(20));  // an entry's size runs past the end
    inHeader.replace(8, 4, le32Bytes(4));   // an entry's data inside the directory
    const std::string cases[] = {"", "\1\0", le32Bytes(0x7FFFFFFF) + std::string(100, 'x'), le32Bytes(3) + good.substr(4),
                                 good.substr(0, 20), outside, inHeader};
    for (const std::string& bytes : cases) {
        testsupport::clearReports();
        dir.write("bad.pak", bytes);
        EXPECT_FALSE(PackFileOpen("bad.pak", PACKFILE_MODE_READ, 0)) << bytes.size();
        EXPECT_EQ(1, countReports("Something wrong with bad.pak")) << bytes.size();
        EXPECT_EQ(std::make_pair(false, -1), std::make_pair(PackFileIsOpen(), PackFileFind("a.txt"))) << bytes.size();

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
