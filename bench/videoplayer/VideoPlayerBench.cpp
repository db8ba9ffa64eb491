// The video player's path from file to screen, per frame: a 640 x 480 MPEG-4 clip played by
// CVMR9Player on the null renderer, the manual audio clock stepped a picture at a time (FFmpeg
// decoding on the graph's streaming thread, the frame converted to 32-bit RGB, copied into the
// presenter's texture, drawn as a screen quad and presented). Beside the same done plainly on one
// thread: FFmpeg's decoder called directly, its frame converted by swscale straight into a locked
// texture of the device, which is drawn as a screen quad and presented.
#include "../RenderCoreBench.h"
#include "fegamelink/FEGameLink.h"
#include "platform/testing/dshow.h"
#include "platform/testing/dsound.h"
#include "videoplayer9/VMR9Player.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace {

namespace dshow = platform::testing::dshow;
namespace ds = platform::testing::dsound;

const int WIDTH = 640, HEIGHT = 480, FRAMES = 250, RATE = 25;
const DWORD FRAME_TICKS = 44100 / RATE;  // output frames of the mixer's clock per picture
const int PLAYED = 200;                  // pictures measured, within the clip
const char* const CLIP = "clip.avi";

// The clip, encoded once into the program's folder: a gradient drifting across the picture.
bool writeClip()
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVFormatContext* out = nullptr;
    if (!codec || avformat_alloc_output_context2(&out, nullptr, "avi", CLIP) < 0) return false;
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    AVStream* stream = avformat_new_stream(out, nullptr);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool ok = encoder && stream && frame && packet;
    if (ok) {
        encoder->width = WIDTH;
        encoder->height = HEIGHT;
        encoder->time_base = AVRational{1, RATE};
        encoder->framerate = AVRational{RATE, 1};
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->gop_size = 12;
        encoder->bit_rate = 4000000;
        if (out->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ok = avcodec_open2(encoder, codec, nullptr) >= 0 && avcodec_parameters_from_context(stream->codecpar, encoder) >= 0;
        stream->time_base = encoder->time_base;
    }
    ok = ok && avio_open(&out->pb, CLIP, AVIO_FLAG_WRITE) >= 0 && avformat_write_header(out, nullptr) >= 0;
    if (ok) {
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = WIDTH;
        frame->height = HEIGHT;
        ok = av_frame_get_buffer(frame, 0) >= 0;
    }
    auto drain = [&] {
        while (avcodec_receive_packet(encoder, packet) == 0) {
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            av_interleaved_write_frame(out, packet);
        }
    };
    for (int f = 0; ok && f < FRAMES; ++f) {
        ok = av_frame_make_writable(frame) >= 0;
        for (int y = 0; ok && y < HEIGHT; ++y)
            for (int x = 0; x < WIDTH; ++x) frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(x + y + 3 * f);
        for (int y = 0; ok && y < HEIGHT / 2; ++y)
            for (int x = 0; x < WIDTH / 2; ++x) {
                frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(128 + y + f);
                frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(64 + x + 2 * f);
            }
        frame->pts = f;
        ok = ok && avcodec_send_frame(encoder, frame) >= 0;
        drain();
    }
    if (ok) {
        avcodec_send_frame(encoder, nullptr);
        drain();
        ok = av_write_trailer(out) >= 0;
    }
    if (out && out->pb) avio_closep(&out->pb);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
    avformat_free_context(out);
    return ok;
}

// The device, a window and the clip, in a folder of their own.
class Scene : public RenderCoreBench {
public:
    Scene() : RenderCoreBench(false, "videoplayer")
    {
        if (!m_ok) return;
        m_ok = writeClip();
        ds::useManualClock();
        dshow::reset();
        CFEGameLink::SetExitAfterSteps(0);
        platform::testing::useTestWindows();
        WNDCLASSA wc{};
        wc.lpfnWndProc = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };
        wc.lpszClassName = "VideoBench";
        RegisterClassA(&wc);
        m_window = CreateWindowExA(0, "VideoBench", "Video", 0, 0, 0, WIDTH, HEIGHT, nullptr, nullptr, nullptr, nullptr);
        m_ok = m_ok && m_window;
        // One frame first, so that the streaming thread finds the device free, as after the front end's frames.
        D3DCore.BeginScene(true, false);
        D3DCore.EndScene(true);
        D3DCore.Present(false);
    }
    HWND window() const { return m_window; }

