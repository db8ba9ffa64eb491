#include "TestSupport.h"
#include "Waiting.h"
#include "WavWriter.h"
#include "audio/AudioVolume.h"
#include "audio/PCStreamDSound.h"
#include "platform/testing.h"
#include "platform/testing/dsound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace ds = platform::testing::dsound;
namespace pt = platform::testing;
using namespace wavtest;
using audiotest::waitFor;
using testsupport::countReports;

namespace {

const uint32_t BLOCK = CPCStreamDSound::BLOCK_BYTES;

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ds::useManualClock();
        eventsBefore = pt::liveEvents();
        threadsBefore = pt::liveThreads();
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
    }
    void TearDown() override
    {
        streams.clear();
        ds::setCallHook("Lock", nullptr);
        ds::setCallHook("CreateSoundBuffer", nullptr);
        device->Release();
        EXPECT_EQ(ds::liveBuffers(), 0);
        EXPECT_EQ(pt::liveEvents(), eventsBefore);
        EXPECT_EQ(pt::liveThreads(), threadsBefore);
    }

    CPCStreamDSound* stream(const char* name, bool loop, float volume = 1.0f)
    {
        streams.push_back(std::make_unique<CPCStreamDSound>(static_cast<int32_t>(streams.size()), name, loop, device));
        EXPECT_TRUE(streams.back()->Init(volume));
        return streams.back().get();
    }

    // The stream buffer once it plays.
    ds::BufferState playing()
    {
        ds::BufferState s;
        EXPECT_TRUE(waitFor([&] {
            std::vector<ds::BufferState> all = ds::buffers();
            if (all.empty() || !all[0].playing) return false;
            s = all[0];
            return true;
        }));
        return s;
    }
    ds::BufferState state()
    {
        std::vector<ds::BufferState> all = ds::buffers();
        return all.empty() ? ds::BufferState{} : all[0];
    }
    // Waits for the stream's thread to have unlocked the buffer that often in all.
    bool unlocked(int count)
    {
        return waitFor([&] { return state().unlocks >= count; }) && state().unlocks == count;
    }
    std::string block(int index)
    {
        std::vector<uint8_t> bytes = ds::bufferBytes(state().buffer);
        return std::string(bytes.begin() + index * BLOCK, bytes.begin() + (index + 1) * BLOCK);
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    IDirectSound8* device = nullptr;
    std::vector<std::unique_ptr<CPCStreamDSound>> streams;
    int eventsBefore = 0;
    int threadsBefore = 0;
};

}  // namespace

TEST(AudioVolume, HalvingsCostAThousandthAndQuietVolumesAreClampedToSilence)
{
    const std::pair<float, int> volumes[] = {{0.5f, -999},      {0.25f, -1999},      {1.5f, 0},
                                             {0.0f, -10000},    {0.0009f, -10000},   {0.00001f, -10000},
                                             {std::nanf(""), -10000}, {0.001f, -9965}};
    for (auto [linear, hundredths] : volumes) EXPECT_EQ(linearToDirectSoundVolume(linear), hundredths) << linear;
}

TEST_F(StreamTest, EachNotificationRefillsTheBlocksBehindTheCursorUntilTheEndIsPlayedInItsBlock)
{
    // 44.1 kHz mono 16-bit: 4096 output frames move the cursor one block. Nine blocks and 5000 bytes.
    const std::string data = pattern(9 * BLOCK + 5000);
    dir.write("music.wav", wav({1, 44100, 16, 16, ""}, data));
    CPCStreamDSound* s = stream("music.wav", false, 0.5f);
    ds::BufferState b = playing();
    EXPECT_EQ(std::make_pair(true, LONG(-999)), std::make_pair(bool(b.looping), LONG(b.volume)));
    EXPECT_EQ(b.unlocks, 2);  // two blocks before play
    EXPECT_EQ(block(0), data.substr(0, BLOCK));
    EXPECT_EQ(block(1), data.substr(BLOCK, BLOCK));

    // The first notification fills the block ahead and the one just played; later ones one each.
    // Block c of the file always lands in buffer block c % 3.
    int written = 2;
    for (int step = 1; step <= 9; ++step) {
        ds::advanceFrames(BLOCK / 2);
        written += step == 1 ? 2 : 1;
        ASSERT_TRUE(unlocked(written)) << step;
        const int last = written - 1;
        std::string expected = data.size() > last * BLOCK ? data.substr(last * BLOCK, BLOCK) : "";
        expected.resize(BLOCK, '\0');  // silence after the end
        EXPECT_EQ(block(last % 3), expected) << step;
        EXPECT_FALSE(s->Update()) << step;  // the cursor is not yet past the end in the end's block
    }
    // The data ends 5000 bytes into buffer block 0, which the cursor has just entered.
    ds::advanceFrames(2499);
    EXPECT_FALSE(s->Update());
    ds::advanceFrames(1);
    ds::failCall("GetCurrentPosition", DSERR_GENERIC);
    EXPECT_FALSE(s->Update());
    EXPECT_EQ(countReports("GetCurrentPosition failed on stream"), 1);
    EXPECT_TRUE(s->Update());
    EXPECT_TRUE(ds::buffers().empty());  // finished and released
}

