// Every file that is not a plain PCM WAV: FFmpeg finds the first audio stream, decodes it packet by
// packet as the mixer asks, and resamples it to the output's 44.1 kHz stereo floats.
#include "Source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <mutex>
#include <vector>

namespace platform::dshow {

namespace {

const int OUTPUT_RATE = 44100;

class FfmpegSource final : public Source {
public:
    ~FfmpegSource() override
    {
        swr_free(&m_swr);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        avformat_close_input(&m_format);
    }

    bool open(const std::string& path)
    {
        // A name with a colon would otherwise be taken for a protocol.
        const std::string url = "file:" + path;
        if (avformat_open_input(&m_format, url.c_str(), nullptr, nullptr) < 0) return false;
        if (avformat_find_stream_info(m_format, nullptr) < 0) return false;
        const AVCodec* decoder = nullptr;
        m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (m_stream < 0 || !decoder) return false;
        AVStream* stream = m_format->streams[m_stream];
        m_codec = avcodec_alloc_context3(decoder);
        if (!m_codec || avcodec_parameters_to_context(m_codec, stream->codecpar) < 0 ||
            avcodec_open2(m_codec, decoder, nullptr) < 0 || m_codec->sample_rate <= 0 ||
            m_codec->ch_layout.nb_channels <= 0)
            return false;
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        if (!m_packet || !m_frame || !startResampler()) return false;

        if (stream->duration != AV_NOPTS_VALUE)
            m_length = av_rescale_q(stream->duration, stream->time_base, AVRational{1, OUTPUT_RATE});
        else if (m_format->duration != AV_NOPTS_VALUE)
            m_length = av_rescale(m_format->duration, OUTPUT_RATE, AV_TIME_BASE);
        return true;
    }

    DWORD read(float* out, DWORD frames) override
    {
        DWORD made = 0;
        while (made < frames) {
            const size_t ready = m_pending.size() / 2 - m_pendingStart;
            if (ready > 0) {
                const size_t n = std::min<size_t>(ready, frames - made);
                memcpy(out + 2 * made, m_pending.data() + 2 * m_pendingStart, n * 2 * sizeof(float));
                m_pendingStart += n;
                made += static_cast<DWORD>(n);
                continue;
            }
            m_pending.clear();
            m_pendingStart = 0;
            if (m_finished || m_failed || !decodeMore()) break;
        }
        return made;
    }

    bool failed() const override { return m_failed; }

    bool seek(uint64_t frame) override
    {
        AVStream* stream = m_format->streams[m_stream];
        int64_t target = av_rescale_q(static_cast<int64_t>(frame), AVRational{1, OUTPUT_RATE}, stream->time_base);
        if (stream->start_time != AV_NOPTS_VALUE) target += stream->start_time;
        if (avformat_seek_file(m_format, m_stream, INT64_MIN, target, target, 0) < 0 &&
            av_seek_frame(m_format, m_stream, target, AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        avcodec_flush_buffers(m_codec);
        swr_close(m_swr);
        if (swr_init(m_swr) < 0) return false;
        m_pending.clear();
        m_pendingStart = 0;
        m_inputDone = m_finished = m_failed = false;
        return true;
    }

    uint64_t length() const override { return m_length > 0 ? static_cast<uint64_t>(m_length) : 0; }
    const char* kind() const override { return "ffmpeg"; }

private:
    bool startResampler()
    {
        AVChannelLayout in{};
        if (m_codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, m_codec->ch_layout.nb_channels);
        else if (av_channel_layout_copy(&in, &m_codec->ch_layout) < 0)
            return false;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        const int made = swr_alloc_set_opts2(&m_swr, &stereo, AV_SAMPLE_FMT_FLT, OUTPUT_RATE, &in,
                                             m_codec->sample_fmt, m_codec->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (made < 0) return false;
        // Mono plays at full level on both sides, as the WAV reader plays it.
        av_opt_set_double(m_swr, "center_mix_level", 1.0, 0);
        return swr_init(m_swr) >= 0;
    }

    // Converts a decoded frame (null: what the resampler still holds) onto the pending frames.
    void convert(const AVFrame* decoded)
    {
        const int inCount = decoded ? decoded->nb_samples : 0;
        const int room = swr_get_out_samples(m_swr, inCount);
        if (room <= 0) return;
        const size_t before = m_pending.size();
        m_pending.resize(before + 2 * static_cast<size_t>(room));
        uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(m_pending.data() + before)};
        const int got = swr_convert(m_swr, outPlanes, room, decoded ? const_cast<const uint8_t**>(decoded->extended_data) : nullptr,
                                    inCount);
        m_pending.resize(before + 2 * static_cast<size_t>(got > 0 ? got : 0));
    }

    // Decodes until some frames are pending; false at the end of the sound or on a read error.
    bool decodeMore()
    {
        for (;;) {
            const int received = avcodec_receive_frame(m_codec, m_frame);
            if (received == 0) {
                convert(m_frame);
                av_frame_unref(m_frame);
                if (!m_pending.empty()) return true;
                continue;
            }
            if (received == AVERROR_EOF) {
                convert(nullptr);
                m_finished = true;
                return !m_pending.empty();
            }
            if (received != AVERROR(EAGAIN)) {
                m_failed = true;
                return false;
            }
            if (m_inputDone) {
                m_finished = true;
                return false;
            }
            const int read = av_read_frame(m_format, m_packet);
            if (read == AVERROR_EOF) {
                avcodec_send_packet(m_codec, nullptr);
                m_inputDone = true;
                continue;
            }
            if (read < 0) {
                m_failed = true;
                return false;
            }
            // A damaged packet is dropped; the sound goes on with the next.
            if (m_packet->stream_index == m_stream) avcodec_send_packet(m_codec, m_packet);
            av_packet_unref(m_packet);
        }
    }

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_swr = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_stream = -1;
    int64_t m_length = 0;
    std::vector<float> m_pending;  // converted stereo frames not yet read
    size_t m_pendingStart = 0;
    bool m_inputDone = false;
    bool m_finished = false;
    bool m_failed = false;
};

}  // namespace

std::unique_ptr<Source> openFfmpegSource(const std::string& path)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    auto source = std::make_unique<FfmpegSource>();
    if (!source->open(path)) return nullptr;
    return source;
}

}  // namespace platform::dshow
