#include "gameobjects/GameObjectManager.h"

#include "TestKinds.h"
#include "TestSupport.h"
#include "global/ProjData.h"
#include "network/NodeManager.h"
#include "utility/RunLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace testkinds;

// Instance names of a list's objects, in list order ("-" for none).
std::vector<std::string> names(llist* pList)
{
    std::vector<std::string> out;
    for (pList->GotoHead(); pList->HasCurrent(); pList->GotoNext()) {
        auto* pObject = static_cast<CGameObject*>(pList->GetCurrent());
        out.push_back(pObject->getInstanceName() ? pObject->getInstanceName() : "-");
    }
    return out;
}

typedef std::vector<std::string> Names;

std::string block(const std::string& type, const std::string& name, const std::string& extra = "")
{
    return type + "\n{\ninstancename " + name + "\n" + extra + "}\n";
}

resourceHandle make(World& w, const std::string& type, const std::string& name)
{
    EXPECT_TRUE(w.createFromText(block(type, name).c_str())) << type;
    resourceHandle handle = 0;
    w.pObjects->findHandleByName(name.c_str(), &handle);
    return handle;
}

TEST(ObjectManagerRegistry, ManagersRunInUnsignedIdOrderAndAnIdIsRegisteredOnce)
{
    World w(0x84000000);
    CallLog other;
    for (uint32_t id : {0x07000000u, 0x81000000u, 0x02000000u}) w.pObjects->registerResourceManager(new LoggingManager(id, w.log));
    LoggingManager* pDuplicate = new LoggingManager(0x02000000, other);
    EXPECT_FALSE(w.pObjects->registerResourceManager(pDuplicate));
    pDuplicate->destroy();
    EXPECT_EQ(1, other.count("destroy 02000000"));
    LoggingManager nameless(0, other);
    EXPECT_FALSE(w.pObjects->registerResourceManager(&nameless));
    EXPECT_EQ(1, testsupport::countReports("newResourceManager->getResourceManagerId()"));

    w.pObjects->initialiseResourceManagers();
    w.pObjects->walkRegistry();
    w.pObjects->resetResourceManagers();
    w.pObjects->update();
    const Names order = {"02000000", "07000000", "81000000", "84000000"};
    for (const char* walk : {"initialise", "deviceReset", "resetForRestart", "update"}) {
        Names seen;
        for (const std::string& call : w.log.matching(walk)) seen.push_back(call.substr(call.size() - 8));
        EXPECT_EQ(order, seen) << walk;
    }
    // A manager that fails to start stops the walk.
    static_cast<LoggingManager*>(w.pObjects->getResourceManager(0x07000000))->failInitialise = true;
    w.log.calls.clear();
    w.pObjects->initialiseResourceManagers();
    EXPECT_EQ((Names{"initialise 02000000", "initialise 07000000"}), w.log.calls);
    EXPECT_EQ(nullptr, w.pObjects->getResourceManager(0x05000000));
}

TEST(ObjectManagerRegistry, DefinitionsAreCopiedAtRegistrationAndRefreshedOnRequest)
{
    World w;
    uint32_t typeId = 0;
    const char* pName = nullptr;
    EXPECT_TRUE(w.pObjects->findTypeId(0x84000000, "testscript", &typeId));
    EXPECT_EQ(w.type(KIND_SCRIPT), typeId);
    EXPECT_TRUE(w.pObjects->getTypeName(w.type(KIND_PARTIAL), &pName));
    EXPECT_STREQ("TestPartial", pName);
    EXPECT_FALSE(w.pObjects->findTypeId(0x83000000, "TestScript", &typeId));

    // Defined behind the registry's back: not seen until the definitions are reloaded.
    resDef def;
    ASSERT_TRUE(w.pManager->addDefinition("Load:a", &def));
    EXPECT_FALSE(w.pObjects->findTypeIdAnyManager("Load:a", &typeId));
    ASSERT_TRUE(w.pObjects->addDefinition(0x84000000, "Load:b", &typeId));
    EXPECT_EQ(0x84000107u, typeId);
    EXPECT_TRUE(w.pObjects->findTypeIdAnyManager("LOAD:B", &typeId));
    w.pObjects->reloadDefinitions(0x84000000);
    EXPECT_TRUE(w.pObjects->findTypeIdAnyManager("Load:a", &typeId));
    EXPECT_EQ(0x84000106u, typeId);
    w.pObjects->clearDefinitions(0x84000000);
    EXPECT_FALSE(w.pObjects->findTypeIdAnyManager("TestScript", &typeId));
    w.pObjects->reloadDefinitions(0x85000000);
    EXPECT_EQ(1, testsupport::countReports("pNode"));
}

