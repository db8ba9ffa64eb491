// The DirectSound mixer in voices mixed per second of 44.1 kHz stereo output (2D voices, and 3D
// voices placed round the listener), against a plain loop summing as many float arrays; and
// CWavFile::Read in 8 KB blocks against fread of the same file, in MB/s.
#include "audio/WavFile.h"
#include "platform/dsound.h"
#include "platform/testing/dsound.h"
#include "utility/Assert.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace ds = platform::testing::dsound;

namespace {

const DWORD SECOND = 44100;
const size_t WAV_BYTES = 32 << 20;

void dropReport(const char*, const char*, const char*, int) {}

// Voices as a game plays them: duplicates of one 22.05 kHz mono sample at differing rates.
void mixer(benchmark::State& state, bool threeD)
{
    const int voices = static_cast<int>(state.range(0));
    ds::useManualClock();
    IDirectSound8* device = nullptr;
    DirectSoundCreate8(nullptr, &device, nullptr);
    device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    DSBUFFERDESC desc{sizeof desc, DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY | (threeD ? DSBCAPS_CTRL3D : 0u),
                      44100, 0, &format, {}};
    IDirectSoundBuffer* master = nullptr;
    device->CreateSoundBuffer(&desc, &master, nullptr);
    void* bytes;
    DWORD size;
    master->Lock(0, 0, &bytes, &size, nullptr, nullptr, DSBLOCK_ENTIREBUFFER);
    auto* samples = static_cast<int16_t*>(bytes);
    for (DWORD i = 0; i < size / 2; ++i) samples[i] = static_cast<int16_t>(8000 * std::sin(i * 0.05));
    master->Unlock(bytes, size, nullptr, 0);
    std::vector<IDirectSoundBuffer*> playing;
    for (int v = 0; v < voices; ++v) {
        IDirectSoundBuffer* voice = nullptr;
        device->DuplicateSoundBuffer(master, &voice);
        voice->SetFrequency(20000 + 150 * v);
        voice->SetVolume(-100 * (v % 10));
        if (threeD) {
            IDirectSound3DBuffer* placed = nullptr;
            voice->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(&placed));
            placed->SetPosition(std::cos(v * 0.7f) * 20, 0, std::sin(v * 0.7f) * 20, DS3D_IMMEDIATE);
            placed->SetMinDistance(5, DS3D_IMMEDIATE);
            placed->Release();
        }
        voice->Play(0, 0, DSBPLAY_LOOPING);
        playing.push_back(voice);
    }
    for (auto _ : state) ds::advanceFrames(SECOND);
    state.counters["voices_per_second"] =
        benchmark::Counter(static_cast<double>(voices) * state.iterations(), benchmark::Counter::kIsRate);
    for (IDirectSoundBuffer* voice : playing) voice->Release();
    master->Release();
    device->Release();
}

void Mixer2D(benchmark::State& state) { mixer(state, false); }
void Mixer3D(benchmark::State& state) { mixer(state, true); }

// The floor: one second of stereo floats per voice, summed into the output.
void MixerBaselineSumArrays(benchmark::State& state)
{
    const int voices = static_cast<int>(state.range(0));
    std::vector<std::vector<float>> inputs(voices, std::vector<float>(2 * SECOND));
    for (int v = 0; v < voices; ++v)
        for (size_t i = 0; i < inputs[v].size(); ++i) inputs[v][i] = static_cast<float>((i * (v + 1)) % 101) / 101;
    std::vector<float> out(2 * SECOND);
    for (auto _ : state) {
        std::fill(out.begin(), out.end(), 0.0f);
        for (const std::vector<float>& in : inputs)
            for (size_t i = 0; i < out.size(); ++i) out[i] += in[i];
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["voices_per_second"] =
        benchmark::Counter(static_cast<double>(voices) * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(Mixer2D)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(Mixer3D)->Arg(32)->Unit(benchmark::kMillisecond);
BENCHMARK(MixerBaselineSumArrays)->Arg(32)->Unit(benchmark::kMillisecond);

// A 32 MB stream file, written once.
const std::string& wavPath()
{
    static std::string path = [] {
        char pattern[] = "/tmp/veldrane-bench-XXXXXX";
        if (!mkdtemp(pattern)) abort();
        static std::string folder = pattern;
        static std::string file = folder + "/stream.wav";
        atexit([] {
            unlink(file.c_str());
            rmdir(folder.c_str());
        });
        FILE* f = fopen(file.c_str(), "wb");
        if (!f) abort();
        const uint32_t data = WAV_BYTES, riff = 36 + WAV_BYTES, fmtSize = 16, rate = 44100, bytesPerSecond = 176400;
        const uint16_t pcm = 1, channels = 2, align = 4, bits = 16;
        fwrite("RIFF", 1, 4, f);
        fwrite(&riff, 4, 1, f);
        fwrite("WAVEfmt ", 1, 8, f);
        fwrite(&fmtSize, 4, 1, f);
        fwrite(&pcm, 2, 1, f);
        fwrite(&channels, 2, 1, f);
        fwrite(&rate, 4, 1, f);
        fwrite(&bytesPerSecond, 4, 1, f);
        fwrite(&align, 2, 1, f);
        fwrite(&bits, 2, 1, f);
        fwrite("data", 1, 4, f);
        fwrite(&data, 4, 1, f);
        std::vector<char> chunk(1 << 20, 7);
        for (size_t written = 0; written < WAV_BYTES; written += chunk.size()) fwrite(chunk.data(), 1, chunk.size(), f);
        fclose(f);
        return file;
    }();
    return path;
}

void WavFileRead8K(benchmark::State& state)
{
    setAssertReportHook(dropReport);
    std::vector<char> block(8192);
    for (auto _ : state) {
        CWavFile wave;
        if (!wave.Open(wavPath().c_str())) state.SkipWithError("open failed");
        while (wave.Read(block.data(), 8192) > 0) benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * WAV_BYTES);
}

void WavFileBaselineFread8K(benchmark::State& state)
{
    std::vector<char> block(8192);
    for (auto _ : state) {
        FILE* f = fopen(wavPath().c_str(), "rb");
        if (!f) state.SkipWithError("open failed");
        fseek(f, 44, SEEK_SET);
        while (fread(block.data(), 1, 8192, f) > 0) benchmark::DoNotOptimize(block.data());
        fclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * WAV_BYTES);
}

BENCHMARK(WavFileRead8K)->Unit(benchmark::kMillisecond);
BENCHMARK(WavFileBaselineFread8K)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
