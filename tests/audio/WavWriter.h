// RIFF WAVE files built in memory by the audio tests.
#pragma once

#include <cstdint>
#include <string>

namespace wavtest {

inline std::string u32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
inline std::string u16(uint16_t v) { return std::string{char(v), char(v >> 8)}; }

inline std::string chunk(const char* id, const std::string& body, uint32_t claimed)
{
    return std::string(id, 4) + u32(claimed) + body;
}
inline std::string chunk(const char* id, const std::string& body)
{
    return chunk(id, body, static_cast<uint32_t>(body.size()));
}

struct Layout {
    uint16_t channels = 1;
    uint32_t rate = 22050;
    uint16_t bits = 16;
    uint32_t formatSize = 16;  // the bytes past 16 are zeros
    std::string between;       // chunks between the format and the data
};

// The format chunk, then `between`, then a "data" chunk with the bytes.
inline std::string wav(const Layout& l, const std::string& data)
{
    const uint16_t align = static_cast<uint16_t>(l.channels * l.bits / 8);
    std::string format = u16(1) + u16(l.channels) + u32(l.rate) + u32(l.rate * align) + u16(align) + u16(l.bits);
    if (l.formatSize > 16) format += std::string(l.formatSize - 16, '\0');
    const std::string body = chunk("fmt ", format, l.formatSize) + l.between + chunk("data", data);
    return "RIFF" + u32(static_cast<uint32_t>(4 + body.size())) + "WAVE" + body;
}

// Bytes that differ from block to block, so that a misplaced block shows.
inline std::string pattern(size_t count, unsigned seed = 1)
{
    std::string bytes(count, '\0');
    uint32_t x = seed * 2654435761u;
    for (size_t i = 0; i < count; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(x >> 16);
    }
    return bytes;
}

}  // namespace wavtest
