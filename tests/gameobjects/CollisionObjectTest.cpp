#include "gameobjects/CollisionHierarchy.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/CollisionServices.h"

#include "TestSupport.h"
#include "gamemanagement/GameMemoryManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

typedef CCollisionObjectResourceManager Manager;

TEST(CollisionObjectManager, KindsAreFoundByNameAndMadeAsCollisionResources)
{
    Manager manager;
    ASSERT_EQ(6u, manager.getNumDefinitions());
    for (uint32_t i = 0; i < 6; ++i) {
        resDef def;
        ASSERT_EQ(&def, manager.getDefinition(&def, i));
        const uint32_t typeId = def.typeId;
        uint32_t found = 0;
        EXPECT_TRUE(manager.findTypeByName(def.typeName, &found));
        EXPECT_EQ(typeId, found);
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        ASSERT_TRUE(manager.instantiate(typeId, &handle, 1)) << def.typeName;
        ASSERT_TRUE(manager.acquire(handle, &pResource));
        EXPECT_EQ(0x81000000u | i, handle);
        EXPECT_EQ(typeId, static_cast<CCollisionObject*>(pResource)->getCollisionType());
    }
    uint32_t found = 0;
    EXPECT_TRUE(manager.findTypeByName("collisionsphere", &found));
    // A type of another manager is refused with its report, an unknown one of this manager quietly.
    resourceHandle handle = 7;
    EXPECT_FALSE(manager.instantiate(0x82000001, &handle, 1));
    EXPECT_EQ(0u, handle);
    EXPECT_EQ(1, testsupport::countReports("( typeId&CResourceManager::MASK_MANAGER )==getResourceManagerId()"));
    EXPECT_FALSE(manager.instantiate(0x81000002, &handle, 1));
    EXPECT_EQ(1u, testsupport::reports().size());
}

TEST(CollisionObjectManager, HandlesGoStaleAndWrapAndSlotsPastTheTableAreRefused)
{
    Manager manager;
    resourceHandle first = 0, handle = 0;
    CResource* pResource = nullptr;
    ASSERT_TRUE(manager.instantiate(Manager::COLLISION_POINT, &first, 1));
    handle = first;
    for (uint32_t round = 1; round <= 16; ++round) {
        manager.release(handle);
        EXPECT_FALSE(manager.acquire(handle, &pResource));
        ASSERT_TRUE(manager.instantiate(Manager::COLLISION_POINT, &handle, 1));
        EXPECT_EQ(round & 0xF, CResourceManager::handleReuse(handle));
    }
    EXPECT_EQ(first, handle);
    EXPECT_TRUE(testsupport::reports().empty());

    EXPECT_FALSE(manager.acquire(0x81000000u | Manager::MAX_COLLISION_OBJECTS, &pResource));
    manager.release(0x810FFFFFu);
    EXPECT_EQ(2, testsupport::countReports("slot < d_capacity"));
    EXPECT_FALSE(manager.acquire(0x82000000u, &pResource));
    EXPECT_EQ(1, testsupport::countReports("(resourceHandle & MASK_MANAGER) == getResourceManagerId()"));
    EXPECT_EQ(1u, manager.getNumLive());
    delete new Manager;  // the pool stays the first manager's
    EXPECT_NE(nullptr, intersectionMemoryManager);
}

