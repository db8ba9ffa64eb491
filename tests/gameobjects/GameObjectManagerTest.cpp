#include "gameobjects/GameObjectManager.h"

#include "TestKinds.h"
#include "TestSupport.h"
#include "global/ProjData.h"
#include "network/NodeManager.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace testkinds;
typedef std::vector<std::string> Names;

// Instance names of a list's objects, in list order.
Names names(llist* pList)
{
    Names out;
    for (pList->GotoHead(); pList->HasCurrent(); pList->GotoNext()) {
        const char* pName = static_cast<CGameObject*>(pList->GetCurrent())->getInstanceName();
        out.push_back(pName ? pName : "-");
    }
    return out;
}

std::string block(const std::string& type, const std::string& name)
{
    return type + "\n{\ninstancename " + name + "\n}\n";
}

LoggedObject* make(World& w, const std::string& type, const std::string& name)
{
    EXPECT_TRUE(w.createFromText(block(type, name))) << type;
    resourceHandle handle = 0;
    w.pObjects->findHandleByName(name.c_str(), &handle);
    return w.object(handle);
}

TEST(ObjectManagerRegistry, ManagersRunInUnsignedIdOrderWithTheDefinitionsTheyHadWhenRegistered)
{
    World w(0x84000000);
    CGameObjectManager& objects = *w.pObjects;
    for (uint32_t id : {0x07000000u, 0x81000000u, 0x02000000u}) objects.registerResourceManager(new LoggingManager(id, w.log));
    CallLog other;
    LoggingManager duplicate(0x02000000, other), nameless(0, other);
    EXPECT_FALSE(objects.registerResourceManager(&duplicate));
    EXPECT_FALSE(objects.registerResourceManager(&nameless));
    EXPECT_EQ(1, testsupport::countReports("newResourceManager->getResourceManagerId()"));

    objects.initialiseResourceManagers();
    objects.walkRegistry();
    objects.resetResourceManagers();
    objects.update();
    for (const char* walk : {"initialise", "deviceReset", "resetForRestart", "update"})
        EXPECT_EQ((Names{std::string(walk) + " 02000000", std::string(walk) + " 07000000",
                         std::string(walk) + " 81000000", std::string(walk) + " 84000000"}),
                  w.log.matching(walk));
    static_cast<LoggingManager*>(objects.getResourceManager(0x07000000))->failInitialise = true;
    w.log.calls.clear();
    objects.initialiseResourceManagers();
    EXPECT_EQ((Names{"initialise 02000000", "initialise 07000000"}), w.log.calls);

    // Names compare without case; the registry keeps its copies until told.
    uint32_t typeId = 0;
    EXPECT_TRUE(objects.findTypeId(0x84000000, "testscript", &typeId));
    EXPECT_EQ(w.type(KIND_SCRIPT), typeId);
    resDef def;
    ASSERT_TRUE(w.pManager->addDefinition("Load:a", &def));
    EXPECT_FALSE(objects.findTypeIdAnyManager("Load:a", &typeId));
    ASSERT_TRUE(objects.addDefinition(0x84000000, "Load:b", &typeId));
    EXPECT_TRUE(objects.findTypeIdAnyManager("LOAD:B", &typeId));
    objects.reloadDefinitions(0x84000000);
    EXPECT_TRUE(objects.findTypeIdAnyManager("load:A", &typeId));
    EXPECT_EQ(0x84000106u, typeId);
    objects.clearDefinitions(0x84000000);
    EXPECT_FALSE(objects.findTypeId(0x84000000, "TestScript", &typeId));
    EXPECT_TRUE(objects.findTypeIdAnyManager("TestScript", &typeId));
}

