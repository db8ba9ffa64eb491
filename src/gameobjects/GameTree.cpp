#include "gameobjects/GameTree.h"

#include "gamemanagement/ResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "gameobjects/TreeClump.h"
#include "kestrune/ClumpManager.h"
#include "utility/Assert.h"

#include <cstdio>

namespace {

// The clumps' effects are effect objects of the level's object manager.
const SClumpEffectObjects clumpEffectObjects = {
    [](const char* pName, uint32_t* pTypeId) {
        return pTheObjectManager && pTheObjectManager->findTypeId(CResourceManager::MANAGER_EFFECTS, pName, pTypeId);
    },
    [](uint32_t typeId, const Vector3& position) -> CParticleSystemEffect* {
        CGameObjectManager* pObjects = pTheObjectManager;
        if (!VERIFY(pObjects)) return nullptr;
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        if (!pObjects->instantiateResource(CResourceManager::MANAGER_EFFECTS, typeId, &handle) ||
            !pObjects->acquireResource(handle, &pResource) || !pResource ||
            pResource->getResourceType() != CResource::RESOURCETYPE_EFFECT) {
            if (handle) pObjects->releaseResource(handle);
            return nullptr;
        }
        CParticleSystemEffect* pEffect = static_cast<CParticleSystemEffect*>(pResource);
        if (!pEffect->start(position, Matrix3(), 0)) {
            pObjects->releaseResource(handle);
            return nullptr;
        }
        return pEffect;
    },
    [](const CParticleSystemEffect* pEffect) { return pEffect->getEffect() != nullptr; },
    [](CParticleSystemEffect* pEffect, bool stop) {
        if (stop) pEffect->stop();
        if (VERIFY(pTheObjectManager)) pTheObjectManager->releaseResource(pEffect->getResourceHandle());
    },
};

}  // namespace

CClumpManager* CGameTree::d_pClumpManager = nullptr;
std::string CGameTree::s_fileName;
std::vector<uint32_t> CGameTree::s_treeClumps;
int32_t CGameTree::s_numBurning = 0;
int32_t CGameTree::s_burningLimit = CGameTree::BURNING_LIMIT;
uint32_t (*CGameTree::s_pLightColourAt)(const Vector3&) = nullptr;

bool CGameTree::loadTreeClumps(const char* pFileName, bool highDetail)
{
    if (!pFileName || !pFileName[0]) return false;
    unload();
    d_pClumpManager = new CClumpManager(&clumpEffectObjects);
    s_fileName = pFileName;
    d_pClumpManager->d_defaultFadeFar = DEFAULT_FADE_FAR;
    d_pClumpManager->d_defaultFadeNear = DEFAULT_FADE_NEAR;
    d_pClumpManager->d_defaultSecondFadeFar = DEFAULT_SECOND_FADE_FAR;
    d_pClumpManager->d_defaultSecondFadeNear = DEFAULT_SECOND_FADE_NEAR;
    s_burningLimit = highDetail ? BURNING_LIMIT_HIGH : BURNING_LIMIT;
    s_numBurning = 0;
    const int checksBefore = checksFailed();
    if (!d_pClumpManager->LoadClumpFile(pFileName)) {
        // A damaged file is one report: the loader, or the file it loaded that failed, has named it.
        if (checksFailed() == checksBefore)
            assertFailedMsg("Failed to load clumps file (non-fatal)", "0", __FILE__, __LINE__);
        d_pClumpManager->Unload();
        return false;
    }
    CGameObjectManager* pObjects = pTheObjectManager;
    if (!VERIFY(pObjects)) return false;
    for (uint32_t t = 0; t < d_pClumpManager->GetNumClumpTypes(); ++t) {
        const CClumpType* pType = d_pClumpManager->GetClumpType(t);
        for (uint32_t c = 0; pType && c < pType->numClumps; ++c) {
            const void* args[] = {&pType->pClumpList[c]};
            resourceHandle handle = 0;
            CResource* pResource = nullptr;
            if (!VERIFY(pObjects->createObjectFromCodeWithHandle(CTreeClump::TYPE_ID, &handle, 0, args)) ||
                !VERIFY(pObjects->acquireResource(handle, &pResource)))
                continue;
            s_treeClumps.push_back(handle);
            char name[32];
            std::snprintf(name, sizeof name, "Clump_%03u_%03u", t, c);
            pObjects->renameObject(static_cast<CGameObject*>(pResource), name);
        }
    }
    return true;
}

void CGameTree::unload()
{
    s_treeClumps.clear();
    if (!d_pClumpManager) return;
    // Without the object manager its effect objects are gone with it.
    if (pTheObjectManager) d_pClumpManager->ReleaseHeldObjects();
    d_pClumpManager->Unload();
    delete d_pClumpManager;
    d_pClumpManager = nullptr;
}

void CGameTree::resetAll()
{
    CGameObjectManager* pObjects = pTheObjectManager;
    for (uint32_t handle : s_treeClumps) {
        CResource* pResource = nullptr;
        if (!pObjects || !pObjects->acquireResource(handle, &pResource) || !pResource) {
            assertFailedMsg("Failed to acquire clump game object for reset", "0", __FILE__, __LINE__);
            continue;
        }
        static_cast<CTreeClump*>(pResource)->reset();
    }
}

void CGameTree::frameStep()
{
    if (d_pClumpManager) d_pClumpManager->UpdateFireWeapons();
}
