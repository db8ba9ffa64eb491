// The DirectSound stand-in's shared state: devices, buffers, the mixer and the output. One lock
// guards all of it; every interface call, the mixer and the test hooks take it.
#pragma once

#include "platform/dsound.h"
#include "platform/testing/dsound.h"
#include "../steering/CallSteering.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::dsound {

using testing::dsound::ListenerParams;
using testing::dsound::Params3D;
using testing::dsound::Vector;

// The mixer's output: 44.1 kHz stereo floats, whatever the primary buffer's format.
const DWORD OUTPUT_RATE = 44100;
// A card that takes every format at any rate.
const DWORD DEFAULT_CAPS = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                           DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO |
                           DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;

class Device;

// Sound data shared by a buffer and its duplicates.
struct SoundData {
    std::vector<uint8_t> bytes;
    int id;
};

// A region handed out by Lock: the caller writes a staging copy, which Unlock commits.
struct LockedRegion {
    std::unique_ptr<uint8_t[]> staging;
    DWORD offset;
    DWORD bytes1;
    DWORD bytes2;
};

class Buffer;

// An interface a buffer hands out besides its own: it shares the buffer's reference count.
template <typename Interface>
class BufferPart : public Interface {
public:
    explicit BufferPart(Buffer* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

protected:
    Buffer* m_owner;
};

class NotifyPart final : public BufferPart<IDirectSoundNotify> {
public:
    using BufferPart::BufferPart;
    HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) override;
};

class Buffer3DPart final : public BufferPart<IDirectSound3DBuffer> {
public:
    using BufferPart::BufferPart;
    HRESULT SetPosition(FLOAT x, FLOAT y, FLOAT z, DWORD apply) override;
    HRESULT SetVelocity(FLOAT x, FLOAT y, FLOAT z, DWORD apply) override;
    HRESULT SetMinDistance(FLOAT distance, DWORD apply) override;
    HRESULT SetMaxDistance(FLOAT distance, DWORD apply) override;
};

// The primary buffer's listener.
class ListenerPart final : public BufferPart<IDirectSound3DListener> {
public:
    using BufferPart::BufferPart;
    HRESULT SetPosition(FLOAT x, FLOAT y, FLOAT z, DWORD apply) override;
    HRESULT SetVelocity(FLOAT x, FLOAT y, FLOAT z, DWORD apply) override;
    HRESULT SetOrientation(FLOAT frontX, FLOAT frontY, FLOAT frontZ, FLOAT topX, FLOAT topY, FLOAT topZ,
                           DWORD apply) override;
    HRESULT SetDistanceFactor(FLOAT factor, DWORD apply) override;
    HRESULT SetDopplerFactor(FLOAT factor, DWORD apply) override;
    HRESULT CommitDeferredSettings() override;
};

class Buffer final : public IDirectSoundBuffer {
public:
    Buffer(Device* device, bool primary, DWORD flags, const WAVEFORMATEX& format, std::shared_ptr<SoundData> data);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCurrentPosition(DWORD* playCursor, DWORD* writeCursor) override;
    HRESULT GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) override;
    HRESULT GetVolume(LONG* volume) override;
    HRESULT GetFrequency(DWORD* frequency) override;
    HRESULT GetStatus(DWORD* status) override;
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, DWORD* bytes1, LPVOID* audio2, DWORD* bytes2,
                 DWORD flags) override;
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
    HRESULT SetCurrentPosition(DWORD position) override;
    HRESULT SetFormat(LPCWAVEFORMATEX format) override;
    HRESULT SetVolume(LONG volume) override;
    HRESULT SetFrequency(DWORD frequency) override;
    HRESULT Stop() override;
    HRESULT Unlock(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) override;
    HRESULT Restore() override;

    // With the lock held.
    DWORD size() const { return static_cast<DWORD>(data->bytes.size()); }
    DWORD frames() const { return size() / format.nBlockAlign; }
    DWORD playCursor() const { return static_cast<DWORD>(position >> 32) * format.nBlockAlign; }
    // Stops the buffer and sets its stop notifications.
    void halt();
    // Sets the events of the offsets among `bytes` bytes played from byte `from`.
    void notifyPassed(DWORD from, uint64_t bytes);

    Device* const device;
    const bool primary;
    const DWORD flags;
    WAVEFORMATEX format;
    std::shared_ptr<SoundData> data;
    IDirectSoundBuffer* original = nullptr;  // the buffer a duplicate was made from

    bool playing = false;
    bool looping = false;
    bool lost = false;
    uint64_t position = 0;  // frames, 32.32 fixed point
    DWORD frequency;
    LONG volume = 0;
    Params3D pending;
    Params3D applied;
    std::vector<DSBPOSITIONNOTIFY> notifications;
    std::vector<LockedRegion> locks;
    int lockCount = 0;
    int unlockCount = 0;

    NotifyPart notifyPart{this};
    Buffer3DPart part3D{this};
    ListenerPart listenerPart{this};

private:
    ~Buffer() override = default;
    std::atomic<ULONG> m_references{1};
};

class Device final : public IDirectSound8 {
public:
    Device();

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC description, IDirectSoundBuffer** buffer, LPUNKNOWN outer) override;
    HRESULT GetCaps(DSCAPS* caps) override;
    HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** duplicate) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override;

    // With the lock held.
    Buffer* primary = nullptr;
    std::vector<Buffer*> buffers;  // secondary buffers, oldest first
    HWND window = nullptr;
    DWORD level = 0;
    ListenerParams pending;
    ListenerParams applied;

private:
    ~Device() override = default;
    std::atomic<ULONG> m_references{1};
};

// Sound fed into the mix by something other than a buffer: a DirectShow graph's audio.
class ExternalVoice {
public:
    // With the lock held: adds `frames` output frames to `out` (interleaved stereo) while it plays.
    virtual void mixInto(float* out, DWORD frames) = 0;

protected:
    ~ExternalVoice() = default;
};

enum class OutputKind { None, Manual, Sdl, Silent };

struct World {
    std::mutex lock;
    std::vector<Device*> devices;
    std::vector<ExternalVoice*> externalVoices;
    int liveBuffers = 0;
    int nextDataId = 1;

    // Test steering.
    bool manual = false;
    bool allowSdl = true;
    DWORD capsFlags = DEFAULT_CAPS;
    CallSteering steering;
    uint64_t manualMilliseconds = 0;
    uint64_t manualFrames = 0;
    std::vector<float> lastMix;

    OutputKind output = OutputKind::None;
};

World& world();
// Runs the test's hook for the method, if any. Without the lock.
void runCallHook(const char* method);
// Counts the call and answers a forced failure for it (S_OK when none). With the lock held.
HRESULT forcedResult(const char* method);
// Mixes `frames` output frames into `out` (interleaved stereo), advancing every playing buffer.
// With the lock held.
void render(float* out, DWORD frames);
// Starts or stops the output to match the devices alive and the clock chosen. Without the lock.
void reconcileOutput();
bool validPcm(const WAVEFORMATEX& format);
// Hundredths of a decibel as a linear gain.
float volumeGain(LONG volume);
// The output runs while a device or an external voice is alive. Without the lock.
void addExternalVoice(ExternalVoice* voice);
void removeExternalVoice(ExternalVoice* voice);

}  // namespace platform::dsound
