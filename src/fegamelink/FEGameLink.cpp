#include "fegamelink/FEGameLink.h"

#include <atomic>

namespace {

std::atomic<int32_t> stepsTaken{0};
std::atomic<int32_t> exitAfter{0};

}  // namespace

int32_t CFEGameLink::UpdateWaitFrontEnd(int32_t, int32_t)
{
    const int32_t step = ++stepsTaken;
    const int32_t last = exitAfter;
    return last > 0 && step >= last ? WAITFRONTEND_EXIT : WAITFRONTEND_CONTINUE;
}

void CFEGameLink::SetExitAfterSteps(int32_t steps)
{
    stepsTaken = 0;
    exitAfter = steps;
}

int32_t CFEGameLink::Steps() { return stepsTaken; }

CFEGameLink* getFEGameLink()
{
    static CFEGameLink link;
    return &link;
}
