// CGameObjectManager: the one owner of the running level's game objects and the broker of every
// resource handle. It keeps the registry of resource managers ordered by manager id, creates objects
// from the instantiation script or from code, sorts them into lists by kind, finds them by instance
// name, queues and carries out their deletion and owns the per-leaf object lists of the land tree.
//
// Lists keep the pooled list's cursor rules: adding links after the list's current element, which a
// completed walk leaves at the end; the delete queue always appends at its end.
#pragma once

#include "gamemanagement/ResourceManager.h"
#include "gameobjects/ObjectManagerInterfaces.h"
#include "gameobjects/RenderGroups.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"
#include "utility/SimpleFifo.h"

#include <cstdint>

class CLandTree;
struct CLeaf;

class CGameObjectManager : public CObjectManagerInterface, public CNetObjectInterface {
public:
    static constexpr uint32_t MAX_LEAF_LISTS = 1024;
    static constexpr uint32_t NUM_HASH_BUCKETS = 256;
    static constexpr uint32_t MAX_GAME_CAMERAS = 4;
    static constexpr uint32_t DELETION_TRACKING_BYTES = 32768;
    static constexpr uint32_t DEBUG_CATEGORY = 0x80;
    static constexpr uint32_t TYPE_TREE_CAMERA = 0x06000006;  // kept out of the object lists' bookkeeping

    // The game logic passes itself; null runs without one (no player view, no game-info object).
    explicit CGameObjectManager(CGameLogicLink* pLink = nullptr);
    ~CGameObjectManager() override;
    CGameObjectManager(const CGameObjectManager&) = delete;
    CGameObjectManager& operator=(const CGameObjectManager&) = delete;

    // The manager interface.
    bool createObjectFromCode(uint32_t typeId, resourceHandle creator, ObjectArgs args) override;
    bool createObjectByNameFromCode(const char* typeName, resourceHandle creator, ObjectArgs args) override;
    bool createObject(uint32_t typeId, CParamBlock* pBlock, resourceHandle creator) override;
    bool createObjectByName(const char* typeName, CParamBlock* pBlock, resourceHandle creator) override;
    bool createObjectByNameWithHandle(resourceHandle* pHandle, const char* typeName, resourceHandle creator,
                                      ObjectArgs args) override;
    bool createObjectFromCodeWithHandle(uint32_t typeId, resourceHandle* pHandle, resourceHandle creator,
                                        ObjectArgs args) override;
    void deleteObject(CGameObject* pObject) override;
    bool findHandleByName(const char* pInstanceName, resourceHandle* pHandle) override;
    // The object's instance name replaced (null: none), its place in the name look-up with it.
    void renameObject(CGameObject* pObject, const char* pName);
    bool resolveNameList(llist* pNames) override;
    bool findTypeId(uint32_t managerId, const char* typeName, uint32_t* pTypeId) override;
    bool findTypeIdAnyManager(const char* typeName, uint32_t* pTypeId) override;
    bool getTypeName(uint32_t typeId, const char** ppTypeName) override;
    bool addDefinition(uint32_t managerId, const char* typeName, uint32_t* pTypeId) override;
    bool instantiateResource(uint32_t managerId, uint32_t typeId, resourceHandle* pHandle) override;
    bool instantiateResourceByName(uint32_t managerId, const char* typeName, resourceHandle* pHandle) override;
    bool instantiateResourceByNameAnyManager(const char* typeName, resourceHandle* pHandle) override;
    bool acquireResource(resourceHandle handle, CResource** ppResource) override;
    void releaseResource(resourceHandle handle) override;
    void update() override;
    void updateInterpolation() override;
    int getFrameStep() override;
    CGameObject* findObjectByNetId(uint32_t id) override;
    bool isGameInfoFlagSet() override;
    bool allocDynamicListId(uint16_t* pId) override;
    llist* getDynamicList(uint16_t id) override;
    void freeDynamicListId(uint16_t id) override;
    bool allocStaticListId(uint16_t* pId) override;
    llist* getStaticList(uint16_t id) override;
    void freeStaticListId(uint16_t id) override;
    void prepareTreeInsertion(CGameObject* pObject) override;
    void replaceInTree(CGameObject* pObject) override;
    void querySenses(CGameObject* pObject, uint32_t query, void* pSenses) override;
    bool getTreePosition(CGameObject* pObject, Vector3* pPosition) override;
    bool footprintReaches(const CGameObject* pObject, float minX, float minY, float maxX, float maxY) override;
    uint16_t getLeafIndex(const CGameObject* pObject) override { return pObject->d_leafIndex; }
    void setLeafIndex(CGameObject* pObject, uint16_t leafIndex) override { pObject->d_leafIndex = leafIndex; }
    void renderGroups() override;
    uint32_t GetNumObjects() override;
    CGameObject* getObject(uint32_t index) override;
    bool getObjectPosition(uint32_t index, Vector3* pPosition) override;
    llist* getActiveObjects() override;
    void addToRenderList(CGameObject* pObject) override;
    void removeFromRenderList(CGameObject* pObject) override;
    CProjData& getProjData() override;

