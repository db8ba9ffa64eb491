#include "TestSupport.h"
#include "WavWriter.h"
#include "audio/AudioManager.h"
#include "audio/PCAudioResourceManager.h"
#include "audio/SilentAudioResourceManager.h"
#include "platform/testing/dshow.h"
#include "platform/testing/dsound.h"
#include "wincore/WinCore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

namespace ds = platform::testing::dsound;
using namespace wavtest;
using testsupport::countReports;

namespace {

const float INF = INFINITY;

class AudioManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        ds::useManualClock();
        platform::testing::dshow::reset();
        // A tenth of a second each.
        dir.write("shot.wav", wav({1, 22050, 16, 16, ""}, pattern(4410)));
        dir.write("music.wav", wav({2, 22050, 16, 16, ""}, pattern(8820)));
    }
    void TearDown() override
    {
        audio.reset();
        EXPECT_EQ(ds::liveBuffers(), 0);
        EXPECT_EQ(ds::liveDevices(), 0);
        llistFreeElementPool();
    }
    CAudioManager& start()
    {
        audio.reset();
        audio = std::make_unique<CAudioManager>();
        EXPECT_TRUE(audio->Init());
        return *audio;
    }
    // The buffers of the voices, oldest first.
    static std::vector<ds::BufferState> voices()
    {
        std::vector<ds::BufferState> out;
        for (const ds::BufferState& b : ds::buffers())
            if (b.original) out.push_back(b);
        return out;
    }
    static int masters(DWORD size)
    {
        int n = 0;
        for (const ds::BufferState& b : ds::buffers()) n += !b.original && b.size == size;
        return n;
    }
    int at(SAudioFile* s, float x, float y, int priority = 1, int submix = -1)
    {
        return audio->Play(s, priority, 1, 1.0f, 1.0f, x, y, 0.0f, 10.0f, 1000.0f, submix, 0, 0);
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{dir.path()};
    std::unique_ptr<CAudioManager> audio;
};

}  // namespace

