// Device state words as the renderer needs them: colours as floats, float states from their bits.
#pragma once

#include <cstdint>
#include <cstring>

namespace d3d9gl {

// 0xAARRGGBB as red, green, blue, alpha in 0..1.
inline void colourToFloats(uint32_t c, float out[4])
{
    out[0] = ((c >> 16) & 0xFF) / 255.0f;
    out[1] = ((c >> 8) & 0xFF) / 255.0f;
    out[2] = (c & 0xFF) / 255.0f;
    out[3] = ((c >> 24) & 0xFF) / 255.0f;
}

inline float asFloat(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace d3d9gl