    // The network object factory.
    CNetObject* createEmptyObject(uint32_t typeId) override;
    bool destroyNetObject(uint32_t id) override;

    // The registry. A manager whose id is registered already is refused (false) and stays the
    // caller's. Definitions are copied now; later ones arrive only through addDefinition and
    // reloadDefinitions.
    bool registerResourceManager(CResourceManager* pManager);
    // Each manager's initialise in increasing id order, stopping at the first that fails.
    void initialiseResourceManagers();
    CResourceManager* getResourceManager(uint32_t managerId);
    // Each manager's deviceReset, in id order.
    void walkRegistry();
    // Each manager's resetForRestart, in id order.
    void resetResourceManagers();
    void clearDefinitions(uint32_t managerId);
    void reloadDefinitions(uint32_t managerId);

    // Creates the objects of an instantiation script (its top-level blocks, as the scanner lists
    // them), activates them and lets each link to the others. fileName, when given, names the script
    // in the report of a block that does not parse.
    bool createObjectsFromInstanceScript(const blockStartList& blockTexts, const char* fileName = nullptr);
    // Releases every object (game-logic teardown).
    void releaseAllObjects();
    // Draws the objects of the render list, in order (once per frame, after the scene).
    void renderObjects();
    // Queues every object whose type is none of the given ones.
    void deleteAllObjectsExcept(const uint32_t* pExceptionTypes, uint32_t count);

    // At most MAX_GAME_CAMERAS; false for one listed already.
    bool addGameCamera(CGameObject* pObject);
    void removeGameCamera(CGameObject* pObject);

    // Scans the instantiation script and creates its objects; false when it cannot be read.
    bool readInstanceScript(const char* fileName);
    // Every object still listed forgets its event record: the wiring table is about to be made anew.
    void detachEventWiring();

    // Saved level states ("data\savedstates\c<chapter>m<mission>.pst"): the deletions recorded and
    // every named object's own state. False when the file cannot be written.
    bool saveState(int chapter, int mission);
    // Turns deletion tracking on or off (before looking for the file), then repeats the saved
    // deletions, runs one update and restores the objects. True when the file was found.
    bool loadState(int chapter, int mission, bool trackDeletions);
    // Deletion tracking: named objects deleted while it is on are recorded for the saved state.
    void setDeletionTracking(bool track);
    void resetDeletionTracking();
    bool isDeletionTrackingEnabled() const { return deletionTrackingEnabled != 0; }
    CSimpleFifo& getDeletionTrackingQueue() { return d_deletionTracking; }

    // The running flags of the game frame: the object passes run while the objects flag is set, or
    // for one update after a single step is asked for; the same for the game cameras.
    void setObjectsRunning(bool running) { m_objectsRunning = running; }
    void stepObjectsOnce() { m_objectsStepOnce = 1; }
    void setCamerasRunning(bool running) { m_camerasRunning = running; }
    void stepCamerasOnce() { m_camerasStepOnce = 1; }
    bool areObjectsRunning() const { return m_objectsRunning != 0; }

    // The lists, for the passes that walk them.
    llist* getUpdateLastObjects() { return updateLastObjects; }
    llist* getPartialObjects() { return partialObjects; }
    llist* getScriptObjects() { return scriptObjects; }
    llist* getPostCollisionObjects() { return postCollisionObjects; }
    llist* getDeletedObjects() { return deletedObjects; }
    llist* getNewRenderObjects() { return newRenderObjects; }
    llist* getPendingObjects() { return &d_pendingActivation; }
    llist* getGameCameras() { return &m_pGameCameras; }
    llist* getRenderList() { return &d_renderList; }
    float getInterpolationFactor() const { return d_interpolationFactor; }

