// A loaded model, as far as the scene core reads it: its flags and how it fades with distance. The
// model loader fills the rest of the model.
#pragma once

#include <cstdint>

class CModel {
public:
    static const uint32_t NUM_VISIBILITY_TYPES = 4;
    enum : uint8_t {
        FLAG_NOBOUNDS = 1,   // file without bounds: no LOD by distance
        FLAG_LIT = 2,        // lit by the fixed-function lights
        FLAG_ALPHAFADE = 4,  // may be drawn transparent when it fades
        FLAG_TOOLMESH = 8,
        FLAG_VSLIT = 16,     // lit in the vertex shader
    };

    uint8_t m_flags = 0;
    uint8_t m_visibilityType = 0;  // 0..3, see L3AlphaForDistance
    float m_fadeNear = -1.0f;      // the range of visibility type 3
    float m_fadeFar = -1.0f;
};
