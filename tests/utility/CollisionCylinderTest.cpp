#include "CollisionTestSupport.h"
#include "TestSupport.h"
#include <cmath>
#include <vector>

namespace {

using collisiontest::BoxHull;
using collisiontest::CollisionTest;
using collisiontest::expectNear;
using testsupport::countReports;

const float H = 0.70710678f;
const Vector3 UP(0, 0, 1);

using collisiontest::cylinder;

TEST_F(CollisionTest, CylinderPlaneSeparationDepths)
{
    // Standing just in and just clear; pointing down (the far end); parallel (the axis distance,
    // allowed up to the radius); tilted (the lowest rim point of the base, or of the far end when
    // the axis points down).
    const struct { Vector3 base, axis; bool touching; float depth; } cases[] = {{Vector3(0, 0, -0.0005f), UP, true, -0.0005f},
                 {Vector3(0, 0, 1), Vector3(0, 0, -1), true, -1.0f},
                 {Vector3(0, 0, 0.9f), Vector3(1, 0, 0), true, 0.9f},
                 {Vector3(0, 0, 1.1f), Vector3(1, 0, 0), false, 1.1f},
                 {Vector3(0, 0, 1), Vector3(H, 0, H), false, 1.0f - H},
                 {Vector3(0, 0, 2), Vector3(H, 0, -H), true, 2.0f - 3.0f * H}};
    for (const auto& c : cases) {
        float depth;
        EXPECT_EQ(c.touching, cylinderPlaneSeparation(cylinder(c.base, c.axis, 1, 2), UP, 0.0f, depth)) << c.base.z;
        EXPECT_NEAR(c.depth, depth, 1e-5f) << c.base.z;
    }
}

TEST_F(CollisionTest, CylinderStandingOnABoxPushesOutOfTheTop)
{
    Matrix3 turn;
    turn.setRotationZ(1.5707964f);
    BoxHull box(Vector3(2, 2, 1), Vector3(10, 0, 0), turn);
    int a = 0, b = 0;
    llist list;
    uint32_t plane = 99;
    Vector3 normal, point;
    ASSERT_TRUE(collideCylinderHull(cylinder(Vector3(10.5f, 0, 0.9995f), UP, 0.5f, 1.0f), box.hull, &a, &b, &list,
                                    plane, normal, point));
    EXPECT_EQ(4u, plane);  // +z
    expectNear(UP, normal);
    expectNear(Vector3(10, 0, 1), point);
    auto recs = records(list);
    ASSERT_EQ(1u, recs.size());
    expectNear(Vector3(10, 0, 1), recs[0]->point);
    EXPECT_EQ(std::make_pair(static_cast<void*>(&a), static_cast<void*>(&b)), std::make_pair(recs[0]->objectA, recs[0]->objectB));

    // Lifted clear: separated, and the caller's list is freed.
    EXPECT_FALSE(collideCylinderHull(cylinder(Vector3(10.5f, 0, 1.2f), UP, 0.5f, 1.0f), box.hull, &a, &b, &list,
                                     plane, normal, point));
    EXPECT_TRUE(list.Empty());
}

TEST_F(CollisionTest, CylinderHullRecordsLeadWhenDeeper)
{
    // Planes: A z <= 0, B x <= 0, C z >= -1. The cylinder stands on A and overlaps B's side.
    Vector3 normals[3] = {UP, Vector3(1, 0, 0), Vector3(0, 0, -1)};
    float distances[3] = {0, 0, -1};
    CollisionHull hull{Vector3(), Matrix3(), 3, normals, distances, nullptr};
    const CollisionCylinder cyl = cylinder(Vector3(0.3f, 0, -0.0005f), UP, 0.5f, 2.0f);
    llist list;
    uint32_t plane;
    Vector3 normal, point;
    ASSERT_TRUE(collideCylinderHull(cyl, hull, nullptr, nullptr, &list, plane, normal, point));
    EXPECT_EQ(0u, plane);
    auto recs = records(list);
    ASSERT_EQ(3u, recs.size());
    expectNear(Vector3(1, 0, 0), recs[0]->normal);  // B, deeper than A's best: at the head
    expectNear(UP, recs[1]->normal);                // A
    expectNear(Vector3(0, 0, -1), recs[2]->normal);  // C, not deeper: at the tail
    expectNear(Vector3(0, 0, -1), recs[2]->point);
    freeIntersectionList(&list);
}

TEST_F(CollisionTest, CylinderHullWithoutAChosenPlaneIsNoContact)
{
    uint32_t plane = 77;
    Vector3 normal(9, 9, 9), point;
    llist list;
    CollisionHull empty{Vector3(), Matrix3(), 0, nullptr, nullptr, nullptr};
    EXPECT_FALSE(collideCylinderHull(cylinder(Vector3(), UP, 1, 1), empty, nullptr, nullptr, &list, plane, normal,
                                     point));
    EXPECT_EQ(std::make_pair(77u, 1), std::make_pair(plane, countReports("collidePlane != 0xffffffff")));

    // Touching within 0.001 but never below 1e-6: records were made, and are released again.
    Vector3 normals[1] = {UP};
    float distances[1] = {0};
    CollisionHull floor{Vector3(), Matrix3(), 1, normals, distances, nullptr};
    EXPECT_FALSE(collideCylinderHull(cylinder(Vector3(0, 0, 0.0005f), UP, 1, 1), floor, nullptr, nullptr, &list,
                                     plane, normal, point));
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(9.0f, normal.x);

    EXPECT_EQ(2, countReports("collidePlane != 0xffffffff"));
}

TEST_F(CollisionTest, RayAlongTheCylinderAxis)
{
    const CollisionCylinder cyl = cylinder(Vector3(), UP, 1.0f, 2.0f);
    const Vector3 DOWN(0, 0, -1);
    // Toward the base exactly on the rim, and just past it; down onto the far cap; inside pointing
    // away from the base (t = 0 at the origin, normal -dir); inside pointing toward the base, which
    // lies ahead (the far cap, behind the origin), and the same outside; beyond the far end, leaving.
    const struct { Vector3 origin, dir; bool hit; float t; Vector3 point, normal; } cases[] = {{Vector3(1, 0, -5), UP, true, 5.0f, Vector3(1, 0, 0), DOWN},
                 {Vector3(1.01f, 0, -5), UP, false, 0.0f, {}, {}},
                 {Vector3(0.5f, 0, 7), DOWN, true, 5.0f, Vector3(0.5f, 0, 2), UP},
                 {Vector3(0.2f, 0, 1), UP, true, 0.0f, Vector3(0.2f, 0, 1), DOWN},
                 {Vector3(0.2f, 0, 1), DOWN, true, -1.0f, Vector3(0.2f, 0, 2), UP},
                 {Vector3(1.2f, 0, 1), DOWN, false, 0.0f, {}, {}},
                 {Vector3(0, 0, 3), UP, false, 0.0f, {}, {}}};
    for (const auto& c : cases) {
        float t;
        Vector3 point, normal;
        ASSERT_EQ(c.hit, rayCylinderIntersect(c.origin, c.dir, cyl, t, point, normal)) << c.origin.x << c.origin.z;
        if (!c.hit) continue;
        EXPECT_FLOAT_EQ(c.t, t);
        expectNear(c.point, point);
        expectNear(c.normal, normal);
    }
}

TEST_F(CollisionTest, ParallelCylinders)
{
    const CollisionCylinder first = cylinder(Vector3(), UP, 1.0f, 4.0f);
    // Side by side: pushed apart across the axes, the point in the middle of the overlap; stacked
    // end to end with a small overlap: pushed apart along the axis; clear beside and above.
    const struct { Vector3 base; bool hit; Vector3 normal, point; } cases[] = {{Vector3(1.5f, 0, 1), true, Vector3(-1, 0, 0), Vector3(0.75f, 0, 2.5f)},
                 {Vector3(0.2f, 0, 3.9f), true, Vector3(0, 0, -1), Vector3(0.1f, 0, 3.95f)},
                 {Vector3(2.5f, 0, 1), false, {}, {}}};
    for (const auto& c : cases) {
        Vector3 point, normal;
        ASSERT_EQ(c.hit, cylinderCylinderIntersect(first, cylinder(c.base, UP, 1.0f, 4.0f), point, normal)) << c.base.x;
        if (!c.hit) continue;
        expectNear(c.normal, normal);
        expectNear(c.point, point);
    }
}

}  // namespace
