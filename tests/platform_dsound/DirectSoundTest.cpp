#include "platform/dsound.h"
#include "platform/testing/dsound.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace ds = platform::testing::dsound;

namespace {

WAVEFORMATEX pcm(WORD channels, DWORD rate, WORD bits)
{
    const WORD align = static_cast<WORD>(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

class DirectSoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ds::useManualClock();
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    }
    void TearDown() override
    {
        for (IDirectSoundBuffer* b : made) b->Release();
        device->Release();
        EXPECT_EQ(ds::liveBuffers(), 0);
        EXPECT_EQ(ds::liveDevices(), 0);
    }

    HRESULT create(DWORD flags, DWORD bytes, WAVEFORMATEX* format, IDirectSoundBuffer** out)
    {
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = flags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = format;
        HRESULT hr = device->CreateSoundBuffer(&desc, out, nullptr);
        if (SUCCEEDED(hr)) made.push_back(*out);
        return hr;
    }

    // A buffer whose every sample is `value`, 16 bits.
    IDirectSoundBuffer* filled(DWORD flags, WAVEFORMATEX format, DWORD bytes, int16_t value)
    {
        IDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(create(flags, bytes, &format, &b), DS_OK);
        write(b, 0, std::vector<int16_t>(bytes / 2, value).data(), bytes);
        return b;
    }

    void write(IDirectSoundBuffer* b, DWORD offset, const void* bytes, DWORD count)
    {
        void *p1, *p2;
        DWORD n1, n2;
        ASSERT_EQ(b->Lock(offset, count, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memcpy(p1, bytes, n1);
        if (n2) std::memcpy(p2, static_cast<const uint8_t*>(bytes) + n1, n2);
        ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    }

    DWORD cursor(IDirectSoundBuffer* b)
    {
        DWORD play = 0;
        b->GetCurrentPosition(&play, nullptr);
        return play;
    }

    IDirectSound8* device = nullptr;
    std::vector<IDirectSoundBuffer*> made;
};

}  // namespace

TEST_F(DirectSoundTest, BuffersAreRefusedAsTheRealInterfaceRefusesThem)
{
    const DWORD volume = DSBCAPS_CTRLVOLUME;
    struct Case {
        const char* what;
        DWORD flags;
        DWORD bytes;
        WAVEFORMATEX format;
        bool noFormat;
        HRESULT expected;
    } cases[] = {
        {"mono 16-bit", volume, 1000, pcm(1, 22050, 16), false, DS_OK},
        {"no format", volume, 1000, pcm(1, 22050, 16), true, DSERR_INVALIDPARAM},
        {"too small", volume, 2, pcm(1, 22050, 8), false, DSERR_INVALIDPARAM},
        {"not PCM", volume, 1000, {3, 1, 22050, 88200, 4, 32, 0}, false, DSERR_BADFORMAT},
        {"three channels", volume, 1000, pcm(3, 22050, 16), false, DSERR_BADFORMAT},
        {"24 bits", volume, 1000, pcm(1, 22050, 24), false, DSERR_BADFORMAT},
        {"rate too low", volume, 1000, pcm(1, 50, 16), false, DSERR_BADFORMAT},
        {"wrong block align", volume, 1000, {1, 1, 22050, 44100, 4, 16, 0}, false, DSERR_BADFORMAT},
        {"wrong byte rate", volume, 1000, {1, 1, 22050, 44000, 2, 16, 0}, false, DSERR_BADFORMAT},
        {"stereo 3D", DSBCAPS_CTRL3D, 1000, pcm(2, 22050, 16), false, DSERR_INVALIDPARAM},
        {"3D with pan", DSBCAPS_CTRL3D | DSBCAPS_CTRLPAN, 1000, pcm(1, 22050, 16), false, DSERR_INVALIDPARAM},
        {"both locations", DSBCAPS_LOCSOFTWARE | DSBCAPS_LOCHARDWARE, 1000, pcm(1, 22050, 16), false,
         DSERR_INVALIDPARAM},
        {"primary with a size", DSBCAPS_PRIMARYBUFFER, 1000, pcm(1, 22050, 16), true, DSERR_INVALIDPARAM},
    };
    for (Case& c : cases) {
        IDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(create(c.flags, c.bytes, c.noFormat ? nullptr : &c.format, &b), c.expected) << c.what;
    }
    // A size is rounded up to whole sample frames: a 16-bit stereo buffer of 1001 bytes holds 1004.
    WAVEFORMATEX stereo = pcm(2, 44100, 16);
    IDirectSoundBuffer* odd = nullptr;
    ASSERT_EQ(create(0, 1001, &stereo, &odd), DS_OK);
    ds::BufferState state;
    ASSERT_TRUE(ds::bufferState(odd, &state));
    EXPECT_EQ(state.size, 1004u);

    IDirectSound8* other = nullptr;
    DirectSoundCreate8(nullptr, &other, nullptr);
    DSBUFFERDESC desc{sizeof desc, 0, 1000, 0, &stereo, {}};
    EXPECT_EQ(other->CreateSoundBuffer(&desc, &odd, nullptr), DSERR_PRIOLEVELNEEDED);  // no level yet
    other->Release();
}

TEST_F(DirectSoundTest, CursorsMoveWithTheClockAtTheBufferFrequency)
{
    // Two seconds of 22.05 kHz mono 16-bit sound: 44100 bytes a second.
    IDirectSoundBuffer* b = filled(DSBCAPS_CTRLFREQUENCY, pcm(1, 22050, 16), 88200, 0);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ds::advance(1000);
    EXPECT_EQ(cursor(b), 44100u);
    DWORD write = 0;
    b->GetCurrentPosition(nullptr, &write);
    EXPECT_GT(write, 44100u);
    ASSERT_EQ(b->SetFrequency(44100), DS_OK);
    ds::advance(250);
    EXPECT_EQ(cursor(b), 66150u);
    ds::advance(500);  // wraps
    EXPECT_EQ(cursor(b), 66150u + 44100u - 88200u);
    EXPECT_EQ(b->SetFrequency(99), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetFrequency(200000), DS_OK);
    b->Stop();
    const DWORD stopped = cursor(b);
    ds::advance(100);
    EXPECT_EQ(cursor(b), stopped);

    // A buffer that does not loop stops at its end and rests at the start.
    IDirectSoundBuffer* once = filled(0, pcm(1, 22050, 16), 22050, 0);  // half a second
    once->Play(0, 0, 0);
    ds::advance(400);
    DWORD status = 0;
    once->GetStatus(&status);
    EXPECT_EQ(status, static_cast<DWORD>(DSBSTATUS_PLAYING));
    ds::advance(200);
    once->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(cursor(once), 0u);
}

TEST_F(DirectSoundTest, TheMixAppliesVolumeInHundredthsOfADecibelAndInterpolatesBetweenSamples)
{
    IDirectSoundBuffer* loud = filled(DSBCAPS_CTRLVOLUME, pcm(1, 44100, 16), 4410, 16384);  // 0.5
    IDirectSoundBuffer* right = nullptr;
    WAVEFORMATEX stereo8 = pcm(2, 44100, 8);
    create(0, 4410, &stereo8, &right);
    std::vector<uint8_t> rightOnly(4410);
    for (size_t i = 0; i < rightOnly.size(); ++i) rightOnly[i] = i % 2 ? 0xA0 : 0x80;  // 0.25 right
    write(right, 0, rightOnly.data(), 4410);
    loud->Play(0, 0, DSBPLAY_LOOPING);
    right->Play(0, 0, DSBPLAY_LOOPING);

    struct Step {
        LONG volume;
        float left;
    } steps[] = {{0, 0.5f}, {-600, 0.5f * 0.501187f}, {-2000, 0.05f}, {-10000, 0.0f}};
    for (const Step& s : steps) {
        ASSERT_EQ(loud->SetVolume(s.volume), DS_OK);
        ds::advanceFrames(8);
        const std::vector<float> mix = ds::mixedOutput();
        ASSERT_EQ(mix.size(), 16u);
        EXPECT_NEAR(mix[6], s.left, 1e-4) << s.volume;
        EXPECT_NEAR(mix[7], s.left + 0.25f, 1e-4) << s.volume;
    }
    EXPECT_EQ(loud->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(loud->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(right->SetVolume(-100), DSERR_CONTROLUNAVAIL);
    right->Stop();
    loud->Stop();

    // Half speed: every second output frame lies halfway between two samples.
    IDirectSoundBuffer* ramp = nullptr;
    WAVEFORMATEX mono = pcm(1, 22050, 16);
    create(0, 8, &mono, &ramp);
    const int16_t samples[4] = {0, 8192, 16384, 24576};
    write(ramp, 0, samples, 8);
    ramp->Play(0, 0, 0);
    ds::advanceFrames(6);
    const std::vector<float> mix = ds::mixedOutput();
    const float expected[6] = {0, 0.125f, 0.25f, 0.375f, 0.5f, 0.625f};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(mix[2 * i], expected[i], 1e-4) << i;
}

TEST_F(DirectSoundTest, DeferredThreeDSettingsTakeEffectAtTheCommitAndPlaceTheSound)
{
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(create(DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D, 0, nullptr, &primary), DS_OK);
    IDirectSound3DListener* listener = nullptr;
    ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(&listener)), S_OK);
    IDirectSoundBuffer* master = filled(DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME, pcm(1, 44100, 16), 4410, 16384);
    IDirectSoundBuffer* voice = nullptr;
    ASSERT_EQ(device->DuplicateSoundBuffer(master, &voice), DS_OK);
    made.push_back(voice);
    IDirectSound3DBuffer* voice3D = nullptr;
    ASSERT_EQ(voice->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(&voice3D)), S_OK);

    voice3D->SetPosition(10, 0, 0, DS3D_DEFERRED);
    voice3D->SetMinDistance(1, DS3D_DEFERRED);
    listener->SetPosition(0, 0, 0, DS3D_DEFERRED);
    listener->SetDistanceFactor(0.1f, DS3D_IMMEDIATE);
    ds::BufferState state;
    ds::bufferState(voice, &state);
    EXPECT_EQ(state.pending.position, (ds::Vector{10, 0, 0}));
    EXPECT_EQ(state.applied.position, (ds::Vector{0, 0, 0}));
    EXPECT_FLOAT_EQ(ds::devices()[0].applied.distanceFactor, 0.1f);

    voice->Play(0, 0, DSBPLAY_LOOPING);
    ds::advanceFrames(4);
    EXPECT_NEAR(ds::mixedOutput()[6], 0.5f, 1e-4);  // still at the listener

    ASSERT_EQ(listener->CommitDeferredSettings(), DS_OK);
    ds::bufferState(voice, &state);
    EXPECT_EQ(state.applied.position, (ds::Vector{10, 0, 0}));
    struct Place {
        ds::Vector at;
        float maxDistance;
        float left, right;
    } places[] = {
        {{10, 0, 0}, 1e9f, 0.0f, 0.05f},     // ten times the minimum distance, on the right
        {{-0.5f, 0, 0}, 1e9f, 0.5f, 0.0f},   // inside the minimum distance, on the left
        {{0, 0, 4}, 1e9f, 0.125f, 0.125f},   // ahead
        {{0, 0, 40}, 8.0f, 0.0625f, 0.0625f} // beyond the maximum distance: no quieter than there
    };
    for (const Place& p : places) {
        voice3D->SetPosition(p.at.x, p.at.y, p.at.z, DS3D_IMMEDIATE);
        voice3D->SetMaxDistance(p.maxDistance, DS3D_IMMEDIATE);
        ds::advanceFrames(4);
        EXPECT_NEAR(ds::mixedOutput()[6], p.left, 1e-4) << p.at.x << "," << p.at.z;
        EXPECT_NEAR(ds::mixedOutput()[7], p.right, 1e-4) << p.at.x << "," << p.at.z;
    }
    // Turning the listener round swaps the sides.
    listener->SetOrientation(0, 0, -1, 0, 1, 0, DS3D_IMMEDIATE);
    voice3D->SetPosition(10, 0, 0, DS3D_IMMEDIATE);
    voice3D->SetMaxDistance(1e9f, DS3D_IMMEDIATE);
    ds::advanceFrames(4);
    EXPECT_NEAR(ds::mixedOutput()[6], 0.05f, 1e-4);
    EXPECT_NEAR(ds::mixedOutput()[7], 0.0f, 1e-4);

    IDirectSound3DListener* none = nullptr;
    EXPECT_EQ(master->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    voice3D->Release();
    listener->Release();
}

TEST_F(DirectSoundTest, DuplicatesShareTheSoundButKeepTheirOwnCursorAndSettings)
{
    IDirectSoundBuffer* master = filled(DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY, pcm(1, 22050, 16), 8820, 100);
    master->SetVolume(-300);
    IDirectSoundBuffer* copy = nullptr;
    ASSERT_EQ(device->DuplicateSoundBuffer(master, &copy), DS_OK);
    made.push_back(copy);
    const int16_t marker = 0x1234;
    write(copy, 0, &marker, 2);  // writing through the copy changes the shared sound
    EXPECT_EQ(ds::bufferBytes(master)[0], 0x34);
    LONG volume = 0;
    copy->GetVolume(&volume);
    EXPECT_EQ(volume, -300);
    copy->SetVolume(-900);
    master->GetVolume(&volume);
    EXPECT_EQ(volume, -300);

    copy->Play(0, 0, DSBPLAY_LOOPING);
    ds::advance(100);
    EXPECT_EQ(cursor(copy), 4410u);
    EXPECT_EQ(cursor(master), 0u);
    ds::BufferState state;
    ds::bufferState(copy, &state);
    EXPECT_EQ(state.original, master);
    EXPECT_EQ(state.dataId, ds::buffers()[0].dataId);

    // Releasing the master leaves the copy its sound.
    made.erase(made.begin());
    master->Release();
    EXPECT_EQ(ds::bufferBytes(copy)[0], 0x34);
    EXPECT_EQ(ds::liveBuffers(), 1);
}

TEST_F(DirectSoundTest, NotificationsAreSetEachTimeThePlayCursorPassesAnOffsetAcrossTheWrapToo)
{
    IDirectSoundBuffer* b = filled(DSBCAPS_CTRLPOSITIONNOTIFY, pcm(1, 44100, 16), 24576, 0);
    IDirectSoundNotify* notify = nullptr;
    ASSERT_EQ(b->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify)), S_OK);
    HANDLE events[4];
    for (HANDLE& e : events) e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DSBPOSITIONNOTIFY positions[4] = {
        {8191, events[0]}, {16383, events[1]}, {24575, events[2]}, {DSBPN_OFFSETSTOP, events[3]}};
    ASSERT_EQ(notify->SetNotificationPositions(4, positions), DS_OK);
    auto signalled = [&] {
        std::vector<int> set;
        for (int i = 0; i < 4; ++i) {
            if (WaitForSingleObject(events[i], 0) == WAIT_OBJECT_0) set.push_back(i);
            ResetEvent(events[i]);
        }
        return set;
    };

