// The parts a particle effect is built from, by the names of its three sub-blocks: a particle
// system kind, a controller and an emitter, each with the reader of its sub-block and the factory
// that builds it for one effect. Names compare without regard to case.
#pragma once

#include <cstdint>

class CParamBlock;
class CParticleEffect;
class CParticleSystem;
class CParticleSystemDefinition;
class CParticleController;
class CControllerDefinition;
class CParticleEmitter;
class CEmitterDefinition;

// A reader allocates the definition when it is given none and reads its keys into it; false fails
// the effect's definition. A factory builds the part for an effect, handed the part's extra data
// from the effect's creation word (or null); null when it cannot.
typedef bool (*ParticleSystemReader)(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition);
typedef CParticleSystem* (*ParticleSystemFactory)(CParticleEffect* pEffect,
                                                  const CParticleSystemDefinition* pDefinition, void* pExtraData);
typedef bool (*ControllerReader)(const CParamBlock* pBlock, CControllerDefinition** ppDefinition);
typedef CParticleController* (*ControllerFactory)(CParticleEffect* pEffect, const CControllerDefinition* pDefinition,
                                                  void* pExtraData);
typedef bool (*EmitterReader)(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition);
typedef CParticleEmitter* (*EmitterFactory)(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition,
                                            void* pExtraData);

struct SParticleSystemKind {
    const char* name;
    ParticleSystemReader reader;
    ParticleSystemFactory factory;
};
struct SControllerKind {
    const char* name;
    ControllerReader reader;
    ControllerFactory factory;
};
struct SEmitterKind {
    const char* name;
    EmitterReader reader;
    EmitterFactory factory;
};

// Null for a name that is not a part of that role. The entries are the tables themselves: a kind
// is plugged in by its entry's reader and factory.
SParticleSystemKind* FindParticleSystemKind(const char* name);
SControllerKind* FindControllerKind(const char* name);
SEmitterKind* FindEmitterKind(const char* name);
