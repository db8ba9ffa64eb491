#include "effects/EffectManager.h"

#include "effects/Effect.h"
#include "effects/EffectDefinition.h"
#include "effects/EffectScene.h"
#include "effects/MultiEffect.h"
#include "global/ProjData.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <strings.h>

CEffectManager* pTheEffectManager = nullptr;
float CEffectManager::s_globalFade = 1.0f;

namespace {

const D3DCoreFuncHandle NO_FUNC = {0, -1};
const char* const SPHERE_MODEL_FILE = "data\\sphere.rsm";

std::string lowerCase(const char* text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The multi-effect that started the effect, or null.
CEffect* ownerOf(const CEffect* pEffect)
{
    return dynamic_cast<CMultiEffect*>(pEffect->GetLeader());
}

}  // namespace

CEffectManager::CEffectManager()
    : m_pSphere(nullptr), m_pSphereInst(nullptr), m_pSort(nullptr), m_sortCapacity(0), m_sortCount(0), m_interpolation(0.0f), m_readBlocks(), m_blocksHeld(false),
      m_afterSortedHandle(NO_FUNC), m_beforeSortedHandle(NO_FUNC), m_sorted(false), m_scenePassesDue(false),
      m_pDefinitions(nullptr),
      m_pLastDefinition(nullptr), m_numDefinitions(0), m_pFirstEffect(nullptr), m_pLastEffect(nullptr),
      m_numEffects(0), m_showCullSpheres(false), m_pEndedRecords(nullptr), m_walkDepth(0), m_pUpdating(nullptr), m_putOffEnds(0),
      m_readFile{}, m_refused(), m_precaching{}, m_precacheDepth(0), m_creating{}, m_createDepth(0)
{
    ASSERT(pTheEffectManager==NULL);
    // The callbacks draw whichever manager is current: the one replaced stops drawing, so no pass
    // is drawn twice.
    if (pTheEffectManager) {
        D3DCore.UnregisterFunc(pTheEffectManager->m_afterSortedHandle);
        D3DCore.UnregisterFunc(pTheEffectManager->m_beforeSortedHandle);
        pTheEffectManager->m_afterSortedHandle = pTheEffectManager->m_beforeSortedHandle = NO_FUNC;
    }
    pTheEffectManager = this;
    s_globalFade = 1.0f;
    m_pSort = new (std::nothrow) TEffectSortEntry[SORT_START_CAPACITY]();
    if (m_pSort) m_sortCapacity = SORT_START_CAPACITY;
    m_afterSortedHandle = D3DCore.RegisterFunc(2, RenderAfterSortedDraws);
    m_beforeSortedHandle = D3DCore.RegisterFunc(3, RenderBeforeSortedDraws);
    m_showCullSpheres = projDataExists() && getProjData().ShowCullSpheres != 0;
    // Loaded whether or not cull spheres are shown, so that a missing or damaged file is said at once.
    m_pSphere = CModelUtil::LoadModelFile(SPHERE_MODEL_FILE);
    if (m_pSphere) {
        // Placed and scaled by its instance alone.
        if (CModelElement* pRoot = m_pSphere->GetRootLodModel(0)) pRoot->m_local = IdentityTransform();
        m_pSphereInst = CModelManager::CreateModelInst(m_pSphere);
    }
}

CEffectManager::~CEffectManager()
{
    if (m_afterSortedHandle.Index >= 0) D3DCore.UnregisterFunc(m_afterSortedHandle);
    if (m_beforeSortedHandle.Index >= 0) D3DCore.UnregisterFunc(m_beforeSortedHandle);
    FreeBlocks();
    // Sub-effects stand before their multi-effect, so no effect outlives its leader here.
    while (m_pFirstEffect) {
        TEffectRecord* pRecord = m_pFirstEffect;
        m_pFirstEffect = pRecord->pNext;
        delete pRecord->pEffect;
        delete pRecord;
    }
    m_pLastEffect = nullptr;
    m_numEffects = 0;
    while (m_pEndedRecords) {
        TEffectRecord* pRecord = m_pEndedRecords;
        m_pEndedRecords = pRecord->pNext;
        delete pRecord;
    }
    while (m_pDefinitions) {
        TDefinitionRecord* pRecord = m_pDefinitions;
        m_pDefinitions = pRecord->pNext;
        delete pRecord->pDefinition;
        delete pRecord;
    }
    delete[] m_pSort;
    if (m_pSphereInst) CModelManager::ReleaseModelInst(m_pSphereInst);
    if (m_pSphere) CModelManager::ReleaseModel(m_pSphere, true);
    if (pTheEffectManager == this) pTheEffectManager = nullptr;
}

// ---- Definitions ----

bool CEffectManager::ReadBlocks(const char* fileName)
{
    FreeBlocks();
    snprintf(m_readFile, sizeof m_readFile, "%s", fileName ? fileName : "");
    ReadingFile reading(m_readFile);
    if (!loadBlocks(fileName, m_readBlocks, 64)) {
        deleteBlockList(m_readBlocks);
        return false;
    }
    m_blocksHeld = true;
    // Said once here: a look-up passes over such blocks quietly, whatever name it seeks.
    for (const TPtrNode<CParamBlock>* pNode = m_readBlocks.pHead; pNode; pNode = pNode->pNext) {
        const CParamBlock* pBlock = pNode->pObject;
        const int size = pBlock->parseStringGetSize("instancename");
        if (VERIFY_MSG(size > 0, concatStrings("Effect block ", pBlock->getName(), " has no instancename")))
            ASSERT_MSG(size <= static_cast<int>(EFFECTNAMELEN),
                       concatStrings("Effect block ", pBlock->getName(), " has an instancename too long"));
    }
    return true;
}

void CEffectManager::FreeBlocks()
{
    if (!m_blocksHeld) return;
    // The read's report may come after a refusal (the list's own report of a name it failed), so
    // what the read has said is taken at its end as well.
    ReadingFile reading(m_readFile);
    for (auto& [name, refusal] : m_refused) {
        if (refusal.heldRead) refusal.explained = refusal.explained || reading.reported();
        refusal.heldRead = false;
    }
    deleteBlockList(m_readBlocks);
    m_blocksHeld = false;
}

CEffectManager::TDefinitionRecord* CEffectManager::FindDefinitionRecord(const char* pName) const
{
    if (!pName) return nullptr;
    for (TDefinitionRecord* pRecord = m_pDefinitions; pRecord; pRecord = pRecord->pNext)
        if (strcasecmp(pRecord->name, pName) == 0) return pRecord;
    return nullptr;
}

CEffectDefinition* CEffectManager::FindDefinition(const char* pName) const
{
    const TDefinitionRecord* pRecord = FindDefinitionRecord(pName);
    return pRecord ? pRecord->pDefinition : nullptr;
}

// The first held block whose "instancename" is the name; its own spelling goes to pInstanceName.
const CParamBlock* CEffectManager::FindDefinitionBlock(const char* pName, char* pInstanceName) const
{
    for (const TPtrNode<CParamBlock>* pNode = m_readBlocks.pHead; pNode; pNode = pNode->pNext) {
        const CParamBlock* pBlock = pNode->pObject;
        const int size = pBlock->parseStringGetSize("instancename");
        if (size <= 0 || size > static_cast<int>(EFFECTNAMELEN)) continue;
        pBlock->parseString("instancename", pInstanceName, EFFECTNAMELEN);
        if (strcasecmp(pInstanceName, pName) == 0) return pBlock;
    }
    return nullptr;
}

bool CEffectManager::PrecacheEffect(const char* pName)
{
    if (!VERIFY(pName)) return false;
    if (!VERIFY(strlen(pName)<EFFECTNAMELEN)) return false;
    if (!m_blocksHeld) assertFailed("m_readBlocks", __FILE__, __LINE__);
    if (FindDefinitionRecord(pName)) return true;
    if (!m_blocksHeld) return false;
    // A definition that names itself, directly or through others, is taken as read.
    for (uint32_t i = 0; i < m_precacheDepth; ++i)
        if (strcasecmp(m_precaching[i], pName) == 0) return true;
    ReadingFile reading(m_readFile);
    const auto refuse = [&] {
        m_refused.insert_or_assign(lowerCase(pName), Refusal{m_readFile, reading.reported(), true});
        return false;
    };
    if (!VERIFY_MSG(m_precacheDepth < MAX_EFFECT_NESTING, concatStrings("Effect ", pName, " nests too deep")))
        return refuse();

    char instanceName[EFFECTNAMELEN];
    const CParamBlock* pBlock = FindDefinitionBlock(pName, instanceName);
    if (!pBlock) return refuse();
    const TEffectKind* pKind = FindEffectKind(pBlock->getName());
    if (!VERIFY_MSG(pKind, concatStrings("Unknown effect kind ", pBlock->getName(), " of ", instanceName)))
        return refuse();
    if (!VERIFY_MSG(pKind->pReader && pKind->pFactory,
                    concatStrings("Effects of kind ", pKind->pBlockName, " cannot be made: ", instanceName)))
        return refuse();

    TDefinitionRecord* pRecord = new (std::nothrow) TDefinitionRecord();
    if (!pRecord) return false;
    std::memcpy(pRecord->name, instanceName, EFFECTNAMELEN);
    pRecord->pCreator = pKind->pFactory;

    std::memcpy(m_precaching[m_precacheDepth++], instanceName, EFFECTNAMELEN);
    CEffectDefinition* pDefinition = nullptr;
    bool read;
    {
        ReadingDefinition definition(m_precaching[m_precacheDepth - 1]);
        read = pKind->pReader(*this, *pBlock, &pDefinition);
    }
    --m_precacheDepth;
    if (!read || !pDefinition) {
        delete pDefinition;
        delete pRecord;
        return refuse();
    }
    pRecord->pDefinition = pDefinition;
    if (m_pLastDefinition)
        m_pLastDefinition->pNext = pRecord;
    else
        m_pDefinitions = pRecord;
    m_pLastDefinition = pRecord;
    ++m_numDefinitions;
    return true;
}

void CEffectManager::UnprecacheEffect(const char* pName)
{
    TDefinitionRecord* pPrev = nullptr;
    TDefinitionRecord* pRecord = m_pDefinitions;
    while (pRecord && strcasecmp(pRecord->name, pName ? pName : "") != 0) {
        pPrev = pRecord;
        pRecord = pRecord->pNext;
    }
    if (!pRecord) return;
    // Its effects would keep a deleted definition: they end first.
    for (;;) {
        CEffect* pLive = nullptr;
        for (uint32_t i = 0; i < m_sortCount && !pLive; ++i)
            if (m_pSort[i].pEffect->GetDefinition() == pRecord->pDefinition) pLive = m_pSort[i].pEffect;
        if (!pLive) break;
        ASSERT_MSG(false, concatStrings("Effect ", pRecord->name, " unprecached while running"));
        const uint32_t before = m_sortCount;
        DestroyEffect(pLive);
        if (m_sortCount >= before) break;
    }
    if (pPrev)
        pPrev->pNext = pRecord->pNext;
    else
        m_pDefinitions = pRecord->pNext;
    if (m_pLastDefinition == pRecord) m_pLastDefinition = pPrev;
    --m_numDefinitions;
    delete pRecord->pDefinition;
    delete pRecord;
}

// ---- Effects ----

CEffectManager::TEffectRecord* CEffectManager::FindRecord(const CEffect* pEffect) const
{
    if (!pEffect) return nullptr;
    // Newest first: the effects asked for most are those just started (a multi-effect's parts).
    for (TEffectRecord* pRecord = m_pLastEffect; pRecord; pRecord = pRecord->pPrev)
        if (pRecord->pEffect == pEffect && !pRecord->ending) return pRecord;
    return nullptr;
}

bool CEffectManager::IsLive(const CEffect* pEffect) const { return FindRecord(pEffect) != nullptr; }

// False when the new effect is refused. The candidate is the farthest instance at the last sort
// that is not fading out already.
bool CEffectManager::ApplyInstanceLimit(const CEffectDefinition* pDefinition)
{
    uint32_t count = 0;
    CEffect* pCandidate = nullptr;
    float candidateKey = 0.0f;
    for (uint32_t i = 0; i < m_sortCount; ++i) {
        CEffect* pEffect = m_pSort[i].pEffect;
        if (pEffect->GetDefinition() != pDefinition) continue;
        ++count;
        if (pEffect->GetKillStartTime() != 0 || EndsAfterUpdate(pEffect)) continue;
        if (!pCandidate || m_pSort[i].key > candidateKey) {
            pCandidate = pEffect;
            candidateKey = m_pSort[i].key;
        }
    }
    if (!pCandidate || count < pDefinition->MaxInstances) return true;
    switch (pDefinition->AbortTechnique) {
    case CEffectDefinition::ABORT_FADE_OUT:
        pCandidate->StartKillFade();
        return true;
    case CEffectDefinition::ABORT_DESTROY:
        DestroyEffect(pCandidate);
        return true;
    default:
        return false;
    }
}

CEffect* CEffectManager::CreateEffect(const char* pName, const Vector3& position, const Matrix3& orientation,
                                      uintptr_t creationWord, EffectEndCallback pEndCallback, void* pContext)
{
    const TDefinitionRecord* pDefRecord = FindDefinitionRecord(pName);
    if (!pDefRecord) {
        // A name refused after its file's read made its report follows from what that said; one
        // refused quietly is said as about that file.
        std::optional<ReadingFile> reading;
        const auto refused = pName ? m_refused.find(lowerCase(pName)) : m_refused.end();
        if (refused != m_refused.end()) {
            if (refused->second.explained) return nullptr;
            reading.emplace(refused->second.file.c_str());
        }
        ASSERT_MSG(false, concatStrings("Effect ", pName ? pName : "(null)", " not precached"));
        return nullptr;
    }
    const CEffectDefinition* pDefinition = pDefRecord->pDefinition;
    for (uint32_t i = 0; i < m_createDepth; ++i)
        if (!VERIFY_MSG(m_creating[i] != pDefinition, concatStrings("Effect ", pDefRecord->name, " starts itself")))
            return nullptr;
    if (!VERIFY_MSG(m_createDepth < MAX_EFFECT_NESTING, concatStrings("Effect ", pDefRecord->name, " nests too deep")))
        return nullptr;
    if (!VERIFY_MSG(m_numEffects < MAX_LIVE_EFFECTS, "Too many live effects")) return nullptr;
    if (pDefinition->MaxInstances != 0 && !ApplyInstanceLimit(pDefinition)) return nullptr;

    TEffectRecord* pRecord = new (std::nothrow) TEffectRecord();
    if (!pRecord) return nullptr;
    m_creating[m_createDepth++] = pDefinition;
    CEffect* pEffect =
        pDefRecord->pCreator(*this, pDefRecord->pDefinition, creationWord, position, orientation);
    --m_createDepth;
    if (!pEffect) {
        delete pRecord;
        return nullptr;
    }
    pRecord->pEffect = pEffect;
    pRecord->pEndCallback = pEndCallback;
    pRecord->pContext = pContext;
    pRecord->pPrev = m_pLastEffect;
    if (m_pLastEffect)
        m_pLastEffect->pNext = pRecord;
    else
        m_pFirstEffect = pRecord;
    m_pLastEffect = pRecord;
    ++m_numEffects;
    if (!AppendSortEntry(pEffect)) {
        DestroyEffect(pEffect);
        return nullptr;
    }
    return pEffect;
}

void CEffectManager::DestroyEffect(CEffect* pEffect)
{
    TEffectRecord* pRecord = FindRecord(pEffect);
    if (!VERIFY_MSG(pRecord, "Destroying an effect that is not live")) return;
    // Its update (a particle event replacing its own effect, say) goes on using it: it ends there.
    if (IsUpdating(pEffect)) {
        if (!pRecord->endAfterUpdate) ++m_putOffEnds;
        pRecord->endAfterUpdate = true;
        return;
    }
    if (pRecord->endAfterUpdate) --m_putOffEnds;
    if (CMultiEffect* pMulti = dynamic_cast<CMultiEffect*>(pEffect)) {
        pMulti->DestroySubEffects();
        pRecord = FindRecord(pEffect);
        if (!VERIFY(pRecord)) return;
    }
    // A destroy asked for again from the end callback finds nothing.
    pRecord->ending = true;
    if (pRecord->pEndCallback) pRecord->pEndCallback(pEffect, pRecord->pContext);

    if (pRecord->pPrev)
        pRecord->pPrev->pNext = pRecord->pNext;
    else
        m_pFirstEffect = pRecord->pNext;
    if (pRecord->pNext)
        pRecord->pNext->pPrev = pRecord->pPrev;
    else
        m_pLastEffect = pRecord->pPrev;
    --m_numEffects;
    if (m_walkDepth > 0) {
        // An update walk may still hold the record: it learns from the null effect to skip it.
        pRecord->pEffect = nullptr;
        pRecord->pPrev = nullptr;
        pRecord->pNext = m_pEndedRecords;
        m_pEndedRecords = pRecord;
    } else {
        delete pRecord;
    }
    delete pEffect;
    RemoveSortEntry(pEffect);
}

// ---- Sort array ----

bool CEffectManager::AppendSortEntry(CEffect* pEffect)
{
    if (m_sortCount >= m_sortCapacity) {
        TEffectSortEntry* pGrown = new (std::nothrow) TEffectSortEntry[m_sortCapacity + SORT_GROWTH]();
        if (!pGrown) return false;
        if (m_pSort) std::memcpy(pGrown, m_pSort, sizeof(TEffectSortEntry) * m_sortCount);
        delete[] m_pSort;
        m_pSort = pGrown;
        m_sortCapacity += SORT_GROWTH;
    }
    // The key stays as the slot last held it until the next sort.
    m_pSort[m_sortCount++].pEffect = pEffect;
    return true;
}

void CEffectManager::RemoveSortEntry(const CEffect* pEffect)
{
    for (uint32_t i = 0; i < m_sortCount; ++i)
        if (m_pSort[i].pEffect == pEffect) {
            m_pSort[i] = m_pSort[--m_sortCount];
            return;
        }
}

void CEffectManager::Sort()
{
    const Vector3 camera = GetEffectSortCameraPosition();
    uint32_t n = 0;
    for (TEffectRecord* pRecord = m_pFirstEffect; pRecord && n < m_sortCapacity; pRecord = pRecord->pNext) {
        CEffect* pEffect = pRecord->pEffect;
        Vector3 offset;
        pEffect->GetLocalOffset(&offset, nullptr);
        m_pSort[n].pEffect = pEffect;
        m_pSort[n].key = (offset + pEffect->GetPosition() - camera).lengthSquared();
        ++n;
    }
    m_sortCount = n;
    SortEffectEntries(m_pSort, m_sortCount);
    m_sorted = true;
}

// ---- Update ----

void CEffectManager::Update()
{
    if (m_numEffects == 0) return;
    // Effects end during the walk, so it walks a copy; records ended on the way are skipped.
    const uint32_t count = m_numEffects;
    TEffectRecord** pCopy = new (std::nothrow) TEffectRecord*[count];
    if (!pCopy) return;
    uint32_t n = 0;
    for (TEffectRecord* pRecord = m_pFirstEffect; pRecord && n < count; pRecord = pRecord->pNext) pCopy[n++] = pRecord;
    ++m_walkDepth;
    for (uint32_t i = 0; i < n; ++i) {
        TEffectRecord* pEffectData = pCopy[i];
        if (!VERIFY(pEffectData)) continue;
        if (pEffectData->pEffect) UpdateEffect(pEffectData);
    }
    if (--m_walkDepth == 0)
        while (m_pEndedRecords) {
            TEffectRecord* pRecord = m_pEndedRecords;
            m_pEndedRecords = pRecord->pNext;
            delete pRecord;
        }
    delete[] pCopy;
}

bool CEffectManager::IsUpdating(const CEffect* pEffect) const
{
    uint32_t depth = 0;
    for (const CEffect* pAt = m_pUpdating; pAt && depth <= MAX_EFFECT_NESTING; pAt = ownerOf(pAt), ++depth)
        if (pAt == pEffect) return true;
    return false;
}

bool CEffectManager::EndsAfterUpdate(const CEffect* pEffect) const
{
    if (!IsUpdating(pEffect)) return false;
    const TEffectRecord* pRecord = FindRecord(pEffect);
    return pRecord && pRecord->endAfterUpdate;
}

// Update, distance fade, kill fade; each step may end the effect, which ends its turn.
void CEffectManager::UpdateEffect(TEffectRecord* pRecord)
{
    CEffect* pEffect = pRecord->pEffect;
    if (!pEffect->IsHidden()) {
        // The effect and its owners, innermost first, for the destroys asked for meanwhile.
        CEffect* chain[MAX_EFFECT_NESTING + 1];
        uint32_t links = 0;
        for (CEffect* pAt = pEffect; pAt && links <= MAX_EFFECT_NESTING; pAt = ownerOf(pAt)) chain[links++] = pAt;
        CEffect* pOuter = m_pUpdating;
        m_pUpdating = pEffect;
        const bool alive = pEffect->Update();
        m_pUpdating = pOuter;
        // Looking the chain up is a walk of every live effect: only when a destroy was put off.
        for (uint32_t i = 0; i < links && m_putOffEnds > 0; ++i) {
            const TEffectRecord* pLink = FindRecord(chain[i]);
            if (pLink && pLink->endAfterUpdate) DestroyEffect(chain[i]);
        }
        if (!pRecord->pEffect) return;
        if (!alive) {
            DestroyEffect(pEffect);
            return;
        }
    }
    const CEffectDefinition* pDefinition = pEffect->GetDefinition();
    if (!VERIFY(pDefinition)) return;

    Vector3 centre;
    float radius = 0.0f;
    // Without bounds (a multi-effect) there is nothing to measure: no distance fade.
    if (pDefinition->FadeMode != CEffectDefinition::FADE_NONE && pEffect->GetBounds(&centre, &radius)) {
        const float d = (centre - GetEffectCameraPosition()).length() - radius;
        if (d > pDefinition->FadeFar) {
            switch (pDefinition->FadeMode) {
            case CEffectDefinition::FADE_KILL:
                pEffect->Kill();
                return;
            case CEffectDefinition::FADE_HIDE:
                pEffect->SetHidden(true);
                break;
            case CEffectDefinition::FADE_ZERO:
                pEffect->SetFade(0.0f);
                break;
            default:
                ASSERT(false);
            }
        } else if (d > pDefinition->FadeNear) {
            pEffect->SetHidden(false);
            pEffect->SetFade(1.0f - (d - pDefinition->FadeNear) / (pDefinition->FadeFar - pDefinition->FadeNear));
        } else {
            pEffect->SetHidden(false);
            pEffect->SetFade(1.0f);
        }
        if (!pRecord->pEffect) return;
    }

    const uint32_t start = pEffect->GetKillStartTime();
    if (start == 0) return;
    const uint32_t speed = pDefinition->KillFadeSpeed;
    const uint32_t now = EffectGameTime();
    // A clock set back since the start counts as no time passed.
    const uint64_t elapsed = now > start ? now - start : 0;
    // A kill fade of no length ends the effect at once rather than dividing by zero.
    if (speed != 0 && elapsed <= speed)
        pEffect->SetFade(1.0f - static_cast<float>(elapsed) / static_cast<float>(speed));
    else
        DestroyEffect(pEffect);
}

// ---- Render ----

void CEffectManager::Render(float interpolation)
{
    m_interpolation = interpolation;
    if (m_numEffects == 0) return;
    Sort();
    RenderPass(0);
    m_scenePassesDue = true;
}

void CEffectManager::RenderPass(int pass)
{
    if (!m_sorted || m_sortCount == 0) return;
    for (uint32_t i = 0; i < m_sortCount;) {
        CEffect* pEffect = m_pSort[i].pEffect;
        CEffectDefinition* pDefinition = pEffect->GetDefinition();
        if (!VERIFY(pDefinition)) {
            ++i;
            continue;
        }
        bool visible = true;
        if (pDefinition->KillIfOffScreen || pDefinition->RenderIfOnScreenOnly) {
            Vector3 centre;
            float radius = 0.0f;
            visible = !pEffect->GetBounds(&centre, &radius) || EffectSphereInView(centre, radius);
        }
        if (pDefinition->KillIfOffScreen) {
            if (!visible) {
                // The last entry moves into this slot: it is examined next, not skipped.
                const uint32_t before = m_sortCount;
                DestroyEffect(pEffect);
                if (m_sortCount >= before) ++i;
                continue;
            }
            // Seen once, no instance of the definition is culled by being off screen again.
            pDefinition->KillIfOffScreen = 0;
        }
        if (!(pDefinition->RenderIfOnScreenOnly && !visible) && pEffect->GetFade() > 0.0f && !pEffect->IsHidden())
            pEffect->Render(pass, m_interpolation);
        ++i;
    }
    if (m_showCullSpheres) DrawCullSpheres();
}

void CEffectManager::DrawCullSpheres()
{
    D3DCore.ForceRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    for (uint32_t i = 0; i < m_sortCount; ++i) {
        Vector3 centre;
        float radius = 0.0f;
        if (!m_pSphereInst || !m_pSort[i].pEffect->GetBounds(&centre, &radius)) continue;
        // The sphere has radius 2: half the bounds radius draws the bounds.
        CModelTransform& place = m_pSphereInst->m_transform;
        place = IdentityTransform();
        place.Translation[0] = centre.x;
        place.Translation[1] = centre.y;
        place.Translation[2] = centre.z;
        place.Scale[0] = place.Scale[1] = place.Scale[2] = radius * 0.5f;
        // The element draw leaves the world scale out of the device's matrix: the rotation carries it.
        place.Rotation[0] = place.Rotation[4] = place.Rotation[8] = radius * 0.5f;
        m_pSphereInst->Render();
    }
    D3DCore.ForceRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
}

void CEffectManager::RenderAfterSortedDraws()
{
    if (!pTheEffectManager || !pTheEffectManager->m_scenePassesDue) return;
    pTheEffectManager->RenderPass(1);
    pTheEffectManager->RenderPass(2);
    pTheEffectManager->m_scenePassesDue = false;
}

void CEffectManager::RenderBeforeSortedDraws()
{
    if (!pTheEffectManager || !pTheEffectManager->m_scenePassesDue) return;
    pTheEffectManager->RenderPass(3);
    pTheEffectManager->RenderPass(4);
}
