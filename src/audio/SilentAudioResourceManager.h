// CSilentAudioResourceManager: the device the game runs on when DirectSound cannot start. It
// accepts everything, plays nothing, and ends every voice it started at the next Update.
#pragma once

#include "audio/AudioResourceManager.h"

#include <vector>

class CAudioManager;

class CSilentAudioResourceManager : public CAudioResourceManager {
public:
    explicit CSilentAudioResourceManager(CAudioManager* pAudioManager);

    bool Init() override { return !s_failInit; }
    void Shutdown() override {}
    int32_t Reserved3() override { return 0; }
    uint32_t LoadSample2D(const char*, int32_t) override { return m_nextSampleHandle++; }
    uint32_t LoadSample3D(const char*, int32_t) override { return m_nextSampleHandle++; }
    void FreeSample(uint32_t) override {}
    void FreeCategory(int32_t) override {}
    uint32_t NewHandle(uint32_t oldHandle, bool, int32_t) override { return oldHandle; }
    int32_t Reserved9(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return -1; }
    int32_t StartVoice(uint32_t, float, float, bool, float, float, int32_t, uint32_t, uint32_t) override;
    int32_t CreateStream(const char*, float, bool, uint32_t) override { return m_nextStreamHandle++; }
    void Rewind(int32_t) override {}
    void SetFrequency(int32_t, float) override {}
    void SetVolume(int32_t, float) override {}
    void SetCategoryVolume(int32_t, float) override {}
    void SetPosition(int32_t, float, float, float) override {}
    void SetVelocity(int32_t, float, float, float) override {}
    void Reserved18(uint32_t, uint32_t) override {}
    void StopVoice(int32_t, uint32_t) override {}
    void StopSample(uint32_t) override {}
    void StopCategory(int32_t) override {}
    void PauseVoice(int32_t) override {}
    void PauseCategory(int32_t) override {}
    void ResumeVoice(int32_t) override {}
    void ResumeCategory(int32_t) override {}
    void PauseStream(int32_t) override {}
    void ResumeStream(int32_t) override {}
    void ReleaseStream(int32_t) override {}
    void ReleaseAllStreams() override {}
    void SetStreamVolume(int32_t, float) override {}
    void SetListenerPosition(float x, float y, float z) override { m_listenerPosition.set(x, y, z); }
    void SetListenerVelocity(float x, float y, float z) override { m_listenerVelocity.set(x, y, z); }
    void SetListenerOrientation(float, float, float, float, float, float) override {}
    Vector3 GetListenerPosition() override { return m_listenerPosition; }
    Vector3 GetListenerVelocity() override { return m_listenerVelocity; }
    void SetDopplerFactor(float) override {}
    void SetDistanceFactor(float) override {}
    bool IsVoiceFinished(int32_t) override { return true; }
    bool IsStreamFinished(int32_t) override { return true; }
    uint32_t GetSampleMemory(int32_t) override { return 0; }
    void Update() override;
    int32_t GetMaxVoices() override { return 1; }
    int32_t GetFreeVoices() override { return 1; }
    void Reserved44(uint32_t) override {}
    int32_t Reserved45(uint32_t, uint32_t) override { return 0; }

    // Test seam: makes Init fail, as a device that cannot start does.
    static bool s_failInit;

private:
    CAudioManager* m_pAudioManager;
    uint32_t m_nextSampleHandle;
    int32_t m_nextVoiceHandle;
    int32_t m_nextStreamHandle;
    Vector3 m_listenerPosition;
    Vector3 m_listenerVelocity;
    std::vector<int32_t> m_startedVoices;  // since the last Update
};
