// Sources tests register under a file name: pictures drawn from a pattern in the layout asked
// for, and an optional sine under them, both as long as the frames last.
#include "Graph.h"
#include "Video.h"
#include "../d3d9/TexelFormats.h"
#include "platform/testing/dshow.h"

#include <cmath>

namespace platform::dshow {

using testing::dshow::Pattern;
using testing::dshow::SyntheticVideo;

namespace {

const double OUTPUT_RATE = dsound::OUTPUT_RATE;

class ToneSource final : public Source {
public:
    ToneSource(float hz, uint64_t frames) : m_hz(hz), m_frames(frames) {}
    DWORD read(float* out, DWORD frames) override
    {
        DWORD made = 0;
        for (; made < frames && m_position < m_frames; ++made, ++m_position) {
            const float v = 0.25f * static_cast<float>(std::sin(2.0 * M_PI * m_hz * m_position / OUTPUT_RATE));
            out[2 * made] = out[2 * made + 1] = v;
        }
        return made;
    }
    bool failed() const override { return false; }
    bool seek(uint64_t frame) override
    {
        m_position = std::min(frame, m_frames);
        return true;
    }
    uint64_t length() const override { return m_frames; }
    const char* kind() const override { return "synthetic"; }

private:
    float m_hz;
    uint64_t m_frames;
    uint64_t m_position = 0;
};

class PatternVideo final : public VideoSource {
public:
    explicit PatternVideo(const SyntheticVideo& wanted) : m_video(wanted)
    {
        m_format.width = wanted.width;
        m_format.height = wanted.height;
        m_format.rateNumerator = wanted.rateNumerator;
        m_format.rateDenominator = wanted.rateDenominator;
        m_format.frames = wanted.frames;
        m_format.offered = {wanted.layout};
    }

    bool setLayout(DWORD code) override { return code == m_video.layout; }

    bool readFrame(uint64_t index, std::vector<uint8_t>& out) override
    {
        if (index >= m_video.frames || index >= m_video.breaksAt) return false;
        const UINT w = m_video.width, h = m_video.height, frame = static_cast<UINT>(index);
        const uint32_t stride = FrameLayout::stride(m_video.layout, w);
        out.assign(static_cast<size_t>(stride) * h, 0);
        const FrameLayout layout{m_video.layout};
        if (!layout.isRgb()) {
            std::vector<d3d9ref::Texel> texels(static_cast<size_t>(w) * h);
            for (UINT y = 0; y < h; ++y)
                for (UINT x = 0; x < w; ++x) {
                    const DWORD c = testing::dshow::patternColour(m_video.pattern, w, h, frame, x, y);
                    texels[static_cast<size_t>(y) * w + x] = {((c >> 16) & 255) / 255.0f, ((c >> 8) & 255) / 255.0f,
                                                              (c & 255) / 255.0f, 1.0f};
                }
            return d3d9ref::writeTexels(static_cast<D3DFORMAT>(m_video.layout), texels.data(), w, h, nullptr, out.data(),
                                        stride);
        }
        const uint32_t bytes = m_video.layout == D3DFMT_R8G8B8 ? 3 : 4;
        for (UINT y = 0; y < h; ++y) {
            uint8_t* row = out.data() + static_cast<size_t>(h - 1 - y) * stride;  // bottom-up
            for (UINT x = 0; x < w; ++x) {
                const DWORD c = testing::dshow::patternColour(m_video.pattern, w, h, frame, x, y);
                row[x * bytes] = static_cast<uint8_t>(c);
                row[x * bytes + 1] = static_cast<uint8_t>(c >> 8);
                row[x * bytes + 2] = static_cast<uint8_t>(c >> 16);
            }
        }
        return true;
    }

    const char* kind() const override { return "synthetic"; }

private:
    SyntheticVideo m_video;
};

std::string normalise(const std::string& name)
{
    std::string key = name;
    for (char& c : key) {
        if (c == '\\') c = '/';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return key;
}

}  // namespace

uint32_t FrameLayout::stride(DWORD code, uint32_t width)
{
    if (code == D3DFMT_R8G8B8) return (width * 3 + 3) & ~3u;
    if (code == D3DFMT_X8R8G8B8) return width * 4;
    return (width + 1) / 2 * 4;  // packed pairs of pixels
}

uint64_t frameStart(const VideoFormat& format, uint64_t index)
{
    // Rounded up, so that the frame shown at a frame's start is that frame.
    const uint64_t scaled = index * dsound::OUTPUT_RATE * format.rateDenominator;
    return (scaled + format.rateNumerator - 1) / format.rateNumerator;
}

uint64_t frameAt(const VideoFormat& format, uint64_t position)
{
    const uint64_t index = position * format.rateNumerator / (uint64_t(dsound::OUTPUT_RATE) * format.rateDenominator);
    return format.frames ? std::min(index, format.frames - 1) : 0;
}

bool openSyntheticMedia(const std::string& name, Media& media)
{
    SyntheticVideo wanted;
    {
        std::lock_guard<std::mutex> guard(dsound::world().lock);
        auto& all = registry().synthetic;
        auto it = all.find(normalise(name));
        if (it == all.end()) return false;
        wanted = it->second;
    }
    const bool pictures = wanted.layout != 0 && wanted.width > 0 && wanted.height > 0 && wanted.frames > 0 &&
                          wanted.rateNumerator > 0 && wanted.rateDenominator > 0;
    if (pictures) media.video = std::make_unique<PatternVideo>(wanted);
    if (wanted.toneHz > 0 && wanted.rateNumerator > 0) {
        VideoFormat f;
        f.rateNumerator = wanted.rateNumerator;
        f.rateDenominator = wanted.rateDenominator;
        media.audio = std::make_unique<ToneSource>(wanted.toneHz, frameStart(f, wanted.frames));
    }
    return true;
}

}  // namespace platform::dshow

namespace platform::testing::dshow {

DWORD patternColour(Pattern pattern, UINT width, UINT height, UINT frame, UINT x, UINT y)
{
    if (pattern == Pattern::Counter)
        return ((x * 7 + frame * 31) & 255) << 16 | ((y * 13 + frame * 3) & 255) << 8 | ((x * 3 + y * 5 + frame * 11) & 255);
    static const DWORD BARS[8] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
    if (y * 4 < height * 3) return BARS[std::min<UINT>(x * 8 / std::max(width, 1u), 7)];
    return x * 2 < width ? 0x000000 : 0xFFFFFF;
}

void registerVideo(const std::string& name, const SyntheticVideo& video)
{
    std::lock_guard<std::mutex> guard(platform::dsound::world().lock);
    platform::dshow::registry().synthetic[platform::dshow::normalise(name)] = video;
}

}  // namespace platform::testing::dshow
