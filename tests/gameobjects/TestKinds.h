// A resource manager for tests whose kinds are small game objects that log every call made on them
// and on the manager, into a log the test owns (it outlives the manager).
#pragma once

#include "gamemanagement/ResourceManager.h"
#include "gamemanagement/ResourceSlotTable.h"
#include "gameobjects/GameObject.h"
#include "gameobjects/ObjectManagerInterfaces.h"

#include <string>
#include <vector>

class CGameObjectManager;

namespace testkinds {

struct CallLog {
    std::vector<std::string> calls;
    void add(const std::string& call) { calls.push_back(call); }
    // Entries that begin with the text.
    int count(const std::string& prefix) const;
    // Entries that begin with the text, in order.
    std::vector<std::string> matching(const std::string& prefix) const;
};

// Type numbers (joined with the manager id). Each kind decides its list by its answers.
enum Kind : uint32_t {
    KIND_ACTIVE = 1,       // "TestActive": active kind, overrides the script inputs
    KIND_PARTIAL = 2,      // "TestPartial"
    KIND_SCRIPT = 3,       // "TestScript": keeps the base handlers
    KIND_UPDATE_LAST = 4,  // "TestUpdateLast": active kind with the update-last flag
    KIND_POST = 5,         // "TestPostCollision": active kind, also in the post-collision list
    KIND_FAILING = 6,      // "TestFailing": its set-up fails
    NUM_KINDS = 6,
};

class LoggedObject : public CGameObject {
public:
    LoggedObject(uint32_t typeId, CallLog& log);
    ~LoggedObject() override;

    const char* getTypeName() const override;
    void update(int frameStep) override;
    void interact(CGameObject* pOther) override;
    bool think(int frameStep) override;
    void render() override;
    void prepareAsReplica() override;
    bool GetCurrentPosition(Vector3* pPosition) override;
    bool isStaticObject() override { return false; }
    bool isActiveKind() override;
    bool isPartialKind() override;
    bool wantsPostCollision() override { return kind() == KIND_POST; }
    void onAllCreated() override;
    bool initFromArgs(resourceHandle creator, ObjectArgs args) override;
    bool initFromParamBlock(CParamBlock* pBlock, resourceHandle creator) override;
    void OnDeath(int32_t value) override;
    void OnHidden(int32_t value) override;
    void OnRevealed(int32_t value) override;
    void OnStop(int32_t value) override;
    void OnGo(int32_t value) override;
    void OnWakeup(int32_t value) override;
    void OnGotosleep(int32_t value) override;
    void OnDefault(const SDefaultMessage* pMessage) override;

    uint32_t kind() const { return GetType() & 0xFF; }
    std::string name() const;
    Vector3 position;

private:
    void handler(const char* what, int32_t value);
    CallLog& d_log;
};

// A game object with nothing of its own: the base handlers and answers.
class BareObject : public CGameObject {
public:
    explicit BareObject(uint32_t typeId) : CGameObject(typeId) {}
    const char* getTypeName() const override { return "Bare"; }
    void update(int) override {}
    void interact(CGameObject*) override {}
    bool think(int) override { return false; }
    void render() override {}
    void prepareAsReplica() override {}
    bool GetCurrentPosition(Vector3*) override { return false; }
    bool isStaticObject() override { return true; }
    // Exposed for tests of the wiring on its own.
    using CGameObject::initBaseScriptWiring;
};

class LoggingManager : public CResourceManager {
public:
    LoggingManager(uint32_t managerId, CallLog& log, uint32_t capacity = 64);
    ~LoggingManager() override;

    // Names that begin with "Load:" can be defined on demand (a further active kind).
    bool addDefinition(const char* typeName, resDef* pDef) override;
    bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) override;
    void release(resourceHandle handle) override;
    bool acquire(resourceHandle handle, CResource** ppResource) override;
    uint32_t getNumDefinitions() override { return static_cast<uint32_t>(d_definitions.size()); }
    resDef* getDefinition(resDef* pDef, uint32_t index) override;
    bool findTypeByName(const char* typeName, uint32_t* pTypeId) override;
    uint32_t getResourceManagerId() override { return d_id; }
    bool initialise(CGameObjectManager*) override;
    void deviceReset() override;
    void update(CGameObjectManager*) override;
    void resetForRestart() override;
    void destroy() override;

    uint32_t getNumLive() const { return d_slots.getNumLive(); }
    // Makes initialise answer false.
    bool failInitialise = false;

private:
    std::string tag(const char* what) const;

    uint32_t d_id;
    CallLog& d_log;
    CResourceSlotTable d_slots;
    std::vector<resDef> d_definitions;
};

// The game logic as the object manager sees it, logging what it is asked.
class StubLink : public CGameLogicLink {
public:
    explicit StubLink(CallLog& log) : d_log(log) {}
    ~StubLink() override { delete pGameInfo; }
    void applyPlayerView() override { d_log.add("applyPlayerView"); }
    CGameObject* createGameInfo() override;
    bool isGameInfoFlagSet() override { return gameInfoFlag; }

    BareObject* pGameInfo = nullptr;
    bool gameInfoFlag = false;

private:
    CallLog& d_log;
};

// What every object test needs: the list pool, the project data, the event table, an object manager
// with a logging manager registered under managerId.
class World {
public:
    explicit World(uint32_t managerId = CResourceManager::MANAGER_SCRIPTOBJECTS, bool withLink = false);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    CallLog log;
    StubLink link{log};
    LoggingManager* pManager;  // owned by the object manager
    CGameObjectManager* pObjects;
    uint32_t type(Kind kind) const { return (d_managerId & CResourceManager::MASK_MANAGER) | kind; }
    // The object of a handle (null when it does not acquire).
    LoggedObject* object(resourceHandle handle);
    // Creates from block text ("name { ... }" with the type name as the block's name).
    bool createFromText(const char* text, resourceHandle creator = 0);

private:
    uint32_t d_managerId;
};

}  // namespace testkinds
