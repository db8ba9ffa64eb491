// KeyFrames: a value that changes over a particle's life, as up to eight (frame, value) keys
// sampled by linear interpolation at the particle's age. T is float or a colour (Vector3).
//
// A track always holds its first key at frame 0 and its last at the end frame (lifespan - 1);
// keys read between them keep frame order, and keys of equal frames keep their reading order.
#pragma once

#include "utility/Assert.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CParamBlock;

template <typename T>
class KeyFrames {
public:
    static constexpr int32_t MAX_KEYS = 8;
    static_assert(MAX_KEYS == 8, "the full-track check names 8");

    struct Key {
        int32_t frame;  // -1 while unused
        T value;
    };

    KeyFrames() : m_numFrames(0), m_endFrame(0)
    {
        for (Key& key : m_keys) key = Key{-1, T()};
    }

    void Build(const T& first, const T& last, int32_t endFrame)
    {
        for (Key& key : m_keys) key = Key{-1, T()};
        m_keys[0] = Key{0, first};
        m_keys[1] = Key{endFrame, last};
        m_numFrames = 2;
        m_endFrame = endFrame;
    }

    // A frame outside the two end keys is reported and still put in frame order; a key that does
    // not fit (eight already) is reported and dropped.
    void Insert(int32_t time, const T& value)
    {
        ASSERT(time>0);
        if (!VERIFY(m_numFrames<8)) return;
        ASSERT(time<m_endFrame);
        int32_t at = 0;
        while (at < m_numFrames && m_keys[at].frame <= time) ++at;
        for (int32_t i = m_numFrames; i > at; --i) m_keys[i] = m_keys[i - 1];
        m_keys[at] = Key{time, value};
        ++m_numFrames;
    }

    // The value at an age in frames. Ages at or before the first key give its value; ages past
    // the last key give the last key's value.
    T Sample(int32_t age) const
    {
        int32_t k = 0;
        while (k < m_numFrames && m_keys[k].frame < age) ++k;
        if (k == 0) return m_keys[0].value;
        if (k == m_numFrames) return m_keys[m_numFrames - 1].value;
        const Key& a = m_keys[k - 1];
        const Key& b = m_keys[k];
        // In 64 bits: frames read from files may lie far apart.
        const float u = static_cast<float>(static_cast<double>(static_cast<int64_t>(age) - a.frame) /
                                           static_cast<double>(static_cast<int64_t>(b.frame) - a.frame));
        return b.value * u + a.value * (1.0f - u);
    }

    int32_t GetNumFrames() const { return m_numFrames; }
    int32_t GetEndFrame() const { return m_endFrame; }
    const Key& GetKey(int32_t i) const { return m_keys[i]; }

private:
    Key m_keys[MAX_KEYS];
    int32_t m_numFrames;
    int32_t m_endFrame;
};

// Reads the track named blockName from a particle kind's definition block: each child block of
// the keys block holds the value under valueKey (times scale: angles are written in degrees), the
// middle ones also "time", a fraction of the lifespan. Without the keys block the track is
// constant at the default. A keys block of fewer than two keys is reported under sourceFile, the
// particle kind's own source; a key without its value takes the default.
void ReadKeyFrames(const CParamBlock* pBlock, const char* blockName, const char* valueKey, float defaultValue,
                   float scale, int32_t lifespan, const char* sourceFile, int sourceLine, KeyFrames<float>& track);
void ReadKeyFrames(const CParamBlock* pBlock, const char* blockName, const char* valueKey,
                   const Vector3& defaultValue, int32_t lifespan, const char* sourceFile, int sourceLine,
                   KeyFrames<Vector3>& track, float scale = 1.0f);
