#include "TestKinds.h"

#include "ai/Events.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "network/NodeManager.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include <cstdio>
#include <cstring>

namespace testkinds {

namespace {

const char* const KIND_NAMES[NUM_KINDS + 1] = {"TestLoaded",     "TestActive", "TestPartial",      "TestScript",
                                               "TestUpdateLast", "TestPostCollision", "TestFailing"};

std::string hex(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%08x", value);
    return text;
}

}  // namespace

int CallLog::count(const std::string& prefix) const { return static_cast<int>(matching(prefix).size()); }

std::vector<std::string> CallLog::matching(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& call : calls)
        if (call.compare(0, prefix.size(), prefix) == 0) out.push_back(call);
    return out;
}

LoggedObject::LoggedObject(uint32_t typeId, CallLog& log) : CGameObject(typeId), d_log(log)
{
    if (kind() == KIND_UPDATE_LAST) d_updateLast = 1;
}

LoggedObject::~LoggedObject() { d_log.add("destroy " + name()); }

const char* LoggedObject::getTypeName() const
{
    const uint32_t k = GetType() & 0xFF;
    return k <= NUM_KINDS ? KIND_NAMES[k] : KIND_NAMES[0];
}

std::string LoggedObject::name() const { return getInstanceName() ? getInstanceName() : std::string("?") + getTypeName(); }

void LoggedObject::update(int) { d_log.add("update " + name()); }
void LoggedObject::interact(CGameObject*) { d_log.add("interact " + name()); }
bool LoggedObject::think(int)
{
    d_log.add("think " + name());
    return false;
}
void LoggedObject::render() { d_log.add("render " + name()); }
void LoggedObject::prepareAsReplica() { d_log.add("replica " + name()); }

bool LoggedObject::GetCurrentPosition(Vector3* pPosition)
{
    *pPosition = position;
    return true;
}

bool LoggedObject::isActiveKind() { return kind() != KIND_PARTIAL && kind() != KIND_SCRIPT; }
bool LoggedObject::isPartialKind() { return kind() == KIND_PARTIAL; }
void LoggedObject::onAllCreated() { d_log.add("onAllCreated " + name()); }

bool LoggedObject::initFromArgs(resourceHandle creator, ObjectArgs args)
{
    d_log.add("initFromArgs " + std::string(getTypeName()) + " " + hex(creator) +
              (args && args[0] ? std::string(" ") + static_cast<const char*>(args[0]) : std::string()));
    CGameObject::initFromArgs(creator, args);
    return kind() != KIND_FAILING;
}

bool LoggedObject::initFromParamBlock(CParamBlock* pBlock, resourceHandle creator)
{
    const bool ok = CGameObject::initFromParamBlock(pBlock, creator);
    if (pBlock) pBlock->parseVector("position", &position.x);
    d_log.add("initFromParamBlock " + name());
    return ok && kind() != KIND_FAILING;
}

void LoggedObject::handler(const char* what, int32_t value) { d_log.add(std::string(what) + " " + name() + " " + std::to_string(value)); }
void LoggedObject::OnDeath(int32_t value) { handler("OnDeath", value); }
void LoggedObject::OnHidden(int32_t value) { handler("OnHidden", value); }
void LoggedObject::OnRevealed(int32_t value) { handler("OnRevealed", value); }
void LoggedObject::OnStop(int32_t value) { handler("OnStop", value); }
void LoggedObject::OnGo(int32_t value) { handler("OnGo", value); }
void LoggedObject::OnWakeup(int32_t value) { handler("OnWakeup", value); }
void LoggedObject::OnGotosleep(int32_t value) { handler("OnGotosleep", value); }

void LoggedObject::OnDefault(const SDefaultMessage* pMessage)
{
    handler("OnDefault", pMessage ? static_cast<int32_t>(pMessage->value) : -1);
    CGameObject::OnDefault(pMessage);
}

LoggingManager::LoggingManager(uint32_t managerId, CallLog& log, uint32_t capacity)
    : d_id(managerId), d_log(log), d_slots(managerId, capacity)
{
    for (uint32_t k = 1; k <= NUM_KINDS; ++k) {
        resDef def;
        fillDefinition(&def, (managerId & MASK_MANAGER) | k, KIND_NAMES[k]);
        d_definitions.push_back(def);
    }
}

