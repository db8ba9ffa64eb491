#include "profiler/StateMachine.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Records every call; from its update it can ask for a successor and set repeat.
class TestState : public CState {
public:
    TestState(uint16_t id, std::string& log) : CState(id), m_log(log) {}
    void enter() override { m_log += "enter" + std::to_string(getId()) + " "; }
    void exit() override { m_log += "exit" + std::to_string(getId()) + " "; }
    int update(uintptr_t argument, uintptr_t context) override
    {
        m_log += "update" + std::to_string(getId()) + "(" + std::to_string(argument) + "," +
                 std::to_string(context) + ") ";
        if (successor || leaveToNothing) setNextState(successor);
        setRepeat(repeatOnce);
        repeatOnce = false;
        return 100 + getId();
    }

    CState* successor = nullptr;
    bool leaveToNothing = false;
    bool repeatOnce = false;

private:
    std::string& m_log;
};

TEST(StateMachineTest, TransitionsTakeEffectAtTheNextUpdate)
{
    std::string log;
    TestState a(1, log), b(2, log);
    CStateMachine machine;
    EXPECT_EQ(0, machine.update(5));  // idle: nothing is called
    EXPECT_EQ("", log);

    machine.start(&a, 9);
    EXPECT_EQ(9u, a.getContext());
    EXPECT_EQ(101, machine.update(5));
    EXPECT_EQ("enter1 update1(5,9) ", log);

    log.clear();
    a.successor = &b;
    EXPECT_EQ(101, machine.update(6));
    EXPECT_EQ("update1(6,9) ", log);
    EXPECT_TRUE(a.isTransitionPending());
    EXPECT_EQ(&a, b.getPreviousState());

    log.clear();
    a.successor = nullptr;
    EXPECT_EQ(102, machine.update(7));
    EXPECT_EQ("exit1 enter2 update2(7,9) ", log);
    EXPECT_FALSE(a.isTransitionPending());
    EXPECT_EQ(&b, machine.getCurrentState());

    // Repeat with a successor chains within one update.
    log.clear();
    b.successor = &a;
    b.repeatOnce = true;
    EXPECT_EQ(101, machine.update(8));
    EXPECT_EQ("update2(8,9) exit2 enter1 update1(8,9) ", log);
    EXPECT_FALSE(b.isRepeat());
}

TEST(StateMachineTest, StartReplacesWithoutExitAndANullSuccessorLeavesTheMachineIdle)
{
    std::string log;
    TestState a(1, log), b(2, log);
    CStateMachine machine;
    machine.start(&a, 0);
    machine.update(0);
    machine.start(&b, 3);
    EXPECT_EQ(102, machine.update(0));
    EXPECT_EQ("enter1 update1(0,0) enter2 update2(0,3) ", log);

    log.clear();
    b.leaveToNothing = true;
    machine.update(0);
    b.leaveToNothing = false;
    EXPECT_EQ(0, machine.update(0));
    EXPECT_EQ(0, machine.update(0));
    EXPECT_EQ("update2(0,3) exit2 ", log);
    EXPECT_EQ(nullptr, machine.getCurrentState());
}

// Stops its own machine from within its update.
class StoppingState : public CState {
public:
    explicit StoppingState(CStateMachine& machine) : m_machine(machine) {}
    int update(uintptr_t, uintptr_t) override
    {
        m_machine.start(nullptr, 0);
        return 5;
    }

private:
    CStateMachine& m_machine;
};

TEST(StateMachineTest, AStateThatStopsItsMachineEndsTheUpdate)
{
    CStateMachine machine;
    StoppingState state(machine);
    machine.start(&state, 1);
    EXPECT_EQ(5, machine.update(0));
    EXPECT_EQ(nullptr, machine.getCurrentState());
    EXPECT_EQ(0, machine.update(0));
}

TEST(StateMachineTest, MachinesNestAsStates)
{
    std::string log;
    TestState inner(1, log);
    CStateMachine innerMachine, outer;
    innerMachine.start(&inner, 4);
    outer.start(&innerMachine, 8);
    EXPECT_EQ(CState::NO_ID, innerMachine.getId());
    EXPECT_EQ(101, outer.update(2));
    EXPECT_EQ("enter1 update1(2,4) ", log);
    EXPECT_EQ(8u, innerMachine.getContext());
}

}  // namespace
