// CWreckMgr: the wrecks left where objects fell, kept across the missions of a chapter in the saved
// level state. No object leaves a wreck yet, so there are never any to save or to bring back.
#pragma once

class CParamBlock;

class CWreckMgr {
public:
    static CWreckMgr* Instance();

    // A new block of the current wrecks for the saved state (the caller names and frees it), or
    // null when there are none.
    CParamBlock* saveWrecks();
    // Respawns the wrecks of a saved block.
    void loadWrecks(const CParamBlock* pBlock);

private:
    CWreckMgr() {}
};
