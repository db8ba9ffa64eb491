#include "kestrune/GameLogic.h"

#include "ai/Events.h"
#include "ai/WorldMgr.h"
#include "d3dcore9/D3DCore.h"
#include "effects/EffectScene.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/GameTree.h"
#include "gameobjects/ModelResourceManager.h"
#include "gameobjects/PhysicsObjectResourceManager.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "gameobjects/TreeClump.h"
#include "global/ProjData.h"
#include "kestrune/GameInfo.h"
#include "kestrune/LightEffects.h"
#include "kestrune/VolumeFog.h"
#include "l3render/LightManager.h"
#include "l3render/ModelInst.h"
#include "matcore9/BufferAllocator.h"
#include "network/NodeManager.h"
#include "profiler/Profiler.h"
#include "utility/Assert.h"

#include <new>
#include <vector>

namespace {

CWorldMgr* worldManager() { return projDataExists() ? getProjData().getWorldMgr() : nullptr; }

bool isClient()
{
    CNodeManager* pNode = projDataExists() ? getProjData().getNetwork() : nullptr;
    return pNode && !pNode->isHost();
}

// The effects are seen from the current camera of the game's camera manager.
bool currentCameraPosition(Vector3* pPosition)
{
    CGameLogic* pLogic = projDataExists() ? getProjData().getGameLogic() : nullptr;
    return pLogic && pLogic->getCameraManager().getCurrentCameraPosition(pPosition);
}

// The level's light effects, light maps, cloud layer and fog banks: materials and models, so
// only with a device (a level run without one goes without them).
void loadLevelVisuals()
{
    if (!D3DCore.DeviceActive) return;
    InitLightEffects(32);
    LoadCloudLevel();
    if (GetVolumeDataFile()[0]) LoadVolumeModels(GetVolumeDataFile());
}

void releaseLevelVisuals()
{
    ShutdownLightEffects();
    ReleaseVolumeFog();
}

void clearForRestart(CGameObjectManager* pObjects, const SLevelRestart& level)
{
    pObjects->resetDeletionTracking();
    // The tree clumps come from the clump file, not the script: they stay and are reset.
    std::vector<uint32_t> keep(level.pKeepTypes, level.pKeepTypes + (level.pKeepTypes ? level.numKeepTypes : 0));
    keep.push_back(CTreeClump::TYPE_ID);
    pObjects->deleteAllObjectsExcept(keep.data(), static_cast<uint32_t>(keep.size()));
    pObjects->update();
    pObjects->update();
    // The objects that stay lose their wiring with the table.
    pObjects->detachEventWiring();
}

// The report of a script that cannot be read names it, and is left out once the script has been
// reported.
bool readLevelScript(CGameObjectManager* pObjects, const char* fileName)
{
    ReadingFile script(fileName);
    const bool read = pObjects->readInstanceScript(fileName);
    if (!read) assertFailedMsg("Failed to read the instance script", "0", __FILE__, __LINE__);
    return read;
}

bool refillForRestart(CGameObjectManager* pObjects, const SLevelRestart& level)
{
    pObjects->resetResourceManagers();
    const bool read = readLevelScript(pObjects, level.instanceScript);
    CGameTree::resetAll();
    if (level.campaign) pObjects->loadState(level.chapter, level.mission, level.trackDeletions);
    pObjects->update();
    return read;
}

// The landscape's part in drawing a lit model: the instance's position goes into its first three
// per-instance words. The fourth is the landscape's value at that position; with no landscape built
// it keeps its previous value.
void landscapePreDraw(CModelInst* pInstance)
{
    for (int i = 0; i < 3; ++i) pInstance->m_instanceData[i] = pInstance->m_transform.Translation[i];
}

// The landscape's own step after a lit model's draw: nothing without a landscape.
void landscapePostDraw(CModelInst*) {}

void setLightDrawHooks(bool levelLoaded)
{
    if (levelLoaded)
        CLightManager::GetInstance()->SetDrawHooks(&landscapePreDraw, &landscapePostDraw);
    else
        CLightManager::GetInstance()->SetDrawHooks(nullptr, nullptr);
}

}  // namespace

const SWorldObjectHooks levelObjectHooks = {&CGameTree::loadTreeClumps, &CGameTree::unload, &clearForRestart,
                                            &refillForRestart, &setLightDrawHooks, &RegisterVolumeIniKeys};

CGameLogic::CGameLogic(HWND mainWindow)
    : theObjectManager(nullptr), m_mainWindow(mainWindow), m_shutDown(false), m_pGameInfo(nullptr), m_chapter(0),
      m_mission(0), m_campaign(false), m_trackDeletions(false), m_noStateSave(false)
{
    SetEffectSortCamera(currentCameraPosition);
    CGameTree::s_pLightColourAt = &GetLightEffectColourAtPoint;
}

CGameLogic::~CGameLogic()
{
    unloadLevel();
    for (CResourceManager* pManager : m_levelManagers) pManager->destroy();
}

void CGameLogic::shutdown()
{
    unloadLevel();
    m_shutDown = true;
}

void CGameLogic::addLevelManager(CResourceManager* pManager)
{
    if (VERIFY(pManager)) m_levelManagers.push_back(pManager);
}

namespace {

// The game's manager of an id, unless one added from outside stands in for it.
template <class Manager>
void registerGameManager(CGameObjectManager& objects, uint32_t managerId)
{
    if (!objects.getResourceManager(managerId)) objects.registerResourceManager(new Manager);
}

}  // namespace

