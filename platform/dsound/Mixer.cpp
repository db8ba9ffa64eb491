// The software mixer: every playing buffer resampled by linear interpolation to the output rate,
// scaled by its volume and, for 3D buffers, by distance and direction from the listener.
#include "World.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::dsound {

namespace {

struct Gains {
    float left;
    float right;
};

Vector minus(const Vector& a, const Vector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Gains gainsOf(const Buffer& b, const ListenerParams& listener)
{
    const float gain = volumeGain(b.volume);
    if (!(b.flags & DSBCAPS_CTRL3D)) return {gain, gain};

    // Full volume inside the minimum distance, then falling as minimum / distance, no further
    // beyond the maximum distance.
    const Params3D& source = b.applied;
    const Vector toSource = minus(source.position, listener.position);
    const float distance = std::sqrt(dot(toSource, toSource));
    const float minimum = source.minDistance;
    const float maximum = std::max(source.maxDistance, minimum);
    const float attenuation = distance <= minimum ? 1.0f : minimum / std::min(distance, maximum);

    // Left-handed axes: with the listener facing +z and +y up, +x is to the right.
    float pan = 0.0f;
    const Vector right = cross(listener.top, listener.front);
    const float rightLength = std::sqrt(dot(right, right));
    if (distance > 1e-6f && rightLength > 1e-6f)
        pan = std::clamp(dot(toSource, right) / (distance * rightLength), -1.0f, 1.0f);
    const float g = gain * attenuation;
    return {g * std::min(1.0f, 1.0f - pan), g * std::min(1.0f, 1.0f + pan)};
}

template <int BITS>
inline float sampleAt(const uint8_t* bytes, uint64_t index)
{
    if constexpr (BITS == 16) {
        int16_t value;
        std::memcpy(&value, bytes + index * 2, 2);
        return value * (1.0f / 32768.0f);
    } else {
        return (static_cast<int>(bytes[index]) - 128) * (1.0f / 128.0f);
    }
}

// Mixes one buffer into the output and moves its cursor; returns the whole frames it played.
template <int BITS, int CHANNELS>
uint64_t mixBuffer(Buffer& b, float* out, DWORD frames, Gains gains)
{
    const uint8_t* bytes = b.data->bytes.data();
    const uint64_t count = b.frames();
    const uint64_t end = count << 32;
    const uint64_t step = (static_cast<uint64_t>(b.frequency) << 32) / OUTPUT_RATE;
    const uint64_t startFrame = b.position >> 32;
    uint64_t position = b.position;
    uint64_t wraps = 0;
    for (DWORD i = 0; i < frames; ++i) {
        const uint64_t index = position >> 32;
        uint64_t next = index + 1;
        if (next == count) next = b.looping ? 0 : index;
        const float t = static_cast<float>(position & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
        for (int c = 0; c < CHANNELS; ++c) {
            const float s0 = sampleAt<BITS>(bytes, index * CHANNELS + c);
            const float s1 = sampleAt<BITS>(bytes, next * CHANNELS + c);
            const float value = s0 + (s1 - s0) * t;
            if (CHANNELS == 1) {
                out[2 * i] += value * gains.left;
                out[2 * i + 1] += value * gains.right;
            } else {
                out[2 * i + c] += value * (c == 0 ? gains.left : gains.right);
            }
        }
        position += step;
        if (position >= end) {
            if (!b.looping) {
                position = end;
                break;
            }
            while (position >= end) {
                position -= end;
                ++wraps;
            }
        }
    }
    b.position = position;
    return wraps * count + (position >> 32) - startFrame;
}

void mixOne(Buffer& b, float* out, DWORD frames, const ListenerParams& listener)
{
    if (b.frames() == 0) return;
    const Gains gains = gainsOf(b, listener);
    const DWORD from = b.playCursor();
    uint64_t played;
    const bool wide = b.format.wBitsPerSample == 16;
    if (b.format.nChannels == 1)
        played = wide ? mixBuffer<16, 1>(b, out, frames, gains) : mixBuffer<8, 1>(b, out, frames, gains);
    else
        played = wide ? mixBuffer<16, 2>(b, out, frames, gains) : mixBuffer<8, 2>(b, out, frames, gains);

    b.notifyPassed(from, played * b.format.nBlockAlign);
    // A buffer that does not loop stops at its end, ready to play again from the start.
    if (!b.looping && (b.position >> 32) >= b.frames()) {
        b.position = 0;
        b.halt();
    }
}

}  // namespace

float volumeGain(LONG volume) { return volume <= DSBVOLUME_MIN ? 0.0f : std::pow(10.0f, volume / 2000.0f); }

void render(float* out, DWORD frames)
{
    std::fill(out, out + 2 * static_cast<size_t>(frames), 0.0f);
    for (Device* device : world().devices)
        for (Buffer* b : device->buffers)
            if (b->playing && !b->lost) mixOne(*b, out, frames, device->applied);
    for (ExternalVoice* voice : world().externalVoices) voice->mixInto(out, frames);
}

}  // namespace platform::dsound
