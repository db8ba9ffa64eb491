// The sample kinds in a level of the game's own managers on flat ground.
#include "gameobjects/SampleObjects.h"

#include "SampleModelFiles.h"
#include "TestKinds.h"
#include "TestSupport.h"
#include "ai/WorldMgr.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ModelResourceManager.h"
#include "gameobjects/PhysicsObjectResourceManager.h"
#include "gameobjects/SampleObjectResourceManager.h"
#include "global/ProjData.h"
#include "network/NodeManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

void expectNear(const Vector3& expected, const Vector3& actual, float tolerance = 0.01f)
{
    EXPECT_TRUE(testsupport::near(expected, actual, tolerance));
}

// A level of the game's misc, collision, physics and model managers; the logging kinds stand in
// for animals (type 0x02000001). No map: the ground is flat at 0.
class Samples : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (CResourceManager* pManager :
             std::vector<CResourceManager*>{new CSampleObjectResourceManager, new CCollisionObjectResourceManager,
                                            new CPhysicsObjectResourceManager, new CModelResourceManager})
            objects().registerResourceManager(pManager);
        objects().initialiseResourceManagers();
        getProjData().FrameStep = 30;
        for (int i = 0; i < 3; ++i) getProjData().getWorldMgr()->advanceFrame();  // the solver's first frames
    }
    CGameObjectManager& objects() { return *world.pObjects; }
    template <class K>
    K* acquired(bool made, resourceHandle handle)
    {
        CResource* pResource = nullptr;
        return made && objects().acquireResource(handle, &pResource) ? static_cast<K*>(pResource) : nullptr;
    }
    template <class K>
    K* named(const std::string& name)
    {
        resourceHandle handle = 0;
        const bool found = objects().findHandleByName(name.c_str(), &handle);
        return acquired<K>(found, handle);
    }
    // Made from code and activated.
    template <class K>
    K* fromCode(std::vector<const void*> args)
    {
        resourceHandle handle = 0;
        const bool made = objects().createObjectFromCodeWithHandle(K::TYPE_ID, &handle, 0, args.data());
        K* pObject = acquired<K>(made, handle);
        objects().update();
        return pObject;
    }
    CCollisionTest* tester(const std::string& name, const Vector3& at, int shape = 0, const std::string& more = "")
    {
        char text[256];
        snprintf(text, sizeof text, "CollisionTest\n{\ninstancename %s\nposition %g, %g, %g\ncollision_type %d\n%s}\n",
                 name.c_str(), at.x, at.y, at.z, shape, more.c_str());
        return world.createFromText(text) ? named<CCollisionTest>(name) : nullptr;
    }
    // An animal with a sphere of radius 50 about its position.
    testkinds::LoggedObject* animal(const std::string& name, const Vector3& at)
    {
        testkinds::LoggedObject* pAnimal = world.make("TestActive", name);
        auto* pShape = static_cast<CCollisionSphere*>(pAnimal->pCollisionObject = new CCollisionSphere);
        pAnimal->position = at;
        pShape->pCentre = &pAnimal->position, pShape->radius = 50;
        spheres.emplace_back(pShape);
        return pAnimal;
    }
    void step(int steps = 1)
    {
        for (int i = 0; i < steps; ++i, getProjData().GameTime += 30) objects().update();
    }

    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd{(writeSampleModelFiles(dir), dir.path())};
    testkinds::World world{CResourceManager::MANAGER_ANIMALS};
    std::vector<std::unique_ptr<CCollisionSphere>> spheres;
};

