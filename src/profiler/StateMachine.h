// CStateMachine: runs one current state at a time. Being a state itself, a machine can be the
// state of another machine.
//
// Each update: a pending transition exits the old state and makes its successor current; a state
// not yet entered is entered; then the state's update runs - again while it keeps its repeat
// flag set, so a state can chain into its successor within one update.
#pragma once

#include "profiler/State.h"

class CStateMachine : public CState {
public:
    CStateMachine() : CState(NO_ID), m_pCurrent(nullptr), m_machineContext(0) {}

    // Makes state current (entered at the next update). A running state is replaced without its
    // exit.
    void start(CState* state, uintptr_t context);
    CState* getCurrentState() const { return m_pCurrent; }

    // The result of the last state update; 0 when there is no current state. As a state of an
    // outer machine the outer context is not used: the machine keeps its own.
    int update(uintptr_t argument, uintptr_t context) override;
    int update(uintptr_t argument) { return update(argument, m_machineContext); }

private:
    void makeCurrent(CState* state);

    CState* m_pCurrent;
    uintptr_t m_machineContext;
};
