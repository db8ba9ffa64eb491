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
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Log;
const float NaN = std::numeric_limits<float>::quiet_NaN();

// A body moving along x (or as the test turns it), logging what the solver does to it:
// "<name> add|set x y z" and "<name> damage energy", to two decimals.
template <class Base>
class BodyOf : public Base {
public:
    BodyOf(Log& log, const char* name, uint32_t type = 0x01000001) : Base(type), d_log(log), d_name(name)
    {
        this->health = 100;
    }
    const char* getTypeName() const override { return "Body"; }
    void update(int) override {}
    void interact(CGameObject*) override {}
    bool think(int) override { return false; }
    void render() override {}
    void prepareAsReplica() override {}
    bool isStaticObject() override { return false; }
    bool GetCurrentPosition(Vector3* p) override { return *p = position, true; }
    bool GetCurrentDirection(Vector3* d) override { return *d = direction, true; }
    bool GetCurrentSpeed(float* s) override { return *s = speed, true; }
    void addVelocity(const Vector3& v) override { note("add", v); }
    void setVelocity(const Vector3& v) override { note("set", v); }
    void applyDamage(float energy, CGameObject*) override
    {
        char text[64];
        snprintf(text, sizeof text, "%s damage %.2f", d_name, energy);
        d_log.push_back(text);
    }
    bool isDead() override { return dead; }
    void moveAlongX(float velocity)
    {
        direction.set(velocity < 0.0f ? -1.0f : 1.0f, 0.0f, 0.0f);
        speed = std::fabs(velocity);
    }

    Vector3 position, direction{1.0f, 0.0f, 0.0f};
    float speed = 0.0f;
    bool dead = false;

private:
    void note(const char* what, const Vector3& v)
    {
        char text[96];
        snprintf(text, sizeof text, "%s %s %.2f %.2f %.2f", d_name, what, v.x + 0.0f, v.y + 0.0f, v.z + 0.0f);
        d_log.push_back(text);
    }
    Log& d_log;
    const char* d_name;
};
typedef BodyOf<CGameObject> Body;
typedef BodyOf<CComponent> Part;

class PartManager : public testkinds::LoggingManager {
public:
    PartManager(testkinds::CallLog& log, Log& calls) : LoggingManager(0x04000000, log), d_calls(calls) {}

protected:
    CResource* makeResource(uint32_t typeId) override { return new Part(d_calls, "part", typeId); }

private:
    Log& d_calls;
};

// "one" at the origin runs at 2 along x into "two" at x = 1, three times heavier; the contact at
// x = 0.5 has the normal -x.
class SolverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 3; ++i) getProjData().getWorldMgr()->advanceFrame();
        two.position.set(1.0f, 0.0f, 0.0f);
        two.mass = 3.0f;
        one.moveAlongX(2.0f);
    }
    Log solve(CGameObject* pFirst, CGameObject* pSecond, Vector3 normal = Vector3(-1.0f, 0.0f, 0.0f),
              float value = 1.0f)
    {
        calls.clear();
        solveObjectInteraction(pFirst, pSecond, Vector3(0.5f, 0.0f, 0.0f), normal, value);
        return calls;
    }
    Log solve() { return solve(&one, &two); }

    testkinds::World world;
    Log calls;
    Body one{calls, "one"};
    Body two{calls, "two"};
};

TEST_F(SolverTest, GatesEndTheCallButAnObjectAtZeroHealthIsFinishedOffFirst)
{
    two.movable = one.movable = 0;
    EXPECT_EQ(Log{}, solve());
    one.movable = 1;
    EXPECT_EQ(Log{}, solve(&one, &two, Vector3(-1.0f, 0.0f, 0.0f), -1.0f));
    EXPECT_EQ(Log{}, solve(&one, &two, Vector3(-1.0f, 0.0f, 0.0f), NaN));
    one.speed = 0.1f;
    EXPECT_EQ(Log{}, solve());

    two.health = 0;
    EXPECT_EQ(Log{"two damage 10000.00"}, solve());
    one.health = -5;
    EXPECT_EQ(Log{"one damage 10000.00"}, solve());

    // The level's first three frames settle nothing.
    delete getProjData().pWorldMgr;
    getProjData().pWorldMgr = new CWorldMgr;
    getProjData().pWorldMgr->advanceFrame();
    getProjData().pWorldMgr->advanceFrame();
    EXPECT_EQ(Log{}, solve());
    solve(&one, nullptr);
    EXPECT_EQ(1, testsupport::countReports("pObj1 && pObj2"));
}