TEST(ObjectManagerResources, InstantiateAcquireAndReleaseRouteByTheHandlesManager)
{
    World w;
    CObjectManagerInterface& objects = *w.pObjects;
    resourceHandle handle = 5;
    CResource* pResource = nullptr;
    EXPECT_TRUE(objects.instantiateResource(0x84000000, w.type(KIND_SCRIPT), &handle));
    objects.releaseResource(handle);
    EXPECT_FALSE(objects.acquireResource(handle, &pResource));
    EXPECT_FALSE(objects.instantiateResource(0x84000000, 0x84000077, &handle));
    EXPECT_EQ(0u, handle);
    // By name: a name not defined yet is defined on demand when the manager can.
    EXPECT_TRUE(objects.instantiateResourceByName(0x84000000, "Load:tree", &handle));
    EXPECT_TRUE(objects.instantiateResourceByName(0x84000000, "load:TREE", &handle));
    EXPECT_EQ(1, w.log.count("addDefinition"));
    EXPECT_FALSE(objects.instantiateResourceByName(0x84000000, "Nothing", &handle));
    EXPECT_TRUE(objects.instantiateResourceByNameAnyManager("TestPartial", &handle));
    EXPECT_EQ(w.type(KIND_PARTIAL), w.object(handle)->GetType());
    EXPECT_TRUE(testsupport::reports().empty());

    // Fill words are reported, then answered like any handle; no manager owns 0 either.
    for (uint32_t word : {0xCDCDCDCDu, 0xDDDDDDDDu, 0xCCCCCCCCu, 0xFDFDFDFDu}) EXPECT_FALSE(objects.acquireResource(word, &pResource));
    EXPECT_EQ(1, testsupport::countReports("resourceHandle != 0xfdfdfdfd"));
    EXPECT_FALSE(objects.acquireResource(0, &pResource));
    EXPECT_EQ(4u, testsupport::reports().size());
}

TEST(ObjectManagerCreation, ObjectsAreSortedByKindActivatedByTheNextUpdateAndReleasedWhenSetUpFails)
{
    World w(0x84000000, true);
    CGameObjectManager& objects = *w.pObjects;
    for (const char* kind : {"TestActive", "TestPartial", "TestScript", "TestUpdateLast", "TestPostCollision"})
        make(w, kind, std::string("o-") + kind);
    EXPECT_EQ((Names{"instantiate 84000001 1", "initFromParamBlock o-TestActive"}),
              Names(w.log.calls.begin(), w.log.calls.begin() + 2));
    // Pending, active, update-last, partial, script and post-collision lists.
    EXPECT_EQ((std::vector<Names>{{"o-TestActive", "o-TestPostCollision"}, {}, {"o-TestUpdateLast"}, {"o-TestPartial"},
                                  {"o-TestScript"}, {"o-TestPostCollision"}}),
              (std::vector<Names>{names(objects.getPendingObjects()), names(objects.getActiveObjects()),
                                  names(objects.getUpdateLastObjects()), names(objects.getPartialObjects()),
                                  names(objects.getScriptObjects()), names(objects.getPostCollisionObjects())}));
    EXPECT_EQ(5u, objects.getNewRenderObjects()->getNumItems());
    objects.update();
    EXPECT_EQ((Names{"o-TestActive", "o-TestPostCollision"}), names(objects.getActiveObjects()));
    EXPECT_TRUE(objects.getPendingObjects()->Empty());
    EXPECT_EQ(1, w.log.count("applyPlayerView"));

    // From code: the set-up gets the creator and the further arguments.
    const void* args[] = {"hello"};
    resourceHandle handle = 0;
    EXPECT_TRUE(objects.createObjectFromCode(w.type(KIND_ACTIVE), 0x01000007, args));
    EXPECT_EQ("initFromArgs TestActive 01000007 hello", w.log.calls.back());
    EXPECT_TRUE(objects.createObjectFromCodeWithHandle(w.type(KIND_SCRIPT), &handle, 0x01000008, nullptr));
    EXPECT_EQ(0x01000008u, w.object(handle)->getCreator());
    EXPECT_TRUE(objects.createObjectByNameWithHandle(&handle, "testpartial", 0, nullptr));
    EXPECT_EQ(w.type(KIND_PARTIAL), w.object(handle)->GetType());
    EXPECT_FALSE(objects.createObjectByNameWithHandle(&handle, "NoSuchKind", 0, nullptr));
    EXPECT_EQ(0xFFFFFFFFu, handle);
    EXPECT_EQ(8u, w.pManager->getNumLive());

    // Every path gives back an object that cannot set itself up, and says so.
    const uint32_t failing = w.type(KIND_FAILING);
    EXPECT_FALSE(w.createFromText(block("TestFailing", "bad")));
    EXPECT_FALSE(objects.createObjectFromCode(failing, 0, nullptr));
    EXPECT_FALSE(objects.createObjectFromCodeWithHandle(failing, &handle, 0, nullptr));
    EXPECT_FALSE(objects.createObjectByNameFromCode("TestFailing", 0, nullptr));
    EXPECT_FALSE(objects.createObjectByNameWithHandle(&handle, "TestFailing", 0, nullptr));
    EXPECT_EQ(5, w.log.count("release"));
    EXPECT_EQ(8u, w.pManager->getNumLive());
    EXPECT_FALSE(objects.findHandleByName("bad", &handle));
    EXPECT_EQ(8u, objects.getNewRenderObjects()->getNumItems());
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
    EXPECT_TRUE(w.pObjects->createObjectsFromInstanceScript(blocks, "script.txt"));
    deleteBlockStartList(blocks);
    delete[] pText;
    debugCategoryMask = 0;

    EXPECT_EQ((Names{"initFromParamBlock a2", "initFromParamBlock p1", "initFromParamBlock a1", "initFromParamBlock s1"}),
              w.log.matching("initFromParamBlock"));
    EXPECT_EQ((Names{"onAllCreated a2", "onAllCreated a1", "onAllCreated p1", "onAllCreated s1"}),
              w.log.matching("onAllCreated"));
    EXPECT_EQ((Names{"a2", "a1"}), names(w.pObjects->getActiveObjects()));
    EXPECT_EQ(1, testsupport::countReports("Failed to parse general block from instance script: script.txt"));
    const std::string debug = dir.read("debug.txt");
    EXPECT_NE(std::string::npos, debug.find("Unable to create object of class Mystery\n"));
    EXPECT_NE(std::string::npos, debug.find("Adding object "));
}

