#include "profiler/State.h"

CState::CState(uint16_t id)
    : m_pPrevious(nullptr),
      m_pNext(nullptr),
      m_context(0),
      m_id(id),
      m_enterPending(false),
      m_transitionPending(false),
      m_repeat(false)
{
}

int CState::update(uintptr_t, uintptr_t) { return 0; }

CState* CState::setNextState(CState* state)
{
    m_pNext = state;
    if (state) state->m_pPrevious = this;
    m_transitionPending = true;
    return state;
}
