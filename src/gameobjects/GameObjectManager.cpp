#include "gameobjects/GameObjectManager.h"

#include "ai/Events.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionServices.h"
#include "gameobjects/ObjectListWalk.h"
#include "global/ProjData.h"
#include "network/NodeManager.h"
#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/ParamBlock.h"
#include "utility/RunLog.h"

#include <cstring>
#include <initializer_list>
#include <new>
#include <unordered_set>
#include <vector>

CGameObjectManager* pTheObjectManager = nullptr;

using namespace objectlists;

namespace {

// A network object that cannot be made ends the run: its report says why, whatever file is read.
[[noreturn]] void stopOnNetworkObject(const char* debugText, int line)
{
    OutputDebugStringA(debugText);
    ReportApart apart;
    assertFailed("0", __FILE__, line);
    stopRun("on a network object that cannot be made");
}

const uint32_t DEBUG_ALL = 0xFFFFFFFFu;
const int MAX_SCRIPT_NESTING = 64;
const float INTERPOLATION_PER_MS = 0.03f;
const uint16_t NO_LIST_ID = 0;

void* listIdData(uint16_t id) { return reinterpret_cast<void*>(static_cast<uintptr_t>(id)); }

uint32_t gameTime() { return projDataExists() ? static_cast<uint32_t>(::getProjData().getTime()) : 0; }

CNodeManager* networkNode() { return projDataExists() ? ::getProjData().getNetwork() : nullptr; }

unsigned debugWord(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

llist* newList(const char* name)
{
    llist* pList = new (std::nothrow) llist;
    if (!pList) assertFailed(name, __FILE__, __LINE__);
    return pList;
}

}  // namespace

struct CGameObjectManager::SetUp {
    CParamBlock* pBlock;  // from the level when set, else from code
    resourceHandle creator;
    ObjectArgs args;