TEST(CollisionObject, CentresAndGroundBoxTests)
{
    Vector3 at(100.0f, 50.0f, 7.0f), direction(1.0f, 0.0f, 0.0f), centre;
    CCollisionSphere sphere;
    EXPECT_FALSE(sphere.testBox2D(0, 0, 1000, 1000, 0));  // not placed yet
    sphere.pCentre = &at, sphere.radius = 10.0f;
    CCollisionPoint point;
    point.pCentre = &at;
    CCollisionFiniteRay ray;
    ray.pStart = &at, ray.pDirection = &direction, ray.length = 40.0f;

    ASSERT_TRUE(ray.getCentre(&centre));
    EXPECT_EQ(120.0f, centre.x);

    struct Case {
        const CCollisionObject* shape;
        float x0, y0, x1, y1, margin;
        bool meets;
    };
    const Case cases[] = {
        {&sphere, 115, 40, 200, 60, 0, false},   // 15 beyond the rim
        {&sphere, 115, 40, 200, 60, 5, true},    // the margin reaches it
        {&sphere, 200, 60, 109, 40, 0, true},    // corners either way round
        {&sphere, 108, 58, 200, 200, 0, false},  // the box's corner lies outside the circle
        {&point, 100, 50, 100, 50, 0, true},    {&point, 101, 40, 200, 60, 0.5f, false},
        {&ray, 135, 40, 200, 60, 0, true},      {&ray, 141, 40, 200, 60, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.meets, c.shape->testBox2D(c.x0, c.y0, c.x1, c.y1, c.margin)) << c.shape->getTypeName() << c.x0;
    Vector3 p, n;
    EXPECT_FALSE(sphere.test(&point, &p, &n, 0));
}

// Every pair of shapes, both ways round, static and moving. The second shape of a row stands at the
// origin; the first touches it at `touch` with `point` the contact and `normal` (from the second
// toward the first) the way out. Rays take no time: their moving tests answer where they stand.
TEST(CollisionObject, EveryPairMeetsThroughOneDispatchBothWaysRoundStaticAndMoving)
{
    Vector3 firstAt, secondAt, x(1, 0, 0);
    CCollisionSphere sphere, small, inHierarchy, farInHierarchy;  // radius 100 at the origin, 60 first
    sphere.pCentre = &secondAt, sphere.radius = 100;
    small.pCentre = &firstAt, small.radius = 60;
    CCollisionFiniteRay ray;  // along x, its end touching at the touch position
    ray.pStart = &firstAt, ray.pDirection = &x, ray.length = 200;
    CCollisionCylinder upright, standing;  // along z, radius 100, 100 high, centred on the position
    upright.pCentre = &secondAt, standing.pCentre = &firstAt;
    upright.radius = upright.height = standing.radius = standing.height = 100;
    Vector3 far(1000, 0, 0);
    inHierarchy.pCentre = &secondAt, farInHierarchy.pCentre = &far;
    inHierarchy.radius = farInHierarchy.radius = 100;
    CCollisionSphere* const members[] = {&inHierarchy, &farInHierarchy};
    const uint32_t ids[] = {1, 2};
    std::unique_ptr<CCollisionHierarchy> hierarchy(CCollisionHierarchy::build(members, ids, 2, 1));
    ASSERT_NE(nullptr, hierarchy);

    struct Row {
        CCollisionObject *first, *second;
        Vector3 touch, point, normal;
        bool timeless;
    };
    const Row rows[] = {
        {&small, &sphere, Vector3(160, 0, 0), Vector3(100, 0, 0), Vector3(1, 0, 0), false},
        {&ray, &sphere, Vector3(-300, 0, 0), Vector3(-100, 0, 0), Vector3(-1, 0, 0), true},
        {&small, &upright, Vector3(0, 160, 0), Vector3(0, 100, 0), Vector3(0, 1, 0), false},
        {&ray, &upright, Vector3(-300, 0, 0), Vector3(-100, 0, 0), Vector3(-1, 0, 0), true},
        {&standing, &upright, Vector3(0, 200, 0), Vector3(0, 100, 0), Vector3(0, 1, 0), false},
        {&small, hierarchy.get(), Vector3(0, 0, -160), Vector3(0, 0, -100), Vector3(0, 0, -1), false},
        {&ray, hierarchy.get(), Vector3(-300, 0, 0), Vector3(-100, 0, 0), Vector3(-1, 0, 0), true},
        {&standing, hierarchy.get(), Vector3(-200, 0, 0), Vector3(-100, 0, 0), Vector3(-1, 0, 0), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.first->getTypeName()) + " / " + row.second->getTypeName());
        CCollisionObject *a = row.first, *b = row.second;
        Vector3 point, normal, backPoint, backNormal;
        float time = -1, backTime = -1;
        // Asks both ways round: the same contact (a resting pair is tested where the relative
        // movement ends, a little apart), the normal turned round.
        const auto both = [&](const Vector3& at, const Vector3* pMotionA = nullptr, const Vector3& motionB = {}) {
            firstAt = at;
            const bool hit = pMotionA ? a->testMoving(b, *pMotionA, motionB, &point, &normal, &time)
                                      : a->test(b, &point, &normal, 0);
            const bool back = pMotionA ? b->testMoving(a, motionB, *pMotionA, &backPoint, &backNormal, &backTime)
                                       : b->test(a, &backPoint, &backNormal, 0);
            EXPECT_EQ(hit, back);
            if (hit && back) {
                EXPECT_TRUE(testsupport::near(point, backPoint, 0.05f));
                EXPECT_TRUE(testsupport::near(normal.negated(), backNormal, 1e-4f));
                if (pMotionA) { EXPECT_EQ(time, backTime); }
            }
            return hit;
        };
        const Vector3 deep = row.touch - row.normal * 20;

        // Static: a hit 20 deep, a miss 1 clear.
        ASSERT_TRUE(both(deep));
        EXPECT_TRUE(testsupport::near(row.point, point, 20.0f));
        EXPECT_GT(normal.dot(row.normal), 0.99f);
        const Vector3 staticPoint = point, staticNormal = normal;
        EXPECT_FALSE(both(row.touch + row.normal));

        // Resting: the static answer at time 0.
        const Vector3 creep(0.01f, 0.01f, 0);
        ASSERT_TRUE(both(deep, &creep));
        EXPECT_TRUE(testsupport::near(staticPoint, point, 0.05f));
        EXPECT_TRUE(testsupport::near(staticNormal, normal, 1e-3f));
        EXPECT_EQ(0.0f, time);

        // From 200 out, 250 in: touching at 0.8 of the step; 199 in stops just short.
        const Vector3 in = row.normal * -250, shortIn = row.normal * -199, half = in * 0.5f;
        if (row.timeless) {
            ASSERT_TRUE(both(deep, &in));
            EXPECT_TRUE(testsupport::near(staticPoint, point, 1e-3f));
            EXPECT_EQ(0.0f, time);
            EXPECT_FALSE(both(row.touch + row.normal, &in));
            continue;
        }
        const Vector3 out = row.touch + row.normal * 200;
        ASSERT_TRUE(both(out, &in));
        EXPECT_NEAR(0.8f, time, 1e-3f);
        EXPECT_TRUE(testsupport::near(row.point, point, 0.5f));
        EXPECT_GT(normal.dot(row.normal), 0.99f);
        EXPECT_FALSE(both(out, &shortIn));
        // Both moving, half each: the contact is where the second stands by then.
        const Vector3 halfBack = half.negated();
        ASSERT_TRUE(both(out, &half, halfBack));
        EXPECT_NEAR(0.8f, time, 1e-3f);
        EXPECT_TRUE(testsupport::near(row.point + row.normal * 100, point, 0.5f));
    }

    // Pairs without a test, overlapping: a hull carries no planes, a point has no test, two rays
    // and two hierarchies do not meet.
    CCollisionConvexHull hull;
    hull.pCentre = &secondAt;
    CCollisionPoint point;
    point.pCentre = &secondAt;
    CCollisionFiniteRay across;
    Vector3 y(0, 1, 0), below(0, -100, 0);
    across.pStart = &below, across.pDirection = &y, across.length = 200;
    firstAt = Vector3();
    CCollisionObject* const shapes[] = {&small, &ray, &standing, &hull, hierarchy.get(), &point};
    const Vector3 still;
    for (CCollisionObject* a : shapes)
        for (CCollisionObject* b : {static_cast<CCollisionObject*>(&hull), static_cast<CCollisionObject*>(&point)}) {
            Vector3 p, n;
            EXPECT_FALSE(a->test(b, &p, &n, 0) || b->test(a, &p, &n, 0)) << a->getTypeName();
            EXPECT_FALSE(a->testMoving(b, still, still, &p, &n) || b->testMoving(a, still, still, &p, &n));
        }
    Vector3 p, n;
    EXPECT_FALSE(ray.test(&across, &p, &n, 0) || ray.testMoving(&across, still, still, &p, &n));
    EXPECT_FALSE(hierarchy->test(hierarchy.get(), &p, &n, 0));
}

}  // namespace

