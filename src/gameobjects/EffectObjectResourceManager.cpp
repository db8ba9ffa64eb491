#include "gameobjects/EffectObjectResourceManager.h"

#include "d3dcore9/D3DCore.h"
#include "dxsetup9/DXSetup.h"
#include "effects/Effect.h"
#include "effects/EffectManager.h"
#include "effects/VBManager.h"
#include "gamemanagement/FreeSlots.h"
#include "gamemanagement/GameMemoryManager.h"
#include "gamemanagement/PoolKind.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "global/ProjData.h"
#include "global/ProjUtil.h"
#include "utility/Assert.h"
#include "utility/BlockFile.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

CEffectObjectResourceManager* pTheEffectObjectManager = nullptr;

namespace {

typedef CEffectObjectResourceManager Manager;

const size_t MAX_PATH_TEXT = 260;
const char* const MANAGER_CHECK = "(resourceHandle & MASK_MANAGER) == getResourceManagerId()";

void reportPrecacheFailure(const char* name, const char* fileName)
{
    char message[2 * resDef::MAX_TYPE_NAME + MAX_PATH_TEXT + 80];
    snprintf(message, sizeof message, "The effect manager failed to precache the effect : %s from the file %s", name,
             fileName);
    assertFailedMsg(message, "0", __FILE__, __LINE__);
}

// The object manager that lists this manager's definitions, if any.
CGameObjectManager* listingObjectManager(CResourceManager* pManager)
{
    CGameObjectManager* pObjects = pTheObjectManager;
    return pObjects && pObjects->getResourceManager(CResourceManager::MANAGER_EFFECTS) == pManager ? pObjects
                                                                                                  : nullptr;
}

}  // namespace

// What the device rebuild keeps of one effect object.
struct CEffectObjectResourceManager::SavedEffect {
    uint32_t slot;
    CParticleSystemEffect* pObject;
    char name[resDef::MAX_TYPE_NAME];  // empty: the object had no definition
    Vector3 position;
    Matrix3 orientation;
    bool restart;
};

CEffectObjectResourceManager::CEffectObjectResourceManager()
    : pEffectManager(nullptr), effectsObjectMemory(new CGameMemoryManager),
      pEffects(new CParticleSystemEffect*[MAX_EFFECT_OBJECTS]()), pFreeSlots(new CFreeSlots(MAX_EFFECT_OBJECTS)),
      pCurrentKey(new uint8_t[MAX_EFFECT_OBJECTS]()),
      pEffectDefinitions(new resDef[MAX_EFFECT_DEFINITIONS]()), numEffectDefinitions(0), d_numInUse(0),
      d_interpolation(0.0f), pBlankEffect(nullptr), d_renderWasOff(false)
{
    createEffectManager();
    // One block more than there are slots: the blank object takes one, and a full table must still be
    // refused by its slot count.
    effectsObjectMemory->requestBlock(MANAGER_EFFECTS, poolRequestSize(sizeof(CParticleSystemEffect)));
    effectsObjectMemory->initialise(MAX_EFFECT_OBJECTS + 1, false);
    effectMemoryManager = effectsObjectMemory;
    pTheEffectObjectManager = this;
    precacheAll();
    pBlankEffect = new CParticleSystemEffect(BLANK_HANDLE, nullptr);
    ASSERT(pBlankEffect);
}

CEffectObjectResourceManager::~CEffectObjectResourceManager()
{
    delete pBlankEffect;
    delete[] pEffects;
    delete pFreeSlots;
    delete[] pCurrentKey;
    delete pEffectManager;
    if (projDataExists()) getProjData().destroyVBManager();
    effectsObjectMemory->releaseAll();
    if (effectMemoryManager == effectsObjectMemory) effectMemoryManager = nullptr;
    delete effectsObjectMemory;
    delete[] pEffectDefinitions;
    if (pTheEffectObjectManager == this) pTheEffectObjectManager = nullptr;
}

void CEffectObjectResourceManager::createEffectManager()
{
    pEffectManager = new (std::nothrow) CEffectManager;
    ASSERT(pEffectManager);
    registerVBManagerMaker();
    if (!projDataExists() || !getProjData().createVBManager())
        assertFailedMsg("Failed to create vertex buffer manager for particle system", "getProjData().createVBManager()",
                        __FILE__, __LINE__);
}

// ---- Definitions ----

bool CEffectObjectResourceManager::appendDefinition(const char* name, resDef* pDef)
{
    if (!VERIFY(numEffectDefinitions < MAX_EFFECT_DEFINITIONS)) return false;
    resDef& record = pEffectDefinitions[numEffectDefinitions];
    fillDefinition(&record, MANAGER_EFFECTS | numEffectDefinitions, name);
    ++numEffectDefinitions;
    if (pDef) *pDef = record;
    return true;
}

