#include "animation/BonedAnimGroup.h"

#include "animation/BonedAnim.h"
#include "animation/ModelAnim.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/ObjectManagerInterfaces.h"
#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelInst.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "utility/IniManager.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// What an integer key keeps when the file does not give it.
const int32_t UNSET = INT_MIN;

void reportMissing(const char* key)
{
    char text[128];
    snprintf(text, sizeof text, "Definition file lacks the key %s", key);
    assertFailedMsg(text, "0", __FILE__, __LINE__);
}

void reportWithFile(const char* format, const char* name, const char* expression, int line)
{
    char text[700];
    snprintf(text, sizeof text, format, name);
    assertFailedMsg(text, expression, __FILE__, line);
}

}  // namespace

bool BonedAnimCheck(bool condition, const char* text, const char* file, int line)
{
    if (!condition) assertFailed(text, file, line);
    return condition;
}

void BonedAnimFatal(const char* file, int line)
{
    // The report says why the run stops: no file being read may hold it back.
    ReportApart apart;
    assertFailed("0", file, line);
    stopRun("on an animation the boned animation group does not hold");
}

// ---- Entries -----------------------------------------------------------------------------------

CBonedAnimState::CBonedAnimState(CBonedAnimGroup* pGroup, const char* modelName, const char* animFileName,
                                 uint32_t transitionFrame, uint32_t id)
    : d_transitionFrame(transitionFrame), d_id(id), pMyGroup(pGroup)
{
    BonedAnimCheck(pMyGroup != nullptr, "pMyGroup", __FILE__, __LINE__);
    if (!modelName) assertFailed("d_file", __FILE__, __LINE__);
    snprintf(d_file, sizeof d_file, "%s", modelName ? modelName : "");
    CObjectManagerInterface* pObjects = pMyGroup ? pMyGroup->GetObjectManager() : nullptr;
    CResource* pResource = nullptr;
    if (!pObjects || !pObjects->instantiateResourceByName(CResourceManager::MANAGER_MODELS, d_file, &d_modelHandle)) {
        d_modelHandle = 0;
        reportWithFile("Failed to instantiate model %s", d_file, "false", __LINE__);
    } else if (!pObjects->acquireResource(d_modelHandle, &pResource) || !pResource) {
        reportWithFile("Failed to acquire model %s", d_file, "false", __LINE__);
    } else if (BonedAnimCheck(pResource->getResourceType() == CResource::RESOURCETYPE_MODEL,
                              "pResource->getResourceType() == CResource::RESOURCETYPE_MODEL", __FILE__, __LINE__)) {
        pModelInst = static_cast<CModelInst*>(pResource);
        // No bounds: the model is drawn at the same level of detail whatever its distance.
        if (pModelInst->GetModel()) pModelInst->GetModel()->m_flags |= CModel::FLAG_NOBOUNDS;
    }
    BonedAnimCheck(pModelInst != nullptr, "pModelInst", __FILE__, __LINE__);

    pAnimInst = new CModelAnim(animFileName);
    const CModelClass* pClass = nullptr;
    if (pModelInst && pModelInst->GetModel()) {
        const uint32_t classId = pModelInst->GetModel()->m_classId;
        const uint32_t numClasses = CModelClassManager::GetNumClasses();
        if (BonedAnimCheck(classId < numClasses, "id < numClasses", __FILE__, __LINE__)) pClass = CModelClassManager::GetClass(classId);
    }
    const bool retval = pAnimInst->Attach(pClass, pModelInst);
    // An animation that did not load has been reported, naming its file.
    if (!retval && pAnimInst->GetAnimError() == ANIM_OK) {
        char text[1200];
        snprintf(text, sizeof text, "Failed to attach model to animation.\nAnimation file %s and model %s have different classes",
                 animFileName ? animFileName : "", d_file);
        assertFailedMsg(text, "retval", __FILE__, __LINE__);
    }
}