TEST(ObjectManagerLookup, NamesAreFoundByHashThenByListWithoutRegardToCase)
{
    // Signed bytes, shifted sum, up to the end or a line feed.
    const std::pair<const char*, uint32_t> hashes[] = {{"", 0}, {"a", 48}, {"ab", 73}, {"ab\ncd", 73}, {"\xE9", 0xF4}};
    for (const auto& [text, bucket] : hashes) EXPECT_EQ(bucket, CGameObjectManager::nameHash(text)) << text;

    World w;
    CGameObjectManager& objects = *w.pObjects;
    const resourceHandle active = make(w, "TestActive", "Tester1")->getResourceHandle();
    const resourceHandle script = make(w, "TestScript", "Tester2")->getResourceHandle();
    resourceHandle handle = 0;
    // Another case misses the hash; the object waiting for activation is in no searched list yet.
    EXPECT_FALSE(objects.findHandleByName("TESTER1", &handle));
    EXPECT_TRUE(objects.findHandleByName("tester2", &handle));
    EXPECT_EQ(script, handle);
    objects.update();
    EXPECT_TRUE(objects.findHandleByName("TESTER1", &handle));
    EXPECT_EQ(active, handle);

    llist list;
    for (const char* name : {"nobody", "TESTER2", "Tester1", "ghost"}) list.InsertAfter(strcpy(new char[8], name));
    EXPECT_TRUE(objects.resolveNameList(&list));
    std::vector<uintptr_t> resolved;
    for (list.GotoHead(); list.HasCurrent(); list.GotoNext()) resolved.push_back(reinterpret_cast<uintptr_t>(list.GetCurrent()));
    EXPECT_EQ((std::vector<uintptr_t>{script, active}), resolved);
    list.RemoveAll();
    list.InsertAfter(strcpy(new char[8], "ghost"));
    EXPECT_FALSE(objects.resolveNameList(&list));
    EXPECT_TRUE(list.Empty());
}