TEST(ObjectManagerResources, InstantiateAcquireAndReleaseRouteByManager)
{
    World w;
    CObjectManagerInterface& objects = *w.pObjects;
    resourceHandle handle = 5;
    EXPECT_TRUE(objects.instantiateResource(0x84000000, w.type(KIND_SCRIPT), &handle));
    CResource* pResource = nullptr;
    EXPECT_TRUE(objects.acquireResource(handle, &pResource));
    objects.releaseResource(handle);
    EXPECT_FALSE(objects.acquireResource(handle, &pResource));
    EXPECT_EQ(nullptr, pResource);
    EXPECT_FALSE(objects.instantiateResource(0x84000000, 0x84000077, &handle));
    EXPECT_EQ(0u, handle);

    // By name: a name not defined yet is defined on demand when the manager can.
    EXPECT_TRUE(objects.instantiateResourceByName(0x84000000, "Load:tree", &handle));
    EXPECT_EQ(1, w.log.count("addDefinition 84000000 Load:tree"));
    EXPECT_TRUE(objects.instantiateResourceByName(0x84000000, "load:TREE", &handle));
    EXPECT_EQ(1, w.log.count("addDefinition"));
    EXPECT_FALSE(objects.instantiateResourceByName(0x84000000, "Nothing", &handle));
    EXPECT_EQ(0u, handle);
    EXPECT_TRUE(objects.instantiateResourceByNameAnyManager("TestPartial", &handle));
    EXPECT_EQ(w.type(KIND_PARTIAL), w.object(handle)->GetType());
    EXPECT_FALSE(objects.instantiateResourceByNameAnyManager("Nothing", &handle));
    EXPECT_TRUE(testsupport::reports().empty());

    // Fill words are reported, then answered like any handle; no manager owns 0 either.
    const std::pair<uint32_t, const char*> words[] = {{0xCDCDCDCD, "resourceHandle != 0xcdcdcdcd"},
                                                      {0xDDDDDDDD, "resourceHandle != 0xdddddddd"},
                                                      {0xCCCCCCCC, "resourceHandle != 0xcccccccc"},
                                                      {0xFDFDFDFD, "resourceHandle != 0xfdfdfdfd"}};
    for (const auto& [word, text] : words) {
        EXPECT_FALSE(objects.acquireResource(word, &pResource));
        EXPECT_EQ(1, testsupport::countReports(text));
    }
    EXPECT_FALSE(objects.acquireResource(0, &pResource));
    EXPECT_EQ(4u, testsupport::reports().size());
    objects.releaseResource(0x99000001);
    EXPECT_EQ(1, testsupport::countReports("pManager"));
}