CBonedAnimState::~CBonedAnimState()
{
    if (d_modelHandle && pMyGroup && pMyGroup->GetObjectManager())
        pMyGroup->GetObjectManager()->releaseResource(d_modelHandle);
    BonedAnimCheck(pAnimInst != nullptr, "this->pAnimInst", __FILE__, __LINE__);
    delete pAnimInst;
}

bool CBonedAnimState::accept(CFStateData* p) { return p && static_cast<TAnimParam*>(p)->dAnim == d_id; }

bool CBonedAnimState::onBegin(CFStateData* pStateData)
{
    if (!BonedAnimCheck(pStateData != nullptr, "pStateData", __FILE__, __LINE__)) return false;
    TAnimParam* p = static_cast<TAnimParam*>(pStateData);
    if (!BonedAnimCheck(p->getStateType() == CFStateData::BEGIN, "p->getStateType()==CFStateData::BEGIN", __FILE__, __LINE__))
        return false;
    if (p->dAnim != d_id) BonedAnimFatal(__FILE__, __LINE__);
    switch (p->dState) {
    case TAnimParam::STATE_CONTINUE:
        if (p->cState == TAnimParam::STATE_NONE || p->cAnim != d_id) p->cf = static_cast<float>(d_transitionFrame);
        p->setStateType(CFStateData::DURING);
        p->cAnim = d_id;
        p->cState = TAnimParam::STATE_CONTINUE;
        return false;
    case TAnimParam::STATE_LOOP: pAnimInst->LoopMode = CAnimation::LOOP_WRAP; break;
    case TAnimParam::STATE_PLAY:
        pAnimInst->SetTime(0.0f);
        pAnimInst->LoopMode = CAnimation::LOOP_ONCE;
        break;
    default: BonedAnimFatal(__FILE__, __LINE__);
    }
    if (p->blending) {
        if (p->cAnim == TAnimParam::NO_ANIM) p->cAnim = p->dAnim;
        p->lastAnimId = p->cAnim;
        p->blendPosition = 0.0f;
    }
    p->setStateType(CFStateData::DURING);
    p->cAnim = p->dAnim;
    p->cState = p->dState;
    return false;
}

bool CBonedAnimState::onDuring(CFStateData* pStateData)
{
    if (!BonedAnimCheck(pMyGroup != nullptr, "d_pMyGroup", __FILE__, __LINE__) ||
        !BonedAnimCheck(pStateData != nullptr, "pStateData", __FILE__, __LINE__))
        return false;
    TAnimParam* p = static_cast<TAnimParam*>(pStateData);
    if (!BonedAnimCheck(p->getStateType() == CFStateData::DURING, "p->getStateType()==CFStateData::DURING", __FILE__, __LINE__))
        return false;
    if (p->dAnim == d_id && p->dState == p->cState) {
        switch (p->cState) {
        case TAnimParam::STATE_CONTINUE:
        case TAnimParam::STATE_LOOP: pMyGroup->UpdateInstance(p); return true;
        case TAnimParam::STATE_PLAY:
            if (pAnimInst->IsFinished() && !p->blending) {
                p->setStateType(CFStateData::END);
                return false;
            }
            pMyGroup->UpdateInstance(p);
            return true;
        default: BonedAnimFatal(__FILE__, __LINE__);
        }
    }
    // Another animation or state is wanted: wait for the transition point.
    p->setStateType(CFStateData::END);
    const CBonedAnimGroup::TweenData tween = pMyGroup->GetTween(p->cAnim, p->dAnim);
    p->transitionTime = tween.transitionTime;
    p->tweenInterval = static_cast<float>(tween.transitionDuration);
    if (p->transitionTime == 0xFFFFFFFFu) p->wait = 0;
    if (static_cast<float>(p->transitionTime) > pAnimInst->Duration)
        p->transitionTime = static_cast<uint32_t>(pAnimInst->Duration);
    if (p->tweenInterval == 0.0f) {
        p->wait = 0;
        p->blending = 0;
    }
    p->cState = TAnimParam::STATE_TRANSITION;
    return false;
}

