// A DirectShow graph decoding a stream file into the DirectSound mixer, in MB of file per second:
// our own reader on a WAV file and FFmpeg on a Sun .au file of the same sound (44.1 kHz stereo
// 16-bit, 8 MB), each against fread of the same file in 64 KB blocks.
#include "platform/dshow.h"
#include "platform/testing/dsound.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace ds = platform::testing::dsound;

namespace {

const uint32_t DATA_BYTES = 8 << 20;
const DWORD SECOND = 44100;

std::string le32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

const std::string& folder()
{
    static std::string path = [] {
        char pattern[] = "/tmp/veldrane-bench-XXXXXX";
        if (!mkdtemp(pattern)) abort();
        return std::string(pattern);
    }();
    return path;
}

// The header, then a slow sweep in both channels (byte order as the format wants).
const std::string& soundFile(bool au)
{
    static std::string paths[2];
    std::string& path = paths[au];
    if (!path.empty()) return path;
    path = folder() + (au ? "/stream.au" : "/stream.wav");
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    std::string header;
    if (au)
        header = ".snd" + be32(24) + be32(DATA_BYTES) + be32(3) + be32(44100) + be32(2);
    else
        header = "RIFF" + le32(36 + DATA_BYTES) + "WAVEfmt " + le32(16) + std::string("\x01\x00\x02\x00", 4) +
                 le32(44100) + le32(176400) + std::string("\x04\x00\x10\x00", 4) + "data" + le32(DATA_BYTES);
    fwrite(header.data(), 1, header.size(), f);
    std::vector<uint8_t> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); i += 2) {
        const uint16_t s = static_cast<uint16_t>((i * 37) & 0x3FFF);
        chunk[i + (au ? 1 : 0)] = static_cast<uint8_t>(s);
        chunk[i + (au ? 0 : 1)] = static_cast<uint8_t>(s >> 8);
    }
    for (uint32_t written = 0; written < DATA_BYTES; written += chunk.size()) fwrite(chunk.data(), 1, chunk.size(), f);
    fclose(f);
    atexit([] {
        for (const std::string& p : paths)
            if (!p.empty()) unlink(p.c_str());
        rmdir(folder().c_str());
    });
    return path;
}

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Renders the file, runs the graph and mixes a second at a time until it posts its end.
void intoMixer(benchmark::State& state, bool au)
{
    ds::useManualClock();
    const std::u16string name = wide(soundFile(au));
    for (auto _ : state) {
        IGraphBuilder* graph = nullptr;
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&graph));
        IMediaControl* control = nullptr;
        IMediaEvent* events = nullptr;
        graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
        graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
        if (FAILED(graph->RenderFile(name.c_str(), nullptr))) state.SkipWithError("cannot render");
        control->Run();
        LONG code = 0;
        LONG_PTR p1, p2;
        while (events->GetEvent(&code, &p1, &p2, 0) != S_OK) ds::advanceFrames(SECOND);
        if (code != EC_COMPLETE) state.SkipWithError("did not complete");
        events->Release();
        control->Release();
        graph->Release();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * DATA_BYTES);
}

void rawRead(benchmark::State& state, bool au)
{
    std::vector<char> block(64 << 10);
    for (auto _ : state) {
        FILE* f = fopen(soundFile(au).c_str(), "rb");
        if (!f) state.SkipWithError("open failed");
        while (fread(block.data(), 1, block.size(), f) > 0) benchmark::DoNotOptimize(block.data());
        fclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * DATA_BYTES);
}

void GraphWavIntoMixer(benchmark::State& state) { intoMixer(state, false); }
void GraphWavBaselineFread(benchmark::State& state) { rawRead(state, false); }
void GraphFfmpegAuIntoMixer(benchmark::State& state) { intoMixer(state, true); }
void GraphFfmpegAuBaselineFread(benchmark::State& state) { rawRead(state, true); }

BENCHMARK(GraphWavIntoMixer)->Unit(benchmark::kMillisecond);
BENCHMARK(GraphWavBaselineFread)->Unit(benchmark::kMillisecond);
BENCHMARK(GraphFfmpegAuIntoMixer)->Unit(benchmark::kMillisecond);
BENCHMARK(GraphFfmpegAuBaselineFread)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
