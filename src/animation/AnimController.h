// Key controllers: the scale, translation and rotation keys of one animation node and their
// sampling at a time in milliseconds. Linear controllers hold timed keys; captured controllers
// hold one key per frame at a fixed frame period.
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>
#include <memory>

// A fixed table of keys: sized once by the first key line of its channel, preset to the
// channel's default, then filled in order; keys past the end are dropped.
template <class Key>
class TAnimKeyTable {
public:
    void Allocate(int32_t count, const Key& preset)
    {
        pKeys.reset(new Key[count]);
        for (int32_t i = 0; i < count; ++i) pKeys[i] = preset;
        NumElements = count;
        FillIndex = 0;
    }
    bool IsAllocated() const { return pKeys != nullptr; }
    // The next unfilled slot, or null when the table is full.
    Key* NextSlot() { return FillIndex < NumElements ? &pKeys[FillIndex++] : nullptr; }
    int32_t GetTotalElements() const { return NumElements; }
    const Key& operator[](int32_t i) const { return pKeys[i]; }

private:
    std::unique_ptr<Key[]> pKeys;
    int32_t NumElements = 0;
    int32_t FillIndex = 0;
};

// Channel defaults: what a channel without a key for the time gives.
inline Vector3 defaultScale() { return Vector3(1.0f, 1.0f, 1.0f); }
inline Vector3 defaultTranslation() { return Vector3(0.0f, 0.0f, 0.0f); }
inline Quaternion defaultRotation() { return Quaternion(0.0f, 0.0f, 0.0f, 1.0f); }

class CAnimController {
public:
    enum { CONTROLLER_CAPTURED = 0, CONTROLLER_LINEAR = 1 };
    enum { CHANNEL_SCALE = 0, CHANNEL_TRANSLATION = 1, CHANNEL_ROTATION = 2 };

    virtual Vector3 GetScale(float time, bool interpolate, bool loop) const = 0;
    virtual Vector3 GetTranslation(float time, bool interpolate, bool loop) const = 0;
    virtual Quaternion GetRotation(float time, bool interpolate, bool loop) const = 0;
    virtual ~CAnimController() = default;

    int32_t GetKind() const { return m_kind; }
    virtual int32_t GetNumKeys(int channel) const = 0;

protected:
    explicit CAnimController(int32_t kind) : m_kind(kind) {}

private:
    int32_t m_kind;
};

struct TLinearVectorKey {
    Vector3 value;
    float time;  // ms
};

struct TLinearQuatKey {
    Quaternion value;
    float time;  // ms
};

// The three key tables every controller holds, in this order.
template <class VectorKey, class RotationKey>
class TKeyTableController : public CAnimController {
public:
    int32_t GetNumKeys(int channel) const override
    {
        switch (channel) {
        case CHANNEL_SCALE: return ScaleData.GetTotalElements();
        case CHANNEL_TRANSLATION: return TranslationData.GetTotalElements();
        case CHANNEL_ROTATION: return RotationData.GetTotalElements();
        default: return 0;
        }
    }

    TAnimKeyTable<VectorKey> ScaleData;
    TAnimKeyTable<VectorKey> TranslationData;
    TAnimKeyTable<RotationKey> RotationData;

protected:
    explicit TKeyTableController(int32_t kind) : CAnimController(kind) {}
};

class CLinearController : public TKeyTableController<TLinearVectorKey, TLinearQuatKey> {
public:
    CLinearController() : TKeyTableController(CONTROLLER_LINEAR) {}

    Vector3 GetScale(float time, bool interpolate, bool loop) const override;
    Vector3 GetTranslation(float time, bool interpolate, bool loop) const override;
    Quaternion GetRotation(float time, bool interpolate, bool loop) const override;
};

class CCapturedController : public TKeyTableController<Vector3, Quaternion> {
public:
    explicit CCapturedController(float framePeriod) : TKeyTableController(CONTROLLER_CAPTURED), FramePeriod(framePeriod) {}

    Vector3 GetScale(float time, bool interpolate, bool loop) const override;
    Vector3 GetTranslation(float time, bool interpolate, bool loop) const override;
    Quaternion GetRotation(float time, bool interpolate, bool loop) const override;

    float FramePeriod;  // seconds per frame, fixed when the controller is made
};