bool CBonedAnimState::onEnd(CFStateData* pStateData)
{
    if (!BonedAnimCheck(pMyGroup != nullptr, "d_pMyGroup", __FILE__, __LINE__) ||
        !BonedAnimCheck(pStateData != nullptr, "pStateData", __FILE__, __LINE__))
        return false;
    TAnimParam* p = static_cast<TAnimParam*>(pStateData);
    if (!BonedAnimCheck(p->getStateType() == CFStateData::END, "p->getStateType()==CFStateData::END", __FILE__, __LINE__))
        return false;
    switch (p->cState) {
    case TAnimParam::STATE_TRANSITION: {
        if (pAnimInst->Rate < 0.3f) pAnimInst->Rate = 1.0f;
        const int32_t offset = pAnimInst->GetTimeOffset(p->transitionTime);
        const int64_t distance = offset < 0 ? -static_cast<int64_t>(offset) : offset;
        if (p->tweenInterval != 0.0f && distance >= 100 && !pAnimInst->IsFinished() && p->wait) {
            pMyGroup->UpdateInstance(p);
            return true;
        }
        p->setStateType(CFStateData::NONE);
        p->blending = p->tweenInterval > 0.0f ? 1 : 0;
        return false;
    }
    case TAnimParam::STATE_CONTINUE: p->setStateType(CFStateData::NONE); return false;
    case TAnimParam::STATE_LOOP:
    case TAnimParam::STATE_PLAY:
        p->setStateType(CFStateData::NONE);
        if (p->cState == p->dState) p->dState = TAnimParam::STATE_CONTINUE;
        return false;
    default: BonedAnimFatal(__FILE__, __LINE__);
    }
}

// ---- Definition readers ------------------------------------------------------------------------

void CBonedAnimGroup::BonedAnimDef::registerItems(CIniManager& ini)
{
    modelName[0] = animFileName[0] = 0;
    transitionFrame = 0;
    ini.registerString("BONED_ANIM", "modelname", modelName);
    ini.registerString("BONED_ANIM", "animfilename", animFileName);
    ini.registerItem("BONED_ANIM", "transitionframe", &transitionFrame, CIniManager::INI_INT);
}

bool CBonedAnimGroup::BonedAnimDef::validate()
{
    if (!modelName[0]) reportMissing("modelname");
    if (!animFileName[0]) reportMissing("animfilename");
    return modelName[0] && animFileName[0];
}

void CBonedAnimGroup::NumTweenDef::registerItems(CIniManager& ini)
{
    numTweens = UNSET;
    ini.registerItem("NUM_TWEEN_DATA", "numtweens", &numTweens, CIniManager::INI_INT);
}

bool CBonedAnimGroup::NumTweenDef::validate()
{
    if (numTweens != UNSET) return true;
    reportMissing("numtweens");
    return false;
}

void CBonedAnimGroup::TweenDef::registerItems(CIniManager& ini)
{
    for (int32_t i = 0; i < count; ++i) {
        char key[32];
        values[2 * i] = values[2 * i + 1] = UNSET;
        snprintf(key, sizeof key, "transitiontime%d", i);
        ini.registerItem("TWEEN_DATA", key, &values[2 * i], CIniManager::INI_INT);
        snprintf(key, sizeof key, "transitionduration%d", i);
        ini.registerItem("TWEEN_DATA", key, &values[2 * i + 1], CIniManager::INI_INT);
    }
}

bool CBonedAnimGroup::TweenDef::validate()
{
    bool complete = true;
    for (int32_t i = 0; i < 2 * count; ++i) {
        if (values[i] != UNSET) continue;
        char key[32];
        snprintf(key, sizeof key, i % 2 ? "transitionduration%d" : "transitiontime%d", i / 2);
        reportMissing(key);
        complete = false;
    }
    return complete;
}

// ---- The group ---------------------------------------------------------------------------------

