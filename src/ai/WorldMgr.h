// CWorldMgr: loads and runs a level. The project data owns the one world manager of a session.
#pragma once

#include "ai/AIMap.h"

class CLandTree;

class CWorldMgr {
public:
    CWorldMgr();
    // The level must have been unloaded first.
    ~CWorldMgr();
    CWorldMgr(const CWorldMgr&) = delete;
    CWorldMgr& operator=(const CWorldMgr&) = delete;

    // Releases the loaded level's contents.
    void unloadLevel();
    bool isLevelLoaded() const { return d_levelLoaded; }
    // The loaded level's landscape tree (reported when there is none).
    CLandTree* getTree() const;
    CAIMap* getAIMap() { return &d_aiMap; }

private:
    bool d_levelLoaded;
    CAIMap d_aiMap;
    CLandTree* d_pTree;
};
