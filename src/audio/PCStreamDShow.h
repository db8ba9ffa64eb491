// CPCStreamDShow: plays any stream file that is not a WAV through a DirectShow filter graph. The
// graph is built, run and released on the stream's own thread, which also follows the graph's
// events: at the end a looping stream seeks back to the start, any other stops.
#pragma once

#include "audio/PCStream.h"
#include "platform/com.h"
#include "platform/dshow.h"

#include <mutex>

class CEventThread;

class CPCStreamDShow : public CPCStream {
public:
    // The path is a full one: DirectShow is not told the working folder.
    CPCStreamDShow(int32_t id, const char* pPath, bool loop);
    ~CPCStreamDShow() override;

    bool Init(float volume) override;
    void Pause() override;
    void Resume() override;
    void Shutdown() override;
    void SetVolume(int32_t volume) override;
    bool Update() override;

private:
    static bool OnStart(void* context);
    static bool OnEvent(void* context, uint32_t index);
    static void OnExit(void* context);
    bool BuildGraph();
    bool HandleEvent(uint32_t index);
    void ReleaseGraph();

    IGraphBuilder* m_pGraphBuilder;
    IMediaControl* m_pMediaControl;
    IBasicAudio* m_pBasicAudio;
    IMediaEvent* m_pMediaEvent;
    IMediaSeeking* m_pMediaSeeking;
    CEventThread* m_pThread;
    HANDLE m_graphEvent;  // the graph's own
    HANDLE m_stopEvent;
    // The stream's thread makes and releases the interfaces while the main thread pauses,
    // resumes and sets the volume through them.
    std::mutex m_interfaceLock;
    bool m_volumeGiven;  // SetVolume came before the graph could take it
    int32_t m_givenVolume;
};
