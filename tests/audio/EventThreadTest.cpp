#include "TestSupport.h"
#include "audio/EventThread.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace pt = platform::testing;
using testsupport::countReports;

namespace {

// What the callbacks saw, in order, and how they answer.
struct Owner {
    std::mutex lock;
    std::vector<std::string> calls;
    bool startResult = true;
    uint32_t endOnIndex = 99;  // on-event answers true for this index
    HANDLE seen = nullptr;     // signalled after each on-event call
    HANDLE user[2] = {};       // reset by on-event, as an owner does

    void record(const std::string& call)
    {
        std::lock_guard<std::mutex> guard(lock);
        calls.push_back(call);
    }
    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
};

bool onStart(void* context)
{
    auto* owner = static_cast<Owner*>(context);
    owner->record("start");
    return owner->startResult;
}

bool onEvent(void* context, uint32_t index)
{
    auto* owner = static_cast<Owner*>(context);
    owner->record("event " + std::to_string(index));
    if (index < 2 && owner->user[index]) ResetEvent(owner->user[index]);
    SetEvent(owner->seen);
    return index == owner->endOnIndex;
}

void onExit(void* context) { static_cast<Owner*>(context)->record("exit"); }

HANDLE newEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

void waitSeen(Owner& owner)
{
    ASSERT_EQ(WaitForSingleObject(owner.seen, 5000), WAIT_OBJECT_0);
    ResetEvent(owner.seen);
}

}  // namespace

TEST(EventThread, CallsBackInOrderWithUserIndicesAndEndsWhenAnEventSaysSo)
{
    const int eventsBefore = pt::liveEvents(), threadsBefore = pt::liveThreads();
    Owner owner;
    owner.seen = newEvent();
    owner.endOnIndex = 0;
    HANDLE* user = owner.user;
    for (int i = 0; i < 2; ++i) user[i] = newEvent();
    {
        CEventThread thread;
        ASSERT_TRUE(thread.Init(onStart, onEvent, onExit, &owner));
        ASSERT_TRUE(thread.RegisterEvents(2, user));
        ASSERT_TRUE(thread.Start());
        EXPECT_TRUE(thread.IsRunning());
        for (int i = 0; i < 500 && !thread.IsProcessing(); ++i) Sleep(2);
        ASSERT_TRUE(thread.IsProcessing());
        EXPECT_FALSE(thread.RegisterEvents(1, user));
        // A second start while it runs is refused rather than waiting for its end.
        EXPECT_FALSE(thread.Start());
        EXPECT_EQ(countReports("Event thread started while it runs"), 1);

        SetEvent(user[1]);
        waitSeen(owner);
        SetEvent(user[0]);  // on-event answers true: the thread ends by itself
        thread.WaitForExit();  // false when it has already ended
        EXPECT_FALSE(thread.IsRunning());
        thread.Stop();  // after the end: returns at once
    }
    EXPECT_EQ(owner.snapshot(), (std::vector<std::string>{"start", "event 1", "event 0", "exit"}));
    for (HANDLE h : {user[0], user[1], owner.seen}) CloseHandle(h);
    EXPECT_EQ(pt::liveEvents(), eventsBefore);
    EXPECT_EQ(pt::liveThreads(), threadsBefore);
}

TEST(EventThread, AFailedStartSkipsProcessingButStillExitsAndTheThreadCanRunAgain)
{
    Owner owner;
    owner.seen = newEvent();
    owner.startResult = false;
    CEventThread thread;
    thread.Init(onStart, onEvent, onExit, &owner);
    // Start returns even when the thread has already ended by the time it looks; once it has
    // ended it starts again.
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(thread.Start());
        thread.WaitForExit();
    }
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_FALSE(thread.WaitForExit());  // not running
    std::vector<std::string> expected;
    for (int round = 0; round < 50; ++round) expected.insert(expected.end(), {"start", "exit"});
    EXPECT_EQ(owner.snapshot(), expected);

    owner.startResult = true;
    ASSERT_TRUE(thread.Start());
    for (int i = 0; i < 500 && !thread.IsProcessing(); ++i) Sleep(2);
    EXPECT_TRUE(thread.IsProcessing());
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    expected.insert(expected.end(), {"start", "exit"});
    EXPECT_EQ(owner.snapshot(), expected);
    CloseHandle(owner.seen);
}

TEST(EventThread, MisuseIsReportedAndRefused)
{
    Owner owner;
    CEventThread unconfigured;
    EXPECT_FALSE(unconfigured.Start());
    EXPECT_FALSE(unconfigured.IsRunning());
    EXPECT_EQ(countReports("m_configured"), 2);

    CEventThread thread;
    thread.Init(onStart, onEvent, onExit, &owner);
    HANDLE six[6] = {};
    EXPECT_FALSE(thread.RegisterEvents(6, six));
    EXPECT_FALSE(thread.RegisterEvents(1, nullptr));

    pt::setCreateThreadFails(true);
    EXPECT_FALSE(thread.Start());
    pt::setCreateThreadFails(false);
    EXPECT_TRUE(owner.snapshot().empty());

    // An event closed under the thread cannot be waited on: the thread reports and ends.
    HANDLE closed = newEvent();
    ASSERT_TRUE(thread.RegisterEvents(1, &closed));
    CloseHandle(closed);
    ASSERT_TRUE(thread.Start());
    for (int i = 0; i < 500 && thread.IsRunning(); ++i) Sleep(2);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(countReports("Event thread wait failed"), 1);
    EXPECT_EQ(owner.snapshot(), (std::vector<std::string>{"start", "exit"}));
}
