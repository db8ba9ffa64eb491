#include "effects/EffectDefinition.h"

#include "utility/Assert.h"
#include "utility/ParamBlock.h"

void CEffectDefinition::ReadCommonKeys(const CParamBlock& block)
{
    int value = 0;
    if (block.parseInt("MaxInstances", &value)) {
        MaxInstances = static_cast<uint32_t>(value);
        int technique = 0;
        if (block.parseInt("AbortTechnique", &technique) && VERIFY(technique >= 0 && technique <= ABORT_REFUSE))
            AbortTechnique = static_cast<uint32_t>(technique);
        int speed = 0;
        KillFadeSpeed = block.parseInt("KillFadeSpeed", &speed) ? static_cast<uint32_t>(speed) : 0;
    } else {
        MaxInstances = 0;
        AbortTechnique = ABORT_REFUSE;
        KillFadeSpeed = 0;
    }
    int mode = FADE_NONE;
    if (block.parseInt("FadeMode", &mode) && VERIFY(mode >= 0 && mode <= FADE_NONE)) FadeMode = static_cast<uint32_t>(mode);
    block.parseFloat("EffectRadius", &EffectRadius);
    block.parseFloat("FadeNear", &FadeNear);
    block.parseFloat("FadeFar", &FadeFar);
    if (block.parseInt("KillIfOffScreen", &value)) KillIfOffScreen = value != 0;
    if (block.parseInt("RenderIfOnScreenOnly", &value)) RenderIfOnScreenOnly = value != 0;
}
