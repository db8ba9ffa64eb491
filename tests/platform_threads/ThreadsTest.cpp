#include "platform/testing.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pt = platform::testing;

namespace {

HANDLE manualEvent(bool signalled = false) { return CreateEventA(nullptr, TRUE, signalled, nullptr); }

DWORD storeParameter(LPVOID parameter)
{
    static_cast<std::atomic<int>*>(parameter)->store(7);
    return 0;
}

DWORD waitForEvent(LPVOID event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

}  // namespace

TEST(Threads, WaitsAnswerTheLowestSignalledIndexAndConsumeOnlyAutoResetEvents)
{
    const int eventsBefore = pt::liveEvents();
    HANDLE manual = manualEvent();
    HANDLE automatic = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE other = manualEvent();
    HANDLE list[] = {manual, automatic, other};

    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_TIMEOUT);
    SetEvent(other);
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, INFINITE), WAIT_OBJECT_0 + 1);  // lowest first...
    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, INFINITE), WAIT_OBJECT_0 + 2);  // ...and consumed
    EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_OBJECT_0);                          // manual stays set
    EXPECT_EQ(WaitForMultipleObjects(3, list, TRUE, 0), WAIT_TIMEOUT);
    SetEvent(manual);
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(3, list, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
    ResetEvent(manual);

    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(manual, 30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(30));

    EXPECT_EQ(WaitForMultipleObjects(0, list, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, list, FALSE, 0), WAIT_FAILED);
    EXPECT_TRUE(CloseHandle(automatic));
    HANDLE later = manualEvent(true);  // handles are never reused: the closed one stays invalid
    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_FAILED);  // a closed handle in the list
    EXPECT_FALSE(SetEvent(automatic));
    CloseHandle(later);
    CloseHandle(manual);
    CloseHandle(other);
    EXPECT_EQ(pt::liveEvents(), eventsBefore);
}

TEST(Threads, AThreadHandleIsSignalledWhenItsRoutineReturnsAndOutlivesAnEarlyClose)
{
    const int threadsBefore = pt::liveThreads();
    std::atomic<int> value{0};
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, storeParameter, &value, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(value.load(), 7);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST));
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_HIGHEST);
    EXPECT_TRUE(CloseHandle(thread));

    // Closing the handle of a thread that still runs, or of an event it waits on, is safe.
    HANDLE gate = manualEvent();
    HANDLE waiter = CreateThread(nullptr, 0, waitForEvent, gate, 0, nullptr);
    CloseHandle(waiter);
    SetEvent(gate);
    CloseHandle(gate);
    for (int i = 0; i < 500 && pt::liveThreads() != threadsBefore; ++i) Sleep(2);
    EXPECT_EQ(pt::liveThreads(), threadsBefore);

    pt::setCreateThreadFails(true);
    EXPECT_EQ(CreateThread(nullptr, 0, storeParameter, &value, 0, nullptr), nullptr);
    pt::setCreateThreadFails(false);
}

TEST(Threads, SignallingFromAnotherThreadWakesAnEndlessWait)
{
    HANDLE event = manualEvent();
    std::thread setter([event] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        SetEvent(event);
    });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    setter.join();
    CloseHandle(event);
}

TEST(Threads, AProcessHandleOnlyTellsThatTheProcessRuns)
{
    HANDLE self = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(self, 0));
    EXPECT_FALSE(SetEvent(self));
    EXPECT_TRUE(CloseHandle(self));
    // A child that has ended and been waited for; ids no process has, and those kill() would take
    // for a process group.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_EQ(child, waitpid(child, nullptr, 0));
    for (DWORD none : {static_cast<DWORD>(child), 0u, 0x7FFFFFFEu, 0xFFFFFFFEu}) {
        EXPECT_EQ(nullptr, OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, none)) << none;
        EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError()) << none;
    }
}