    bool run(CGameObject* pObject) const
    {
        return pBlock ? pObject->initFromParamBlock(pBlock, creator) : pObject->initFromArgs(creator, args);
    }
};

CGameObjectManager::CGameObjectManager(CGameLogicLink* pLink)
    : d_pLink(pLink), m_objectsRunning(1), m_objectsStepOnce(0), m_camerasRunning(1), m_camerasStepOnce(0),
      activeObjects(newList("activeObjects")), updateLastObjects(newList("updateLastObjects")),
      deletedObjects(newList("deletedObjects")), partialObjects(newList("partialObjects")),
      scriptObjects(newList("scriptObjects")), postCollisionObjects(newList("postCollisionObjects")),
      newRenderObjects(newList("newRenderObjects")), d_pRegistry(nullptr), d_lastUpdateTime(0),
      d_lastInterpolationTime(0), d_interpolationFactor(0.0f), deletionTrackingEnabled(0)
{
    for (uint16_t id = 1; id < MAX_LEAF_LISTS; ++id) {
        d_freeDynamicIds.InsertAfter(listIdData(id));
        d_freeStaticIds.InsertAfter(listIdData(id));
    }
    pTheObjectManager = this;
}

CGameObjectManager::~CGameObjectManager()
{
    freeRegistry(d_pRegistry);
    d_pRegistry = nullptr;
    for (llist* pList : {activeObjects, updateLastObjects, deletedObjects, partialObjects, scriptObjects,
                         postCollisionObjects, newRenderObjects})
        delete pList;
    d_deletionTracking.destroy();
    if (pTheObjectManager == this) pTheObjectManager = nullptr;
}

// ---- Registry ----------------------------------------------------------------------------------

CGameObjectManager::RegistryNode* CGameObjectManager::findNode(uint32_t managerId) const
{
    RegistryNode* pNode = d_pRegistry;
    while (pNode && pNode->id != managerId) pNode = managerId < pNode->id ? pNode->pLeft : pNode->pRight;
    return pNode;
}

const resDef* CGameObjectManager::findDefinitionByName(RegistryNode* pNode, const char* typeName)
{
    llistElement* e = findIn(pNode->objectDefinitions, [typeName](void* p) {
        return CResourceManager::typeNamesMatch(static_cast<resDef*>(p)->typeName, typeName);
    });
    return e ? static_cast<const resDef*>(e->data) : nullptr;
}

const resDef* CGameObjectManager::findDefinitionById(RegistryNode* pNode, uint32_t typeId)
{
    llistElement* e =
        findIn(pNode->objectDefinitions, [typeId](void* p) { return static_cast<resDef*>(p)->typeId == typeId; });
    return e ? static_cast<const resDef*>(e->data) : nullptr;
}

void CGameObjectManager::appendDefinition(RegistryNode* pNode, const resDef& definition)
{
    resDef* objDesc = new (std::nothrow) resDef(definition);
    if (!VERIFY(objDesc)) return;
    append(pNode->objectDefinitions, objDesc);
}

void CGameObjectManager::freeDefinitions(RegistryNode* pNode)
{
    llist* pList = pNode->objectDefinitions;
    forEachIn<resDef>(pList, [](resDef* p) { delete p; });
    pList->RemoveAll();
}

void CGameObjectManager::freeRegistry(RegistryNode* pNode)
{
    if (!pNode) return;
    freeRegistry(pNode->pLeft);
    freeRegistry(pNode->pRight);
    freeDefinitions(pNode);
    delete pNode->objectDefinitions;
    pNode->pManager->destroy();
    delete pNode;
}

bool CGameObjectManager::registerResourceManager(CResourceManager* pManager)
{
    if (!VERIFY(pManager)) return false;
    const uint32_t id = pManager->getResourceManagerId();
    if (id == 0) {
        assertFailed("newResourceManager->getResourceManagerId()", __FILE__, __LINE__);
        return false;
    }
    RegistryNode* pNode = new (std::nothrow) RegistryNode{pManager, nullptr, id, nullptr, nullptr};
    if (!pNode) {
        assertFailed("newResourceManagerInformation", __FILE__, __LINE__);
        return false;
    }
    pNode->objectDefinitions = new (std::nothrow) llist;
    if (!pNode->objectDefinitions) {
        assertFailed("newResourceManagerInformation->objectDefinitions", __FILE__, __LINE__);
        delete pNode;
        return false;
    }
    RegistryNode** ppLink = &d_pRegistry;
    while (*ppLink) {
        if ((*ppLink)->id == id) {
            delete pNode->objectDefinitions;
            delete pNode;
            return false;
        }
        ppLink = id < (*ppLink)->id ? &(*ppLink)->pLeft : &(*ppLink)->pRight;
    }
    *ppLink = pNode;
    resDef definition;
    const uint32_t count = pManager->getNumDefinitions();
    for (uint32_t i = 0; i < count; ++i)
        if (pManager->getDefinition(&definition, i)) appendDefinition(pNode, definition);
    return true;
}

void CGameObjectManager::initialiseResourceManagers()
{
    auto visit = [this](RegistryNode* pNode) { return pNode->pManager->initialise(this); };
    walkInOrder(d_pRegistry, visit);
}

CResourceManager* CGameObjectManager::getResourceManager(uint32_t managerId)
{
    RegistryNode* pNode = findNode(managerId);
    return pNode ? pNode->pManager : nullptr;
}

void CGameObjectManager::walkRegistry()
{
    auto visit = [](RegistryNode* pNode) {
        pNode->pManager->deviceReset();
        return true;
    };
    walkInOrder(d_pRegistry, visit);
}

void CGameObjectManager::resetResourceManagers()
{
    auto visit = [](RegistryNode* pNode) {
        pNode->pManager->resetForRestart();
        return true;
    };
    walkInOrder(d_pRegistry, visit);
}

void CGameObjectManager::clearDefinitions(uint32_t managerId)
{
    RegistryNode* pNode = findNode(managerId);
    if (!VERIFY(pNode)) return;
    freeDefinitions(pNode);
}

void CGameObjectManager::reloadDefinitions(uint32_t managerId)
{
    RegistryNode* pNode = findNode(managerId);
    if (!VERIFY(pNode)) return;
    // A reload on its own must not list the definitions twice.
    freeDefinitions(pNode);
    resDef definition;
    const uint32_t count = pNode->pManager->getNumDefinitions();
    for (uint32_t i = 0; i < count; ++i)
        if (pNode->pManager->getDefinition(&definition, i)) appendDefinition(pNode, definition);
}

// ---- Definitions and resources ----------------------------------------------------------------

bool CGameObjectManager::findTypeId(uint32_t managerId, const char* typeName, uint32_t* pTypeId)
{
    RegistryNode* pNode = findNode(managerId);
    const resDef* pDef = pNode ? findDefinitionByName(pNode, typeName) : nullptr;
    if (!pDef) return false;
    *pTypeId = pDef->typeId;
    return true;
}

bool CGameObjectManager::findTypeIdAnyManager(const char* typeName, uint32_t* pTypeId)
{
    const resDef* pFound = nullptr;
    auto visit = [&pFound, typeName](RegistryNode* pNode) {
        pFound = findDefinitionByName(pNode, typeName);
        return pFound == nullptr;
    };
    walkInOrder(d_pRegistry, visit);
    if (!pFound) return false;
    *pTypeId = pFound->typeId;
    return true;
}

bool CGameObjectManager::getTypeName(uint32_t typeId, const char** ppTypeName)
{
    RegistryNode* pNode = findNode(typeId & CResourceManager::MASK_MANAGER);
    const resDef* pDef = pNode ? findDefinitionById(pNode, typeId) : nullptr;
    if (!pDef) return false;
    *ppTypeName = pDef->typeName;
    return true;
}

bool CGameObjectManager::addDefinition(uint32_t managerId, const char* typeName, uint32_t* pTypeId)
{
    RegistryNode* pNode = findNode(managerId);
    resDef definition;
    if (!pNode || !pNode->pManager->addDefinition(typeName, &definition)) return false;
    appendDefinition(pNode, definition);
    *pTypeId = definition.typeId;
    return true;
}

bool CGameObjectManager::instantiateResource(uint32_t managerId, uint32_t typeId, resourceHandle* pHandle)
{
    *pHandle = 0;
    RegistryNode* pNode = findNode(managerId);
    if (!pNode || !findDefinitionById(pNode, typeId)) return false;
    if (pNode->pManager->instantiate(typeId, pHandle, 1)) return true;
    assertFailed("pResourceManager->instantiate( typeId, pHandle, 1 )", __FILE__, __LINE__);
    *pHandle = 0;
    return false;
}

bool CGameObjectManager::instantiateResourceByName(uint32_t managerId, const char* typeName, resourceHandle* pHandle)
{
    *pHandle = 0;
    RegistryNode* pNode = findNode(managerId);
    if (!pNode) return false;
    CResourceManager* pManager = pNode->pManager;
    const resDef* pDef = findDefinitionByName(pNode, typeName);
    if (pDef && pManager->instantiate(pDef->typeId, pHandle, 1)) return true;
    // Not defined yet (or its definition failed): managers that load on demand may know it.
    resDef added;
    if (pManager->addDefinition(typeName, &added)) {
        appendDefinition(pNode, added);
        if (pManager->instantiate(added.typeId, pHandle, 1)) return true;
    }
    *pHandle = 0;
    return false;
}

bool CGameObjectManager::instantiateResourceByNameAnyManager(const char* typeName, resourceHandle* pHandle)
{
    *pHandle = 0;
    auto visit = [typeName, pHandle](RegistryNode* pNode) {
        const resDef* pDef = findDefinitionByName(pNode, typeName);
        if (!pDef) return true;
        if (!pNode->pManager->instantiate(pDef->typeId, pHandle, 1)) *pHandle = 0;
        return false;
    };
    walkInOrder(d_pRegistry, visit);
    if (*pHandle == 0) return false;
    CResource* pResource = nullptr;
    acquireResource(*pHandle, &pResource);
    return true;
}

bool CGameObjectManager::acquireResource(resourceHandle handle, CResource** ppResource)
{
    *ppResource = nullptr;
    // Fill words of fresh, freed and guard memory are never handles: a report shows where one came
    // from, and the handle is then answered like any other (no manager owns those ids).
    if (handle == 0xcdcdcdcdu) assertFailed("resourceHandle != 0xcdcdcdcd", __FILE__, __LINE__);
    if (handle == 0xddddddddu) assertFailed("resourceHandle != 0xdddddddd", __FILE__, __LINE__);
    if (handle == 0xccccccccu) assertFailed("resourceHandle != 0xcccccccc", __FILE__, __LINE__);
    if (handle == 0xfdfdfdfdu) assertFailed("resourceHandle != 0xfdfdfdfd", __FILE__, __LINE__);
    CResourceManager* pManager = getResourceManager(handle & CResourceManager::MASK_MANAGER);
    if (!pManager) return false;
    return pManager->acquire(handle, ppResource) && *ppResource;
}

void CGameObjectManager::releaseResource(resourceHandle handle)
{
    CResourceManager* pManager = getResourceManager(handle & CResourceManager::MASK_MANAGER);
    if (!VERIFY(pManager)) return;
    pManager->release(handle);
}

// ---- Creation ----------------------------------------------------------------------------------

CGameObject* CGameObjectManager::instantiateGameObject(uint32_t typeId, resourceHandle* pHandle)
{
    CResourceManager* pManager = getResourceManager(typeId & CResourceManager::MASK_MANAGER);
    if (!VERIFY(pManager)) return nullptr;
    resourceHandle handle = 0;
    if (!VERIFY(pManager->instantiate(typeId, &handle, 1))) return nullptr;
    CResource* newResource = nullptr;
    if (!VERIFY(pManager->acquire(handle, &newResource) && newResource)) {
        pManager->release(handle);
        return nullptr;
    }
    if (!VERIFY(newResource->getResourceType() == CResource::RESOURCETYPE_GAMEOBJECT)) {
        pManager->release(handle);
        return nullptr;
    }
    auto* pObject = static_cast<CGameObject*>(newResource);
    pObject->setResourceHandle(handle);
    *pHandle = handle;
    return pObject;
}

bool CGameObjectManager::createWith(uint32_t typeId, resourceHandle* pHandle, const SetUp& setUp)
{
    resourceHandle handle = 0;
    CGameObject* pObject = instantiateGameObject(typeId, &handle);
    if (!pObject) return false;
    // An object that cannot set itself up is given back rather than left outside every list.
    if (!setUp.run(pObject)) {
        releaseResource(handle);
        return false;
    }
    sortIntoLists(pObject, true, true);
    CNodeManager* pNode = networkNode();
    if (pNode && (pObject->announceFromClient() || pNode->isHost())) pNode->addObject(pObject, -1, -1);
    if (pObject->isActiveKind()) prepareTreeInsertion(pObject);
    addToHash(pObject);
    append(newRenderObjects, pObject);
    if (pHandle) *pHandle = handle;
    return true;
}

bool CGameObjectManager::createObjectFromCode(uint32_t typeId, resourceHandle creator, ObjectArgs args)
{
    return createWith(typeId, nullptr, SetUp{nullptr, creator, args});
}

bool CGameObjectManager::createObjectFromCodeWithHandle(uint32_t typeId, resourceHandle* pHandle,
                                                        resourceHandle creator, ObjectArgs args)
{
    return createWith(typeId, pHandle, SetUp{nullptr, creator, args});
}

bool CGameObjectManager::createObject(uint32_t typeId, CParamBlock* pBlock, resourceHandle creator)
{
    if (!pBlock) {
        assertFailed("pParamBlock", __FILE__, __LINE__);
        return false;
    }
    return createWith(typeId, nullptr, SetUp{pBlock, creator, nullptr});
}

bool CGameObjectManager::createObjectByName(const char* typeName, CParamBlock* pBlock, resourceHandle creator)
{
    uint32_t typeId = 0;
    if (!findTypeIdAnyManager(typeName, &typeId)) {
        debugPrintf(DEBUG_ALL, "Unable to create object of class %s\n", typeName);
        // A block no manager knows is a fault of the text it came from (a level script, say), as
        // an unknown type is to a manager's own instantiate; the text reads on.
        assertFailedMsg(concatStrings("Unable to create object of class ", typeName),
                        "findTypeIdAnyManager(typeName, &typeId)", __FILE__, __LINE__);
        return false;
    }
    return createObject(typeId, pBlock, creator);
}

bool CGameObjectManager::createObjectByNameFromCode(const char* typeName, resourceHandle creator, ObjectArgs args)
{
    resourceHandle handle = 0;
    return createObjectByNameWithHandle(&handle, typeName, creator, args);
}

bool CGameObjectManager::createObjectByNameWithHandle(resourceHandle* pHandle, const char* typeName,
                                                      resourceHandle creator, ObjectArgs args)
{
    uint32_t typeId = 0;
    if (!findTypeIdAnyManager(typeName, &typeId)) {
        debugPrintf(DEBUG_ALL, "Unable to create object of class %s\n", typeName);
        *pHandle = static_cast<resourceHandle>(-1);
        return false;
    }
    return createWith(typeId, pHandle, SetUp{nullptr, creator, args});
}

bool CGameObjectManager::createObjectsFromInstanceScript(const blockStartList& blockTexts, const char* fileName)
{
    for (const blockStartNode* pNode = blockTexts.pHead; pNode; pNode = pNode->pNext) {
        const char* text = pNode->pStart;
        if (!text || text[0] == '{' || strnicmp(text, "class_super_path", 16) == 0) continue;
        CParamBlock* pBlock = nullptr;
        if (!parseBlock(text, &pBlock, 0, MAX_SCRIPT_NESTING) || !pBlock) {
            assertFailedMsg(concatStrings("Failed to parse general block from instance script",
                                          fileName ? ": " : nullptr, fileName),
                            "0", __FILE__, __LINE__);
            continue;
        }
        createObjectByName(pBlock->getName(), pBlock, 0);
        delete pBlock;
    }
    activatePendingObjects();
    for (llist* pList : {activeObjects, partialObjects, scriptObjects})
        forEachIn(pList, [](CGameObject* pObject) { pObject->onAllCreated(); });
    return true;
}

// ---- Lists -------------------------------------------------------------------------------------

void CGameObjectManager::linkInto(llist* pList, CGameObject* pObject)
{
    pObject->d_pList = pList;
    append(pList, pObject, &pObject->d_pListElement);
}

void CGameObjectManager::unlinkFromList(CGameObject* pObject)
{
    // Unlinked from the list that holds it, whichever that is.
    if (pObject->d_pList && pObject->d_pListElement) removeElement(pObject->d_pList, pObject->d_pListElement);
    pObject->d_pList = nullptr;
    pObject->d_pListElement = nullptr;
}

void CGameObjectManager::sortIntoLists(CGameObject* pObject, bool useUpdateLast, bool usePostCollision)
{
    if (pObject->isActiveKind())
        linkInto(useUpdateLast && pObject->d_updateLast ? updateLastObjects : &d_pendingActivation, pObject);
    else if (pObject->isPartialKind())
        linkInto(partialObjects, pObject);
    else
        linkInto(scriptObjects, pObject);
    if (usePostCollision && pObject->wantsPostCollision()) append(postCollisionObjects, pObject);
}

bool CGameObjectManager::removeFirst(llist* pList, const void* pData)
{
    return objectlists::removeFirst(pList, pData);
}

uint32_t CGameObjectManager::nameHash(const char* pName)
{
    uint32_t h = 0;
    for (const char* p = pName; *p && *p != '\n'; ++p)
        h = (h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*p)))) >> 1;
    return h & (NUM_HASH_BUCKETS - 1);
}

