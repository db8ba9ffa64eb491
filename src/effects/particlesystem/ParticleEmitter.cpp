#include "effects/particlesystem/ParticleEmitter.h"

#include "effects/particlesystem/ParticleEffect.h"
#include "effects/particlesystem/ParticleKeys.h"
#include "effects/particlesystem/ParticleRandom.h"
#include "effects/particlesystem/ParticleSystem.h"
#include "utility/Assert.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

// Redraws of an elliptical shape before the last draw is taken as it is. Only sizes too small to
// divide by (denormals) can get near it.
const int MAX_ELLIPSE_DRAWS = 1000;

// Whether q lies in the ellipse (or ellipsoid) inscribed in the box of the given sizes. An axis of
// size 0 (or one that is not finite) is left out: a flat box still accepts its points.
bool insideInscribed(const float* q, const float* sizes, int axes)
{
    float sum = 0.0f;
    for (int a = 0; a < axes; ++a) {
        const float half = sizes[a] / 2.0f;
        if (half == 0.0f || !std::isfinite(half)) continue;
        const float r = q[a] / half;
        sum += r * r;
    }
    return sum <= 1.0f;
}

// count / stagger_frames; all at once for 0.
float emissionRate(int32_t count, int32_t staggerFrames)
{
    if (staggerFrames == 0) return count > 0 ? INFINITY : 0.0f;
    return static_cast<float>(count) / static_cast<float>(staggerFrames);
}

Vector3 transformed(const Vector3& v, const Matrix3& m)
{
    Vector3 out;
    m.transform(v, out);
    return out;
}

}  // namespace

CParticleEmitter::CParticleEmitter(CParticleEffect* pEffect, int32_t staggerFrames)
    : m_count(pEffect->GetParticleSystem()->GetCount()), m_pEffect(pEffect), m_pSystem(pEffect->GetParticleSystem()),
      m_accumulator(0.0f), m_rate(emissionRate(m_count, staggerFrames))
{
}

template <typename Launch>
void CParticleEmitter::LaunchDue(Launch&& launch)
{
    m_accumulator += m_rate;
    for (int32_t i = 0; i < m_count; ++i) {
        const int32_t state = m_pSystem->GetState(i);
        if (state != PARTICLE_WAITING && !(state == PARTICLE_UNLAUNCHED && static_cast<float>(i) < m_accumulator))
            continue;
        Vector3 position, velocity;
        launch(i, position, velocity);
        m_pSystem->SetPosition(i, position);
        m_pSystem->SetVelocity(i, velocity);
        m_pSystem->SetState(i, PARTICLE_ALIVE);
    }
}

// Point.

CPointEmitter::CPointEmitter(CParticleEffect* pEffect, const CPointEmitterDefinition* pDefinition)
    : CParticleEmitter(pEffect, pDefinition->staggerFrames), m_pDefinition(pDefinition)
{
}

void CPointEmitter::Emit(const Vector3& position, const Matrix3& orientation)
{
    const CPointEmitterDefinition& def = *m_pDefinition;
    const Vector3 start = transformed(def.offset, orientation) + position;
    LaunchDue([&](int32_t, Vector3& p, Vector3& v) {
        const float a = particleRandomAngle();
        const float b = particleRandomAngle();
        particleRandomAngle();  // the third angle turns about the direction itself
        // The first row of the orientation of the three angles; not turned by the effect's.
        const Vector3 direction(std::cos(b) * std::cos(a), -std::cos(b) * std::sin(a), std::sin(b));
        const float speed = def.power + particleRandomUnit() * def.variation - def.variation / 2.0f;
        p = start;
        v = direction * speed;
    });
}

bool CPointEmitter::ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition)
{
    CPointEmitterDefinition* pDef = particleDefinitionFor<CPointEmitterDefinition>(ppDefinition);
    if (!pDef) return false;
    readParticleKey(pBlock, "power", pDef->power, CEffectManager::GetGlobalFade());
    readParticleKey(pBlock, "variation", pDef->variation);
    readParticleKey(pBlock, "offset", pDef->offset);
    readParticleKey(pBlock, "stagger_frames", pDef->staggerFrames);
    return true;
}

// Fountain.

CFountainEmitter::CFountainEmitter(CParticleEffect* pEffect, const CFountainEmitterDefinition* pDefinition)
    : CParticleEmitter(pEffect, pDefinition->staggerFrames), m_pDefinition(pDefinition),
      m_lastPosition(pEffect->GetPosition())
{
}

