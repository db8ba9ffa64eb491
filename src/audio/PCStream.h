// CPCStream: a long sound streamed from its file on its own thread instead of loaded whole. The
// device keeps one per stream handle and calls it from the main thread only.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class CEventThread;

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

// A stream played on its own event thread: the thread starts the playback, follows its events and
// releases the playback at its end, while the main thread pauses, resumes, sets the volume and shuts
// it down under the lock.
class CPCThreadedStream : public CPCStream {
public:
    ~CPCThreadedStream() override;

    void Shutdown() override;
    void SetVolume(int32_t volume) override;

protected:
    CPCThreadedStream(int32_t id, const char* pFilename, bool loop);

    // Makes the stop event and the thread with this stream's handlers; false (reported with the
    // message) when the thread cannot be set up.
    bool MakeThread(const char* initFailure);
    // Ends the thread and waits for its very end. A derived stream calls it first in its
    // destructor, while what the thread's exit releases still exists.
    void EndThread();

    // On the stream's thread: start the playback, follow one of its events, release it.
    virtual bool StartOnThread() = 0;
    virtual bool HandleEvent(uint32_t index) = 0;
    virtual void ExitOnThread() = 0;
    // Under the lock: hands the volume to the playback, when there is one yet.
    virtual void ApplyVolume(int32_t volume) = 0;

    CEventThread* m_pThread;
    HANDLE m_stopEvent;
    // The stream's thread makes and releases the playback's interfaces while the main thread
    // pauses, resumes, sets the volume and asks for the status through them.
    std::mutex m_lock;
    bool m_volumeGiven;  // SetVolume came before the playback could take it
    int32_t m_givenVolume;

private:
    static bool OnStart(void* context);
    static bool OnEvent(void* context, uint32_t index);
    static void OnExit(void* context);
};
