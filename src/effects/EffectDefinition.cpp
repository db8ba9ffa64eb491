#include "effects/EffectDefinition.h"

#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"

#include <cstdio>

namespace {

thread_local const char* definitionBeingRead = nullptr;
thread_local char faultText[512];

// A key out of range, named with its definition: each definition's fault is an entry of its own.
const char* outOfRange(const CParamBlock& block, const char* key)
{
    char name[CActualParameter::MAX_VALUE + 1] = "";
    block.parseString("instancename", name);
    return concatStrings("Effect definition ", name, ": ", key, " out of range");
}

}  // namespace

ReadingDefinition::ReadingDefinition(const char* name) : m_pOuter(definitionBeingRead) { definitionBeingRead = name; }

ReadingDefinition::~ReadingDefinition() { definitionBeingRead = m_pOuter; }

const char* definitionFault(const char* text)
{
    if (!definitionBeingRead) return text;
    snprintf(faultText, sizeof faultText, "Effect definition %s: %s", definitionBeingRead, text);
    return faultText;
}

void CEffectDefinition::ReadCommonKeys(const CParamBlock& block)
{
    int value = 0;
    if (block.parseInt("MaxInstances", &value)) {
        MaxInstances = static_cast<uint32_t>(value);
        int technique = 0;
        if (block.parseInt("AbortTechnique", &technique) &&
            VERIFY_MSG(technique >= 0 && technique <= ABORT_REFUSE, outOfRange(block, "AbortTechnique")))
            AbortTechnique = static_cast<uint32_t>(technique);
        int speed = 0;
        KillFadeSpeed = block.parseInt("KillFadeSpeed", &speed) ? static_cast<uint32_t>(speed) : 0;
    } else {
        MaxInstances = 0;
        AbortTechnique = ABORT_REFUSE;
        KillFadeSpeed = 0;
    }
    int mode = FADE_NONE;
    if (block.parseInt("FadeMode", &mode) && VERIFY_MSG(mode >= 0 && mode <= FADE_NONE, outOfRange(block, "FadeMode")))
        FadeMode = static_cast<uint32_t>(mode);
    block.parseFloat("EffectRadius", &EffectRadius);
    block.parseFloat("FadeNear", &FadeNear);
    block.parseFloat("FadeFar", &FadeFar);
    if (block.parseInt("KillIfOffScreen", &value)) KillIfOffScreen = value != 0;
    if (block.parseInt("RenderIfOnScreenOnly", &value)) RenderIfOnScreenOnly = value != 0;
}
