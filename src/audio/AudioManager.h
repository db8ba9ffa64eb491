// CAudioManager: the one game-facing object for sound. It keeps the loaded samples by name with
// reference counts and the playing voices with their priority, position and submix links, hands
// out sample entries and voice ids, steals the farthest voice when the device is full, and passes
// everything else to its device (DirectSound, or the silent device when DirectSound cannot start).
#pragma once

#include "audio/AudioResourceManager.h"
#include "platform/win32.h"
#include "utility/LList.h"

// A loaded sample: the handle the game holds.
struct SAudioFile {
    static constexpr uint32_t MAX_NAME = 260;

    uint32_t m_deviceHandle;
    char m_name[MAX_NAME];
    uint8_t m_3D;
    uint8_t m_protected;  // its voices are never stolen
    int32_t m_category;
    int32_t m_refCount;
};

// A playing voice.
struct SAudioEffect {
    int32_t m_id;
    SAudioFile* m_pSample;
    uint8_t m_started;
    int32_t m_deviceHandle;
    int32_t m_priority;
    uint8_t m_loop;
    uint8_t m_active;
    float m_volume;
    float m_frequencyRatio;
    Vector3 m_position;
    Vector3 m_velocity;
    llist m_submixSourcesAE;  // ids of the voices started into this one
    int32_t m_submix;         // id of the voice this one was started into; 0 for none
};

class CAudioManager {
public:
    CAudioManager();
    ~CAudioManager();
    CAudioManager(const CAudioManager&) = delete;
    CAudioManager& operator=(const CAudioManager&) = delete;

    // Starts DirectSound, or the silent device when it cannot: the game runs on either way.
    bool Init();
    void Shutdown();

    // The entry for the file, shared with earlier loads of the same name, kind and category;
    // null when it cannot be loaded or its name does not fit an entry (reported).
    SAudioFile* LoadSample2D(const char* pFilename, int32_t category);
    SAudioFile* LoadSample3D(const char* pFilename, int32_t category);
    void ReleaseSample(SAudioFile* pSample);

    // A voice id (from 1, never reused), or -1. A negative or not-a-number minimum distance and a
    // maximum below 1e-6 take the defaults; a submix of -1 is none.
    int32_t Play(SAudioFile* pSample, int32_t priority, uint8_t loop, float volume, float frequencyRatio, float x,
                 float y, float z, float minDistance, float maxDistance, int32_t submix, uint32_t further1,
                 uint32_t further2);
    void Rewind(int32_t id);
    // A stream handle, or -1.
    int32_t CreateStream(const char* pFilename, uint8_t loop, float volume, uint32_t further);
    void SetFrequency(int32_t id, float ratio);
    void SetVolume(int32_t id, float volume);
    void SetCategoryVolume(int32_t category, float volume);
    void SetPosition(int32_t id, float x, float y, float z);
    void SetVelocity(int32_t id, float x, float y, float z);
    // Stops the voice and every voice started into it.
    void Stop(int32_t id);
    void StopSample(SAudioFile* pSample);
    void StopCategory(int32_t category);
    void PauseCategory(int32_t category);
    void ResumeCategory(int32_t category);
    void PauseStream(int32_t stream);
    void ResumeStream(int32_t stream);
    void ReleaseStream(int32_t stream);
    void ReleaseAllStreams();
    void SetStreamVolume(int32_t stream, float volume);
    bool IsFinished(int32_t id);
    bool IsStreamFinished(int32_t stream);
    // Once per frame.
    void Update();
    // Stops the farthest stealable voice when the new sound at (x, y, z) is nearer the listener.
    bool StealVoice(float x, float y, float z, int32_t priority);
    // The device's word that a voice has ended.
    void OnVoiceFinished(int32_t deviceHandle);
    void RemoveEffectFromAnySubmix(SAudioEffect* pEffect);
    bool InForce2DMode() const { return m_force2D != 0; }

    CAudioResourceManager* getDevice() const { return m_pDevice; }

    float m_defaultMinDistance;  // used when a caller gives no usable minimum distance
    float m_defaultMaxDistance;
    uint8_t ErrorOnAudioLoad;  // debugging aid: every load that reaches the device is reported
    uint8_t m_force2D;         // 3D loads become 2D loads

private:
    SAudioFile* LoadSample(const char* pFilename, int32_t category, bool is3D);
    SAudioEffect* FindEffect(int32_t id);
    bool HasSample(const SAudioFile* pSample);
    // Takes the voice off the list and frees it.
    void DeleteEffect(SAudioEffect* pEffect);

    CAudioResourceManager* m_pDevice;
    llist m_samples;  // SAudioFile*
    llist m_voices;   // SAudioEffect*
    int32_t m_nextVoiceId;
    CRITICAL_SECTION m_lock;
};
