#include "effects/particlesystem/ParticleSystem.h"

#include "effects/particlesystem/ParticleEffect.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"

#include <new>

bool CParticleSystemDefinition::ReadCountAndLifespan(const CParamBlock* pBlock)
{
    if (!VERIFY_MSG(pBlock->parseInt("count", &count), definitionFault("A particle system needs a count"))) return false;
    if (!VERIFY_MSG(count >= 0 && count <= MAX_COUNT, definitionFault("A particle count must lie within 0 to 65536")))
        return false;
    pBlock->parseInt("lifespan", &lifespan);
    return true;
}

CParticleSystem::CParticleSystem(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition)
    : m_pDefinition(pDefinition), m_pEffect(pEffect), m_count(pDefinition->count), m_pPositions(nullptr),
      m_pPreviousPositions(nullptr), m_pStates(nullptr), m_pPreviousStates(nullptr), m_pVelocities(nullptr),
      m_pAges(nullptr), m_livingParticles(pDefinition->count)
{
    if (m_count <= 0) return;
    const size_t n = static_cast<size_t>(m_count);
    m_pPreviousPositions = new (std::nothrow) Vector3[n];
    m_pStates = new (std::nothrow) int32_t[n]();
    m_pPreviousStates = new (std::nothrow) int32_t[n]();
    m_pVelocities = new (std::nothrow) Vector3[n];
    m_pAges = new (std::nothrow) int32_t[n]();
    // The positions last, so that IsAllocated sees every array.
    if (m_pPreviousPositions && m_pStates && m_pPreviousStates && m_pVelocities && m_pAges)
        m_pPositions = new (std::nothrow) Vector3[n];
}

CParticleSystem::~CParticleSystem()
{
    delete[] m_pPositions;
    delete[] m_pPreviousPositions;
    delete[] m_pStates;
    delete[] m_pPreviousStates;
    delete[] m_pVelocities;
    delete[] m_pAges;
}

void CParticleSystem::Update(const Vector3&, const Matrix3&)
{
    const int32_t lifespan = m_pDefinition->lifespan;
    for (int32_t i = 0; i < m_count; ++i) {
        // Straight to expired: the controller retires it in this same frame. With a lifespan of 0
        // the age never meets it and keeps growing, up to the largest age.
        if (m_pStates[i] == PARTICLE_ALIVE && lifespan >= 0 && m_pAges[i] != INT32_MAX &&
            ++m_pAges[i] == lifespan)
            m_pStates[i] = PARTICLE_EXPIRED;
        m_pPreviousPositions[i] = m_pPositions[i];
        m_pPreviousStates[i] = m_pStates[i];
    }
}

bool CParticleSystem::IsActive() const
{
    ASSERT(m_livingParticles>=0);
    if (m_pEffect->IsEmitterPaused() && m_livingParticles < m_count) {
        int32_t unlaunched = 0;
        for (int32_t i = 0; i < m_count; ++i) unlaunched += m_pStates[i] == PARTICLE_UNLAUNCHED;
        return m_livingParticles != unlaunched;
    }
    return m_livingParticles != 0;
}

bool CDummyParticles::ReadDefinition(const CParamBlock* pBlock, CParticleSystemDefinition** ppDefinition)
{
    if (!*ppDefinition) *ppDefinition = new (std::nothrow) CParticleSystemDefinition;
    if (!*ppDefinition) return false;
    return (*ppDefinition)->ReadCountAndLifespan(pBlock);
}

CParticleSystem* CDummyParticles::Create(CParticleEffect* pEffect, const CParticleSystemDefinition* pDefinition,
                                         void*)
{
    return new (std::nothrow) CDummyParticles(pEffect, pDefinition);
}
