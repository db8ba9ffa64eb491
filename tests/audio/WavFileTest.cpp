#include "TestSupport.h"
#include "WavWriter.h"
#include "audio/WavFile.h"

#include <gtest/gtest.h>

#include <vector>

using namespace wavtest;
using testsupport::countReports;

namespace {

class WavFileTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
};

}  // namespace

TEST_F(WavFileTest, ReadsTheFormatAndSkipsToTheDataWhateverLiesBetween)
{
    struct Case {
        const char* name;
        Layout layout;
        size_t length;
        bool oddReport;
    } cases[] = {
        {"mono16.wav", {1, 22050, 16, 16, ""}, 1000, false},
        {"extra.wav", {1, 22050, 16, 18, chunk("LIST", "INFOtext")}, 1000, false},
        {"odd.wav", {1, 22050, 16, 16, ""}, 1001, true},
        {"stereo.wav", {2, 44100, 16, 16, chunk("fact", u32(7)) + chunk("LIST", "x")}, 4000, false},
        {"mono8.wav", {1, 11025, 8, 16, ""}, 333, false},
    };
    for (const Case& c : cases) {
        const std::string data = pattern(c.length, static_cast<unsigned>(c.length));
        dir.write(c.name, wav(c.layout, data));
        testsupport::clearReports();
        CWavFile wave;
        ASSERT_TRUE(wave.Open(c.name)) << c.name;
        EXPECT_EQ(std::vector<uint32_t>({wave.GetNumChannels(), wave.GetSamplesPerSec(), wave.GetBitsPerSample(), wave.GetDataLength()}),
                  std::vector<uint32_t>({c.layout.channels, c.layout.rate, c.layout.bits, uint32_t(c.length)})) << c.name;
        // An odd length of 16-bit data is reported, and the file still opens.
        EXPECT_EQ(countReports(std::string("Invalid data length in ") + c.name), c.oddReport ? 1 : 0) << c.name;
        std::vector<char> all(c.length);
        EXPECT_EQ(wave.Read(all.data(), 0), c.length) << c.name;
        EXPECT_EQ(std::string(all.data(), all.size()), data) << c.name;
    }

    // Block reads stop at the end of the data, trailing bytes aside; a rewind starts again.
    const std::string data = pattern(1000);
    dir.write("a.wav", wav({}, data) + "trailing bytes are not data");
    CWavFile wave;
    ASSERT_TRUE(wave.Open("a.wav"));
    char block[300];
    std::string read;
    for (uint32_t expected : {300, 300, 300, 100, 0}) read.append(block, wave.Read(block, sizeof block) == expected ? expected : 0);
    EXPECT_EQ(read, data);
    wave.Rewind();
    EXPECT_EQ(wave.Read(block, sizeof block), 300u);
    EXPECT_EQ(std::string(block, 300), data.substr(0, 300));
}

TEST_F(WavFileTest, BrokenFilesAreRefused)
{
    const std::string good = wav({}, pattern(1000));
    const std::string header = good.substr(0, 12);
    const std::string format = good.substr(12, 24);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"shorter than its header", good.substr(0, 10)},
        {"format chunk under 16 bytes", header + chunk("fmt ", format.substr(8, 14)) + chunk("data", "abcd")},
        {"format chunk past the end", header + chunk("fmt ", format.substr(8), 4000)},
        {"ends before the data", header + format + chunk("LIST", "abc")},
        {"ends inside a chunk header", header + format + "LIS"},
        {"chunk past the end", header + format + chunk("LIST", "abc", 100000) + chunk("data", "abcd")},
        {"data past the end", header + format + chunk("data", "abcd", 5)},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        dir.write("broken.wav", c.bytes);
        CWavFile wave;
        EXPECT_FALSE(wave.Open("broken.wav")) << c.what;
        EXPECT_FALSE(wave.IsOpen()) << c.what;
    }
    EXPECT_EQ(countReports("extraData >= 0"), 1);
    CWavFile missing;
    EXPECT_FALSE(missing.Open("missing.wav"));
}
