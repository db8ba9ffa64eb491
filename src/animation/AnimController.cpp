#include "animation/AnimController.h"

#include "utility/Assert.h"

#include <cmath>

namespace {

Vector3 mixVector(const Vector3& a, const Vector3& b, float fraction) { return a + (b - a) * fraction; }

Quaternion mixRotation(const Quaternion& a, const Quaternion& b, float fraction)
{
    Quaternion q;
    quatSlerp(a, b, fraction, q);
    return q;
}

// The keys are taken to be sorted by time. The search runs from the first key every time: tracks
// are short, and a time past the last key keeps the last pair so the motion carries on along it.
template <class Key, class Value, class Mix>
Value sampleLinear(const TAnimKeyTable<Key>& keys, float t, bool interpolate, const Value& preset, Mix mix)
{
    const int32_t n = keys.GetTotalElements();
    if (n <= 0) return preset;
    int32_t i1 = 0;
    while (i1 < n - 1 && keys[i1].time < t) ++i1;
    const int32_t i0 = i1 > 0 ? i1 - 1 : 0;
    if (!interpolate) return keys[i0].value;
    const float span = std::fabs(keys[i0].time - keys[i1].time);
    const float fraction = span == 0.0f ? 0.0f : (t - keys[i0].time) / span;
    return mix(keys[i0].value, keys[i1].value, fraction);
}

template <class Value, class Mix>
Value sampleCaptured(const TAnimKeyTable<Value>& keys, float period, float t, bool interpolate, bool loop,
                     const Value& preset, Mix mix)
{
    const int32_t n = keys.GetTotalElements();
    const float f = t / (period * 1000.0f);
    if (!(f < static_cast<float>(n))) return preset;
    // Two frames or more before the start both indices miss the table; this also keeps the
    // conversions below in range.
    if (f <= -2.0f) return preset;
    const int32_t i0 = static_cast<int32_t>(f);
    int32_t i1 = static_cast<int32_t>(f + 1.0f);
    if (i1 > n - 1) i1 = loop ? 0 : n - 1;
    auto key = [&](int32_t i) -> Value { return (i >= 0 && i < n) ? keys[i] : preset; };
    if (!interpolate) return key(i0);
    const float distance = f - static_cast<float>(i0);
    ASSERT(distance <=1.0);
    return mix(key(i0), key(i1), distance);
}

}  // namespace

Vector3 CLinearController::GetScale(float time, bool interpolate, bool) const
{
    return sampleLinear(ScaleData, time, interpolate, defaultScale(), mixVector);
}

Vector3 CLinearController::GetTranslation(float time, bool interpolate, bool) const
{
    return sampleLinear(TranslationData, time, interpolate, defaultTranslation(), mixVector);
}

Quaternion CLinearController::GetRotation(float time, bool interpolate, bool) const
{
    return sampleLinear(RotationData, time, interpolate, defaultRotation(), mixRotation);
}

Vector3 CCapturedController::GetScale(float time, bool interpolate, bool loop) const
{
    return sampleCaptured(ScaleData, FramePeriod, time, interpolate, loop, defaultScale(), mixVector);
}

Vector3 CCapturedController::GetTranslation(float time, bool interpolate, bool loop) const
{
    return sampleCaptured(TranslationData, FramePeriod, time, interpolate, loop, defaultTranslation(), mixVector);
}

Quaternion CCapturedController::GetRotation(float time, bool interpolate, bool loop) const
{
    return sampleCaptured(RotationData, FramePeriod, time, interpolate, loop, defaultRotation(), mixRotation);
}
