// What a filter graph shows: the frames of one file's video, in a layout a renderer takes.
#pragma once

#include "Source.h"
#include "platform/dshow.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::dshow {

// Frame layouts. RGB ones are DirectShow's: rows bottom-up, each padded to 4 bytes (RGB24 is
// B, G, R per pixel; RGB32 B, G, R, X). Four-character-code ones (YUY2, UYVY) are top-down.
struct FrameLayout {
    DWORD code = 0;  // D3DFMT_R8G8B8 for RGB24, D3DFMT_X8R8G8B8 for RGB32, else the four-character code
    bool isRgb() const { return code == D3DFMT_R8G8B8 || code == D3DFMT_X8R8G8B8; }
    static uint32_t stride(DWORD code, uint32_t width);
};

struct VideoFormat {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rateNumerator = 25;  // frames per second as a fraction
    uint32_t rateDenominator = 1;
    uint64_t frames = 0;
    std::vector<DWORD> offered;  // layout codes, preferred first
};

class VideoSource {
public:
    virtual ~VideoSource() = default;
    const VideoFormat& format() const { return m_format; }
    // The layout frames come in from now on; false for one not offered.
    virtual bool setLayout(DWORD code) = 0;
    // Frame `index` (0 .. frames - 1) in the layout set; any order, the next one is cheapest.
    // False when the file cannot give it (it broke, shrank or vanished).
    virtual bool readFrame(uint64_t index, std::vector<uint8_t>& out) = 0;
    virtual const char* kind() const = 0;

protected:
    VideoFormat m_format;
};

// What a file holds: its sound and its pictures, either of which may be missing.
struct Media {
    std::unique_ptr<Source> audio;
    std::unique_ptr<VideoSource> video;
};

// A source a test registered under this name (without case, either slash); false when none.
bool openSyntheticMedia(const std::string& name, Media& media);
// FFmpeg's readers for a file's first video stream; null when it has none FFmpeg decodes.
std::unique_ptr<VideoSource> openFfmpegVideo(const std::string& path);

// Output frames of the mixer's clock in which frame `index` starts: index x 44100 / rate.
uint64_t frameStart(const VideoFormat& format, uint64_t index);
// The frame shown at a clock position (clamped to the last).
uint64_t frameAt(const VideoFormat& format, uint64_t position);

}  // namespace platform::dshow