uint32_t CGameObjectManager::nameKey(const char* pName)
{
    // FNV-1a over the letters folded to lower case: names equal without regard to case share a key.
    uint32_t key = 2166136261u;
    for (const char* p = pName; *p; ++p) {
        const char c = (*p >= 'A' && *p <= 'Z') ? static_cast<char>(*p + 32) : *p;
        key = (key ^ static_cast<uint8_t>(c)) * 16777619u;
    }
    return key;
}

void CGameObjectManager::addToHash(CGameObject* pObject)
{
    const char* pName = pObject->getInstanceName();
    if (!pName) return;
    pObject->d_nameKey = nameKey(pName);
    append(&d_nameHash[nameHash(pName)], pObject);
}

void CGameObjectManager::removeFromHash(CGameObject* pObject)
{
    const char* pName = pObject->getInstanceName();
    if (pName) removeFirst(&d_nameHash[nameHash(pName)], pObject);
}

CGameObject* CGameObjectManager::findByName(llist* pList, const char* pInstanceName)
{
    llistElement* e = findIn(pList, [pInstanceName](void* p) {
        const char* pName = static_cast<CGameObject*>(p)->getInstanceName();
        return pName && stricmp(pName, pInstanceName) == 0;
    });
    return e ? static_cast<CGameObject*>(e->data) : nullptr;
}