TEST(ObjectManagerCreation, ObjectsAreSortedByKindAndActivatedByTheNextUpdate)
{
    World w(0x84000000, true);
    CGameObjectManager& objects = *w.pObjects;
    const char* kinds[] = {"TestActive", "TestPartial", "TestScript", "TestUpdateLast", "TestPostCollision"};
    for (const char* kind : kinds) make(w, kind, std::string("o-") + kind);
    // Path A runs instantiate, then the object's own set-up.
    EXPECT_EQ((Names{"instantiate 84000001 1", "initFromParamBlock o-TestActive"}),
              Names(w.log.calls.begin(), w.log.calls.begin() + 2));

    EXPECT_EQ((Names{"o-TestActive", "o-TestPostCollision"}), names(objects.getPendingObjects()));
    EXPECT_EQ(Names{}, names(objects.getActiveObjects()));
    EXPECT_EQ((Names{"o-TestUpdateLast"}), names(objects.getUpdateLastObjects()));
    EXPECT_EQ((Names{"o-TestPartial"}), names(objects.getPartialObjects()));
    EXPECT_EQ((Names{"o-TestScript"}), names(objects.getScriptObjects()));
    EXPECT_EQ((Names{"o-TestPostCollision"}), names(objects.getPostCollisionObjects()));
    EXPECT_EQ(5u, objects.getNewRenderObjects()->getNumItems());
    resourceHandle handle = 0;
    ASSERT_TRUE(objects.findHandleByName("o-TestActive", &handle));
    EXPECT_EQ(CGameObject::NO_LEAF, w.object(handle)->d_leafIndex);

    objects.update();
    EXPECT_EQ(Names{}, names(objects.getPendingObjects()));
    EXPECT_EQ((Names{"o-TestActive", "o-TestPostCollision"}), names(objects.getActiveObjects()));
    EXPECT_EQ(1, w.log.count("applyPlayerView"));
    EXPECT_EQ(2u, objects.GetNumObjects());
    EXPECT_EQ(w.object(handle), objects.getObject(0));
    EXPECT_EQ(nullptr, objects.getObject(2));
    EXPECT_EQ(1, testsupport::countReports("idx < GetNumObjects()"));

    // Path B: the object's set-up gets the creator and the further arguments.
    const void* args[] = {"hello"};
    EXPECT_TRUE(objects.createObjectFromCode(w.type(KIND_ACTIVE), 0x01000007, args));
    EXPECT_EQ("initFromArgs TestActive 01000007 hello", w.log.calls.back());
    EXPECT_TRUE(objects.createObjectFromCodeWithHandle(w.type(KIND_SCRIPT), &handle, 0x01000008, nullptr));
    EXPECT_EQ(0x01000008u, w.object(handle)->getCreator());
    EXPECT_EQ(handle, w.object(handle)->getResourceHandle());
    EXPECT_TRUE(objects.createObjectByNameWithHandle(&handle, "testpartial", 0, nullptr));
    EXPECT_EQ(w.type(KIND_PARTIAL), w.object(handle)->GetType());
    EXPECT_TRUE(objects.createObjectByNameFromCode("TestActive", 0, nullptr));
    EXPECT_FALSE(objects.createObjectByNameWithHandle(&handle, "NoSuchKind", 0, nullptr));
    EXPECT_EQ(0xFFFFFFFFu, handle);
    EXPECT_EQ(9u, w.pManager->getNumLive());
}

TEST(ObjectManagerCreation, AnObjectThatCannotSetItselfUpIsReleasedOnEveryPath)
{
    World w;
    CGameObjectManager& objects = *w.pObjects;
    resourceHandle handle = 0;
    const uint32_t failing = w.type(KIND_FAILING);
    EXPECT_FALSE(w.createFromText(block("TestFailing", "bad").c_str()));
    EXPECT_FALSE(objects.createObject(failing, nullptr, 0));  // no block at all
    EXPECT_FALSE(objects.createObjectFromCode(failing, 0, nullptr));
    EXPECT_FALSE(objects.createObjectFromCodeWithHandle(failing, &handle, 0, nullptr));
    EXPECT_FALSE(objects.createObjectByNameFromCode("TestFailing", 0, nullptr));
    EXPECT_FALSE(objects.createObjectByNameWithHandle(&handle, "TestFailing", 0, nullptr));
    EXPECT_EQ(5, w.log.count("release"));
    EXPECT_EQ(5, w.log.count("destroy"));
    EXPECT_EQ(0u, w.pManager->getNumLive());
    EXPECT_FALSE(objects.findHandleByName("bad", &handle));
    for (llist* pList : {objects.getPendingObjects(), objects.getNewRenderObjects(), objects.getScriptObjects()})
        EXPECT_TRUE(pList->Empty());
}

TEST(ObjectManagerScript, AnInstanceScriptMakesItsObjectsNewestFirstAndLinksThemUp)
{
    World w;
    testsupport::TempDir dir;
    dir.write("script.txt", "class_super_path\n{\npath whatever\n}\n" + block("TestScript", "s1") +
                                "{\nnameless 1\n}\n" + block("TestActive", "a1") + block("Mystery", "m1") +
                                block("TestPartial", "p1") + block("TestActive", "a2") + "Broken\n{\nkey 1\n");
    debugCategoryMask = 0xFFFFFFFF;
    setDebugFileName(dir.file("debug.txt").c_str());
    char* pText = nullptr;
    blockStartList blocks;
    ASSERT_TRUE(scanBlocks(dir.file("script.txt").c_str(), &pText, blocks));
    EXPECT_TRUE(w.pObjects->createObjectsFromInstanceScript(blocks));
    deleteBlockStartList(blocks);
    delete[] pText;
    debugCategoryMask = 0;

    EXPECT_EQ((Names{"initFromParamBlock a2", "initFromParamBlock p1", "initFromParamBlock a1",
                     "initFromParamBlock s1"}),
              w.log.matching("initFromParamBlock"));
    EXPECT_EQ((Names{"onAllCreated a2", "onAllCreated a1", "onAllCreated p1", "onAllCreated s1"}),
              w.log.matching("onAllCreated"));
    EXPECT_EQ((Names{"a2", "a1"}), names(w.pObjects->getActiveObjects()));
    EXPECT_TRUE(w.pObjects->getPendingObjects()->Empty());
    EXPECT_EQ(1, testsupport::countReports("Failed to parse general block from instance script"));
    const std::string debug = dir.read("debug.txt");
    EXPECT_NE(std::string::npos, debug.find("Unable to create object of class Mystery\n"));
    EXPECT_NE(std::string::npos, debug.find("Adding object "));
}