TEST(ObjectManagerDeletion, TheQueueTakesAnObjectOnceAndTheUpdateUnlinksItFromTheListThatHoldsIt)
{
    World w;
    CGameObjectManager& objects = *w.pObjects;
    LoggedObject* first = make(w, "TestActive", "first");
    LoggedObject* late = make(w, "TestUpdateLast", "late");
    LoggedObject* post = make(w, "TestPostCollision", "post");
    make(w, "TestActive", "second");
    objects.update();
    for (LoggedObject* pObject : {first, first, late, post}) objects.deleteObject(pObject);
    EXPECT_EQ((Names{"first", "late", "post"}), names(objects.getDeletedObjects()));
    resourceHandle handle = 0;
    EXPECT_TRUE(objects.findHandleByName("FIRST", &handle));  // out of the hash, still listed

    objects.setObjectsRunning(false);
    objects.update();
    EXPECT_EQ(0, w.log.count("release"));
    objects.stepObjectsOnce();
    objects.update();
    EXPECT_EQ((Names{"destroy first", "destroy late", "destroy post"}), w.log.matching("destroy"));
    EXPECT_TRUE(objects.getDeletedObjects()->Empty());
    EXPECT_TRUE(objects.getPostCollisionObjects()->Empty());
    EXPECT_TRUE(objects.getUpdateLastObjects()->Empty());
    EXPECT_EQ((Names{"second"}), names(objects.getActiveObjects()));
    EXPECT_EQ((Names{"second"}), names(objects.getNewRenderObjects()));
    EXPECT_TRUE(testsupport::reports().empty());

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
    objects.deleteObject(make(w, "TestScript", "untracked"));
    objects.setDeletionTracking(true);
    resourceHandle unnamed = 0;
    objects.createObjectFromCodeWithHandle(w.type(KIND_SCRIPT), &unnamed, 0, nullptr);
    objects.deleteObject(w.object(unnamed));
    make(w, "TestScript", "quiet")->d_trackDeletion = 0;
    for (const char* name : {"keep1", "sp-civilian", "SP-upper", "quiet"}) {
        resourceHandle handle = 0;
        if (!objects.findHandleByName(name, &handle)) make(w, "TestScript", name);
        objects.findHandleByName(name, &handle);
        objects.deleteObject(w.object(handle));
    }
    CSimpleFifo& queue = objects.getDeletionTrackingQueue();
    Names recorded;
    char text[256];
    for (uint32_t size = sizeof text; queue.pop(text, size); size = sizeof text) recorded.emplace_back(text, size);
    EXPECT_EQ((Names{"keep1", "SP-upper"}), recorded);

    // A full queue is reported and the deletion still goes ahead.
    while (queue.push(text, 200)) {
    }
    objects.deleteObject(make(w, "TestScript", "late"));
    EXPECT_EQ(1, testsupport::countReports("Deleted object list FIFO is full. Big it up!"));
    EXPECT_EQ(7u, objects.getDeletedObjects()->getNumItems());
}

