#include "utility/CollisionTemporal.h"

#include "CollisionTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using collisiontest::BoxHull;
using collisiontest::expectNear;

class CollisionTemporalTest : public collisiontest::CollisionTest {};

CollisionCylinder cylinder(const Vector3& base, const Vector3& axis, float radius, float length)
{
    return CollisionCylinder{base, axis, radius, length};
}

// A hull of n planes: the six faces of a 2x2x2 box, repeated.
struct ManyPlaneHull {
    std::vector<Vector3> normals;
    std::vector<float> distances;
    CollisionHull hull;

    explicit ManyPlaneHull(uint32_t n) : normals(n), distances(n, -1.0f)
    {
        for (uint32_t i = 0; i < n; ++i)
            normals[i] = BoxHull::unit(int(i % 6) / 2, (i % 2) ? -1.0f : 1.0f);
        hull = CollisionHull{Vector3(), Matrix3(), n, normals.data(), distances.data(), nullptr};
    }
};

TEST(SweptIntervalTest, BranchesAsGiven)
{
    bool flag = false;
    float entry = 0.0f, exit = 0.0f;
    // Interval [0, 2]; the moving bounds start at 5 and 6 and end at 1 and 2: above it.
    sweptIntervalOverlap(2.0f, 0.0f, 5.0f, 6.0f, 1.0f, 2.0f, flag, entry, exit);
    EXPECT_TRUE(flag);
    EXPECT_FLOAT_EQ((2.0f - 5.0f) / (5.0f - 1.0f), entry);  // the bound with the smaller start
    EXPECT_FLOAT_EQ((0.0f - 5.0f) / (5.0f - 1.0f), exit);
    // Below the interval throughout: the bound with the larger start.
    sweptIntervalOverlap(0.0f, 2.0f, -6.0f, -5.0f, -1.0f, 0.5f, flag, entry, exit);
    EXPECT_FALSE(flag);
    EXPECT_FLOAT_EQ((0.0f + 5.0f) / (-5.0f - 0.5f), entry);
    EXPECT_FLOAT_EQ((2.0f + 5.0f) / (-5.0f - 0.5f), exit);
}

TEST(CylinderPlaneIntervalTest, EndsUnorderedWithTheRadiusOnTheFarEnd)
{
    // Along the normal, against it (the far end stays second), in the plane (the radius either
    // side), oblique at 60 degrees (k = 2/3).
    const struct {
        Vector3 axis;
        float first, second;
    } cases[] = {{Vector3(0, 0, 1), 2.0f, 6.0f},
                 {Vector3(0, 0, -1), 2.0f, -2.0f},
                 {Vector3(1, 0, 0), 1.0f, 3.0f},
                 {Vector3(std::sqrt(0.75f), 0.0f, 0.5f), 2.0f - 2.0f / 3.0f, 4.0f / 3.0f + 2.0f + 2.0f / 3.0f}};
    for (const auto& c : cases) {
        float first, second;
        cylinderPlaneInterval(cylinder(Vector3(0, 0, 3), c.axis, 1.0f, 4.0f), Vector3(0, 0, 1), -1.0f, first, second);
        EXPECT_NEAR(c.first, first, 1e-5f);
        EXPECT_NEAR(c.second, second, 1e-5f);
    }
}

TEST_F(CollisionTemporalTest, SphereSphereAtTheStartOrBarelyMoving)
{
    Vector3 point, normal;
    float time = -1.0f;
    // The swept cases are the property test's; these are the edges of the sweep.
    // Already overlapping at the start.
    ASSERT_TRUE(temporalSphereSphereIntersect(Vector3(0, 0, 0), Vector3(10, 0, 0), 1.0f, Vector3(0, 1, 0), 1.0f,
                                              point, normal, time));
    EXPECT_EQ(0.0f, time);

    // Negligible movement (0.03, squared 0.0009): the static test at the current position.
    time = -1.0f;
    ASSERT_TRUE(temporalSphereSphereIntersect(Vector3(0, 0, 0), Vector3(0.03f, 0, 0), 1.0f, Vector3(2, 0, 0), 1.0f,
                                              point, normal, time));
    EXPECT_EQ(0.0f, time);
    EXPECT_FALSE(temporalSphereSphereIntersect(Vector3(0, 0, 0), Vector3(0.03f, 0, 0), 1.0f, Vector3(2.1f, 0, 0),
                                               1.0f, point, normal, time));
    // 0.032 (squared just over 0.001) is swept: the sphere passes through a touching position.
    EXPECT_TRUE(temporalSphereSphereIntersect(Vector3(-2.02f, 0, 0), Vector3(-1.988f, 0, 0), 0.5f, Vector3(0, 0, 0),
                                              1.5f, point, normal, time));
}