void CGameLogic::registerLevelManagers()
{
    CGameObjectManager& objects = *theObjectManager;
    // Managers added from outside come first: each stands in for the game's own of its id.
    for (CResourceManager* pManager : m_levelManagers)
        if (!objects.registerResourceManager(pManager)) pManager->destroy();
    m_levelManagers.clear();
    // The game's managers in their order: misc objects, physics objects, collision objects, animals,
    // herds, models, components, cameras, effects, script objects, block files. Those not built yet
    // join here in their place.
    registerGameManager<CSampleObjectResourceManager>(objects, CResourceManager::MANAGER_MISC);
    registerGameManager<CPhysicsObjectResourceManager>(objects, CResourceManager::MANAGER_PHYSICS);
    registerGameManager<CCollisionObjectResourceManager>(objects, CResourceManager::MANAGER_COLLISION);
    registerGameManager<CModelResourceManager>(objects, CResourceManager::MANAGER_MODELS);
    registerGameManager<CEffectObjectResourceManager>(objects, CResourceManager::MANAGER_EFFECTS);
}

bool CGameLogic::loadLevel(const char* instanceScript)
{
    unloadLevel();
    // The level's first step already sorts, fades and wraps its effects from where it is seen,
    // before the level is first drawn from there.
    m_cameraManager.setCurrentCamera(0, LEVEL_CAMERA_POSITION);
    SetEffectCameraPosition(LEVEL_CAMERA_POSITION);
    resetGameTime();
    profilerStart(0);
    // The level's models load as one batch, reusing their scratch memory.
    if (D3DCore.DeviceActive) CBufferAllocator::GetInstance()->EnableRecycling();
    theObjectManager = new CGameObjectManager(this);
    // The wiring table must exist before the first object is made.
    if (CWorldMgr* pWorld = worldManager()) pWorld->loadLevel(getProjData().CurrentLevelPath);
    loadLevelVisuals();
    if (CWorldMgr* pWorld = worldManager()) pWorld->loadLevelPart2();
    registerLevelManagers();
    theObjectManager->initialiseResourceManagers();
    if (CWorldMgr* pWorld = worldManager()) pWorld->loadTreeClumps();
    // A client is sent the host's game info; elsewhere the game runs its own.
    if (!isClient()) m_pGameInfo = new GameInfo;

    m_instanceScript = instanceScript ? instanceScript : "";
    const bool read = readLevelScript(theObjectManager, instanceScript);
    theObjectManager->update();
    if (m_campaign) theObjectManager->loadState(m_chapter, m_mission, m_trackDeletions);
    if (D3DCore.DeviceActive) CBufferAllocator::GetInstance()->DisableRecycling();
    return read;
}

void CGameLogic::setMission(int chapter, int mission, bool campaign, bool trackDeletions)
{
    m_chapter = chapter;
    m_mission = mission;
    m_campaign = campaign;
    m_trackDeletions = trackDeletions;
}

bool CGameLogic::restartLevel()
{
    CWorldMgr* pWorld = worldManager();
    if (!theObjectManager || !pWorld) return false;
    const SLevelRestart level = {getProjData().CurrentLevelPath,
                                 m_instanceScript.c_str(),
                                 m_restartKeepTypes.data(),
                                 static_cast<uint32_t>(m_restartKeepTypes.size()),
                                 m_chapter,
                                 m_mission,
                                 m_campaign,
                                 m_trackDeletions};
    return pWorld->restartLevel(theObjectManager, level);
}

void CGameLogic::unloadLevel()
{
    if (theObjectManager) {
        // Only a mission played through leaves its world to the next one.
        CWorldMgr* pWorld = worldManager();
        if (pWorld && pWorld->getLevelEndFlag1() && !pWorld->getLevelEndFlag2() && !m_noStateSave &&
            theObjectManager->isDeletionTrackingEnabled())
            ASSERT(theObjectManager->saveState(m_chapter, m_mission + 1));
        theObjectManager->releaseAllObjects();
        delete theObjectManager;
        theObjectManager = nullptr;
        releaseLevelVisuals();
        if (CWorldMgr* pWorld = worldManager()) pWorld->unloadLevel();
        profilerStop();
    }
    delete m_pGameInfo;
    m_pGameInfo = nullptr;
}

void CGameLogic::fixedStep()
{
    if (!theObjectManager || !m_pGameInfo || !m_pGameInfo->isServerRunning()) return;
    theObjectManager->update();
    // The objects' running flag holds the wiring and the world with them.
    if (theObjectManager->areObjectsRunning()) {
        CEvents::updateAll();
        if (CWorldMgr* pWorld = worldManager()) pWorld->advanceFrame();
    }
    CGameTree::frameStep();
    UpdateLightEffects(static_cast<uint32_t>(getFrameStep()));
}

void CGameLogic::deviceReset()
{
    if (theObjectManager) theObjectManager->walkRegistry();
}

void CGameLogic::afterFixedSteps()
{
    if (theObjectManager) theObjectManager->updateInterpolation();
}

void CGameLogic::renderView()
{
    if (!theObjectManager) return;
    theObjectManager->renderGroups();
    UpdateVolumeFog();
    RenderLightEffectMaps();
}

void CGameLogic::renderAfterScene()
{
    if (theObjectManager) theObjectManager->renderObjects();
}

CGameObject* CGameLogic::createGameInfo()
{
    delete m_pGameInfo;
    m_pGameInfo = new (std::nothrow) GameInfo;
    return m_pGameInfo;
}

bool CGameLogic::isGameInfoFlagSet() { return m_pGameInfo && (m_pGameInfo->getStateFlags() & GameInfo::FLAG_GAME_INFO); }
