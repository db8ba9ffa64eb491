#include "TestSupport.h"
#include "Waiting.h"
#include "WavWriter.h"
#include "audio/AudioManager.h"
#include "audio/PCAudioResourceManager.h"
#include "audio/PCStreamDShow.h"
#include "platform/testing.h"
#include "platform/testing/dshow.h"
#include "platform/testing/dsound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ds = platform::testing::dsound;
namespace dshow = platform::testing::dshow;
namespace pt = platform::testing;
using namespace wavtest;
using audiotest::waitFor;
using testsupport::countReports;

namespace {

class DShowStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        ds::useManualClock();
        dshow::reset();
        eventsBefore = pt::liveEvents();
        threadsBefore = pt::liveThreads();
        // A tenth of a second, and two seconds.
        dir.write("short.mus", wav({1, 22050, 16, 16, ""}, pattern(4410)));
        dir.write("long.mus", wav({2, 44100, 16, 16, ""}, pattern(2 * 44100 * 4)));
    }
    void TearDown() override
    {
        streams.clear();
        audio.reset();
        dshow::reset();
        EXPECT_EQ(dshow::liveGraphs(), 0);
        EXPECT_EQ(pt::liveEvents(), eventsBefore);
        EXPECT_EQ(pt::liveThreads(), threadsBefore);
        llistFreeElementPool();
    }
    std::string full(const std::string& name) { return dir.path() + "\\" + name; }
    CPCStreamDShow* stream(const std::string& name, bool loop, float volume = 1.0f)
    {
        streams.push_back(std::make_unique<CPCStreamDShow>(static_cast<int32_t>(streams.size()), full(name).c_str(), loop));
        EXPECT_TRUE(streams.back()->Init(volume));
        return streams.back().get();
    }
    // The graph of the stream made `index`-th, once it runs.
    static dshow::GraphState running(size_t index = 0)
    {
        dshow::GraphState state;
        EXPECT_TRUE(waitFor([&] {
            std::vector<dshow::GraphState> all = dshow::graphs();
            if (all.size() <= index || all[index].state != State_Running) return false;
            state = all[index];
            return true;
        }));
        return state;
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    std::unique_ptr<CAudioManager> audio;
    std::vector<std::unique_ptr<CPCStreamDShow>> streams;
    int eventsBefore = 0;
    int threadsBefore = 0;
};

}  // namespace

TEST_F(DShowStreamTest, TheDeviceNamesFilesSetsVolumesAndLoopsOrEndsItsStreams)
{
    audio = std::make_unique<CAudioManager>();
    ASSERT_TRUE(audio->Init());
    CAudioManager& m = *audio;
    const int quiet = m.CreateStream("long.mus", 1, 0.00001f, 0);
    EXPECT_EQ(running().volume, -10000);
    EXPECT_EQ(dshow::renderedPaths(), std::vector<std::string>{std::filesystem::current_path().string() + "\\long.mus"});
    m.SetStreamVolume(quiet, 0.5f);
    EXPECT_EQ(dshow::graphs()[0].volume, -999);

    // A name with a drive is full already; that one does not exist and ends its stream quietly.
    const int absent = m.CreateStream("C:\\music\\absent.mus", 0, 1.0f, 0);
    EXPECT_TRUE(waitFor([&] {
        m.Update();
        return m.IsStreamFinished(absent);
    }));
    EXPECT_EQ(dshow::renderedPaths().back(), "C:\\music\\absent.mus");
    EXPECT_TRUE(testsupport::reports().empty());
    m.ReleaseStream(quiet);
    EXPECT_EQ(m.getDevice()->GetFreeVoices(), CPCAudioResourceManager::MAX_VOICES);
    ASSERT_TRUE(waitFor([] { return dshow::liveGraphs() == 0; }));
    dshow::reset();

    // A looping stream seeks back at its end; one that does not loop finishes.
    const int looping = m.CreateStream("short.mus", 1, 1.0f, 0);
    const int once = m.CreateStream("short.mus", 0, 1.0f, 0);
    running(0);
    running(1);
    for (int lap = 1; lap <= 3; ++lap) {
        ds::advance(150);
        EXPECT_TRUE(waitFor([&] { return dshow::calls("SetPositions") == lap; })) << lap;
        m.Update();
        EXPECT_FALSE(m.IsStreamFinished(looping)) << lap;
    }
    EXPECT_TRUE(waitFor([&] {
        m.Update();
        return m.IsStreamFinished(once);
    }));
    EXPECT_EQ(dshow::liveGraphs(), 1);
}

