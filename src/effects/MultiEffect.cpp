#include "effects/MultiEffect.h"

#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"

#include <new>

CMultiEffectDefinition::~CMultiEffectDefinition() { delete[] pEffectNames; }

bool ReadMultiEffectDefinition(CEffectManager& manager, const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    if (!*ppDefinition) *ppDefinition = new (std::nothrow) CMultiEffectDefinition;
    CMultiEffectDefinition* pDefinition = dynamic_cast<CMultiEffectDefinition*>(*ppDefinition);
    if (!pDefinition) return false;
    pDefinition->ReadCommonKeys(block);

    CParamBlock* pEffects = nullptr;
    if (!block.findBlock("Effects", &pEffects)) return false;
    const uint32_t numEffects = pEffects->getNumBlocks();
    if (!VERIFY(numEffects>=1)) return true;
    pDefinition->pEffectNames = new (std::nothrow) char[numEffects][EFFECTNAMELEN]();
    if (!pDefinition->pEffectNames) return false;
    pDefinition->numEffects = numEffects;
    for (uint32_t i = 0; i < numEffects; ++i) {
        CParamBlock* pEntry = nullptr;
        if (!pEffects->getBlock(i, &pEntry)) continue;
        const int size = pEntry->parseStringGetSize("Effect");
        if (!VERIFY_MSG(size > 0 && size <= static_cast<int>(EFFECTNAMELEN),
                        definitionFault(concatStrings("Multi-effect entry ", intToString(static_cast<int>(i)),
                                                      " names no effect"))))
            continue;
        pEntry->parseString("Effect", pDefinition->pEffectNames[i], EFFECTNAMELEN);
        manager.PrecacheEffect(pDefinition->pEffectNames[i]);
    }
    return true;
}

CMultiEffect::CMultiEffect(CEffectManager* pManager, CMultiEffectDefinition* pDefinition, uintptr_t creationWord,
                           const Vector3& position, const Matrix3& orientation)
    : CEffect(pManager, pDefinition, creationWord, position, orientation),
      m_numLive(0), m_numEntries(0), m_pSubEffects(nullptr), m_pRecords(nullptr), m_paused(false)
{
    const uint32_t n = pDefinition->numEffects;
    m_pSubEffects = new (std::nothrow) CEffect*[n]();
    m_pRecords = new (std::nothrow) TSubEffectRecord[n];
    if (!m_pSubEffects || !m_pRecords) return;
    m_numEntries = n;
    // Entries never started keep the multi-effect alive: only ends lower the count.
    m_numLive = n;
    for (uint32_t i = 0; i < n; ++i) {
        m_pRecords[i] = TSubEffectRecord{this, i};
        const char* pName = pDefinition->pEffectNames[i];
        if (!pName[0]) continue;
        CEffect* pSub = pManager->CreateEffect(pName, m_position, m_orientation, creationWord, SubEffectEnded,
                                               &m_pRecords[i]);
        m_pSubEffects[i] = pSub;
        if (pSub) pSub->SetLeader(this);
    }
}

CMultiEffect::~CMultiEffect()
{
    delete[] m_pSubEffects;
    delete[] m_pRecords;
}

void CMultiEffect::SubEffectEnded(CEffect*, void* pContext)
{
    TSubEffectRecord* pRecord = static_cast<TSubEffectRecord*>(pContext);
    CMultiEffect* pOwner = pRecord->pOwner;
    if (!VERIFY(pRecord->index < pOwner->m_numEntries)) return;
    pOwner->m_pSubEffects[pRecord->index] = nullptr;
    if (VERIFY(pOwner->m_numLive > 0)) --pOwner->m_numLive;
}

void CMultiEffect::DestroySubEffects()
{
    // Each destroy clears its entry through the end callback.
    for (uint32_t i = 0; i < m_numEntries; ++i)
        if (m_pSubEffects[i]) m_pManager->DestroyEffect(m_pSubEffects[i]);
}

void CMultiEffect::SetPosition(const Vector3& position)
{
    CEffect::SetPosition(position);
    for (uint32_t i = 0; i < m_numEntries; ++i)
        if (m_pSubEffects[i]) m_pSubEffects[i]->SetPosition(position);
}

void CMultiEffect::SetOrientation(const Matrix3& orientation)
{
    CEffect::SetOrientation(orientation);
    for (uint32_t i = 0; i < m_numEntries; ++i)
        if (m_pSubEffects[i]) m_pSubEffects[i]->SetOrientation(orientation);
}

void CMultiEffect::SetFollowedPoints(uint32_t count, Vector3* pPoints)
{
    CEffect::SetFollowedPoints(count, pPoints);
    for (uint32_t i = 0; i < m_numEntries; ++i)
        if (m_pSubEffects[i]) m_pSubEffects[i]->SetFollowedPoints(count, pPoints);
}

namespace {

bool hasEmitter(const CEffect* pEffect)
{
    return pEffect->GetType() == CEffect::TYPE_PARTICLESYSTEM || pEffect->GetType() == CEffect::TYPE_MULTIEFFECT;
}

}  // namespace

void CMultiEffect::PauseEmitter()
{
    m_paused = true;
    for (uint32_t i = 0; i < m_numEntries; ++i)
        if (m_pSubEffects[i] && hasEmitter(m_pSubEffects[i])) m_pSubEffects[i]->PauseEmitter();
}

void CMultiEffect::UnpauseEmitter()
{
    m_paused = false;
    for (uint32_t i = 0; i < m_numEntries; ++i)
        if (m_pSubEffects[i] && hasEmitter(m_pSubEffects[i])) m_pSubEffects[i]->UnpauseEmitter();
}

void CMultiEffect::Trigger()
{
    for (uint32_t i = 0; i < m_numEntries; ++i) {
        CEffect* pSub = m_pSubEffects[i];
        if (!pSub) continue;
        if (CMultiEffect* pMulti = dynamic_cast<CMultiEffect*>(pSub))
            pMulti->Trigger();
        else if (pSub->GetType() == TYPE_PARTICLESYSTEM)
            pSub->TriggerEmitter();
    }
}
