#include "effects/particlesystem/ParticleEffect.h"

#include "audio/AudioManager.h"
#include "effects/EffectKinds.h"
#include "effects/particlesystem/ParticleController.h"
#include "effects/particlesystem/ParticleEmitter.h"
#include "effects/particlesystem/ParticleRandom.h"
#include "effects/particlesystem/ParticleSystem.h"
#include "global/ProjData.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"

#include <cstring>
#include <new>

namespace {

const char* const NONE = "SYS_NONE";

CAudioManager* audioManager() { return projDataExists() ? getProjData().getAudioManager() : nullptr; }

// Reports why a definition is refused; false.
bool refused(const char* reason, const char* what)
{
    assertFailedMsg(definitionFault(concatStrings(reason, what)), "false", __FILE__, __LINE__);
    return false;
}

// An effect name key: false when it is missing; "SYS_NONE" (exactly so) gives an empty name. A
// name too long to be an effect's is reported and taken as none. The effect is precached at once,
// while the manager holds the blocks it must stand in; whether that works shows when it starts.
bool readEffectName(CEffectManager& manager, const CParamBlock* pBlock, const char* key,
                    char (&name)[CParticleEffectDefinition::EFFECT_NAME_SIZE])
{
    char text[256];
    name[0] = '\0';
    if (!pBlock->parseString(key, text)) return false;
    if (strcmp(text, NONE) == 0) return true;
    if (!VERIFY_MSG(strlen(text) < sizeof(name), definitionFault(concatStrings("Effect name too long: ", text)))) return true;
    strcpy(name, text);
    manager.PrecacheEffect(name);
    return true;
}

// An effect name followed by its frame keys, which are required unless the name is none (then
// they take their defaults).
bool readTimedEffect(CEffectManager& manager, const CParamBlock* pBlock, const char* key,
                     char (&name)[CParticleEffectDefinition::EFFECT_NAME_SIZE], const char* frameKey,
                     int32_t* pFrame, int32_t noneFrame, const char* variationKey = nullptr,
                     int32_t* pVariation = nullptr)
{
    if (!readEffectName(manager, pBlock, key, name)) return refused("A particle system needs the key ", key);
    if (!name[0]) {
        *pFrame = noneFrame;
        if (pVariation) *pVariation = 0;
        return true;
    }
    if (!pBlock->parseInt(frameKey, pFrame)) return refused("A particle system needs the key ", frameKey);
    if (variationKey && !pBlock->parseInt(variationKey, pVariation))
        return refused("A particle system needs the key ", variationKey);
    return true;
}

// A sample name key: none when missing or "SYS_NONE", else the sample loaded for 3D play.
SAudioFile* readSample(const CParamBlock* pBlock, const char* key)
{
    char name[SAudioFile::MAX_NAME];
    if (!pBlock->parseString(key, name) || strcmp(name, NONE) == 0) return nullptr;
    CAudioManager* pAudio = audioManager();
    return pAudio ? pAudio->LoadSample3D(name, 1) : nullptr;
}

// period +- variation added to a frame, kept within 32 bits.
int32_t advancedPeriod(int32_t frame, int32_t period, int32_t variation)
{
    const int64_t next = static_cast<int64_t>(frame) + particleRandomPeriod(period, variation);
    return next > INT32_MAX ? INT32_MAX : (next < INT32_MIN ? INT32_MIN : static_cast<int32_t>(next));
}

}  // namespace

// The definition.

CParticleEffectDefinition::CParticleEffectDefinition()
    : m_pParticleSystemDefinition(nullptr), m_pEmitterDefinition(nullptr), m_pControllerDefinition(nullptr),
      m_emitterFactory(nullptr), m_controllerFactory(nullptr), m_particleSystemFactory(nullptr), Active_Frames(1),
      Inactive_Frames(0), OnCollision{}, OnParticleDeath{}, OnSystemDeath{}, OnTime{}, OnTimeTime(-1), OnPeriod{},
      OnPeriodPeriod(0), OnPeriodVariation(0), OnTimeParticle{}, OnTimeParticleTime(-1), OnPeriodParticle{},
      OnPeriodParticlePeriod(0), OnPeriodParticleVariation(0), PointConsumer{}, m_pLaunchSample(nullptr),
      m_pCollisionSample(nullptr), m_pParticleDeathSample(nullptr), m_pSystemDeathSample(nullptr),
      m_pTimeSample(nullptr), m_pPeriodSample(nullptr), m_launchVolume(1.0f), m_launchMinDistance(250.0f),
      m_collisionVolume(1.0f), m_collisionMinDistance(250.0f), m_periodVolume(1.0f), m_periodMinDistance(250.0f)
{
}

