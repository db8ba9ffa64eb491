#include "kestrune/ClumpManager.h"

#include "audio/AudioManager.h"
#include "global/ProjData.h"
#include "l3render/ModelManager.h"
#include "utility/Assert.h"
#include "weapons/WeaponDescription.h"

#include <algorithm>

CClumpType::CClumpType()
{
    std::fill(particleEffect, particleEffect + MAX_CLUMP_ELEMENT_STATES, NO_EFFECT);
    std::fill(stateSound, stateSound + MAX_CLUMP_ELEMENT_STATES, NO_SOUND);
}

CClumpManager::CClumpManager(const SClumpEffectObjects* pEffectObjects) : d_pEffectObjects(pEffectObjects) {}

CClumpManager::~CClumpManager() { Unload(); }

void CClumpManager::Unload()
{
    for (uint32_t t = 0; d_pClumpTypeList && t < d_numClumpTypes; ++t) {
        CClumpType& type = d_pClumpTypeList[t];
        delete type.pFireWeapon;
        type.pFireWeapon = nullptr;
        delete[] type.pClumpList;
        type.pClumpList = nullptr;
        type.numClumps = 0;
    }
    delete[] d_pClumpTypeList;
    d_pClumpTypeList = nullptr;
    d_numClumpTypes = 0;
    for (uint32_t i = 0; d_ppModelList && i < d_numModels; ++i)
        if (d_ppModelList[i]) CModelManager::ReleaseModel(d_ppModelList[i], true);
    delete[] d_ppModelList;
    d_ppModelList = nullptr;
    d_numModels = 0;
    // At the game's shutdown the audio manager goes first, and its samples with it.
    CAudioManager* pAudio = projDataExists() ? getProjData().getAudioManager() : nullptr;
    for (uint32_t i = 0; pAudio && d_pSoundResourceList && i < d_numSoundResources; ++i)
        if (d_pSoundResourceList[i]) pAudio->ReleaseSample(d_pSoundResourceList[i]);
    delete[] d_pSoundResourceList;
    d_pSoundResourceList = nullptr;
    d_numSoundResources = 0;
    d_maxElements = 0;
}

CModel* CClumpManager::GetModel(uint32_t index)
{
    if (!VERIFY(d_ppModelList) || !VERIFY(index < d_numModels)) return nullptr;
    return d_ppModelList[index];
}

CClumpType* CClumpManager::GetClumpType(uint32_t type)
{
    if (!VERIFY(d_pClumpTypeList) || !VERIFY(type < d_numClumpTypes)) return nullptr;
    return &d_pClumpTypeList[type];
}

bool CClumpManager::GetStateEffect(uint32_t clumpType, uint32_t state, uint32_t* pId)
{
    if (!VERIFY(d_pClumpTypeList) || !VERIFY(clumpType < d_numClumpTypes) ||
        !VERIFY(state < MAX_CLUMP_ELEMENT_STATES) || !VERIFY(pId))
        return false;
    const uint32_t id = d_pClumpTypeList[clumpType].particleEffect[state];
    if (id == CClumpType::NO_EFFECT) return false;
    *pId = id;
    return true;
}

bool CClumpManager::StartEffect(uint32_t effectTypeId, const Vector3& position)
{
    const SClumpEffectObjects* pObjects = d_pEffectObjects;
    if (!VERIFY(pObjects)) return true;
    uint32_t slot = MAX_HELD_EFFECTS;
    for (uint32_t k = 0; k < MAX_HELD_EFFECTS && slot == MAX_HELD_EFFECTS; ++k) {
        const uint32_t s = (d_nextEffect + k) % MAX_HELD_EFFECTS;
        CParticleSystemEffect* pHeld = d_pEffects[s];
        if (pHeld && !pObjects->isRunning(pHeld)) {
            // Its effect has ended: the slot is free again.
            pObjects->release(pHeld, true);
            d_pEffects[s] = pHeld = nullptr;
        }
        if (!pHeld) slot = s;
    }
    if (slot == MAX_HELD_EFFECTS) return false;
    CParticleSystemEffect* pEffect = pObjects->start(effectTypeId, position);
    if (!pEffect) return true;
    d_pEffects[slot] = pEffect;
    d_nextEffect = (d_nextEffect + 1) % MAX_HELD_EFFECTS;
    return true;
}

bool CClumpManager::SetTypeState(uint32_t clumpType, uint32_t state, const Vector3& position)
{
    uint32_t effect = 0;
    if (!GetStateEffect(clumpType, state, &effect)) return false;
    StartEffect(effect, position);
    return true;
}

bool CClumpManager::PlayClumpSound(uint32_t id, const Vector3& position, float volume, float minDistance,
                                   int32_t* pVoice)
{
    if (id == CClumpType::NO_SOUND) return false;
    if (!VERIFY(id < d_numSoundResources) || !d_pSoundResourceList || !d_pSoundResourceList[id]) return false;
    CAudioManager* pAudio = projDataExists() ? getProjData().getAudioManager() : nullptr;
    if (!VERIFY(pAudio)) return false;
    const int32_t voice = pAudio->Play(d_pSoundResourceList[id], 0, 0, volume, 1.0f, position.x, position.y,
                                       position.z, minDistance > 0.0f ? minDistance : -1.0f, -1.0f, -1, 0, 1);
    if (pVoice) *pVoice = voice;
    return true;
}

void CClumpManager::ReleaseHeldObjects()
{
    for (CParticleSystemEffect*& pHeld : d_pEffects) {
        if (pHeld && VERIFY(d_pEffectObjects)) d_pEffectObjects->release(pHeld, false);
        pHeld = nullptr;
    }
    d_nextEffect = 0;
}

void CClumpManager::UpdateFireWeapons()
{
    for (uint32_t t = 0; d_pClumpTypeList && t < d_numClumpTypes; ++t)
        if (d_pClumpTypeList[t].pFireWeapon) d_pClumpTypeList[t].pFireWeapon->Update(FIRE_WEAPON_STEP_MS);
}
