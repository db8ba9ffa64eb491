#include "gameobjects/InteractionSolver.h"

#include "TestKinds.h"
#include "TestSupport.h"
#include "ai/Component.h"
#include "ai/PathFollower.h"
#include "ai/WorldMgr.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/GameObjectManager.h"
#include "global/ProjData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using testkinds::World;

const uint32_t ANSWERING_ANIMAL = 0x02000009;

// What the solver did to an object: "add" and "set" a velocity, or "damage" with an energy.
struct Call {
    const void* pObject;
    std::string what;
    Vector3 vector;
    float energy;
    const void* pOther;
};
typedef std::vector<Call> Calls;

// A moving body with the answers the solver reads, recording what the solver does to it.
template <class Base>
class BodyOf : public Base {
public:
    explicit BodyOf(Calls& calls, uint32_t type = 0x01000001) : Base(type), d_calls(calls) { this->health = 100; }

    const char* getTypeName() const override { return "Body"; }
    void update(int) override {}
    void interact(CGameObject*) override {}
    bool think(int) override { return false; }
    void render() override {}
    void prepareAsReplica() override {}
    bool isStaticObject() override { return false; }
    bool GetCurrentPosition(Vector3* pPosition) override
    {
        *pPosition = position;
        return true;
    }
    bool GetCurrentDirection(Vector3* pDirection) override
    {
        *pDirection = direction;
        return true;
    }
    bool GetCurrentSpeed(float* pSpeed) override
    {
        *pSpeed = speed;
        return true;
    }
    void addVelocity(const Vector3& v) override { d_calls.push_back({this, "add", v, 0.0f, nullptr}); }
    void setVelocity(const Vector3& v) override { d_calls.push_back({this, "set", v, 0.0f, nullptr}); }
    void applyDamage(float energy, CGameObject* pOther) override
    {
        d_calls.push_back({this, "damage", Vector3(), energy, pOther});
    }
    bool isDead() override { return dead; }

    // Moving along x at the speed (negative: towards -x).
    void moveAlongX(float velocity)
    {
        direction.set(velocity < 0.0f ? -1.0f : 1.0f, 0.0f, 0.0f);
        speed = std::fabs(velocity);
    }

    Vector3 position;
    Vector3 direction{1.0f, 0.0f, 0.0f};
    float speed = 0.0f;
    bool dead = false;

private:
    Calls& d_calls;
};
typedef BodyOf<CGameObject> Body;
typedef BodyOf<CComponent> ComponentBody;

class ComponentManager : public testkinds::LoggingManager {
public:
    ComponentManager(testkinds::CallLog& log, Calls& calls) : LoggingManager(0x04000000, log), d_calls(calls) {}

protected:
    CResource* makeResource(uint32_t typeId) override { return new ComponentBody(d_calls, typeId); }

private:
    Calls& d_calls;
};

void expectCalls(const Calls& expected, const Calls& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Call &e = expected[i], &a = actual[i];
        EXPECT_EQ(e.pObject, a.pObject) << i;
        EXPECT_EQ(e.what, a.what) << i;
        EXPECT_NEAR(e.vector.x, a.vector.x, 1e-4) << i;
        EXPECT_NEAR(e.vector.y, a.vector.y, 1e-4) << i;
        EXPECT_NEAR(e.vector.z, a.vector.z, 1e-4) << i;
        EXPECT_NEAR(e.energy, a.energy, 1e-3) << i;
        EXPECT_EQ(e.pOther, a.pOther) << i;
    }
}

class SolverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 3; ++i) getProjData().getWorldMgr()->advanceFrame();
        one.position.set(0.0f, 0.0f, 0.0f);
        two.position.set(1.0f, 0.0f, 0.0f);
        one.mass = 1.0f;
        two.mass = 3.0f;
        one.moveAlongX(2.0f);
    }
    void solve(Vector3 normal = Vector3(-1.0f, 0.0f, 0.0f), float value = 1.0f)
    {
        solveObjectInteraction(&one, &two, contactPoint, normal, value);
    }

    World world;
    Calls calls;
    Body one{calls};
    Body two{calls};
    const Vector3 contactPoint{0.5f, 0.0f, 0.0f};
};