void CGameObjectManager::renameObject(CGameObject* pObject, const char* pName)
{
    if (!VERIFY(pObject)) return;
    removeFromHash(pObject);
    delete[] pObject->pInstanceName;
    pObject->pInstanceName = nullptr;
    if (!pName) return;
    pObject->pInstanceName = new char[strlen(pName) + 1];
    strcpy(pObject->pInstanceName, pName);
    addToHash(pObject);
}

bool CGameObjectManager::findHandleByName(const char* pInstanceName, resourceHandle* pHandle)
{
    if (!pInstanceName) return false;
    // Buckets are long for names that differ only near their start, so the folded key is compared
    // before the names.
    const uint32_t key = nameKey(pInstanceName);
    llistElement* e = findIn(&d_nameHash[nameHash(pInstanceName)], [key, pInstanceName](void* p) {
        const CGameObject* pObject = static_cast<CGameObject*>(p);
        return pObject->d_nameKey == key && stricmp(pObject->getInstanceName(), pInstanceName) == 0;
    });
    CGameObject* pFound = e ? static_cast<CGameObject*>(e->data) : nullptr;
    for (llist* pList : {activeObjects, partialObjects, scriptObjects}) {
        if (pFound) break;
        pFound = findByName(pList, pInstanceName);
    }
    if (!pFound) return false;
    *pHandle = pFound->getResourceHandle();
    return true;
}

