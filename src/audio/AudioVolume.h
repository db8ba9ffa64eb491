// The volume law shared by the DirectSound device, its streams and the video players.
#pragma once

#include <cmath>
#include <cstdint>

// A linear volume (1.0 full) in DirectSound's hundredths of a decibel: 0 at 1.0 and above, -10000
// at 0 and below, else 1000 / log10(2) x log10(v) truncated toward zero, about -1000 per halving.
// Clamped to -10000: below 2^-10 the raw value falls under what DirectSound takes, and a refused
// volume would leave a new voice at full volume. Not a number is silence.
inline int32_t linearToDirectSoundVolume(float volume)
{
    const float HUNDREDTHS_PER_DECADE = 3321.927978515625f;  // 1000 / log10(2) as a float
    const int32_t SILENT = -10000;
    if (volume >= 1.0f) return 0;
    if (!(volume > 0.0f)) return SILENT;
    const double hundredths = static_cast<double>(HUNDREDTHS_PER_DECADE) * std::log10(static_cast<double>(volume));
    return hundredths < SILENT ? SILENT : static_cast<int32_t>(hundredths);
}
