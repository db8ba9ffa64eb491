#include "../audio/WavWriter.h"
#include "SoundFiles.h"
#include "TestSupport.h"
#include "platform/dshow.h"
#include "platform/testing.h"
#include "platform/testing/dshow.h"
#include "platform/testing/dsound.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace ds = platform::testing::dsound;
namespace dshow = platform::testing::dshow;
using namespace wavtest;

namespace {

std::u16string wide(const std::string& text)
{
    std::u16string out(text.size() + 1, u'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size())),
              static_cast<int>(out.size()));
    out.pop_back();
    return out;
}

std::string samples16(const std::vector<int16_t>& values)
{
    std::string bytes;
    for (int16_t v : values) bytes += u16(static_cast<uint16_t>(v));
    return bytes;
}

// A graph with every interface the engine asks for.
struct Graph {
    Graph()
    {
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&builder)),
                  S_OK);
        builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
        builder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
        builder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
        builder->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position));
        builder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio));
    }
    ~Graph()
    {
        for (IUnknown* part : std::initializer_list<IUnknown*>{control, events, seeking, position, audio}) part->Release();
        builder->Release();
    }
    HRESULT render(const std::string& name) { return builder->RenderFile(wide(name).c_str(), nullptr); }
    HANDLE handle()
    {
        OAEVENT h = 0;
        events->GetEventHandle(&h);
        return reinterpret_cast<HANDLE>(h);
    }
    // Every event waiting, by code.
    std::vector<LONG> take()
    {
        std::vector<LONG> codes;
        LONG code;
        LONG_PTR p1, p2;
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            codes.push_back(code);
            events->FreeEventParams(code, p1, p2);
        }
        return codes;
    }

    IGraphBuilder* builder = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    IMediaSeeking* seeking = nullptr;
    IMediaPosition* position = nullptr;
    IBasicAudio* audio = nullptr;
};

class DirectShowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ds::useManualClock();
        dshow::reset();
        eventsBefore = platform::testing::liveEvents();
    }
    void TearDown() override
    {
        dshow::reset();
        EXPECT_EQ(dshow::liveGraphs(), 0);
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
    for (int i = 0; i < 2205; ++i) ramp.push_back(static_cast<int16_t>((i % 8) * 4096));
    std::filesystem::create_directory(dir.file("Music"));
    dir.write("Music/theme.mus", wav({1, 22050, 16, 16, ""}, samples16(ramp)));

    Graph g;
    ASSERT_EQ(g.render(dir.path() + "\\MUSIC\\Theme.MUS"), S_OK);
    ASSERT_EQ(dshow::graphs().size(), 1u);
    EXPECT_EQ(dshow::graphs()[0].source, "wav");
    EXPECT_EQ(dshow::renderedPaths(), std::vector<std::string>{dir.path() + "\\MUSIC\\Theme.MUS"});
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

    // -2000 hundredths of a decibel is a tenth of the level; pausing holds the position.
    EXPECT_EQ(g.audio->put_Volume(-2000), S_OK);
    EXPECT_EQ(g.audio->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(g.audio->put_Volume(-10001), E_INVALIDARG);
    ds::advanceFrames(2);
    EXPECT_NEAR(left()[1], (ramp[8] + ramp[9]) / 32768.0f / 2 * 0.1f, 1e-6);
    g.control->Pause();
    LONGLONG paused = 0, later = 0;
    g.seeking->GetCurrentPosition(&paused);
    ds::advance(50);
    g.seeking->GetCurrentPosition(&later);
    EXPECT_EQ(later, paused);
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

    // Seeking back plays it again.
    LONGLONG start = 0;
    EXPECT_EQ(g.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    ds::advanceFrames(2);
    EXPECT_NEAR(left()[1], (ramp[0] + ramp[1]) / 32768.0f / 2 * 0.1f, 1e-6);
    ds::advance(200);
    EXPECT_EQ(g.take(), std::vector<LONG>{EC_COMPLETE});
    EXPECT_EQ(dshow::graphs()[0].posted, (std::vector<LONG>{EC_COMPLETE, EC_COMPLETE}));
}

TEST_F(DirectShowTest, OtherFilesPlayThroughFfmpegAndAFileNoReaderTakesFails)
{
    // 8 kHz stereo .au: left a quarter, right minus a half.
    std::vector<int16_t> samples;
    for (int i = 0; i < 800; ++i) samples.insert(samples.end(), {8192, -16384});
    dir.write("speech.snd", soundfiles::au(8000, 2, samples));
    dir.write("notes.txt", "not a sound at all\n");
    dir.write("nodata.wav", "RIFF" + u32(28) + "WAVE" + chunk("fmt ", u16(1) + u16(1) + u32(8000) + u32(16000) +
                                                                           u16(2) + u16(16)));
    dir.write("short.wav", "RIFF");

    Graph au;
    ASSERT_EQ(au.render("speech.snd"), S_OK);
    EXPECT_EQ(dshow::graphs()[0].source, "ffmpeg");
    au.control->Run();
    ds::advance(50);
    const std::vector<float> mix = ds::mixedOutput();
    EXPECT_NEAR(mix[2000], 0.25f, 1e-3);
    EXPECT_NEAR(mix[2001], -0.5f, 1e-3);
    ds::advance(100);
    EXPECT_EQ(au.take(), std::vector<LONG>{EC_COMPLETE});

    struct Case {
        const char* name;
        HRESULT result;
    } cases[] = {
        {"missing.mus", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {"notes.txt", VFW_E_CANNOT_RENDER},
        {"nodata.wav", VFW_E_CANNOT_RENDER},  // a broken WAV is not handed on
        {"short.wav", VFW_E_CANNOT_RENDER},
    };
    for (const Case& c : cases) {
        Graph g;
        EXPECT_EQ(g.render(c.name), c.result) << c.name;
        EXPECT_EQ(dshow::graphs().back().source, "") << c.name;
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

TEST_F(DirectShowTest, ForcedFailuresAndTheWin32TextAndFolderCalls)
{
    dshow::failCall("CoCreateInstance", E_OUTOFMEMORY);
    IGraphBuilder* none = nullptr;
    EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                        reinterpret_cast<void**>(&none))));
    EXPECT_EQ(none, nullptr);

    Graph g;
    dshow::failCall("QueryInterface IBasicAudio", E_NOINTERFACE);
    IBasicAudio* audio = nullptr;
    IMediaControl* control = nullptr;
    EXPECT_EQ(g.builder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio)), E_NOINTERFACE);
    EXPECT_EQ(g.builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
    control->Release();
    dshow::failCall("RenderFile", E_FAIL);
    EXPECT_EQ(g.render("anything.mus"), E_FAIL);
    EXPECT_EQ(dshow::graphs()[0].path, "anything.mus");
    LONG code;
    LONG_PTR p1, p2;
    EXPECT_EQ(g.events->GetEvent(&code, &p1, &p2, 0), E_ABORT);

    char folder[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    EXPECT_EQ(std::string(folder, length), std::filesystem::current_path().string());
    EXPECT_EQ(GetCurrentDirectoryA(2, folder), length + 1);
    WCHAR small[4];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9t\xE9", -1, small, 4), 4);
    EXPECT_EQ(std::u16string(small), u"\u00E9t\u00E9");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "long text", -1, small, 4), 0);
}