bool CGameObjectManager::resolveNameList(llist* pNames)
{
    if (!VERIFY(pNames)) return false;
    bool found = false;
    pNames->GotoHead();
    llistElement* element = pNames->GetCurrentElement();
    while (element) {
        llistElement* next = element->next;
        char* pName = static_cast<char*>(element->data);
        resourceHandle handle = 0;
        if (findHandleByName(pName, &handle)) {
            element->data = reinterpret_cast<void*>(static_cast<uintptr_t>(handle));
            found = true;
        } else {
            removeElement(pNames, element);
        }
        delete[] pName;
        element = next;
    }
    endWalk(pNames);
    return found;
}

void CGameObjectManager::activatePendingObjects()
{
    while (!d_pendingActivation.Empty()) {
        d_pendingActivation.GotoHead();
        CGameObject* pObject = static_cast<CGameObject*>(d_pendingActivation.GetCurrent());
        d_pendingActivation.RemoveCurrent();
        if (pObject) linkInto(activeObjects, pObject);
    }
}

// ---- Deletion ----------------------------------------------------------------------------------

void CGameObjectManager::deleteObject(CGameObject* pObject)
{
    if (!VERIFY(pObject)) return;
    debugPrintf(DEBUG_CATEGORY, "Adding object %x to delete list\n", debugWord(pObject));
    if (pObject->d_queuedForDeletion) return;
    const char* pName = pObject->getInstanceName();
    // Spawned units ("sp-...") come back by themselves and are never recorded.
    if (deletionTrackingEnabled && pObject->d_trackDeletion && pName && pName[0] && strncmp(pName, "sp-", 3) != 0) {
        if (!d_deletionTracking.push(pName, static_cast<uint32_t>(strlen(pName))))
            assertFailedMsg("Deleted object list FIFO is full. Big it up!", "0", __FILE__, __LINE__);
    }
    removeFromHash(pObject);
    pObject->d_queuedForDeletion = 1;
    append(deletedObjects, pObject);
}