    // The bucket of an instance name: signed bytes up to the end or a line feed, case-sensitive.
    static uint32_t nameHash(const char* pName);
    // A key of the name without regard to case, compared before the names themselves.
    static uint32_t nameKey(const char* pName);

private:
    struct RegistryNode {
        CResourceManager* pManager;
        llist* objectDefinitions;  // heap resDef copies
        uint32_t id;
        RegistryNode* pLeft;
        RegistryNode* pRight;
    };
    // Called for every node in increasing id order until it answers false.
    template <class Visit>
    static bool walkInOrder(RegistryNode* pNode, Visit& visit);
    RegistryNode* findNode(uint32_t managerId) const;
    static const resDef* findDefinitionByName(RegistryNode* pNode, const char* typeName);
    static const resDef* findDefinitionById(RegistryNode* pNode, uint32_t typeId);
    static void appendDefinition(RegistryNode* pNode, const resDef& definition);
    static void freeDefinitions(RegistryNode* pNode);
    static void freeRegistry(RegistryNode* pNode);

    // Create paths: the object's own set-up runs between acquiring and sorting; a failed set-up
    // releases the object.
    struct SetUp;
    bool createWith(uint32_t typeId, resourceHandle* pHandle, const SetUp& setUp);
    CGameObject* instantiateGameObject(uint32_t typeId, resourceHandle* pHandle);
    void sortIntoLists(CGameObject* pObject, bool useUpdateLast, bool usePostCollision);
    void linkInto(llist* pList, CGameObject* pObject);
    void unlinkFromList(CGameObject* pObject);
    void addToHash(CGameObject* pObject);
    void removeFromHash(CGameObject* pObject);
    static bool removeFirst(llist* pList, const void* pData);
    static CGameObject* findByName(llist* pList, const char* pInstanceName);
    void activatePendingObjects();
    void carryOutDeletion(CGameObject* pObject, bool host);
    void carryOutDeletions();
    bool isLocalSimulation() const;
    bool allocListId(llist& freeIds, uint16_t* pId);
    void freeListId(llist& freeIds, uint16_t id);
    void tellNetworkGone(CGameObject* pObject);

    // The passes of the update between its start and the activation of new objects.
    void runPasses(bool local);
    void contactPass(CLandTree* pTree);
    void leafWalk(CLandTree* pTree, CGameObject* pObject, bool moving);
    void childWalk(CLandTree* pTree, CGameObject* pObject, CLeaf* pLeaf);
    void testList(CGameObject* pObject, llist* pList, bool movingCheck);
    void placeInTree(CLandTree* pTree, CGameObject* pObject, bool moved);
    // Out of the land tree and the render groups, for good.
    void leaveTree(CGameObject* pObject);
    void leaveRenderGroup(CGameObject* pObject);
    // The running level's land tree; null when the world has none (nothing is placed then).
    static CLandTree* landTree();

    CGameLogicLink* d_pLink;
    llist d_dynamicLists[MAX_LEAF_LISTS];
    llist d_staticLists[MAX_LEAF_LISTS];
    llist d_freeDynamicIds;
    llist d_freeStaticIds;
    uint8_t m_objectsRunning;
    uint8_t m_objectsStepOnce;
    uint8_t m_camerasRunning;
    uint8_t m_camerasStepOnce;
    llist d_renderList;
    llist m_pGameCameras;
    llist d_nameHash[NUM_HASH_BUCKETS];
    llist* activeObjects;
    llist* updateLastObjects;
    llist* deletedObjects;
    llist* partialObjects;
    llist* scriptObjects;
    llist* postCollisionObjects;
    llist* newRenderObjects;
    llist d_pendingActivation;
    RegistryNode* d_pRegistry;
    uint32_t d_lastUpdateTime;
    uint32_t d_lastInterpolationTime;
    float d_interpolationFactor;
    CRenderGroupList d_renderGroups;
    uint8_t deletionTrackingEnabled;
    CSimpleFifo d_deletionTracking;
};

template <class Visit>
bool CGameObjectManager::walkInOrder(RegistryNode* pNode, Visit& visit)
{
    if (!pNode) return true;
    return walkInOrder(pNode->pLeft, visit) && visit(pNode) && walkInOrder(pNode->pRight, visit);
}

// The one object manager, set by its constructor.
extern CGameObjectManager* pTheObjectManager;
