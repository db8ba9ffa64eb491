// Reports written from threads other than the main one.
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include "TestSupport.h"
#include "platform/testing.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct Handover {
    HANDLE built;
    HANDLE overwritten;
    std::string seen;
};

DWORD buildThenLook(LPVOID context)
{
    auto* h = static_cast<Handover*>(context);
    const char* text = concatStrings("thread ", intToString(1));
    SetEvent(h->built);
    WaitForSingleObject(h->overwritten, INFINITE);
    h->seen = text;
    return 0;
}

DWORD reportFiveTimes(LPVOID)
{
    for (int i = 0; i < 5; ++i) writeRunLog(concatStrings("from a stream thread ", intToString(i)));
    return 0;
}

void exitHandlerMustNotRun() { _exit(3); }

}  // namespace

TEST(RunLogThreads, EachThreadKeepsItsOwnMessageBuffers)
{
    Handover h{CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr), ""};
    HANDLE thread = CreateThread(nullptr, 0, buildThenLook, &h, 0, nullptr);
    WaitForSingleObject(h.built, INFINITE);
    EXPECT_STREQ(concatStrings("main ", intToString(2)), "main 2");
    SetEvent(h.overwritten);
    WaitForSingleObject(thread, INFINITE);
    EXPECT_EQ(h.seen, "thread 1");
    CloseHandle(thread);
    CloseHandle(h.built);
    CloseHandle(h.overwritten);
}

TEST(RunLogThreadsDeathTest, TheFifthMessageFromAnotherThreadEndsTheProcessWithoutExitHandlers)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    EXPECT_EXIT(
        {
            platform::testing::setExitHook(nullptr);
            setAssertReportHook(nullptr);
            atexit(exitHandlerMustNotRun);
            HANDLE thread = CreateThread(nullptr, 0, reportFiveTimes, nullptr, 0, nullptr);
            WaitForSingleObject(thread, INFINITE);
            _exit(3);
        },
        ::testing::ExitedWithCode(1), "stopping after five reports; see Veldrane.log");
}
