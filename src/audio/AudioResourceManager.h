// CAudioResourceManager: the audio device behind the audio manager, a table of operations in a
// fixed order. CPCAudioResourceManager plays through DirectSound; CSilentAudioResourceManager
// plays nothing and stands in when DirectSound cannot start.
//
// Handles: a sample handle names one loaded sample (0 for none); voice and stream handles are
// the device's own integers. Every operation looks a handle up first and ignores one it does not
// know. Volumes are linear (1.0 full); positions are game space (DirectSound gets y negated).
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

const int32_t MAXAUDIOCATEGORIES = 16;
const uint32_t INVALID_AUDIO_MANAGER_FILE_HANDLE = 0;
// No voice, no stream.
const int32_t INVALID_AUDIO_VOICE = -1;
// GetSampleMemory over every category.
const int32_t ALL_AUDIO_CATEGORIES = 0x7FFFFFFF;

class CAudioResourceManager {
public:
    virtual ~CAudioResourceManager() {}
    virtual bool Init() = 0;
    virtual void Shutdown() = 0;
    virtual int32_t Reserved3() = 0;
    virtual uint32_t LoadSample2D(const char* pFilename, int32_t category) = 0;
    virtual uint32_t LoadSample3D(const char* pFilename, int32_t category) = 0;
    virtual void FreeSample(uint32_t sample) = 0;
    virtual void FreeCategory(int32_t category) = 0;
    // Another handle on the data of `oldHandle`, as another kind or category.
    virtual uint32_t NewHandle(uint32_t oldHandle, bool is3D, int32_t category) = 0;
    virtual int32_t Reserved9(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) = 0;
    // A voice handle, or -1. The submix handle and the two further values are passed through.
    virtual int32_t StartVoice(uint32_t sample, float volume, float frequencyRatio, bool loop, float minDistance,
                               float maxDistance, int32_t submix, uint32_t further1, uint32_t further2) = 0;
    // A stream handle, or -1.
    virtual int32_t CreateStream(const char* pFilename, float volume, bool loop, uint32_t further) = 0;
    virtual void Rewind(int32_t voice) = 0;
    virtual void SetFrequency(int32_t voice, float ratio) = 0;
    virtual void SetVolume(int32_t voice, float volume) = 0;
    virtual void SetCategoryVolume(int32_t category, float volume) = 0;
    virtual void SetPosition(int32_t voice, float x, float y, float z) = 0;
    virtual void SetVelocity(int32_t voice, float x, float y, float z) = 0;
    virtual void Reserved18(uint32_t, uint32_t) = 0;
    virtual void StopVoice(int32_t voice, uint32_t further) = 0;
    virtual void StopSample(uint32_t sample) = 0;
    virtual void StopCategory(int32_t category) = 0;
    virtual void PauseVoice(int32_t voice) = 0;
    virtual void PauseCategory(int32_t category) = 0;
    virtual void ResumeVoice(int32_t voice) = 0;
    virtual void ResumeCategory(int32_t category) = 0;
    virtual void PauseStream(int32_t stream) = 0;
    virtual void ResumeStream(int32_t stream) = 0;
    virtual void ReleaseStream(int32_t stream) = 0;
    virtual void ReleaseAllStreams() = 0;
    virtual void SetStreamVolume(int32_t stream, float volume) = 0;
    virtual void SetListenerPosition(float x, float y, float z) = 0;
    virtual void SetListenerVelocity(float x, float y, float z) = 0;
    virtual void SetListenerOrientation(float frontX, float frontY, float frontZ, float topX, float topY,
                                        float topZ) = 0;
    virtual Vector3 GetListenerPosition() = 0;
    virtual Vector3 GetListenerVelocity() = 0;
    // Takes effect at the next Update.
    virtual void SetDopplerFactor(float factor) = 0;
    // Takes effect at once.
    virtual void SetDistanceFactor(float factor) = 0;
    virtual bool IsVoiceFinished(int32_t voice) = 0;
    virtual bool IsStreamFinished(int32_t stream) = 0;
    // Bytes of sample data of the category (ALL_AUDIO_CATEGORIES: all), shared data counted once.
    virtual uint32_t GetSampleMemory(int32_t category) = 0;
    // Once per frame: applies the frame's 3D changes, tells the audio manager of every voice that
    // has ended and forgets the streams that have.
    virtual void Update() = 0;
    virtual int32_t GetMaxVoices() = 0;
    virtual int32_t GetFreeVoices() = 0;
    virtual void Reserved44(uint32_t) = 0;
    virtual int32_t Reserved45(uint32_t, uint32_t) = 0;
};
