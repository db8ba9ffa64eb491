#include "TestKinds.h"

#include "ai/Events.h"
#include "ai/WorldMgr.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "network/NodeManager.h"
#include "utility/BlockFile.h"
#include "utility/ParamBlock.h"

#include <cstdio>
#include <cstring>

namespace testkinds {

namespace {

const char* const KIND_NAMES[NUM_KINDS + 1] = {"TestLoaded", "TestActive", "TestPartial", "TestScript",
                                               "TestUpdateLast", "TestPostCollision", "TestFailing"};

std::string hex(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::vector<resDef> kindDefinitions(uint32_t managerId)
{
    std::vector<resDef> out(NUM_KINDS);
    for (uint32_t k = 1; k <= NUM_KINDS; ++k) CResourceManager::fillDefinition(&out[k - 1], managerId | k, KIND_NAMES[k]);
    return out;
}

}  // namespace

std::vector<std::string> CallLog::matching(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& call : calls)
        if (call.compare(0, prefix.size(), prefix) == 0) out.push_back(call);
    return out;
}

LoggedObject::LoggedObject(uint32_t typeId, CallLog& log) : BareObject(typeId), d_log(log)
{
    d_updateLast = kind() == KIND_UPDATE_LAST;
}

const char* LoggedObject::getTypeName() const { return KIND_NAMES[kind() <= NUM_KINDS ? kind() : 0]; }

void LoggedObject::note(const char* call, int64_t value, const char* pOther)
{
    std::string entry(call);
    entry += ' ';
    if (getInstanceName())
        entry += getInstanceName();
    else
        (entry += '?') += getTypeName();
    if (value != INT64_MIN) (entry += ' ') += std::to_string(value);
    if (pOther) (entry += ' ') += pOther;
    d_log.add(entry);
}

void LoggedObject::interact(CGameObject* pOther)
{
    const char* pName = pOther ? pOther->getInstanceName() : nullptr;
    note("interact", INT64_MIN, pName ? pName : "?");
}

bool LoggedObject::think(int)
{
    note("think");
    if (onThink) onThink(*this);
    const bool answer = moved;
    moved = false;
    return answer;
}

void LoggedObject::moveTo(float x, float y)
{
    position.set(x, y, position.z);
    moved = true;
}

bool LoggedObject::GetCurrentPosition(Vector3* pPosition)
{
    if (hasPosition) *pPosition = position;
    return hasPosition;
}

bool LoggedObject::GetCurrentSpeed(float* pSpeed)
{
    *pSpeed = speed;
    return speedKnown;
}

bool LoggedObject::initFromArgs(resourceHandle creator, ObjectArgs args)
{
    d_log.add("initFromArgs " + std::string(getTypeName()) + " " + hex(creator) +
              (args ? std::string(" ") + static_cast<const char*>(args[0]) : std::string()));
    CGameObject::initFromArgs(creator, args);
    return kind() != KIND_FAILING;
}

bool LoggedObject::initFromParamBlock(CParamBlock* pBlock, resourceHandle creator)
{
    const bool ok = CGameObject::initFromParamBlock(pBlock, creator);
    note("initFromParamBlock");
    return ok && kind() != KIND_FAILING;
}

void LoggedObject::OnDefault(const SDefaultMessage* pMessage)
{
    note("OnDefault", pMessage ? static_cast<int64_t>(pMessage->value) : -1);
    CGameObject::OnDefault(pMessage);
}

LoggingManager::LoggingManager(uint32_t managerId, CallLog& log, uint32_t capacity)
    : CSlotResourceManager(managerId, capacity, kindDefinitions(managerId).data(), NUM_KINDS), d_log(log)
{
}

void LoggingManager::note(const std::string& call) { d_log.add(call + " " + hex(getResourceManagerId())); }

bool LoggingManager::addDefinition(const char* typeName, resDef* pDef)
{
    note(std::string("addDefinition ") + typeName);
    if (strncmp(typeName, "Load:", 5) != 0) return false;
    fillDefinition(pDef, getResourceManagerId() | (0x100u + getNumDefinitions()), typeName);
    appendDefinition(*pDef);
    return true;
}

bool LoggingManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int flag)
{
    d_log.add("instantiate " + hex(typeId) + " " + std::to_string(flag));
    return CSlotResourceManager::instantiate(typeId, pHandle, flag);
}

void LoggingManager::release(resourceHandle handle)
{
    d_log.add("release " + hex(handle));
    CSlotResourceManager::release(handle);
}

void LoggingManager::destroy()
{
    note("destroy");
    d_log.calls.back() += " live=" + std::to_string(getNumLive());
    delete this;
}

CGameObject* StubLink::createGameInfo()
{
    d_log.add("createGameInfo");
    delete pGameInfo;
    return pGameInfo = new BareObject(CGameObject::TYPE_GAME_INFO);
}

World::World(uint32_t managerId, bool withLink) : d_managerId(managerId)
{
    llistInitElementPool();
    createProjData();
    CEvents::initialise(0);
    getProjData().pWorldMgr = new CWorldMgr;
    getProjData().pWorldMgr->createTree(TREE_CELL_SIZE, TREE_DEPTH);
    pObjects = new CGameObjectManager(withLink ? &link : nullptr);
    pManager = new LoggingManager(managerId, log);
    pObjects->registerResourceManager(pManager);
}

World::~World()
{
    pObjects->releaseAllObjects();
    delete pObjects;
    delete getProjData().pWorldMgr;
    getProjData().pWorldMgr = nullptr;
    CEvents::freeAll();
    delete getProjData().pNetwork;
    getProjData().pNetwork = nullptr;
    destroyProjData();
    llistFreeElementPool();
}

LoggedObject* World::object(resourceHandle handle)
{
    CResource* pResource = nullptr;
    return pObjects->acquireResource(handle, &pResource) ? static_cast<LoggedObject*>(pResource) : nullptr;
}

bool World::createFromText(const std::string& text, resourceHandle creator)
{
    CParamBlock* pBlock = nullptr;
    const char* cursor = text.c_str();
    if (!parseBlock(cursor, &pBlock, 0, 64)) return false;
    const bool made = pObjects->createObjectByName(pBlock->getName(), pBlock, creator);
    delete pBlock;
    return made;
}

LoggedObject* World::make(const std::string& typeName, const std::string& name)
{
    if (!createFromText(typeName + "\n{\ninstancename " + name + "\n}\n")) return nullptr;
    resourceHandle handle = 0;
    return pObjects->findHandleByName(name.c_str(), &handle) ? object(handle) : nullptr;
}

}  // namespace testkinds
