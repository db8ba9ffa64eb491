#include "effects/particlesystem/KeyFrames.h"

#include "effects/particlesystem/ParticleRandom.h"
#include "utility/ParamBlock.h"

namespace {

bool readKeyValue(const CParamBlock* pKey, const char* valueKey, float scale, float* pValue)
{
    if (!pKey->parseFloat(valueKey, pValue)) return false;
    *pValue *= scale;
    return true;
}

bool readKeyValue(const CParamBlock* pKey, const char* valueKey, float scale, Vector3* pValue)
{
    float v[3];
    if (!pKey->parseVector(valueKey, v)) return false;
    pValue->set(v[0] * scale, v[1] * scale, v[2] * scale);
    return true;
}

template <typename T>
void readTrack(const CParamBlock* pBlock, const char* blockName, const char* valueKey, const T& defaultValue,
               float scale, int32_t lifespan, const char* sourceFile, int sourceLine, KeyFrames<T>& track)
{
    // The frame of the last key; lifespans are small, but a file may say anything.
    const int32_t endFrame = lifespan == INT32_MIN ? INT32_MIN : lifespan - 1;
    CParamBlock* pKeys = nullptr;
    if (!pBlock->findBlock(blockName, &pKeys)) {
        track.Build(defaultValue, defaultValue, endFrame);
        return;
    }
    const uint32_t numKeys = pKeys->getNumBlocks();
    if (numKeys < 2) assertFailed("numKeys>=2", sourceFile, sourceLine);
    T first = defaultValue, last = defaultValue;
    CParamBlock* pKey = nullptr;
    if (pKeys->getBlock(0, &pKey)) readKeyValue(pKey, valueKey, scale, &first);
    if (numKeys > 0 && pKeys->getBlock(numKeys - 1, &pKey)) readKeyValue(pKey, valueKey, scale, &last);
    track.Build(first, last, endFrame);
    for (uint32_t i = 1; i + 1 < numKeys; ++i) {
        if (!pKeys->getBlock(i, &pKey)) break;
        float time = 0.0f;
        pKey->parseFloat("time", &time);
        T value = defaultValue;
        readKeyValue(pKey, valueKey, scale, &value);
        // The product in single precision, as the lifespan times a float key.
        track.Insert(particleFramesFromFloat(static_cast<float>(lifespan) * time), value);
    }
}

}  // namespace

void ReadKeyFrames(const CParamBlock* pBlock, const char* blockName, const char* valueKey, float defaultValue,
                   float scale, int32_t lifespan, const char* sourceFile, int sourceLine, KeyFrames<float>& track)
{
    readTrack(pBlock, blockName, valueKey, defaultValue, scale, lifespan, sourceFile, sourceLine, track);
}

void ReadKeyFrames(const CParamBlock* pBlock, const char* blockName, const char* valueKey,
                   const Vector3& defaultValue, int32_t lifespan, const char* sourceFile, int sourceLine,
                   KeyFrames<Vector3>& track, float scale)
{
    readTrack(pBlock, blockName, valueKey, defaultValue, scale, lifespan, sourceFile, sourceLine, track);
}
