// Reading the keys of emitter and controller blocks: a missing or unreadable key leaves the
// default in place, so these readers never fail.
#pragma once

#include "utility/ParamBlock.h"
#include "utility/VectorMath.h"

#include <cstdint>
#include <new>

inline void readParticleKey(const CParamBlock* pBlock, const char* key, int32_t& value) { pBlock->parseInt(key, &value); }

// Times scale when present (the global effect fade, for speeds).
inline void readParticleKey(const CParamBlock* pBlock, const char* key, float& value, float scale = 1.0f)
{
    if (pBlock->parseFloat(key, &value)) value *= scale;
}

// A percentage, kept as a fraction.
inline void readParticlePercent(const CParamBlock* pBlock, const char* key, float& value)
{
    if (pBlock->parseFloat(key, &value)) value /= 100.0f;
}

inline void readParticleKey(const CParamBlock* pBlock, const char* key, Vector3& value, float scale = 1.0f)
{
    float v[3];
    if (pBlock->parseVector(key, v)) value.set(v[0] * scale, v[1] * scale, v[2] * scale);
}

// Allocates the kind's definition when the caller has none yet; false only when that fails.
template <typename Definition, typename Base>
Definition* particleDefinitionFor(Base** ppDefinition)
{
    if (!*ppDefinition) *ppDefinition = new (std::nothrow) Definition;
    return static_cast<Definition*>(*ppDefinition);
}