CParticleEffectDefinition::~CParticleEffectDefinition()
{
    SAudioFile* samples[] = {m_pLaunchSample, m_pCollisionSample, m_pParticleDeathSample,
                             m_pSystemDeathSample, m_pTimeSample, m_pPeriodSample};
    CAudioManager* pAudio = audioManager();
    for (SAudioFile* pSample : samples)
        if (pSample && pAudio) pAudio->ReleaseSample(pSample);
    delete m_pParticleSystemDefinition;
    delete m_pEmitterDefinition;
    delete m_pControllerDefinition;
}

bool CParticleEffectDefinition::Read(CEffectManager& manager, const CParamBlock* pBlock)
{
    pBlock->parseInt("Active_Frames", &Active_Frames);
    pBlock->parseInt("Inactive_Frames", &Inactive_Frames);
    // The emission test takes the frame modulo their sum.
    if (static_cast<int64_t>(Active_Frames) + Inactive_Frames == 0)
        return refused("Active_Frames + Inactive_Frames must not be 0", "");

    if (!readEffectName(manager, pBlock, "OnCollision", OnCollision))
        return refused("A particle system needs the key ", "OnCollision");
    if (!readEffectName(manager, pBlock, "OnParticleDeath", OnParticleDeath))
        return refused("A particle system needs the key ", "OnParticleDeath");
    if (!readEffectName(manager, pBlock, "OnSystemDeath", OnSystemDeath))
        return refused("A particle system needs the key ", "OnSystemDeath");
    if (!readTimedEffect(manager, pBlock, "OnTime", OnTime, "OnTimeTime", &OnTimeTime, -1) ||
        !readTimedEffect(manager, pBlock, "OnPeriod", OnPeriod, "OnPeriodPeriod", &OnPeriodPeriod, 0, "OnPeriodVariation",
                         &OnPeriodVariation) ||
        !readTimedEffect(manager, pBlock, "OnTimeParticle", OnTimeParticle, "OnTimeParticleTime", &OnTimeParticleTime, -1) ||
        !readTimedEffect(manager, pBlock, "OnPeriodParticle", OnPeriodParticle, "OnPeriodParticlePeriod",
                         &OnPeriodParticlePeriod, 0, "OnPeriodParticleVariation", &OnPeriodParticleVariation))
        return false;

    m_pLaunchSample = readSample(pBlock, "OnLaunchSound");
    pBlock->parseFloat("OnLaunchSoundVolume", &m_launchVolume);
    pBlock->parseFloat("OnLaunchSoundMinDistance", &m_launchMinDistance);
    m_pCollisionSample = readSample(pBlock, "OnCollisionSound");
    pBlock->parseFloat("OnCollisionSoundVolume", &m_collisionVolume);
    pBlock->parseFloat("OnCollisionSoundMinDistance", &m_collisionMinDistance);
    m_pParticleDeathSample = readSample(pBlock, "OnParticleDeathSound");
    m_pSystemDeathSample = readSample(pBlock, "OnSystemDeathSound");
    m_pTimeSample = readSample(pBlock, "OnTimeSound");
    m_pPeriodSample = readSample(pBlock, "OnPeriodSound");
    pBlock->parseFloat("OnPeriodSoundVolume", &m_periodVolume);
    pBlock->parseFloat("OnPeriodSoundMinDistance", &m_periodMinDistance);
    readEffectName(manager, pBlock, "PointConsumer", PointConsumer);

    // The parts, by position: particle system, controller, emitter.
    if (pBlock->getNumBlocks() != 3)
        return refused("A particle system needs three parts: particles, controller, emitter", "");
    CParamBlock* pParts[3] = {};
    for (uint32_t i = 0; i < 3; ++i)
        if (!pBlock->getBlock(i, &pParts[i])) return false;
    SParticleSystemKind* pSystemKind = FindParticleSystemKind(pParts[0]->getName());
    SControllerKind* pControllerKind = FindControllerKind(pParts[1]->getName());
    SEmitterKind* pEmitterKind = FindEmitterKind(pParts[2]->getName());
    if (!pSystemKind) return refused("Unknown particle kind ", pParts[0]->getName());
    if (!pControllerKind) return refused("Unknown particle controller ", pParts[1]->getName());
    if (!pEmitterKind) return refused("Unknown particle emitter ", pParts[2]->getName());
    m_particleSystemFactory = pSystemKind->factory;
    m_controllerFactory = pControllerKind->factory;
    m_emitterFactory = pEmitterKind->factory;
    return pSystemKind->reader(pParts[0], &m_pParticleSystemDefinition) &&
           pControllerKind->reader(pParts[1], &m_pControllerDefinition) &&
           pEmitterKind->reader(pParts[2], &m_pEmitterDefinition);
}

