// CEventThread: a worker that sleeps on its own stop event and up to five events of its owner, and
// calls back into the owner when one is signalled. Every audio stream runs on one.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <mutex>

class CEventThread {
public:
    static constexpr uint32_t MAX_USER_EVENTS = 5;

    typedef bool (*StartCallback)(void* context);                  // false: the thread ends at once
    typedef bool (*EventCallback)(void* context, uint32_t index);  // true: the thread ends
    typedef void (*ExitCallback)(void* context);

    CEventThread();
    ~CEventThread();
    CEventThread(const CEventThread&) = delete;
    CEventThread& operator=(const CEventThread&) = delete;

    // Stores the callbacks (each may be null) and makes the thread's own events.
    bool Init(StartCallback onStart, EventCallback onEvent, ExitCallback onExit, void* context);
    // The owner's events, in user index order; refused once the thread is processing.
    bool RegisterEvents(uint32_t numEvents, const HANDLE* pEventList);
    // Returns once the thread runs; its start callback may still be running then. A thread that
    // runs already is not started again (reported, false).
    bool Start();
    bool IsRunning();
    bool IsProcessing();
    // False when the thread is not running; otherwise returns when it has exited.
    bool WaitForExit();
    void Stop();

private:
    static DWORD ThreadMain(LPVOID self);
    void Run();
    bool IsSignalled(HANDLE event);

    HANDLE m_thread;
    HANDLE m_events[1 + MAX_USER_EVENTS];  // 0: the stop event; then the owner's
    HANDLE m_running;
    HANDLE m_processing;
    HANDLE m_exited;
    uint32_t m_numEvents;
    void* m_pContext;
    bool m_configured;
    StartCallback m_onStart;
    ExitCallback m_onExit;
    EventCallback m_onEvent;
    // Registration and the start of processing exclude each other, so the thread never sees a
    // half-written event list.
    std::mutex m_registerLock;
};
