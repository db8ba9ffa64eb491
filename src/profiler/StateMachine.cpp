#include "profiler/StateMachine.h"

void CStateMachine::makeCurrent(CState* state)
{
    m_enterPending = true;
    m_pCurrent = state;
    if (state) state->m_context = m_machineContext;
}

void CStateMachine::start(CState* state, uintptr_t context)
{
    m_machineContext = context;
    makeCurrent(state);
}

int CStateMachine::update(uintptr_t argument, uintptr_t)
{
    int result = 0;
    do {
        if (!m_pCurrent) return 0;
        if (m_pCurrent->m_transitionPending) {
            CState* old = m_pCurrent;
            old->exit();
            old->m_transitionPending = false;
            old->m_repeat = false;
            makeCurrent(old->m_pNext);
            // A transition to nothing leaves the machine idle.
            if (!m_pCurrent) return 0;
        }
        if (m_enterPending) {
            m_pCurrent->enter();
            m_enterPending = false;
        }
        result = m_pCurrent->update(argument, m_machineContext);
        // The state's update may have restarted the machine with no state.
    } while (m_pCurrent && m_pCurrent->m_repeat);
    return result;
}
