#include "ai/AnimGroup.h"

CAnimGroup::CAnimGroup()
{
    for (CAnimInstABC*& pInst : d_pInstances) pInst = nullptr;
}

CAnimGroup::~CAnimGroup()
{
    for (CAnimInstABC* pInst : d_pInstances) delete pInst;
}

uint32_t CAnimGroup::getNumInstances() const
{
    uint32_t count = 0;
    for (const CAnimInstABC* pInst : d_pInstances) count += pInst ? 1 : 0;
    return count;
}

CAnimInstABC** CAnimGroup::allocInstanceSlot()
{
    for (CAnimInstABC*& pInst : d_pInstances)
        if (!pInst) return &pInst;
    return nullptr;
}
