// The particle code's random draws, all from the runtime's 15-bit generator so that a seeded run
// repeats exactly. Every helper makes its draws in a fixed order: callers rely on that order.
#pragma once

#include "platform/win32.h"
#include "utility/VectorMath.h"

#include <cstdint>

// Uniform in [0, 1].
inline float particleRandomUnit() { return static_cast<float>(crtRand()) * (1.0f / 32767.0f); }

// Uniform in [0, 2 pi].
inline float particleRandomAngle() { return static_cast<float>(crtRand()) * 1.9175345e-04f; }

// Uniform in [-v/2, v/2].
inline float particleRandomSpread(float v) { return particleRandomUnit() * v - v * 0.5f; }

// Each component spread by its own draw, x first.
inline Vector3 particleRandomSpread(const Vector3& v)
{
    const float x = particleRandomSpread(v.x);
    const float y = particleRandomSpread(v.y);
    const float z = particleRandomSpread(v.z);
    return Vector3(x, y, z);
}

// period + (rand mod variation) - variation / 2 in integer arithmetic (one draw), or the period
// alone without variation; kept within 32 bits.
inline int32_t particleRandomPeriod(int32_t period, int32_t variation)
{
    if (variation == 0) return period;
    const int64_t value = static_cast<int64_t>(period) + crtRand() % variation - variation / 2;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// A float from a file turned into a whole number of frames: truncated toward zero, saturated at
// the 32-bit limits, not-a-number 0.
inline int32_t particleFramesFromFloat(double value)
{
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}