resDef* CEffectObjectResourceManager::findDefinition(const char* name)
{
    resDef* pFound = nullptr;
    for (uint32_t i = 0; i < numEffectDefinitions; ++i)
        if (typeNamesMatch(pEffectDefinitions[i].typeName, name)) pFound = &pEffectDefinitions[i];
    return pFound;
}

bool CEffectObjectResourceManager::addDefinition(const char* typeName, resDef* pDef)
{
    if (!typeName || !typeName[0]) return false;
    if (!VERIFY(numEffectDefinitions < MAX_EFFECT_DEFINITIONS)) return false;
    // A name that does not fit a definition would be cut into another.
    if (strlen(typeName) >= resDef::MAX_TYPE_NAME || !VERIFY(pEffectManager)) return false;
    char fileName[MAX_PATH_TEXT];
    snprintf(fileName, sizeof fileName, "data\\particles\\%s.ps_", typeName);
    // One read of the file from its blocks to the definition built from them.
    ReadingFile definitions(fileName);
    if (!pEffectManager->ReadBlocks(fileName)) return false;
    const bool precached = pEffectManager->PrecacheEffect(typeName);
    pEffectManager->FreeBlocks();
    return precached && appendDefinition(typeName, pDef);
}

resDef* CEffectObjectResourceManager::getDefinition(resDef* pDef, uint32_t index)
{
    if (!VERIFY(pDef)) return nullptr;
    if (index == 0)
        fillDefinition(pDef, BLANK_HANDLE, BLANK_NAME);
    else if (index <= numEffectDefinitions)
        *pDef = pEffectDefinitions[index - 1];
    else
        fillDefinition(pDef, 0, "");
    return pDef;
}

bool CEffectObjectResourceManager::findTypeByName(const char* typeName, uint32_t* pTypeId)
{
    bool found = false;
    if (typeNamesMatch(typeName, BLANK_NAME)) {
        *pTypeId = BLANK_HANDLE;
        found = true;
    }
    if (const resDef* pDef = findDefinition(typeName)) {
        *pTypeId = pDef->typeId;
        found = true;
    }
    return found;
}

// ---- Precache lists ----

void CEffectObjectResourceManager::precacheAll()
{
    bool loaded = false;
    if (projDataExists()) {
        if (loadPrecacheList(getProjData().CurrentLevelPath)) loaded = true;
        if (loadPrecacheList(getProjData().CurrentWorldPath)) loaded = true;
    }
    if (loadPrecacheList("data\\")) loaded = true;
    if (!loaded) assertFailed("loaded", __FILE__, __LINE__);
}

bool CEffectObjectResourceManager::loadPrecacheList(const char* directory)
{
    if (!directory) {
        assertFailed("pPath", __FILE__, __LINE__);
        return false;
    }
    char listName[MAX_PATH_TEXT];
    const int length = snprintf(listName, sizeof listName, PRECACHE_LIST, directory);
    if (length < 0 || static_cast<size_t>(length) >= sizeof listName || !VERIFY(pEffectManager)) return false;
    ReadingFile reading(listName);
    blockList list;
    if (!loadBlocks(listName, list, 64)) {
        deleteBlockList(list);
        return false;
    }
    if (list.count == 0) assertFailed("blockList.HowManyItems()", __FILE__, __LINE__);
    for (const TPtrNode<CParamBlock>* pNode = list.pHead; pNode; pNode = pNode->pNext) {
        const CParamBlock* pBlock = pNode->pObject;
        for (uint32_t b = 0; b < pBlock->getNumBlocks(); ++b) {
            CParamBlock* pSubBlock = nullptr;
            if (!pBlock->getBlock(b, &pSubBlock) || !pSubBlock) {
                assertFailed("pSubBlock", __FILE__, __LINE__);
                continue;
            }
            char fileName[MAX_PATH_TEXT];
            const int size = pSubBlock->parseStringGetSize("filename");
            if (size <= 0 || static_cast<size_t>(size) > sizeof fileName) continue;
            pSubBlock->parseString("filename", fileName);
            // One read of the definition file from its blocks to its last name's precache: a
            // refusal its own report explains, or a second fault in it, is not said again.
            ReadingFile definitions(fileName);
            if (!pEffectManager->ReadBlocks(fileName)) continue;
            const uint32_t numEntries = pSubBlock->getNumParameters();
            for (uint32_t k = 0; k < numEntries; ++k) {
                char key[24];
                snprintf(key, sizeof key, "ps_def%u", k);
                const int nameSize = pSubBlock->parseStringGetSize(key);
                if (nameSize <= 0) continue;
                char name[resDef::MAX_TYPE_NAME];
                pSubBlock->parseString(key, name);
                // A name too long for a definition is not precached under a cut name.
                if (static_cast<size_t>(nameSize) > sizeof name) {
                    reportPrecacheFailure(name, fileName);
                    continue;
                }
                if (findDefinition(name)) continue;
                const bool precached = pEffectManager->PrecacheEffect(name);
                if (!precached) reportPrecacheFailure(name, fileName);
                if (precached) appendDefinition(name, nullptr);
            }
            pEffectManager->FreeBlocks();
        }
    }
    deleteBlockList(list);
    return true;
}

