// CPCStream: a long sound streamed from its file on its own thread instead of loaded whole. The
// device keeps one per stream handle and calls it from the main thread only.
#pragma once

#include <atomic>
#include <cstdint>

class CPCStream {
public:
    static constexpr uint32_t MAX_FILENAME = 260;

    // A stream without a name is reported and never starts.
    CPCStream(int32_t id, const char* pFilename, bool loop);
    virtual ~CPCStream() {}
    CPCStream(const CPCStream&) = delete;
    CPCStream& operator=(const CPCStream&) = delete;

    // Stores the volume (linear, 1.0 full) and starts the stream's thread; false when it cannot.
    virtual bool Init(float volume) = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Ends the thread and the playback.
    virtual void Shutdown() = 0;
    // A volume already in hundredths of a decibel.
    virtual void SetVolume(int32_t volume) = 0;
    // Called every frame; true once the stream has finished, and the device then deletes it.
    virtual bool Update() = 0;

    int32_t GetId() const { return m_id; }
    const char* GetFilename() const { return m_pFilename; }

protected:
    int32_t m_id;
    uint8_t m_reserved;
    bool m_loop;
    std::atomic<bool> m_paused;  // set on the main thread, read by the stream's thread
    char m_pFilename[MAX_FILENAME + 1];
    float m_volume;
    bool m_named;
};
