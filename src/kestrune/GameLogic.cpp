#include "kestrune/GameLogic.h"

#include "ai/WorldMgr.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "kestrune/GameInfo.h"
#include "network/NodeManager.h"
#include "utility/Assert.h"
#include "utility/BlockFile.h"

#include <new>

namespace {

CWorldMgr* worldManager() { return projDataExists() ? getProjData().getWorldMgr() : nullptr; }

bool isClient()
{
    CNodeManager* pNode = projDataExists() ? getProjData().getNetwork() : nullptr;
    return pNode && !pNode->isHost();
}

}  // namespace

CGameLogic::CGameLogic(HWND mainWindow)
    : theObjectManager(nullptr), m_mainWindow(mainWindow), m_shutDown(false), m_pGameInfo(nullptr)
{
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

void CGameLogic::registerLevelManagers()
{
    // The game's managers in their order: misc objects, physics objects, collision objects, animals,
    // herds, models, components, cameras, effects, script objects, block files. Those not built yet
    // join here in their place.
    CGameObjectManager& objects = *theObjectManager;
    objects.registerResourceManager(new CCollisionObjectResourceManager);
    for (CResourceManager* pManager : m_levelManagers)
        if (!objects.registerResourceManager(pManager)) pManager->destroy();
    m_levelManagers.clear();
}

bool CGameLogic::loadLevel(const char* instanceScript)
{
    unloadLevel();
    theObjectManager = new CGameObjectManager(this);
    // The wiring table must exist before the first object is made.
    if (CWorldMgr* pWorld = worldManager()) pWorld->loadLevel(getProjData().CurrentLevelPath);
    registerLevelManagers();
    theObjectManager->initialiseResourceManagers();
    // A client is sent the host's game info; elsewhere the game runs its own.
    if (!isClient()) m_pGameInfo = new GameInfo;

    char* pText = nullptr;
    blockStartList blocks;
    const bool read = scanBlocks(instanceScript, &pText, blocks);
    if (read) {
        theObjectManager->createObjectsFromInstanceScript(blocks);
        deleteBlockStartList(blocks);
        delete[] pText;
    } else {
        assertFailedMsg("Failed to read the instance script", "0", __FILE__, __LINE__);
    }
    theObjectManager->update();
    return read;
}

void CGameLogic::unloadLevel()
{
    if (theObjectManager) {
        theObjectManager->releaseAllObjects();
        delete theObjectManager;
        theObjectManager = nullptr;
        if (CWorldMgr* pWorld = worldManager()) pWorld->unloadLevel();
    }
    delete m_pGameInfo;
    m_pGameInfo = nullptr;
}

void CGameLogic::fixedStep()
{
    if (!theObjectManager || !m_pGameInfo || !m_pGameInfo->isServerRunning()) return;
    theObjectManager->update();
    if (CWorldMgr* pWorld = worldManager()) pWorld->advanceFrame();
}

void CGameLogic::afterFixedSteps()
{
    if (theObjectManager) theObjectManager->updateInterpolation();
}

void CGameLogic::renderView()
{
    if (theObjectManager) theObjectManager->renderGroups();
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