bool ReadParticleEffectDefinition(CEffectManager& manager, const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    if (!*ppDefinition) *ppDefinition = new (std::nothrow) CParticleEffectDefinition;
    CParticleEffectDefinition* pDefinition = dynamic_cast<CParticleEffectDefinition*>(*ppDefinition);
    if (!pDefinition) return false;
    pDefinition->ReadCommonKeys(block);
    return pDefinition->Read(manager, &block);
}

// The effect.

CEffect* CreateParticleEffect(CEffectManager& manager, CEffectDefinition* pDefinition, uintptr_t creationWord,
                              const Vector3& position, const Matrix3& orientation)
{
    CEffect* pEffect = NewEffectOfKind<CParticleEffect, CParticleEffectDefinition>(manager, pDefinition, creationWord,
                                                                                  position, orientation);
    // Never a half-built effect.
    if (pEffect && !static_cast<CParticleEffect*>(pEffect)->IsBuilt()) {
        delete pEffect;
        pEffect = nullptr;
    }
    return pEffect;
}

CParticleEffect::CParticleEffect(CEffectManager* pManager, CParticleEffectDefinition* pDefinition,
                                 uintptr_t creationWord, const Vector3& position, const Matrix3& orientation)
    : CEffect(pManager, pDefinition, creationWord, position, orientation), m_pParticleDefinition(pDefinition),
      m_pEmitter(nullptr), m_pController(nullptr), m_pParticleSystem(nullptr), m_emitterPaused(0), m_frame(0),
      m_nextPeriod(0), m_pNextParticlePeriods(nullptr)
{
    const CParticleEffectDefinition& def = *pDefinition;
    const ParticleEffectExtraData* pExtra = reinterpret_cast<const ParticleEffectExtraData*>(creationWord);
    m_pParticleSystem = def.m_particleSystemFactory(this, def.m_pParticleSystemDefinition,
                                                     pExtra ? pExtra->pParticleSystemData : nullptr);
    if (m_pParticleSystem && !m_pParticleSystem->IsAllocated()) {
        delete m_pParticleSystem;
        m_pParticleSystem = nullptr;
    }
    if (!m_pParticleSystem) return;
    m_pController = def.m_controllerFactory(this, def.m_pControllerDefinition, pExtra ? pExtra->pControllerData : nullptr);
    if (!m_pController) return;
    m_pEmitter = def.m_emitterFactory(this, def.m_pEmitterDefinition, pExtra ? pExtra->pEmitterData : nullptr);
    if (!m_pEmitter) return;

    m_nextPeriod = particleRandomPeriod(def.OnPeriodPeriod, def.OnPeriodVariation);
    const int32_t count = m_pParticleSystem->GetCount();
    if (count > 0) {
        m_pNextParticlePeriods = new (std::nothrow) int32_t[static_cast<size_t>(count)];
        if (!m_pNextParticlePeriods) {
            delete m_pEmitter;
            m_pEmitter = nullptr;
            return;
        }
        for (int32_t i = 0; i < count; ++i)
            m_pNextParticlePeriods[i] = particleRandomPeriod(def.OnPeriodParticlePeriod, def.OnPeriodParticleVariation);
    }
    // The consumer follows every particle, from the effect's position until they are launched.
    if (def.PointConsumer[0]) {
        for (int32_t i = 0; i < count; ++i) m_pParticleSystem->SetPosition(i, m_position);
        CEffect* pConsumer = m_pManager->CreateEffect(def.PointConsumer, m_position, m_orientation, creationWord,
                                                      nullptr, nullptr);
        if (pConsumer) {
            LinkEffect(pConsumer);
            pConsumer->SetFollowedPoints(static_cast<uint32_t>(count), m_pParticleSystem->GetPositions());
        }
    }
    if (def.m_pLaunchSample) RunEvent("", def.m_pLaunchSample, def.m_launchVolume, def.m_launchMinDistance, m_position);
}

CParticleEffect::~CParticleEffect()
{
    delete m_pEmitter;
    delete m_pController;
    delete m_pParticleSystem;
    delete[] m_pNextParticlePeriods;
}

bool CParticleEffect::IsBuilt() const { return m_pParticleSystem && m_pController && m_pEmitter; }