LoggingManager::~LoggingManager()
{
    for (uint32_t slot = 0; slot < d_slots.getCapacity(); ++slot)
        if (CResource* pObject = d_slots.at(slot)) delete d_slots.remove(pObject->getResourceHandle());
}

std::string LoggingManager::tag(const char* what) const { return std::string(what) + " " + hex(d_id); }

bool LoggingManager::addDefinition(const char* typeName, resDef* pDef)
{
    d_log.add(tag("addDefinition") + " " + typeName);
    if (strncmp(typeName, "Load:", 5) != 0) return false;
    fillDefinition(pDef, (d_id & MASK_MANAGER) | (0x100u + static_cast<uint32_t>(d_definitions.size())), typeName);
    d_definitions.push_back(*pDef);
    return true;
}

bool LoggingManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int flag)
{
    d_log.add("instantiate " + hex(typeId) + " " + std::to_string(flag));
    *pHandle = 0;
    bool known = false;
    for (const resDef& def : d_definitions) known = known || def.typeId == typeId;
    if (!known) return false;
    LoggedObject* pObject = new LoggedObject(typeId, d_log);
    if (!d_slots.insert(pObject, pHandle)) {
        delete pObject;
        return false;
    }
    pObject->setResourceHandle(*pHandle);
    return true;
}

void LoggingManager::release(resourceHandle handle)
{
    CResource* pObject = d_slots.remove(handle);
    d_log.add("release " + hex(handle) + (pObject ? "" : " (none)"));
    delete pObject;
}

bool LoggingManager::acquire(resourceHandle handle, CResource** ppResource)
{
    *ppResource = d_slots.find(handle);
    return *ppResource != nullptr;
}

resDef* LoggingManager::getDefinition(resDef* pDef, uint32_t index)
{
    if (index >= d_definitions.size()) return nullptr;
    *pDef = d_definitions[index];
    return pDef;
}

bool LoggingManager::findTypeByName(const char* typeName, uint32_t* pTypeId)
{
    return findInDefinitions(d_definitions.data(), getNumDefinitions(), typeName, pTypeId);
}

bool LoggingManager::initialise(CGameObjectManager*)
{
    d_log.add(tag("initialise"));
    return !failInitialise;
}

void LoggingManager::deviceReset() { d_log.add(tag("deviceReset")); }
void LoggingManager::update(CGameObjectManager*) { d_log.add(tag("update")); }
void LoggingManager::resetForRestart() { d_log.add(tag("resetForRestart")); }

void LoggingManager::destroy()
{
    d_log.add(tag("destroy") + " live=" + std::to_string(getNumLive()));
    delete this;
}

CGameObject* StubLink::createGameInfo()
{
    d_log.add("createGameInfo");
    delete pGameInfo;
    pGameInfo = new BareObject(CGameObject::TYPE_GAME_INFO);
    return pGameInfo;
}

World::World(uint32_t managerId, bool withLink) : d_managerId(managerId)
{
    if (!llistElementPoolExists()) llistInitElementPool();
    createProjData();
    CEvents::initialise(0);
    pObjects = new CGameObjectManager(withLink ? &link : nullptr);
    pManager = new LoggingManager(managerId, log);
    pObjects->registerResourceManager(pManager);
}

World::~World()
{
    pObjects->releaseAllObjects();
    delete pObjects;
    CEvents::freeAll();
    delete getProjData().pNetwork;
    getProjData().pNetwork = nullptr;
    destroyProjData();
    llistFreeElementPool();
}

LoggedObject* World::object(resourceHandle handle)
{
    CResource* pResource = nullptr;
    if (!pObjects->acquireResource(handle, &pResource)) return nullptr;
    return static_cast<LoggedObject*>(pResource);
}

bool World::createFromText(const char* text, resourceHandle creator)
{
    CParamBlock* pBlock = nullptr;
    const char* cursor = text;
    if (!parseBlock(cursor, &pBlock, 0, 64)) return false;
    const bool made = pObjects->createObjectByName(pBlock->getName(), pBlock, creator);
    delete pBlock;
    return made;
}

}  // namespace testkinds
