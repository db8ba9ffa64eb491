#include "audio/PCStream.h"

#include "audio/EventThread.h"
#include "utility/Assert.h"

#include <cstdio>
#include <new>

CPCStream::CPCStream(int32_t id, const char* pFilename, bool loop)
    : m_id(id), m_reserved(0), m_loop(loop), m_paused(false), m_pFilename{}, m_volume(1.0f), m_named(false)
{
    if (!VERIFY(pFilename)) return;
    snprintf(m_pFilename, sizeof m_pFilename, "%s", pFilename);
    m_named = true;
}

CPCThreadedStream::CPCThreadedStream(int32_t id, const char* pFilename, bool loop)
    : CPCStream(id, pFilename, loop), m_pThread(nullptr), m_stopEvent(nullptr), m_volumeGiven(false), m_givenVolume(0)
{
}

CPCThreadedStream::~CPCThreadedStream()
{
    if (m_stopEvent) CloseHandle(m_stopEvent);
}

bool CPCThreadedStream::MakeThread(const char* initFailure)
{
    m_stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_pThread = new (std::nothrow) CEventThread;
    if (!VERIFY(m_pThread)) return false;
    return VERIFY_MSG(m_pThread->Init(OnStart, OnEvent, OnExit, this), initFailure);
}

void CPCThreadedStream::EndThread()
{
    Shutdown();
    delete m_pThread;  // waits for the thread's very end
    m_pThread = nullptr;
}

void CPCThreadedStream::Shutdown()
{
    if (!m_pThread || !m_pThread->IsRunning()) return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_paused = false;
    }
    SetEvent(m_stopEvent);
    m_pThread->WaitForExit();
}

void CPCThreadedStream::SetVolume(int32_t volume)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_volumeGiven = true;
    m_givenVolume = volume;
    ApplyVolume(volume);
}

bool CPCThreadedStream::OnStart(void* context) { return static_cast<CPCThreadedStream*>(context)->StartOnThread(); }

bool CPCThreadedStream::OnEvent(void* context, uint32_t index)
{
    return static_cast<CPCThreadedStream*>(context)->HandleEvent(index);
}

void CPCThreadedStream::OnExit(void* context) { static_cast<CPCThreadedStream*>(context)->ExitOnThread(); }