TEST_F(DShowStreamTest, AnEndPostedJustAfterTheQueueWasTakenStillWakesTheStream)
{
    stream("short.mus", true);
    running();
    // The second GetEvent finds the queue empty; the sound ends again right after it.
    std::atomic<int> taken{0};
    dshow::setCallHook("GetEvent", [&] {
        if (++taken == 2) ds::advance(150);
    });
    ds::advance(150);
    EXPECT_TRUE(waitFor([] { return dshow::calls("SetPositions") == 2; }));
    dshow::setCallHook("GetEvent", nullptr);
}

TEST_F(DShowStreamTest, PausingTwiceIsPausingOnceAndResumingAPlayingStreamDoesNothing)
{
    // Paused and given a volume while its thread is still making the graph: nothing is reported,
    // the graph takes the volume and waits paused until the resume.
    std::atomic<bool> building{false}, asked{false};
    dshow::setCallHook("QueryInterface IGraphBuilder", [&] {
        building = true;
        waitFor([&] { return asked.load(); });
    });
    CPCStreamDShow* early = stream("long.mus", false);
    ASSERT_TRUE(waitFor([&] { return building.load(); }));
    early->Pause();
    early->SetVolume(-500);
    early->Resume();
    early->Pause();
    asked = true;
    EXPECT_TRUE(waitFor([] { return dshow::graphs().size() == 1 && dshow::graphs()[0].volume == -500; }));
    dshow::setCallHook("QueryInterface IGraphBuilder", nullptr);
    EXPECT_TRUE(testsupport::reports().empty());
    early->Resume();  // once the thread is done with the graph: the only run
    EXPECT_EQ(dshow::calls("Run"), 1);
    running();
    streams.clear();
    dshow::reset();

    CPCStreamDShow* s = stream("long.mus", false);
    running();
    s->Resume();
    s->Pause();
    s->Pause();
    EXPECT_EQ(dshow::calls("Pause"), 1);
    EXPECT_EQ(dshow::graphs()[0].state, State_Paused);
    s->Resume();
    s->Resume();
    EXPECT_EQ(dshow::calls("Run"), 2);  // the start and one resume
    EXPECT_FALSE(s->Update());
}

TEST_F(DShowStreamTest, AGraphThatCannotBeBuiltEndsTheStreamWithItsReportOrSilentlyForAFileItCannotPlay)
{
    dir.write("notes.txt", "no sound in here\n");
    struct Case {
        const char* name;
        const char* failingCall;
        const char* report;
    } cases[] = {
        {"notes.txt", nullptr, nullptr},
        {"missing.mus", nullptr, nullptr},
        {"short.mus", "CoCreateInstance", "Failed to create GraphBuilder"},
        {"short.mus", "QueryInterface IMediaControl", "Failed to query MediaControl"},
        {"short.mus", "QueryInterface IMediaSeeking", "Failed to query MediaSeeking"},
        {"short.mus", "GetEventHandle", "Failed to register events for DShow thread"},
    };
    for (const Case& c : cases) {
        testsupport::clearReports();
        if (c.failingCall) dshow::failCall(c.failingCall, E_FAIL);
        CPCStreamDShow* s = stream(c.name, false);
        EXPECT_TRUE(waitFor([&] { return s->Update(); })) << c.name;
        EXPECT_EQ(testsupport::reports().size(), c.report ? 1u : 0u) << c.name;
        EXPECT_EQ(c.report ? countReports(c.report) : 1, 1) << c.name;
        EXPECT_EQ(dshow::calls("Run") + dshow::liveGraphs(), 0) << c.name;
    }
}

TEST_F(DShowStreamTest, AFileThatBreaksWhilePlayingIsReportedAndEndsItsStreamLoopingOrNot)
{
    for (bool loop : {true, false}) {
        const std::string name = loop ? "cut-loop.mus" : "cut.mus";
        dir.write(name, wav({2, 44100, 16, 16, ""}, pattern(2 * 44100 * 4)));
        CPCStreamDShow* s = stream(name, loop);
        running();
        ds::advance(20);
        std::filesystem::resize_file(dir.file(name), 1000);
        ds::advance(500);
        EXPECT_TRUE(waitFor([&] { return s->Update(); })) << name;
        EXPECT_EQ(countReports("DShow stream error: " + full(name)), 1) << name;
    }
}

TEST_F(DShowStreamTest, StreamsStartedAndStoppedUnderLoadLeaveNothingBehind)
{
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 8; ++i) stream(i % 3 ? "long.mus" : "short.mus", i % 2 == 0, 0.5f);
        if (round % 2) ds::advance(120);  // some end or loop while others are still being built
        if (round % 3 == 0) streams[0]->Pause();
        streams.clear();
    }
    EXPECT_EQ(dshow::liveGraphs(), 0);
    EXPECT_TRUE(testsupport::reports().empty());
}
