// CProjData: the project-wide data, reached everywhere through getProjData(). It holds the game time
// and frame step, the game clock, the current level, world and mission, the player weapon blocks and
// the owning pointers of the big per-run services.
//
// Life: createProjData in GameInit; startSession at level load; readGameConfig in GameInit and when a
// level is chosen; shutdownPreD3D before the device is released; destroyProjData last.
#pragma once

#include "global/GameClock.h"
#include "network/NetGameSettings.h"
#include "platform/win32.h"
#include "utility/LList.h"

#include <cstddef>
#include <cstdint>

class CParamBlock;
class CIniManager;
class CGameLogic;
class CGameObjectManager;
class CNetObjectInterface;
class CNodeManager;
class CWorldMgr;
class CLandTree;
class CAudioManager;
class CVBManager;
class CErrorStrings;
struct Matrix3;
struct Matrix4;

// A message of the game flow, queued by value.
struct TGameMessage {
    uint32_t type;
    uint32_t sender;
    int32_t values[4];
};

struct TGameMessageNode {
    TGameMessage record;
    TGameMessageNode* pNext;
};

// The name-slot table: slot 0 is never handed out.
struct TNameSlot {
    static const size_t MAX_NAME = 32;
    llist list;
    uint32_t state[2];
    char name[MAX_NAME];
    bool inUse;
};

struct TNameSlotTable {
    uint32_t numEntries;
    uint32_t numUsed;
    TNameSlot* pEntries;
};

class CProjData {
public:
    static const size_t MAX_PATH_TEXT = 256;
    static const size_t MAX_MISSION_TEXT = 16;
    static const size_t WORK_BLOCK_SIZE = 64;

    CProjData();
    virtual ~CProjData();
    CProjData(const CProjData&) = delete;
    CProjData& operator=(const CProjData&) = delete;

    // The game logic's object manager seen through its network interface; null without one.
    virtual CNetObjectInterface* getObjectManagerInterface();
    // The network node's session (reported without a node).
    virtual void* getNetworkSession();
    virtual CNodeManager* getNetwork() { return pNetwork; }
    virtual bool hasNetwork() { return pNetwork != nullptr; }
    virtual CGameObjectManager* getObjectManager();
    virtual CGameLogic* getGameLogic() { return pGameLogic; }
    virtual CIniManager* getIniManager() { return pIniManager; }
    virtual CWorldMgr* getWorldMgr() { return pWorldMgr; }
    // Level load: clears the session, connects the network when enabled (a failure ends the
    // process), creates the game logic and the world manager.
    virtual void startSession();
    // Before the device is released: the session's services go, in order.
    virtual void shutdownPreD3D();
    // After the device is released: the ini manager goes.
    virtual void shutdownPostD3D();

    // Reads the level paths and the weapon blocks of the game configuration. Always true; what is
    // missing is reported and the fields keep their values. No block (the file named did not load)
    // is reported naming the file.
    bool readGameConfig(CParamBlock* pBlock, const char* fileName = nullptr);
    // A network node that is not yet synchronised must answer, else the process ends.
    void checkServer();

    bool createAudioManager();
    void destroyAudioManager();
    CAudioManager* getAudioManager() const { return pAudioMgr; }
    bool createVBManager();
    CVBManager* getVBManager() const { return pVBManager; }
    void destroyVBManager();
    CLandTree* getLandTree();
    CErrorStrings* GetErrorStrings() const { return pErrorStrings; }

    int getTime() const { return GameTime; }

    // The game-message queue.
    uint32_t numGameMessages;
    TGameMessageNode* pGameMessageHead;
    TGameMessageNode* pGameMessageTail;