TEST_F(CollisionTemporalTest, SweptSphereAgreesWithTheStaticTestAtTheReportedTime)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> pick(-10.0f, 10.0f);
    std::uniform_real_distribution<float> size(0.2f, 3.0f);
    int hits = 0;
    for (int i = 0; i < 3000; ++i) {
        const Vector3 from(pick(rng), pick(rng), pick(rng));
        const Vector3 to(pick(rng), pick(rng), pick(rng));
        const Vector3 fixed(pick(rng) * 0.3f, pick(rng) * 0.3f, pick(rng) * 0.3f);
        const float r1 = size(rng), r2 = size(rng);
        Vector3 point, normal, p, n;
        float time;
        if (sphereSphereIntersect(from, r1, fixed, r2, p, n))
            continue;  // touching from the start
        const bool hit = temporalSphereSphereIntersect(from, to, r1, fixed, r2, point, normal, time);
        // Closest approach of the path decides whether there is a touch at all.
        const Vector3 move = to - from;
        float s = (fixed - from).dot(move) / move.dot(move);
        s = std::max(0.0f, std::min(1.0f, s));
        const Vector3 closest = from + move * s;
        const float gap = std::sqrt((closest - fixed).dot(closest - fixed)) - (r1 + r2);
        if (std::fabs(gap) < 1e-3f)
            continue;  // grazing: either answer will do
        ASSERT_EQ(gap < 0.0f, hit) << i;
        if (!hit)
            continue;
        ++hits;
        const float length = std::sqrt(move.dot(move));
        const Vector3 at = from + move * time;
        const Vector3 before = from + move * std::max(0.0f, time - 2e-3f / length);
        const Vector3 after = from + move * std::min(1.0f, time + 2e-3f / length);
        EXPECT_TRUE(sphereSphereIntersect(after, r1, fixed, r2, p, n)) << i;
        EXPECT_FALSE(sphereSphereIntersect(before, r1, fixed, r2, p, n)) << i;
        EXPECT_NEAR(r1 + r2, std::sqrt((at - fixed).dot(at - fixed)), 1e-3f) << i;
    }
    EXPECT_GT(hits, 300);
}

TEST_F(CollisionTemporalTest, RayTestsCountContactsWithinTheLength)
{
    Vector3 point, normal;
    float time = -1.0f;
    // Sphere of radius 1 at x = 5: the ray enters at 4.
    EXPECT_TRUE(temporalSphereRayIntersect(Vector3(5, 0, 0), 1.0f, Vector3(0, 0, 0), Vector3(1, 0, 0), 4.0f, point,
                                           normal, time));
    EXPECT_EQ(0.0f, time);
    expectNear(Vector3(4, 0, 0), point);
    EXPECT_FALSE(temporalSphereRayIntersect(Vector3(5, 0, 0), 1.0f, Vector3(0, 0, 0), Vector3(1, 0, 0), 3.99f, point,
                                            normal, time));
    EXPECT_TRUE(temporalSphereRayIntersect(Vector3(5, 0, 0), 1.0f, Vector3(0, 0, 0), Vector3(1, 0, 0),
                                           floatPlusInfinity, point, normal, time));

    BoxHull box(Vector3(1, 1, 1), Vector3(10, 0, 0));
    time = -1.0f;
    EXPECT_TRUE(temporalRayConvexHullIntersect(Vector3(0, 0, 0), Vector3(1, 0, 0), 9.0f, box.hull, false, point,
                                               normal, time));
    EXPECT_EQ(0.0f, time);
    expectNear(Vector3(9, 0, 0), point);
    expectNear(Vector3(-1, 0, 0), normal);
    EXPECT_FALSE(temporalRayConvexHullIntersect(Vector3(0, 0, 0), Vector3(1, 0, 0), 8.9f, box.hull, false, point,
                                                normal, time));

    const CollisionCylinder post = cylinder(Vector3(10, 0, -5), Vector3(0, 0, 1), 1.0f, 10.0f);
    time = -1.0f;
    EXPECT_TRUE(temporalRayCylinderIntersect(Vector3(0, 0, 0), Vector3(1, 0, 0), 9.0f, post, point, normal, time));
    EXPECT_EQ(0.0f, time);
    expectNear(Vector3(9, 0, 0), point, 1e-4f);
    EXPECT_FALSE(temporalRayCylinderIntersect(Vector3(0, 0, 0), Vector3(1, 0, 0), 8.9f, post, point, normal, time));
}

