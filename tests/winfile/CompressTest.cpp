#include "winfile/Compress.h"

#include "TestSupport.h"
#include "winfile/File.h"
#include "winfile/PackFile.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using testsupport::countReports;
using testsupport::reports;

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes randomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (uint8_t& c : b) c = static_cast<uint8_t>(rng());
    return b;
}

Bytes deflated(const Bytes& source)
{
    Bytes out(source.size() + 12);
    uint32_t size = static_cast<uint32_t>(out.size());
    EXPECT_TRUE(deflateBuffer(source.data(), out.data(), static_cast<uint32_t>(source.size()), &size));
    out.resize(size);
    return out;
}

Bytes inflated(const Bytes& packed, bool* ok = nullptr)
{
    uint32_t size = 0;
    if (!getInflatedSize(packed.data(), static_cast<uint32_t>(packed.size()), &size)) size = 16;
    Bytes out(size + 1);
    uint32_t capacity = size;
    bool result = inflateBuffer(packed.data(), out.data(), static_cast<uint32_t>(packed.size()), &capacity);
    if (ok) *ok = result;
    out.resize(result ? capacity : 0);
    return out;
}

uint32_t le32(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24); }

uLongf zlibLength(const Bytes& source)
{
    Bytes out(compressBound(source.size()));
    uLongf length = out.size();
    compress(out.data(), &length, source.data(), source.size());
    return length;
}

// A buffer whose zlib form is exactly `saving` bytes shorter than itself.
Bytes sourceSaving(uLongf saving)
{
    const Bytes prefix = randomBytes(200, 3);
    for (size_t zeros = 0; zeros < 4000; ++zeros) {
        Bytes source(prefix);
        source.resize(prefix.size() + zeros, 0);
        if (zlibLength(source) + saving == source.size()) return source;
    }
    ADD_FAILURE() << "no buffer found";
    return {};
}

TEST(CompressTest, SmallBuffersAreStored)
{
    const Bytes source = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    const Bytes packed = deflated(source);
    ASSERT_EQ(22u, packed.size());
    EXPECT_EQ((Bytes{0xF1, 0xDE, 0x01, 0x00, 10, 0, 0, 0, 10, 0, 0, 0}), Bytes(packed.begin(), packed.begin() + 12));
    EXPECT_EQ(source, Bytes(packed.begin() + 12, packed.end()));
    EXPECT_EQ(source, inflated(packed));
    EXPECT_TRUE(reports().empty());
}

TEST(CompressTest, CompressibleBuffersAreCompressedWithATrailingZero)
{
    const Bytes zeros(1000, 0);
    const Bytes packed = deflated(zeros);
    EXPECT_EQ(0xF1, packed[0]);
    EXPECT_EQ(0xDE, packed[1]);
    EXPECT_EQ(0, packed[2]);
    EXPECT_EQ(1000u, le32(packed, 4));
    EXPECT_EQ(zlibLength(zeros), le32(packed, 8));
    EXPECT_EQ(le32(packed, 8) + 13, packed.size());
    EXPECT_EQ(0, packed.back());
    uint32_t size = 0;
    EXPECT_TRUE(getInflatedSize(packed.data(), static_cast<uint32_t>(packed.size()), &size));
    EXPECT_EQ(1000u, size);
    EXPECT_EQ(zeros, inflated(packed));

    Bytes mixed = randomBytes(300000, 9);
    for (size_t i = 0; i < mixed.size(); i += 3) mixed[i] = 'a';
    const Bytes packedMixed = deflated(mixed);
    EXPECT_LT(packedMixed.size(), mixed.size());
    EXPECT_EQ(mixed, inflated(packedMixed));
    EXPECT_TRUE(reports().empty());
}

TEST(CompressTest, ASavingOfExactly13BytesIsStored)
{
    const Bytes even = sourceSaving(13);
    const Bytes packed = deflated(even);
    EXPECT_EQ(1, packed[2]);
    EXPECT_EQ(even.size() + 12, packed.size());
    EXPECT_EQ(even, inflated(packed));

    const Bytes better = sourceSaving(14);
    const Bytes packedBetter = deflated(better);
    EXPECT_EQ(0, packedBetter[2]);
    EXPECT_EQ(better.size() - 1, packedBetter.size());
    EXPECT_EQ(better, inflated(packedBetter));
}

