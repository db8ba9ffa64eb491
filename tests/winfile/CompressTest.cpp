#include "winfile/Compress.h"
#include "TestSupport.h"
#include "winfile/File.h"
#include <gtest/gtest.h>
#include <zlib.h>
#include <string>
#include <vector>

using testsupport::countReports;
using testsupport::reports;

typedef std::vector<uint8_t> Bytes;

static Bytes randomBytes(size_t n, uint32_t seed) { const std::string s = testsupport::randomBytes(n, seed); return Bytes(s.begin(), s.end()); }

static Bytes deflated(const Bytes& source)
{
    Bytes out(source.size() + 12);
    uint32_t size = static_cast<uint32_t>(out.size());
    EXPECT_TRUE(deflateBuffer(source.data(), out.data(), static_cast<uint32_t>(source.size()), &size));
    out.resize(size);
    return out;
}

static Bytes inflated(const Bytes& packed, bool* ok = nullptr)
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

static uLongf zlibLength(const Bytes& source)
{
    Bytes out(compressBound(source.size()));
    uLongf length = out.size();
    compress(out.data(), &length, source.data(), source.size());
    return length;
}

// A buffer whose zlib form is exactly `saving` bytes shorter than itself.
static Bytes sourceSaving(uLongf saving)
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

TEST(CompressTest, BuffersAreStoredUnlessZlibSavesMoreThan13BytesAndRoundTrip)
{
    Bytes mixed = randomBytes(300000, 9);
    for (size_t i = 0; i < mixed.size(); i += 3) mixed[i] = 'a';
    const Bytes digits = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    // Header: F1 DE, stored flag, 0, then the plain and packed sizes; compressed data ends in a zero.
    const Bytes packedDigits = deflated(digits);
    EXPECT_EQ((Bytes{0xF1, 0xDE, 0x01, 0x00, 10, 0, 0, 0, 10, 0, 0, 0}), Bytes(packedDigits.begin(), packedDigits.begin() + 12));
    for (const Bytes& source : {digits, Bytes(1000, 0), sourceSaving(13), sourceSaving(14), mixed}) {
        const Bytes packed = deflated(source);
        const bool stored = zlibLength(source) + 13 >= source.size();
        EXPECT_EQ(packed[2], stored ? 1 : 0) << source.size();
        EXPECT_EQ(packed.size(), stored ? source.size() + 12 : zlibLength(source) + 13) << source.size();
        uint32_t size = 0;
        EXPECT_TRUE(getInflatedSize(packed.data(), static_cast<uint32_t>(packed.size()), &size));
        EXPECT_EQ(source.size(), size);
        EXPECT_EQ(source, inflated(packed));
    }
    EXPECT_TRUE(reports().empty());
}