void CGameObjectManager::tellNetworkGone(CGameObject* pObject)
{
    CNodeManager* pNode = networkNode();
    if (pNode && pNode->isHost()) pNode->removeObject(pObject);
}

void CGameObjectManager::carryOutDeletion(CGameObject* pObject, bool host)
{
    const bool treeCamera = pObject->GetType() == TYPE_TREE_CAMERA;
    // Statics leave their leaf, dynamics the tree they are in (one that left the world is out of it
    // already), the tree camera always.
    leaveTree(pObject);
    unlinkFromList(pObject);
    if (!treeCamera) {
        pObject->d_active = 0;
        if (pObject->isActiveKind() && host) tellNetworkGone(pObject);
    }
    if (pObject->wantsPostCollision()) removeFirst(postCollisionObjects, pObject);
    // A game camera deleted for leaving the world must not stay listed after its release.
    removeFirst(&m_pGameCameras, pObject);
    if (!treeCamera && pObject->d_renderGroupKey != CGameObject::NO_RENDER_GROUP) {
        if (pObject->d_pRenderGroupElement)
            leaveRenderGroup(pObject);
        else if (!removeFirst(newRenderObjects, pObject))
            assertFailed("newRenderObjects holds currentObject", __FILE__, __LINE__);
    }
    // A later object under the same handle (managers without reuse counts) must not inherit the
    // outputs of this one.
    CEvents::releaseRecord(pObject->d_pMssgHandler);
    const resourceHandle handle = pObject->getResourceHandle();
    if (handle == 0) {
        assertFailed("currentObject->resourceHandle", __FILE__, __LINE__);
        delete pObject;
        return;
    }
    CResourceManager* pManager = getResourceManager(handle & CResourceManager::MASK_MANAGER);
    if (!VERIFY(pManager)) return;
    pManager->release(handle);
}

void CGameObjectManager::carryOutDeletions()
{
    CNodeManager* pNode = networkNode();
    const bool host = pNode && pNode->isHost();
    while (!deletedObjects->Empty()) {
        deletedObjects->GotoHead();
        CGameObject* pObject = static_cast<CGameObject*>(deletedObjects->GetCurrent());
        // The queue's head leaves first, so a deletion that queues more cannot lose its place.
        deletedObjects->RemoveCurrent();
        endWalk(deletedObjects);
        if (pObject) carryOutDeletion(pObject, host);
    }
}

void CGameObjectManager::deleteAllObjectsExcept(const uint32_t* pExceptionTypes, uint32_t count)
{
    if (!pExceptionTypes) {
        assertFailed("pExceptionTypes", __FILE__, __LINE__);
        return;
    }
    for (llist* pList : {activeObjects, updateLastObjects, scriptObjects, partialObjects}) {
        forEachIn(pList, [this, pExceptionTypes, count](CGameObject* pObject) {
            const uint32_t type = pObject->GetType();
            for (uint32_t i = 0; i < count; ++i)
                if (pExceptionTypes[i] == type) return;
            deleteObject(pObject);
        });
    }
}

void CGameObjectManager::releaseAllObjects()
{
    // Every object once, in list order, though a game camera may also sit in a main list. Objects
    // still waiting for activation are released too.
    std::vector<CGameObject*> objects;
    std::unordered_set<CGameObject*> seen;
    for (llist* pList : {activeObjects, updateLastObjects, scriptObjects, partialObjects, &m_pGameCameras,
                         &d_pendingActivation}) {
        forEachIn(pList, [&objects, &seen](CGameObject* pObject) {
            if (pObject && seen.insert(pObject).second) objects.push_back(pObject);
        });
        pList->RemoveAll();
    }
    // Nothing may keep a pointer to a released object.
    for (llist* pList : {postCollisionObjects, deletedObjects, newRenderObjects, &d_renderList}) pList->RemoveAll();
    for (llist& bucket : d_nameHash) bucket.RemoveAll();
    d_renderGroups.freeAll();
    for (CGameObject* pObject : objects) {
        leaveTree(pObject);
        pObject->d_pRenderGroupElement = nullptr;
        pObject->d_pList = nullptr;
        pObject->d_pListElement = nullptr;
        releaseResource(pObject->getResourceHandle());
    }
}