TEST(CompressTest, DeflateRefusesASmallDestinationWithoutWriting)
{
    const Bytes source = randomBytes(100, 1);
    Bytes dest(111, 0xCC);
    uint32_t capacity = 111;
    EXPECT_FALSE(deflateBuffer(source.data(), dest.data(), 100, &capacity));
    EXPECT_EQ(Bytes(111, 0xCC), dest);
    EXPECT_EQ(111u, capacity);
    EXPECT_EQ(1, countReports("Deflate dest buffer must be at least12bytes bigger than src"));
    EXPECT_EQ(1, countReports("destBytes >= sourceBytes+sizeof(SDeflateHeader)"));

    EXPECT_FALSE(deflateBuffer(source.data(), dest.data(), 0, &capacity));
    EXPECT_EQ(1, countReports("sourceBytes > 0"));
}

TEST(CompressTest, InflateChecksTheHeaderAgainstTheData)
{
    const Bytes source = randomBytes(50, 2);
    Bytes zeros(5000, 0);
    const Bytes stored = deflated(source), packed = deflated(zeros);
    Bytes out(6000);
    uint32_t capacity;

    // One byte too small a destination.
    capacity = 4999;
    EXPECT_FALSE(inflateBuffer(packed.data(), out.data(), static_cast<uint32_t>(packed.size()), &capacity));
    capacity = 49;
    EXPECT_FALSE(inflateBuffer(stored.data(), out.data(), static_cast<uint32_t>(stored.size()), &capacity));
    EXPECT_EQ(2, countReports("Inflate: Output buffer too small"));
    testsupport::clearReports();

    // The magic as stored is F1 DE; its byte swap is rejected.
    Bytes swapped = stored;
    std::swap(swapped[0], swapped[1]);
    EXPECT_FALSE(getInflatedSize(swapped.data(), static_cast<uint32_t>(swapped.size()), nullptr));
    capacity = 6000;
    EXPECT_FALSE(inflateBuffer(swapped.data(), out.data(), static_cast<uint32_t>(swapped.size()), &capacity));
    EXPECT_EQ(1, countReports("Inflate: Data header is invalid"));
    testsupport::clearReports();

    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t given;
    };
    Bytes storedClaimsMore = stored;
    storedClaimsMore[4] = 60;  // uncompressed 60, payload 50
    Bytes hugeClaim = packed;
    hugeClaim[7] = 0x7F;  // about 2 GB from a few bytes
    const Case cases[] = {
        {"under a header", Bytes(stored.begin(), stored.begin() + 11), 11},
        {"stored, cut", stored, static_cast<uint32_t>(stored.size() - 1)},
        {"compressed, cut", packed, static_cast<uint32_t>(packed.size() - 14)},
        {"stored sizes differ", storedClaimsMore, static_cast<uint32_t>(storedClaimsMore.size())},
        {"impossible ratio", hugeClaim, static_cast<uint32_t>(hugeClaim.size())},
    };
    for (const Case& c : cases) {
        testsupport::clearReports();
        EXPECT_FALSE(getInflatedSize(c.bytes.data(), c.given, nullptr)) << c.what;
        capacity = 6000;
        EXPECT_FALSE(inflateBuffer(c.bytes.data(), out.data(), c.given, &capacity)) << c.what;
        EXPECT_EQ(1u, reports().size()) << c.what;
    }

    // A damaged stream fails in zlib, without a report.
    testsupport::clearReports();
    Bytes damaged = packed;
    damaged[14] ^= 0xFF;
    damaged[15] ^= 0xFF;
    capacity = 6000;
    EXPECT_FALSE(inflateBuffer(damaged.data(), out.data(), static_cast<uint32_t>(damaged.size()), &capacity));
}