TEST(CompressTest, BadSizesHeadersAndDataAreRefusedWithoutWritingPastTheBuffer)
{
    const Bytes source = randomBytes(50, 2), zeros(5000, 0);
    Bytes dest(61, 0xCC);
    uint32_t capacity = 61;
    EXPECT_FALSE(deflateBuffer(source.data(), dest.data(), 50, &capacity));  // needs 12 more than the source
    EXPECT_EQ(Bytes(61, 0xCC), dest);
    EXPECT_EQ(61u, capacity);
    EXPECT_EQ(1, countReports("Deflate dest buffer must be at least12bytes bigger than src"));
    EXPECT_FALSE(deflateBuffer(source.data(), dest.data(), 0, &capacity));
    EXPECT_EQ(1, countReports("sourceBytes > 0"));

    const Bytes stored = deflated(source), packed = deflated(zeros);
    Bytes out(6000);
    capacity = 4999;  // one byte too small a destination
    EXPECT_FALSE(inflateBuffer(packed.data(), out.data(), static_cast<uint32_t>(packed.size()), &capacity));
    capacity = 49;
    EXPECT_FALSE(inflateBuffer(stored.data(), out.data(), static_cast<uint32_t>(stored.size()), &capacity));
    EXPECT_EQ(2, countReports("Inflate: Output buffer too small"));

    Bytes swapped = stored, storedClaimsMore = stored, hugeClaim = packed;
    std::swap(swapped[0], swapped[1]);  // the magic as stored is F1 DE; its byte swap is refused
    storedClaimsMore[4] = 60;           // uncompressed 60, payload 50
    hugeClaim[7] = 0x7F;                // about 2 GB from a few bytes
    const std::pair<Bytes, uint32_t> cases[] = {
        {swapped, static_cast<uint32_t>(swapped.size())}, {stored, 11}, {stored, static_cast<uint32_t>(stored.size() - 1)},
        {packed, static_cast<uint32_t>(packed.size() - 14)}, {storedClaimsMore, static_cast<uint32_t>(storedClaimsMore.size())},
        {hugeClaim, static_cast<uint32_t>(hugeClaim.size())}};
    for (const auto& [bytes, given] : cases) {
        testsupport::clearReports();
        EXPECT_FALSE(getInflatedSize(bytes.data(), given, nullptr)) << given;
        capacity = 6000;
        EXPECT_FALSE(inflateBuffer(bytes.data(), out.data(), given, &capacity)) << given;
        EXPECT_EQ(1u, reports().size()) << given;
    }

    // Random data: only a valid header inflates, and then to exactly the size it declares.
    for (uint32_t seed = 0; seed < 2000; ++seed) {
        Bytes bytes = randomBytes(1 + seed % 64, seed);
        if (bytes.size() >= 2 && seed % 2) bytes[0] = 0xF1, bytes[1] = 0xDE;
        bool ok = false;
        uint32_t declared = 0;
        const Bytes result = inflated(bytes, &ok);
        if (!ok) continue;  // what inflates has the magic, and the size it declares
        ASSERT_GE(bytes.size(), 2u) << seed;
        EXPECT_EQ(std::make_pair(uint8_t(0xF1), uint8_t(0xDE)), std::make_pair(uint8_t(bytes[0]), uint8_t(bytes[1]))) << seed;
        EXPECT_TRUE(getInflatedSize(bytes.data(), static_cast<uint32_t>(bytes.size()), &declared)) << seed;
        EXPECT_EQ(declared, result.size()) << seed;
    }
}

TEST(CompressFileTest, FilesRoundTripInPlaceOrToAnotherNameAndEveryFailureIsReported)
{
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "Block { value " + std::to_string(i % 17) + " }\n";
    dir.write("state.pst", text);
    ASSERT_TRUE(deflateFile("state.pst"));
    EXPECT_LT(dir.read("state.pst").size(), text.size());
    ASSERT_TRUE(inflateFile("state.pst", "sub\\plain.txt"));
    EXPECT_EQ(text, dir.read("sub/plain.txt"));
    ASSERT_TRUE(inflateFile("state.pst"));
    EXPECT_EQ(text, dir.read("state.pst"));
    EXPECT_FALSE(inflateFile("missing.pst"));
    EXPECT_TRUE(reports().empty());  // silently
    EXPECT_FALSE(deflateFile("missing.pst"));
    EXPECT_EQ(1, countReports("Deflate file: Cannot open missing.pst"));
    dir.write("plain.txt", "not compressed at all");
    dir.write("empty.txt", "");
    EXPECT_FALSE(inflateFile("plain.txt", "out.txt"));
    EXPECT_FALSE(inflateFile("empty.txt"));

    EXPECT_EQ(1, countReports("Failed to inflate plain.txt. Bad header."));
    EXPECT_EQ(1, countReports("Failed to inflate empty.txt. Bad header."));
    EXPECT_FALSE(dir.exists("out.txt"));
    Bytes damaged = deflated(Bytes(5000, 0));  // a damaged stream fails in zlib
    damaged[14] ^= 0xFF, damaged[15] ^= 0xFF;
    dir.write("damaged.pst", std::string(damaged.begin(), damaged.end()));
    EXPECT_FALSE(inflateFile("damaged.pst"));
    EXPECT_EQ(1, countReports("Inflate failed on damaged.pst"));
    dir.write("folder/x", "");
    EXPECT_FALSE(deflateFile("state.pst", "folder"));
    ASSERT_TRUE(deflateFile("state.pst"));
    EXPECT_FALSE(inflateFile("state.pst", "folder"));
    EXPECT_EQ(2, countReports("Failed to write folder"));
}
