// Particle emitters: where and how fast one particle effect's particles are launched. Each emission
// adds count / stagger_frames to an accumulator and launches, in index order, every particle
// waiting to be launched again and every one never launched whose index lies below it; so the
// first launches spread evenly over stagger_frames frames and relaunches happen at once.
//
// P is the effect's position and M its orientation; "x M" turns a vector from the effect's axes
// into world axes. Definitions are read once, shared by every emitter of their effect and never
// changed; missing keys take their defaults and no definition is refused.
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

class CParamBlock;
class CParticleEffect;
class CParticleSystem;

class CEmitterDefinition {
public:
    virtual ~CEmitterDefinition() = default;
};

// What the creator of a dynamic-shape effect may hand its emitter (the creation word's third
// pointer): the sizes and velocity to use instead of the definition's.
struct ExtraEffectData {
    enum : uint32_t {
        HAS_X_SIZE = 1,
        HAS_Y_SIZE = 2,
        HAS_INITIAL_VELOCITY = 4,
    };
    uint32_t flags;
    float xSize;
    float ySize;
    float initialVelocity[3];
};

class CParticleEmitter {
public:
    CParticleEmitter(CParticleEffect* pEffect, int32_t staggerFrames);
    virtual ~CParticleEmitter() = default;
    CParticleEmitter(const CParticleEmitter&) = delete;
    CParticleEmitter& operator=(const CParticleEmitter&) = delete;

    // Launches the particles that are due from the effect's current place.
    virtual void Emit(const Vector3& position, const Matrix3& orientation) = 0;
    // Starts the first launches over: the particles still never launched are released again from
    // the lowest index over stagger_frames emissions.
    virtual void Reset() { m_accumulator = 0.0f; }
    // Where the last emission was made from; only the fountain keeps one (0, 0, 0 otherwise).
    virtual void GetLastPosition(Vector3& out) const { out.set(0.0f, 0.0f, 0.0f); }

protected:
    // The common step: accumulate, then launch(i, out position, out velocity) for each particle
    // due, which goes alive there.
    template <typename Launch>
    void LaunchDue(Launch&& launch);

    int32_t m_count;
    CParticleEffect* m_pEffect;
    CParticleSystem* m_pSystem;
    float m_accumulator;
    float m_rate;  // particles per emission; infinite for stagger_frames 0
};

// From one point in random directions.
struct CPointEmitterDefinition : CEmitterDefinition {
    float power = 5.0f;
    float variation = 2.5f;
    Vector3 offset;
    int32_t staggerFrames = 1;
};

class CPointEmitter : public CParticleEmitter {
public:
    CPointEmitter(CParticleEffect* pEffect, const CPointEmitterDefinition* pDefinition);
    void Emit(const Vector3& position, const Matrix3& orientation) override;
    static bool ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition);

private:
    const CPointEmitterDefinition* m_pDefinition;
};

// Along the path the effect moved since the last emission, in a cone around its local z axis.
struct CFountainEmitterDefinition : CEmitterDefinition {
    int32_t staggerFrames = 1;
    float spread = 5.0f;
    float power = 10.0f;
    float variation = 5.0f;
    Vector3 positionVariation;
    Vector3 offset;
};

class CFountainEmitter : public CParticleEmitter {
public:
    CFountainEmitter(CParticleEffect* pEffect, const CFountainEmitterDefinition* pDefinition);
    void Emit(const Vector3& position, const Matrix3& orientation) override;
    void GetLastPosition(Vector3& out) const override { out = m_lastPosition; }
    static bool ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition);

private:
    const CFountainEmitterDefinition* m_pDefinition;
    Vector3 m_lastPosition;
};

// From a rectangle (or the ellipse inside it) in the effect's local xy plane.
struct CShapeEmitterDefinition : CEmitterDefinition {
    Vector3 initialVelocity;
    Vector3 velocityVariation;
    float xSize = 10.0f;
    float ySize = 10.0f;
    int32_t eliptical = 0;
    int32_t staggerFrames = 1;
    Vector3 positionOffset;
};

class CShapeEmitter : public CParticleEmitter {
public:
    CShapeEmitter(CParticleEffect* pEffect, const CShapeEmitterDefinition* pDefinition);
    void Emit(const Vector3& position, const Matrix3& orientation) override;
    static bool ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition);

private:
    const CShapeEmitterDefinition* m_pDefinition;
};

// From a box (or the ellipsoid inside it) around the effect.
struct CVolumeEmitterDefinition : CEmitterDefinition {
    Vector3 initialVelocity;
    float xSize = 10.0f;
    float ySize = 10.0f;
    float zSize = 10.0f;
    int32_t eliptical = 0;
    int32_t staggerFrames = 1;
    Vector3 positionOffset;
};

class CVolumeEmitter : public CParticleEmitter {
public:
    CVolumeEmitter(CParticleEffect* pEffect, const CVolumeEmitterDefinition* pDefinition);
    void Emit(const Vector3& position, const Matrix3& orientation) override;
    static bool ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition);

private:
    const CVolumeEmitterDefinition* m_pDefinition;
};

// From the world points the effect's owner hands the effect, between where they were at the last
// emission and where they are now.
struct CFollowEmitterDefinition : CEmitterDefinition {
    int32_t staggerFrames = 1;
    Vector3 initialVelocity;
    Vector3 velocityVariation;
    Vector3 positionVariation;
    Vector3 positionOffset;
};

class CFollowEmitter : public CParticleEmitter {
public:
    CFollowEmitter(CParticleEffect* pEffect, const CFollowEmitterDefinition* pDefinition);
    ~CFollowEmitter() override;
    void Emit(const Vector3& position, const Matrix3& orientation) override;
    void Reset() override;
    static bool ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition);

private:
    const CFollowEmitterDefinition* m_pDefinition;
    Vector3* m_pPrevious;           // the points as they were at the last emission
    const Vector3* m_pCopiedFrom;   // the list and count that copy was made from
    uint32_t m_copiedCount;
    bool m_recopy;
};

// A shape emitter whose sizes and velocity the effect's creator may give.
struct CDynamicShapeEmitterDefinition : CEmitterDefinition {
    Vector3 initialVelocity;
    float xSize = 10.0f;
    float ySize = 10.0f;
    int32_t eliptical = 0;
    int32_t staggerFrames = 1;
    Vector3 positionOffset;
    Vector3 velocityVariation;
};

class CDynamicShapeEmitter : public CParticleEmitter {
public:
    // Without extra data it reports and keeps the definition's values.
    CDynamicShapeEmitter(CParticleEffect* pEffect, const CDynamicShapeEmitterDefinition* pDefinition,
                         const ExtraEffectData* pExtraEffectData);
    void Emit(const Vector3& position, const Matrix3& orientation) override;
    static bool ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition);

private:
    const CDynamicShapeEmitterDefinition* m_pDefinition;
    float m_xSize;
    float m_ySize;
    Vector3 m_initialVelocity;
};

// The factories of the six kinds, by the effect's creation word's emitter data.
CParticleEmitter* CreatePointEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition, void* pExtra);
CParticleEmitter* CreateFountainEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition,
                                        void* pExtra);
CParticleEmitter* CreateShapeEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition, void* pExtra);
CParticleEmitter* CreateVolumeEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition,
                                      void* pExtra);
CParticleEmitter* CreateFollowEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition,
                                      void* pExtra);
CParticleEmitter* CreateDynamicShapeEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition,
                                            void* pExtra);
