// CPCAudioResourceManager: the audio device on DirectSound 8. Each loaded file has one master
// buffer; each playing voice a duplicate of it, so voices of one sample share its data. 3D values
// are deferred and applied together at the start of every Update. Streams count as voices.
#pragma once

#include "audio/AudioResourceManager.h"
#include "platform/dsound.h"
#include "utility/LList.h"

class CAudioManager;
class CPCStream;

class CPCAudioResourceManager : public CAudioResourceManager {
public:
    static constexpr int32_t MAX_VOICES = 32;
    static constexpr uint32_t MAX_NAME = 260;

    explicit CPCAudioResourceManager(CAudioManager* pAudioManager);
    ~CPCAudioResourceManager() override;
    CPCAudioResourceManager(const CPCAudioResourceManager&) = delete;
    CPCAudioResourceManager& operator=(const CPCAudioResourceManager&) = delete;

    bool Init() override;
    void Shutdown() override;
    int32_t Reserved3() override { return 1; }
    uint32_t LoadSample2D(const char* pFilename, int32_t category) override;
    uint32_t LoadSample3D(const char* pFilename, int32_t category) override;
    void FreeSample(uint32_t sample) override;
    void FreeCategory(int32_t category) override;
    uint32_t NewHandle(uint32_t oldHandle, bool is3D, int32_t category) override;
    int32_t Reserved9(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return -1; }
    int32_t StartVoice(uint32_t sample, float volume, float frequencyRatio, bool loop, float minDistance,
                       float maxDistance, int32_t submix, uint32_t further1, uint32_t further2) override;
    int32_t CreateStream(const char* pFilename, float volume, bool loop, uint32_t further) override;
    void Rewind(int32_t voice) override;
    void SetFrequency(int32_t voice, float ratio) override;
    void SetVolume(int32_t voice, float volume) override;
    void SetCategoryVolume(int32_t category, float volume) override;
    void SetPosition(int32_t voice, float x, float y, float z) override;
    void SetVelocity(int32_t voice, float x, float y, float z) override;
    void Reserved18(uint32_t, uint32_t) override {}
    void StopVoice(int32_t voice, uint32_t further) override;
    void StopSample(uint32_t sample) override;
    void StopCategory(int32_t category) override;
    void PauseVoice(int32_t voice) override;
    void PauseCategory(int32_t category) override;
    void ResumeVoice(int32_t voice) override;
    void ResumeCategory(int32_t category) override;
    void PauseStream(int32_t stream) override;
    void ResumeStream(int32_t stream) override;
    void ReleaseStream(int32_t stream) override;
    void ReleaseAllStreams() override;
    void SetStreamVolume(int32_t stream, float volume) override;
    void SetListenerPosition(float x, float y, float z) override;
    void SetListenerVelocity(float x, float y, float z) override;
    void SetListenerOrientation(float frontX, float frontY, float frontZ, float topX, float topY,
                                float topZ) override;
    Vector3 GetListenerPosition() override { return m_listenerPosition; }
    Vector3 GetListenerVelocity() override { return m_listenerVelocity; }
    void SetDopplerFactor(float factor) override;
    void SetDistanceFactor(float factor) override;
    bool IsVoiceFinished(int32_t voice) override { return FindVoice(voice) == nullptr; }
    bool IsStreamFinished(int32_t stream) override { return FindStream(stream) == nullptr; }
    uint32_t GetSampleMemory(int32_t category) override;
    void Update() override;
    int32_t GetMaxVoices() override { return m_maxVoices; }
    int32_t GetFreeVoices() override { return m_maxVoices - m_voicesInUse; }
    void Reserved44(uint32_t) override {}
    int32_t Reserved45(uint32_t, uint32_t) override { return 0; }

private:
    // The data of one file, shared by every handle made from it.
    struct SSoundData {
        WAVEFORMATEX m_wfx;
        IDirectSoundBuffer* m_pMaster;
        uint32_t m_bufferBytes;
        int32_t m_refCount;
        char m_name[MAX_NAME];
    };
    // A sample handle: the data as one kind (2D or 3D) in one category.
    struct SBR {
        uint32_t m_handle;
        int32_t m_category;
        bool m_3D;
        SSoundData* m_pSD;
    };
    struct SVoice {
        int32_t m_handle;
        bool m_loop;
        bool m_paused;
        float m_volume;
        SBR* m_pSBR;
        IDirectSoundBuffer* m_pBuffer;
        IDirectSound3DBuffer* m_p3DBuffer;  // null for 2D samples
    };

    uint32_t LoadSample(const char* pFilename, int32_t category, bool is3D);
    SBR* FindSample(uint32_t handle);
    SVoice* FindVoice(int32_t handle);
    CPCStream* FindStream(int32_t handle);
    // Stops the voice's buffer and forgets it.
    void FreeVoice(SVoice* pVoice);
    void RemoveStream(CPCStream* pStream);
    void CreateSilentBuffer();
    void ApplyVolume(SVoice* pVoice);
    void Set3D(int32_t voice, float x, float y, float z, bool position);

    float m_categoryVolumes[MAXAUDIOCATEGORIES];
    CAudioManager* m_pAudioManager;
    IDirectSound8* m_pDS;
    IDirectSoundBuffer* m_pDSPrimaryBuffer;
    IDirectSound3DListener* m_pListener;
    DSCAPS m_caps;
    IDirectSoundBuffer* m_pSilentBuffer;
    int32_t m_voicesInUse;
    int32_t m_maxVoices;
    llist m_samples;  // SBR*
    llist m_voices;   // SVoice*
    llist m_streams;  // CPCStream*
    Vector3 m_listenerPosition;
    Vector3 m_listenerVelocity;
    int32_t m_nextVoiceHandle;
    int32_t m_nextStreamHandle;
    uint32_t m_nextSampleHandle;  // sample handles are ids of records, never 0
};
