// CAudioManager: the one game-facing object for sound. So far it owns its device and the default
// distances; samples, voices and streams join it with the audio subsystem.
#pragma once

#include "audio/AudioResourceManager.h"

class CAudioManager {
public:
    CAudioManager();
    ~CAudioManager();
    CAudioManager(const CAudioManager&) = delete;
    CAudioManager& operator=(const CAudioManager&) = delete;

    // True when the sound device came up.
    bool Init();
    // Releases the device and everything loaded.
    void Shutdown();
    CAudioResourceManager* getDevice() const { return m_pDevice; }

    float m_defaultMinDistance;  // used when a caller gives no usable minimum distance
    float m_defaultMaxDistance;

private:
    CAudioResourceManager* m_pDevice;
};
