// Test hooks of the DirectSound stand-in: the audio clock, the card's answers, forced results and a
// view of every device and buffer. Never used by the engine.
#pragma once

#include "platform/dsound.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::testing::dsound {

// Switches to the manual clock and forgets every forced result, call count and choice: cursors
// move only when a test advances the clock. Objects still alive stay.
void useManualClock();
// Back to real output, as in the program: SDL2 audio, or a silent sink that consumes in real time
// when SDL2 audio cannot open (or is not allowed).
void useLiveOutput(bool allowSdl = true);
// The output fed now: "manual", "sdl", "silent", or "none" while no device is alive.
const char* outputName();

// Advances the manual clock (44.1 kHz output frames): mixes, moves the cursors, stops buffers at
// their end and sets notification events, all before it returns.
void advance(DWORD milliseconds);
void advanceFrames(DWORD frames);
// The output mixed by the last advance: interleaved stereo floats.
std::vector<float> mixedOutput();

// The flags GetCaps reports (by default every primary and secondary format, continuous rate).
void setCapsFlags(DWORD flags);
// The next `times` calls of the method ("DirectSoundCreate8", "Lock", "QueryInterface", ...) on
// any object fail with the result; times < 0 until useManualClock, times 0 lifts the switch.
void failCall(const std::string& method, HRESULT result, int times = 1);
// Runs on the calling thread at the start of every call of the method, outside the stand-in's lock
// (so it may advance the clock or wait for the test). Null removes it.
void setCallHook(const std::string& method, std::function<void()> hook);
// The buffer stops and is lost: it reports DSBSTATUS_BUFFERLOST and refuses to lock or play
// until Restore.
void loseBuffer(IDirectSoundBuffer* buffer);
// Calls of the method since useManualClock, on all objects.
int calls(const std::string& method);

struct Vector {
    float x = 0, y = 0, z = 0;
    bool operator==(const Vector&) const = default;
};
struct Params3D {
    Vector position;
    Vector velocity;
    float minDistance = DS3D_DEFAULTMINDISTANCE;
    float maxDistance = DS3D_DEFAULTMAXDISTANCE;
    bool operator==(const Params3D&) const = default;
};
struct ListenerParams {
    Vector position;
    Vector velocity;
    Vector front{0, 0, 1};
    Vector top{0, 1, 0};
    float distanceFactor = DS3D_DEFAULTDISTANCEFACTOR;
    float dopplerFactor = DS3D_DEFAULTDOPPLERFACTOR;
    bool operator==(const ListenerParams&) const = default;
};

struct BufferState {
    IDirectSoundBuffer* buffer = nullptr;
    IDirectSoundBuffer* original = nullptr;  // for a duplicate, the buffer it was made from
    int dataId = 0;                          // the same for a buffer and its duplicates
    DWORD flags = 0;
    DWORD size = 0;
    WAVEFORMATEX format{};
    bool playing = false;
    bool looping = false;
    bool lost = false;
    DWORD playCursor = 0;
    LONG volume = 0;
    DWORD frequency = 0;
    int locks = 0;    // successful Lock calls
    int unlocks = 0;  // successful Unlock calls
    std::vector<DSBPOSITIONNOTIFY> notifications;
    Params3D pending;  // 3D values as last set
    Params3D applied;  // 3D values in force (after CommitDeferredSettings or an immediate set)
};

struct DeviceState {
    IDirectSound8* device = nullptr;
    HWND window = nullptr;
    DWORD level = 0;
    bool hasPrimary = false;
    WAVEFORMATEX primaryFormat{};
    bool primaryPlaying = false;
    ListenerParams pending;
    ListenerParams applied;
};

// Every live secondary buffer, oldest first; false / empty for a buffer that is not alive.
std::vector<BufferState> buffers();
bool bufferState(IDirectSoundBuffer* buffer, BufferState* state);
std::vector<uint8_t> bufferBytes(IDirectSoundBuffer* buffer);
std::vector<DeviceState> devices();
int liveDevices();
int liveBuffers();  // primary buffers and duplicates included

}  // namespace platform::testing::dsound
