#include "effects/particlesystem/ParticleController.h"

#include "ai/AIMap.h"
#include "ai/WorldMgr.h"
#include "effects/EffectScene.h"
#include "effects/particlesystem/ParticleEffect.h"
#include "effects/particlesystem/ParticleEmitter.h"
#include "effects/particlesystem/ParticleKeys.h"
#include "effects/particlesystem/ParticleRandom.h"
#include "effects/particlesystem/ParticleSystem.h"
#include "global/ProjData.h"

#include <cmath>
#include <new>

namespace {

// The level's ground under (x, y); off the map (or with no level) height 0 and straight up.
float groundUnder(float x, float y, Vector3& normal)
{
    float height = 0.0f;
    normal.set(0.0f, 0.0f, 1.0f);
    CWorldMgr* pWorld = projDataExists() ? getProjData().getWorldMgr() : nullptr;
    if (pWorld && !pWorld->getAIMap()->getGroundHeight(x, y, &height, &normal)) {
        height = 0.0f;
        normal.set(0.0f, 0.0f, 1.0f);
    }
    return height;
}

}  // namespace

float wrapIntoBox(float offset, float size)
{
    if (!(size > 0.0f)) return offset;
    const float half = size / 2.0f;
    if (offset < -half) {
        offset += size;
    } else if (offset > half) {
        offset -= size;
    } else {
        return offset;
    }
    if (offset >= -half && offset <= half) return offset;
    // Further than one step: the remainder, not a step per box.
    double r = std::fmod(static_cast<double>(offset) + half, static_cast<double>(size));
    if (r < 0.0) r += size;
    const float wrapped = static_cast<float>(r - half);
    return wrapped < -half ? -half : (wrapped > half ? half : wrapped);
}

CParticleController::CParticleController(CParticleEffect* pEffect, int32_t respawn)
    : m_count(pEffect->GetParticleSystem()->GetCount()), m_respawn(respawn != 0), m_pEffect(pEffect),
      m_pSystem(pEffect->GetParticleSystem())
{
}

void CParticleController::Retire(int32_t i)
{
    m_pEffect->OnParticleDeath(m_pSystem->GetPosition(i));
    if (m_respawn) {
        m_pSystem->SetState(i, PARTICLE_WAITING);
        m_pSystem->OnRespawn(i);
    } else {
        m_pSystem->SetState(i, PARTICLE_FINISHED);
    }
}

template <typename Move>
void CParticleController::UpdateParticles(Move&& move)
{
    for (int32_t i = 0; i < m_count; ++i) {
        const int32_t state = m_pSystem->GetState(i);
        if (state == PARTICLE_ALIVE)
            move(i);
        else if (state == PARTICLE_EXPIRED)
            Retire(i);
    }
}

Vector3 CParticleController::Moved(int32_t i, const Vector3& drift, const Vector3& velocity) const
{
    if (m_pSystem->GetAge(i) == 1) return m_pSystem->GetPosition(i) + drift + velocity * particleRandomUnit();
    return m_pSystem->GetPosition(i) + drift + velocity;
}

// Gravity without collision.

CGravityControllerNoCollision::CGravityControllerNoCollision(CParticleEffect* pEffect,
                                                             const CGravityControllerNoCollisionDefinition* pDefinition)
    : CParticleController(pEffect, pDefinition->respawn), m_pDefinition(pDefinition)
{
}

void CGravityControllerNoCollision::Update(const Vector3&, const Matrix3&)
{
    const Vector3 drift = m_pEffect->GetDrift();
    const Vector3 gravity = m_pDefinition->gravity;
    const float dampening = m_pDefinition->dampening;
    UpdateParticles([&](int32_t i) {
        const Vector3 velocity = (m_pSystem->GetVelocity(i) + gravity) * dampening;
        m_pSystem->SetVelocity(i, velocity);
        m_pSystem->SetPosition(i, Moved(i, drift, velocity));
    });
}

bool CGravityControllerNoCollision::ReadDefinition(const CParamBlock* pBlock, CControllerDefinition** ppDefinition)
{
    auto* pDef = particleDefinitionFor<CGravityControllerNoCollisionDefinition>(ppDefinition);
    if (!pDef) return false;
    readParticleKey(pBlock, "respawn", pDef->respawn);
    readParticleKey(pBlock, "gravity", pDef->gravity, CEffectManager::GetGlobalFade());
    readParticlePercent(pBlock, "dampening", pDef->dampening);
    return true;
}

