#include "TestKinds.h"
#include "TestSupport.h"
#include "ai/LandTree.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"
#include "network/NodeManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace {

using namespace testkinds;
typedef std::vector<std::string> Names;

Names names(llist* pList)
{
    Names out;
    for (pList->GotoHead(); pList->HasCurrent(); pList->GotoNext())
        out.push_back(static_cast<CGameObject*>(pList->GetCurrent())->getInstanceName());
    return out;
}

Names sorted(Names names)
{
    std::sort(names.begin(), names.end());
    return names;
}

Names operator+(Names a, const Names& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

CLandTree& tree() { return *getProjData().getLandTree(); }

// Spheres about the objects' positions, owned by the test.
struct Shapes {
    std::deque<CCollisionSphere> spheres;
    void give(LoggedObject* pObject, float radius)
    {
        CCollisionSphere& sphere = spheres.emplace_back();
        sphere.pCentre = &pObject->position;
        sphere.radius = radius;
        pObject->pCollisionObject = &sphere;
    }
};

TEST(ObjectUpdatePasses, FlagsGateThePassesWhichRunInTheirFixedOrder)
{
    World w(0x84000000, true);
    CGameObjectManager& objects = *w.pObjects;
    w.make("TestPartial", "p");
    w.make("TestActive", "a");
    w.make("TestActive", "idle")->d_updateFlag = 0;
    w.make("TestPostCollision", "pc");
    w.make("TestUpdateLast", "u");
    w.make("TestScript", "s");
    w.make("TestActive", "off")->d_active = 0;
    objects.addGameCamera(w.make("TestScript", "cam"));
    LoggedObject* sleepingCamera = w.make("TestScript", "cam2");
    sleepingCamera->d_active = 0;
    objects.addGameCamera(sleepingCamera);
    objects.update();

    const Names objectUpdates = {"update p", "update a", "update pc", "update u"};
    const Names cameraUpdates = {"update cam", "update cam2"};  // whether active or not
    const Names objectThinks = {"postCollision pc", "think a", "think idle", "think pc", "think p", "think u"};
    const Names cameraThinks = {"think cam"};
    const Names objectsEnd = {"applyPlayerView", "update 84000000"};
    auto expected = [&](bool objectsRun, bool camerasRun) {
        Names out;
        if (objectsRun) out = out + objectUpdates;
        if (camerasRun) out = out + cameraUpdates;
        if (objectsRun) out = out + objectThinks;
        if (camerasRun) out = out + cameraThinks;
        if (objectsRun) out = out + objectsEnd;
        return out;
    };
    struct Flags {
        bool objects, objectsOnce, cameras, camerasOnce;
    };
    const Flags rows[] = {{true, false, true, false}, {false, false, false, false}, {false, true, false, false},
                          {false, false, false, true},  {false, false, true, false},  {true, false, false, true}};
    for (const Flags& row : rows) {
        objects.setObjectsRunning(row.objects);
        objects.setCamerasRunning(row.cameras);
        if (row.objectsOnce) objects.stepObjectsOnce();
        if (row.camerasOnce) objects.stepCamerasOnce();
        for (int step = 0; step < 2; ++step) {
            w.log.calls.clear();
            objects.update();
            // A single step lasts one update.
            EXPECT_EQ(step == 0 ? expected(row.objects || row.objectsOnce, row.cameras || row.camerasOnce)
                                : expected(row.objects, row.cameras),
                      w.log.calls)
                << row.objects << row.objectsOnce << row.cameras << row.camerasOnce << " step " << step;
        }
    }

    // An object made during a step joins the active set at its end and is first updated next step.
    objects.setObjectsRunning(true);
    bool made = false;
    w.make("TestActive", "maker")->onThink = [&](LoggedObject&) {
        if (!made) made = w.make("TestActive", "newbie") != nullptr;
    };
    objects.update();
    w.log.calls.clear();
    objects.update();
    EXPECT_TRUE(made);
    EXPECT_EQ(0, w.log.count("update newbie") + w.log.count("think newbie"));
    EXPECT_EQ("newbie", names(objects.getActiveObjects()).back());
    objects.update();
    EXPECT_EQ(1, w.log.count("update newbie"));
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST(ObjectUpdateContacts, MoversMeetTheirListTheirLeafsStaticsNearbyChildrenAndAncestors)
{
    Shapes shapes;
    World w;
    auto dynamic = [&w](const char* name, float x, float y, float speed) {
        LoggedObject* pObject = w.make("TestActive", name);
        pObject->staticObject = false;
        pObject->position.set(x, y, 0.0f);
        pObject->speed = speed;
        return pObject;
    };
    auto placed = [&w](const char* name, float x, float y) {
        LoggedObject* pObject = w.make("TestActive", name);
        pObject->position.set(x, y, 0.0f);
        return pObject;
    };
    // Leaf 2 is the square (0..100, 0..100), leaf 1 its parent (0..200, 0..200), leaf 0 the root.
    dynamic("a", 50, 50, 1.0f);
    dynamic("b", 60, 60, 0.0f);
    dynamic("c", 70, 70, 0.0f);
    *dynamic("ghost", 55, 55, 1.0f)->getTreeEligibleFlag() = 0;
    LoggedObject* napper = dynamic("napper", 45, 45, 1.0f);
    dynamic("sleeper", 40, 40, 0.0f)->d_alwaysMoving = 1;
    placed("s", 80, 20);
    shapes.give(placed("rock", 100, 150), 5.0f);    // across leaf 1's quarters: in leaf 1
    shapes.give(placed("big", 200, 200), 10.0f);    // across the root's quarters: in the root
    shapes.give(placed("far", 100, 300), 5.0f);     // leaf 11, too far from the giant's box
    placed("hidden", 250, 50);                      // leaf 7, under a leaf without statics
    placed("post", 360, 360);                       // leaf 20, with the unsure one
    shapes.give(dynamic("drifter", 100, 100, 0.0f), 5.0f);  // leaf 1's dynamic list
    shapes.give(dynamic("giant", 200, 20, 2.0f), 10.0f);    // the root's dynamic list
    dynamic("unsure", 350, 350, 0.0f)->speedKnown = false;
    w.pObjects->update();
    w.pObjects->update();
    ASSERT_EQ(2, napper->d_leafIndex);
    napper->d_active = 0;
    w.log.calls.clear();
    w.pObjects->update();

    const Names expected = {
        // Pairs of one list: A's interact with each B after it, when either moves.
        "interact a b", "interact a c", "interact a sleeper", "interact b sleeper", "interact c sleeper",
        // A mover's own leaf, the statics of its ancestors, the movers of its ancestors.
        "interact s a", "interact rock a", "interact big a", "interact drifter a", "interact giant a",
        "interact s sleeper", "interact rock sleeper", "interact big sleeper", "interact drifter sleeper",
        "interact giant sleeper",
        // Still objects meet only moving ones of the lists above them.
        "interact giant b", "interact giant c", "interact giant drifter",
        // From the root: the children whose box (grown by 120) meets the giant, and theirs.
        "interact big giant", "interact rock giant", "interact s giant",
        // An object that cannot tell its speed meets the statics above it, but not its own leaf's.
        "interact big unsure", "interact giant unsure"};
    EXPECT_EQ(sorted(expected), sorted(w.log.matching("interact")));
    EXPECT_TRUE(testsupport::reports().empty());

    // A client leaves contacts to the host.
    getProjData().pNetwork = new CNodeManager;
    w.log.calls.clear();
    w.pObjects->update();
    EXPECT_EQ(0, w.log.count("interact"));
}

TEST(ObjectUpdateTree, DynamicsMoveAndLeaveStaticsStayAndTheDeletedLeaveTheTreeOnTheHostOnly)
{
    Shapes shapes;
    World w;
    CGameObjectManager& objects = *w.pObjects;
    LoggedObject* mover = w.make("TestActive", "mover");
    mover->staticObject = false;
    LoggedObject* rock = w.make("TestActive", "rock");
    LoggedObject* shaped = w.make("TestActive", "shaped");  // no position, a shape in the corner
    Vector3 corner(390.0f, 390.0f, 0.0f);
    shapes.give(shaped, 20.0f);
    static_cast<CCollisionSphere*>(shaped->pCollisionObject)->pCentre = &corner;
    shaped->hasPosition = false;
    LoggedObject* nowhere = w.make("TestActive", "nowhere");
    nowhere->hasPosition = false;
    objects.update();
    EXPECT_EQ(CGameObject::NO_LEAF, mover->d_leafIndex);  // activated at the end of the step
    objects.update();
    const CLeaf& leaf2 = *tree().getLeaf(2);
    EXPECT_EQ((std::vector<int>{2, 2, 0, 1, 1}), (std::vector<int>{mover->d_leafIndex, rock->d_leafIndex,
                                                                   shaped->d_leafIndex, leaf2.dynamicCount,
                                                                   leaf2.staticCount}));
    EXPECT_EQ(1, testsupport::countReports("Static object could not be put into the land tree: TestActive"));

    // A moved dynamic object changes leaf and its old leaf gives its list back; statics stay.
    mover->moveTo(350, 350);
    rock->moveTo(350, 350);
    objects.update();
    EXPECT_EQ((std::vector<int>{20, 2, CLeaf::NO_LIST}), (std::vector<int>{mover->d_leafIndex, rock->d_leafIndex, leaf2.dynamicListId}));

    // On a client a leaver waits outside the tree, and comes back; deletions wait for the host,
    // and a withdrawn replica leaves the tree at once.
    auto* pNode = new CNodeManager;
    getProjData().pNetwork = pNode;
    mover->moveTo(500, 50);
    objects.update();
    EXPECT_EQ(CGameObject::NO_LEAF, mover->d_leafIndex);
    mover->moveTo(150, 250);
    CNetObjectInterface& factory = objects;
    auto* replica = static_cast<CGameObject*>(factory.createEmptyObject(w.type(KIND_ACTIVE)));
    replica->setNetId(7);
    objects.deleteObject(rock);
    objects.update();
    objects.update();
    EXPECT_EQ((std::vector<int>{13, 2}), (std::vector<int>{mover->d_leafIndex, leaf2.staticCount}));
    EXPECT_TRUE(factory.destroyNetObject(7));
    EXPECT_EQ(1, leaf2.staticCount);

    // The tree camera never leaves for good; on the host any other leaver is deleted.
    objects.registerResourceManager(new LoggingManager(0x06000000, w.log));
    resourceHandle cameraHandle = 0;
    ASSERT_TRUE(objects.instantiateResource(0x06000000, CGameObjectManager::TYPE_TREE_CAMERA, &cameraHandle));
    LoggedObject* camera = w.object(cameraHandle);
    camera->position.set(-10, 0, 0);
    objects.addGameCamera(camera);
    pNode->setHost(true);
    mover->moveTo(-1, 0);
    objects.update();
    EXPECT_EQ(std::make_pair(int(CGameObject::NO_LEAF), 1), std::make_pair(int(camera->d_leafIndex), int(camera->d_active)));
    EXPECT_EQ((std::vector<int>{1, 1}), (std::vector<int>{w.log.count("destroy mover"), w.log.count("destroy rock")}));
    EXPECT_EQ(0, leaf2.staticCount + tree().getLeaf(13)->dynamicCount);
    camera->moveTo(10, 390);
    objects.update();
    EXPECT_EQ(14, camera->d_leafIndex);

    // The senses query needs a record for an object in the tree; one outside is not asked about.
    int senses = 0;
    objects.querySenses(camera, 1, &senses);
    objects.querySenses(camera, 1, nullptr);
    objects.querySenses(nowhere, 1, nullptr);
    EXPECT_EQ(1, testsupport::countReports("pSenses && theTree"));

    // Nothing stays in the tree once every object is released.
    objects.releaseAllObjects();
    EXPECT_EQ(0, tree().getLeaf(14)->dynamicCount + tree().getLeaf(0)->staticCount);
}

TEST(ObjectUpdateRendering, GroupsDrawNewestBlockFirstThenTheManagersAndTheRenderListAfterTheScene)
{
    World w;
    CGameObjectManager& objects = *w.pObjects;
    objects.registerResourceManager(new LoggingManager(0x02000000, w.log));
    Names keyed;
    for (uint32_t i = 0; i < 30; ++i) {
        keyed.push_back("k" + std::to_string(i));
        w.make("TestScript", keyed.back())->renderKey = 100 + i;
    }
    w.make("TestScript", "twin")->renderKey = 105;
    w.make("TestScript", "unseen")->renderKey = CGameObject::NO_RENDER_GROUP;
    LoggedObject* active = w.make("TestActive", "active");
    getProjData().GameTime = 1000;
    objects.update();
    LoggedObject* pending = w.make("TestActive", "pending");
    getProjData().GameTime = 1045;
    objects.updateInterpolation();
    EXPECT_EQ(std::make_pair(1.35f, -1.0f), std::make_pair(active->interpolation, pending->interpolation));
    w.log.calls.clear();
    objects.renderGroups();

    // 28 keys fill the first block; the 29th opens a block at the front, where later keys go.
    Names expected = {"render k28", "render k29", "render active", "render pending"};
    for (int i = 0; i < 28; ++i) {
        expected.push_back("render k" + std::to_string(i));
        if (i == 5) expected.push_back("render twin");
    }
    expected = expected + Names{"render 02000000", "render 84000000"};
    EXPECT_EQ(expected, w.log.matching("render"));

    // Deleted: out of its group, or out of the new objects when it has not been drawn yet.
    resourceHandle handle = 0;
    for (const char* name : {"k5", "unseen"}) {
        objects.findHandleByName(name, &handle);
        objects.deleteObject(w.object(handle));
    }
    objects.deleteObject(w.make("TestScript", "late"));
    objects.update();
    EXPECT_TRUE(objects.getNewRenderObjects()->Empty());
    w.log.calls.clear();
    objects.renderGroups();
    EXPECT_EQ(std::make_pair(0, 1), std::make_pair(w.log.count("render k5"), w.log.count("render twin")));

    EXPECT_TRUE(testsupport::reports().empty());

    w.log.calls.clear();
    CGameObject* first = w.make("TestScript", "listed");
    objects.addToRenderList(first);
    objects.findHandleByName("k3", &handle);
    objects.addToRenderList(w.object(handle));
    objects.renderObjects();
    EXPECT_EQ((Names{"render listed", "render k3"}), w.log.matching("render"));
}

}  // namespace
