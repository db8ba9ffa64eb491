#include "profiler/Profiler.h"
#include "profiler/StateMachine.h"
#include "TestSupport.h"
#include "platform/testing.h"
#include <gtest/gtest.h>
#include <string>
#include <utility>

// Logs every call; its update asks for the successor, sets repeat once, or stops its machine.
struct TestState : CState {
    TestState(uint16_t id, std::string& log) : CState(id), m_log(log) {}
    void enter() override { m_log += "enter" + std::to_string(getId()) + " "; }
    void exit() override { m_log += "exit" + std::to_string(getId()) + " "; }
    int update(uintptr_t argument, uintptr_t context) override
    {
        m_log += "update" + std::to_string(getId()) + "(" + std::to_string(argument) + "," +
                 std::to_string(context) + ") ";
        if (successor || leaveToNothing) setNextState(successor);
        setRepeat(std::exchange(repeatOnce, false));
        if (stop) stop->start(nullptr, 0);
        return 100 + getId();
    }
    CState* successor = nullptr;
    CStateMachine* stop = nullptr;
    bool leaveToNothing = false, repeatOnce = false;
    std::string& m_log;
};

TEST(StateMachineTest, TransitionsTakeEffectAtTheNextUpdateAndMachinesNest)
{
    std::string log;
    TestState a(1, log), b(2, log);
    CStateMachine machine, outer;
    EXPECT_EQ(0, machine.update(5));  // idle: nothing is called
    machine.start(&a, 9);
    a.successor = &b;
    EXPECT_EQ(101, machine.update(6));
    EXPECT_EQ(&a, b.getPreviousState());
    a.successor = nullptr;
    EXPECT_EQ(102, machine.update(7));
    b.successor = &a;  // repeat with a successor chains within one update
    b.repeatOnce = true;
    EXPECT_EQ(101, machine.update(8));
    machine.start(&b, 3);  // start replaces without an exit
    b.successor = nullptr;
    b.leaveToNothing = true;
    machine.update(0);
    EXPECT_EQ(0, machine.update(0));
    EXPECT_EQ("enter1 update1(6,9) exit1 enter2 update2(7,9) update2(8,9) exit2 enter1 update1(8,9) "
              "enter2 update2(0,3) exit2 ",
              log);
    EXPECT_EQ(nullptr, machine.getCurrentState());

    log.clear();
    a.stop = &machine;  // a state that stops its own machine ends the update
    machine.start(&a, 4);
    outer.start(&machine, 8);
    EXPECT_EQ(101, outer.update(2));
    EXPECT_EQ("enter1 update1(2,4) ", log);
    EXPECT_EQ(nullptr, machine.getCurrentState());
    EXPECT_EQ(8u, machine.getContext());
}

TEST(ProfilerTest, StartAndStopAreCheckedButGoAhead)
{
    platform::testing::setManualCycleCounter(true);
    platform::testing::setCycleCounter(77);
    theProfiler.counters[0][0] = 5;
    profilerStart(42);
    EXPECT_EQ(std::make_pair(true, true), std::make_pair(bool(theProfiler.started), bool(theProfiler.running)));

    EXPECT_EQ(0u, theProfiler.counters[0][0]);
    EXPECT_EQ(77u, theProfiler.startStamp);
    profilerStart(43);
    profilerStop();
    profilerStop();
    ASSERT_EQ(2u, testsupport::reports().size());
    EXPECT_EQ("!Started", testsupport::reports()[0].expression);
    EXPECT_EQ("Started", testsupport::reports()[1].expression);
    platform::testing::setManualCycleCounter(false);
}