TEST_F(CollisionTemporalTest, HullsBeyondThe255PlaneTablesAreRefused)
{
    const Vector3 up(0, 0, 1);
    Vector3 point, normal;
    float time;
    llist list;
    ManyPlaneHull accepted(255), refused(256);
    EXPECT_TRUE(temporalRayConvexHullIntersect(Vector3(-5, 0, 0), Vector3(1, 0, 0), 10.0f, accepted.hull, false, point,
                                               normal, time));
    EXPECT_TRUE(temporalCylinderConvexHullIntersect(cylinder(Vector3(0, 0, 5), up, 0.5f, 1.0f),
                                                    cylinder(Vector3(0, 0, 0), up, 0.5f, 1.0f), accepted.hull, this,
                                                    nullptr, &list, point, normal, time));
    freeIntersectionList(&list);
    EXPECT_EQ(0, testsupport::countReports("numHullPlanes < 256"));
    EXPECT_FALSE(temporalRayConvexHullIntersect(Vector3(-5, 0, 0), Vector3(1, 0, 0), 10.0f, refused.hull, false,
                                                point, normal, time));
    // Resting, the static test would do; the swept test still refuses such a hull.
    EXPECT_FALSE(temporalCylinderConvexHullIntersect(cylinder(Vector3(0, 0, 0), up, 0.5f, 1.0f),
                                                     cylinder(Vector3(0, 0, 0), up, 0.5f, 1.0f), refused.hull, this,
                                                     nullptr, &list, point, normal, time));
    EXPECT_EQ(0u, list.getNumItems());
    EXPECT_EQ(2, testsupport::countReports("numHullPlanes < 256"));
}

TEST_F(CollisionTemporalTest, SphereCylinderSweep)
{
    const CollisionCylinder post = cylinder(Vector3(0, 0, 0), Vector3(0, 0, 1), 1.0f, 10.0f);
    Vector3 point, normal, p, n;
    float time = -1.0f;
    // From x = -10 to x = 0 at height 5, radius 0.5: touches when the centre is at x = -1.5.
    ASSERT_TRUE(temporalSphereCylinderIntersect(Vector3(-10, 0, 5), Vector3(0, 0, 5), 0.5f, post, point, normal, time));
    EXPECT_NEAR(0.85f, time, 1e-4f);
    expectNear(Vector3(-1, 0, 5), point, 1e-4f);  // on the real surface
    expectNear(Vector3(-1, 0, 0), normal, 1e-4f);
    EXPECT_TRUE(sphereCylinderIntersect(Vector3(-10 + 10 * (time + 1e-4f), 0, 5), 0.5f, post, p, n));
    EXPECT_FALSE(sphereCylinderIntersect(Vector3(-10 + 10 * (time - 1e-3f), 0, 5), 0.5f, post, p, n));

    // Overlapping at the start: time 0, the start centre, against the movement; inside and moving
    // down the axis: the cast meets the far cap behind the start; negligible movement: the static
    // test at the current position, time 0; passing by and stopping short: no contact.
    const struct {
        Vector3 from, to;
        bool hit;
        Vector3 point, normal;
    } cases[] = {{Vector3(-1.2f, 0, 5), Vector3(5, 0, 5), true, Vector3(-1.2f, 0, 5), Vector3(-1, 0, 0)},
                 {Vector3(0, 0, 5), Vector3(0, 0, -5), true, Vector3(0, 0, 5), Vector3(0, 0, 1)},
                 {Vector3(-1.4f, 0, 5), Vector3(-1.42f, 0, 5), true, Vector3(-1, 0, 5), Vector3(-1, 0, 0)},
                 {Vector3(-1.6f, 0, 5), Vector3(-1.62f, 0, 5), false, {}, {}},
                 {Vector3(-10, 2, 5), Vector3(10, 2, 5), false, {}, {}},
                 {Vector3(-10, 0, 5), Vector3(-2, 0, 5), false, {}, {}}};
    for (const auto& c : cases) {
        time = -1.0f;
        ASSERT_EQ(c.hit, temporalSphereCylinderIntersect(c.from, c.to, 0.5f, post, point, normal, time)) << c.from.x;
        if (!c.hit) continue;
        EXPECT_EQ(0.0f, time);
        expectNear(c.point, point, 1e-4f);
        expectNear(c.normal, normal, 1e-4f);
    }
}

