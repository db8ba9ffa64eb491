#include "global/ProjData.h"

#include "ai/WorldMgr.h"
#include "audio/AudioManager.h"
#include "gameobjects/GameObjectManager.h"
#include "network/NodeManager.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/IniManager.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"
#include "utility/VectorMath.h"
#include "wincore/WinCore.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

namespace {

CProjData* pTheProjData = nullptr;
const SProjDataGameServices* gameServices = nullptr;
const SProjDataVBManagerMaker* vbManagerMaker = nullptr;

const uint32_t DEBUG_ALL = 0xFFFFFFFFu;
const uint32_t MAX_KEPT_GAME_MESSAGES = 5;

// The debug output is off: the run log is where the user learns why the run stopped.
[[noreturn]] void stopOnNetwork(const char* text, const char* reason)
{
    ReportApart apart;
    writeRunLog(text);
    stopRun(reason);
}

void freeNameSlots(TNameSlotTable*& table)
{
    if (!table) return;
    for (uint32_t i = 0; i < table->numEntries; ++i) table->pEntries[i].list.RemoveAll();
    delete[] table->pEntries;
    delete table;
    table = nullptr;
}

// Copies a string value of the level block into its field; what is missing or does not fit is
// reported and leaves the field as it was.
void readLevelString(const CParamBlock* level, const char* name, char* field, size_t capacity, const char* missing,
                     const char* tooLong)
{
    const int size = level->parseStringGetSize(name);
    if (size == 0) {
        assertFailedMsg(missing, "0", __FILE__, __LINE__);
        return;
    }
    if (static_cast<size_t>(size) > capacity) {
        assertFailedMsg(tooLong, "size <= capacity", __FILE__, __LINE__);
        return;
    }
    level->parseString(name, field, capacity);
}

}  // namespace

CProjData::CProjData()
    : numGameMessages(0), pGameMessageHead(nullptr), pGameMessageTail(nullptr), BypassFrontEnd(0), ShowCullSpheres(0),
      LevelLoaded(false),
      TuningFloats{27.0f, 64000.0f, 32.0f, 24.0f}, FELink(nullptr), m3Ident(new Matrix3), m4Ident(new Matrix4),
      FrameStep(30), AltStepEnabled(0), AltStep(33), FrameTimeTotal(0), GameTime(0), PreviousAdvanceTime(0),
      LastElapsedTime(0), SessionCounter(0), SessionFlags(0), SessionStart(0), PlayerWeaponsParamBlock(nullptr),
      PlayerPlaneWeaponsParamBlock(nullptr), CurrentDemoIdx(0), pNameSlots(nullptr), pNetwork(nullptr),
      pGameLogic(nullptr), pIniManager(nullptr), NetworkingEnabled(false), CurrentLevelPath{}, CurrentWorldPath{},
      CurrentMission{}, pWorldMgr(nullptr), pAudioMgr(nullptr), pVBManager(nullptr),
      pErrorStrings(gameServices ? gameServices->createErrorStrings() : nullptr), pWorkBlock(nullptr)
{
    for (auto& row : DisplayLimits)
        for (int& limit : row) limit = 32767;
    snprintf(SessionName, sizeof SessionName, "%s", "DefaultSession");
    snprintf(MusicFile, sizeof MusicFile, "%s", "data\\music\\frontend.wav");
    m3Ident->setIdentity();
    m4Ident->setIdentity();
}

CProjData::~CProjData()
{
    while (pGameMessageHead) {
        TGameMessageNode* node = pGameMessageHead;
        pGameMessageHead = node->pNext;
        delete node;
    }
    pGameMessageTail = nullptr;
    numGameMessages = 0;
    delete m3Ident;
    delete m4Ident;
    m3Ident = nullptr;
    m4Ident = nullptr;
    destroyAudioManager();
    freeNameSlots(pNameSlots);
    delete[] pWorkBlock;
    pWorkBlock = nullptr;
    if (pErrorStrings && gameServices) gameServices->destroyErrorStrings(pErrorStrings);
    pErrorStrings = nullptr;
}

CNetObjectInterface* CProjData::getObjectManagerInterface()
{
    CGameObjectManager* pManager = getObjectManager();
    return pManager ? static_cast<CNetObjectInterface*>(pManager) : nullptr;
}

void* CProjData::getNetworkSession()
{
    if (!VERIFY(pNetwork)) return nullptr;
    return pNetwork->getSession();
}

CGameObjectManager* CProjData::getObjectManager()
{
    return pGameLogic && gameServices ? gameServices->getObjectManager(pGameLogic) : nullptr;
}