bool CParticleEffect::Update()
{
    const CParticleEffectDefinition& def = *m_pParticleDefinition;
    if (!m_pParticleSystem->IsActive()) {
        RunEvent(def.OnSystemDeath, def.m_pSystemDeathSample, 1.0f, -1.0f, m_position);
        return false;
    }
    if (m_frame == def.OnTimeTime) RunEvent(def.OnTime, def.m_pTimeSample, 1.0f, -1.0f, m_position);
    const int32_t count = m_pParticleSystem->GetCount();
    if (m_frame == def.OnTimeParticleTime && def.OnTimeParticle[0]) {
        for (int32_t i = 0; i < count; ++i)
            if (m_pParticleSystem->GetState(i) == PARTICLE_ALIVE)
                RunEvent(def.OnTimeParticle, nullptr, 1.0f, -1.0f, m_pParticleSystem->GetPosition(i));
    }
    if (m_frame == m_nextPeriod) {
        // The timer runs on while paused; only the event is held back.
        if (!m_emitterPaused)
            RunEvent(def.OnPeriod, def.m_pPeriodSample, def.m_periodVolume, def.m_periodMinDistance, m_position);
        m_nextPeriod = advancedPeriod(m_nextPeriod, def.OnPeriodPeriod, def.OnPeriodVariation);
    }
    if (def.OnPeriodParticle[0]) {
        for (int32_t i = 0; i < count; ++i) {
            if (m_pNextParticlePeriods[i] != m_frame || m_pParticleSystem->GetState(i) != PARTICLE_ALIVE) continue;
            if (!m_emitterPaused) RunEvent(def.OnPeriodParticle, nullptr, 1.0f, -1.0f, m_pParticleSystem->GetPosition(i));
            m_pNextParticlePeriods[i] =
                advancedPeriod(m_pNextParticlePeriods[i], def.OnPeriodParticlePeriod, def.OnPeriodParticleVariation);
        }
    }
    m_pParticleSystem->Update(m_position, m_orientation);
    m_pController->Update(m_position, m_orientation);
    // The reader refused a cycle of no frames.
    const int64_t cycle = static_cast<int64_t>(def.Active_Frames) + def.Inactive_Frames;
    if (m_frame % cycle < def.Active_Frames && !m_emitterPaused) m_pEmitter->Emit(m_position, m_orientation);
    ++m_frame;
    return true;
}

void CParticleEffect::Render(int pass, float interpolation) { m_pParticleSystem->Render(pass, interpolation); }

bool CParticleEffect::GetBounds(Vector3* pCentre, float* pRadius) const
{
    if (pCentre) *pCentre = m_position;
    if (pRadius) *pRadius = m_pParticleDefinition->EffectRadius;
    return true;
}

void CParticleEffect::PauseEmitter()
{
    m_emitterPaused = 1;
    m_pEmitter->Reset();
}

void CParticleEffect::UnpauseEmitter()
{
    m_emitterPaused = 0;
    for (int32_t i = 0; i < m_pParticleSystem->GetCount(); ++i)
        if (m_pParticleSystem->GetState(i) == PARTICLE_WAITING) m_pParticleSystem->SetState(i, PARTICLE_UNLAUNCHED);
}

void CParticleEffect::Trigger(uint8_t respawn)
{
    m_pController->SetRespawn(respawn);
    for (int32_t i = 0; i < m_pParticleSystem->GetCount(); ++i)
        if (m_pParticleSystem->GetState(i) == PARTICLE_WAITING) m_pParticleSystem->SetState(i, PARTICLE_EXPIRED);
}

void CParticleEffect::OnCollision(const Vector3& point)
{
    const CParticleEffectDefinition& def = *m_pParticleDefinition;
    RunEvent(def.OnCollision, def.m_pCollisionSample, def.m_collisionVolume, def.m_collisionMinDistance, point);
}

void CParticleEffect::OnParticleDeath(const Vector3& point)
{
    RunEvent(m_pParticleDefinition->OnParticleDeath, m_pParticleDefinition->m_pParticleDeathSample, 1.0f, -1.0f,
             point);
}

void CParticleEffect::RunEvent(const char* pEffectName, SAudioFile* pSample, float volume, float minDistance,
                               const Vector3& point)
{
    if (pEffectName[0]) m_pManager->CreateEffect(pEffectName, point, Matrix3(), 0, nullptr, nullptr);
    if (!pSample) return;
    if (CAudioManager* pAudio = audioManager())
        pAudio->Play(pSample, 0, 0, volume, 1.0f, point.x, point.y, point.z, minDistance, -1.0f, -1, 0, 1);
}