TEST_F(CollisionTemporalTest, SphereHullEntryTimeRecordsAndNormal)
{
    BoxHull box(Vector3(1, 1, 1), Vector3(10, 0, 0));
    llist list;
    Vector3 point, normal;
    float time = -1.0f;
    // The face hit itself is the property test's below. Flipped normals, on the record too:
    ASSERT_TRUE(temporalConvexHullIntersect(Vector3(0, 0, 0), Vector3(10, 0, 0), 0.5f, box.hull, true, this, &box,
                                            &list, point, normal, time));
    expectNear(Vector3(1, 0, 0), normal);
    std::vector<CIntersection*> made = records(list);
    ASSERT_EQ(1u, made.size());
    expectNear(Vector3(1, 0, 0), made[0]->normal);
    EXPECT_EQ(this, made[0]->objectA);
    EXPECT_EQ(&box, made[0]->objectB);

    // Onto an edge diagonally: two planes tie, two records, the normals summed.
    ASSERT_TRUE(temporalConvexHullIntersect(Vector3(0, -10, 0), Vector3(10, 0, 0), 0.5f, box.hull, false, this, &box,
                                            &list, point, normal, time));
    EXPECT_EQ(2u, list.getNumItems());
    const float r = 1.0f / std::sqrt(2.0f);
    expectNear(Vector3(-r, -r, 0), normal, 1e-4f);

    // Ties are entry times within 0.001: 0.0007 apart tie, 0.007 apart do not.
    ASSERT_TRUE(temporalConvexHullIntersect(Vector3(-0.0005f, -10, 0), Vector3(9.9995f, 0, 0), 0.5f, box.hull, false,
                                            this, &box, &list, point, normal, time));
    EXPECT_EQ(2u, list.getNumItems());
    ASSERT_TRUE(temporalConvexHullIntersect(Vector3(-0.005f, -10, 0), Vector3(9.995f, 0, 0), 0.5f, box.hull, false,
                                            this, &box, &list, point, normal, time));
    EXPECT_EQ(1u, list.getNumItems());
    expectNear(Vector3(-1, 0, 0), normal, 1e-4f);

    // A miss frees the list.
    EXPECT_FALSE(temporalConvexHullIntersect(Vector3(0, 5, 0), Vector3(20, 5, 0), 0.5f, box.hull, false, this, &box,
                                             &list, point, normal, time));
    EXPECT_EQ(0u, list.getNumItems());
    // Sliding along +y 0.05 outside it: that plane is never approached, so no contact, though the
    // entry point on the -x face would pass the 0.1 tolerance.
    EXPECT_FALSE(temporalConvexHullIntersect(Vector3(0, 1.55f, 0), Vector3(10, 1.55f, 0), 0.5f, box.hull, false, this,
                                             &box, &list, point, normal, time));
    // Passing the corner at (9, 1): entering the slab x >= 8.9 with the centre 0.224 above the
    // slab y <= 1.1 is no contact; 0.05 above it is within the entry tolerance and counts, though
    // the sphere is 0.08 clear of the corner.
    EXPECT_FALSE(temporalConvexHullIntersect(Vector3(0, -7.576f, 0), Vector3(14, 6.424f, 0), 0.1f, box.hull, false,
                                             this, &box, &list, point, normal, time));
    EXPECT_TRUE(temporalConvexHullIntersect(Vector3(0, -7.75f, 0), Vector3(14, 6.25f, 0), 0.1f, box.hull, false, this,
                                            &box, &list, point, normal, time));
    freeIntersectionList(&list);

    // Starting inside: time 0 and the start centre.
    ASSERT_TRUE(temporalConvexHullIntersect(Vector3(10.2f, 0, 0), Vector3(20, 0, 0), 0.5f, box.hull, false, this, &box,
                                            nullptr, point, normal, time));
    EXPECT_EQ(0.0f, time);
    expectNear(Vector3(10.2f, 0, 0), point);

    // Negligible movement: static, time 0.
    time = -1.0f;
    ASSERT_TRUE(temporalConvexHullIntersect(Vector3(8.6f, 0, 0), Vector3(8.62f, 0, 0), 0.5f, box.hull, false, this,
                                            &box, &list, point, normal, time));
    EXPECT_EQ(0.0f, time);
    EXPECT_EQ(1u, list.getNumItems());
    freeIntersectionList(&list);
}