TEST(ObjectManagerLookup, NamesAreFoundByHashThenByListWithoutRegardToCase)
{
    // Signed bytes, shifted sum, up to the end or a line feed.
    const std::pair<const char*, uint32_t> hashes[] = {
        {"", 0}, {"a", 48}, {"ab", 73}, {"ab\ncd", 73}, {"\xE9", 0xF4}, {"A", 32}};
    for (const auto& [text, bucket] : hashes) EXPECT_EQ(bucket, CGameObjectManager::nameHash(text)) << text;

    World w;
    CGameObjectManager& objects = *w.pObjects;
    const resourceHandle active = make(w, "TestActive", "Tester1");
    const resourceHandle script = make(w, "TestScript", "Tester2");
    resourceHandle handle = 0;
    EXPECT_TRUE(objects.findHandleByName("Tester1", &handle));
    EXPECT_EQ(active, handle);
    // Another case misses the hash; the waiting object is in no searched list yet.
    EXPECT_FALSE(objects.findHandleByName("TESTER1", &handle));
    EXPECT_TRUE(objects.findHandleByName("tester2", &handle));
    EXPECT_EQ(script, handle);
    objects.update();
    EXPECT_TRUE(objects.findHandleByName("TESTER1", &handle));
    EXPECT_EQ(active, handle);
    EXPECT_FALSE(objects.findHandleByName("Tester", &handle));

    llist list;
    for (const char* name : {"nobody", "TESTER2", "Tester1", "ghost"}) {
        char* copy = new char[strlen(name) + 1];
        strcpy(copy, name);
        list.InsertAfter(copy);
    }
    EXPECT_TRUE(objects.resolveNameList(&list));
    ASSERT_EQ(2u, list.getNumItems());
    list.GotoHead();
    EXPECT_EQ(script, static_cast<resourceHandle>(reinterpret_cast<uintptr_t>(list.GetCurrent())));
    list.GotoNext();
    EXPECT_EQ(active, static_cast<resourceHandle>(reinterpret_cast<uintptr_t>(list.GetCurrent())));
    list.RemoveAll();
    char* lone = new char[6];
    strcpy(lone, "ghost");
    list.InsertAfter(lone);
    EXPECT_FALSE(objects.resolveNameList(&list));
    EXPECT_TRUE(list.Empty());
}

TEST(ObjectManagerDeletion, TheQueueTakesAnObjectOnceAndTheUpdateReleasesIt)
{
    World w;
    CGameObjectManager& objects = *w.pObjects;
    const resourceHandle first = make(w, "TestActive", "first");
    const resourceHandle late = make(w, "TestUpdateLast", "late");
    const resourceHandle post = make(w, "TestPostCollision", "post");
    make(w, "TestActive", "second");
    objects.update();

    objects.deleteObject(w.object(first));
    objects.deleteObject(w.object(first));
    objects.deleteObject(w.object(late));
    objects.deleteObject(w.object(post));
    EXPECT_EQ(3u, objects.getDeletedObjects()->getNumItems());
    // Out of the hash at once; still in its list until the update.
    resourceHandle handle = 0;
    EXPECT_TRUE(objects.findHandleByName("FIRST", &handle));

    // Paused: nothing is carried out.
    objects.setObjectsRunning(false);
    objects.update();
    EXPECT_EQ(0, w.log.count("release"));
    objects.stepObjectsOnce();
    objects.update();
    EXPECT_EQ(3, w.log.count("release"));
    EXPECT_EQ(0, w.log.count("release") - w.log.count("destroy"));
    EXPECT_TRUE(objects.getDeletedObjects()->Empty());
    EXPECT_TRUE(objects.getPostCollisionObjects()->Empty());
    // The update-last object left its own list; the active list is whole.
    EXPECT_EQ(Names{}, names(objects.getUpdateLastObjects()));
    EXPECT_EQ((Names{"second"}), names(objects.getActiveObjects()));
    EXPECT_EQ((Names{"second"}), names(objects.getNewRenderObjects()));
    EXPECT_FALSE(objects.findHandleByName("first", &handle));
    EXPECT_TRUE(testsupport::reports().empty());

    // Deleting all but some types.
    make(w, "TestScript", "keep");
    make(w, "TestPartial", "part");
    objects.update();
    const uint32_t kept[] = {w.type(KIND_SCRIPT)};
    objects.deleteAllObjectsExcept(kept, 1);
    EXPECT_EQ((Names{"second", "part"}), names(objects.getDeletedObjects()));
    objects.deleteAllObjectsExcept(nullptr, 0);
    EXPECT_EQ(1, testsupport::countReports("pExceptionTypes"));
}

