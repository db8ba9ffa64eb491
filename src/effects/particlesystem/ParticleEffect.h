// CParticleEffect: smoke, sparks, explosions - a particle system, the controller that moves its
// particles and the emitter that launches them, built from one "PARTICLESYSTEM" definition, with a
// frame counter that starts further effects and sounds when particles collide or die, when the
// system dies, at a set frame and periodically (also per particle).
#pragma once

#include "effects/particlesystem/ParticleKinds.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CParamBlock;
class CParticleController;
class CParticleEmitter;
class CParticleSystem;
struct SAudioFile;

// The creation word of a particle effect: extra data for each part's factory (each may be null).
struct ParticleEffectExtraData {
    void* pParticleSystemData;
    void* pControllerData;
    void* pEmitterData;  // a dynamic-shape emitter's ExtraEffectData
};

class CParticleEffectDefinition {
public:
    static constexpr int32_t EFFECT_NAME_SIZE = 32;

    CParticleEffectDefinition();
    // Releases the samples and deletes the parts' definitions.
    virtual ~CParticleEffectDefinition();
    CParticleEffectDefinition(const CParticleEffectDefinition&) = delete;
    CParticleEffectDefinition& operator=(const CParticleEffectDefinition&) = delete;

    // The keys of a "PARTICLESYSTEM" block after the common ones, and its three sub-blocks. False,
    // with a report, when a required key is missing, the sub-blocks are not the three parts, a
    // part's reader fails or a value could not run (no frames at all, a bad count).
    bool Read(const CParamBlock* pBlock);

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

class CParticleEffect {
public:
    // Builds the particle system, the controller and the emitter, in that order; see IsBuilt.
    CParticleEffect(const CParticleEffectDefinition* pDefinition, void* pCreationWord, const Vector3& position,
                    const Matrix3& orientation);
    ~CParticleEffect();
    CParticleEffect(const CParticleEffect&) = delete;
    CParticleEffect& operator=(const CParticleEffect&) = delete;

    // False when a part could not be built: such an effect must not run.
    bool IsBuilt() const;

    // One game frame; false when the effect has ended.
    bool Update();
    void Render(int32_t pass, float interpolation);

    // A paused emitter launches nothing and starts its staggering over when unpaused; particles
    // waiting for a relaunch wait to be launched for the first time instead.
    void PauseEmitter();
    void UnpauseEmitter();
    bool IsEmitterPaused() const { return m_emitterPaused != 0; }
    // Sets whether retired particles come back, and retires the waiting ones.
    void Trigger(uint8_t respawn);

    // The controller's events: a particle hit the ground (at the contact point), a particle died.
    void OnCollision(const Vector3& point);
    void OnParticleDeath(const Vector3& point);

    const CParticleEffectDefinition* GetDefinition() const { return m_pDefinition; }
    CParticleSystem* GetParticleSystem() const { return m_pParticleSystem; }
    CParticleEmitter* GetEmitter() const { return m_pEmitter; }
    CParticleController* GetController() const { return m_pController; }
    int32_t GetFrame() const { return m_frame; }

    const Vector3& GetPosition() const { return m_position; }
    void SetPosition(const Vector3& position) { m_position = position; }
    const Matrix3& GetOrientation() const { return m_orientation; }
    void SetOrientation(const Matrix3& orientation) { m_orientation = orientation; }
    // Added to every particle each frame, so that particles can keep up with a moving owner.
    const Vector3& GetDrift() const { return m_drift; }
    void SetDrift(const Vector3& drift) { m_drift = drift; }
    // World points handed in by the effect's owner, for a follow emitter.
    void SetFollowedPoints(int32_t count, const Vector3* pPoints)
    {
        m_numFollowedPoints = count;
        m_pFollowedPoints = pPoints;
    }
    const Vector3* GetFollowedPoints() const { return m_pFollowedPoints; }
    int32_t GetNumFollowedPoints() const { return m_numFollowedPoints; }

private:
    void RunEvent(const char* pEffectName, SAudioFile* pSample, float volume, float minDistance,
                  const Vector3& point);

    const CParticleEffectDefinition* m_pDefinition;
    CParticleEmitter* m_pEmitter;
    CParticleController* m_pController;
    CParticleSystem* m_pParticleSystem;
    uint8_t m_emitterPaused;
    int32_t m_frame;
    int32_t m_nextPeriod;
    int32_t* m_pNextParticlePeriods;

    Vector3 m_position;
    Matrix3 m_orientation;
    Vector3 m_drift;
    const Vector3* m_pFollowedPoints;
    int32_t m_numFollowedPoints;
};

// What the particles take from the effect manager: the fade speeds are scaled by when read, and
// the camera the wrapping space is kept around.
float particleGlobalFade();
Vector3 particleCameraPosition();