void CFountainEmitter::Emit(const Vector3& position, const Matrix3& orientation)
{
    const CFountainEmitterDefinition& def = *m_pDefinition;
    const Vector3 offset = transformed(def.offset, orientation);
    LaunchDue([&](int32_t, Vector3& p, Vector3& v) {
        const float t = particleRandomUnit();
        const Vector3 base = m_lastPosition * (1.0f - t) + position * t;
        p = base + particleRandomSpread(def.positionVariation) + offset;
        const float z = def.power + particleRandomUnit() * def.variation - def.variation / 2.0f;
        const float y = particleRandomUnit() * def.spread - def.spread / 2.0f;
        const float x = particleRandomUnit() * def.spread - def.spread / 2.0f;
        v = transformed(Vector3(x, y, z), orientation);
    });
    m_lastPosition = position;
}

bool CFountainEmitter::ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition)
{
    CFountainEmitterDefinition* pDef = particleDefinitionFor<CFountainEmitterDefinition>(ppDefinition);
    if (!pDef) return false;
    readParticleKey(pBlock, "stagger_frames", pDef->staggerFrames);
    readParticleKey(pBlock, "spread", pDef->spread);
    readParticleKey(pBlock, "power", pDef->power, CEffectManager::GetGlobalFade());
    readParticleKey(pBlock, "variation", pDef->variation);
    readParticleKey(pBlock, "position_variation", pDef->positionVariation);
    readParticleKey(pBlock, "offset", pDef->offset);
    return true;
}

// Shape.

CShapeEmitter::CShapeEmitter(CParticleEffect* pEffect, const CShapeEmitterDefinition* pDefinition)
    : CParticleEmitter(pEffect, pDefinition->staggerFrames), m_pDefinition(pDefinition)
{
}

void CShapeEmitter::Emit(const Vector3& position, const Matrix3& orientation)
{
    const CShapeEmitterDefinition& def = *m_pDefinition;
    LaunchDue([&](int32_t, Vector3& p, Vector3& v) {
        Vector3 q;
        if (!def.eliptical) {
            q.x = particleRandomSpread(def.xSize);
            q.y = particleRandomSpread(def.ySize);
        } else {
            const float theta = particleRandomAngle();
            q.x = std::sin(theta) * particleRandomUnit() * def.xSize / 2.0f;
            q.y = std::cos(theta) * particleRandomUnit() * def.ySize / 2.0f;
        }
        p = transformed(def.positionOffset + q, orientation) + position;
        v = transformed(def.initialVelocity + particleRandomSpread(def.velocityVariation), orientation);
    });
}

bool CShapeEmitter::ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition)
{
    CShapeEmitterDefinition* pDef = particleDefinitionFor<CShapeEmitterDefinition>(ppDefinition);
    if (!pDef) return false;
    const float fade = CEffectManager::GetGlobalFade();
    readParticleKey(pBlock, "initial_velocity", pDef->initialVelocity, fade);
    readParticleKey(pBlock, "velocity_variation", pDef->velocityVariation, fade);
    readParticleKey(pBlock, "x_size", pDef->xSize);
    readParticleKey(pBlock, "y_size", pDef->ySize);
    readParticleKey(pBlock, "eliptical", pDef->eliptical);
    readParticleKey(pBlock, "stagger_frames", pDef->staggerFrames);
    readParticleKey(pBlock, "position_offset", pDef->positionOffset);
    return true;
}

// Volume.

CVolumeEmitter::CVolumeEmitter(CParticleEffect* pEffect, const CVolumeEmitterDefinition* pDefinition)
    : CParticleEmitter(pEffect, pDefinition->staggerFrames), m_pDefinition(pDefinition)
{
}

void CVolumeEmitter::Emit(const Vector3& position, const Matrix3& orientation)
{
    const CVolumeEmitterDefinition& def = *m_pDefinition;
    const float sizes[3] = {def.xSize, def.ySize, def.zSize};
    const Vector3 velocity = transformed(def.initialVelocity, orientation);
    LaunchDue([&](int32_t, Vector3& p, Vector3& v) {
        float q[3];
        for (int draw = 0; draw < MAX_ELLIPSE_DRAWS; ++draw) {
            q[1] = particleRandomSpread(def.ySize);
            q[0] = particleRandomSpread(def.xSize);
            q[2] = particleRandomSpread(def.zSize);
            if (!def.eliptical || insideInscribed(q, sizes, 3)) break;
        }
        p = transformed(def.positionOffset + Vector3(q[0], q[1], q[2]), orientation) + position;
        v = velocity;
    });
}

