// The audio device behind the audio manager. Until the DirectSound device exists the manager runs on
// the silent device, which accepts everything and plays nothing.
#pragma once

class CAudioResourceManager {
public:
    virtual ~CAudioResourceManager() {}
    virtual bool Init() = 0;
    virtual void Shutdown() = 0;
    virtual void SetDopplerFactor(float factor) = 0;
    virtual void SetDistanceFactor(float factor) = 0;
};

class CSilentAudioResourceManager : public CAudioResourceManager {
public:
    bool Init() override { return !s_failInit; }
    void Shutdown() override {}
    void SetDopplerFactor(float factor) override { m_dopplerFactor = factor; }
    void SetDistanceFactor(float factor) override { m_distanceFactor = factor; }

    float m_dopplerFactor = 1.0f;
    float m_distanceFactor = 1.0f;

    // Test seam: makes Init fail, as a device that cannot start does.
    static bool s_failInit;
};
