// Sun .au files written by hand, which FFmpeg reads without any encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundfiles {

inline std::string be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// 16-bit linear PCM, big-endian samples, channels interleaved.
inline std::string au(uint32_t rate, uint32_t channels, const std::vector<int16_t>& samples)
{
    std::string body;
    for (int16_t s : samples) body += std::string{char(static_cast<uint16_t>(s) >> 8), char(s)};
    const uint32_t LINEAR_16 = 3;
    return ".snd" + be32(24) + be32(static_cast<uint32_t>(body.size())) + be32(LINEAR_16) + be32(rate) + be32(channels) +
           body;
}

}  // namespace soundfiles
