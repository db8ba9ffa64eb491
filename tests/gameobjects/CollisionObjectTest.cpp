#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionObjectResourceManager.h"
#include "gameobjects/CollisionServices.h"

#include "TestSupport.h"
#include "gamemanagement/GameMemoryManager.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

typedef CCollisionObjectResourceManager Manager;

TEST(CollisionObjectManager, KindsAreFoundByNameAndMadeAsCollisionResources)
{
    struct Row {
        uint32_t typeId;
        const char* name;
    };
    const Row rows[] = {{0x81000001, "CollisionSphere"},        {Manager::COLLISION_FINITE_RAY, "CollisionFiniteRay"},
                        {Manager::COLLISION_CYLINDER, "CollisionCylinder"},
                        {Manager::COLLISION_CONVEX_HULL, "CollisionConvexHull"},
                        {0x8100000a, "CollisionSimpleHierarchy"}, {0x8100000e, "CollisionPoint"}};
    Manager manager;
    EXPECT_EQ(0x81000000u, manager.getResourceManagerId());
    ASSERT_EQ(6u, manager.getNumDefinitions());
    for (uint32_t i = 0; i < 6; ++i) {
        const Row& row = rows[i];
        resDef def;
        ASSERT_EQ(&def, manager.getDefinition(&def, i));
        EXPECT_EQ(row.typeId, def.typeId);
        EXPECT_STREQ(row.name, def.typeName);
        uint32_t typeId = 0;
        std::string lower(row.name);
        for (char& c : lower) c = static_cast<char>(tolower(c));
        EXPECT_TRUE(manager.findTypeByName(lower.c_str(), &typeId));
        EXPECT_EQ(row.typeId, typeId);

        resourceHandle handle = 0;
        ASSERT_TRUE(manager.instantiate(row.typeId, &handle, 1)) << row.name;
        EXPECT_EQ(0x81000000u | i, handle);
        CResource* pResource = nullptr;
        ASSERT_TRUE(manager.acquire(handle, &pResource));
        EXPECT_EQ(CResource::RESOURCETYPE_COLLISIONOBJECT, pResource->getResourceType());
        EXPECT_STREQ(row.name, pResource->getTypeName());
        EXPECT_EQ(row.typeId, static_cast<CCollisionObject*>(pResource)->getCollisionType());
        EXPECT_EQ(handle, pResource->getResourceHandle());
    }
    EXPECT_EQ(nullptr, manager.getDefinition(nullptr, 6));
    EXPECT_EQ(1, testsupport::countReports("index < NUM_COLLISION_TYPES"));

    // A type of another manager is refused with its report; an unknown number of this one quietly.
    resourceHandle handle = 7;
    EXPECT_FALSE(manager.instantiate(0x82000001, &handle, 1));
    EXPECT_EQ(0u, handle);
    EXPECT_EQ(1, testsupport::countReports("( typeId&CResourceManager::MASK_MANAGER )==getResourceManagerId()"));
    EXPECT_FALSE(manager.instantiate(0x81000002, &handle, 1));
    EXPECT_EQ(2u, testsupport::reports().size());
    EXPECT_EQ(6u, manager.getNumLive());
}

TEST(CollisionObjectManager, HandlesGoStaleOnReleaseAndSlotsPastTheTableAreRefused)
{
    Manager manager;
    resourceHandle first = 0, again = 0;
    ASSERT_TRUE(manager.instantiate(Manager::COLLISION_POINT, &first, 1));
    manager.release(first);
    CResource* pResource = nullptr;
    EXPECT_FALSE(manager.acquire(first, &pResource));
    ASSERT_TRUE(manager.instantiate(Manager::COLLISION_POINT, &again, 1));
    EXPECT_EQ(first | 0x00100000u, again);
    EXPECT_TRUE(testsupport::reports().empty());

    EXPECT_FALSE(manager.acquire(0x81000000u | Manager::MAX_COLLISION_OBJECTS, &pResource));
    EXPECT_EQ(nullptr, pResource);
    manager.release(0x810FFFFFu);
    EXPECT_EQ(2, testsupport::countReports("slot < d_capacity"));
    EXPECT_EQ(1u, manager.getNumLive());
}

TEST(CollisionObjectManager, TheFirstManagerOwnsTheIntersectionPool)
{
    ASSERT_EQ(nullptr, intersectionMemoryManager);
    {
        Manager first;
        ASSERT_NE(nullptr, intersectionMemoryManager);
        CGameMemoryManager* pool = intersectionMemoryManager;
        EXPECT_EQ(Manager::MAX_INTERSECTIONS, pool->blockCount());
        {
            Manager second;
            EXPECT_EQ(pool, intersectionMemoryManager);
        }
        EXPECT_EQ(pool, intersectionMemoryManager);
    }
    EXPECT_EQ(nullptr, intersectionMemoryManager);
}

TEST(CollisionObject, CentresAndGroundBoxTests)
{
    Vector3 at(100.0f, 50.0f, 7.0f), direction(1.0f, 0.0f, 0.0f), centre;
    CCollisionSphere sphere;
    EXPECT_FALSE(sphere.getCentre(&centre));
    EXPECT_FALSE(sphere.testBox2D(0, 0, 1000, 1000, 0));  // not placed yet
    sphere.pCentre = &at;
    sphere.radius = 10.0f;
    ASSERT_TRUE(sphere.getCentre(&centre));
    EXPECT_EQ(7.0f, centre.z);

    CCollisionPoint point;
    point.pCentre = &at;
    CCollisionFiniteRay ray;
    ray.pStart = &at;
    ray.pDirection = &direction;
    ray.length = 40.0f;
    ASSERT_TRUE(ray.getCentre(&centre));
    EXPECT_EQ(120.0f, centre.x);

    struct Case {
        const CCollisionObject* shape;
        float x0, y0, x1, y1, margin;
        bool meets;
    };
    const Case cases[] = {
        {&sphere, 115, 40, 200, 60, 0, false},  // 15 beyond the rim
        {&sphere, 115, 40, 200, 60, 5, true},   // the margin reaches it
        {&sphere, 200, 60, 109, 40, 0, true},   // corners either way round
        {&sphere, 108, 58, 200, 200, 0, false}, // the corner of the box lies outside the circle
        {&point, 100, 50, 100, 50, 0, true},
        {&point, 101, 40, 200, 60, 0.5f, false},
        {&ray, 135, 40, 200, 60, 0, true},      // inside the circle about the ray's middle
        {&ray, 141, 40, 200, 60, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.meets, c.shape->testBox2D(c.x0, c.y0, c.x1, c.y1, c.margin))
            << c.shape->getTypeName() << " " << c.x0 << "," << c.y0;

    // Shape tests against other shapes make no contact yet.
    Vector3 p, n;
    EXPECT_FALSE(sphere.test(&point, &p, &n, 0));
    EXPECT_FALSE(sphere.testMoving(&point, Vector3(), Vector3(), &p, &n));
}

}  // namespace
