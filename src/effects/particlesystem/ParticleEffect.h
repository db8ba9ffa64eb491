// CParticleEffect: smoke, sparks, explosions - a particle system, the controller that moves its
// particles and the emitter that launches them, built from one "PARTICLESYSTEM" definition, with a
// frame counter that starts further effects and sounds when particles collide or die, when the
// system dies, at a set frame and periodically (also per particle).
#pragma once

#include "effects/Effect.h"
#include "effects/EffectDefinition.h"
#include "effects/EffectManager.h"
#include "effects/particlesystem/ParticleKinds.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CParamBlock;
class CParticleController;
class CParticleEmitter;
class CParticleSystem;
struct SAudioFile;

// What a particle effect's creation word points at, when it is not 0: extra data for each part's
// factory (each may be null).
struct ParticleEffectExtraData {
    void* pParticleSystemData;
    void* pControllerData;
    void* pEmitterData;  // a dynamic-shape emitter's ExtraEffectData
};

class CParticleEffectDefinition : public CEffectDefinition {
public:
    static constexpr int32_t EFFECT_NAME_SIZE = EFFECTNAMELEN;

    CParticleEffectDefinition();
    // Releases the samples and deletes the parts' definitions.
    ~CParticleEffectDefinition() override;

    // The keys of a "PARTICLESYSTEM" block after the common ones, and its three sub-blocks; the
    // event effects are precached through the manager while its blocks are held. False, with a
    // report, when a required key is missing, the sub-blocks are not the three parts, a part's
    // reader fails or a value could not run (no frames at all, a bad count).
    bool Read(CEffectManager& manager, const CParamBlock* pBlock);

    CParticleSystemDefinition* m_pParticleSystemDefinition;
    CEmitterDefinition* m_pEmitterDefinition;
    CControllerDefinition* m_pControllerDefinition;
    EmitterFactory m_emitterFactory;
    ControllerFactory m_controllerFactory;
    ParticleSystemFactory m_particleSystemFactory;

    // Emission runs in cycles of Active_Frames frames on, Inactive_Frames off.
    int32_t Active_Frames;
    int32_t Inactive_Frames;
    // Effect names, empty for none.
    char OnCollision[EFFECT_NAME_SIZE];
    char OnParticleDeath[EFFECT_NAME_SIZE];
    char OnSystemDeath[EFFECT_NAME_SIZE];
    char OnTime[EFFECT_NAME_SIZE];
    int32_t OnTimeTime;
    char OnPeriod[EFFECT_NAME_SIZE];
    int32_t OnPeriodPeriod;
    int32_t OnPeriodVariation;
    char OnTimeParticle[EFFECT_NAME_SIZE];
    int32_t OnTimeParticleTime;
    char OnPeriodParticle[EFFECT_NAME_SIZE];
    int32_t OnPeriodParticlePeriod;
    int32_t OnPeriodParticleVariation;
    char PointConsumer[EFFECT_NAME_SIZE];

    SAudioFile* m_pLaunchSample;
    SAudioFile* m_pCollisionSample;
    SAudioFile* m_pParticleDeathSample;
    SAudioFile* m_pSystemDeathSample;
    SAudioFile* m_pTimeSample;
    SAudioFile* m_pPeriodSample;
    float m_launchVolume;
    float m_launchMinDistance;
    float m_collisionVolume;
    float m_collisionMinDistance;
    float m_periodVolume;
    float m_periodMinDistance;
};

class CParticleEffect : public CEffect {
public:
    // Builds the particle system, the controller and the emitter, in that order (see IsBuilt),
    // then starts the point consumer, if any, and plays the launch sound.
    CParticleEffect(CEffectManager* pManager, CParticleEffectDefinition* pDefinition, uintptr_t creationWord,
                    const Vector3& position, const Matrix3& orientation);
    ~CParticleEffect() override;

    // False when a part could not be built: such an effect must not run.
    bool IsBuilt() const;

    int GetType() const override { return TYPE_PARTICLESYSTEM; }
    // One game frame; false when the effect has ended.
    bool Update() override;
    void Render(int pass, float interpolation) override;
    // Around the effect's position, with the definition's radius.
    bool GetBounds(Vector3* pCentre, float* pRadius) const override;

    // A paused emitter launches nothing and starts its staggering over when unpaused; particles
    // waiting for a relaunch wait to be launched for the first time instead.
    void PauseEmitter() override;
    void UnpauseEmitter() override;
    bool IsEmitterPaused() const override { return m_emitterPaused != 0; }
    // Sets whether retired particles come back, and retires the waiting ones.
    void Trigger(uint8_t respawn);
    void TriggerEmitter() override { Trigger(0); }

    // The controller's events: a particle hit the ground (at the contact point), a particle died.
    void OnCollision(const Vector3& point);
    void OnParticleDeath(const Vector3& point);

    const CParticleEffectDefinition* GetParticleDefinition() const { return m_pParticleDefinition; }
    CParticleSystem* GetParticleSystem() const { return m_pParticleSystem; }
    CParticleEmitter* GetEmitter() const { return m_pEmitter; }
    CParticleController* GetController() const { return m_pController; }
    int32_t GetFrame() const { return m_frame; }

private:
    void RunEvent(const char* pEffectName, SAudioFile* pSample, float volume, float minDistance,
                  const Vector3& point);

    CParticleEffectDefinition* m_pParticleDefinition;
    CParticleEmitter* m_pEmitter;
    CParticleController* m_pController;
    CParticleSystem* m_pParticleSystem;
    uint8_t m_emitterPaused;
    int32_t m_frame;
    int32_t m_nextPeriod;
    int32_t* m_pNextParticlePeriods;
};

// Kind 0 of the effect manager: the reader of "PARTICLESYSTEM" blocks and the factory, which
// gives no effect when a part cannot be built.
bool ReadParticleEffectDefinition(CEffectManager& manager, const CParamBlock& block,
                                  CEffectDefinition** ppDefinition);
CEffect* CreateParticleEffect(CEffectManager& manager, CEffectDefinition* pDefinition, uintptr_t creationWord,
                              const Vector3& position, const Matrix3& orientation);