void CGameObjectManager::setDeletionTracking(bool track)
{
    resetDeletionTracking();
    if (!track) return;
    deletionTrackingEnabled = d_deletionTracking.init(DELETION_TRACKING_BYTES) ? 1 : 0;
}

void CGameObjectManager::resetDeletionTracking()
{
    if (!deletionTrackingEnabled) return;
    d_deletionTracking.destroy();
    deletionTrackingEnabled = 0;
}

// ---- Update ------------------------------------------------------------------------------------

bool CGameObjectManager::isLocalSimulation() const
{
    CNodeManager* pNode = networkNode();
    return !pNode || pNode->isHost();
}

void CGameObjectManager::update()
{
    collisionPairFirst = nullptr;
    collisionPairSecond = nullptr;
    d_lastUpdateTime = gameTime();
    const bool local = isLocalSimulation();
    const bool objectsRun = m_objectsRunning || m_objectsStepOnce;
    runPasses(local);
    // Objects made during the step join the active set now, so their first update is the next.
    activatePendingObjects();
    if (objectsRun) {
        // A client waits for the host to delete.
        if (local) carryOutDeletions();
        if (d_pLink) d_pLink->applyPlayerView();
        auto visit = [this](RegistryNode* pNode) {
            pNode->pManager->update(this);
            return true;
        };
        walkInOrder(d_pRegistry, visit);
    }
    m_objectsStepOnce = 0;
    m_camerasStepOnce = 0;
}

void CGameObjectManager::updateInterpolation()
{
    const uint32_t t = gameTime();
    d_lastInterpolationTime = t;
    d_interpolationFactor = static_cast<float>(t - d_lastUpdateTime) * INTERPOLATION_PER_MS;
    const float factor = d_interpolationFactor;
    forEachIn(activeObjects, [factor](CGameObject* pObj) {
        if (VERIFY(pObj)) pObj->setInterpolation(factor);
    });
}

int CGameObjectManager::getFrameStep() { return projDataExists() ? ::getFrameStep() : 0; }

CProjData& CGameObjectManager::getProjData() { return ::getProjData(); }

bool CGameObjectManager::isGameInfoFlagSet() { return d_pLink && d_pLink->isGameInfoFlagSet(); }

// ---- Queries -----------------------------------------------------------------------------------

CGameObject* CGameObjectManager::findObjectByNetId(uint32_t id)
{
    llistElement* e = findIn(activeObjects, [id](void* p) { return static_cast<CGameObject*>(p)->getNetId() == id; });
    return e ? static_cast<CGameObject*>(e->data) : nullptr;
}

uint32_t CGameObjectManager::GetNumObjects() { return activeObjects->getNumItems(); }

CGameObject* CGameObjectManager::getObject(uint32_t idx)
{
    if (!VERIFY(idx < GetNumObjects())) return nullptr;
    uint32_t i = 0;
    llistElement* e = findIn(activeObjects, [&i, idx](void*) { return i++ == idx; });
    return e ? static_cast<CGameObject*>(e->data) : nullptr;
}

bool CGameObjectManager::getObjectPosition(uint32_t index, Vector3* pPosition)
{
    CGameObject* pObject = getObject(index);
    return pObject && pObject->GetCurrentPosition(pPosition);
}

llist* CGameObjectManager::getActiveObjects()
{
    ASSERT(activeObjects);
    return activeObjects;
}

void CGameObjectManager::addToRenderList(CGameObject* pObject) { append(&d_renderList, pObject); }

void CGameObjectManager::removeFromRenderList(CGameObject* pObject)
{
    ASSERT_MSG(removeFirst(&d_renderList, pObject), "Object is not in the render list");
}

// ---- Land-tree lists ---------------------------------------------------------------------------

bool CGameObjectManager::allocListId(llist& freeIds, uint16_t* pId)
{
    if (!VERIFY_MSG(!freeIds.Empty(), "Out of leaf object lists")) return false;
    freeIds.GotoHead();
    *pId = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(freeIds.GetCurrent()));
    freeIds.RemoveCurrent();
    endWalk(&freeIds);
    return true;
}

void CGameObjectManager::freeListId(llist& freeIds, uint16_t id)
{
    // An id that was never handed out must not enter the pool.
    if (!VERIFY(id != NO_LIST_ID && id < MAX_LEAF_LISTS)) return;
    append(&freeIds, listIdData(id));
}

bool CGameObjectManager::allocDynamicListId(uint16_t* pId) { return allocListId(d_freeDynamicIds, pId); }
bool CGameObjectManager::allocStaticListId(uint16_t* pId) { return allocListId(d_freeStaticIds, pId); }
void CGameObjectManager::freeDynamicListId(uint16_t id) { freeListId(d_freeDynamicIds, id); }
void CGameObjectManager::freeStaticListId(uint16_t id) { freeListId(d_freeStaticIds, id); }