CBonedAnimGroup::CBonedAnimGroup(CObjectManagerInterface* pObjectManager)
    : d_pObjectManager(pObjectManager), d_numAnims(0)
{
    for (uint32_t i = 0; i < MAX_ANIMS; ++i) {
        d_pAnims[i] = nullptr;
        memset(&d_tweens[i], 0, sizeof d_tweens[i]);
    }
}

CBonedAnimGroup::~CBonedAnimGroup()
{
    uint32_t numDeleted = 0;
    for (CBonedAnimState*& pAnim : d_pAnims) {
        if (!pAnim) continue;
        delete pAnim;
        pAnim = nullptr;
        ++numDeleted;
    }
    BonedAnimCheck(numDeleted == d_numAnims, "numDeleted==d_numAnims", __FILE__, __LINE__);
}

bool CBonedAnimGroup::ReadTweens(const char* tweenFile)
{
    if (!CScriptReader::read(tweenFile, &d_numTweenDef)) return false;
    const int32_t count = d_numTweenDef.numTweens;
    // Checked before the pairs are read: the table has room for MAX_ANIMS of them.
    if (!(count <= static_cast<int32_t>(MAX_ANIMS) && count >= 0)) {
        assertFailed("this->TweenInfo.MaxTweenData<= MAX_ANIMS && this->TweenInfo.MaxTweenData >=0", __FILE__,
                     __LINE__);
        return false;
    }
    d_tweenDef.count = count;
    return CScriptReader::read(tweenFile, &d_tweenDef);
}

bool CBonedAnimGroup::AddAnim(const char* definitionFile, uint32_t id, const char* tweenFile)
{
    if (d_numAnims >= MAX_ANIMS) return false;
    if (FindAnimIndex(id) != -1) {
        assertFailed("0", __FILE__, __LINE__);
        return false;
    }
    if (!CScriptReader::read(definitionFile, &d_animDef)) return false;
    const bool hasTweens = tweenFile && tweenFile[0];
    if (hasTweens && !ReadTweens(tweenFile)) return false;

    CBonedAnimState* pAnim = new CBonedAnimState(this, d_animDef.modelName, d_animDef.animFileName,
                                                 static_cast<uint32_t>(d_animDef.transitionFrame), id);
    TweenInfo& info = d_tweens[d_numAnims];
    memset(&info, 0, sizeof info);
    if (hasTweens) {
        info.MaxTweenData = d_tweenDef.count;
        for (int32_t i = 0; i < info.MaxTweenData; ++i) {
            info.Tweens[i].transitionTime = static_cast<uint32_t>(d_tweenDef.values[2 * i]);
            info.Tweens[i].transitionDuration = static_cast<uint32_t>(d_tweenDef.values[2 * i + 1]);
        }
    }
    d_pAnims[d_numAnims++] = pAnim;
    return true;
}

CBonedAnimState* CBonedAnimGroup::GetAnim(uint32_t index)
{
    if (!(index < d_numAnims)) {
        assertFailed("index< d_numAnims", __FILE__, __LINE__);
        return nullptr;
    }
    return d_pAnims[index];
}

int32_t CBonedAnimGroup::FindAnimIndex(uint32_t id)
{
    for (uint32_t i = 0; i < d_numAnims; ++i)
        if (d_pAnims[i]->GetId() == id) return static_cast<int32_t>(i);
    return -1;
}

CBonedAnimGroup::TweenData CBonedAnimGroup::GetTween(uint32_t source, uint32_t dest)
{
    const TweenData none = {0, 0};
    if (!(source < MAX_ANIMS)) {
        assertFailed("source < MAX_ANIMS", __FILE__, __LINE__);
        return none;
    }
    if (!(dest < MAX_ANIMS)) {
        assertFailed("dest < MAX_ANIMS", __FILE__, __LINE__);
        return none;
    }
    if (!VERIFY(source < d_numAnims)) return none;
    const TweenInfo& info = d_tweens[source];
    if (dest >= static_cast<uint32_t>(info.MaxTweenData)) return none;
    return info.Tweens[dest];
}

