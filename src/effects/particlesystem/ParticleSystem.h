// CParticleSystem: the fixed-size store of one particle effect's particles (positions, velocities,
// states, ages) and the base of the particle kinds, which also draw them. CDummyParticles is the
// kind that draws nothing.
//
// States: 0 not yet launched, 1 expired, 2 alive, 3 waiting to be launched again, 4 finished. The
// emitter launches (0 and 3 to 2), the system's update expires (2 to 1) and the controller moves
// the living and retires the expired (1 to 3 or 4).
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

class CParamBlock;
class CParticleEffect;

enum {
    PARTICLE_UNLAUNCHED = 0,
    PARTICLE_EXPIRED = 1,
    PARTICLE_ALIVE = 2,
    PARTICLE_WAITING = 3,
    PARTICLE_FINISHED = 4,
};

// The definition every kind extends.
class CParticleSystemDefinition {
public:
    // More particles than this in one effect are refused when read.
    static constexpr int32_t MAX_COUNT = 65536;

    CParticleSystemDefinition() : count(0), lifespan(-1) {}
    virtual ~CParticleSystemDefinition() = default;

    // "count" (required, 0 to MAX_COUNT) and "lifespan" (frames; default -1, unlimited). Every
    // kind's reader starts with these. False, with a report, when the count is missing or out of
    // range.
    bool ReadCountAndLifespan(const CParamBlock* pBlock);

    int32_t count;
    int32_t lifespan;  // below 0: particles never expire
};

class CParticleSystem {
public:
    CParticleSystem(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition);
    virtual ~CParticleSystem();
    CParticleSystem(const CParticleSystem&) = delete;
    CParticleSystem& operator=(const CParticleSystem&) = delete;

    // False when the store could not be allocated; the factories then give no system.
    bool IsAllocated() const { return m_pPositions != nullptr || m_count == 0; }

    virtual int32_t GetKind() const = 0;
    virtual void Render(int32_t pass, float interpolation) = 0;
    // Ages the living particles and expires those at the end of their lifespan, then remembers
    // every particle's position and state as the previous ones.
    virtual void Update(const Vector3& position, const Matrix3& orientation);
    virtual float GetCollisionRadius(int32_t i) = 0;
    // After the controller bounced the particle.
    virtual void OnBounce(int32_t) {}
    // When an expired particle is made to wait for its next launch.
    virtual void OnRespawn(int32_t) {}

    void SetPosition(int32_t i, const Vector3& position) { m_pPositions[i] = position; }
    const Vector3& GetPosition(int32_t i) const { return m_pPositions[i]; }
    void SetVelocity(int32_t i, const Vector3& velocity) { m_pVelocities[i] = velocity; }
    const Vector3& GetVelocity(int32_t i) const { return m_pVelocities[i]; }
    // Launching (2) restarts the age at the current position; finishing (4) lowers the living count.
    void SetState(int32_t i, int32_t state)
    {
        m_pStates[i] = state;
        if (state == PARTICLE_ALIVE) {
            m_pPreviousPositions[i] = m_pPositions[i];
            m_pAges[i] = 0;
        } else if (state == PARTICLE_FINISHED) {
            --m_livingParticles;
        }
    }
    int32_t GetState(int32_t i) const { return m_pStates[i]; }
    int32_t GetAge(int32_t i) const { return m_pAges[i]; }
    const Vector3& GetPreviousPosition(int32_t i) const { return m_pPreviousPositions[i]; }
    int32_t GetPreviousState(int32_t i) const { return m_pPreviousStates[i]; }

    // While the effect's emitter is paused and some particle has finished, the system is done
    // when every living particle is one never launched; otherwise while any particle lives.
    bool IsActive() const;

    Vector3* GetPositions() { return m_pPositions; }
    int32_t GetCount() const { return m_count; }
    int32_t GetLivingParticles() const { return m_livingParticles; }
    CParticleEffect* GetEffect() const { return m_pEffect; }
    const CParticleSystemDefinition* GetDefinition() const { return m_pDefinition; }

protected:
    const CParticleSystemDefinition* m_pDefinition;
    CParticleEffect* m_pEffect;
    int32_t m_count;
    Vector3* m_pPositions;
    Vector3* m_pPreviousPositions;
    int32_t* m_pStates;
    int32_t* m_pPreviousStates;
    Vector3* m_pVelocities;
    int32_t* m_pAges;
    int32_t m_livingParticles;
};

// Particles that are simulated but never drawn: for effects that only drive events, sounds or a
// follower such as a point trail.
class CDummyParticles : public CParticleSystem {
public:
    CDummyParticles(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition)
        : CParticleSystem(pEffect, pDefinition)
    {
    }

    int32_t GetKind() const override { return 0; }
    void Render(int32_t, float) override {}
    float GetCollisionRadius(int32_t) override { return 0.0f; }

    static bool ReadDefinition(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition);
    static CParticleSystem* Create(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition,
                                   void* pExtraData);
};