TEST_F(AudioManagerTest, SamplesAreSharedByNameKindAndCategoryAndTheirDataCountedOnce)
{
    CAudioManager& m = start();
    SAudioFile* a = m.LoadSample2D("shot.wav", 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(m.LoadSample2D("SHOT.WAV", 0), a);
    SAudioFile* as3D = m.LoadSample3D("shot.wav", 0);
    SAudioFile* inOne = m.LoadSample2D("shot.wav", 1);
    ASSERT_NE(as3D, nullptr);
    ASSERT_NE(inOne, nullptr);
    EXPECT_NE(as3D, inOne);
    EXPECT_EQ(masters(4410), 1);
    CAudioResourceManager* device = m.getDevice();
    EXPECT_EQ(device->GetSampleMemory(ALL_AUDIO_CATEGORIES), 4410u);
    EXPECT_EQ(device->GetSampleMemory(1), 1470u);

    // Stereo data has no place in 3D; a category past the table and a missing file load nothing.
    dir.write("stereo.wav", wav({2, 22050, 16, 16, ""}, pattern(400)));
    ASSERT_NE(m.LoadSample2D("music.wav", 0), nullptr);
    EXPECT_EQ(m.LoadSample3D("music.wav", 0), nullptr);
    EXPECT_EQ(m.LoadSample3D("stereo.wav", 0), nullptr);
    EXPECT_EQ(m.LoadSample2D("shot.wav", MAXAUDIOCATEGORIES), nullptr);
    EXPECT_EQ(m.LoadSample2D("stereo.wav", -1), nullptr);
    EXPECT_EQ(m.LoadSample2D("missing.wav", 0), nullptr);
    EXPECT_EQ(countReports("Tried to acquire a 3D handle for a stereo sample"), 1);
    EXPECT_EQ(countReports("Stereo sample loaded as 3D (should be mono): stereo.wav"), 1);
    // Two categories and the missing file; the stereo sample's buffer that cannot be made is not
    // said again.
    EXPECT_EQ(testsupport::reports().size(), 5u);

    // A name too long for its entry is refused each time, not loaded again and again.
    std::string deep = "d";
    while (deep.size() < 270) deep += "/" + std::string(60, 'x');
    std::filesystem::create_directories(dir.path() + "/" + deep);
    dir.write(deep + "/far.wav", wav({1, 22050, 16, 16, ""}, pattern(700)));
    for (int load = 0; load < 2; ++load) EXPECT_EQ(m.LoadSample2D((deep + "/far.wav").c_str(), 0), nullptr);
    EXPECT_EQ(countReports("Sample name too long: " + deep + "/far.wav"), 2);
    EXPECT_EQ(masters(700), 0);
    testsupport::clearReports();

    // The last release stops the sample's voices; the data goes with its last handle.
    const int voice = m.Play(a, 1, 1, 1.0f, 1.0f, 0, 0, 0, 1, 1, -1, 0, 0);
    m.ReleaseSample(a);
    EXPECT_FALSE(m.IsFinished(voice));
    m.ReleaseSample(a);
    EXPECT_TRUE(m.IsFinished(voice));
    for (SAudioFile* s : {as3D, inOne}) m.ReleaseSample(s);
    EXPECT_EQ(masters(4410), 0);
}

TEST_F(AudioManagerTest, VoicesStartAsAskedTakeIdsFromOneAndEndWhenPlayedOutOrLost)
{
    CAudioManager& m = start();
    SAudioFile* s3D = m.LoadSample3D("shot.wav", 0);
    SAudioFile* s2D = m.LoadSample2D("shot.wav", 0);
    SAudioFile* other = m.LoadSample2D("shot.wav", 1);

    // 3D values wait for the update, with y turned over; unusable distances take the defaults.
    EXPECT_EQ(m.Play(s3D, 1, 0, 0.5f, 1.0f, 1, 2, 3, -1.0f, NAN, -1, 0, 0), 1);
    ds::BufferState b = voices()[0];
    EXPECT_EQ(b.pending.position, (ds::Vector{1, -2, 3}));
    EXPECT_EQ(std::make_pair(b.pending.minDistance, b.pending.maxDistance), std::make_pair(250.0f, 1.0e9f));
    m.Update();
    EXPECT_EQ(voices()[0].applied.position, (ds::Vector{1, -2, 3}));

    // Volume and frequency are held to what DirectSound takes.
    const int looped = m.Play(s2D, 1, 1, 0.25f, 100.0f, INF, 0, 0, 1, 1, -1, 0, 0);
    EXPECT_EQ(looped, 2);
    EXPECT_EQ(voices()[1].frequency, 200000u);
    EXPECT_TRUE(voices()[1].looping);
    m.SetFrequency(looped, 0.0001f);
    EXPECT_EQ(voices()[1].frequency, 100u);
    m.SetVolume(looped, 0.0005f);
    EXPECT_EQ(voices()[1].volume, -10000);
    EXPECT_EQ(countReports("SetVolume failed"), 0);
    m.SetPosition(looped, 1, 1, 1);
    EXPECT_EQ(countReports("SetPosition on 2D sound"), 1);
    m.SetPosition(1, NAN, 0, 0);  // ignored

    // A category's volume reaches its voices only.
    const int elsewhere = m.Play(other, 1, 0, 1.0f, 1.0f, 0, 0, 0, 1, 1, -1, 0, 0);
    m.SetVolume(looped, 0.5f);
    m.SetCategoryVolume(0, 0.5f);
    EXPECT_EQ(voices()[0].volume, -1999);
    EXPECT_EQ(voices()[1].volume, -1999);
    EXPECT_EQ(voices()[2].volume, 0);
    m.Play(s2D, 1, 0, 0.5f, 1.0f, 0, 0, 0, 1, 1, -1, 0, 0);  // and to those started after
    EXPECT_EQ(voices()[3].volume, -1999);
    m.SetCategoryVolume(MAXAUDIOCATEGORIES, 0.1f);
    EXPECT_EQ(countReports("category < MAXAUDIOCATEGORIES"), 1);

    // Played out, or lost: gone at the next update, the looping one lives on until lost.
    ds::advance(150);
    EXPECT_FALSE(m.IsFinished(1));
    m.Update();
    EXPECT_TRUE(m.IsFinished(1));
    EXPECT_TRUE(m.IsFinished(elsewhere));
    EXPECT_FALSE(m.IsFinished(looped));
    ds::loseBuffer(voices()[0].buffer);
    m.Update();
    EXPECT_TRUE(m.IsFinished(looped));
    EXPECT_EQ(m.getDevice()->GetFreeVoices(), CPCAudioResourceManager::MAX_VOICES);

    // Failed starts take no id; a sample the manager does not know is refused.
    SAudioFile stranger{};
    EXPECT_EQ(m.Play(nullptr, 1, 0, 1, 1, 0, 0, 0, 1, 1, -1, 0, 0), -1);
    EXPECT_EQ(m.Play(&stranger, 1, 0, 1, 1, 0, 0, 0, 1, 1, -1, 0, 0), -1);
    EXPECT_EQ(m.getDevice()->StartVoice(999, 1, 1, false, 1, 1, -1, 0, 0), -1);
    EXPECT_EQ(countReports("Bad audio file handle: ") + countReports("Bad audiofile handle: 999"), 2);
    EXPECT_EQ(m.Play(s2D, 1, 0, 1, 1, 0, 0, 0, 1, 1, -1, 0, 0), 5);
}

TEST_F(AudioManagerTest, AFullDeviceGivesTheFarthestStealableVoiceOnlyToANearerSound)
{
    CAudioManager& m = start();
    SAudioFile* s = m.LoadSample3D("shot.wav", 0);
    SAudioFile* guarded = m.LoadSample3D("shot.wav", 1);
    SAudioFile* flat = m.LoadSample2D("shot.wav", 0);
    guarded->m_protected = 1;
    const int atListener = at(s, 0, 0);
    const int protectedFar = at(guarded, 500, 0);
    const int important = at(s, 400, 0, 9);
    const int parent = at(s, 150, 0);
    const int child = at(s, 300, 0, 1, parent);  // in a submix: not stealable
    const int first = at(s, 200, 0);
    const int second = at(s, 0, 200);
    for (int i = 0; i < 25; ++i) at(s, 10, 0);
    ASSERT_EQ(m.getDevice()->GetFreeVoices(), 0);

    EXPECT_EQ(at(s, 250, 0), -1);  // farther than anything it may take
    EXPECT_EQ(at(s, 200, 0), -1);  // not nearer
    EXPECT_NE(at(s, 50, 0), -1);   // takes the earlier of the two at 200
    EXPECT_TRUE(m.IsFinished(first));
    EXPECT_FALSE(m.IsFinished(second));
    EXPECT_NE(m.Play(flat, 1, 1, 1, 1, 0, 0, 0, 1, 1, -1, 0, 0), -1);  // 2D sounds at the listener
    EXPECT_TRUE(m.IsFinished(second));
    EXPECT_EQ(at(s, 5, 0, 0), -1);  // nothing of priority 0 or less
    EXPECT_NE(at(s, 20, 0, 1, parent), -1);  // takes the very submix it asked for, and starts alone
    EXPECT_TRUE(m.IsFinished(parent));
    EXPECT_FALSE(m.IsFinished(child));  // its sources play on
    for (int kept : {atListener, protectedFar, important}) EXPECT_FALSE(m.IsFinished(kept));
    for (int i = 0; i < 27; ++i) EXPECT_NE(at(s, 5, 0), -1) << i;  // the voices at 50, 20 and 10 go
    EXPECT_EQ(at(s, 5, 0), -1);
    EXPECT_FALSE(m.IsFinished(atListener));
}

TEST_F(AudioManagerTest, StoppingAVoiceStopsWhatWasStartedIntoIt)
{
    CAudioManager& m = start();
    SAudioFile* s = m.LoadSample3D("shot.wav", 0);
    const int root = at(s, 1, 0);
    const int middle = at(s, 1, 0, 1, root);
    const int leaf = at(s, 1, 0, 1, middle);
    const int sibling = at(s, 1, 0, 1, root);
    const int orphan = at(s, 1, 0, 1, 999);  // starts on its own
    EXPECT_EQ(voices()[1].pending.position, ds::Vector{});  // voices in a submix are not placed

    m.Stop(sibling);
    EXPECT_TRUE(m.IsFinished(sibling));
    EXPECT_FALSE(m.IsFinished(root));
    m.Stop(root);
    for (int id : {root, middle, leaf}) EXPECT_TRUE(m.IsFinished(id));
    EXPECT_FALSE(m.IsFinished(orphan));
    EXPECT_EQ(voices().size(), 1u);
}

TEST_F(AudioManagerTest, AStartUpFailureLeavesTheSilentDeviceWhichEndsEveryVoiceAtTheNextUpdate)
{
    struct Case {
        const char* call;
        const char* report;
    } cases[] = {
        {"DirectSoundCreate8", nullptr},
        {"GetCaps", "Failed to get DSound caps"},
        {"SetCooperativeLevel", "SetCooperativeLevel failed"},
        {"CreateSoundBuffer", "Failed to create primary buffer"},
        {"SetFormat", "Failed to set format of primary buffer"},
        {"QueryInterface", "Failed to query 3D Listener"},
    };
    for (const Case& c : cases) {
        testsupport::clearReports();
        ds::failCall(c.call, DSERR_GENERIC);
        CAudioManager& m = start();
        EXPECT_NE(dynamic_cast<CSilentAudioResourceManager*>(m.getDevice()), nullptr) << c.call;
        EXPECT_EQ(testsupport::reports().size(), c.report ? 1u : 0u) << c.call;
        EXPECT_EQ(c.report ? countReports(c.report) : 1, 1) << c.call;
        EXPECT_EQ(ds::liveDevices(), 0) << c.call;
    }

    ds::failCall("DirectSoundCreate8", DSERR_NODRIVER);
    CAudioManager& m = start();
    SAudioFile* flat = m.LoadSample2D("shot.wav", 0);
    SAudioFile* deep = m.LoadSample3D("shot.wav", 0);
    const int a = m.Play(flat, 1, 1, 1, 1, 0, 0, 0, 1, 1, -1, 0, 0);
    EXPECT_EQ(m.Play(deep, 1, 1, 1, 1, 0, 0, 0, 1, 1, a, 0, 0), a + 1);
    EXPECT_TRUE(m.IsFinished(a));
    // The manager forgets the voices at the next update.
    m.Update();
    EXPECT_EQ(countReports("Bad submix effect manager handle"), 0);
    m.Play(deep, 1, 1, 1, 1, 0, 0, 0, 1, 1, a, 0, 0);
    EXPECT_EQ(countReports("Bad submix effect manager handle"), 1);
    EXPECT_TRUE(m.IsStreamFinished(m.CreateStream("music.wav", 1, 1.0f, 0)));
    // This device opens no file, so only the manager stops a name too long for its entry from being
    // stored cut and added again at every load.
    const std::string longName = std::string(300, 'x') + ".wav";
    for (int load = 0; load < 2; ++load) EXPECT_EQ(m.LoadSample2D(longName.c_str(), 0), nullptr);
    EXPECT_EQ(countReports("Sample name too long: " + longName), 2);
}

TEST_F(AudioManagerTest, TheDeviceOpensThePrimaryBufferTheListenerAndASecondOfSilence)
{
    struct Case {
        DWORD caps;
        WORD channels, bits;
        uint8_t silence;
    } cases[] = {
        {0, 1, 8, 0x80},
        {DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT, 2, 16, 0},
    };
    for (const Case& c : cases) {
        ds::setCapsFlags(c.caps);
        start();
        ASSERT_EQ(ds::devices().size(), 1u);
        const ds::DeviceState d = ds::devices()[0];
        EXPECT_EQ(d.level, static_cast<DWORD>(DSSCL_PRIORITY));
        const WAVEFORMATEX f = d.primaryFormat;
        EXPECT_EQ(std::vector<DWORD>({f.nSamplesPerSec, f.nChannels, f.wBitsPerSample}),
                  std::vector<DWORD>({44100, c.channels, c.bits}));
        EXPECT_EQ(d.applied.distanceFactor, 0.1f);
        ASSERT_EQ(ds::buffers().size(), 1u);
        const ds::BufferState silent = ds::buffers()[0];
        EXPECT_EQ(std::make_pair(true, true), std::make_pair(bool(silent.playing), bool(silent.looping)));

        EXPECT_EQ(ds::bufferBytes(silent.buffer), std::vector<uint8_t>(44100u * c.channels * c.bits / 8, c.silence));
    }

    // The listener's values wait for the update too.
    audio->getDevice()->SetListenerOrientation(0, 1, 0, 0, 0, 1);
    EXPECT_EQ(ds::devices()[0].applied.front, (ds::Vector{0, 0, 1}));
    audio->Update();
    EXPECT_EQ(ds::devices()[0].applied.front, (ds::Vector{0, -1, 0}));

    // Without its silent buffer the device still starts.
    ds::failCall("Lock", DSERR_GENERIC);
    start();
    EXPECT_TRUE(ds::buffers().empty());
    EXPECT_EQ(countReports("Failed to lock silent buffer"), 1);
}

TEST_F(AudioManagerTest, ShutdownLeavesNoDirectSoundObjectAlive)
{
    CAudioManager& m = start();
    SAudioFile* s = m.LoadSample3D("shot.wav", 0);
    m.LoadSample2D("music.wav", 0);
    m.Play(s, 1, 1, 1, 1, 0, 0, 0, 1, 1, -1, 0, 0);
    m.CreateStream("music.wav", 1, 1.0f, 0);
    EXPECT_EQ(m.getDevice()->GetFreeVoices(), CPCAudioResourceManager::MAX_VOICES - 2);
    m.Shutdown();
    EXPECT_EQ(ds::liveBuffers(), 0);
    EXPECT_EQ(ds::liveDevices(), 0);
    EXPECT_EQ(m.Play(s, 1, 1, 1, 1, 0, 0, 0, 1, 1, -1, 0, 0), -1);
}