TEST(ObjectManagerLists, LeafListIdsRunFromOneToTheLastAndCamerasAreCapped)
{
    World w;
    CGameObjectManager& objects = *w.pObjects;
    typedef bool (CGameObjectManager::*Alloc)(uint16_t*);
    typedef void (CGameObjectManager::*Free)(uint16_t);
    const std::pair<Alloc, Free> pools[] = {
        {&CGameObjectManager::allocDynamicListId, &CGameObjectManager::freeDynamicListId},
        {&CGameObjectManager::allocStaticListId, &CGameObjectManager::freeStaticListId}};
    for (const auto& [alloc, release] : pools) {
        testsupport::clearReports();
        uint16_t id = 0;
        for (uint16_t expected = 1; expected < 1024; ++expected) {
            ASSERT_TRUE((objects.*alloc)(&id));
            ASSERT_EQ(expected, id);
        }
        EXPECT_FALSE((objects.*alloc)(&id));
        for (uint16_t bad : {5, 0, 1024}) (objects.*release)(bad);
        EXPECT_EQ(3u, testsupport::reports().size());  // the empty pool, ids 0 and 1024
        EXPECT_TRUE((objects.*alloc)(&id));
        EXPECT_EQ(5, id);
    }
    EXPECT_NE(objects.getDynamicList(7), objects.getStaticList(7));
    EXPECT_EQ(nullptr, objects.getStaticList(1024));

    testsupport::clearReports();
    std::vector<LoggedObject*> cameras;
    for (int i = 0; i < 6; ++i) cameras.push_back(make(w, "TestActive", "cam" + std::to_string(i)));
    for (int i = 0; i < 4; ++i) {
        cameras[i]->d_leafIndex = 3;
        EXPECT_TRUE(objects.addGameCamera(cameras[i]));
        EXPECT_EQ(CGameObject::NO_LEAF, cameras[i]->d_leafIndex);
        EXPECT_FALSE(objects.addGameCamera(cameras[0]));
    }
    EXPECT_FALSE(objects.addGameCamera(cameras[4]));
    EXPECT_EQ(2, testsupport::countReports("m_pGameCameras.getNumItems() < 4"));
    objects.removeGameCamera(cameras[1]);
    objects.removeGameCamera(cameras[5]);  // not a camera: left alone
    EXPECT_EQ((Names{"cam0", "cam2", "cam3"}), names(objects.getGameCameras()));
    EXPECT_EQ((Names{"cam1"}), names(objects.getDeletedObjects()));
}


TEST(ObjectManagerNetwork, TheFactoryMakesReplicasOnAClientAndRefusesGameInfoOnTheHost)
{
    World w(0x84000000, true);
    CGameObjectManager& objects = *w.pObjects;
    auto* pNode = new CNodeManager;
    getProjData().pNetwork = pNode;
    CNetObjectInterface* pFactory = &objects;

    // Host: made objects are announced and withdrawn; being sent game info is a protocol error.
    pNode->setHost(true);
    LoggedObject* hosted = make(w, "TestActive", "hosted");
    EXPECT_TRUE(pNode->hasObject(hosted));
    objects.update();
    objects.deleteObject(hosted);
    objects.update();
    EXPECT_EQ(0u, pNode->getNumObjects());
    {
        // Its report is the stop's reason: written whatever the file being read has said.
        ReadingFile reading("data\\levels\\demo\\m01.txt");
        writeRunLog("an earlier fault of the file");
        testsupport::clearReports();
        EXPECT_THROW(pFactory->createEmptyObject(CGameObject::TYPE_GAME_INFO), testsupport::ProcessExit);
        ASSERT_EQ(testsupport::reports().size(), 1u);
        EXPECT_EQ(testsupport::reports()[0].message, "");
    }

    // Client: a replica joins the lists like a made object; deletions wait for the host.
    pNode->setHost(false);
    LoggedObject* local = make(w, "TestActive", "local");
    EXPECT_EQ(0u, pNode->getNumObjects());
    auto* pReplica = static_cast<CGameObject*>(pFactory->createEmptyObject(w.type(KIND_ACTIVE)));
    ASSERT_NE(nullptr, pReplica);
    EXPECT_EQ(1, w.log.count("replica"));
    EXPECT_EQ(pReplica, w.object(pReplica->getResourceHandle()));
    objects.update();
    pReplica->setNetId(0x00020001);
    EXPECT_EQ(pReplica, objects.findObjectByNetId(0x00020001));
    EXPECT_TRUE(pFactory->destroyNetObject(0x00020001));
    EXPECT_FALSE(pFactory->destroyNetObject(0x00020001));
    EXPECT_EQ((Names{"local"}), names(objects.getActiveObjects()));
    objects.deleteObject(local);
    objects.update();
    EXPECT_EQ(1u, objects.getDeletedObjects()->getNumItems());

    EXPECT_EQ(w.link.pGameInfo, pFactory->createEmptyObject(CGameObject::TYPE_GAME_INFO));
    EXPECT_NE(nullptr, w.link.pGameInfo);
    w.link.gameInfoFlag = true;
    EXPECT_TRUE(objects.isGameInfoFlagSet());
    EXPECT_THROW(pFactory->createEmptyObject(0x84000055), testsupport::ProcessExit);
}

}  // namespace
