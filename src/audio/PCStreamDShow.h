// CPCStreamDShow: plays any stream file that is not a WAV through a DirectShow filter graph. The
// graph is built, run and released on the stream's own thread, which also follows the graph's
// events: at the end a looping stream seeks back to the start, any other stops.
#pragma once

#include "audio/PCStream.h"
#include "platform/com.h"
#include "platform/dshow.h"

class CPCStreamDShow : public CPCThreadedStream {
public:
    // The path is a full one: DirectShow is not told the working folder.
    CPCStreamDShow(int32_t id, const char* pPath, bool loop);
    ~CPCStreamDShow() override;

    bool Init(float volume) override;
    void Pause() override;
    void Resume() override;
    bool Update() override;

private:
    bool StartOnThread() override { return BuildGraph(); }
    bool HandleEvent(uint32_t index) override;
    void ExitOnThread() override { ReleaseGraph(); }
    void ApplyVolume(int32_t volume) override;
    bool BuildGraph();
    void ReleaseGraph();

    IGraphBuilder* m_pGraphBuilder;
    IMediaControl* m_pMediaControl;
    IBasicAudio* m_pBasicAudio;
    IMediaEvent* m_pMediaEvent;
    IMediaSeeking* m_pMediaSeeking;
    HANDLE m_graphEvent;  // the graph's own
};
