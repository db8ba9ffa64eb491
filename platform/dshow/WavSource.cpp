// Our RIFF WAVE reader: finds the format and data chunks, then converts the PCM to floats and
// resamples it to the output rate by linear interpolation, a window of the file at a time.
#include "Source.h"

#include "platform/win32/files.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform::dshow {

namespace {

const uint32_t OUTPUT_RATE = 44100;
const uint32_t WINDOW_FRAMES = 4096;
const uint32_t MAX_RATE = 1000000;
const WORD FORMAT_PCM = 1;

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The file through the platform's own file calls, so that files held in memory play too.
struct WavFile {
    HANDLE handle;
    explicit WavFile(const std::string& name)
        : handle(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~WavFile()
    {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;
    bool seek(uint64_t position)
    {
        LONG high = static_cast<LONG>(position >> 32);
        return SetFilePointer(handle, static_cast<LONG>(position), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
               GetLastError() == ERROR_SUCCESS;
    }
    // Whole bytes read.
    size_t read(void* buffer, size_t bytes)
    {
        DWORD got = 0;
        return ReadFile(handle, buffer, static_cast<DWORD>(bytes), &got, nullptr) ? got : 0;
    }
    uint64_t size()
    {
        DWORD high = 0;
        const DWORD low = GetFileSize(handle, &high);
        return static_cast<uint64_t>(high) << 32 | low;
    }
};

struct Format {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t align = 0;
    uint16_t bits = 0;
};

class WavSource final : public Source {
public:
    WavSource(std::unique_ptr<WavFile> file, const Format& format, uint64_t dataStart, uint64_t frames)
        : m_file(std::move(file)), m_format(format), m_dataStart(dataStart), m_frames(frames)
    {
        m_raw.resize(static_cast<size_t>(WINDOW_FRAMES) * format.align);
        m_window.reserve(2 * (WINDOW_FRAMES + 1));
    }

    DWORD read(float* out, DWORD frames) override
    {
        DWORD made = 0;
        while (made < frames && !m_failed && m_index < m_frames) {
            // The frame after the last one is the last one again.
            const uint64_t next = std::min(m_index + 1, m_frames - 1);
            if (next >= m_windowStart + windowCount() && !slide(m_index)) break;
            const float t = static_cast<float>(m_phase) * (1.0f / OUTPUT_RATE);
            const float* a = &m_window[2 * (m_index - m_windowStart)];
            const float* b = &m_window[2 * (next - m_windowStart)];
            out[2 * made] = a[0] + (b[0] - a[0]) * t;
            out[2 * made + 1] = a[1] + (b[1] - a[1]) * t;
            ++made;
            // Output frame k lies at source frame k x rate / 44100: whole frames and a remainder.
            m_phase += m_format.rate;
            while (m_phase >= OUTPUT_RATE) {
                m_phase -= OUTPUT_RATE;
                ++m_index;
            }
        }
        return made;
    }

    bool failed() const override { return m_failed; }

    bool seek(uint64_t frame) override
    {
        const uint64_t scaled = frame * m_format.rate;
        const uint64_t index = std::min(scaled / OUTPUT_RATE, m_frames);
        if (!m_file->seek(m_dataStart + index * m_format.align)) return false;
        m_index = index;
        m_phase = index < m_frames ? static_cast<uint32_t>(scaled % OUTPUT_RATE) : 0;
        m_windowStart = index;
        m_window.clear();
        m_failed = false;
        return true;
    }

    uint64_t length() const override { return (m_frames * OUTPUT_RATE + m_format.rate - 1) / m_format.rate; }
    const char* kind() const override { return "wav"; }

private:
    uint64_t windowCount() const { return m_window.size() / 2; }

    // Drops the frames before `keepFrom` and reads the next part of the file behind the rest.
    bool slide(uint64_t keepFrom)
    {
        const uint64_t drop = std::min(keepFrom - m_windowStart, windowCount());
        m_window.erase(m_window.begin(), m_window.begin() + static_cast<ptrdiff_t>(2 * drop));
        m_windowStart += drop;
        const uint64_t from = m_windowStart + windowCount();
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(WINDOW_FRAMES, m_frames - from));
        const size_t got = m_file->read(m_raw.data(), wanted * m_format.align) / m_format.align;
        if (got < wanted) {
            // The data chunk promised more: the file has shrunk or cannot be read any more.
            m_failed = true;
            return false;
        }
        const size_t kept = m_window.size();
        m_window.resize(kept + 2 * got);
        float* w = m_window.data() + kept;
        const uint8_t* p = m_raw.data();
        for (size_t i = 0; i < got; ++i, p += m_format.align, w += 2) {
            if (m_format.bits == 16) {
                w[0] = static_cast<int16_t>(le16(p)) * (1.0f / 32768.0f);
                w[1] = m_format.channels == 2 ? static_cast<int16_t>(le16(p + 2)) * (1.0f / 32768.0f) : w[0];
            } else {
                w[0] = (p[0] - 128) * (1.0f / 128.0f);
                w[1] = m_format.channels == 2 ? (p[1] - 128) * (1.0f / 128.0f) : w[0];
            }
        }
        return true;
    }

    std::unique_ptr<WavFile> m_file;
    Format m_format;
    uint64_t m_dataStart;
    uint64_t m_frames;
    uint64_t m_index = 0;   // the source frame of the next output frame
    uint32_t m_phase = 0;   // and how far past it, in 44100ths of a frame
    uint64_t m_windowStart = 0;
    std::vector<float> m_window;  // stereo frames from m_windowStart on
    std::vector<uint8_t> m_raw;
    bool m_failed = false;
};

}  // namespace

std::unique_ptr<Source> openWavSource(const std::string& name, bool* handled)
{
    *handled = false;
    auto file = std::make_unique<WavFile>(name);
    if (file->handle == INVALID_HANDLE_VALUE) return nullptr;
    uint8_t riff[12];
    if (file->read(riff, sizeof riff) != sizeof riff || memcmp(riff, "RIFF", 4) != 0 || memcmp(riff + 8, "WAVE", 4) != 0)
        return nullptr;
    const uint64_t fileSize = file->size();

    // Chunks in any order; each is padded to an even length.
    Format format;
    bool haveFormat = false, haveData = false;
    uint64_t dataStart = 0, dataLength = 0;
    uint64_t position = sizeof riff;
    while (!(haveFormat && haveData) && position + 8 <= fileSize) {
        uint8_t header[8];
        if (!file->seek(position) || file->read(header, 8) != 8) break;
        const uint64_t size = le32(header + 4);
        const uint64_t body = position + 8;
        if (memcmp(header, "fmt ", 4) == 0 && !haveFormat) {
            uint8_t f[16];
            if (size < sizeof f || file->read(f, sizeof f) != sizeof f) break;
            format = {le16(f), le16(f + 2), le32(f + 4), le16(f + 12), le16(f + 14)};
            haveFormat = true;
        } else if (memcmp(header, "data", 4) == 0 && !haveData) {
            // A data chunk that claims more than the file holds plays what is there.
            dataStart = body;
            dataLength = std::min(size, fileSize - body);
            haveData = true;
        }
        position = body + size + (size & 1);
    }

    // Other encodings, sizes and channel counts are FFmpeg's to read.
    if (haveFormat && (format.tag != FORMAT_PCM || (format.bits != 8 && format.bits != 16) ||
                       (format.channels != 1 && format.channels != 2)))
        return nullptr;
    *handled = true;
    if (!haveFormat || !haveData || format.rate == 0 || format.rate > MAX_RATE ||
        format.align != format.channels * format.bits / 8 || !file->seek(dataStart))
        return nullptr;
    return std::make_unique<WavSource>(std::move(file), format, dataStart, dataLength / format.align);
}

}  // namespace platform::dshow
