// The pictures of every file FFmpeg reads: its first video stream decoded frame by frame and
// converted by libswscale to the RGB layout the renderer took.
#include "Video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>
#include <mutex>

namespace platform::dshow {

namespace {

// Frames no file of ours comes near; a larger count is taken for a damaged header.
const uint64_t MAX_FRAMES = 1u << 24;
const int MAX_SIDE = 8192;

class FfmpegVideo final : public VideoSource {
public:
    ~FfmpegVideo() override
    {
        sws_freeContext(m_scaler);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        avformat_close_input(&m_file);
    }

    bool open(const std::string& path)
    {
        const std::string url = "file:" + path;
        if (avformat_open_input(&m_file, url.c_str(), nullptr, nullptr) < 0) return false;
        if (avformat_find_stream_info(m_file, nullptr) < 0) return false;
        const AVCodec* decoder = nullptr;
        m_stream = av_find_best_stream(m_file, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (m_stream < 0 || !decoder) return false;
        AVStream* stream = m_file->streams[m_stream];
        m_codec = avcodec_alloc_context3(decoder);
        if (!m_codec || avcodec_parameters_to_context(m_codec, stream->codecpar) < 0 ||
            avcodec_open2(m_codec, decoder, nullptr) < 0)
            return false;
        if (m_codec->width <= 0 || m_codec->height <= 0 || m_codec->width > MAX_SIDE || m_codec->height > MAX_SIDE)
            return false;
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        if (!m_packet || !m_frame) return false;

        AVRational rate = stream->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
        m_format.width = static_cast<uint32_t>(m_codec->width);
        m_format.height = static_cast<uint32_t>(m_codec->height);
        m_format.rateNumerator = static_cast<uint32_t>(rate.num);
        m_format.rateDenominator = static_cast<uint32_t>(rate.den);
        m_format.offered = {D3DFMT_X8R8G8B8, D3DFMT_R8G8B8};
        m_format.frames = countFrames(stream, rate);
        return m_format.frames > 0 && m_format.frames <= MAX_FRAMES && rewind();
    }

    bool setLayout(DWORD code) override
    {
        if (code != D3DFMT_R8G8B8 && code != D3DFMT_X8R8G8B8) return false;
        m_layout = code;
        return true;
    }

    bool readFrame(uint64_t index, std::vector<uint8_t>& out) override
    {
        if (m_failed || index >= m_format.frames) return false;
        if (index < m_next && !rewind()) return fail();
        while (m_next <= index) {
            if (!decodeNext()) return fail();
            if (m_next++ == index) return convert(out);
            av_frame_unref(m_frame);
        }
        return fail();
    }

    const char* kind() const override { return "ffmpeg"; }

private:
    bool fail()
    {
        m_failed = true;
        return false;
    }

    // The stream's own count, else its duration at its rate, else the packets counted.
    uint64_t countFrames(AVStream* stream, AVRational rate)
    {
        if (stream->nb_frames > 0) return static_cast<uint64_t>(stream->nb_frames);
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            return static_cast<uint64_t>(av_rescale_q(stream->duration, stream->time_base, av_inv_q(rate)));
        uint64_t packets = 0;
        while (packets <= MAX_FRAMES && av_read_frame(m_file, m_packet) >= 0) {
            if (m_packet->stream_index == m_stream) ++packets;
            av_packet_unref(m_packet);
        }
        return packets;
    }

    bool rewind()
    {
        AVStream* stream = m_file->streams[m_stream];
        const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        if (av_seek_frame(m_file, m_stream, start, AVSEEK_FLAG_BACKWARD) < 0 &&
            avformat_seek_file(m_file, m_stream, INT64_MIN, start, start, 0) < 0)
            return false;
        avcodec_flush_buffers(m_codec);
        m_next = 0;
        m_inputDone = false;
        return true;
    }

    // The next frame in display order into m_frame; false at the end or on a read error.
    bool decodeNext()
    {
        for (;;) {
            const int received = avcodec_receive_frame(m_codec, m_frame);
            if (received == 0) return true;
            if (received != AVERROR(EAGAIN) || m_inputDone) return false;
            const int read = av_read_frame(m_file, m_packet);
            if (read == AVERROR_EOF) {
                avcodec_send_packet(m_codec, nullptr);
                m_inputDone = true;
                continue;
            }
            if (read < 0) return false;
            // A damaged packet is dropped; the picture goes on with the next.
            if (m_packet->stream_index == m_stream) avcodec_send_packet(m_codec, m_packet);
            av_packet_unref(m_packet);
        }
    }

    // m_frame into the layout: bottom-up rows padded to 4 bytes.
    bool convert(std::vector<uint8_t>& out)
    {
        const int w = static_cast<int>(m_format.width), h = static_cast<int>(m_format.height);
        const AVPixelFormat target = m_layout == D3DFMT_R8G8B8 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGR0;
        m_scaler = sws_getCachedContext(m_scaler, m_frame->width, m_frame->height,
                                        static_cast<AVPixelFormat>(m_frame->format), w, h, target, SWS_BILINEAR,
                                        nullptr, nullptr, nullptr);
        const uint32_t stride = FrameLayout::stride(m_layout, m_format.width);
        bool ok = false;
        if (m_scaler) {
            m_topDown.assign(static_cast<size_t>(stride) * h, 0);
            uint8_t* planes[4] = {m_topDown.data(), nullptr, nullptr, nullptr};
            int strides[4] = {static_cast<int>(stride), 0, 0, 0};
            ok = sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, m_frame->height, planes, strides) == h;
        }
        av_frame_unref(m_frame);
        if (!ok) return false;
        out.resize(m_topDown.size());
        for (int y = 0; y < h; ++y)
            std::memcpy(out.data() + static_cast<size_t>(h - 1 - y) * stride, m_topDown.data() + static_cast<size_t>(y) * stride,
                        stride);
        return true;
    }

    AVFormatContext* m_file = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwsContext* m_scaler = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_stream = -1;
    DWORD m_layout = D3DFMT_X8R8G8B8;
    uint64_t m_next = 0;  // the index of the next frame decodeNext gives
    std::vector<uint8_t> m_topDown;
    bool m_inputDone = false;
    bool m_failed = false;
};

}  // namespace

std::unique_ptr<VideoSource> openFfmpegVideo(const std::string& path)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    auto video = std::make_unique<FfmpegVideo>();
    if (!video->open(path)) return nullptr;
    return video;
}

}  // namespace platform::dshow