TEST_F(SolverTest, GatesEndTheCallBeforeAnythingIsTouchedButAnObjectAtZeroHealthIsFinishedOff)
{
    struct Row {
        const char* what;
        void (*arrange)(Body& one, Body& two, float& value);
    };
    const Row rows[] = {
        {"neither may be moved", [](Body& a, Body& b, float&) { a.movable = b.movable = 0; }},
        {"both at the speed floor", [](Body& a, Body& b, float&) { a.speed = b.speed = 0.1f; }},
        {"negative contact value", [](Body&, Body&, float& v) { v = -1.0f; }},
        {"non-finite contact value", [](Body&, Body&, float& v) { v = std::numeric_limits<float>::infinity(); }},
    };
    for (const Row& row : rows) {
        Body a{calls}, b{calls};
        a.moveAlongX(2.0f);
        b.position.set(1.0f, 0.0f, 0.0f);
        float value = 1.0f;
        row.arrange(a, b, value);
        Vector3 normal(-1.0f, 0.0f, 0.0f);
        solveObjectInteraction(&a, &b, contactPoint, normal, value);
        EXPECT_TRUE(calls.empty()) << row.what;
    }

    // Zero health comes before the speed gate and ends the call.
    one.speed = 0.0f;
    two.health = 0;
    solve();
    expectCalls({{&two, "damage", Vector3(), 10000.0f, &one}}, calls);
    calls.clear();
    one.health = -5;
    solve();
    expectCalls({{&one, "damage", Vector3(), 10000.0f, &two}}, calls);

    // The level's first three frames settle nothing.
    calls.clear();
    delete getProjData().pWorldMgr;
    getProjData().pWorldMgr = new CWorldMgr;
    getProjData().pWorldMgr->advanceFrame();
    getProjData().pWorldMgr->advanceFrame();
    solve();
    EXPECT_TRUE(calls.empty());
    Vector3 normal;
    solveObjectInteraction(&one, nullptr, contactPoint, normal, 1.0f);
    EXPECT_EQ(1, testsupport::countReports("pObj1 && pObj2"));
}

TEST_F(SolverTest, BothRespondingShareTheBoostedChangeByMassAndAreHeldToTheirCeiling)
{
    // Changes 1.05 x (m2/m1) x (W2 - W1) = (-6.3, 0, 0) and (0.7, 0, 0); boosted by 1.085; the
    // lighter first object keeps a third of its change, the heavier second two thirds of its own.
    two.damageThreshold = 1.0f;
    solve();
    expectCalls({{&one, "damage", Vector3(), 6.3f, &two},
                 {&one, "add", Vector3(-2.2785f, 0.0f, 0.0f), 0.0f, nullptr},
                 {&two, "add", Vector3(0.506333f, 0.0f, 0.0f), 0.0f, nullptr}},
                calls);

    // Equal masses: the whole share goes to the first object, none to the second.
    calls.clear();
    two.mass = 1.0f;
    solve();
    expectCalls({{&one, "damage", Vector3(), 2.1f, &two},
                 {&two, "damage", Vector3(), 2.1f, &one},
                 {&one, "add", Vector3(-2.2785f, 0.0f, 0.0f), 0.0f, nullptr}},
                calls);
    two.mass = 3.0f;

    // A non-finite normal becomes the line between the collision centres (here the same one);
    // past its ceiling an object's velocity is set to the ceiling's length.
    calls.clear();
    CCollisionPoint centre1, centre2;
    centre1.pCentre = &one.position;
    centre2.pCentre = &two.position;
    one.pCollisionObject = &centre1;
    two.pCollisionObject = &centre2;
    one.maxKnockbackVelocity = 0.1f;
    one.damageThreshold = two.damageThreshold = 100.0f;
    Vector3 normal(std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f);
    solveObjectInteraction(&one, &two, contactPoint, normal, 1.0f);
    EXPECT_NEAR(-1.0f, normal.x, 1e-6);
    expectCalls({{&one, "set", Vector3(-0.1f, 0.0f, 0.0f), 0.0f, nullptr},
                 {&two, "add", Vector3(0.506333f, 0.0f, 0.0f), 0.0f, nullptr}},
                calls);
    // Objects at one centre: the normal points up.
    two.position = one.position;
    normal.set(0.0f, std::numeric_limits<float>::infinity(), 0.0f);
    solveObjectInteraction(&one, &two, contactPoint, normal, 1.0f);
    EXPECT_EQ(0.0f, normal.x);
    EXPECT_EQ(1.0f, normal.z);
}

