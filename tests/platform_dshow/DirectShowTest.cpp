// Sound files through the DirectShow stand-in: our WAV reader, FFmpeg for the rest, the mixer.
#include "../audio/WavWriter.h"
#include "GraphFixture.h"
#include "TestSupport.h"

#include <filesystem>

using namespace wavtest;

namespace {

// A Sun .au file (16-bit linear PCM, big-endian, channels interleaved), which FFmpeg reads.
std::string au(uint32_t rate, uint32_t channels, const std::vector<int16_t>& samples)
{
    const auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    std::string body;
    for (int16_t s : samples) body += std::string{char(static_cast<uint16_t>(s) >> 8), char(s)};
    return ".snd" + be32(24) + be32(static_cast<uint32_t>(body.size())) + be32(3) + be32(rate) + be32(channels) + body;
}

class DirectShowTest : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        eventsBefore = platform::testing::liveEvents();
    }
    void TearDown() override
    {
        GraphFixture::TearDown();
        EXPECT_EQ(platform::testing::liveEvents(), eventsBefore);
        EXPECT_STREQ(ds::outputName(), "none");
    }
    // Left channel of the last mix, frame by frame.
    static std::vector<float> left()
    {
        std::vector<float> mix = ds::mixedOutput(), out;
        for (size_t i = 0; i < mix.size(); i += 2) out.push_back(mix[i]);
        return out;
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    int eventsBefore = 0;
};

}  // namespace

TEST_F(DirectShowTest, AWavUnderAnyNameResamplesIntoTheMixerAndPostsItsEnd)
{
    // 22.05 kHz: every second output frame lies halfway between two samples.
    std::vector<int16_t> ramp;
    std::string bytes;
    for (int i = 0; i < 2205; ++i) ramp.push_back(static_cast<int16_t>((i % 8) * 4096)), bytes += u16(ramp.back());
    std::filesystem::create_directory(dir.file("Music"));
    dir.write("Music/theme.mus", wav({1, 22050, 16, 16, ""}, bytes));

    Graph g;
    ASSERT_EQ(g.render(dir.path() + "\\MUSIC\\Theme.MUS"), S_OK);
    EXPECT_EQ(g.state().source, "wav");
    REFTIME duration = 0;
    g.position->get_Duration(&duration);
    EXPECT_NEAR(duration, 0.1, 1e-4);

    ds::advanceFrames(16);
    EXPECT_EQ(left(), std::vector<float>(16, 0.0f));  // stopped
    g.control->Run();
    ds::advanceFrames(16);
    std::vector<float> out = left();
    for (int i = 0; i < 16; ++i) {
        const float a = ramp[i / 2] / 32768.0f, b = ramp[i / 2 + 1] / 32768.0f;
        EXPECT_FLOAT_EQ(out[i], i % 2 ? (a + b) / 2 : a) << i;
        EXPECT_FLOAT_EQ(ds::mixedOutput()[2 * i + 1], out[i]) << i;  // mono on both sides
    }

    // -2000 hundredths of a decibel is a tenth of the level; paused, it is silent.
    EXPECT_EQ(g.audio->put_Volume(-2000), S_OK);
    for (LONG volume : {LONG(1), LONG(-10001)}) EXPECT_EQ(g.audio->put_Volume(volume), E_INVALIDARG) << volume;

    ds::advanceFrames(2);
    EXPECT_NEAR(left()[1], (ramp[8] + ramp[9]) / 32768.0f / 2 * 0.1f, 1e-6);
    g.control->Pause();
    ds::advance(50);
    EXPECT_EQ(left(), std::vector<float>(left().size(), 0.0f));

    // The end sets the handle until the queue is empty, once.
    g.control->Run();
    ds::advance(99);
    EXPECT_EQ(WaitForSingleObject(g.handle(), 0), WAIT_TIMEOUT);
    ds::advance(20);
    EXPECT_EQ(WaitForSingleObject(g.handle(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(g.take(), std::vector<LONG>{EC_COMPLETE});
    EXPECT_EQ(WaitForSingleObject(g.handle(), 0), WAIT_TIMEOUT);
    ds::advance(100);
    EXPECT_TRUE(g.take().empty());
}

TEST_F(DirectShowTest, OtherFilesPlayThroughFfmpegAndAFileNoReaderTakesFails)
{
    // 8 kHz stereo .au: left a quarter, right minus a half.
    std::vector<int16_t> samples;
    for (int i = 0; i < 800; ++i) samples.insert(samples.end(), {8192, -16384});
    dir.write("speech.snd", au(8000, 2, samples));
    dir.write("notes.txt", "not a sound at all\n");
    dir.write("nodata.wav", "RIFF" + u32(28) + "WAVE" + chunk("fmt ", u16(1) + u16(1) + u32(8000) + u32(16000) +
                                                                           u16(2) + u16(16)));
    dir.write("short.wav", "RIFF");

    Graph speech;
    ASSERT_EQ(speech.render("speech.snd"), S_OK);
    EXPECT_EQ(speech.state().source, "ffmpeg");
    speech.control->Run();
    ds::advance(50);
    EXPECT_NEAR(ds::mixedOutput()[2000], 0.25f, 1e-3);
    EXPECT_NEAR(ds::mixedOutput()[2001], -0.5f, 1e-3);
    ds::advance(100);
    EXPECT_EQ(speech.take(), std::vector<LONG>{EC_COMPLETE});

    const std::pair<const char*, HRESULT> cases[] = {
        {"missing.mus", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {"notes.txt", VFW_E_CANNOT_RENDER},
        {"nodata.wav", VFW_E_CANNOT_RENDER},  // a broken WAV is not handed on
        {"short.wav", VFW_E_CANNOT_RENDER},
    };
    for (const auto& [name, result] : cases) {
        Graph g;
        EXPECT_EQ(g.render(name), result) << name;
        EXPECT_EQ(g.state().source, "") << name;
    }
    dshow::setFfmpegAllowed(false);
    Graph withoutFfmpeg;
    EXPECT_EQ(withoutFfmpeg.render("speech.snd"), VFW_E_CANNOT_RENDER);
}

TEST_F(DirectShowTest, AFileThatShrinksWhilePlayingEndsWithAnError)
{
    dir.write("long.mus", wav({2, 44100, 16, 16, ""}, pattern(44100 * 4)));
    Graph g;
    ASSERT_EQ(g.render("long.mus"), S_OK);
    g.control->Run();
    ds::advance(20);
    std::filesystem::resize_file(dir.file("long.mus"), 1000);
    ds::advance(500);
    EXPECT_EQ(g.take(), std::vector<LONG>{EC_ERRORABORT});
    EXPECT_EQ(dshow::graphs()[0].posted, std::vector<LONG>{EC_ERRORABORT});
}

TEST_F(DirectShowTest, TheWin32TextAndFolderCallsFitTheirBuffers)
{
    char folder[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    EXPECT_EQ(std::string(folder, length), std::filesystem::current_path().string());
    EXPECT_EQ(GetCurrentDirectoryA(2, folder), length + 1);
    WCHAR small[4];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9t\xE9", -1, small, 4), 4);
    EXPECT_EQ(std::u16string(small), u"\u00E9t\u00E9");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "long text", -1, small, 4), 0);
}
