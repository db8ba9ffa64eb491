#include "utility/CollisionTemporal.h"
#include "CollisionTestSupport.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

using collisiontest::BoxHull;
using collisiontest::expectNear;

class CollisionTemporalTest : public collisiontest::CollisionTest {};

using collisiontest::cylinder;

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
    // A sphere, a box and a post whose near side is 4 or 9 along the ray: met at exactly that length
    // (time 0, the entry point), not a hair shorter.
    BoxHull box(Vector3(1, 1, 1), Vector3(10, 0, 0));
    const CollisionCylinder post = cylinder(Vector3(10, 0, -5), Vector3(0, 0, 1), 1.0f, 10.0f);
    const std::function<bool(float, Vector3&, float&)> shapes[] = {
        [](float length, Vector3& point, float& time) {
            Vector3 normal;
            return temporalSphereRayIntersect(Vector3(5, 0, 0), 1.0f, Vector3(), Vector3(1, 0, 0), length, point, normal, time);
        },
        [&](float length, Vector3& point, float& time) {
            Vector3 normal;
            return temporalRayConvexHullIntersect(Vector3(), Vector3(1, 0, 0), length, box.hull, false, point, normal, time);
        },
        [&](float length, Vector3& point, float& time) {
            Vector3 normal;
            return temporalRayCylinderIntersect(Vector3(), Vector3(1, 0, 0), length, post, point, normal, time);
        }};
    for (int i = 0; i < 3; ++i) {
        const float near = i ? 9.0f : 4.0f;
        Vector3 point;
        float time = -1.0f;
        ASSERT_TRUE(shapes[i](near, point, time)) << i;
        EXPECT_EQ(0.0f, time);
        expectNear(Vector3(near, 0, 0), point, 1e-4f);
        EXPECT_FALSE(shapes[i](near - 0.01f, point, time)) << i;
        EXPECT_TRUE(shapes[i](floatPlusInfinity, point, time)) << i;
    }
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
    const struct { Vector3 from, to; bool hit; Vector3 point, normal; } cases[] = {{Vector3(-1.2f, 0, 5), Vector3(5, 0, 5), true, Vector3(-1.2f, 0, 5), Vector3(-1, 0, 0)},
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

TEST_F(CollisionTemporalTest, SweptSphereHullHitsFacesWhereTheStaticTestAgrees)
{
    Matrix3 turn;
    matrix3FromAngles(0.4f, -0.3f, 1.1f, turn);
    BoxHull box(Vector3(2, 3, 1.5f), Vector3(5, -2, 1), turn);
    const float half[3] = {2, 3, 1.5f};
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_real_distribution<float> size(0.1f, 1.0f);
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
        Vector3 from, to;
        box.hull.orientation.transform(touchLocal + approach * before, from);
        box.hull.orientation.transform(touchLocal - approach * after, to);
        from += box.hull.position;
        to += box.hull.position;

        Vector3 point, normal, p, q;
        float time;
        ASSERT_TRUE(temporalConvexHullIntersect(from, to, radius, box.hull, false, nullptr, nullptr, nullptr, point, normal, time)) << i;
        const Vector3 move = to - from;
        const float length = std::sqrt(move.dot(move));
        EXPECT_NEAR(before / (before + after), time, 1e-3f) << i;
        EXPECT_TRUE(sphereConvexHullIntersect(from + move * (time + 1e-3f / length), radius, box.hull, false, nullptr, nullptr, nullptr, p, q));
        EXPECT_FALSE(sphereConvexHullIntersect(from + move * (time - 2e-3f / length), radius, box.hull, false, nullptr, nullptr, nullptr, p, q));
        Vector3 worldNormal;
        box.hull.orientation.transform(n, worldNormal);
        expectNear(worldNormal, normal, 1e-4f);
    }
}

TEST_F(CollisionTemporalTest, CylinderSweepsMeetHullsAndCylinders)
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
    freeIntersectionList(&list);
    uint32_t plane;
    Vector3 p, n;

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
    // A crossing cylinder sliding in along x at mid height touches a post with the axes 1.5 apart.
    ASSERT_TRUE(temporalCylinderCylinderIntersect(cylinder(Vector3(-10, -2, 2), along, 0.5f, 4.0f), cylinder(Vector3(0, -2, 2), along, 0.5f, 4.0f),
                                                  cylinder(Vector3(), up, 1.0f, 4.0f), point, normal, time));
    EXPECT_NEAR(0.85f, time, 5e-3f);
}

}  // namespace