TEST(ObjectManagerDeletion, TrackingRecordsNamedObjectsButNeverSpawnedUnits)
{
    World w;
    CGameObjectManager& objects = *w.pObjects;
    const char* all[] = {"keep1", "sp-civilian", "SP-upper", "quiet"};
    for (const char* name : all) make(w, "TestScript", name);
    resourceHandle unnamed = 0;
    objects.createObjectFromCodeWithHandle(w.type(KIND_SCRIPT), &unnamed, 0, nullptr);
    objects.deleteObject(w.object(unnamed));  // tracking is off: nothing recorded
    objects.setDeletionTracking(true);
    for (const char* name : all) {
        resourceHandle handle = 0;
        objects.findHandleByName(name, &handle);
        if (!strcmp(name, "quiet")) w.object(handle)->d_trackDeletion = 0;
        objects.deleteObject(w.object(handle));
    }
    CSimpleFifo& queue = objects.getDeletionTrackingQueue();
    Names recorded;
    char text[256];
    uint32_t size = sizeof text;
    while (queue.pop(text, size)) {
        recorded.push_back(std::string(text, size));
        size = sizeof text;
    }
    EXPECT_EQ((Names{"keep1", "SP-upper"}), recorded);

    // A full queue is reported and the deletion still goes ahead.
    const std::string filler(200, 'x');
    while (queue.push(filler.data(), static_cast<uint32_t>(filler.size()))) {
    }
    make(w, "TestScript", "late");
    resourceHandle handle = 0;
    objects.findHandleByName("late", &handle);
    objects.deleteObject(w.object(handle));
    EXPECT_EQ(1, testsupport::countReports("Deleted object list FIFO is full. Big it up!"));
    EXPECT_EQ(6u, objects.getDeletedObjects()->getNumItems());
    objects.resetDeletionTracking();
    EXPECT_FALSE(objects.isDeletionTrackingEnabled());
}

TEST(ObjectManagerLists, LeafListIdsRunFromOneToTheLastAndCamerasAreCapped)
{
    World w;
    CGameObjectManager& objects = *w.pObjects;
    typedef bool (CGameObjectManager::*Alloc)(uint16_t*);
    typedef void (CGameObjectManager::*Free)(uint16_t);
    const std::pair<Alloc, Free> pools[] = {{&CGameObjectManager::allocDynamicListId, &CGameObjectManager::freeDynamicListId},
                                            {&CGameObjectManager::allocStaticListId, &CGameObjectManager::freeStaticListId}};
    for (const auto& [alloc, release] : pools) {
        uint16_t id = 0;
        for (uint16_t expected = 1; expected < 1024; ++expected) {
            ASSERT_TRUE((objects.*alloc)(&id));
            ASSERT_EQ(expected, id);
        }
        testsupport::clearReports();
        EXPECT_FALSE((objects.*alloc)(&id));
        EXPECT_EQ(1, testsupport::countReports("Out of leaf object lists"));
        (objects.*release)(5);
        (objects.*release)(0);
        (objects.*release)(1024);
        EXPECT_EQ(3u, testsupport::reports().size());
        EXPECT_TRUE((objects.*alloc)(&id));
        EXPECT_EQ(5, id);
    }
    EXPECT_EQ(objects.getDynamicList(7), objects.getDynamicList(7));
    EXPECT_NE(objects.getDynamicList(7), objects.getStaticList(7));
    EXPECT_EQ(nullptr, objects.getStaticList(1024));

    std::vector<resourceHandle> cameras;
    for (int i = 0; i < 6; ++i) cameras.push_back(make(w, "TestActive", "cam" + std::to_string(i)));
    testsupport::clearReports();
    for (int i = 0; i < 4; ++i) {
        w.object(cameras[i])->d_leafIndex = 3;
        EXPECT_TRUE(objects.addGameCamera(w.object(cameras[i])));
        EXPECT_EQ(CGameObject::NO_LEAF, w.object(cameras[i])->d_leafIndex);
        EXPECT_FALSE(objects.addGameCamera(w.object(cameras[0])));
    }
    EXPECT_EQ(1, testsupport::countReports("m_pGameCameras.getNumItems() < 4"));
    EXPECT_FALSE(objects.addGameCamera(w.object(cameras[4])));
    EXPECT_EQ(2, testsupport::countReports("m_pGameCameras.getNumItems() < 4"));
    objects.removeGameCamera(w.object(cameras[1]));
    objects.removeGameCamera(w.object(cameras[5]));  // not a camera: left alone
    EXPECT_EQ((Names{"cam0", "cam2", "cam3"}), names(objects.getGameCameras()));
    EXPECT_EQ((Names{"cam1"}), names(objects.getDeletedObjects()));
    EXPECT_TRUE(objects.addGameCamera(w.object(cameras[4])));

    // The render list and the interpolation factor.
    objects.addToRenderList(w.object(cameras[0]));
    objects.removeFromRenderList(w.object(cameras[5]));
    EXPECT_EQ(1, testsupport::countReports("Object is not in the render list"));
    getProjData().GameTime = 1000;
    objects.update();
    getProjData().GameTime = 1030;
    objects.updateInterpolation();
    EXPECT_FLOAT_EQ(0.9f, objects.getInterpolationFactor());
}

