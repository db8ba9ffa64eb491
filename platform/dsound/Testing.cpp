// The test hooks: the manual clock, forced results and read-back of devices and buffers.
#include "World.h"

#include <algorithm>

namespace platform::dsound {

void runCallHook(const char* method) { world().steering.runHook(method); }

HRESULT forcedResult(const char* method) { return world().steering.forcedResult(method); }

namespace {

// With the lock held: the live secondary buffer behind the pointer, or null.
Buffer* find(IDirectSoundBuffer* pointer)
{
    for (Device* d : world().devices)
        for (Buffer* b : d->buffers)
            if (b == pointer) return b;
    return nullptr;
}

testing::dsound::BufferState stateOf(const Buffer& b)
{
    testing::dsound::BufferState s;
    s.buffer = const_cast<Buffer*>(&b);
    s.original = b.original;
    s.dataId = b.data->id;
    s.flags = b.flags;
    s.size = b.size();
    s.format = b.format;
    s.playing = b.playing;
    s.looping = b.looping;
    s.lost = b.lost;
    s.playCursor = b.playCursor();
    s.volume = b.volume;
    s.frequency = b.frequency;
    s.locks = b.lockCount;
    s.unlocks = b.unlockCount;
    s.notifications = b.notifications;
    s.pending = b.pending;
    s.applied = b.applied;
    return s;
}

}  // namespace

}  // namespace platform::dsound

namespace platform::testing::dsound {

using platform::dsound::Buffer;
using platform::dsound::Device;
using platform::dsound::OUTPUT_RATE;
using platform::dsound::world;

void useManualClock()
{
    {
        std::lock_guard<std::mutex> guard(world().lock);
        auto& w = world();
        w.manual = true;
        w.steering.clear();
        w.capsFlags = platform::dsound::DEFAULT_CAPS;
        w.manualMilliseconds = 0;
        w.manualFrames = 0;
        w.lastMix.clear();
    }
    platform::dsound::reconcileOutput();
}

void useLiveOutput(bool allowSdl)
{
    {
        std::lock_guard<std::mutex> guard(world().lock);
        world().manual = false;
        world().allowSdl = allowSdl;
    }
    platform::dsound::reconcileOutput();
}

const char* outputName()
{
    std::lock_guard<std::mutex> guard(world().lock);
    switch (world().output) {
    case platform::dsound::OutputKind::Manual: return "manual";
    case platform::dsound::OutputKind::Sdl: return "sdl";
    case platform::dsound::OutputKind::Silent: return "silent";
    default: return "none";
    }
}

void advanceFrames(DWORD frames)
{
    std::lock_guard<std::mutex> guard(world().lock);
    world().lastMix.resize(2 * static_cast<size_t>(frames));
    platform::dsound::render(world().lastMix.data(), frames);
}

void advance(DWORD milliseconds)
{
    DWORD frames;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        auto& w = world();
        w.manualMilliseconds += milliseconds;
        const uint64_t target = w.manualMilliseconds * OUTPUT_RATE / 1000;
        frames = static_cast<DWORD>(target - w.manualFrames);
        w.manualFrames = target;
    }
    advanceFrames(frames);
}

std::vector<float> mixedOutput()
{
    std::lock_guard<std::mutex> guard(world().lock);
    return world().lastMix;
}

void setCapsFlags(DWORD flags)
{
    std::lock_guard<std::mutex> guard(world().lock);
    world().capsFlags = flags;
}

void failCall(const std::string& method, HRESULT result, int times)
{
    std::lock_guard<std::mutex> guard(world().lock);
    world().steering.fail(method, result, times);
}

void setCallHook(const std::string& method, std::function<void()> hook)
{
    world().steering.setHook(method, std::move(hook));
}

void loseBuffer(IDirectSoundBuffer* buffer)
{
    std::lock_guard<std::mutex> guard(world().lock);
    if (Buffer* b = platform::dsound::find(buffer)) {
        b->halt();
        b->lost = true;
    }
}

int calls(const std::string& method)
{
    std::lock_guard<std::mutex> guard(world().lock);
    return world().steering.count(method);
}

std::vector<BufferState> buffers()
{
    std::lock_guard<std::mutex> guard(world().lock);
    std::vector<const Buffer*> all;
    for (Device* d : world().devices) all.insert(all.end(), d->buffers.begin(), d->buffers.end());
    std::vector<BufferState> states;
    for (const Buffer* b : all) states.push_back(platform::dsound::stateOf(*b));
    return states;
}

bool bufferState(IDirectSoundBuffer* buffer, BufferState* state)
{
    std::lock_guard<std::mutex> guard(world().lock);
    Buffer* b = platform::dsound::find(buffer);
    if (b && state) *state = platform::dsound::stateOf(*b);
    return b != nullptr;
}

std::vector<uint8_t> bufferBytes(IDirectSoundBuffer* buffer)
{
    std::lock_guard<std::mutex> guard(world().lock);
    Buffer* b = platform::dsound::find(buffer);
    return b ? b->data->bytes : std::vector<uint8_t>();
}

std::vector<DeviceState> devices()
{
    std::lock_guard<std::mutex> guard(world().lock);
    std::vector<DeviceState> states;
    for (Device* d : world().devices) {
        DeviceState s;
        s.device = d;
        s.window = d->window;
        s.level = d->level;
        s.hasPrimary = d->primary != nullptr;
        if (d->primary) {
            s.primaryFormat = d->primary->format;
            s.primaryPlaying = d->primary->playing;
        }
        s.pending = d->pending;
        s.applied = d->applied;
        states.push_back(s);
    }
    return states;
}

int liveDevices()
{
    std::lock_guard<std::mutex> guard(world().lock);
    return static_cast<int>(world().devices.size());
}

int liveBuffers()
{
    std::lock_guard<std::mutex> guard(world().lock);
    return world().liveBuffers;
}

}  // namespace platform::testing::dsound