TEST_F(StreamTest, ShortFilesLoopByRewindingOrEndInTheirFirstBlock)
{
    struct Case {
        const char* name;
        bool loop;
        uint16_t bits;
        size_t length;
        char silence;
    } cases[] = {
        {"loop.wav", true, 16, 3000, 0},
        {"once8.wav", false, 8, 3000, '\x80'},
        {"odd16.wav", false, 16, 3001, 0},  // reported, and plays all the same
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data = pattern(c.length, static_cast<unsigned>(c.length));
        dir.write(c.name, wav({1, 44100, c.bits, 16, ""}, data));
        CPCStreamDSound* s = stream(c.name, c.loop);
        playing();
        const uint32_t frameBytes = c.bits / 8;
        if (c.loop) {
            std::string repeated;
            while (repeated.size() < 2 * BLOCK) repeated += data;
            EXPECT_EQ(block(0) + block(1), repeated.substr(0, 2 * BLOCK));
            for (int step = 1; step <= 6; ++step) {
                ds::advanceFrames(BLOCK / frameBytes);
                ASSERT_TRUE(unlocked(step + 3));
                EXPECT_FALSE(s->Update());
            }
        } else {
            EXPECT_EQ(block(0), data + std::string(BLOCK - c.length, c.silence));
            ds::advanceFrames(static_cast<DWORD>(c.length / frameBytes) - 1);
            EXPECT_FALSE(s->Update());
            ds::advanceFrames(1 + static_cast<DWORD>(c.length % frameBytes));
            // The buffer plays before its thread takes notifications: until then the stream is not
            // yet known to have ended.
            EXPECT_TRUE(waitFor([&] { return s->Update(); }));
        }
        streams.clear();
    }
    EXPECT_EQ(countReports("Invalid data length in odd16.wav"), 1);
}

TEST_F(StreamTest, PauseAndResumeActOncePerChangeAndVolumeReachesTheBuffer)
{
    dir.write("a.wav", wav({1, 44100, 16, 16, ""}, pattern(6 * BLOCK)));
    CPCStreamDSound* s = stream("a.wav", true);
    playing();
    // The buffer plays before the thread counts as processing; pauses before that are ignored.
    EXPECT_TRUE(waitFor([&] { s->Pause(); return ds::calls("Stop") == 1; }));
    s->Pause();
    EXPECT_EQ(ds::calls("Stop"), 1);
    EXPECT_FALSE(s->Update());  // paused is not finished
    s->Resume();
    s->Resume();
    EXPECT_EQ(ds::calls("Play"), 2);  // the start, then one resume
    s->SetVolume(-2000);
    EXPECT_EQ(state().volume, -2000);
}

TEST_F(StreamTest, ANotificationArrivingDuringARefillIsKept)
{
    dir.write("a.wav", wav({1, 44100, 16, 16, ""}, pattern(10 * BLOCK)));
    stream("a.wav", false);
    playing();
    // While the thread refills after the first notification, the cursor passes the next offset.
    std::atomic<bool> once{false};
    ds::setCallHook("Lock", [&] {
        if (!once.exchange(true)) ds::advanceFrames(BLOCK / 2);
    });
    ds::advanceFrames(BLOCK / 2);
    EXPECT_TRUE(unlocked(5));  // two blocks, then one more for the notification kept
}

TEST_F(StreamTest, ALostBufferIsRestoredButALockThatKeepsFailingOrAShrunkFileEndsTheStream)
{
    dir.write("a.wav", wav({1, 44100, 16, 16, ""}, pattern(10 * BLOCK)));
    CPCStreamDSound* s = stream("a.wav", false);
    playing();
    ds::failCall("Lock", DSERR_BUFFERLOST, 2);
    ds::advanceFrames(BLOCK / 2);
    EXPECT_TRUE(unlocked(4));
    EXPECT_EQ(ds::calls("Restore"), 2);

    ds::failCall("Lock", DSERR_BUFFERLOST, 3);
    ds::advanceFrames(BLOCK / 2);
    EXPECT_TRUE(waitFor([&] { return s->Update(); }));
    EXPECT_EQ(ds::calls("Restore"), 4);  // not after the third failure

    // A file cut short while it plays.
    dir.write("b.wav", wav({1, 44100, 16, 16, ""}, pattern(10 * BLOCK)));
    CPCStreamDSound* cut = stream("b.wav", true);
    playing();
    std::filesystem::resize_file(dir.file("b.wav"), 3 * BLOCK);
    ds::advanceFrames(BLOCK / 2);
    EXPECT_TRUE(waitFor([&] { return cut->Update(); }));
    EXPECT_EQ(countReports("Failed to read stream b.wav"), 1);
}