// ---- Objects ----

bool CEffectObjectResourceManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int)
{
    *pHandle = 0;
    if ((typeId & MASK_MANAGER) != MANAGER_EFFECTS) {
        assertFailed("( typeId&CResourceManager::MASK_MANAGER )==getResourceManagerId()", __FILE__, __LINE__);
        return false;
    }
    const uint32_t resource = typeId & ~MASK_MANAGER;
    if (resource == (BLANK_HANDLE & ~MASK_MANAGER)) {
        *pHandle = BLANK_HANDLE;
        return true;
    }
    if (!VERIFY(resource < numEffectDefinitions)) return false;
    const uint32_t slot = pFreeSlots->lowest();
    if (slot == MAX_EFFECT_OBJECTS) {
        assertFailedMsg("Effect resource manager ran out of slots", "0", __FILE__, __LINE__);
        return false;
    }
    const resourceHandle handle = makeHandle(MANAGER_EFFECTS, pCurrentKey[slot], slot);
    CParticleSystemEffect* pNewEffect = new CParticleSystemEffect(handle, &pEffectDefinitions[resource]);
    if (!VERIFY(pNewEffect)) return false;
    pEffects[slot] = pNewEffect;
    pFreeSlots->take(slot);
    ++d_numInUse;
    *pHandle = handle;
    return true;
}

uint32_t CEffectObjectResourceManager::liveSlot(resourceHandle handle, const char* managerCheck)
{
    if ((handle & MASK_MANAGER) != MANAGER_EFFECTS) {
        assertFailed(managerCheck, __FILE__, __LINE__);
        return MAX_EFFECT_OBJECTS;
    }
    const uint32_t slot = handleSlot(handle);
    if (slot >= MAX_EFFECT_OBJECTS) {
        assertFailed("resource < MAX_EFFECT_OBJECTS", __FILE__, __LINE__);
        return MAX_EFFECT_OBJECTS;
    }
    return pEffects[slot] && pCurrentKey[slot] == handleReuse(handle) ? slot : MAX_EFFECT_OBJECTS;
}

void CEffectObjectResourceManager::release(resourceHandle handle)
{
    if (handle == BLANK_HANDLE) return;
    const uint32_t slot = liveSlot(handle, MANAGER_CHECK);
    if (slot == MAX_EFFECT_OBJECTS) return;
    CParticleSystemEffect* pObject = pEffects[slot];
    pEffects[slot] = nullptr;
    pFreeSlots->give(slot);
    pCurrentKey[slot] = (pCurrentKey[slot] + 1) & 0xF;
    --d_numInUse;
    pObject->stop();
    delete pObject;
}

bool CEffectObjectResourceManager::acquire(resourceHandle handle, CResource** ppResource)
{
    if (handle == BLANK_HANDLE) {
        *ppResource = pBlankEffect;
        return pBlankEffect != nullptr;
    }
    const uint32_t slot = liveSlot(handle, MANAGER_CHECK);
    if (slot == MAX_EFFECT_OBJECTS) return false;
    *ppResource = pEffects[slot];
    return true;
}

void CEffectObjectResourceManager::resetForRestart()
{
    // Past the last object in use every slot is empty.
    for (uint32_t slot = 0; slot < MAX_EFFECT_OBJECTS && d_numInUse > 0; ++slot) {
        CParticleSystemEffect* pObject = pEffects[slot];
        if (!pObject) continue;
        pObject->stop();
        // An object its owner had let go is gone with its effect.
        if (pEffects[slot] == pObject) release(pObject->getResourceHandle());
    }
}

// ---- Frames ----

void CEffectObjectResourceManager::update(CGameObjectManager*)
{
    const bool off = projDataExists() && (getProjData().EffectUpdateOff || getProjData().Paused);
    if (!off && pEffectManager) pEffectManager->Update();
}

