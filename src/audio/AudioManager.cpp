#include "audio/AudioManager.h"

bool CSilentAudioResourceManager::s_failInit = false;

CAudioManager::CAudioManager()
    : m_defaultMinDistance(250.0f), m_defaultMaxDistance(1.0e9f), m_pDevice(new CSilentAudioResourceManager)
{
}

CAudioManager::~CAudioManager()
{
    Shutdown();
    delete m_pDevice;
}

bool CAudioManager::Init()
{
    // Audio seam: the DirectSound device is tried first and the silent one kept only when it fails.
    return m_pDevice->Init();
}

void CAudioManager::Shutdown() { m_pDevice->Shutdown(); }