TEST_F(StreamTest, AStreamThatCannotStartReportsWhyAndIsFinished)
{
    dir.write("a.wav", wav({}, pattern(1000)));
    dir.write("empty.wav", wav({}, ""));
    struct Case {
        const char* name;
        bool loop;
        const char* failingCall;
        const char* report;
    } cases[] = {
        {"missing.wav", false, nullptr, "Failed to open streaming wav: missing.wav"},
        {"a.wav", false, "CreateSoundBuffer", "Failed to create secondary buffer for stream a.wav"},
        {"a.wav", false, "QueryInterface", "Failed to query Notify interface for stream a.wav"},
        {"a.wav", false, "SetNotificationPositions", "Failed to set notification positions for stream"},
        {"empty.wav", true, nullptr, "Failed to fill stream buffer for empty.wav"},
    };
    for (const Case& c : cases) {
        if (c.failingCall) ds::failCall(c.failingCall, DSERR_GENERIC);
        CPCStreamDSound* s = stream(c.name, c.loop);
        EXPECT_TRUE(waitFor([&] { return s->Update(); })) << c.name;
        EXPECT_EQ(countReports(c.report), 1) << c.report;
        EXPECT_EQ(ds::calls("Play") + ds::liveBuffers(), 0) << c.report;
        streams.clear();
    }

    CPCStreamDSound unnamed(0, nullptr, false, device), silent(0, "a.wav", false, nullptr);
    for (CPCStreamDSound* s : {&unnamed, &silent}) {
        EXPECT_FALSE(s->Init(1.0f));
        EXPECT_TRUE(s->Update());
    }

    EXPECT_EQ(countReports("pFilename") + countReports("pDS"), 2);
}

TEST_F(StreamTest, WhatHappensBeforeTheBufferIsMadeIsKeptOrRefused)
{
    dir.write("a.wav", wav({}, pattern(3 * BLOCK)));
    for (bool release : {true, false}) {
        SCOPED_TRACE(release ? "released" : "volume set");
        HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE proceed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ds::setCallHook("CreateSoundBuffer", [&] {
            SetEvent(entered);
            WaitForSingleObject(proceed, INFINITE);
        });
        CPCStreamDSound* s = stream("a.wav", false);
        ASSERT_EQ(WaitForSingleObject(entered, 5000), WAIT_OBJECT_0);
        if (release) {
            // Released before its buffer is filled, the stream never plays.
            std::atomic<bool> releasing{false};
            std::thread shutdown([&] {
                releasing = true;
                s->Shutdown();
            });
            waitFor([&] { return releasing.load(); });
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // Shutdown signals at once, then waits
            SetEvent(proceed);
            shutdown.join();
            EXPECT_EQ(ds::calls("Play"), 0);
            EXPECT_TRUE(s->Update());
        } else {
            // A volume set before there is a buffer is the one it starts with.
            s->SetVolume(-1500);
            SetEvent(proceed);
            EXPECT_EQ(playing().volume, -1500);
        }
        ds::setCallHook("CreateSoundBuffer", nullptr);
        streams.clear();
        CloseHandle(entered);
        CloseHandle(proceed);
    }
}

TEST_F(StreamTest, SixteenStreamsStartedAndStoppedForManyRoundsLeaveNothingBehind)
{
    dir.write("a.wav", wav({2, 44100, 16, 16, ""}, pattern(4 * BLOCK)));
    for (int round = 0; round < 25; ++round) {
        for (int i = 0; i < 16; ++i) stream("a.wav", i % 2 == 0);
        if (round % 2) ds::advanceFrames(3000);  // some stop mid-refill, some before playing
        streams.clear();
    }
    EXPECT_EQ(ds::liveBuffers(), 0);
    EXPECT_EQ(pt::liveEvents(), eventsBefore);
    EXPECT_EQ(pt::liveThreads(), threadsBefore);
}

TEST(StreamOutput, ATwoSecondFilePlaysOutInRealTimeOnSdlAndOnTheSilentSink)
{
    // SDL's dummy driver consumes at the output rate as a card would, and opens on a machine
    // without sound: the choice of whoever runs the test stands, and is left as it was.
    const bool driverChosen = getenv("SDL_AUDIODRIVER") != nullptr;
    if (!driverChosen) setenv("SDL_AUDIODRIVER", "dummy", 1);
    struct Restore {
        bool unset;
        ~Restore()
        {
            if (unset) unsetenv("SDL_AUDIODRIVER");
        }
    } restore{!driverChosen};
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    dir.write("two.wav", wav({2, 44100, 16, 16, ""}, pattern(2 * 44100 * 4)));
    for (bool allowSdl : {true, false}) {
        ds::useLiveOutput(allowSdl);
        IDirectSound8* device = nullptr;
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        EXPECT_STREQ(ds::outputName(), allowSdl ? "sdl" : "silent");
        device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
        const auto begin = std::chrono::steady_clock::now();
        {
            CPCStreamDSound s(0, "two.wav", false, device);
            ASSERT_TRUE(s.Init(1.0f));
            EXPECT_TRUE(waitFor([&] { return s.Update(); }, 60000));  // a hang guard only, never a speed check
        }
        // The sound cannot end before its length, however loaded the machine.
        EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1800)) << allowSdl;
        device->Release();
        EXPECT_STREQ(ds::outputName(), "none");  // output runs only while a device lives
    }
    ds::useManualClock();
}