TEST_F(SolverTest, OneRespondingTakesTheWholeChangeAndItsDamageByHowFastItRan)
{
    struct Row {
        const char* what;
        bool firstResponds;
        float maxVelocity;     // of the mover
        float maxKnockback;    // of the mover
        float threshold;       // of the first object
        float energyToDamage;  // of the first object
        Calls expected;
    };
    Body& a = one;
    Body& b = two;
    const Row rows[] = {
        // Running faster than it may: its running factor (1); 6 = 1 x |(-2, 0, 0)| x 3/1; the wall
        // takes 1 x 2 x 1/3. Knock-back below the ceiling goes away from the contact.
        {"fast mover", true, 0.0f, 100.0f, 0.0f, 1.0f,
         {{&a, "damage", {}, 6.0f, &b}, {&b, "damage", {}, 0.666667f, &a}, {&a, "add", {-2.17f, 0, 0}, 0, nullptr}}},
        // Within its speed: the stationary factor (0.5). Its length |V| + speed = 4.17 is past the
        // ceiling 3: the velocity becomes 3 along (U + V) = (-0.17, 0, 0).
        {"slow mover at its ceiling", true, 5.0f, 3.0f, 0.0f, 1.0f,
         {{&a, "damage", {}, 3.0f, &b}, {&b, "damage", {}, 0.666667f, &a}, {&a, "set", {-3.0f, 0, 0}, 0, nullptr}}},
        // An energy equal to the threshold deals nothing; a huge one is delivered as 500000.
        {"threshold", true, 0.0f, 100.0f, 6.0f, 1.0f,
         {{&b, "damage", {}, 0.666667f, &a}, {&a, "add", {-2.17f, 0, 0}, 0, nullptr}}},
        {"ceiling", true, 0.0f, 100.0f, 0.0f, 1e6f,
         {{&a, "damage", {}, 500000.0f, &b}, {&b, "damage", {}, 0.666667f, &a}, {&a, "add", {-2.17f, 0, 0}, 0, nullptr}}},
        // The second object runs into the first, which stays: roles exchanged.
        {"second mover", false, 5.0f, 100.0f, 0.0f, 1.0f,
         {{&a, "damage", {}, 6.0f, &b}, {&b, "damage", {}, 0.333333f, &a}, {&b, "add", {2.17f, 0, 0}, 0, nullptr}}},
    };
    for (const Row& row : rows) {
        calls.clear();
        Body& mover = row.firstResponds ? one : two;
        one.moveAlongX(row.firstResponds ? 2.0f : 0.0f);
        two.moveAlongX(row.firstResponds ? 0.0f : -2.0f);
        one.movable = row.firstResponds;
        two.movable = !row.firstResponds;
        mover.maxVelocity = row.maxVelocity;
        mover.maxKnockbackVelocity = row.maxKnockback;
        mover.energyToDamageStationary = 0.5f;
        one.damageThreshold = row.threshold;
        one.energyToDamage = row.energyToDamage;
        solve();
        SCOPED_TRACE(row.what);
        expectCalls(row.expected, calls);
    }

    // A change whose components sum to zero counts as no change, however hard the hit.
    calls.clear();
    one.movable = 1;
    two.movable = 0;
    one.direction.set(std::sqrt(0.5f), -std::sqrt(0.5f), 0.0f);
    one.speed = 7.0f;
    two.speed = 0.0f;
    one.maxKnockbackVelocity = 100.0f;
    solve();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("add", calls[0].what);
}