    b->Play(0, 0, DSBPLAY_LOOPING);
    EXPECT_EQ(notify->SetNotificationPositions(4, positions), DSERR_INVALIDCALL);  // while playing
    ds::advanceFrames(4095);  // up to byte 8189: the offset is not passed yet
    EXPECT_EQ(signalled(), std::vector<int>{});
    ds::advanceFrames(1);
    EXPECT_EQ(signalled(), std::vector<int>{0});
    ds::advanceFrames(8192);  // to the end of the buffer
    EXPECT_EQ(signalled(), (std::vector<int>{1, 2}));
    ds::advanceFrames(13000);  // more than a lap: every offset
    EXPECT_EQ(signalled(), (std::vector<int>{0, 1, 2}));
    b->Stop();
    EXPECT_EQ(signalled(), std::vector<int>{3});

    notify->Release();
    for (HANDLE e : events) CloseHandle(e);
}

TEST_F(DirectSoundTest, LocksWrapInTwoPiecesAndLostBuffersRefuseUntilRestored)
{
    IDirectSoundBuffer* b = filled(0, pcm(1, 44100, 8), 100, 0);
    void *p1, *p2;
    DWORD n1, n2;
    ASSERT_EQ(b->Lock(90, 20, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 10u);
    EXPECT_EQ(n2, 10u);
    std::memset(p1, 1, n1);
    std::memset(p2, 2, n2);
    EXPECT_EQ(ds::bufferBytes(b)[95], 0);  // nothing reaches the buffer before Unlock
    ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    EXPECT_EQ(ds::bufferBytes(b)[95], 1);
    EXPECT_EQ(ds::bufferBytes(b)[5], 2);
    EXPECT_EQ(b->Lock(90, 20, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);  // wraps, no second piece
    EXPECT_EQ(b->Unlock(p1, n1, nullptr, 0), DSERR_INVALIDPARAM);                   // never locked
    ASSERT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 0u);
    b->Unlock(p1, n1, nullptr, 0);

    b->Play(0, 0, DSBPLAY_LOOPING);
    ds::loseBuffer(b);
    DWORD status = 0;
    b->GetStatus(&status);
    EXPECT_EQ(status, static_cast<DWORD>(DSBSTATUS_BUFFERLOST));
    EXPECT_EQ(b->Lock(0, 10, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Play(0, 0, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DS_OK);
    EXPECT_EQ(b->Lock(0, 10, &p1, &n1, &p2, &n2, 0), DS_OK);
    b->Unlock(p1, n1, nullptr, 0);

    ds::failCall("Lock", DSERR_BUFFERLOST, 2);
    EXPECT_EQ(b->Lock(0, 10, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Lock(0, 10, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Lock(0, 10, &p1, &n1, &p2, &n2, 0), DS_OK);
    b->Unlock(p1, n1, nullptr, 0);
    ds::BufferState state;
    ds::bufferState(b, &state);
    EXPECT_EQ(state.locks, 5);  // failed locks are not counted
    EXPECT_EQ(state.unlocks, 5);
    EXPECT_EQ(ds::calls("Lock"), 9);
}

TEST_F(DirectSoundTest, ThePrimaryBufferTakesTheFormatFromAPriorityLevelAndReportsTheCaps)
{
    DSCAPS caps{};
    EXPECT_EQ(device->GetCaps(&caps), DSERR_INVALIDPARAM);  // size not set
    caps.dwSize = sizeof caps;
    ds::setCapsFlags(DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY8BIT);
    ASSERT_EQ(device->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwFlags, static_cast<DWORD>(DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY8BIT));

    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(create(DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D, 0, nullptr, &primary), DS_OK);
    IDirectSoundBuffer* again = nullptr;
    ASSERT_EQ(create(DSBCAPS_PRIMARYBUFFER, 0, nullptr, &again), DS_OK);
    EXPECT_EQ(again, primary);  // one primary buffer per device
    WAVEFORMATEX format = pcm(1, 44100, 8);
    ASSERT_EQ(primary->SetFormat(&format), DS_OK);
    WAVEFORMATEX read{};
    ASSERT_EQ(primary->GetFormat(&read, sizeof read, nullptr), DS_OK);
    EXPECT_EQ(std::memcmp(&read, &format, sizeof read), 0);
    EXPECT_EQ(primary->Play(0, 0, 0), DSERR_INVALIDPARAM);  // the primary only loops
    EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_TRUE(ds::devices()[0].primaryPlaying);

    device->SetCooperativeLevel(nullptr, DSSCL_NORMAL);
    EXPECT_EQ(primary->SetFormat(&format), DSERR_PRIOLEVELNEEDED);
    ds::failCall("DirectSoundCreate8", DSERR_NODRIVER);
    IDirectSound8* none = nullptr;
    EXPECT_EQ(DirectSoundCreate8(nullptr, &none, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(none, nullptr);
}