private:
    HWND m_window = nullptr;
};

int presented(IGraphBuilder* graph)
{
    for (const dshow::GraphState& g : dshow::graphs())
        if (g.graph == graph) return g.framesPresented;
    return -1;
}

void BM_PlayerFrames(benchmark::State& state)
{
    Scene scene;
    if (!scene.ok()) return state.SkipWithError("no device or clip");
    auto player = std::make_unique<CVMR9Player>(DXInterface.ID3D, DXInterface.ID3DDevice);
    if (!player->Open(scene.window(), CLIP, 0, 0, 0, WIDTH, HEIGHT, 32768, 0))
        return state.SkipWithError("the player could not open the clip");
    const auto graphs = dshow::graphs();
    IGraphBuilder* graph = graphs.empty() ? nullptr : graphs.back().graph;
    if (!graph || !dshow::waitForFrames(graph, 1)) return state.SkipWithError("no first picture");
    for (auto _ : state) {
        const int shown = presented(graph);
        ds::advanceFrames(FRAME_TICKS);
        if (!dshow::waitForFrames(graph, shown + 1)) return state.SkipWithError("a picture did not come");
    }
    player->Close();
    state.SetItemsProcessed(state.iterations());
}

struct QuadVertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};

void BM_PlainFrames(benchmark::State& state)
{
    Scene scene;
    if (!scene.ok()) return state.SkipWithError("no device or clip");
    IDirect3DDevice9* dev = DXInterface.ID3DDevice;
    IDirect3DTexture9* texture = nullptr;
    AVFormatContext* file = nullptr;
    const AVCodec* decoder = nullptr;
    int stream = -1;
    if (FAILED(dev->CreateTexture(WIDTH, HEIGHT, 1, D3DUSAGE_DYNAMIC, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr)) ||
        avformat_open_input(&file, CLIP, nullptr, nullptr) < 0 || avformat_find_stream_info(file, nullptr) < 0 ||
        (stream = av_find_best_stream(file, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0)) < 0) {
        if (texture) texture->Release();
        avformat_close_input(&file);
        return state.SkipWithError("cannot open the clip");
    }
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, file->streams[stream]->codecpar);
    avcodec_open2(codec, decoder, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    const QuadVertex quad[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                {WIDTH, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                                {0, HEIGHT, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                                {WIDTH, HEIGHT, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
    // The next picture: packets read and decoded until one comes out.
    auto nextPicture = [&] {
        for (;;) {
            if (avcodec_receive_frame(codec, frame) == 0) return true;
            if (av_read_frame(file, packet) < 0) return false;
            if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
        }
    };
    bool failed = false;
    for (auto _ : state) {
        if (!nextPicture()) {
            failed = true;
            break;
        }
        scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                      WIDTH, HEIGHT, AV_PIX_FMT_BGR0, SWS_BILINEAR, nullptr, nullptr, nullptr);
        D3DLOCKED_RECT locked{};
        if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD))) {
            failed = true;
            break;
        }
        uint8_t* planes[4] = {static_cast<uint8_t*>(locked.pBits), nullptr, nullptr, nullptr};
        const int strides[4] = {locked.Pitch, 0, 0, 0};
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        texture->UnlockRect(0);
        dev->BeginScene();
        dev->SetTexture(0, texture);
        dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(QuadVertex));
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
    }
    dev->SetTexture(0, nullptr);
    D3DCore.InvalidateStateCache();
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&file);
    texture->Release();
    if (failed) return state.SkipWithError("a picture could not be made");
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_PlayerFrames)->Iterations(PLAYED)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFrames)->Iterations(PLAYED)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCH_PAIR(BM_PlayerFrames, BM_PlainFrames);

}  // namespace

VELDRANE_BENCH_MAIN("videoplayer")