TEST_F(SolverTest, DeadObstaclesStopOrSlowWhatRunsIntoThemByTheirPassThrough)
{
    // The second object runs at the dead first one; no boost, the push first, then the rule.
    struct Row {
        uint32_t passThru;
        float obstacleMass, moverMass, moverVelocity;
        bool obstacleIsFirst;
        bool pushed;
        bool finalSet;
        Vector3 finalVelocity;
    };
    const Row rows[] = {
        {2, 3.0f, 1.0f, -2.0f, true, true, true, {0.0f, 0.0f, 0.0f}},
        {1, 4.0f, 1.0f, -2.0f, true, true, true, {-0.5f, 0.0f, 0.0f}},  // light: keeps 1/4
        {1, 1.0f, 4.0f, -2.0f, true, true, true, {-1.5f, 0.0f, 0.0f}},  // heavy: keeps 1 - 1/4
        {0, 1.0f, 4.0f, -2.0f, true, true, false, {}},
        {2, 3.0f, 1.0f, 2.0f, true, false, false, {}},                   // moving away
        {2, 3.0f, 1.0f, 2.0f, false, true, true, {0.0f, 0.0f, 0.0f}},   // the second is the obstacle
    };
    for (const Row& row : rows) {
        calls.clear();
        Body& obstacle = row.obstacleIsFirst ? one : two;
        Body& mover = row.obstacleIsFirst ? two : one;
        obstacle.dead = true;
        mover.dead = false;
        obstacle.movable = 0;
        mover.movable = 1;
        obstacle.passThru = row.passThru;
        obstacle.mass = row.obstacleMass;
        mover.mass = row.moverMass;
        obstacle.moveAlongX(0.0f);
        mover.moveAlongX(row.moverVelocity);
        one.damageThreshold = two.damageThreshold = 1e9f;
        solve();
        SCOPED_TRACE(row.passThru);
        Calls expected;
        if (row.pushed) expected.push_back({&mover, "add", Vector3(-row.moverVelocity, 0.0f, 0.0f), 0.0f, nullptr});
        if (row.finalSet) expected.push_back({&mover, "set", row.finalVelocity, 0.0f, nullptr});
        expectCalls(expected, calls);
    }
}

TEST_F(SolverTest, AFollowerOfAFollowOnlyPathNeitherPushesNorIsPushedByTheAssemblyCarryingIt)
{
    CGameObject* plain = world.make("TestActive", "plain");
    ASSERT_TRUE(world.pObjects->registerResourceManager(new ComponentManager(world.log, calls)));
    auto component = [this](CComponent* pParent) {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        world.pObjects->instantiateResource(0x04000000, CComponent::TYPE_SUB_COMPONENT, &handle);
        world.pObjects->acquireResource(handle, &pResource);
        auto* pBody = static_cast<ComponentBody*>(pResource);
        pBody->setParentComponent(pParent);
        pBody->position.set(1.0f, 0.0f, 0.0f);
        pBody->mass = 3.0f;
        return pBody;
    };
    ComponentBody* top = component(nullptr);
    ComponentBody* turret = component(top);
    ComponentBody* gun = component(turret);
    ComponentBody* stranger = component(nullptr);

    CPathMgr* pPaths = getProjData().getWorldMgr()->getPathMgr();
    const SWaypoint followOnly[] = {{Vector3(), 1}, {Vector3(), 0}};
    const int32_t onTurret = pPaths->addPath(turret->getResourceHandle(), followOnly, 2);
    const int32_t onPlain = pPaths->addPath(plain->getResourceHandle(), followOnly, 2);

    struct Row {
        const char* what;
        uint32_t followerType;
        int32_t path;
        uint32_t waypoint;
        CGameObject* pOther;
        bool otherPushed;
    };
    const Row rows[] = {
        {"the assembly's top", ANSWERING_ANIMAL, onTurret, 0, top, false},
        {"another part of the assembly", ANSWERING_ANIMAL, onTurret, 0, gun, false},
        {"another assembly", ANSWERING_ANIMAL, onTurret, 0, stranger, true},
        {"a path on no component", ANSWERING_ANIMAL, onPlain, 0, stranger, true},
        {"a waypoint that is not follow-only", 0x01000001, onTurret, 1, stranger, true},
        {"a follower that is no answering animal", 0x01000001, onTurret, 0, stranger, false},
    };
    for (const Row& row : rows) {
        calls.clear();
        Body follower{calls, row.followerType};
        follower.moveAlongX(2.0f);
        follower.damageThreshold = 1e9f;
        auto* pFollower = new CPathFollower;
        pFollower->follow(pPaths, row.path);
        pFollower->setTargetWaypoint(row.waypoint);
        follower.setPathFollower(pFollower);
        auto* pOther = static_cast<ComponentBody*>(row.pOther);
        pOther->damageThreshold = 1e9f;
        Vector3 normal(-1.0f, 0.0f, 0.0f);
        solveObjectInteraction(&follower, pOther, contactPoint, normal, 1.0f);
        SCOPED_TRACE(row.what);
        bool followerPushed = false, otherPushed = false;
        for (const Call& call : calls) {
            followerPushed = followerPushed || call.pObject == &follower;
            otherPushed = otherPushed || call.pObject == pOther;
        }
        EXPECT_EQ(row.otherPushed, otherPushed);
        EXPECT_EQ(row.waypoint == 1, followerPushed);
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