TEST_F(CollisionTemporalTest, SweptSphereHullHitsFacesWhereTheStaticTestAgrees)
{
    Matrix3 turn;
    matrix3FromAngles(0.4f, -0.3f, 1.1f, turn);
    BoxHull box(Vector3(2, 3, 1.5f), Vector3(5, -2, 1), turn);
    const float half[3] = {2, 3, 1.5f};
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> size(0.1f, 1.0f);
    int checked = 0;
    for (int i = 0; i < 2000; ++i) {
        // A target point well inside a face, approached from outside along a direction into it.
        const int face = i % 6;
        const int axis = face / 2;
        const float sign = (face % 2) ? -1.0f : 1.0f;
        const float radius = size(rng);
        Vector3 local;
        float* c = &local.x;
        for (int k = 0; k < 3; ++k)
            c[k] = unit(rng) * (half[k] - radius - 0.3f);
        c[axis] = sign * half[axis];
        Vector3 n = BoxHull::unit(axis, sign);
        Vector3 approach(unit(rng), unit(rng), unit(rng));
        approach += n * (2.0f - approach.dot(n));  // clearly inward toward the face
        approach.normalise();
        const Vector3 touchLocal = local + n * radius;  // centre when touching
        const float before = 1.0f + 5.0f * size(rng), after = 0.5f + size(rng);
        Vector3 fromLocal = touchLocal + approach * before;
        Vector3 toLocal = touchLocal - approach * after;
        Vector3 from, to;
        box.hull.orientation.transform(fromLocal, from);
        box.hull.orientation.transform(toLocal, to);
        from += box.hull.position;
        to += box.hull.position;

        Vector3 point, normal, p, q;
        float time;
        ASSERT_TRUE(temporalConvexHullIntersect(from, to, radius, box.hull, false, nullptr, nullptr, nullptr, point,
                                                normal, time))
            << i;
        const Vector3 move = to - from;
        const float length = std::sqrt(move.dot(move));
        EXPECT_NEAR(before / (before + after), time, 1e-3f) << i;
        EXPECT_TRUE(sphereConvexHullIntersect(from + move * (time + 1e-3f / length), radius, box.hull, false, nullptr,
                                              nullptr, nullptr, p, q))
            << i;
        EXPECT_FALSE(sphereConvexHullIntersect(from + move * (time - 2e-3f / length), radius, box.hull, false,
                                               nullptr, nullptr, nullptr, p, q))
            << i;
        Vector3 worldNormal;
        box.hull.orientation.transform(n, worldNormal);
        expectNear(worldNormal, normal, 1e-4f);
        ++checked;
    }
    EXPECT_EQ(2000, checked);
}

