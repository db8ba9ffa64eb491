#include "audio/SilentAudioResourceManager.h"

#include "audio/AudioManager.h"

bool CSilentAudioResourceManager::s_failInit = false;

CSilentAudioResourceManager::CSilentAudioResourceManager(CAudioManager* pAudioManager)
    : m_pAudioManager(pAudioManager), m_nextSampleHandle(1), m_nextVoiceHandle(0), m_nextStreamHandle(0)
{
}

int32_t CSilentAudioResourceManager::StartVoice(uint32_t, float, float, bool, float, float, int32_t, uint32_t,
                                                uint32_t)
{
    m_startedVoices.push_back(m_nextVoiceHandle);
    return m_nextVoiceHandle++;
}

void CSilentAudioResourceManager::Update()
{
    // Nothing plays, so every voice has ended by the next frame.
    std::vector<int32_t> ended;
    ended.swap(m_startedVoices);
    for (int32_t voice : ended) m_pAudioManager->OnVoiceFinished(voice);
}