TEST_F(Samples, BulletsFlyAlongTheirAnglesHitOnlyAnimalsAndTreesAndGoWhenSpent)
{
    const Vector3 at(20, 200, 100);
    const float speed = 600, zero = 0;
    auto* pBullet = fromCode<CSampleObjectBullet>({&at, &speed, &zero, &zero, &zero});
    ASSERT_NE(nullptr, pBullet);  // made of the types the misc manager cached at initialisation
    expectNear(Vector3(1, 0, 0), pBullet->getDirection());
    uint32_t typeId = 0;
    EXPECT_FALSE(objects().findTypeIdAnyManager("Pickup", &typeId));  // made by type id only
    step();  // travel 5 x 30 + 600 x (1000 / 30) x 0.001 = 170 a step
    Vector3 position;
    pBullet->GetCurrentPosition(&position);
    expectNear(Vector3(190, 200, 100), position, 0.1f);
    EXPECT_EQ(CSampleObjectBullet::LIFETIME - 30, pBullet->getLifetime());

    animal("cow", Vector3(300, 200, 100));  // on the next step's ray
    auto* pTarget = fromCode<CSampleObjectTarget>({&at});
    step();
    EXPECT_TRUE(pBullet->d_queuedForDeletion);
    EXPECT_FALSE(pTarget->d_queuedForDeletion);  // a bullet does not go for a target by itself

    // A network game without local hits leaves hits to the machines that own the objects; a
    // spent bullet of another machine is left to it.
    auto* pQuiet = fromCode<CSampleObjectBullet>({&at, &speed, &zero, &zero, &zero});
    getProjData().pNetwork = new CNodeManager;
    getProjData().pNetwork->setHost(true);
    pQuiet->interact(named<CGameObject>("cow"));
    pQuiet->setRemoteNode(true);
    pQuiet->update(CSampleObjectBullet::LIFETIME);
    EXPECT_FALSE(pQuiet->d_queuedForDeletion);
    EXPECT_FALSE(pQuiet->d_active);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(Samples, CreationMessagesCarryTheKindsFieldsAndShortOnesAreRefused)
{
    const Vector3 at(10, 20, 30), direction(0, 1, 0);
    const float speed = 1000, angle = 0.25f;
    auto* pBullet = fromCode<CSampleObjectBullet>({&at, &speed, &angle, &angle, &angle});
    CSampleObjectBullet bullet;
    CSampleObjectLaser laser;
    CSampleObjectTarget target;
    struct Row {
        CGameObject *pObject, *pCopy;
        uint32_t size;
        bool read;
    };
    for (const Row& row :
         {Row{pBullet, &bullet, 51, true}, Row{fromCode<CSampleObjectLaser>({&at, &direction}), &laser, 43, false},
          Row{fromCode<CSampleObjectTarget>({&at}), &target, 35, true}}) {
        uint8_t message[64];
        getProjData().GameTime = 1000;
        EXPECT_EQ(row.size, row.pObject->getCreationMessageType());
        EXPECT_EQ(0u, row.pObject->writeCreationData(message, row.size - 1));
        EXPECT_EQ(row.size, row.pObject->writeCreationData(message, sizeof message));
        EXPECT_FALSE(row.pCopy->readCreationData(message, row.size - 1));
        getProjData().GameTime = 1100;  // the message is 100 ms old: a bullet has flown on
        EXPECT_EQ(row.read, row.pCopy->readCreationData(message, row.size));
        Vector3 original, copy;
        row.pObject->GetCurrentPosition(&original);
        row.pCopy->GetCurrentPosition(&copy);
        expectNear(original + (row.pCopy == &bullet ? pBullet->getDirection() * 600 : Vector3()), copy);
    }
    EXPECT_EQ(1000u, bullet.getSenderTime());
    EXPECT_EQ(CSampleObjectBullet::LIFETIME - 100, bullet.getLifetime());
}

TEST_F(Samples, TheLaserDeliversOneHitToTheNearestObjectShortOfTheGroundAndTargetsGoOnlyWhenShot)
{
    // From 300 up, slanting down: it meets the ground at x = 300, between the near and the far cow.
    const Vector3 start(0, 200, 300), direction = Vector3(1, 0, -1) / std::sqrt(2.0f);
    animal("far", Vector3(350, 200, -50));
    animal("near", Vector3(150, 200, 170));
    animal("twin", Vector3(150, 200, 170));
    auto* pLaser = fromCode<CSampleObjectLaser>({&start, &direction});
    const resourceHandle laser = pLaser->getResourceHandle();
    EXPECT_NEAR(300 * 300 * 2, pLaser->getClosestDistanceSquared(), 50);
    for (const char* name : {"far", "near", "twin"}) pLaser->interact(named<CGameObject>(name));
    pLaser->postCollision();
    ASSERT_TRUE(pLaser->hasHit());
    EXPECT_TRUE(pLaser->hasFired());
    EXPECT_STREQ("near", pLaser->getClosestObject()->getInstanceName());  // the first of equals
    pLaser->recordHit(named<CGameObject>("far"), Vector3(1, 1, 1), Vector3());
    EXPECT_STREQ("near", pLaser->getClosestObject()->getInstanceName());  // fired: nothing more

    // Its lifetime still runs out after the hit.
    CResource* pGone = nullptr;
    step(16);
    EXPECT_TRUE(objects().acquireResource(laser, &pGone));
    step();
    EXPECT_FALSE(objects().acquireResource(laser, &pGone));

    // Targets stand on the ground and go only for bullets and lasers.
    const Vector3 spot(200, 100, 70);
    for (uint32_t type : {CSampleObjectBullet::TYPE_ID, CSampleObjectLaser::TYPE_ID, CCollisionTest::TYPE_ID,
                          CGameObject::TYPE_PLAYER_VEHICLE}) {
        auto* pTarget = fromCode<CSampleObjectTarget>({&spot});
        Vector3 position;
        pTarget->GetCurrentPosition(&position);
        expectNear(Vector3(200, 100, 0), position);
        testkinds::BareObject shooter(type);
        pTarget->contactReply(&shooter, Vector3(), Vector3());
        EXPECT_EQ(type <= CSampleObjectLaser::TYPE_ID, bool(pTarget->d_queuedForDeletion)) << std::hex << type;
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

// The contact pass asks only one of a pair: here the tester and the target, made first, are asked
// about the laser. The laser still hits only the nearest of them, once.
TEST_F(Samples, ALaserHitsTheNearestOnceWhenTheObjectsItMeetsAreAskedAboutIt)
{
    CCollisionTest* pNear = tester("near", Vector3(150, 200, 50));
    const Vector3 behind(300, 200, 0), start(0, 200, 50), along(1, 0, 0);
    auto* pTarget = fromCode<CSampleObjectTarget>({&behind});
    auto* pLaser = fromCode<CSampleObjectLaser>({&start, &along});
    ASSERT_TRUE(pNear && pTarget && pLaser);
    const resourceHandle target = pTarget->getResourceHandle();
    step(3);
    ASSERT_TRUE(pLaser->hasHit());
    EXPECT_EQ(pNear, pLaser->getClosestObject());
    CResource* pResource = nullptr;
    EXPECT_TRUE(objects().acquireResource(target, &pResource));  // behind the tester: not hit
    // Pushed away from the laser once, then only damped while the laser lives on.
    step(20);
    EXPECT_GT(pNear->getVelocity().x, 20.0f);
    EXPECT_LE(pNear->getVelocity().x, 30.0f);
    EXPECT_TRUE(testsupport::reports().empty());
}

TEST_F(Samples, TestersFallToTheGroundBandBounceOffItAndArePushedAndHurtOnlyAsTheirRulesSay)
{
    struct Row {
        float z, vz, expectedVz;
    };
    // Above the 50 clearance gravity pulls; below it a fall is reflected; exactly at it, nothing.
    for (const Row& row : {Row{60, 0, -6}, Row{50, -10, -10}, Row{40, -10, 10}, Row{40, 10, 10}}) {
        CCollisionTest* pTester =
            tester("t" + std::to_string(int(row.z)) + std::to_string(int(row.vz)), Vector3(350, 350, row.z));
        pTester->setVelocity(Vector3(0, 0, row.vz / CCollisionTest::DAMPING * (1000.0f / 30)));
        pTester->update(30);
        EXPECT_NEAR(row.expectedVz, pTester->getVelocity().z, 1e-4f) << row.z << " " << row.vz;
    }
    // A hull tester cannot be made; an unknown shape gives none.
    EXPECT_EQ(nullptr, tester("hull", Vector3(100, 100, 100), 2));
    EXPECT_EQ(nullptr, tester("shapeless", Vector3(100, 100, 100), 7)->pCollisionObject);
    CCollisionTest *pA = tester("a", Vector3(100, 100, 100), 1), *pB = tester("b", Vector3(300, 100, 100));

    // Damage counts from testers only, to the nearest point; a dead tester goes after the contact pass.
    pA->applyDamage(40.4f, pB);
    pA->applyDamage(1000, animal("cow", Vector3(0, 0, 0)));
    EXPECT_EQ(60, pA->health);
    pA->applyDamage(60, pB);
    EXPECT_TRUE(pA->isDead());
    step(2);  // activated, then gone
    EXPECT_EQ(nullptr, named<CCollisionTest>("a"));

    // Another tester's report spins it; anything else but the player's vehicle pushes it by 30.
    testkinds::BareObject wall(0x04000000), vehicle(CGameObject::TYPE_PLAYER_VEHICLE);
    const Vector3 before = pB->getVelocity();
    pB->contactReply(&vehicle, Vector3(), Vector3(1, 0, 0));
    expectNear(before, pB->getVelocity());
    pB->contactReply(&wall, Vector3(), Vector3(1, 0, 0));
    expectNear(before - Vector3(30, 0, 0), pB->getVelocity());
    pB->contactReply(tester("c", Vector3(300, 300, 100)), Vector3(300, 0, 100), Vector3(0, 0, 1));
    EXPECT_LT(pB->getSpin().w, 1.0f);
    EXPECT_TRUE(testsupport::reports().empty());
}

// A ball dropped onto a ball (the same leaf, so the list order is the order they are made) and onto
// a log: whichever meets the other first, the lower one is not pushed into the ground and the upper
// one does not sink into it.
TEST_F(Samples, StackedTestersNeitherSinkIntoTheGroundNorPassThroughEachOther)
{
    struct Row {
        const char *lower, *upper;
        int lowerShape;
        bool lowerFirst;
        float touching;  // apart when touching: a log turned by its spin shows an end, 50 from its axis
    };
    for (const Row& row : {Row{"ballA", "ballB", 0, true, 200}, Row{"ballC", "ballD", 0, false, 200},
                           Row{"log", "onLog", 1, true, 150}}) {
        const std::string tough = "damageThreshold 1e9\n";
        auto makeLower = [&] { return tester(row.lower, Vector3(200, 200, 60), row.lowerShape, tough); };
        CCollisionTest* pLower = row.lowerFirst ? makeLower() : nullptr;
        CCollisionTest* pUpper = tester(row.upper, Vector3(200, 200, 400), 0, tough);
        if (!row.lowerFirst) pLower = makeLower();
        ASSERT_TRUE(pLower && pUpper);
        float lowest = 1e9f, closest = 1e9f;
        for (int frame = 0; frame < 150; ++frame) {
            step();
            Vector3 below, above;
            pLower->GetCurrentPosition(&below);
            pUpper->GetCurrentPosition(&above);
            lowest = std::min(lowest, below.z);
            closest = std::min(closest, above.z - below.z);
        }
        // A frame's fall past the clearance of 50 is the most a bounce dips.
        EXPECT_GT(lowest, 20.0f) << row.lower;
        EXPECT_GT(closest, row.touching - 15.0f) << row.lower;
        objects().deleteObject(pLower);
        objects().deleteObject(pUpper);
        step();
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

// A level script cut inside a block is one report, naming it; a damaged model its objects load is
// a file of its own, named in a report of its own.
TEST_F(Samples, ACutScriptIsOneReportAndAModelItsObjectsLoadIsAnother)
{
    dir.write("data/dumb_test_object.rsm", "RSM");
    const std::string text = "CollisionTest\n{\ninstancename t1\nposition 0, 0, 100\ncollision_type 0\n}\n"
                             "CollisionTest\n{\ninstancename t2\nposition 0, 500, 100\n";
    dir.write("data/levels/demo/m01.txt", text);
    EXPECT_TRUE(objects().readInstanceScript("data\\levels\\demo\\m01.txt"));
    EXPECT_EQ(nullptr, named<CCollisionTest>("t1"));  // without its model
    ASSERT_EQ(2u, testsupport::reports().size());
    EXPECT_EQ(1, testsupport::countReports("Block file data\\levels\\demo\\m01.txt: ends inside a block"));
    EXPECT_EQ(1, testsupport::countReports("data\\dumb_test_object.rsm"));
    EXPECT_EQ(0, testsupport::countReports("While reading"));
}

}  // namespace