    int DisplayLimits[2][4];
    char SessionName[64];
    char MusicFile[MAX_PATH_TEXT];
    int BypassFrontEnd;
    int ShowCullSpheres;  // the effects draw their cull spheres ("Effects" section)
    bool LevelLoaded;
    float TuningFloats[4];
    void* FELink;  // the front end's game link, owned by the front end
    CGameClock GameClock;
    Matrix3* m3Ident;
    Matrix4* m4Ident;
    int FrameStep;
    int AltStepEnabled;
    int AltStep;
    int FrameTimeTotal;
    int GameTime;
    int PreviousAdvanceTime;
    int LastElapsedTime;
    uint32_t SessionCounter;
    uint32_t SessionFlags;
    uint32_t SessionStart;
    CParamBlock* PlayerWeaponsParamBlock;
    CParamBlock* PlayerPlaneWeaponsParamBlock;
    int CurrentDemoIdx;
    TNameSlotTable* pNameSlots;
    CNodeManager* pNetwork;
    CGameLogic* pGameLogic;
    CIniManager* pIniManager;
    bool NetworkingEnabled;
    char CurrentLevelPath[MAX_PATH_TEXT];
    char CurrentWorldPath[MAX_PATH_TEXT];
    char CurrentMission[MAX_MISSION_TEXT];
    // The folder of the game's data, ending in a backslash.
    char DataPath[MAX_PATH_TEXT] = "data\\";
    // Debug switches of the game frame: while set, effects are not updated / not drawn. While the
    // game is paused effects are not updated either.
    uint8_t EffectUpdateOff = 0;
    uint8_t EffectRenderOff = 0;
    uint8_t Paused = 0;
    // Gravity in units per second squared ("Physics" section of the start-up settings).
    float GravityX = 0.0f;
    float GravityY = 0.0f;
    float GravityZ = -9.81f;
    // The settings of the network game being played.
    NetGameSettings NetSettings;
    // The collision class given to the sample target's sphere.
    uint32_t SampleTargetCollisionClass = 0;
    CWorldMgr* pWorldMgr;
    CAudioManager* pAudioMgr;
    CVBManager* pVBManager;
    CErrorStrings* pErrorStrings;
    uint8_t* pWorkBlock;

private:
    // Shuts down and frees the session's game logic and world manager.
    void releaseSessionWorld();
};

// The game's own parts, which the project data makes but which live above it: the game registers
// them before createProjData. Without them a session has no game logic and no world, and there are
// no error texts.
struct SProjDataGameServices {
    CGameLogic* (*createGameLogic)(HWND mainWindow);
    void (*destroyGameLogic)(CGameLogic* pLogic);  // shuts it down, then frees it
    CGameObjectManager* (*getObjectManager)(CGameLogic* pLogic);
    CErrorStrings* (*createErrorStrings)();
    void (*destroyErrorStrings)(CErrorStrings* pStrings);
    CWorldMgr* (*createWorldMgr)();
    void (*destroyWorldMgr)(CWorldMgr* pWorld);  // releases the loaded level's contents, then frees it
};
void setProjDataGameServices(const SProjDataGameServices* services);

// The effects' vertex-buffer manager lives above the project data too: whoever brings up the effects
// hands over how to make and free it before createVBManager (without it createVBManager fails).
struct SProjDataVBManagerMaker {
    CVBManager* (*create)();
    void (*destroy)(CVBManager* pManager);
};
void setProjDataVBManagerMaker(const SProjDataVBManagerMaker* maker);

// Creation and destruction of the one project data (destroy runs shutdownPostD3D first).
void createProjData();
void destroyProjData();
CProjData& getProjData();
bool projDataExists();

// Game time in integer milliseconds.
int getGameTime();
// The alternative step when it is switched on, else the frame step.
int getFrameStep();
int getFrameTimeTotal();
void resetGameTime();
// Moves game time on by one step and returns the step.
int advanceGameTime();

// The game-message queue.
void pushGameMessage(const TGameMessage& record);
bool popGameMessage(TGameMessage& record);
// Keeps the 5 newest.
void trimGameMessages();
uint32_t getGameMessageCount();
void clearGameMessages();

// The name-slot table of the project data.
bool createNameSlotTable(uint32_t numEntries);
void destroyNameSlotTable();
bool claimNameSlot(uint32_t index, const char* name);
