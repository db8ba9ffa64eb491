// The DirectSound mixer mixing a second of 44.1 kHz stereo output from 32 voices (2D voices, and
// 3D voices placed round the listener) of one 22.05 kHz mono sample at differing rates and
// volumes, beside a plain loop doing the same: each voice's volume as a gain (and for 3D voices its
// distance attenuation and pan), resampled by linear interpolation into a float output. And
// CWavFile::Read in 8 KB blocks against fread of the same file, in MB/s.
#include "../BenchMain.h"
#include "audio/WavFile.h"
#include "platform/dsound.h"
#include "platform/testing/dsound.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ds = platform::testing::dsound;

namespace {

const DWORD SECOND = 44100;
const size_t WAV_BYTES = 32 << 20;
const int VOICES = 32;
const DWORD SAMPLE_RATE = 22050, SAMPLE_FRAMES = 22050;

void dropReport(const char*, const char*, const char*, int) {}

// The one sample every voice plays, and each voice's rate, volume and place.
int16_t sampleAt(DWORD i) { return static_cast<int16_t>(8000 * std::sin(i * 0.05)); }
DWORD rateOf(int v) { return 20000 + 150 * v; }
LONG volumeOf(int v) { return -100 * (v % 10); }
float placeX(int v) { return std::cos(v * 0.7f) * 20; }
float placeZ(int v) { return std::sin(v * 0.7f) * 20; }
const float MIN_DISTANCE = 5;

// Voices as a game plays them: duplicates of one sample at differing rates.
void mixer(benchmark::State& state, bool threeD)
{
    ds::useManualClock();
    IDirectSound8* device = nullptr;
    if (FAILED(DirectSoundCreate8(nullptr, &device, nullptr))) return state.SkipWithError("no device");
    device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, SAMPLE_RATE, 2 * SAMPLE_RATE, 2, 16, 0};
    DSBUFFERDESC desc{sizeof desc, DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY | (threeD ? DSBCAPS_CTRL3D : 0u),
                      2 * SAMPLE_FRAMES, 0, &format, {}};
    IDirectSoundBuffer* master = nullptr;
    device->CreateSoundBuffer(&desc, &master, nullptr);
    void* bytes;
    DWORD size;
    master->Lock(0, 0, &bytes, &size, nullptr, nullptr, DSBLOCK_ENTIREBUFFER);
    auto* samples = static_cast<int16_t*>(bytes);
    for (DWORD i = 0; i < size / 2; ++i) samples[i] = sampleAt(i);
    master->Unlock(bytes, size, nullptr, 0);
    std::vector<IDirectSoundBuffer*> playing;
    for (int v = 0; v < VOICES; ++v) {
        IDirectSoundBuffer* voice = nullptr;
        device->DuplicateSoundBuffer(master, &voice);
        voice->SetFrequency(rateOf(v));
        voice->SetVolume(volumeOf(v));
        if (threeD) {
            IDirectSound3DBuffer* placed = nullptr;
            voice->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(&placed));
            placed->SetPosition(placeX(v), 0, placeZ(v), DS3D_IMMEDIATE);
            placed->SetMinDistance(MIN_DISTANCE, DS3D_IMMEDIATE);
            placed->Release();
        }
        voice->Play(0, 0, DSBPLAY_LOOPING);
        playing.push_back(voice);
    }
    for (auto _ : state) ds::advanceFrames(SECOND);
    state.counters["voices_per_second"] =
        benchmark::Counter(static_cast<double>(VOICES) * state.iterations(), benchmark::Counter::kIsRate);
    for (IDirectSoundBuffer* voice : playing) voice->Release();
    master->Release();
    device->Release();
}

