// CWorldMgr: loads and runs a level. The project data owns the one world manager of a session.
#pragma once

#include "ai/AIMap.h"
#include "ai/PathMgr.h"
#include "utility/Assert.h"

#include <cstdint>

class CLandTree;
class CGameObject;
class CGameObjectManager;
class CIniManager;

// What a restart needs of the level being played.
struct SLevelRestart {
    const char* levelPath;
    const char* instanceScript;
    const uint32_t* pKeepTypes;  // object types that live on through the restart
    uint32_t numKeepTypes;
    int chapter;
    int mission;
    bool campaign;  // only campaign levels have saved states
    bool trackDeletions;
};

// The level's trees and bushes (section TREES of the level's settings file): the element states of
// the tree clumps, their collision size, their sway and the clump files of the two detail settings.
struct STreeSettings {
    static constexpr uint32_t MAX_FILE_NAME = 256;
    int normalstate = 0;
    int trunkstate = 1;
    int shotoncestate = 0;
    int shottwicestate = 0;
    int burntstate = 1;
    int burnttrunkstate = 1;
    float collisionsizefudge = 1.0f;
    float rippleamplitude = 0.0f;
    float ripplesinfactor = 0.0f;
    float ripplecosfactor = 0.0f;
    float ripplespeedfactor = 0.0f;
    float ripplephasefactor = 0.0f;
    float minintensity = 0.0f;
    float colourvariation = 0.0f;
    float scale = 1.0f;
    char scriptfile[MAX_FILE_NAME] = {};
    char scriptfilehi[MAX_FILE_NAME] = {};
    bool highDetail = false;  // the detail setting asks for the high-detail trees
};

// The level's objects live above the world: the game hands each world manager it makes how to reach
// them. A world made without (as the lower modules' tests make one) has no tree clumps, and its
// restart remakes only the event wiring.
struct SWorldObjectHooks {
    // The tree clumps of the clump file; false when it does not load.
    bool (*loadTreeClumps)(const char* pFileName, bool highDetail);
    // The tree clumps go, with their clump manager.
    void (*unloadTreeClumps)();
    // A restart's first half: every object but the kept types and the tree clumps goes, and those
    // that stay lose their event wiring.
    void (*clearForRestart)(CGameObjectManager* pObjects, const SLevelRestart& level);
    // Its second half, once the wiring table is made anew: the script's objects come back, the tree
    // clumps are reset and the chapter's saved state is applied again. False when the script cannot
    // be read.
    bool (*refillForRestart)(CGameObjectManager* pObjects, const SLevelRestart& level);
    // The light manager's pre- and post-draw hooks go to the landscape's draw functions while a
    // level is loaded, and are removed when it goes.
    void (*setLightDrawHooks)(bool levelLoaded);
    // The game's own keys of the level's settings file, registered on the manager that reads it for
    // the trees, so the file is read once.
    bool (*registerLevelSettings)(CIniManager* pIni);
};

class CWorldMgr {
public:
    explicit CWorldMgr(const SWorldObjectHooks* pObjectHooks = nullptr);
    // The level must have been unloaded first.
    ~CWorldMgr();
    CWorldMgr(const CWorldMgr&) = delete;
    CWorldMgr& operator=(const CWorldMgr&) = delete;

    // The level's settings file in its folder, in ini syntax:
    //   [TREES]
    //   scriptfile = <string> "data\clumps\grove.clump"
    //   trunkstate = <int> 1
    static constexpr const char* LEVEL_SETTINGS_FILE = "level.ini";

    // Starts a level: the event-wiring table is made before any object (a larger one for the levels
    // whose path contains "desert04"), the frame count starts at 0 and the tree settings are read
    // from the level's settings file. Without the file the level has no trees; lines of it that
    // cannot be used are reported once and skipped.
    void loadLevel(const char* levelPath);
    // The level load's second part, once the level's visuals are up: the light manager's draw hooks
    // (through the game's hooks).
    void loadLevelPart2();
    // Releases the loaded level's contents, its draw hooks and its event wiring.
    void unloadLevel();
    // Plays the level again from its start: every object but the kept types goes, the wiring is
    // made anew, the script's objects come back and the chapter's saved state is applied again
    // (the objects' part through the hooks). False when the script cannot be read, or without hooks.
    bool restartLevel(CGameObjectManager* pObjects, const SLevelRestart& level);

    // The level-end flags, set when a mission ends. The mission counts as completed (and its state
    // is saved for the next) when the first is set and the second clear.
    void setLevelEndFlags(bool first, bool second)
    {
        d_levelEndFlag1 = first;
        d_levelEndFlag2 = second;
    }
    bool getLevelEndFlag1() const { return d_levelEndFlag1; }
    bool getLevelEndFlag2() const { return d_levelEndFlag2; }
    // The level's frames so far.
    uint32_t getFrameCounter() const { return d_frameCounter; }
    void advanceFrame() { ++d_frameCounter; }
    // Records a kill (the killer's notifyKilled); no statistics are kept yet.
    void trackDeath(CGameObject* pVictim, CGameObject* pKiller);
    bool isLevelLoaded() const { return d_levelLoaded; }
    // The loaded level's landscape tree (reported when there is none).
    CLandTree* getTree() const
    {
        ASSERT(d_pTree);
        return d_pTree;
    }
    bool hasTree() const { return d_pTree != nullptr; }
    // Replaces the tree by an empty one of that shape (the level load makes the default one).
    void createTree(float cellSize, uint32_t depth);
    CPathMgr* getPathMgr() { return &d_pathMgr; }
    STreeSettings& getTreeSettings() { return d_trees; }
    // Set by the player's vehicle: while clear, shots do not damage trees.
    uint8_t d_treeDamage = 1;
    // The level's tree clumps, once its object managers are up; false when it has none, its clump
    // file does not load (the level goes on without) or the world has no hooks.
    bool loadTreeClumps();
    CAIMap* getAIMap() { return &d_aiMap; }

private:
    // The wiring table of a level, larger for the levels that need it.
    static void makeEventTable(const char* levelPath);
    // The tree settings back to their defaults, then those the level's settings file gives.
    void readLevelSettings(const char* levelPath);

    bool d_levelLoaded;
    bool d_levelEndFlag1;
    bool d_levelEndFlag2;
    uint32_t d_frameCounter;
    CAIMap d_aiMap;
    CPathMgr d_pathMgr;
    CLandTree* d_pTree;
    STreeSettings d_trees;
    const SWorldObjectHooks* d_pObjectHooks;
};