TEST(ObjectManagerNetwork, TheFactoryMakesReplicasOnAClientAndRefusesGameInfoOnTheHost)
{
    World w(0x84000000, true);
    CGameObjectManager& objects = *w.pObjects;
    auto* pNode = new CNodeManager;
    getProjData().pNetwork = pNode;
    CNetObjectInterface* pFactory = &objects;

    // Host: made objects are announced, deleted ones withdrawn; game info is a protocol error.
    pNode->setHost(true);
    const resourceHandle hosted = make(w, "TestActive", "hosted");
    EXPECT_TRUE(pNode->hasObject(w.object(hosted)));
    objects.update();
    objects.deleteObject(w.object(hosted));
    objects.update();
    EXPECT_EQ(0u, pNode->getNumObjects());
    EXPECT_THROW(pFactory->createEmptyObject(CGameObject::TYPE_GAME_INFO), testsupport::ProcessExit);
    EXPECT_EQ(1u, testsupport::reports().size());

    // Client: a replica joins the lists like a made object; its deletion waits for the host.
    pNode->setHost(false);
    make(w, "TestActive", "local");
    EXPECT_EQ(0u, pNode->getNumObjects());
    CNetObject* pReplica = pFactory->createEmptyObject(w.type(KIND_ACTIVE));
    ASSERT_NE(nullptr, pReplica);
    auto* pObject = static_cast<LoggedObject*>(static_cast<CGameObject*>(pReplica));
    EXPECT_EQ(1, w.log.count("replica"));
    EXPECT_EQ(1, pObject->d_active);
    EXPECT_NE(0u, pObject->getResourceHandle());
    EXPECT_EQ(2u, objects.getPendingObjects()->getNumItems());
    objects.update();
    pObject->setNetId(0x00020001);
    EXPECT_EQ(pObject, objects.findObjectByNetId(0x00020001));
    EXPECT_TRUE(pFactory->destroyNetObject(0x00020001));
    EXPECT_FALSE(pFactory->destroyNetObject(0x00020001));
    EXPECT_EQ((Names{"local"}), names(objects.getActiveObjects()));

    resourceHandle handle = 0;
    objects.findHandleByName("local", &handle);
    objects.deleteObject(w.object(handle));
    objects.update();
    EXPECT_EQ(1u, objects.getDeletedObjects()->getNumItems());

    EXPECT_EQ(w.link.pGameInfo, pFactory->createEmptyObject(CGameObject::TYPE_GAME_INFO));
    EXPECT_NE(nullptr, w.link.pGameInfo);
    EXPECT_FALSE(objects.isGameInfoFlagSet());
    w.link.gameInfoFlag = true;
    EXPECT_TRUE(objects.isGameInfoFlagSet());
    EXPECT_THROW(pFactory->createEmptyObject(0x84000055), testsupport::ProcessExit);
}

}  // namespace
