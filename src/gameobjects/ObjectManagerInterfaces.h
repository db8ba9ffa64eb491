// The two faces of the object manager: the manager interface that game code uses, and the network
// object factory through which the network layer makes and destroys copies of remote objects. Both
// are pure; CGameObjectManager implements them. CGameLogicLink is what the object manager needs of
// the game that owns it.
#pragma once

#include "gameobjects/GameObject.h"

#include <cstdint>

class CParamBlock;
class CProjData;
class CResource;
class llist;

class CObjectManagerInterface {
public:
    virtual ~CObjectManagerInterface() {}

    // Creation from code: the object's initFromArgs gets the creator and the further arguments.
    virtual bool createObjectFromCode(uint32_t typeId, resourceHandle creator, ObjectArgs args) = 0;
    virtual bool createObjectByNameFromCode(const char* typeName, resourceHandle creator, ObjectArgs args) = 0;
    // Creation from a block of the level: the object's initFromParamBlock reads it.
    virtual bool createObject(uint32_t typeId, CParamBlock* pBlock, resourceHandle creator) = 0;
    virtual bool createObjectByName(const char* typeName, CParamBlock* pBlock, resourceHandle creator) = 0;
    // As the ones above, handing back the new object's handle (-1 when no manager knows the name).
    virtual bool createObjectByNameWithHandle(resourceHandle* pHandle, const char* typeName, resourceHandle creator,
                                              ObjectArgs args) = 0;
    virtual bool createObjectFromCodeWithHandle(uint32_t typeId, resourceHandle* pHandle, resourceHandle creator,
                                                ObjectArgs args) = 0;
    // Queues the object for deletion at the end of the next update.
    virtual void deleteObject(CGameObject* pObject) = 0;

    virtual bool findHandleByName(const char* pInstanceName, resourceHandle* pHandle) = 0;
    // Each element of the list, a heap name (new[]), becomes the handle found for it; names not found
    // are dropped. Every name is freed. True when at least one was found.
    virtual bool resolveNameList(llist* pNames) = 0;

    virtual bool findTypeId(uint32_t managerId, const char* typeName, uint32_t* pTypeId) = 0;
    virtual bool findTypeIdAnyManager(const char* typeName, uint32_t* pTypeId) = 0;
    virtual bool getTypeName(uint32_t typeId, const char** ppTypeName) = 0;
    virtual bool addDefinition(uint32_t managerId, const char* typeName, uint32_t* pTypeId) = 0;

    virtual bool instantiateResource(uint32_t managerId, uint32_t typeId, resourceHandle* pHandle) = 0;
    virtual bool instantiateResourceByName(uint32_t managerId, const char* typeName, resourceHandle* pHandle) = 0;
    virtual bool instantiateResourceByNameAnyManager(const char* typeName, resourceHandle* pHandle) = 0;
    virtual bool acquireResource(resourceHandle handle, CResource** ppResource) = 0;
    virtual void releaseResource(resourceHandle handle) = 0;

    virtual void update() = 0;
    virtual void updateInterpolation() = 0;
    virtual int getFrameStep() = 0;
    virtual CGameObject* findObjectByNetId(uint32_t id) = 0;
    virtual bool isGameInfoFlagSet() = 0;

    // The land tree's per-leaf object lists, by 16-bit id (1 to MAX_LEAF_LISTS - 1).
    virtual bool allocDynamicListId(uint16_t* pId) = 0;
    virtual llist* getDynamicList(uint16_t id) = 0;
    virtual void freeDynamicListId(uint16_t id) = 0;
    virtual bool allocStaticListId(uint16_t* pId) = 0;
    virtual llist* getStaticList(uint16_t id) = 0;
    virtual void freeStaticListId(uint16_t id) = 0;
    // The next update puts the object into the land tree.
    virtual void prepareTreeInsertion(CGameObject* pObject) = 0;
    // A new place in the land tree for a dynamic object that moved; one that left the world is
    // deleted (on a client it waits outside the tree instead).
    virtual void replaceInTree(CGameObject* pObject) = 0;
    // The land tree's senses query about the objects near one that is in the tree.
    virtual void querySenses(CGameObject* pObject, uint32_t query, void* pSenses) = 0;
    // What the land tree asks of an object it places: its position (false without one), whether its
    // footprint, the collision object, reaches into a box of the ground plane (false without one),
    // and the leaf that holds it.
    virtual bool getTreePosition(CGameObject* pObject, Vector3* pPosition) = 0;
    virtual bool footprintReaches(const CGameObject* pObject, float minX, float minY, float maxX, float maxY) = 0;
    virtual uint16_t getLeafIndex(const CGameObject* pObject) = 0;
    virtual void setLeafIndex(CGameObject* pObject, uint16_t leafIndex) = 0;
    // Draws the objects by render group, then lets every manager draw (while a view is drawn).
    virtual void renderGroups() = 0;

    virtual uint32_t GetNumObjects() = 0;
    virtual CGameObject* getObject(uint32_t index) = 0;
    virtual bool getObjectPosition(uint32_t index, Vector3* pPosition) = 0;
    virtual llist* getActiveObjects() = 0;
    virtual void addToRenderList(CGameObject* pObject) = 0;
    virtual void removeFromRenderList(CGameObject* pObject) = 0;
    virtual CProjData& getProjData() = 0;
};

class CNetObjectInterface {
public:
    virtual ~CNetObjectInterface() {}

    // A new object of the type, as the copy of a remote one (the game-info object on a client).
    virtual CNetObject* createEmptyObject(uint32_t typeId) = 0;
    // False when no active object has the network id.
    virtual bool destroyNetObject(uint32_t id) = 0;
};

class CGameLogicLink {
public:
    virtual ~CGameLogicLink() {}

    // Called by the update after the deletions.
    virtual void applyPlayerView() = 0;
    // Makes and keeps the game-info object of a client; null when it cannot be made.
    virtual CGameObject* createGameInfo() = 0;
    // Bit 0 of the game-info object's state flags; false without one.
    virtual bool isGameInfoFlagSet() = 0;
};