bool CVolumeEmitter::ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition)
{
    CVolumeEmitterDefinition* pDef = particleDefinitionFor<CVolumeEmitterDefinition>(ppDefinition);
    if (!pDef) return false;
    readParticleKey(pBlock, "initial_velocity", pDef->initialVelocity, CEffectManager::GetGlobalFade());
    readParticleKey(pBlock, "x_size", pDef->xSize);
    readParticleKey(pBlock, "y_size", pDef->ySize);
    readParticleKey(pBlock, "z_size", pDef->zSize);
    readParticleKey(pBlock, "eliptical", pDef->eliptical);
    readParticleKey(pBlock, "stagger_frames", pDef->staggerFrames);
    readParticleKey(pBlock, "position_offset", pDef->positionOffset);
    return true;
}

// Follow.

CFollowEmitter::CFollowEmitter(CParticleEffect* pEffect, const CFollowEmitterDefinition* pDefinition)
    : CParticleEmitter(pEffect, pDefinition->staggerFrames), m_pDefinition(pDefinition), m_pPrevious(nullptr),
      m_pCopiedFrom(nullptr), m_copiedCount(0), m_recopy(false)
{
}

CFollowEmitter::~CFollowEmitter() { delete[] m_pPrevious; }

void CFollowEmitter::Reset()
{
    CParticleEmitter::Reset();
    m_recopy = true;
}

void CFollowEmitter::Emit(const Vector3&, const Matrix3& orientation)
{
    const CFollowEmitterDefinition& def = *m_pDefinition;
    const Vector3* pCurrent = m_pEffect->GetFollowedPoints();
    const uint32_t numPoints = m_pEffect->GetFollowedPointCount();
    if (m_recopy || pCurrent != m_pCopiedFrom || numPoints != m_copiedCount) {
        delete[] m_pPrevious;
        m_pPrevious = nullptr;
        if (pCurrent && numPoints > 0) {
            m_pPrevious = new (std::nothrow) Vector3[numPoints];
            if (m_pPrevious) memcpy(static_cast<void*>(m_pPrevious), pCurrent, sizeof(Vector3) * numPoints);
        }
        m_pCopiedFrom = pCurrent;
        m_copiedCount = numPoints;
        // A copy that could not be made is tried again at the next emission.
        m_recopy = pCurrent && numPoints > 0 && !m_pPrevious;
    }
    if (!pCurrent || numPoints == 0) {
        m_accumulator += m_rate;
        return;
    }
    const Vector3* pPrevious = m_pPrevious ? m_pPrevious : pCurrent;
    LaunchDue([&](int32_t, Vector3& p, Vector3& v) {
        const uint32_t k = static_cast<uint32_t>(crtRand()) % numPoints;
        const float t = particleRandomUnit();
        const Vector3 base = pPrevious[k] * (1.0f - t) + pCurrent[k] * t;
        p = base + particleRandomSpread(def.positionVariation) + def.positionOffset;
        v = transformed(def.initialVelocity + particleRandomSpread(def.velocityVariation), orientation);
    });
    if (m_pPrevious) memcpy(static_cast<void*>(m_pPrevious), pCurrent, sizeof(Vector3) * numPoints);
}

bool CFollowEmitter::ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition)
{
    CFollowEmitterDefinition* pDef = particleDefinitionFor<CFollowEmitterDefinition>(ppDefinition);
    if (!pDef) return false;
    const float fade = CEffectManager::GetGlobalFade();
    readParticleKey(pBlock, "stagger_frames", pDef->staggerFrames);
    readParticleKey(pBlock, "initial_velocity", pDef->initialVelocity, fade);
    readParticleKey(pBlock, "velocity_variation", pDef->velocityVariation, fade);
    readParticleKey(pBlock, "position_variation", pDef->positionVariation);
    readParticleKey(pBlock, "position_offset", pDef->positionOffset);
    return true;
}

// Dynamic shape.

