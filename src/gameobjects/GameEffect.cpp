#include "gameobjects/GameEffect.h"

#include "ai/Events.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "gameobjects/SampleObjectParts.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"

#include <cstring>

using namespace sampleparts;

namespace {

const char* const NO_PARENT = "SYS_NONE";

void switchOnInput(EventValue, CGameObject* pThis)
{
    if (VERIFY(pThis)) static_cast<CGameEffect*>(pThis)->switchOn();
}

void switchOffInput(EventValue, CGameObject* pThis)
{
    if (VERIFY(pThis)) static_cast<CGameEffect*>(pThis)->switchOff();
}

}  // namespace

CGameEffect::CGameEffect()
    : CGameObject(TYPE_ID), d_parentHandle(0), d_pEffect(nullptr), d_effectHandle(0), d_parentName{},
      d_effectName{}, d_restartPeriod(0), d_lastRestartTime(0)
{
    d_treeEligible = 0;
}

CGameEffect::~CGameEffect() { stopEffect(); }

bool CGameEffect::initFromParamBlock(CParamBlock* pBlock, resourceHandle creator)
{
    if (!CGameObject::initFromParamBlock(pBlock, creator)) return false;
    int inputOn = 0, inputOff = 0, restartable = 0;
    if (!pBlock->parseInt("Input_OnOn", &inputOn) || !pBlock->parseInt("Input_OnOff", &inputOff) ||
        !pBlock->parseInt("Restartable", &restartable))
        return false;
    if (restartable != 0) {
        int period = 0;
        if (!pBlock->parseInt("Time_period", &period)) return false;
        // A negative period is reported and the effect simply not restarted.
        if (period >= 0)
            d_restartPeriod = static_cast<uint32_t>(period);
        else
            assertFailed("tmp>=0", __FILE__, __LINE__);
    }
    if ((inputOn > 0 || inputOff > 0) && !d_pMssgHandler) {
        d_pMssgHandler = CEvents::allocate(getResourceHandle());
        if (!d_pMssgHandler) assertFailed("pM", __FILE__, __LINE__);
    }
    if (d_pMssgHandler) {
        if (inputOn > 0) d_pMssgHandler->addInProcess(CEvents::ON_ON, switchOnInput);
        if (inputOff > 0) d_pMssgHandler->addInProcess(CEvents::ON_OFF, switchOffInput);
    }
    float position[3], angles[3];
    if (!pBlock->parseVector("position", position) || !pBlock->parseOrientation("orientation", angles)) return false;
    d_position.set(position[0], position[1], position[2]);
    matrix3FromAngles(angles[0], angles[1], angles[2], d_orientation);

    const int parentSize = pBlock->parseStringGetSize("Position_Parent");
    if (parentSize <= 0) return false;
    // A name that cannot be held is not cut to one that might name somebody else.
    if (static_cast<uint32_t>(parentSize) > NAME_LENGTH) {
        assertFailed("strlen( tmpStr ) < NAME_LENGTH", __FILE__, __LINE__);
        return false;
    }
    pBlock->parseString("Position_Parent", d_parentName);
    if (std::strcmp(d_parentName, NO_PARENT) == 0) d_parentName[0] = '\0';

    const int nameSize = pBlock->parseStringGetSize("name");
    if (nameSize <= 0 || !VERIFY(static_cast<size_t>(nameSize) <= sizeof d_effectName)) return false;
    pBlock->parseString("name", d_effectName);
    return startEffect();
}

void CGameEffect::stopEffect()
{
    if (!d_pEffect) return;
    d_pEffect->stop();
    if (CGameObjectManager* pObjects = pTheObjectManager) pObjects->releaseResource(d_effectHandle);
    d_pEffect = nullptr;
    d_effectHandle = 0;
}

bool CGameEffect::startEffect()
{
    stopEffect();
    CGameObjectManager* pObjects = objects();
    if (!pObjects) return false;
    uint32_t typeId = 0;
    const bool known = pObjects->findTypeId(CResourceManager::MANAGER_EFFECTS, d_effectName, &typeId);
    if (!known && !pObjects->addDefinition(CResourceManager::MANAGER_EFFECTS, d_effectName, &typeId)) return false;
    resourceHandle handle = 0;
    if (!pObjects->instantiateResource(CResourceManager::MANAGER_EFFECTS, typeId, &handle)) return true;
    CResource* pResource = nullptr;
    if (!pObjects->acquireResource(handle, &pResource)) return known;
    auto* pEffect = static_cast<CParticleSystemEffect*>(pResource);
    const bool isEffect = VERIFY(pResource->getResourceType() == CResource::RESOURCETYPE_EFFECT);
    if (isEffect && pEffect->getEffectObjectKind() != EFFECT_EFFECT)
        assertFailed("pGameEffect->getEffectType() == CGameEffect::EFFECT_EFFECT", __FILE__, __LINE__);
    if (!isEffect || pEffect->getEffectObjectKind() != EFFECT_EFFECT) {
        pObjects->releaseResource(handle);
        return false;
    }
    if (!pEffect->start(d_position, d_orientation, 0)) {
        pObjects->releaseResource(handle);
        return false;
    }
    d_pEffect = pEffect;
    d_effectHandle = handle;
    return true;
}

bool CGameEffect::followParent()
{
    CGameObjectManager* pObjects = objects();
    if (!pObjects) return false;
    if (d_parentHandle == 0 && !pObjects->findHandleByName(d_parentName, &d_parentHandle)) return false;
    CResource* pResource = nullptr;
    if (!pObjects->acquireResource(d_parentHandle, &pResource)) return false;
    if (!VERIFY(pResource) || !VERIFY(pResource->getResourceType() == CResource::RESOURCETYPE_GAMEOBJECT))
        return true;
    auto* pParent = static_cast<CGameObject*>(pResource);
    Vector3 position;
    if (!d_pEffect || !pParent->GetCurrentPosition(&position)) return true;
    position.z += PARENT_HEIGHT;
    // A parent without an orientation of its own leaves the effect's.
    const Matrix3* pOrientation = nullptr;
    if (pParent->getOrientationMatrix(&pOrientation) && pOrientation)
        d_pEffect->setPositionAndOrientation(position, *pOrientation);
    else
        d_pEffect->setPosition(position);
    return true;
}

bool CGameEffect::think(int)
{
    const uint32_t now = gameTime();
    if (d_restartPeriod > 0 && now - d_lastRestartTime > d_restartPeriod) {
        d_lastRestartTime = now;
        startEffect();
    }
    if (d_parentName[0] && !followParent()) stopEffect();
    return false;
}

void CGameEffect::switchOn()
{
    if (d_pEffect) d_pEffect->unpauseEmitters();
}

void CGameEffect::switchOff()
{
    if (d_pEffect) d_pEffect->pauseEmitters();
}

bool CGameEffect::GetCurrentPosition(Vector3* pPosition)
{
    *pPosition = d_position;
    return true;
}
