#include "animation/BonedAnim.h"

#include "animation/BonedAnimGroup.h"
#include "animation/ModelAnim.h"
#include "l3render/ModelInst.h"
#include "utility/Assert.h"

#include <cstdint>

CBonedAnim::CBonedAnim(CBonedAnimGroup* pGroup) : d_pMyGroup(pGroup), d_stateMgr(false), d_pParam(&d_param) {}

void CBonedAnim::ContinueAnim()
{
    d_param.dState = TAnimParam::STATE_CONTINUE;
    d_param.wait = 1;
}

void CBonedAnim::PlayAnim(uint32_t id)
{
    if (!BonedAnimCheck(d_pMyGroup != nullptr, "d_pMyGroup", __FILE__, __LINE__)) return;
    if (d_pMyGroup->FindAnimIndex(id) == -1) BonedAnimFatal(__FILE__, __LINE__);
    // The new animation's instance takes over the per-instance data of the one it follows.
    if (d_param.cAnim != TAnimParam::NO_ANIM) {
        CBonedAnimState* pFrom = d_pMyGroup->GetAnim(d_param.cAnim);
        CBonedAnimState* pTo = d_pMyGroup->GetAnim(id);
        if (pFrom && pTo && pFrom->pModelInst && pTo->pModelInst) pTo->pModelInst->CopyInstanceData(pFrom->pModelInst);
    }
    d_param.dState = TAnimParam::STATE_PLAY;
    d_param.dAnim = id;
    if (d_param.cState == TAnimParam::STATE_TRANSITION) {
        d_param.cState = TAnimParam::STATE_PLAY;
        if (d_param.getStateType() == CFStateData::END) d_param.setStateType(CFStateData::DURING);
    }
    d_param.wait = 1;
}

void CBonedAnim::LoopAnim(uint32_t id)
{
    PlayAnim(id);
    d_param.wait = 1;
    d_param.dState = TAnimParam::STATE_LOOP;
}

void CBonedAnim::ContinueAnimNow()
{
    d_param.wait = 0;
    d_param.dState = TAnimParam::STATE_CONTINUE;
    d_param.cState = TAnimParam::STATE_CONTINUE;
}

void CBonedAnim::PlayAnimNow(uint32_t id)
{
    PlayAnim(id);
    d_param.wait = 0;
}

void CBonedAnim::LoopAnimNow(uint32_t id)
{
    LoopAnim(id);
    d_param.wait = 0;
}

void CBonedAnim::Update() { d_stateMgr.process(d_pParam); }

int32_t CBonedAnim::Render(const MeshTransform& transform)
{
    if (!BonedAnimCheck(d_pMyGroup != nullptr, "d_pMyGroup", __FILE__, __LINE__)) return -2;
    return d_pMyGroup->RenderInstance(this, transform);
}

void CBonedAnim::SetProportion(float proportion)
{
    // The inverse of a proportion that is not above 0 would be useless: the last one stays.
    if (!BonedAnimCheck(proportion > 0, "proportion>0", __FILE__, __LINE__)) return;
    d_param.invProportion = 1.0f / proportion;
}

void CBonedAnim::SetDistX(float distX)
{
    BonedAnimCheck(distX >= 0, "distX>=0", __FILE__, __LINE__);
    d_param.distX = distX;
}

void CBonedAnim::SetAngleZ(float angleZ)
{
    BonedAnimCheck(angleZ >= 0, "angleZ>=0", __FILE__, __LINE__);
    d_param.angleZ = angleZ;
}

CAnimation* CBonedAnim::KnownAnim(uint32_t id)
{
    if (!BonedAnimCheck(d_pMyGroup != nullptr, "d_pMyGroup", __FILE__, __LINE__)) return nullptr;
    if (d_pMyGroup->FindAnimIndex(id) == -1) BonedAnimFatal(__FILE__, __LINE__);
    CBonedAnimState* pAnim = d_pMyGroup->GetAnim(id);
    return pAnim ? pAnim->pAnimInst : nullptr;
}

uint32_t CBonedAnim::GetAnimDuration(uint32_t id)
{
    CAnimation* pAnim = KnownAnim(id);
    return pAnim ? static_cast<uint32_t>(pAnim->Duration) : 0;
}

void CBonedAnim::SetAnimLength(uint32_t id, uint32_t length)
{
    CAnimation* pAnim = KnownAnim(id);
    if (pAnim && VERIFY(length > 0)) pAnim->Rate = pAnim->Duration / static_cast<float>(length);
}

void CBonedAnim::SetAnimSpeed(uint32_t id, float speed)
{
    if (CAnimation* pAnim = KnownAnim(id)) pAnim->Rate = speed;
}

void CBonedAnim::SkipAnimToEnd(uint32_t id)
{
    if (CAnimation* pAnim = KnownAnim(id)) pAnim->SetTime(pAnim->Duration * 0.001f);
}

bool CBonedAnim::IsAnimFinished(uint32_t id)
{
    CAnimation* pAnim = KnownAnim(id);
    if (id == d_param.dAnim && id == d_param.cAnim && d_param.blending && d_param.blendPosition < 1.0f) return false;
    return pAnim && pAnim->IsFinished();
}

void CBonedAnim::SetAnimTime(uint32_t id, uint32_t ms)
{
    if (CAnimation* pAnim = KnownAnim(id)) pAnim->SetTime(static_cast<float>(ms) * 0.001f);
}

void CBonedAnim::SetAnimDirection(uint32_t id, int32_t direction)
{
    if (CAnimation* pAnim = KnownAnim(id)) pAnim->SetDirection(direction);
}

int32_t CBonedAnim::GetAnimTime(uint32_t id)
{
    CAnimation* pAnim = KnownAnim(id);
    if (!pAnim || pAnim->Rate == 0.0f) return 0;
    const double time = static_cast<double>(pAnim->CurrentFrame) * pAnim->Duration / pAnim->Rate;
    // Held inside the result's range: a tiny rate must not make the conversion undefined.
    if (!(time > INT32_MIN && time < INT32_MAX)) return time > 0 ? INT32_MAX : INT32_MIN;
    return static_cast<int32_t>(time);
}

float CBonedAnim::GetAnimProgress(uint32_t id)
{
    CAnimation* pAnim = KnownAnim(id);
    return pAnim ? pAnim->CurrentFrame : 0.0f;
}

CBonedAnimState* CBonedAnim::GetCurrentAnim() { return d_pMyGroup ? d_pMyGroup->GetAnim(d_param.cAnim) : nullptr; }