// The same voices mixed by hand: a gain from each voice's volume in hundredths of a decibel; for 3D
// voices full volume inside the minimum distance and minimum / distance beyond it, panned by the
// side the voice is on (the listener at the origin facing +z, +x to the right); each output frame
// the two nearest samples interpolated.
void plainMixer(benchmark::State& state, bool threeD)
{
    std::vector<int16_t> sample(SAMPLE_FRAMES);
    for (DWORD i = 0; i < SAMPLE_FRAMES; ++i) sample[i] = sampleAt(i);
    struct Voice {
        double position = 0, step = 0;
        float left = 1, right = 1;
    };
    std::vector<Voice> voices(VOICES);
    for (int v = 0; v < VOICES; ++v) voices[v].step = static_cast<double>(rateOf(v)) / SECOND;
    std::vector<float> out(2 * SECOND);
    for (auto _ : state) {
        std::fill(out.begin(), out.end(), 0.0f);
        for (int v = 0; v < VOICES; ++v) {
            Voice& voice = voices[v];
            float gain = std::pow(10.0f, static_cast<float>(volumeOf(v)) / 2000.0f), pan = 0.0f;
            if (threeD) {
                const float x = placeX(v), z = placeZ(v), distance = std::sqrt(x * x + z * z);
                if (distance > MIN_DISTANCE) gain *= MIN_DISTANCE / distance;
                if (distance > 1e-6f) pan = std::clamp(x / distance, -1.0f, 1.0f);
            }
            voice.left = gain * std::min(1.0f, 1.0f - pan);
            voice.right = gain * std::min(1.0f, 1.0f + pan);
            double position = voice.position;
            for (DWORD i = 0; i < SECOND; ++i) {
                const size_t index = static_cast<size_t>(position), next = index + 1 == SAMPLE_FRAMES ? 0 : index + 1;
                const float t = static_cast<float>(position - static_cast<double>(index));
                const float s0 = sample[index] * (1.0f / 32768.0f), s1 = sample[next] * (1.0f / 32768.0f);
                const float value = s0 + (s1 - s0) * t;
                out[2 * i] += value * voice.left;
                out[2 * i + 1] += value * voice.right;
                position += voice.step;
                if (position >= SAMPLE_FRAMES) position -= SAMPLE_FRAMES;
            }
            voice.position = position;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["voices_per_second"] =
        benchmark::Counter(static_cast<double>(VOICES) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_Mixer2D(benchmark::State& state) { mixer(state, false); }
void BM_Mixer3D(benchmark::State& state) { mixer(state, true); }
void BM_PlainMixer2D(benchmark::State& state) { plainMixer(state, false); }
void BM_PlainMixer3D(benchmark::State& state) { plainMixer(state, true); }

BENCHMARK(BM_Mixer2D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainMixer2D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mixer3D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainMixer3D)->Unit(benchmark::kMillisecond);
BENCH_PAIR(BM_Mixer2D, BM_PlainMixer2D);
BENCH_PAIR(BM_Mixer3D, BM_PlainMixer3D);

// A 32 MB stream file, written once into the program's folder; empty when it cannot be.
const std::string& wavPath()
{
    static const std::string path = [] {
        const std::string file = "stream.wav";
        FILE* f = fopen(file.c_str(), "wb");
        if (!f) return std::string();
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
        bool written = true;
        for (size_t done = 0; done < WAV_BYTES; done += chunk.size())
            written = fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size() && written;
        return fclose(f) == 0 && written ? file : std::string();
    }();
    return path;
}

void WavFileRead8K(benchmark::State& state)
{
    setAssertReportHook(dropReport);
    std::vector<char> block(8192);
    for (auto _ : state) {
        CWavFile wave;
        if (!wave.Open(wavPath().c_str())) return state.SkipWithError("open failed");
        while (wave.Read(block.data(), 8192) > 0) benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * WAV_BYTES);
}

void WavFileBaselineFread8K(benchmark::State& state)
{
    std::vector<char> block(8192);
    for (auto _ : state) {
        FILE* f = fopen(wavPath().c_str(), "rb");
        if (!f) return state.SkipWithError("open failed");
        fseek(f, 44, SEEK_SET);
        while (fread(block.data(), 1, 8192, f) > 0) benchmark::DoNotOptimize(block.data());
        fclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * WAV_BYTES);
}

BENCHMARK(WavFileRead8K)->Unit(benchmark::kMillisecond);
BENCHMARK(WavFileBaselineFread8K)->Unit(benchmark::kMillisecond);
BENCH_PAIR(WavFileRead8K, WavFileBaselineFread8K);

}  // namespace

VELDRANE_BENCH_MAIN("audio")