// Gravity with collision.

CGravityController::CGravityController(CParticleEffect* pEffect, const CGravityControllerDefinition* pDefinition)
    : CParticleController(pEffect, pDefinition->respawn), m_pDefinition(pDefinition), m_collisionReported(false)
{
}

void CGravityController::Update(const Vector3&, const Matrix3&)
{
    const CGravityControllerDefinition& def = *m_pDefinition;
    const Vector3 drift = m_pEffect->GetDrift();
    float planeBase = 0.0f;
    if (def.planeGiven) {
        Vector3 last;
        m_pEffect->GetEmitter()->GetLastPosition(last);
        planeBase = last.z;
    }
    const float plane = planeBase + def.collisionPlane;
    UpdateParticles([&](int32_t i) {
        Vector3 velocity = (m_pSystem->GetVelocity(i) + def.gravity) * def.dampening;
        m_pSystem->SetVelocity(i, velocity);
        const Vector3 position = Moved(i, drift, velocity);
        m_pSystem->SetPosition(i, position);

        Vector3 normal;
        float height = groundUnder(position.x, position.y, normal);
        if (def.planeGiven && height < plane) height = plane;
        const float floor = height + m_pSystem->GetCollisionRadius(i);
        if (!(position.z < floor)) {
            m_collisionReported = false;
            return;
        }
        const Vector3 contact(position.x, position.y, floor);
        if (!m_collisionReported) {
            m_pEffect->OnCollision(contact);
            m_collisionReported = true;
        }
        if (def.killOnCollision) {
            // Made to wait without the kind's respawn step.
            m_pEffect->OnParticleDeath(position);
            m_pSystem->SetState(i, m_respawn ? PARTICLE_WAITING : PARTICLE_FINISHED);
            return;
        }
        velocity -= normal * (2.0f * velocity.dot(normal));
        velocity.x *= def.collisionDampening;
        velocity.y *= def.collisionDampening;
        velocity.z *= def.collisionDampening * def.collisionZDampening;
        m_pSystem->SetVelocity(i, velocity);
        m_pSystem->SetPosition(i, contact);
        m_pSystem->OnBounce(i);
    });
}

bool CGravityController::ReadDefinition(const CParamBlock* pBlock, CControllerDefinition** ppDefinition)
{
    auto* pDef = particleDefinitionFor<CGravityControllerDefinition>(ppDefinition);
    if (!pDef) return false;
    CControllerDefinition* pCommon = pDef;
    CGravityControllerNoCollision::ReadDefinition(pBlock, &pCommon);
    readParticleKey(pBlock, "kill_on_collision", pDef->killOnCollision);
    readParticlePercent(pBlock, "collision_dampening", pDef->collisionDampening);
    readParticlePercent(pBlock, "collision_zdampening", pDef->collisionZDampening);
    pDef->planeGiven = pBlock->parseFloat("collision_plane", &pDef->collisionPlane);
    return true;
}

// Attraction.

CAttractionController::CAttractionController(CParticleEffect* pEffect, const CAttractionControllerDefinition* pDefinition)
    : CParticleController(pEffect, pDefinition->respawn), m_pDefinition(pDefinition)
{
}

void CAttractionController::Update(const Vector3& position, const Matrix3&)
{
    const CAttractionControllerDefinition& def = *m_pDefinition;
    const Vector3 drift = m_pEffect->GetDrift();
    const Vector3 target = def.position + position;
    UpdateParticles([&](int32_t i) {
        Vector3 velocity = m_pSystem->GetVelocity(i);
        const Vector3 toTarget = target - m_pSystem->GetPosition(i);
        const float s = toTarget.lengthSquared();
        float k = (s == 0.0f ? 0.0f : fastSqrt(s)) / def.falloff;
        if (k != 0.0f) {
            if (k < def.cutoff) k = def.cutoff;
            const float pull = def.power / (k * k);
            velocity = (velocity + toTarget * (pull * fastInvSqrt(s))) * def.dampening;
            m_pSystem->SetVelocity(i, velocity);
        }
        m_pSystem->SetPosition(i, m_pSystem->GetPosition(i) + drift + velocity);
    });
}

