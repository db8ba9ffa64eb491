#include "audio/EventThread.h"

#include "utility/Assert.h"

namespace {

HANDLE newEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

void closeEvent(HANDLE& event)
{
    if (event) CloseHandle(event);
    event = nullptr;
}

}  // namespace

CEventThread::CEventThread()
    : m_thread(nullptr),
      m_events{},
      m_running(nullptr),
      m_processing(nullptr),
      m_exited(nullptr),
      m_numEvents(0),
      m_pContext(nullptr),
      m_configured(false),
      m_onStart(nullptr),
      m_onExit(nullptr),
      m_onEvent(nullptr)
{
}

CEventThread::~CEventThread()
{
    Stop();
    // The thread touches this object until just before it ends: wait for the end itself.
    if (m_thread) {
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
    closeEvent(m_running);
    closeEvent(m_processing);
    closeEvent(m_exited);
    closeEvent(m_events[0]);
}

bool CEventThread::Init(StartCallback onStart, EventCallback onEvent, ExitCallback onExit, void* context)
{
    if (!VERIFY(!m_configured)) return false;
    m_onStart = onStart;
    m_onEvent = onEvent;
    m_onExit = onExit;
    m_pContext = context;
    m_running = newEvent();
    m_processing = newEvent();
    m_exited = newEvent();
    m_events[0] = newEvent();
    m_configured = true;
    return true;
}

bool CEventThread::RegisterEvents(uint32_t numEvents, const HANDLE* pEventList)
{
    std::lock_guard<std::mutex> guard(m_registerLock);
    if (IsProcessing()) {
        assertFailedMsg("Cannot register events once processing begins", "false", __FILE__, __LINE__);
        return false;
    }
    if (!VERIFY(numEvents <= MAX_USER_EVENTS)) return false;
    if (numEvents > 0 && !VERIFY(pEventList)) return false;
    for (uint32_t i = 0; i < numEvents; ++i) m_events[1 + i] = pEventList[i];
    m_numEvents = numEvents;
    return true;
}

bool CEventThread::Start()
{
    if (!VERIFY(m_configured)) return false;
    // Waiting for the running thread to end would wait for ever.
    if (IsRunning()) {
        assertFailedMsg("Event thread started while it runs", "!IsRunning()", __FILE__, __LINE__);
        return false;
    }
    if (m_thread) {
        // A thread that has ended may be started again; its old handle goes first.
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
    ResetEvent(m_exited);
    ResetEvent(m_events[0]);
    m_thread = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (!m_thread) return false;
    Sleep(0);
    // A thread whose start callback fails at once may be gone before its running event is seen.
    HANDLE startedOrGone[2] = {m_running, m_exited};
    WaitForMultipleObjects(2, startedOrGone, FALSE, INFINITE);
    return true;
}

bool CEventThread::IsSignalled(HANDLE event)
{
    if (!VERIFY(m_configured)) return false;
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

bool CEventThread::IsRunning() { return IsSignalled(m_running); }
bool CEventThread::IsProcessing() { return IsSignalled(m_processing); }

bool CEventThread::WaitForExit()
{
    if (!IsRunning()) return false;
    WaitForSingleObject(m_exited, INFINITE);
    return true;
}

void CEventThread::Stop()
{
    if (!m_configured || !IsRunning()) return;
    SetEvent(m_events[0]);
    WaitForSingleObject(m_exited, INFINITE);
}

DWORD CEventThread::ThreadMain(LPVOID self)
{
    static_cast<CEventThread*>(self)->Run();
    return 0;
}

void CEventThread::Run()
{
    SetEvent(m_running);
    if (!m_onStart || m_onStart(m_pContext)) {
        HANDLE events[1 + MAX_USER_EVENTS];
        DWORD count;
        {
            std::lock_guard<std::mutex> guard(m_registerLock);
            SetEvent(m_processing);
            count = 1 + m_numEvents;
            for (DWORD i = 0; i < count; ++i) events[i] = m_events[i];
        }
        for (;;) {
            const DWORD result = WaitForMultipleObjects(count, events, FALSE, INFINITE);
            if (result == WAIT_OBJECT_0) break;
            if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) {
                if (m_onEvent && m_onEvent(m_pContext, result - WAIT_OBJECT_0 - 1)) break;
                continue;
            }
            // A closed event can never be waited on again: end rather than spin.
            assertFailedMsg("Event thread wait failed", "result < WAIT_OBJECT_0 + count", __FILE__, __LINE__);
            break;
        }
    }
    ResetEvent(m_processing);
    if (m_onExit) m_onExit(m_pContext);
    ResetEvent(m_running);
    SetEvent(m_exited);
}
