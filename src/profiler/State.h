// CState: one state of a CStateMachine. A state leaves by linking its successor from its own
// update (setNextState); the machine makes the switch at its next pass.
#pragma once

#include <cstdint>

class CState {
public:
    static constexpr uint16_t NO_ID = 0xFFFF;

    CState() : CState(NO_ID) {}
    explicit CState(uint16_t id);
    virtual ~CState() {}

    virtual void enter() {}
    // argument is the machine update's argument, context the machine's context word.
    virtual int update(uintptr_t argument, uintptr_t context);
    virtual void exit() {}

    // Asks to be left for state; returns it.
    CState* setNextState(CState* state);
    // Run this state's update again within the same machine update.
    void setRepeat(bool repeat) { m_repeat = repeat; }

    uint16_t getId() const { return m_id; }
    CState* getNextState() const { return m_pNext; }
    CState* getPreviousState() const { return m_pPrevious; }
    uintptr_t getContext() const { return m_context; }
    bool isTransitionPending() const { return m_transitionPending; }
    bool isRepeat() const { return m_repeat; }

protected:
    friend class CStateMachine;

    CState* m_pPrevious;
    CState* m_pNext;
    uintptr_t m_context;  // the owning machine's context, given when the state becomes current
    uint16_t m_id;
    bool m_enterPending;  // on a machine: its current state has yet to be entered
    bool m_transitionPending;
    bool m_repeat;
};