void CProjData::startSession()
{
    GameTime = 0;
    SessionFlags = 0;
    SessionStart = timeGetTime();
    setDebugFileName("debug.txt");
    delete[] pWorkBlock;
    pWorkBlock = new (std::nothrow) uint8_t[WORK_BLOCK_SIZE]();
    if (NetworkingEnabled) {
        pNetwork = new CNodeManager;
        if (!pNetwork->init()) {
            debugPrintf(DEBUG_ALL, "\ncan't connect");
            stopOnNetwork("The network node can't connect", "as the network node cannot connect");
        }
        if (!pNetwork->contactServer()) {
            debugPrintf(DEBUG_ALL, "\nno response from server");
            stopOnNetwork("No response from the network server", "as the network server does not answer");
        }
    }
    HWND mainWindow = nullptr;
    WinCore.GetHandles(&mainWindow, nullptr);
    releaseSessionWorld();
    if (gameServices) pGameLogic = gameServices->createGameLogic(mainWindow);
    if (gameServices) pWorldMgr = gameServices->createWorldMgr();
    // A table left from an earlier session would be lost with the pointer.
    destroyNameSlotTable();
}

void CProjData::releaseSessionWorld()
{
    if (pGameLogic && gameServices) gameServices->destroyGameLogic(pGameLogic);
    pGameLogic = nullptr;
    if (pWorldMgr && gameServices) gameServices->destroyWorldMgr(pWorldMgr);
    pWorldMgr = nullptr;
}

void CProjData::checkServer()
{
    if (!pNetwork || pNetwork->isSynchronised()) return;
    if (!pNetwork->contactTest()) {
        debugPrintf(DEBUG_ALL, "\n!!!!!!!!!!!!!! no response from server !!!!!!!!!!!!!!");
        stopOnNetwork("No response from the network server", "as the network server does not answer");
    }
    if (!pNetwork->synchroniseTime()) {
        debugPrintf(DEBUG_ALL, "\n!!!!!!!!!!!!! COULDN'T SYNCH TIME TO SERVER !!!!!!!!!!!!!");
        stopOnNetwork("Couldn't match the network server's time", "as the network server's time cannot be matched");
    }
}

void CProjData::shutdownPreD3D()
{
    debugPrintf(DEBUG_ALL, "\n\nglobal shut down pre d3d\n");
    destroyNameSlotTable();
    if (pNetwork) {
        pNetwork->stop();
        Sleep(1000);
    }
    releaseSessionWorld();
    delete[] pWorkBlock;
    pWorkBlock = nullptr;
    if (pNetwork) {
        pNetwork->release();
        delete pNetwork;
        pNetwork = nullptr;
    }
}

void CProjData::shutdownPostD3D()
{
    debugPrintf(DEBUG_ALL, "\n\nglobal shut down post d3d\n");
    delete pIniManager;
    pIniManager = nullptr;
}

bool CProjData::readGameConfig(CParamBlock* pBlock, const char* fileName)
{
    // What the configuration lacks is part of reading its file: its first fault is the report.
    std::optional<ReadingFile> reading;
    if (fileName) reading.emplace(fileName);
    if (!VERIFY_MSG(pBlock, concatStrings("Failed to read game configuration file", fileName ? " " : nullptr, fileName)))
        return true;
    CParamBlock* level = nullptr;
    if (pBlock->findBlock("level", &level)) {
        readLevelString(level, "currentlevelpath", CurrentLevelPath, sizeof CurrentLevelPath,
                        "Missing level/currentlevelpath", "Over-long level/currentlevelpath");
        readLevelString(level, "currentworldpath", CurrentWorldPath, sizeof CurrentWorldPath,
                        "Missing level/currentworldpath", "Over-long level/currentworldpath");
        readLevelString(level, "currentmission", CurrentMission, sizeof CurrentMission,
                        "Missing level/currentmission", "Over-long level/currentmission");
        if (!level->parseInt("currentdemoidx", &CurrentDemoIdx)) CurrentDemoIdx = 0;
    } else {
        assertFailedMsg("Failed to find level block", "0", __FILE__, __LINE__);
        CurrentDemoIdx = 0;
    }
    PlayerWeaponsParamBlock = nullptr;
    PlayerPlaneWeaponsParamBlock = nullptr;
    pBlock->findBlock("PlaneWeapons", &PlayerPlaneWeaponsParamBlock);
    pBlock->findBlock("MechWeapons", &PlayerWeaponsParamBlock);
    if (PlayerPlaneWeaponsParamBlock == nullptr || PlayerWeaponsParamBlock == nullptr)
        assertFailedMsg("Failed to create PlayerWeapon paramter blocks. (try grabbing gameconfig.txt!)",
                        "getProjData().PlayerPlaneWeaponsParamBlock !=NULL && getProjData().PlayerWeaponsParamBlock!=NULL",
                        __FILE__, __LINE__);
    return true;
}

bool CProjData::createAudioManager()
{
    ASSERT(pAudioMgr == NULL);
    if (pAudioMgr) return true;
    pAudioMgr = new (std::nothrow) CAudioManager;
    if (!VERIFY(pAudioMgr)) return false;
    if (!pAudioMgr->Init()) {
        assertFailedMsg("Audio manager failed to initialise", "0", __FILE__, __LINE__);
        delete pAudioMgr;
        pAudioMgr = nullptr;
        return false;
    }
    pAudioMgr->getDevice()->SetDistanceFactor(0.057012539f);
    pAudioMgr->m_defaultMinDistance = 500.0f;
    pAudioMgr->getDevice()->SetDopplerFactor(1.0f);
    return true;
}