TEST_F(CollisionTemporalTest, CylinderHullSweep)
{
    BoxHull box(Vector3(5, 5, 1));  // top face at z = 1
    llist list;
    Vector3 point, normal;
    float time = -1.0f;
    const Vector3 up(0, 0, 1);
    // A standing cylinder dropping from base z = 11 to base z = -1: reaches the top at z = 1.
    ASSERT_TRUE(temporalCylinderConvexHullIntersect(cylinder(Vector3(0, 0, 11), up, 1.0f, 2.0f),
                                                    cylinder(Vector3(0, 0, -1), up, 1.0f, 2.0f), box.hull, this, &box,
                                                    &list, point, normal, time));
    EXPECT_NEAR(10.0f / 12.0f, time, 1e-3f);
    expectNear(up, normal);
    EXPECT_NEAR(1.0f, point.z, 1e-5f);
    EXPECT_GE(list.getNumItems(), 1u);
    uint32_t plane;
    Vector3 p, n;
    EXPECT_TRUE(collideCylinderHull(cylinder(Vector3(0, 0, 11 - 12 * time), up, 1.0f, 2.0f), box.hull, nullptr,
                                    nullptr, nullptr, plane, n, p));
    freeIntersectionList(&list);

    // Lying on its side and moving sideways into the box's +x face.
    const Vector3 along(0, 1, 0);
    ASSERT_TRUE(temporalCylinderConvexHullIntersect(cylinder(Vector3(20, -1, 0), along, 1.0f, 2.0f),
                                                    cylinder(Vector3(0, -1, 0), along, 1.0f, 2.0f), box.hull, this,
                                                    &box, nullptr, point, normal, time));
    EXPECT_NEAR(14.0f / 20.0f, time, 2e-3f);  // the side meets x = 5 with the axis at x = 6
    EXPECT_TRUE(collideCylinderHull(cylinder(Vector3(20 - 20 * time, -1, 0), along, 1.0f, 2.0f), box.hull, nullptr,
                                    nullptr, nullptr, plane, n, p));

    EXPECT_FALSE(temporalCylinderConvexHullIntersect(cylinder(Vector3(-20, 8, 0), up, 1.0f, 2.0f),
                                                     cylinder(Vector3(20, 8, 0), up, 1.0f, 2.0f), box.hull, this, &box,
                                                     &list, point, normal, time));
    EXPECT_EQ(0u, list.getNumItems());

    // Negligible movement: the static test, time 0.
    time = -1.0f;
    ASSERT_TRUE(temporalCylinderConvexHullIntersect(cylinder(Vector3(0, 0, 1.0f), up, 1.0f, 2.0f),
                                                    cylinder(Vector3(0, 0, 0.99f), up, 1.0f, 2.0f), box.hull, this,
                                                    &box, nullptr, point, normal, time));
    EXPECT_EQ(0.0f, time);
}

TEST_F(CollisionTemporalTest, CylinderCylinderSweep)
{
    const Vector3 up(0, 0, 1);
    const CollisionCylinder post = cylinder(Vector3(0, 0, 0), up, 1.0f, 4.0f);
    Vector3 point, normal, p, n;
    float time = -1.0f;
    // A crossing cylinder (axis along y) sliding in along x at mid height.
    const Vector3 along(0, 1, 0);
    ASSERT_TRUE(temporalCylinderCylinderIntersect(cylinder(Vector3(-10, -2, 2), along, 0.5f, 4.0f),
                                                  cylinder(Vector3(0, -2, 2), along, 0.5f, 4.0f), post, point, normal,
                                                  time));
    EXPECT_NEAR(0.85f, time, 5e-3f);  // touching with the axes 1.5 apart
    EXPECT_TRUE(cylinderCylinderIntersect(cylinder(Vector3(-10 + 10 * time, -2, 2), along, 0.5f, 4.0f), post, p, n));
    EXPECT_FALSE(cylinderCylinderIntersect(cylinder(Vector3(-10 + 10 * (time - 0.01f), -2, 2), along, 0.5f, 4.0f),
                                           post, p, n));

    // Passing above.
    EXPECT_FALSE(temporalCylinderCylinderIntersect(cylinder(Vector3(-10, -2, 6), along, 0.5f, 4.0f),
                                                   cylinder(Vector3(10, -2, 6), along, 0.5f, 4.0f), post, point, normal,
                                                   time));
    // Negligible movement: static, time 0.
    time = -1.0f;
    ASSERT_TRUE(temporalCylinderCylinderIntersect(cylinder(Vector3(-1.4f, -2, 2), along, 0.5f, 4.0f),
                                                  cylinder(Vector3(-1.42f, -2, 2), along, 0.5f, 4.0f), post, point,
                                                  normal, time));
    EXPECT_EQ(0.0f, time);
}

}  // namespace
