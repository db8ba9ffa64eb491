#include "audio/PCStreamDShow.h"

#include "audio/AudioVolume.h"
#include "audio/EventThread.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <new>

namespace {

const uint32_t GRAPH_EVENT_INDEX = 0;

void report(const char* message) { assertFailedMsg(message, "false", __FILE__, __LINE__); }

template <class T>
bool queryInterface(IUnknown* pFrom, const GUID& iid, T** ppOut)
{
    if (SUCCEEDED(pFrom->QueryInterface(iid, reinterpret_cast<void**>(ppOut)))) return true;
    *ppOut = nullptr;
    return false;
}

template <class T>
void releaseInterface(T*& pointer)
{
    if (pointer) pointer->Release();
    pointer = nullptr;
}

}  // namespace

CPCStreamDShow::CPCStreamDShow(int32_t id, const char* pPath, bool loop)
    : CPCThreadedStream(id, pPath, loop),
      m_pGraphBuilder(nullptr),
      m_pMediaControl(nullptr),
      m_pBasicAudio(nullptr),
      m_pMediaEvent(nullptr),
      m_pMediaSeeking(nullptr),
      m_graphEvent(nullptr)
{
}

CPCStreamDShow::~CPCStreamDShow()
{
    EndThread();
}

bool CPCStreamDShow::Init(float volume)
{
    m_volume = volume;
    if (!m_named || m_pThread) return false;
    if (!MakeThread("Failed to initialise DSound stream thread")) return false;
    return VERIFY_MSG(m_pThread->Start(), "Failed to start DSound stream thread");
}

// Before the stream's thread has built the graph (or after it is gone) the flag alone is kept:
// the graph starts paused or running as it says.
void CPCStreamDShow::Pause()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_paused) return;
    if (m_pMediaControl) m_pMediaControl->Pause();
    m_paused = true;
}

void CPCStreamDShow::Resume()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_paused) return;
    if (m_pMediaControl) m_pMediaControl->Run();
    m_paused = false;
}

void CPCStreamDShow::ApplyVolume(int32_t volume)
{
    if (m_pBasicAudio) m_pBasicAudio->put_Volume(volume);
}

bool CPCStreamDShow::Update() { return !m_pThread || !m_pThread->IsRunning(); }

bool CPCStreamDShow::BuildGraph()
{
    CoInitialize(nullptr);
    IGraphBuilder* pGraph = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&pGraph)))) {
        report("Failed to create GraphBuilder");
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pGraphBuilder = pGraph;
        if (!queryInterface(pGraph, IID_IMediaControl, &m_pMediaControl)) {
            report("Failed to query MediaControl");
            return false;
        }
        if (!queryInterface(pGraph, IID_IBasicAudio, &m_pBasicAudio)) {
            report("Failed to query BasicAudio");
            return false;
        }
        if (!queryInterface(pGraph, IID_IMediaEvent, &m_pMediaEvent)) {
            report("Failed to query MediaEvent");
            return false;
        }
        if (!queryInterface(pGraph, IID_IMediaSeeking, &m_pMediaSeeking)) {
            report("Failed to query MediaSeeking");
            return false;
        }
    }
    OAEVENT graphEvent = 0;
    const bool haveEvent = SUCCEEDED(m_pMediaEvent->GetEventHandle(&graphEvent));
    m_graphEvent = reinterpret_cast<HANDLE>(graphEvent);
    const HANDLE events[2] = {m_graphEvent, m_stopEvent};
    if (!haveEvent || !m_pThread->RegisterEvents(2, events)) {
        report("Failed to register events for DShow thread");
        return false;
    }

    // A file DirectShow cannot play ends the stream without a word.
    WCHAR path[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_ACP, 0, m_pFilename, -1, path, MAX_PATH) == 0) return false;
    if (FAILED(m_pGraphBuilder->RenderFile(path, nullptr))) return false;

    std::lock_guard<std::mutex> guard(m_lock);
    m_pBasicAudio->put_Volume(m_volumeGiven ? m_givenVolume : linearToDirectSoundVolume(m_volume));
    // Paused before it could start: it starts on Resume.
    if (!m_paused) m_pMediaControl->Run();
    return true;
}

bool CPCStreamDShow::HandleEvent(uint32_t index)
{
    if (index == GRAPH_EVENT_INDEX) {
        // Reset before taking the events: one posted meanwhile sets the handle again.
        ResetEvent(m_graphEvent);
        LONG code;
        LONG_PTR param1, param2;
        while (SUCCEEDED(m_pMediaEvent->GetEvent(&code, &param1, &param2, 0))) {
            if (code == EC_COMPLETE) {
                if (m_loop) {
                    LONGLONG start = 0;
                    m_pMediaSeeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                                  AM_SEEKING_NoPositioning);
                } else {
                    SetEvent(m_stopEvent);
                }
            } else if (code == EC_ERRORABORT) {
                // The file vanished or broke while playing: nothing more will come, looping or not.
                report(concatStrings("DShow stream error: ", m_pFilename));
                SetEvent(m_stopEvent);
            }
            m_pMediaEvent->FreeEventParams(code, param1, param2);
        }
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pMediaControl->Stop();
        m_paused = false;
    }
    ResetEvent(m_stopEvent);
    return true;
}

void CPCStreamDShow::ReleaseGraph()
{
    std::lock_guard<std::mutex> guard(m_lock);
    releaseInterface(m_pMediaSeeking);
    releaseInterface(m_pMediaEvent);
    releaseInterface(m_pBasicAudio);
    releaseInterface(m_pMediaControl);
    releaseInterface(m_pGraphBuilder);
}
