#include "ai/FState.h"

#include "utility/Assert.h"

CFStateMgr::~CFStateMgr()
{
    if (m_ownsStates)
        for (CFState* pState : m_states) delete pState;
}

void CFStateMgr::registerState(CFState* pState, bool isDefault)
{
    if (!VERIFY(pState)) return;
    m_states.push_back(pState);
    if (isDefault) m_pDefault = pState;
}

bool CFStateMgr::process(CFStateData* pData)
{
    if (!VERIFY(pData)) return false;
    for (uint32_t step = 0; step < MAX_STEPS; ++step) {
        bool done = false;
        switch (pData->getStateType()) {
        case CFStateData::NONE: {
            CFState* pChosen = m_pDefault;
            for (CFState* pState : m_states) {
                if (pState->accept(pData)) {
                    pChosen = pState;
                    break;
                }
            }
            if (!VERIFY_MSG(pChosen, "No state to enter")) return false;
            m_pCurrent = pChosen;
            pData->setStateType(CFStateData::BEGIN);
            break;
        }
        case CFStateData::BEGIN:
        case CFStateData::DURING:
        case CFStateData::END:
            // A phase set from outside before any state was entered starts with the choice.
            if (!m_pCurrent) {
                pData->setStateType(CFStateData::NONE);
                break;
            }
            done = pData->getStateType() == CFStateData::BEGIN    ? m_pCurrent->onBegin(pData)
                   : pData->getStateType() == CFStateData::DURING ? m_pCurrent->onDuring(pData)
                                                                  : m_pCurrent->onEnd(pData);
            break;
        default: assertFailedMsg("Unknown state phase", "0", __FILE__, __LINE__); return false;
        }
        if (done) return true;
    }
    assertFailedMsg("State machine did not settle", "step < MAX_STEPS", __FILE__, __LINE__);
    return false;
}