TEST(CompressTest, RandomDataNeverInflatesOutOfBounds)
{
    for (uint32_t seed = 0; seed < 2000; ++seed) {
        Bytes bytes = randomBytes(1 + seed % 64, seed);
        if (bytes.size() >= 2 && seed % 2) {
            bytes[0] = 0xF1;
            bytes[1] = 0xDE;
        }
        bool ok = false;
        Bytes out = inflated(bytes, &ok);
        // Only a valid header inflates, and then to exactly the size it declares.
        if (bytes.size() < 2 || bytes[0] != 0xF1 || bytes[1] != 0xDE) {
            EXPECT_FALSE(ok) << seed;
        }
        uint32_t declared = 0;
        if (ok) {
            ASSERT_TRUE(getInflatedSize(bytes.data(), static_cast<uint32_t>(bytes.size()), &declared));
            EXPECT_EQ(out.size(), declared) << seed;
        }
    }
}

class CompressFileTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

TEST_F(CompressFileTest, FilesRoundTripInPlaceAndToAnotherName)
{
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "Block { value " + std::to_string(i % 17) + " }\n";
    dir.write("state.pst", text);
    ASSERT_TRUE(deflateFile("state.pst"));
    const std::string packed = dir.read("state.pst");
    EXPECT_LT(packed.size(), text.size());
    EXPECT_EQ("\xF1\xDE", packed.substr(0, 2));
    ASSERT_TRUE(inflateFile("state.pst", "sub\\plain.txt"));
    EXPECT_EQ(text, dir.read("sub/plain.txt"));
    ASSERT_TRUE(inflateFile("state.pst"));
    EXPECT_EQ(text, dir.read("state.pst"));
    EXPECT_TRUE(reports().empty());
}

TEST_F(CompressFileTest, FileReports)
{
    EXPECT_FALSE(inflateFile("missing.pst"));
    EXPECT_TRUE(reports().empty());  // silently

    EXPECT_FALSE(deflateFile("missing.pst"));
    EXPECT_EQ(1, countReports("Deflate file: Cannot open missing.pst"));

    dir.write("plain.txt", "not compressed at all");
    EXPECT_FALSE(inflateFile("plain.txt", "out.txt"));
    EXPECT_EQ(1, countReports("Failed to inflate plain.txt. Bad header."));
    EXPECT_FALSE(dir.exists("out.txt"));

    dir.write("empty.txt", "");
    EXPECT_FALSE(inflateFile("empty.txt"));
    EXPECT_EQ(1, countReports("Failed to inflate empty.txt. Bad header."));

    Bytes zeros(5000, 0);
    Bytes damaged = deflated(zeros);
    damaged[14] ^= 0xFF;
    damaged[15] ^= 0xFF;
    dir.write("damaged.pst", std::string(damaged.begin(), damaged.end()));
    EXPECT_FALSE(inflateFile("damaged.pst"));
    EXPECT_EQ(1, countReports("Inflate failed on damaged.pst"));

    dir.write("folder/x", "");
    dir.write("good.txt", "text text text text text text text text text text text text");
    EXPECT_FALSE(deflateFile("good.txt", "folder"));
    EXPECT_EQ(1, countReports("Failed to write folder"));
    ASSERT_TRUE(deflateFile("good.txt"));
    EXPECT_FALSE(inflateFile("good.txt", "folder"));
    EXPECT_EQ(2, countReports("Failed to write folder"));
}

TEST_F(CompressFileTest, DeflateFileKeepsItsSourceOutOfAPackBuild)
{
    dir.write("state.pst", std::string(400, 'x'));
    PackFileInit(1);
    ASSERT_TRUE(PackFileOpen("build.pak", PACKFILE_MODE_BUILD, 10));
    PackFileSetSource(PACK_SOURCE_BUILD);
    EXPECT_TRUE(deflateFile("state.pst"));
    EXPECT_EQ(0, PackFileNumFiles());
    EXPECT_TRUE(inflateFile("state.pst"));  // an ordinary read: recorded
    EXPECT_EQ(1, PackFileNumFiles());
    PackFileSetSource(PACK_SOURCE_OFF);
    PackFileClose();
    PackFileShutdown();
    EXPECT_EQ(std::string(400, 'x'), dir.read("state.pst"));
}

}  // namespace