CDynamicShapeEmitter::CDynamicShapeEmitter(CParticleEffect* pEffect, const CDynamicShapeEmitterDefinition* pDefinition,
                                           const ExtraEffectData* pExtraEffectData)
    : CParticleEmitter(pEffect, pDefinition->staggerFrames), m_pDefinition(pDefinition),
      m_xSize(pDefinition->xSize), m_ySize(pDefinition->ySize), m_initialVelocity(pDefinition->initialVelocity)
{
    ASSERT_MSG(pExtraEffectData, "No Extra Effect Data was passed in to a dynamic shape emitter!!");
    if (pExtraEffectData) {
        const ExtraEffectData& extra = *pExtraEffectData;
        if (extra.flags & ExtraEffectData::HAS_X_SIZE) m_xSize = extra.xSize;
        if (extra.flags & ExtraEffectData::HAS_Y_SIZE) m_ySize = extra.ySize;
        if (extra.flags & ExtraEffectData::HAS_INITIAL_VELOCITY)
            m_initialVelocity.set(extra.initialVelocity[0], extra.initialVelocity[1], extra.initialVelocity[2]);
    }
    m_initialVelocity *= CEffectManager::GetGlobalFade();
}

void CDynamicShapeEmitter::Emit(const Vector3& position, const Matrix3& orientation)
{
    const CDynamicShapeEmitterDefinition& def = *m_pDefinition;
    const float sizes[2] = {m_xSize, m_ySize};
    LaunchDue([&](int32_t, Vector3& p, Vector3& v) {
        float q[2];
        for (int draw = 0; draw < MAX_ELLIPSE_DRAWS; ++draw) {
            q[0] = particleRandomSpread(m_xSize);
            q[1] = particleRandomSpread(m_ySize);
            if (!def.eliptical || insideInscribed(q, sizes, 2)) break;
        }
        p = transformed(Vector3(q[0], q[1], 0.0f), orientation) + position + def.positionOffset;
        v = transformed(m_initialVelocity + particleRandomSpread(def.velocityVariation), orientation);
    });
}

bool CDynamicShapeEmitter::ReadDefinition(const CParamBlock* pBlock, CEmitterDefinition** ppDefinition)
{
    CDynamicShapeEmitterDefinition* pDef = particleDefinitionFor<CDynamicShapeEmitterDefinition>(ppDefinition);
    if (!pDef) return false;
    const float fade = CEffectManager::GetGlobalFade();
    readParticleKey(pBlock, "initial_velocity", pDef->initialVelocity, fade);
    readParticleKey(pBlock, "x_size", pDef->xSize);
    readParticleKey(pBlock, "y_size", pDef->ySize);
    readParticleKey(pBlock, "eliptical", pDef->eliptical);
    readParticleKey(pBlock, "stagger_frames", pDef->staggerFrames);
    readParticleKey(pBlock, "position_offset", pDef->positionOffset);
    readParticleKey(pBlock, "velocity_variation", pDef->velocityVariation, fade);
    return true;
}

// Factories.

CParticleEmitter* CreatePointEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition, void*)
{
    return new (std::nothrow) CPointEmitter(pEffect, static_cast<const CPointEmitterDefinition*>(pDefinition));
}

CParticleEmitter* CreateFountainEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition, void*)
{
    return new (std::nothrow) CFountainEmitter(pEffect, static_cast<const CFountainEmitterDefinition*>(pDefinition));
}

CParticleEmitter* CreateShapeEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition, void*)
{
    return new (std::nothrow) CShapeEmitter(pEffect, static_cast<const CShapeEmitterDefinition*>(pDefinition));
}

CParticleEmitter* CreateVolumeEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition, void*)
{
    return new (std::nothrow) CVolumeEmitter(pEffect, static_cast<const CVolumeEmitterDefinition*>(pDefinition));
}

CParticleEmitter* CreateFollowEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition, void*)
{
    return new (std::nothrow) CFollowEmitter(pEffect, static_cast<const CFollowEmitterDefinition*>(pDefinition));
}

CParticleEmitter* CreateDynamicShapeEmitter(CParticleEffect* pEffect, const CEmitterDefinition* pDefinition,
                                            void* pExtra)
{
    return new (std::nothrow) CDynamicShapeEmitter(pEffect,
                                                   static_cast<const CDynamicShapeEmitterDefinition*>(pDefinition),
                                                   static_cast<const ExtraEffectData*>(pExtra));
}
