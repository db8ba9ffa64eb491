#include "gameobjects/ParticleSystemEffect.h"

#include "effects/Effect.h"
#include "effects/EffectManager.h"
#include "effects/MultiEffect.h"
#include "gamemanagement/GameMemoryManager.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "utility/Assert.h"

CGameMemoryManager* effectMemoryManager = nullptr;

CParticleSystemEffect::CParticleSystemEffect(resourceHandle handle, resDef* pDefinition)
    : pEffect(nullptr), definition(pDefinition), flags(0)
{
    setResourceHandle(handle);
}

CParticleSystemEffect::~CParticleSystemEffect()
{
    if (isLive()) stop();
}

void* CParticleSystemEffect::operator new(size_t size) noexcept
{
    void* pBlock = nullptr;
    if (effectMemoryManager && effectMemoryManager->allocate(CResourceManager::MANAGER_EFFECTS, size, &pBlock))
        return pBlock;
    assertFailedMsg("Effect object resource manager failed to allocate : out of memory slots", "0", __FILE__,
                    __LINE__);
    return nullptr;
}

void CParticleSystemEffect::operator delete(void* pBlock, size_t size) noexcept
{
    if (pBlock && VERIFY(effectMemoryManager)) effectMemoryManager->free(CResourceManager::MANAGER_EFFECTS, size, pBlock);
}

bool CParticleSystemEffect::start(const Vector3& position, const Matrix3& orientation, uintptr_t creationWord)
{
    if (!definition) return false;
    // No effect may keep calling back an object that has moved on to another.
    if (isLive()) stop();
    if (!VERIFY(pTheEffectManager)) return false;
    CEffect* pNew =
        pTheEffectManager->CreateEffect(definition->typeName, position, orientation, creationWord, endCallback, this);
    if (!pNew) return false;
    pEffect = pNew;
    flags = FLAG_LIVE | FLAG_HELD | (creationWord != 0 ? uint32_t(FLAG_NONZERO_WORD) : 0u);
    return true;
}

bool CParticleSystemEffect::stop()
{
    if (!isLive()) return true;
    flags &= ~FLAG_LIVE;
    CEffect* pEnding = pEffect;
    pEffect = nullptr;
    // The end callback may release this object: nothing of it is touched afterwards.
    if (pEnding && VERIFY(pTheEffectManager)) pTheEffectManager->DestroyEffect(pEnding);
    return true;
}

void CParticleSystemEffect::endCallback(CEffect*, void* pContext)
{
    auto* pThis = static_cast<CParticleSystemEffect*>(pContext);
    if (!VERIFY(pThis)) return;
    pThis->flags &= ~FLAG_LIVE;
    pThis->pEffect = nullptr;
    if (!(pThis->flags & FLAG_HELD) && VERIFY(pTheEffectObjectManager))
        pTheEffectObjectManager->release(pThis->getResourceHandle());
}

void CParticleSystemEffect::release()
{
    // The blank object's handle releases nothing.
    flags &= ~FLAG_HELD;
    if (!isLive() && VERIFY(pTheEffectObjectManager)) pTheEffectObjectManager->release(getResourceHandle());
}

void CParticleSystemEffect::setPosition(const Vector3& position)
{
    if (definition && isLive() && VERIFY(pEffect)) pEffect->SetPosition(position);
}

void CParticleSystemEffect::setOrientation(const Matrix3& orientation)
{
    if (definition && isLive() && VERIFY(pEffect)) pEffect->SetOrientation(orientation);
}

void CParticleSystemEffect::setPositionAndOrientation(const Vector3& position, const Matrix3& orientation)
{
    setPosition(position);
    setOrientation(orientation);
}

void CParticleSystemEffect::trigger()
{
    if (!definition || !isLive() || !VERIFY(pEffect)) return;
    if (pEffect->GetType() == CEffect::TYPE_PARTICLESYSTEM)
        pEffect->TriggerEmitter();
    else if (auto* pMulti = dynamic_cast<CMultiEffect*>(pEffect))
        pMulti->Trigger();
}

void CParticleSystemEffect::pauseEmitters()
{
    if (!definition || !isLive() || !VERIFY(pEffect)) return;
    const int type = pEffect->GetType();
    if (type == CEffect::TYPE_PARTICLESYSTEM || type == CEffect::TYPE_MULTIEFFECT) pEffect->PauseEmitter();
}

void CParticleSystemEffect::unpauseEmitters()
{
    if (!definition || !isLive() || !VERIFY(pEffect)) return;
    const int type = pEffect->GetType();
    if (type == CEffect::TYPE_PARTICLESYSTEM || type == CEffect::TYPE_MULTIEFFECT) pEffect->UnpauseEmitter();
}
