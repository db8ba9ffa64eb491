// The effect kinds: the block name that marks a definition of the kind, the reader that builds the
// definition from its block and the factory that starts an effect of it. The manager knows a kind
// through this table alone.
#pragma once

#include "utility/Assert.h"
#include "utility/VectorMath.h"

#include <cstdint>
#include <new>

class CEffect;
class CEffectDefinition;
class CEffectManager;
class CParamBlock;

// Builds the kind's definition from its block: allocates it when *ppDefinition is null, reads the
// common keys, then the kind's own. On false the manager deletes whatever *ppDefinition holds.
typedef bool (*EffectDefinitionReader)(CEffectManager& manager, const CParamBlock& block,
                                       CEffectDefinition** ppDefinition);
// Allocates and constructs an effect of the kind; null when it cannot.
typedef CEffect* (*EffectFactory)(CEffectManager& manager, CEffectDefinition* pDefinition, uintptr_t creationWord,
                                  const Vector3& position, const Matrix3& orientation);

// The factory of a kind whose effect is made straight from its definition; a definition of
// another kind is a failed check.
template <class TEffect, class TDefinition>
CEffect* NewEffectOfKind(CEffectManager& manager, CEffectDefinition* pDefinition, uintptr_t creationWord,
                         const Vector3& position, const Matrix3& orientation)
{
    TDefinition* pOwn = dynamic_cast<TDefinition*>(pDefinition);
    if (!VERIFY(pOwn)) return nullptr;
    return new (std::nothrow) TEffect(&manager, pOwn, creationWord, position, orientation);
}

struct TEffectKind {
    const char* pBlockName;
    EffectDefinitionReader pReader;  // null: the kind cannot be read yet
    EffectFactory pFactory;
};

enum {
    EFFECTKIND_PARTICLESYSTEM = 0,
    EFFECTKIND_MULTIEFFECT = 1,
    EFFECTKIND_TRAIL = 2,
    EFFECTKIND_POINTTRAIL = 3,
    NUM_EFFECT_KINDS = 4
};

// The kind whose block name matches (without regard to case); null for none.
const TEffectKind* FindEffectKind(const char* blockName);

// Test seam: one further kind under a block name the game never reads (null removes it).
void SetExtraEffectKind(const TEffectKind* pKind);
