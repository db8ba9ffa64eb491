// Where the mix goes: SDL2 audio, a silent sink that consumes in real time when SDL2 audio cannot
// open, or nowhere until a test advances the manual clock. Output runs while a device is alive.
#include "World.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <thread>

namespace platform::dsound {

namespace {

const DWORD CHUNK_FRAMES = 4096;

// Serialises starting and stopping; never held by the mixer, which the SDL callback runs.
std::mutex outputLock;
SDL_AudioDeviceID sdlDevice = 0;
bool startedWithSdlAllowed = false;

std::thread silentThread;
std::mutex silentMutex;
std::condition_variable silentWake;
bool silentStop = false;

void sdlCallback(void*, Uint8* stream, int length)
{
    auto* out = reinterpret_cast<float*>(stream);
    const DWORD frames = static_cast<DWORD>(length) / (2 * sizeof(float));
    {
        std::lock_guard<std::mutex> guard(world().lock);
        render(out, frames);
    }
    for (DWORD i = 0; i < 2 * frames; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

bool openSdl()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(OUTPUT_RATE);
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = sdlCallback;
    sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (sdlDevice == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(sdlDevice, 0);
    return true;
}

void closeSdl()
{
    SDL_CloseAudioDevice(sdlDevice);
    sdlDevice = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Consumes the mix at the output rate, as a card would, and throws it away.
void silentLoop()
{
    const auto start = std::chrono::steady_clock::now();
    uint64_t done = 0;
    std::vector<float> scratch(2 * CHUNK_FRAMES);
    std::unique_lock<std::mutex> wait(silentMutex);
    while (!silentStop) {
        silentWake.wait_for(wait, std::chrono::milliseconds(5));
        wait.unlock();
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const uint64_t due =
            std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * OUTPUT_RATE / 1000000;
        while (done < due) {
            const DWORD frames = static_cast<DWORD>(std::min<uint64_t>(CHUNK_FRAMES, due - done));
            std::lock_guard<std::mutex> guard(world().lock);
            render(scratch.data(), frames);
            done += frames;
        }
        wait.lock();
    }
}

void startSilent()
{
    silentStop = false;
    silentThread = std::thread(silentLoop);
}

void stopSilent()
{
    {
        std::lock_guard<std::mutex> guard(silentMutex);
        silentStop = true;
    }
    silentWake.notify_all();
    silentThread.join();
}

}  // namespace

World& world()
{
    // Never destroyed: an output thread may still mix while exit handlers run.
    static World* instance = new World();
    return *instance;
}

void reconcileOutput()
{
    std::lock_guard<std::mutex> serial(outputLock);
    OutputKind current, wanted;
    bool allowSdl;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        current = world().output;
        allowSdl = world().allowSdl;
        const bool idle = world().devices.empty() && world().externalVoices.empty();
        wanted = idle ? OutputKind::None : world().manual ? OutputKind::Manual : OutputKind::Sdl;
    }
    const bool live = current == OutputKind::Sdl || current == OutputKind::Silent;
    if (wanted == current || (wanted == OutputKind::Sdl && live && startedWithSdlAllowed == allowSdl)) return;

    if (current == OutputKind::Sdl) closeSdl();
    if (current == OutputKind::Silent) stopSilent();
    OutputKind started = wanted;
    if (wanted == OutputKind::Sdl) {
        startedWithSdlAllowed = allowSdl;
        if (!allowSdl || !openSdl()) {
            startSilent();
            started = OutputKind::Silent;
        }
    }
    // Say where the sound goes, as a driver's start-up line would.
    if (started == OutputKind::Sdl)
        fprintf(stderr, "DirectSound output: SDL2 audio (%s)\n", SDL_GetCurrentAudioDriver());
    else if (started == OutputKind::Silent)
        fprintf(stderr, "DirectSound output: silent sink (no audio device)\n");
    std::lock_guard<std::mutex> guard(world().lock);
    world().output = started;
}

void addExternalVoice(ExternalVoice* voice)
{
    {
        std::lock_guard<std::mutex> guard(world().lock);
        world().externalVoices.push_back(voice);
    }
    reconcileOutput();
}

void removeExternalVoice(ExternalVoice* voice)
{
    {
        std::lock_guard<std::mutex> guard(world().lock);
        auto& all = world().externalVoices;
        all.erase(std::remove(all.begin(), all.end(), voice), all.end());
    }
    reconcileOutput();
}

}  // namespace platform::dsound
