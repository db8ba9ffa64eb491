#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/CollisionServices.h"

#include "TestSupport.h"
#include "gamemanagement/GameMemoryManager.h"

#include <gtest/gtest.h>

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

}  // namespace