TEST_F(SolverTest, BothRespondingSplitTheBoostedChangeByMassWithinTheirCeilings)
{
    // Changes 1.05 x (m2/m1) x (W2 - W1) = (-6.3, 0, 0) and (0.7, 0, 0), boosted by 1.085; the
    // lighter first object keeps a third of its own, the heavier second two thirds of its own.
    two.damageThreshold = 1.0f;
    EXPECT_EQ((Log{"one damage 6.30", "one add -2.28 0.00 0.00", "two add 0.51 0.00 0.00"}), solve());
    // Equal masses: the whole share goes to the first.
    two.mass = 1.0f;
    EXPECT_EQ((Log{"one damage 2.10", "two damage 2.10", "one add -2.28 0.00 0.00"}), solve());

    // A non-finite normal becomes the line between the collision centres; past its ceiling the
    // first object's velocity becomes one of the ceiling's length.
    two.mass = 3.0f;
    one.damageThreshold = two.damageThreshold = 100.0f;
    one.maxKnockbackVelocity = 0.1f;
    CCollisionPoint centre1, centre2;
    centre1.pCentre = &one.position;
    centre2.pCentre = &two.position;
    one.pCollisionObject = &centre1;
    two.pCollisionObject = &centre2;
    EXPECT_EQ((Log{"one set -0.10 0.00 0.00", "two add 0.51 0.00 0.00"}), solve(&one, &two, Vector3(NaN, 0.0f, 0.0f)));
    Vector3 normal(0.0f, NaN, 0.0f);
    two.position = one.position;
    solveObjectInteraction(&one, &two, Vector3(), normal, 1.0f);
    EXPECT_EQ(1.0f, normal.z);
}

TEST_F(SolverTest, OneRespondingTakesTheWholeChangeAndIsHurtByHowFastItRan)
{
    struct Row {
        const char* what;
        bool firstMoves;
        float maxVelocity, maxKnockback, threshold, energyToDamage;  // of the mover; the last two of one
        Log expected;
    };
    const Row rows[] = {
        // Faster than it may run: its running factor, 6 = 1 x |(-2, 0, 0)| x 3/1; the other 1 x 2 x 1/3.
        {"fast", true, 0.0f, 100.0f, 0.0f, 1.0f, {"one damage 6.00", "two damage 0.67", "one add -2.17 0.00 0.00"}},
        // Within it: the stationary factor 0.5; |V| + speed = 4.17 is past the ceiling 3.
        {"slow", true, 5.0f, 3.0f, 0.0f, 1.0f, {"one damage 3.00", "two damage 0.67", "one set -3.00 0.00 0.00"}},
        // An energy equal to the threshold deals nothing; a huge one is delivered as 500000.
        {"threshold", true, 0.0f, 100.0f, 6.0f, 1.0f, {"two damage 0.67", "one add -2.17 0.00 0.00"}},
        {"ceiling", true, 0.0f, 100.0f, 0.0f, 1e6f,
         {"one damage 500000.00", "two damage 0.67", "one add -2.17 0.00 0.00"}},
        {"second moves", false, 5.0f, 100.0f, 0.0f, 1.0f,
         {"one damage 6.00", "two damage 0.33", "two add 2.17 0.00 0.00"}},
    };
    for (const Row& row : rows) {
        Body& mover = row.firstMoves ? one : two;
        one.moveAlongX(row.firstMoves ? 2.0f : 0.0f);
        two.moveAlongX(row.firstMoves ? 0.0f : -2.0f);
        one.movable = row.firstMoves;
        two.movable = !row.firstMoves;
        mover.maxVelocity = row.maxVelocity;
        mover.maxKnockbackVelocity = row.maxKnockback;
        mover.energyToDamageStationary = 0.5f;
        one.damageThreshold = row.threshold;
        one.energyToDamage = row.energyToDamage;
        EXPECT_EQ(row.expected, solve()) << row.what;
    }
    // A change whose components sum to zero counts as no change for damage, however hard the hit.
    one.movable = 1;
    two.movable = 0;
    one.direction.set(std::sqrt(0.5f), -std::sqrt(0.5f), 0.0f);
    one.speed = 7.0f;
    two.speed = 0.0f;
    EXPECT_EQ(Log{"one add -5.37 5.37 0.00"}, solve());
}

