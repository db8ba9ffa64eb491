// A DirectShow graph decoding a stream file into the DirectSound mixer a second at a time, in MB of
// file per second: our own reader on a WAV file and FFmpeg on a Sun .au file of the same sound
// (44.1 kHz stereo 16-bit, 8 MB). Each beside the same done plainly: the WAV read with fread and
// the .au decoded by FFmpeg's own calls, the samples turned to floats and added into a second of
// stereo output at the graph's gain.
#include "../BenchMain.h"
#include "platform/dshow.h"
#include "platform/testing/dsound.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ds = platform::testing::dsound;

namespace {

const uint32_t DATA_BYTES = 8 << 20;
const DWORD SECOND = 44100;

std::string le32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// The header, then a slow sweep in both channels (byte order as the format wants); written once
// into the program's folder.
const std::string& soundFile(bool au)
{
    static std::string paths[2];
    std::string& path = paths[au];
    if (!path.empty()) return path;
    path = std::filesystem::absolute(au ? "stream.au" : "stream.wav").string();
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
        const bool rendered = SUCCEEDED(graph->RenderFile(name.c_str(), nullptr));
        LONG code = 0;
        if (rendered) {
            control->Run();
            LONG_PTR p1, p2;
            while (events->GetEvent(&code, &p1, &p2, 0) != S_OK) ds::advanceFrames(SECOND);
        }
        events->Release();
        control->Release();
        graph->Release();
        if (!rendered) return state.SkipWithError("cannot render");
        if (code != EC_COMPLETE) return state.SkipWithError("did not complete");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * DATA_BYTES);
}

// A second of output, filled as the samples come and started afresh when full.
struct Output {
    std::vector<float> second = std::vector<float>(2 * SECOND, 0.0f);
    size_t at = 0;
    void add(int16_t sample)
    {
        second[at++] += sample * (1.0f / 32768.0f);
        if (at == second.size()) {
            benchmark::DoNotOptimize(second.data());
            std::fill(second.begin(), second.end(), 0.0f);
            at = 0;
        }
    }
};

void plainWav(benchmark::State& state)
{
    std::vector<int16_t> block(32 << 10);
    for (auto _ : state) {
        FILE* f = fopen(soundFile(false).c_str(), "rb");
        if (!f) return state.SkipWithError("open failed");
        fseek(f, 44, SEEK_SET);
        Output out;
        for (size_t got; (got = fread(block.data(), 2, block.size(), f)) > 0;)
            for (size_t i = 0; i < got; ++i) out.add(block[i]);
        fclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * DATA_BYTES);
}

// FFmpeg's calls as its examples make them: open, find the stream, decode packet by packet.
void plainFfmpeg(benchmark::State& state)
{
    const std::string url = "file:" + soundFile(true);
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        const AVCodec* decoder = nullptr;
        int stream = -1;
        if (avformat_open_input(&format, url.c_str(), nullptr, nullptr) < 0) return state.SkipWithError("open failed");
        if (avformat_find_stream_info(format, nullptr) >= 0)
            stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        AVCodecContext* codec = stream >= 0 && decoder ? avcodec_alloc_context3(decoder) : nullptr;
        if (!codec || avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) < 0 ||
            avcodec_open2(codec, decoder, nullptr) < 0 || codec->sample_fmt != AV_SAMPLE_FMT_S16) {
            avcodec_free_context(&codec);
            avformat_close_input(&format);
            return state.SkipWithError("no 16-bit sound to decode");
        }
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        Output out;
        auto drain = [&] {
            while (avcodec_receive_frame(codec, frame) == 0) {
                const auto* samples = reinterpret_cast<const int16_t*>(frame->data[0]);
                const int count = frame->nb_samples * codec->ch_layout.nb_channels;
                for (int i = 0; i < count; ++i) out.add(samples[i]);
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) == 0) drain();
            av_packet_unref(packet);
        }
        avcodec_send_packet(codec, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * DATA_BYTES);
}

void GraphWavIntoMixer(benchmark::State& state) { intoMixer(state, false); }
void PlainWavIntoOutput(benchmark::State& state) { plainWav(state); }
void GraphFfmpegAuIntoMixer(benchmark::State& state) { intoMixer(state, true); }
void PlainFfmpegAuIntoOutput(benchmark::State& state) { plainFfmpeg(state); }

BENCHMARK(GraphWavIntoMixer)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainWavIntoOutput)->Unit(benchmark::kMillisecond);
BENCHMARK(GraphFfmpegAuIntoMixer)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainFfmpegAuIntoOutput)->Unit(benchmark::kMillisecond);
BENCH_PAIR(GraphWavIntoMixer, PlainWavIntoOutput);
BENCH_PAIR(GraphFfmpegAuIntoMixer, PlainFfmpegAuIntoOutput);

}  // namespace

VELDRANE_BENCH_MAIN("dshow")
