#include "ai/WorldMgr.h"

#include "ai/Events.h"
#include "ai/LandTree.h"
#include "utility/Assert.h"
#include "utility/IniManager.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstring>
#include <string>
#include <utility>

namespace {
// The largest level needs more wired objects than the default table holds.
const uint32_t LARGE_LEVEL_MAX_HANDLERS = 1000;
// Until levels carry their landscape: a square of 8192 units in cells of 512.
const float DEFAULT_TREE_CELL_SIZE = 512.0f;
const uint32_t DEFAULT_TREE_DEPTH = 4;
const char* const TREES_SECTION = "TREES";
}

CWorldMgr::CWorldMgr(const SWorldObjectHooks* pObjectHooks)
    : d_levelLoaded(false), d_levelEndFlag1(false), d_levelEndFlag2(false), d_frameCounter(0), d_pTree(nullptr),
      d_pObjectHooks(pObjectHooks)
{
}

CWorldMgr::~CWorldMgr()
{
    ASSERT(!d_levelLoaded);
    delete d_pTree;
}

void CWorldMgr::createTree(float cellSize, uint32_t depth)
{
    delete d_pTree;
    d_pTree = new CLandTree(cellSize, depth);
    d_pTree->setAIMap(&d_aiMap);
}

void CWorldMgr::makeEventTable(const char* levelPath)
{
    CEvents::initialise(levelPath && strstr(levelPath, "desert04") ? LARGE_LEVEL_MAX_HANDLERS : 0);
}

void CWorldMgr::readLevelSettings(const char* levelPath)
{
    // The detail setting is the player's, not the level's.
    const bool highDetail = d_trees.highDetail;
    d_trees = STreeSettings();
    d_trees.highDetail = highDetail;
    STreeSettings& t = d_trees;
    CIniManager ini;
    const std::pair<const char*, int*> states[] = {
        {"normalstate", &t.normalstate},     {"trunkstate", &t.trunkstate}, {"shotoncestate", &t.shotoncestate},
        {"shottwicestate", &t.shottwicestate}, {"burntstate", &t.burntstate}, {"burnttrunkstate", &t.burnttrunkstate}};
    for (const auto& [key, pValue] : states) ini.registerItem(TREES_SECTION, key, pValue, CIniManager::INI_INT);
    const std::pair<const char*, float*> floats[] = {
        {"collisionsizefudge", &t.collisionsizefudge}, {"rippleamplitude", &t.rippleamplitude},
        {"ripplesinfactor", &t.ripplesinfactor},       {"ripplecosfactor", &t.ripplecosfactor},
        {"ripplespeedfactor", &t.ripplespeedfactor},   {"ripplephasefactor", &t.ripplephasefactor},
        {"minintensity", &t.minintensity},             {"colourvariation", &t.colourvariation},
        {"scale", &t.scale}};
    for (const auto& [key, pValue] : floats) ini.registerItem(TREES_SECTION, key, pValue, CIniManager::INI_FLOAT);
    ini.registerString(TREES_SECTION, "scriptfile", t.scriptfile);
    ini.registerString(TREES_SECTION, "scriptfilehi", t.scriptfilehi);
    if (d_pObjectHooks && d_pObjectHooks->registerLevelSettings) d_pObjectHooks->registerLevelSettings(&ini);
    const std::string fileName = std::string(levelPath ? levelPath : "") + LEVEL_SETTINGS_FILE;
    // A level without the file has no trees.
    if (ini.loadFile(fileName.c_str()))
        ini.reportSkippedLines(fileName.c_str(), "Level settings ");
    else
        reportUnreadableFile(fileName.c_str(), ini.getOpenError());
}

void CWorldMgr::loadLevel(const char* levelPath)
{
    makeEventTable(levelPath);
    readLevelSettings(levelPath);
    d_frameCounter = 0;
    createTree(DEFAULT_TREE_CELL_SIZE, DEFAULT_TREE_DEPTH);
    d_levelEndFlag1 = d_levelEndFlag2 = false;
    d_levelLoaded = true;
}

bool CWorldMgr::restartLevel(CGameObjectManager* pObjects, const SLevelRestart& level)
{
    if (!VERIFY(pObjects)) return false;
    if (d_pObjectHooks) d_pObjectHooks->clearForRestart(pObjects, level);
    CEvents::freeAll();
    makeEventTable(level.levelPath);
    const bool read = d_pObjectHooks && d_pObjectHooks->refillForRestart(pObjects, level);
    d_frameCounter = 0;
    d_levelEndFlag1 = d_levelEndFlag2 = false;
    return read;
}

void CWorldMgr::trackDeath(CGameObject*, CGameObject*) {}

bool CWorldMgr::loadTreeClumps()
{
    return d_pObjectHooks &&
           d_pObjectHooks->loadTreeClumps(d_trees.highDetail ? d_trees.scriptfilehi : d_trees.scriptfile,
                                          d_trees.highDetail);
}

void CWorldMgr::loadLevelPart2()
{
    if (d_pObjectHooks && d_pObjectHooks->setLightDrawHooks) d_pObjectHooks->setLightDrawHooks(true);
}

void CWorldMgr::unloadLevel()
{
    if (d_pObjectHooks && d_pObjectHooks->setLightDrawHooks) d_pObjectHooks->setLightDrawHooks(false);
    if (d_pObjectHooks) d_pObjectHooks->unloadTreeClumps();
    CEvents::freeAll();
    d_aiMap.destroy();
    d_pathMgr.clear();
    delete d_pTree;
    d_pTree = nullptr;
    d_levelLoaded = false;
}