// A move across a hierarchy meets the sphere it reaches first, whichever order the spheres are in.
TEST(CollisionObject, AMoveAcrossAHierarchyMeetsTheSphereItReachesFirst)
{
    Vector3 origin, far(1000, 0, 0), start(-500, 0, 0);
    CCollisionSphere nearer, further, mover;
    nearer.pCentre = &origin, further.pCentre = &far, mover.pCentre = &start;
    nearer.radius = further.radius = 100, mover.radius = 60;
    CCollisionSphere* const members[] = {&further, &nearer};
    const uint32_t ids[] = {1, 2};
    std::unique_ptr<CCollisionHierarchy> hierarchy(CCollisionHierarchy::build(members, ids, 2, 1));
    ASSERT_NE(nullptr, hierarchy);
    const Vector3 across(2000, 0, 0);
    Vector3 point, normal;
    float time = -1;
    ASSERT_TRUE(mover.testMoving(hierarchy.get(), across, Vector3(), &point, &normal, &time));
    EXPECT_NEAR(0.17f, time, 1e-3f);  // 340 of the 2,000 to touch the nearer sphere
    EXPECT_TRUE(testsupport::near(Vector3(-100, 0, 0), point, 0.5f));
    EXPECT_GT(normal.dot(Vector3(-1, 0, 0)), 0.99f);
    ASSERT_TRUE(hierarchy->testMoving(&mover, Vector3(), across, &point, &normal, &time));
    EXPECT_NEAR(0.17f, time, 1e-3f);
    EXPECT_GT(normal.dot(Vector3(1, 0, 0)), 0.99f);
}
