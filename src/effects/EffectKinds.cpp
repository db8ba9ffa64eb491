#include "effects/EffectKinds.h"

#include "effects/MultiEffect.h"
#include "effects/Trail.h"
#include "effects/particlesystem/ParticleEffect.h"

#include <strings.h>

namespace {

const TEffectKind kinds[NUM_EFFECT_KINDS] = {
    {"PARTICLESYSTEM", ReadParticleEffectDefinition, CreateParticleEffect},
    {"MULTIEFFECT", ReadMultiEffectDefinition, NewEffectOfKind<CMultiEffect, CMultiEffectDefinition>},
    {"TRAIL", ReadTrailDefinition, NewEffectOfKind<CTrail, CTrailDefinition>},
    {"POINTTRAIL", ReadPointTrailDefinition, NewEffectOfKind<CPointTrail, CPointTrailDefinition>},
};

const TEffectKind* extraKind = nullptr;

}  // namespace

const TEffectKind* FindEffectKind(const char* blockName)
{
    if (!blockName) return nullptr;
    for (const TEffectKind& kind : kinds)
        if (strcasecmp(kind.pBlockName, blockName) == 0) return &kind;
    if (extraKind && extraKind->pBlockName && strcasecmp(extraKind->pBlockName, blockName) == 0) return extraKind;
    return nullptr;
}

void SetExtraEffectKind(const TEffectKind* pKind) { extraKind = pKind; }