llist* CGameObjectManager::getDynamicList(uint16_t id)
{
    if (!VERIFY(id < MAX_LEAF_LISTS)) return nullptr;
    return &d_dynamicLists[id];
}

llist* CGameObjectManager::getStaticList(uint16_t id)
{
    if (!VERIFY(id < MAX_LEAF_LISTS)) return nullptr;
    return &d_staticLists[id];
}

void CGameObjectManager::prepareTreeInsertion(CGameObject* pObject)
{
    debugPrintf(DEBUG_CATEGORY, "Adding object %x to tree of type %x\n", debugWord(pObject), pObject->GetType());
    pObject->isStaticObject();
    pObject->d_leafIndex = CGameObject::NO_LEAF;
}

bool CGameObjectManager::getTreePosition(CGameObject* pObject, Vector3* pPosition)
{
    return pObject->GetCurrentPosition(pPosition);
}

bool CGameObjectManager::footprintReaches(const CGameObject* pObject, float minX, float minY, float maxX, float maxY)
{
    return pObject->pCollisionObject && pObject->pCollisionObject->testBox2D(minX, minY, maxX, maxY, 0.0f);
}

// ---- Game cameras ------------------------------------------------------------------------------

bool CGameObjectManager::addGameCamera(CGameObject* pObject)
{
    if (!VERIFY(m_pGameCameras.getNumItems() < 4)) return false;
    if (findIn(&m_pGameCameras, [pObject](void* p) { return p == pObject; })) return false;
    append(&m_pGameCameras, pObject);
    prepareTreeInsertion(pObject);
    return true;
}

void CGameObjectManager::removeGameCamera(CGameObject* pObject)
{
    llistElement* e = findIn(&m_pGameCameras, [pObject](void* p) { return p == pObject; });
    if (!e) return;
    deleteObject(pObject);
    removeElement(&m_pGameCameras, e);
}

// ---- Network object factory --------------------------------------------------------------------

CNetObject* CGameObjectManager::createEmptyObject(uint32_t objectType)
{
    if (objectType == CGameObject::TYPE_GAME_INFO) {
        if (isLocalSimulation()) stopOnNetworkObject("Server received create message for game info object\n", __LINE__);
        CGameObject* serverInfo = d_pLink ? d_pLink->createGameInfo() : nullptr;
        if (!VERIFY(serverInfo)) return nullptr;
        return serverInfo;
    }
    resourceHandle handle = 0;
    if (!instantiateResource(objectType & CResourceManager::MASK_MANAGER, objectType, &handle))
        stopOnNetworkObject("Failed to instantiate object in CGameObjectManager::createEmptyObject\n", __LINE__);
    CResource* pResource = nullptr;
    if (!acquireResource(handle, &pResource))
        stopOnNetworkObject("Failed to acquire object in CGameObjectManager::createEmptyObject\n", __LINE__);
    if (!VERIFY(pResource) || !VERIFY(pResource->getResourceType() == CResource::RESOURCETYPE_GAMEOBJECT) ||
        !VERIFY(((CGameObject*)pResource)->GetType() == objectType)) {
        releaseResource(handle);
        return nullptr;
    }
    auto* pObject = static_cast<CGameObject*>(pResource);
    // Deletion releases by this handle.
    pObject->setResourceHandle(handle);
    // The copy of a remote object: its own machine runs it.
    pObject->setRemoteNode(true);
    pObject->prepareAsReplica();
    pObject->d_leafIndex = CGameObject::NO_LEAF;
    sortIntoLists(pObject, false, false);
    if (pObject->isActiveKind()) prepareTreeInsertion(pObject);
    addToHash(pObject);
    pObject->d_active = 1;
    return pObject;
}

bool CGameObjectManager::destroyNetObject(uint32_t id)
{
    CGameObject* pObject = nullptr;
    for (llist* pList : {updateLastObjects, activeObjects}) {
        llistElement* e = findIn(pList, [id](void* p) { return static_cast<CGameObject*>(p)->getNetId() == id; });
        if (e) {
            pObject = static_cast<CGameObject*>(e->data);
            break;
        }
    }
    if (!pObject) return false;
    leaveTree(pObject);
    unlinkFromList(pObject);
    pObject->d_active = 0;
    // Nothing may keep a pointer to the released object.
    removeFromHash(pObject);
    removeFirst(postCollisionObjects, pObject);
    removeFirst(newRenderObjects, pObject);
    leaveRenderGroup(pObject);
    while (removeFirst(deletedObjects, pObject)) {
    }
    releaseResource(pObject->getResourceHandle());
    return true;
}
