#include "effects/Effect.h"

#include "effects/EffectDefinition.h"
#include "effects/EffectManager.h"
#include "global/ProjData.h"
#include "utility/Assert.h"

CEffect::CEffect(CEffectManager* pManager, CEffectDefinition* pDefinition, uintptr_t, const Vector3& position,
                 const Matrix3& orientation)
    : m_pFollowedPoints(nullptr), m_numFollowedPoints(0), m_pManager(pManager), m_position(position), m_drift(),
      m_orientation(orientation), m_localOffset(), m_localFrame(), m_fade(1.0f), m_hidden(false), m_started(1),
      m_killStartTime(0), m_pLinked(nullptr), m_pLeader(nullptr), m_pDefinition(pDefinition)
{
}

CEffect::~CEffect()
{
    if (m_pLinked) {
        m_pLinked->SetFollowedPoints(0, nullptr);
        m_pLinked->SetLeader(nullptr);
    }
    if (m_pLeader) m_pLeader->LinkEffect(nullptr);
}

const Vector3& CEffect::SetLocalOffset(const Vector3& offset, const Matrix3& frame)
{
    m_localOffset = offset;
    m_localFrame = frame;
    return m_localOffset;
}

void CEffect::GetLocalOffset(Vector3* pOffset, Matrix3* pFrame) const
{
    if (pOffset) *pOffset = m_localOffset;
    if (pFrame) *pFrame = m_localFrame;
}

bool CEffect::GetBounds(Vector3*, float*) const { return false; }

void CEffect::SetFade(float fadeFactor)
{
    ASSERT(fadeFactor >= 0.f);
    ASSERT(fadeFactor <= 1.f);
    // A NaN fails both tests and is stored as 0.
    m_fade = fadeFactor > 1.0f ? 1.0f : (fadeFactor >= 0.0f ? fadeFactor : 0.0f);
}

void CEffect::Kill()
{
    if (VERIFY(m_pManager)) m_pManager->DestroyEffect(this);
}

void CEffect::SetFollowedPoints(uint32_t count, Vector3* pPoints)
{
    m_numFollowedPoints = count;
    m_pFollowedPoints = pPoints;
}

void CEffect::LinkEffect(CEffect* pEffect)
{
    m_pLinked = pEffect;
    if (pEffect) pEffect->SetLeader(this);
}

void CEffect::PauseEmitter() { ASSERT_MSG(false, "Attempt to pause emitter on invalid effect type"); }
void CEffect::UnpauseEmitter() { ASSERT_MSG(false, "Attempt to unpause emitter on invalid effect type"); }

bool CEffect::IsEmitterPaused() const
{
    ASSERT_MSG(false, "Attempt to check pause state on invalid effect type");
    return false;
}

void CEffect::PassFollowedPointsOn(uint32_t count, Vector3* pPoints)
{
    if (m_pLinked) m_pLinked->SetFollowedPoints(count, pPoints);
}

void CEffect::StartKillFade()
{
    const uint32_t now = EffectGameTime();
    m_killStartTime = now ? now : 1;
}

bool CEffect::KillIfOffScreen() const { return m_pDefinition && m_pDefinition->KillIfOffScreen; }
bool CEffect::RenderIfOnScreenOnly() const { return m_pDefinition && m_pDefinition->RenderIfOnScreenOnly; }

uint32_t EffectGameTime() { return projDataExists() ? static_cast<uint32_t>(getProjData().getTime()) : 0; }