bool CAttractionController::ReadDefinition(const CParamBlock* pBlock, CControllerDefinition** ppDefinition)
{
    auto* pDef = particleDefinitionFor<CAttractionControllerDefinition>(ppDefinition);
    if (!pDef) return false;
    readParticleKey(pBlock, "position", pDef->position);
    readParticleKey(pBlock, "respawn", pDef->respawn);
    readParticleKey(pBlock, "power", pDef->power, CEffectManager::GetGlobalFade());
    readParticleKey(pBlock, "falloff", pDef->falloff);
    readParticleKey(pBlock, "cutoff", pDef->cutoff);
    readParticlePercent(pBlock, "dampening", pDef->dampening);
    return true;
}

// Wrapping space.

CWrappingSpaceController::CWrappingSpaceController(CParticleEffect* pEffect,
                                                   const CWrappingSpaceControllerDefinition* pDefinition)
    : CParticleController(pEffect, pDefinition->respawn), m_pDefinition(pDefinition), m_phase(0.0f)
{
}

void CWrappingSpaceController::Update(const Vector3&, const Matrix3&)
{
    const CWrappingSpaceControllerDefinition& def = *m_pDefinition;
    const Vector3 drift = m_pEffect->GetDrift();
    const Vector3 camera = GetEffectCameraPosition();
    UpdateParticles([&](int32_t i) {
        Vector3 q = Moved(i, drift, m_pSystem->GetVelocity(i)) - camera;
        q.x = wrapIntoBox(q.x, def.x);
        q.y = wrapIntoBox(q.y, def.y);
        q.z = wrapIntoBox(q.z, def.z);
        Vector3 position = camera + q;
        position.x += def.wobbleAmp * std::sin(static_cast<float>(i) * def.wobbleVariation + m_phase);
        position.y += def.wobbleAmp * std::sin(static_cast<float>(m_count - i) * def.wobbleVariation + m_phase);
        m_pSystem->SetPosition(i, position);
    });
    m_phase += def.wobbleFreq;
}

bool CWrappingSpaceController::ReadDefinition(const CParamBlock* pBlock, CControllerDefinition** ppDefinition)
{
    auto* pDef = particleDefinitionFor<CWrappingSpaceControllerDefinition>(ppDefinition);
    if (!pDef) return false;
    readParticleKey(pBlock, "respawn", pDef->respawn);
    readParticleKey(pBlock, "x", pDef->x);
    readParticleKey(pBlock, "y", pDef->y);
    readParticleKey(pBlock, "z", pDef->z);
    readParticleKey(pBlock, "wobblefreq", pDef->wobbleFreq, CEffectManager::GetGlobalFade());
    readParticleKey(pBlock, "wobblevariation", pDef->wobbleVariation);
    readParticleKey(pBlock, "wobbleamp", pDef->wobbleAmp);
    return true;
}

// Factories.

CParticleController* CreateGravityController(CParticleEffect* pEffect, const CControllerDefinition* pDefinition, void*)
{
    return new (std::nothrow) CGravityController(pEffect, static_cast<const CGravityControllerDefinition*>(pDefinition));
}

CParticleController* CreateGravityControllerNoCollision(CParticleEffect* pEffect,
                                                        const CControllerDefinition* pDefinition, void*)
{
    return new (std::nothrow)
        CGravityControllerNoCollision(pEffect, static_cast<const CGravityControllerNoCollisionDefinition*>(pDefinition));
}

CParticleController* CreateAttractionController(CParticleEffect* pEffect, const CControllerDefinition* pDefinition,
                                                void*)
{
    return new (std::nothrow)
        CAttractionController(pEffect, static_cast<const CAttractionControllerDefinition*>(pDefinition));
}

CParticleController* CreateWrappingSpaceController(CParticleEffect* pEffect, const CControllerDefinition* pDefinition,
                                                   void*)
{
    return new (std::nothrow)
        CWrappingSpaceController(pEffect, static_cast<const CWrappingSpaceControllerDefinition*>(pDefinition));
}
