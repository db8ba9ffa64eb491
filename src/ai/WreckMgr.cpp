#include "ai/WreckMgr.h"

CWreckMgr* CWreckMgr::Instance()
{
    static CWreckMgr instance;
    return &instance;
}

CParamBlock* CWreckMgr::saveWrecks() { return nullptr; }

void CWreckMgr::loadWrecks(const CParamBlock*) {}
