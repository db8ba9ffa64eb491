// Events, waits and threads. Every handle here is closed by CloseHandle, as files are.
#pragma once

#include "platform/win32/types.h"

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15

#define ERROR_NOT_ENOUGH_MEMORY 8

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

// Events are unnamed (a name is ignored). Manual-reset events stay signalled until reset;
// auto-reset ones are reset by the wait they release.
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits on events and threads (a thread's handle is signalled once its routine has returned).
// WAIT_OBJECT_0 + i names the lowest signalled index; WAIT_FAILED for a bad handle or count.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Runs the routine on a new thread at once (no flags are supported). Null when it cannot start.
HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId);
// Priorities are kept and reported, but scheduling ignores them.
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000u
// A handle of a running process that serves only to tell that it runs: it is closed by CloseHandle
// and cannot be waited on (WAIT_FAILED). Null with ERROR_INVALID_PARAMETER when no process has the id.
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);

namespace platform {
// Closes an event or thread handle; false when the handle is neither (CloseHandle then tries files).
bool closeSyncHandle(HANDLE handle);
// Whether another thread may be running: a thread made by CreateThread is running, or the caller is one.
bool otherThreadsRunning();
}  // namespace platform