CAnimInstABC* CBonedAnimGroup::CreateInstance()
{
    CAnimInstABC** ppSlot = allocInstanceSlot();
    if (!ppSlot) return nullptr;
    if (d_numAnims == 0) {
        assertFailed("d_numAnims>0", __FILE__, __LINE__);
        return nullptr;
    }
    CBonedAnim* pInst = new CBonedAnim(this);
    TAnimParam& param = pInst->GetParam();
    param.cAnim = d_pAnims[0]->GetId();
    param.dAnim = TAnimParam::NO_ANIM;
    param.cf = static_cast<float>(d_pAnims[0]->d_transitionFrame);
    // Each entry is made the default in turn: the last one stays it.
    for (uint32_t i = 0; i < d_numAnims; ++i) pInst->GetStateMgr().registerState(d_pAnims[i], true);
    *ppSlot = pInst;
    return pInst;
}

void CBonedAnimGroup::UpdateInstance(TAnimParam* pAnimParam)
{
    if (!VERIFY(pAnimParam)) return;
    const uint32_t anim = pAnimParam->cAnim;
    if (!BonedAnimCheck(anim != TAnimParam::NO_ANIM, "anim!=-1", __FILE__, __LINE__)) return;
    CBonedAnimState* pCurrent = GetAnim(anim);
    if (!pCurrent) return;
    const int step = d_pObjectManager ? d_pObjectManager->getFrameStep() : 0;
    const uint32_t elapsed = step > 0 ? static_cast<uint32_t>(step) : 0;
    if (!pAnimParam->blending) {
        pCurrent->pAnimInst->Play(elapsed);
        return;
    }
    CBonedAnimState* pLast = nullptr;
    if (!BonedAnimCheck(pAnimParam->lastAnimId != TAnimParam::NO_ANIM, "pAnimParam->lastAnimId!=-1", __FILE__, __LINE__) ||
        !(pLast = GetAnim(pAnimParam->lastAnimId))) {
        // Nothing to blend from: play the current animation alone.
        pAnimParam->blending = 0;
        pCurrent->pAnimInst->Play(elapsed);
        return;
    }
    // A frame without time does not move the blend.
    if (pAnimParam->tweenInterval > 0.0f && step > 0)
        pAnimParam->blendPosition += 1000.0f / (static_cast<float>(step) * pAnimParam->tweenInterval);
    if (pAnimParam->blendPosition >= 1.0f) {
        pAnimParam->blending = 0;
        pAnimParam->blendPosition = 1.0f;
    }
    pCurrent->pAnimInst->PlayBlend(elapsed, pLast->pAnimInst, pAnimParam->blendPosition);
}

int32_t CBonedAnimGroup::RenderInstance(CAnimInstABC* pInst, const MeshTransform& transform)
{
    CBonedAnim* pMyInst = static_cast<CBonedAnim*>(pInst);
    if (!BonedAnimCheck(pMyInst != nullptr, "pMyInst", __FILE__, __LINE__)) return -2;
    const TAnimParam& param = pMyInst->GetParam();
    if (param.cState == TAnimParam::STATE_NONE) return -2;
    const uint32_t animId = param.cAnim;
    if (!BonedAnimCheck(animId != TAnimParam::NO_ANIM, "animId!=-1", __FILE__, __LINE__)) return -2;
    CBonedAnimState* pAnim = GetAnim(animId);
    if (!pAnim || !d_pObjectManager) return -2;
    CResource* pResource = nullptr;
    d_pObjectManager->acquireResource(pAnim->d_modelHandle, &pResource);
    CModelInst* pM = pResource && pResource->getResourceType() == CResource::RESOURCETYPE_MODEL
                         ? static_cast<CModelInst*>(pResource)
                         : nullptr;
    if (!BonedAnimCheck(pM != nullptr, "pM", __FILE__, __LINE__)) return -2;
    pM->m_transform = transform;
    return pM->Render();
}