void CProjData::destroyAudioManager()
{
    if (!pAudioMgr) return;
    pAudioMgr->Shutdown();
    delete pAudioMgr;
    pAudioMgr = nullptr;
}

bool CProjData::createVBManager()
{
    if (pVBManager) return true;
    pVBManager = vbManagerMaker ? vbManagerMaker->create() : nullptr;
    return pVBManager != nullptr;
}

void CProjData::destroyVBManager()
{
    if (!VERIFY(pVBManager)) return;
    if (vbManagerMaker) vbManagerMaker->destroy(pVBManager);
    pVBManager = nullptr;
}

CLandTree* CProjData::getLandTree()
{
    if (!VERIFY(pWorldMgr)) return nullptr;
    return pWorldMgr->getTree();
}

void setProjDataGameServices(const SProjDataGameServices* services) { gameServices = services; }
void setProjDataVBManagerMaker(const SProjDataVBManagerMaker* maker) { vbManagerMaker = maker; }

void createProjData()
{
    if (!VERIFY(pTheProjData == NULL)) return;
    pTheProjData = new CProjData;
    pTheProjData->pIniManager = new CIniManager;
}

void destroyProjData()
{
    if (!pTheProjData) return;
    pTheProjData->shutdownPostD3D();
    delete pTheProjData;
    pTheProjData = nullptr;
}

CProjData& getProjData()
{
    ASSERT(pTheProjData);
    return *pTheProjData;
}

bool projDataExists() { return pTheProjData != nullptr; }

int getGameTime() { return getProjData().GameTime; }

int getFrameStep()
{
    const CProjData& data = getProjData();
    return data.AltStepEnabled ? data.AltStep : data.FrameStep;
}

int getFrameTimeTotal() { return getProjData().FrameTimeTotal; }

void resetGameTime()
{
    CProjData& data = getProjData();
    data.GameTime = 0;
    data.PreviousAdvanceTime = 0;
    data.SessionCounter = 0;
}

int advanceGameTime()
{
    CProjData& data = getProjData();
    data.LastElapsedTime = data.GameTime - data.PreviousAdvanceTime;
    data.PreviousAdvanceTime = data.GameTime;
    const int step = getFrameStep();
    data.GameTime += step;
    return step;
}

void pushGameMessage(const TGameMessage& record)
{
    CProjData& data = getProjData();
    TGameMessageNode* node = new TGameMessageNode{record, nullptr};
    if (data.pGameMessageTail)
        data.pGameMessageTail->pNext = node;
    else
        data.pGameMessageHead = node;
    data.pGameMessageTail = node;
    ++data.numGameMessages;
}

bool popGameMessage(TGameMessage& record)
{
    CProjData& data = getProjData();
    TGameMessageNode* node = data.pGameMessageHead;
    if (!node) return false;
    record = node->record;
    data.pGameMessageHead = node->pNext;
    if (!data.pGameMessageHead) data.pGameMessageTail = nullptr;
    delete node;
    --data.numGameMessages;
    return true;
}

void trimGameMessages()
{
    TGameMessage dropped;
    while (getProjData().numGameMessages > MAX_KEPT_GAME_MESSAGES) popGameMessage(dropped);
}

uint32_t getGameMessageCount() { return getProjData().numGameMessages; }

void clearGameMessages()
{
    TGameMessage dropped;
    while (popGameMessage(dropped)) {
    }
}

bool createNameSlotTable(uint32_t numEntries)
{
    destroyNameSlotTable();
    TNameSlotTable* table = new (std::nothrow) TNameSlotTable{numEntries, 0, nullptr};
    if (!table) return false;
    table->pEntries = new (std::nothrow) TNameSlot[numEntries];
    if (!table->pEntries) {
        delete table;
        return false;
    }
    for (uint32_t i = 0; i < numEntries; ++i) {
        table->pEntries[i].state[0] = table->pEntries[i].state[1] = 0;
        table->pEntries[i].name[0] = 0;
        table->pEntries[i].inUse = false;
    }
    getProjData().pNameSlots = table;
    return true;
}

void destroyNameSlotTable() { freeNameSlots(getProjData().pNameSlots); }

bool claimNameSlot(uint32_t index, const char* name)
{
    TNameSlotTable* table = getProjData().pNameSlots;
    if (!table || index == 0 || index >= table->numEntries || !name) return false;
    TNameSlot& slot = table->pEntries[index];
    if (slot.state[0] != 0 || slot.state[1] != 0) return false;
    slot.state[0] = 1;
    snprintf(slot.name, sizeof slot.name, "%s", name);
    slot.inUse = true;
    ++table->numUsed;
    return true;
}
