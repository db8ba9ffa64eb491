// CEffectDefinition: what every kind's definition shares - the instance limit, the fades and the
// culling rules read from the common keys of a definition block. Each kind extends it.
#pragma once

#include <cstdint>

class CParamBlock;

class CEffectDefinition {
public:
    enum { ABORT_FADE_OUT = 0, ABORT_DESTROY = 1, ABORT_REFUSE = 2 };
    // Beyond FadeFar: 0 kills, 1 hides, 2 fades to nothing; 3 turns the distance fade off.
    enum { FADE_KILL = 0, FADE_HIDE = 1, FADE_ZERO = 2, FADE_NONE = 3 };

    CEffectDefinition() = default;
    virtual ~CEffectDefinition() {}
    CEffectDefinition(const CEffectDefinition&) = delete;
    CEffectDefinition& operator=(const CEffectDefinition&) = delete;

    // The common keys of a definition block; missing keys keep their defaults. "AbortTechnique" and
    // "KillFadeSpeed" count only beside "MaxInstances". Values out of range are reported and ignored.
    void ReadCommonKeys(const CParamBlock& block);

    float EffectRadius = 0.0f;
    uint32_t MaxInstances = 0;  // 0: no limit
    uint32_t AbortTechnique = ABORT_REFUSE;
    uint32_t KillFadeSpeed = 0;  // game-clock milliseconds
    uint32_t FadeMode = FADE_NONE;
    float FadeNear = 0.0f;
    float FadeFar = 0.0f;
    uint8_t KillIfOffScreen = 0;
    uint8_t RenderIfOnScreenOnly = 0;
};

// The definition a reader is reading on this thread, held by the manager around each reader: a
// file holds many definitions, so its readers' reports say which one they refuse.
class ReadingDefinition {
public:
    explicit ReadingDefinition(const char* name);
    ~ReadingDefinition();
    ReadingDefinition(const ReadingDefinition&) = delete;
    ReadingDefinition& operator=(const ReadingDefinition&) = delete;

private:
    const char* m_pOuter;
};

// "Effect definition <name>: <text>" while a definition is read, else the text.
const char* definitionFault(const char* text);
