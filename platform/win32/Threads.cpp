#include "platform/win32/files.h"
#include "platform/win32/threads.h"
#include "platform/testing.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

// One record per event or thread. It lives while its handle is open, its thread runs or a wait
// holds it, so that closing a handle under a waiter or a running thread is safe.
struct Waitable {
    bool isThread;
    bool manualReset;
    bool signalled;
    int references;
    int priority;
    bool isProcess = false;  // another process's handle: nothing here signals it
};

// One lock and one condition for every waitable: signalling wakes all waiters, each rechecks its own.
std::mutex lock;
std::condition_variable changed;
// Handles are odd numbers, never reused and never a file's address, so a stale handle finds nothing.
std::unordered_map<uintptr_t, Waitable*> open;
uintptr_t lastHandle = 1;
int liveRecords = 0;
int liveThreadRecords = 0;
std::atomic<int> runningThreads{0};
std::atomic<bool> creationFails{false};
std::atomic<DWORD> nextThreadId{1};
thread_local DWORD threadId = 0;
thread_local bool ourThread = false;

// With the lock held: a new record and its handle.
HANDLE newRecord(bool isThread, bool manualReset, bool signalled, int references, Waitable** record = nullptr)
{
    auto* w = new Waitable{isThread, manualReset, signalled, references, THREAD_PRIORITY_NORMAL};
    ++liveRecords;
    if (isThread) ++liveThreadRecords;
    lastHandle += 2;
    open[lastHandle] = w;
    if (record) *record = w;
    return reinterpret_cast<HANDLE>(lastHandle);
}

// With the lock held.
void release(Waitable* w)
{
    if (--w->references > 0) return;
    --liveRecords;
    if (w->isThread) --liveThreadRecords;
    delete w;
}

Waitable* openRecord(HANDLE handle)
{
    auto it = open.find(reinterpret_cast<uintptr_t>(handle));
    return it == open.end() ? nullptr : it->second;
}

// With the lock held: the index the wait ends on, or -1 while it must go on waiting.
int ready(Waitable* const* records, DWORD count, bool all)
{
    if (all) {
        for (DWORD i = 0; i < count; ++i)
            if (!records[i]->signalled) return -1;
        for (DWORD i = 0; i < count; ++i)
            if (!records[i]->manualReset) records[i]->signalled = false;
        return 0;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (records[i]->signalled) {
            if (!records[i]->manualReset) records[i]->signalled = false;
            return static_cast<int>(i);
        }
    }
    return -1;
}

BOOL setSignal(HANDLE handle, bool signalled)
{
    std::lock_guard<std::mutex> guard(lock);
    Waitable* w = openRecord(handle);
    if (!w || w->isThread || w->isProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    w->signalled = signalled;
    if (signalled) changed.notify_all();
    return TRUE;
}

}  // namespace

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, LPCSTR)
{
    std::lock_guard<std::mutex> guard(lock);
    return newRecord(false, manualReset != FALSE, initialState != FALSE, 1);
}

BOOL SetEvent(HANDLE event) { return setSignal(event, true); }
BOOL ResetEvent(HANDLE event) { return setSignal(event, false); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    Waitable* records[MAXIMUM_WAIT_OBJECTS];
    std::unique_lock<std::mutex> guard(lock);
    for (DWORD i = 0; i < count; ++i) {
        records[i] = openRecord(handles[i]);
        if (!records[i] || records[i]->isProcess) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    for (DWORD i = 0; i < count; ++i) ++records[i]->references;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    int index;
    while ((index = ready(records, count, waitAll != FALSE)) < 0) {
        if (milliseconds == 0) break;
        if (milliseconds == INFINITE)
            changed.wait(guard);
        else if (changed.wait_until(guard, deadline) == std::cv_status::timeout) {
            index = ready(records, count, waitAll != FALSE);
            break;
        }
    }
    for (DWORD i = 0; i < count; ++i) release(records[i]);
    return index < 0 ? WAIT_TIMEOUT : WAIT_OBJECT_0 + static_cast<DWORD>(index);
}

HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD id)
{
    if (start == nullptr || flags != 0 || creationFails) {
        SetLastError(start == nullptr || flags != 0 ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Waitable* w;
    HANDLE handle;
    {
        std::lock_guard<std::mutex> guard(lock);
        handle = newRecord(true, true, false, 2, &w);  // the handle and the running thread
    }
    const DWORD newId = nextThreadId++;
    ++runningThreads;
    try {
        std::thread([w, start, parameter, newId] {
            threadId = newId;
            ourThread = true;
            start(parameter);
            --runningThreads;
            std::lock_guard<std::mutex> guard(lock);
            w->signalled = true;
            changed.notify_all();
            release(w);
        }).detach();
    } catch (const std::system_error&) {
        --runningThreads;
        std::lock_guard<std::mutex> guard(lock);
        open.erase(reinterpret_cast<uintptr_t>(handle));
        w->references = 1;
        release(w);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (id) *id = newId;
    return handle;
}

BOOL SetThreadPriority(HANDLE thread, int priority)
{
    std::lock_guard<std::mutex> guard(lock);
    Waitable* w = openRecord(thread);
    if (!w || !w->isThread) return FALSE;
    w->priority = priority;
    return TRUE;
}

int GetThreadPriority(HANDLE thread)
{
    std::lock_guard<std::mutex> guard(lock);
    Waitable* w = openRecord(thread);
    return w && w->isThread ? w->priority : 0x7FFFFFFF;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

HANDLE OpenProcess(DWORD, BOOL, DWORD processId)
{
    // Ids past the largest process id name none here (kill would take them for process groups).
    if (processId == 0 || processId > 0x7FFFFFFFu ||
        (::kill(static_cast<pid_t>(processId), 0) != 0 && errno == ESRCH)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(lock);
    Waitable* w = nullptr;
    HANDLE handle = newRecord(false, true, false, 1, &w);
    w->isProcess = true;
    return handle;
}

DWORD GetCurrentThreadId()
{
    if (threadId == 0) threadId = nextThreadId++;
    return threadId;
}

namespace platform {

bool closeSyncHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> guard(lock);
    Waitable* w = openRecord(handle);
    if (!w) return false;
    open.erase(reinterpret_cast<uintptr_t>(handle));
    release(w);
    return true;
}

// On a thread of ours, the thread that made it runs too.
bool otherThreadsRunning() { return ourThread || runningThreads.load() > 0; }

}  // namespace platform

namespace platform::testing {

int liveEvents()
{
    std::lock_guard<std::mutex> guard(lock);
    return liveRecords - liveThreadRecords;
}

int liveThreads()
{
    std::lock_guard<std::mutex> guard(lock);
    return liveThreadRecords;
}

int runningThreadCount() { return runningThreads.load(); }

void setCreateThreadFails(bool fails) { creationFails = fails; }

}  // namespace platform::testing
