// CWorldMgr: loads and runs a level. The project data owns the one world manager of a session.
#pragma once

#include "ai/AIMap.h"
#include "ai/PathMgr.h"

#include <cstdint>

class CLandTree;
class CGameObject;

class CWorldMgr {
public:
    CWorldMgr();
    // The level must have been unloaded first.
    ~CWorldMgr();
    CWorldMgr(const CWorldMgr&) = delete;
    CWorldMgr& operator=(const CWorldMgr&) = delete;

    // Starts a level: the event-wiring table is made before any object (a larger one for the levels
    // whose path contains "desert04") and the frame count starts at 0.
    void loadLevel(const char* levelPath);
    // Releases the loaded level's contents and its event wiring.
    void unloadLevel();
    // The level's frames so far.
    uint32_t getFrameCounter() const { return d_frameCounter; }
    void advanceFrame() { ++d_frameCounter; }
    // Records a kill (the killer's notifyKilled); no statistics are kept yet.
    void trackDeath(CGameObject* pVictim, CGameObject* pKiller);
    bool isLevelLoaded() const { return d_levelLoaded; }
    // The loaded level's landscape tree (reported when there is none).
    CLandTree* getTree() const;
    bool hasTree() const { return d_pTree != nullptr; }
    // Replaces the tree by an empty one of that shape (the level load makes the default one).
    void createTree(float cellSize, uint32_t depth);
    CPathMgr* getPathMgr() { return &d_pathMgr; }
    CAIMap* getAIMap() { return &d_aiMap; }

private:
    bool d_levelLoaded;
    uint32_t d_frameCounter;
    CAIMap d_aiMap;
    CPathMgr d_pathMgr;
    CLandTree* d_pTree;
};