void CEffectObjectResourceManager::render(CGameObjectManager*, float interpolation)
{
    if (projDataExists() && getProjData().EffectRenderOff) {
        d_renderWasOff = true;
        return;
    }
    // Positions moved on while nothing was drawn: no blend with the stale ones.
    if (d_renderWasOff) interpolation = 0.0f;
    d_renderWasOff = false;
    d_interpolation = interpolation;
    if (pEffectManager) pEffectManager->Render(interpolation);
    char text[32];
    snprintf(text, sizeof text, "Num effects = %u", d_numInUse);
    // The level may be drawn in a viewport of its own, which would clip the line away: like the
    // frame statistics it goes over the scene's whole picture, and the level's viewport comes back.
    IDirect3DDevice9* pDevice = D3DCore.BegunScene ? DXInterface.ID3DDevice : nullptr;
    if (pDevice) pDevice->SetViewport(&D3DCore.FrameViewPort);
    drawDebugText(text, 10, 200);
    if (pDevice) pDevice->SetViewport(&D3DCore.LastViewPort);
}

// ---- Device rebuild ----

void CEffectObjectResourceManager::deviceReset()
{
    if (CGameObjectManager* pObjects = listingObjectManager(this)) pObjects->clearDefinitions(MANAGER_EFFECTS);
    std::vector<resDef> names(pEffectDefinitions, pEffectDefinitions + numEffectDefinitions);

    std::vector<SavedEffect> saved;
    for (uint32_t slot = 0; slot < MAX_EFFECT_OBJECTS && saved.size() < d_numInUse; ++slot) {
        CParticleSystemEffect* pObject = pEffects[slot];
        if (!pObject) continue;
        SavedEffect record{slot, pObject, {}, Vector3(), Matrix3(), false};
        if (pObject->definition) snprintf(record.name, sizeof record.name, "%s", pObject->definition->typeName);
        if (pObject->getEffectObjectKind() == 1 && pObject->isLive() && pObject->pEffect) {
            record.position = pObject->pEffect->GetPosition();
            record.orientation = pObject->pEffect->GetOrientation();
            record.restart = true;
        }
        saved.push_back(record);
    }
    for (SavedEffect& record : saved) {
        if (!record.restart) continue;
        CParticleSystemEffect* pObject = record.pObject;
        if (pObject->flags & CParticleSystemEffect::FLAG_NONZERO_WORD) record.restart = false;
        // The end callback releases an object its owner let go.
        pEffectManager->DestroyEffect(pObject->pEffect);
        if (pEffects[record.slot] != pObject) {
            record.restart = false;
            record.pObject = nullptr;
            continue;
        }
        pObject->pEffect = nullptr;
    }

    for (const resDef& def : names) pEffectManager->UnprecacheEffect(def.typeName);
    delete pEffectManager;
    pEffectManager = nullptr;
    if (projDataExists()) getProjData().destroyVBManager();
    createEffectManager();
    numEffectDefinitions = 0;
    precacheAll();

    restartEffects(saved.data(), static_cast<uint32_t>(saved.size()));
    if (CGameObjectManager* pObjects = listingObjectManager(this)) pObjects->reloadDefinitions(MANAGER_EFFECTS);
}

void CEffectObjectResourceManager::restartEffects(SavedEffect* pSaved, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        SavedEffect& record = pSaved[i];
        CParticleSystemEffect* pObject = record.pObject;
        // Objects released on the way (by an effect that ended) are gone.
        if (!pObject || pEffects[record.slot] != pObject) continue;
        pObject->setResourceHandle(makeHandle(MANAGER_EFFECTS, pCurrentKey[record.slot], record.slot));
        // The table was made anew: every object finds its definition again by name.
        resDef* pDef = record.name[0] ? findDefinition(record.name) : nullptr;
        if (!pDef && record.name[0] && addDefinition(record.name, nullptr)) pDef = findDefinition(record.name);
        pObject->definition = pDef;
        if (!record.restart) continue;
        if (!pDef) {
            pObject->flags &= ~CParticleSystemEffect::FLAG_LIVE;
            continue;
        }
        CEffect* pEffect = pEffectManager->CreateEffect(pDef->typeName, record.position, record.orientation, 0,
                                                        CParticleSystemEffect::endCallback, pObject);
        if (pEffect) {
            pObject->pEffect = pEffect;
            pObject->flags |= CParticleSystemEffect::FLAG_LIVE;
            continue;
        }
        pObject->flags &= ~CParticleSystemEffect::FLAG_LIVE;
        if (!(pObject->flags & CParticleSystemEffect::FLAG_HELD))
            release(pObject->getResourceHandle());
        else
            pObject->pEffect = nullptr;
    }
}