TEST_F(SolverTest, ADeadObstacleStopsOrSlowsWhatRunsIntoItByItsPassThrough)
{
    struct Row {
        uint32_t passThru;
        float obstacleMass, moverMass, moverVelocity;
        bool obstacleFirst;
        Log expected;
    };
    const Row rows[] = {
        {2, 3.0f, 1.0f, -2.0f, true, {"two add 2.00 0.00 0.00", "two set 0.00 0.00 0.00"}},
        {1, 4.0f, 1.0f, -2.0f, true, {"two add 2.00 0.00 0.00", "two set -0.50 0.00 0.00"}},  // keeps 1/4
        {1, 1.0f, 4.0f, -2.0f, true, {"two add 2.00 0.00 0.00", "two set -1.50 0.00 0.00"}},  // keeps 3/4
        {0, 1.0f, 4.0f, -2.0f, true, {"two add 2.00 0.00 0.00"}},
        {2, 3.0f, 1.0f, 2.0f, true, {}},  // moving away
        {2, 3.0f, 1.0f, 2.0f, false, {"one add -2.00 0.00 0.00", "one set 0.00 0.00 0.00"}},
    };
    for (const Row& row : rows) {
        Body& obstacle = row.obstacleFirst ? one : two;
        Body& mover = row.obstacleFirst ? two : one;
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
        EXPECT_EQ(row.expected, solve()) << row.passThru << " " << row.moverVelocity;
    }
}

TEST_F(SolverTest, AFollowerOfAFollowOnlyPathNeitherPushesNorIsPushedByTheAssemblyCarryingIt)
{
    CGameObject* plain = world.make("TestActive", "plain");
    ASSERT_TRUE(world.pObjects->registerResourceManager(new PartManager(world.log, calls)));
    auto part = [this](CComponent* pParent) {
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        world.pObjects->instantiateResource(0x04000000, CComponent::TYPE_SUB_COMPONENT, &handle);
        world.pObjects->acquireResource(handle, &pResource);
        auto* pPart = static_cast<Part*>(pResource);
        pPart->setParentComponent(pParent);
        pPart->position.set(1.0f, 0.0f, 0.0f);
        pPart->mass = 3.0f;
        pPart->damageThreshold = 1e9f;
        return pPart;
    };
    Part* top = part(nullptr);
    Part* turret = part(top);
    Part* gun = part(turret);
    Part* stranger = part(nullptr);
    CPathMgr* pPaths = getProjData().getWorldMgr()->getPathMgr();
    const SWaypoint waypoints[] = {{Vector3(), 1}, {Vector3(), 0}};  // the first is follow-only
    const int32_t onTurret = pPaths->addPath(turret->getResourceHandle(), waypoints, 2);
    const int32_t onPlain = pPaths->addPath(plain->getResourceHandle(), waypoints, 2);

    struct Row {
        uint32_t followerType;
        int32_t path;
        uint32_t waypoint;
        Part* pOther;
        Log expected;
    };
    const Row rows[] = {
        {0x02000009, onTurret, 0, top, {}},
        {0x02000009, onTurret, 0, gun, {}},
        // The animal that could answer for itself cannot yet, so it is guarded as any other.
        {0x02000009, onTurret, 0, stranger, {}},
        {0x02000009, onPlain, 0, stranger, {}},
        {0x01000001, onTurret, 1, stranger, {"follower add -2.28 0.00 0.00", "part add 0.51 0.00 0.00"}},
        {0x01000001, onTurret, 0, stranger, {}},
    };
    for (const Row& row : rows) {
        Body follower{calls, "follower", row.followerType};
        follower.moveAlongX(2.0f);
        follower.damageThreshold = 1e9f;
        auto* pFollower = new CPathFollower;
        pFollower->follow(pPaths, row.path);
        pFollower->setTargetWaypoint(row.waypoint);
        follower.setPathFollower(pFollower);
        EXPECT_EQ(row.expected, solve(&follower, row.pOther)) << row.followerType << " " << row.waypoint;
    }
    EXPECT_TRUE(testsupport::reports().empty());
}

}  // namespace
