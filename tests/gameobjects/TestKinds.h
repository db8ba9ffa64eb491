// Test kinds for the object manager: a resource manager whose kinds are small game objects, and
// which logs every call made on it and on its objects into a log the test owns (it outlives them).
#pragma once

#include "gamemanagement/SlotResourceManager.h"
#include "gameobjects/GameObject.h"
#include "gameobjects/InertObject.h"
#include "gameobjects/ObjectManagerInterfaces.h"

#include <functional>
#include <string>
#include <vector>

class CGameObjectManager;

namespace testkinds {

struct CallLog {
    std::vector<std::string> calls;
    void add(const std::string& call) { calls.push_back(call); }
    // Entries that begin with the text, in order.
    std::vector<std::string> matching(const std::string& prefix) const;
    int count(const std::string& prefix) const { return static_cast<int>(matching(prefix).size()); }
};

// Type numbers, joined with the manager id; each kind picks its list by its answers.
enum Kind : uint32_t {
    KIND_ACTIVE = 1,       // "TestActive"
    KIND_PARTIAL = 2,      // "TestPartial"
    KIND_SCRIPT = 3,       // "TestScript"
    KIND_UPDATE_LAST = 4,  // "TestUpdateLast": active, with the update-last flag
    KIND_POST = 5,         // "TestPostCollision": active, also in the post-collision list
    KIND_FAILING = 6,      // "TestFailing": its set-up fails
    NUM_KINDS = 6,
};

// A game object with nothing of its own: the base handlers and answers.
class BareObject : public CInertObject {
public:
    explicit BareObject(uint32_t typeId) : CInertObject(typeId, "Bare") {}
    using CGameObject::initBaseScriptWiring;
};

// Logs the passes it goes through ("update a", "interact a b"...) and stands where the test puts
// it, moving at the speed the test gives it.
class LoggedObject : public BareObject {
public:
    LoggedObject(uint32_t typeId, CallLog& log);
    ~LoggedObject() override { note("destroy"); }

    const char* getTypeName() const override;
    void update(int) override { note("update"); }
    void interact(CGameObject* pOther) override;
    void postCollision() override { note("postCollision"); }
    // Answers moved once after the test moves it.
    bool think(int) override;
    void render() override { note("render"); }
    void setInterpolation(float factor) override { interpolation = factor; }
    uint32_t getRenderGroupKey() override { return renderKey; }
    bool GetCurrentPosition(Vector3* pPosition) override;
    bool GetCurrentSpeed(float* pSpeed) override;
    bool isStaticObject() override { return staticObject; }
    void prepareAsReplica() override { note("replica"); }
    bool isActiveKind() override { return kind() != KIND_PARTIAL && kind() != KIND_SCRIPT; }
    bool isPartialKind() override { return kind() == KIND_PARTIAL; }
    bool wantsPostCollision() override { return kind() == KIND_POST; }
    void onAllCreated() override { note("onAllCreated"); }
    bool initFromArgs(resourceHandle creator, ObjectArgs args) override;
    bool initFromParamBlock(CParamBlock* pBlock, resourceHandle creator) override;
    void OnDeath(int32_t value) override { note("OnDeath", value); }
    void OnHidden(int32_t value) override { note("OnHidden", value); }
    void OnRevealed(int32_t value) override { note("OnRevealed", value); }
    void OnStop(int32_t value) override { note("OnStop", value); }
    void OnGo(int32_t value) override { note("OnGo", value); }
    void OnWakeup(int32_t value) override { note("OnWakeup", value); }
    void OnGotosleep(int32_t value) override { note("OnGotosleep", value); }
    void OnDefault(const SDefaultMessage* pMessage) override;

    uint32_t kind() const { return GetType() & 0xFF; }
    // Puts the object somewhere else; its next think reports the move.
    void moveTo(float x, float y);

    Vector3 position{50.0f, 50.0f, 0.0f};
    bool hasPosition = true;
    float speed = 0.0f;
    bool speedKnown = true;
    bool moved = false;
    bool staticObject = true;
    uint32_t renderKey = 0;
    float interpolation = -1.0f;
    // Runs at the start of each think.
    std::function<void(LoggedObject&)> onThink;

protected:
    // "<call> <instance name or ?type name>[ <value>]"
    void note(const char* call, int64_t value = INT64_MIN, const char* pOther = nullptr);

private:
    CallLog& d_log;
};

class LoggingManager : public CSlotResourceManager {
public:
    LoggingManager(uint32_t managerId, CallLog& log, uint32_t capacity = 64);

    // Names that begin with "Load:" can be defined on demand.
    bool addDefinition(const char* typeName, resDef* pDef) override;
    bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) override;
    void release(resourceHandle handle) override;
    bool initialise(CGameObjectManager*) override { return note("initialise"), !failInitialise; }
    void deviceReset() override { note("deviceReset"); }
    void update(CGameObjectManager*) override { note("update"); }
    void render(CGameObjectManager*, float) override { note("render"); }
    void resetForRestart() override { note("resetForRestart"); }
    void destroy() override;

    bool failInitialise = false;

protected:
    CResource* makeResource(uint32_t typeId) override { return new LoggedObject(typeId, d_log); }

private:
    void note(const std::string& call);

    CallLog& d_log;
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

// What every object test needs: the list pool, the project data, the event table, a world with a
// land tree (TREE_DEPTH levels below a root of TREE_CELL_SIZE << TREE_DEPTH units), and an object
// manager with a logging manager under managerId.
class World {
public:
    static constexpr float TREE_CELL_SIZE = 100.0f;
    static constexpr uint32_t TREE_DEPTH = 2;

    explicit World(uint32_t managerId = CResourceManager::MANAGER_SCRIPTOBJECTS, bool withLink = false);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    uint32_t type(Kind kind) const { return d_managerId | kind; }
    // The object of a handle (null when it does not acquire).
    LoggedObject* object(resourceHandle handle);
    // Creates from block text whose block name is the type name.
    bool createFromText(const std::string& text, resourceHandle creator = 0);
    // Creates an object of the type with that instance name; null when it cannot be made.
    LoggedObject* make(const std::string& typeName, const std::string& name);

    CallLog log;
    StubLink link{log};
    LoggingManager* pManager;  // owned by the object manager
    CGameObjectManager* pObjects;

private:
    uint32_t d_managerId;
};

}  // namespace testkinds
