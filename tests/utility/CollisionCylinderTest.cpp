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

CollisionCylinder cylinder(const Vector3& base, const Vector3& axis, float radius, float length)
{
    return CollisionCylinder{base, axis, radius, length};
}

TEST_F(CollisionTest, CylinderPlaneExtent)
{
    float low, high;
    // Axis in the plane (k = 1): low = distance - radius, high = low + radius.
    cylinderPlaneExtent(cylinder(Vector3(0, 0, 3), Vector3(1, 0, 0), 0.5f, 4.0f), UP, -1.0f, low, high);
    EXPECT_NEAR(1.5f, low, 1e-5f);
    EXPECT_NEAR(2.0f, high, 1e-5f);
    // Along the normal (k = 0): the two end distances.
    cylinderPlaneExtent(cylinder(Vector3(0, 0, 3), UP, 0.5f, 4.0f), UP, -1.0f, low, high);
    EXPECT_FLOAT_EQ(2.0f, low);
    EXPECT_FLOAT_EQ(6.0f, high);
    // An axis a rounding step longer than unit must not make the estimate NaN.
    cylinderPlaneExtent(cylinder(Vector3(), Vector3(0, 0, 1.00000012f), 0.5f, 4.0f), UP, 0.0f, low, high);
    EXPECT_TRUE(isValidFloat(low) && isValidFloat(high));
}

TEST_F(CollisionTest, CylinderPlaneSlice)
{
    Vector3 p[4];
    ASSERT_TRUE(cylinderPlaneSlice(UP, 0.0f, cylinder(Vector3(0, 0, 0.6f), Vector3(1, 0, 0), 1.0f, 4.0f), p));
    expectNear(Vector3(0, 0.8f, 0.6f), p[0]);
    expectNear(Vector3(0, -0.8f, 0.6f), p[1]);
    expectNear(Vector3(4, -0.8f, 0.6f), p[2]);
    expectNear(Vector3(4, 0.8f, 0.6f), p[3]);
    // At exactly the radius the strip collapses onto the axis ends.
    ASSERT_TRUE(cylinderPlaneSlice(UP, 0.0f, cylinder(Vector3(0, 0, 1), Vector3(1, 0, 0), 1.0f, 4.0f), p));
    expectNear(Vector3(0, 0, 1), p[1]);
    expectNear(Vector3(4, 0, 1), p[3]);
    EXPECT_FALSE(cylinderPlaneSlice(UP, 0.0f, cylinder(Vector3(0, 0, 1.5f), Vector3(1, 0, 0), 1.0f, 4.0f), p));
}

TEST_F(CollisionTest, ClassifyCylinderPlaneCodes)
{
    Vector3 p[4];
    uint32_t n = 99;
    // End caps on the plane.
    EXPECT_EQ(-1, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(1, 2, 0), UP, 1, 3), p, n));
    EXPECT_EQ(1u, n);
    expectNear(Vector3(1, 2, 0), p[0]);
    EXPECT_EQ(0, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(1, 2, 0.5f), UP, 1, 3), p, n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(-1, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, 3), Vector3(0, 0, -1), 1, 3), p, n));
    expectNear(Vector3(0, 0, -3), p[0]);  // base + length·axis - dist·n, as the rule states
    EXPECT_EQ(0, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, 3.5f), Vector3(0, 0, -1), 1, 3), p, n));

    // Tilted: a rim point, moved onto the plane when below it.
    EXPECT_EQ(1, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, 0.2f), Vector3(H, 0, H), 1, 3), p, n));
    expectNear(Vector3(-H, 0, 0.2f + H), p[0]);
    EXPECT_EQ(1, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, -1), Vector3(H, 0, H), 1, 3), p, n));
    expectNear(Vector3(-H, 0, 0), p[0]);
    EXPECT_EQ(1, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, 2), Vector3(H, 0, -H), 1, 2), p, n));
    expectNear(Vector3(3 * H, 0, 2 - H), p[0]);

    // Parallel: a strip, a segment just above a thin cylinder, or nothing.
    EXPECT_EQ(2, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, 1), Vector3(1, 0, 0), 1, 4), p, n));
    EXPECT_EQ(4u, n);
    expectNear(Vector3(0, 0, 1), p[0]);
    expectNear(Vector3(4, 0, 1), p[2]);
    EXPECT_EQ(0, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, -1.5f), Vector3(1, 0, 0), 1, 4), p, n));
    EXPECT_EQ(1, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, 0.08f), Vector3(1, 0, 0), 0.05f, 4), p, n));
    EXPECT_EQ(2u, n);
    expectNear(Vector3(0, 0, 0), p[0]);
    expectNear(Vector3(4, 0, 0), p[1]);
    EXPECT_EQ(0, classifyCylinderPlane(UP, 0.0f, cylinder(Vector3(0, 0, 0.2f), Vector3(1, 0, 0), 0.05f, 4), p, n));
}

TEST_F(CollisionTest, CylinderPlaneSeparationDepths)
{
    float depth;
    EXPECT_TRUE(cylinderPlaneSeparation(cylinder(Vector3(0, 0, -0.0005f), UP, 1, 2), UP, 0.0f, depth));
    EXPECT_FLOAT_EQ(-0.0005f, depth);
    EXPECT_FALSE(cylinderPlaneSeparation(cylinder(Vector3(0, 0, 0.01f), UP, 1, 2), UP, 0.0f, depth));
    EXPECT_TRUE(cylinderPlaneSeparation(cylinder(Vector3(0, 0, 1), Vector3(0, 0, -1), 1, 2), UP, 0.0f, depth));
    EXPECT_FLOAT_EQ(-1.0f, depth);  // the far end
    // Parallel: the axis distance, allowed up to the radius.
    EXPECT_TRUE(cylinderPlaneSeparation(cylinder(Vector3(0, 0, 0.9f), Vector3(1, 0, 0), 1, 2), UP, 0.0f, depth));
    EXPECT_FLOAT_EQ(0.9f, depth);
    EXPECT_FALSE(cylinderPlaneSeparation(cylinder(Vector3(0, 0, 1.1f), Vector3(1, 0, 0), 1, 2), UP, 0.0f, depth));
    // Tilted: the lowest rim point of the base, or of the far end when the axis points down.
    EXPECT_FALSE(cylinderPlaneSeparation(cylinder(Vector3(0, 0, 1), Vector3(H, 0, H), 1, 2), UP, 0.0f, depth));
    EXPECT_NEAR(1.0f - H, depth, 1e-5f);
    EXPECT_TRUE(cylinderPlaneSeparation(cylinder(Vector3(0, 0, 2), Vector3(H, 0, -H), 1, 2), UP, 0.0f, depth));
    EXPECT_NEAR(2.0f - 3.0f * H, depth, 1e-5f);
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
    expectNear(UP, recs[0]->normal);
    expectNear(Vector3(10, 0, 1), recs[0]->point);
    EXPECT_EQ(&a, recs[0]->objectA);
    EXPECT_EQ(&b, recs[0]->objectB);

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

    // B first: it leads, and A, deeper than nothing chosen yet, goes in front of it.
    std::swap(normals[0], normals[1]);
    std::swap(distances[0], distances[1]);
    ASSERT_TRUE(collideCylinderHull(cyl, hull, nullptr, nullptr, &list, plane, normal, point));
    EXPECT_EQ(1u, plane);
    recs = records(list);
    ASSERT_EQ(3u, recs.size());
    expectNear(UP, recs[0]->normal);
    expectNear(Vector3(1, 0, 0), recs[1]->normal);
    freeIntersectionList(&list);
}

TEST_F(CollisionTest, CylinderHullTiesKeepTheEarlierPlaneAndGoToTheTail)
{
    // A roof of two slopes meeting over the cylinder's axis: both equally deep.
    Vector3 normals[2] = {Vector3(H, 0, H), Vector3(-H, 0, H)};
    float distances[2] = {0.5f, 0.5f};
    CollisionHull roof{Vector3(), Matrix3(), 2, normals, distances, nullptr};
    llist list;
    uint32_t plane = 99;
    Vector3 normal, point;
    ASSERT_TRUE(collideCylinderHull(cylinder(Vector3(), UP, 1.0f, 2.0f), roof, nullptr, nullptr, &list, plane, normal,
                                    point));
    EXPECT_EQ(0u, plane);
    expectNear(normals[0], normal);
    auto recs = records(list);
    ASSERT_EQ(2u, recs.size());
    expectNear(normals[0], recs[0]->normal);  // not deeper than the first: behind it
    expectNear(normals[1], recs[1]->normal);
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
    EXPECT_EQ(77u, plane);
    EXPECT_EQ(1, countReports("collidePlane != 0xffffffff"));

    // Touching within 0.001 but never below 1e-6: records were made, and are released again.
    Vector3 normals[1] = {UP};
    float distances[1] = {0};
    CollisionHull floor{Vector3(), Matrix3(), 1, normals, distances, nullptr};
    EXPECT_FALSE(collideCylinderHull(cylinder(Vector3(0, 0, 0.0005f), UP, 1, 1), floor, nullptr, nullptr, &list,
                                     plane, normal, point));
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(2, countReports("collidePlane != 0xffffffff"));
    EXPECT_EQ(9.0f, normal.x);
}

TEST_F(CollisionTest, SphereBesideARimOrOnTheAxis)
{
    const CollisionCylinder cyl = cylinder(Vector3(), UP, 1.0f, 2.0f);
    Vector3 point, normal;
    // Beside a rim: the rim point, the normal toward the centre. The only rejections are those of
    // the grown cylinder, so a sphere just clear of the rim (0.566 from it) still touches.
    ASSERT_TRUE(sphereCylinderIntersect(Vector3(1.3f, 0, 2.3f), 0.5f, cyl, point, normal));
    expectNear(Vector3(H, 0, H), normal);
    expectNear(Vector3(1, 0, 2), point);
    ASSERT_TRUE(sphereCylinderIntersect(Vector3(1.4f, 0, 2.4f), 0.5f, cyl, point, normal));
    expectNear(Vector3(H, 0, H), normal);
    expectNear(Vector3(1, 0, 2), point);
    ASSERT_TRUE(sphereCylinderIntersect(Vector3(0, -1.4f, -0.4f), 0.5f, cyl, point, normal));
    expectNear(Vector3(0, -H, -H), normal);
    expectNear(Vector3(0, -1, 0), point);
    EXPECT_FALSE(sphereCylinderIntersect(Vector3(1.45f, 0, 2.51f), 0.5f, cyl, point, normal));   // b > r
    EXPECT_FALSE(sphereCylinderIntersect(Vector3(1.51f, 0, -0.45f), 0.5f, cyl, point, normal));  // m2 > (r+R)^2

    // On the axis: any direction across it.
    ASSERT_TRUE(sphereCylinderIntersect(Vector3(0, 0, 1), 0.1f, cyl, point, normal));
    EXPECT_NEAR(1.0f, normal.length(), 1e-5f);
    EXPECT_NEAR(0.0f, normal.z, 1e-6f);
    EXPECT_NEAR(1.0f, Vector3(point.x, point.y, 0).length(), 1e-5f);
}

TEST_F(CollisionTest, RayAlongTheCylinderAxis)
{
    const CollisionCylinder cyl = cylinder(Vector3(), UP, 1.0f, 2.0f);
    float t;
    Vector3 point, normal;
    // Toward the base, exactly on the rim.
    ASSERT_TRUE(rayCylinderIntersect(Vector3(1, 0, -5), UP, cyl, t, point, normal));
    EXPECT_FLOAT_EQ(5.0f, t);
    expectNear(Vector3(1, 0, 0), point);
    expectNear(Vector3(0, 0, -1), normal);
    EXPECT_FALSE(rayCylinderIntersect(Vector3(1.01f, 0, -5), UP, cyl, t, point, normal));
    // Down onto the far cap.
    ASSERT_TRUE(rayCylinderIntersect(Vector3(0.5f, 0, 7), Vector3(0, 0, -1), cyl, t, point, normal));
    EXPECT_FLOAT_EQ(5.0f, t);
    expectNear(UP, normal);
    // Inside, pointing away from the base: t = 0 at the origin, normal -dir.
    ASSERT_TRUE(rayCylinderIntersect(Vector3(0.2f, 0, 1), UP, cyl, t, point, normal));
    EXPECT_EQ(0.0f, t);
    expectNear(Vector3(0.2f, 0, 1), point);
    expectNear(Vector3(0, 0, -1), normal);
    // Inside, pointing toward the base (which lies ahead): the far cap, behind the origin.
    ASSERT_TRUE(rayCylinderIntersect(Vector3(0.2f, 0, 1), Vector3(0, 0, -1), cyl, t, point, normal));
    EXPECT_FLOAT_EQ(-1.0f, t);
    expectNear(Vector3(0.2f, 0, 2), point);
    expectNear(UP, normal);
    EXPECT_FALSE(rayCylinderIntersect(Vector3(1.2f, 0, 1), Vector3(0, 0, -1), cyl, t, point, normal));
    // Beyond the far end, leaving.
    EXPECT_FALSE(rayCylinderIntersect(Vector3(0, 0, 3), UP, cyl, t, point, normal));
}

// One face in the plane z = 1 whose edges keep |x| <= 2 and |y| <= 2.
struct TopFace {
    Vector3 normals[1] = {UP};
    float distances[1] = {-1};
    Vector3 edgeNormals[4] = {Vector3(1, 0, 0), Vector3(-1, 0, 0), Vector3(0, 1, 0), Vector3(0, -1, 0)};
    float edgeDistances[4] = {-2, -2, -2, -2};
    CollisionHullFace face{4, edgeNormals, edgeDistances};
    CollisionHull hull{Vector3(), Matrix3(), 1, normals, distances, &face};
};

TEST_F(CollisionTest, ContactPolygonClipsTheStripToTheFace)
{
    TopFace top;
    top.hull.position = Vector3(0, 10, 0);
    llist list;
    EXPECT_EQ(1u, cylinderHullContactPolygon(cylinder(Vector3(-3, 10, 1.2f), Vector3(1, 0, 0), 0.5f, 6.0f), top.hull,
                                             &list));
    ASSERT_EQ(1u, list.getNumItems());
    list.GotoHead();
    auto* rec = static_cast<CContactPolygon*>(list.GetCurrent());
    EXPECT_EQ(0u, rec->face);
    EXPECT_EQ(2, rec->code);
    EXPECT_EQ(3u, rec->kind);
    ASSERT_EQ(4u, rec->numPoints);
    const float w = std::sqrt(0.21f);
    for (uint32_t i = 0; i < rec->numPoints; ++i) {
        EXPECT_NEAR(2.0f, std::fabs(rec->points[i].x), 1e-5f);
        EXPECT_NEAR(w, std::fabs(rec->points[i].y - 10.0f), 1e-5f);  // back in world space
        EXPECT_NEAR(1.2f, rec->points[i].z, 1e-5f);
    }
    freeContactPolygonList(&list);
    EXPECT_TRUE(list.Empty());

    // A point contact outside the face is clipped away: no record.
    EXPECT_EQ(0u, cylinderHullContactPolygon(cylinder(Vector3(5, 10, 0.5f), UP, 0.5f, 1.0f), top.hull, &list));
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(0u, cylinderHullContactPolygon(cylinder(Vector3(0, 10, 3), Vector3(1, 0, 0), 0.5f, 1.0f), top.hull,
                                             &list));
    EXPECT_EQ(0u, cylinderHullContactPolygon(cylinder(Vector3(), UP, 1, 1), top.hull, nullptr));
    EXPECT_EQ(1, countReports("pIntersectionList"));
}

TEST_F(CollisionTest, ContactPolygonStopsAtSixteenPoints)
{
    // A 48-sided face slightly larger than the strip cuts every corner many times over.
    const int sides = 48;
    std::vector<Vector3> edgeNormals;
    std::vector<float> edgeDistances;
    for (int k = 0; k < sides; ++k) {
        const float a = 6.2831853f * k / sides;
        edgeNormals.push_back(Vector3(std::cos(a), std::sin(a), 0));
        edgeDistances.push_back(-1.1f);
    }
    Vector3 normals[1] = {UP};
    float distances[1] = {-1};
    CollisionHullFace face{sides, edgeNormals.data(), edgeDistances.data()};
    CollisionHull hull{Vector3(), Matrix3(), 1, normals, distances, &face};
    llist list;
    ASSERT_EQ(1u, cylinderHullContactPolygon(cylinder(Vector3(-1, 0, 1), Vector3(1, 0, 0), 1.0f, 2.0f), hull, &list));
    list.GotoHead();
    auto* rec = static_cast<CContactPolygon*>(list.GetCurrent());
    EXPECT_EQ(16u, rec->numPoints);
    EXPECT_EQ(1, countReports("numPoints < 16"));
    for (uint32_t i = 0; i < rec->numPoints; ++i) EXPECT_LE(std::fabs(rec->points[i].y), 1.0f + 1e-5f);
    freeContactPolygonList(&list);
}

TEST_F(CollisionTest, ParallelCylinders)
{
    const CollisionCylinder first = cylinder(Vector3(), UP, 1.0f, 4.0f);
    Vector3 point, normal;
    // Side by side: pushed apart across the axes, the point in the middle of the overlap.
    ASSERT_TRUE(cylinderCylinderIntersect(first, cylinder(Vector3(1.5f, 0, 1), UP, 1.0f, 4.0f), point, normal));
    expectNear(Vector3(-1, 0, 0), normal);
    expectNear(Vector3(0.75f, 0, 2.5f), point);
    // The same with the second pointing the other way.
    ASSERT_TRUE(cylinderCylinderIntersect(first, cylinder(Vector3(1.5f, 0, 5), Vector3(0, 0, -1), 1.0f, 4.0f), point,
                                          normal));
    expectNear(Vector3(-1, 0, 0), normal);
    // Stacked end to end with a small overlap: pushed apart along the axis.
    ASSERT_TRUE(cylinderCylinderIntersect(first, cylinder(Vector3(0.2f, 0, 3.9f), UP, 1.0f, 4.0f), point, normal));
    expectNear(Vector3(0, 0, -1), normal);
    expectNear(Vector3(0.1f, 0, 3.95f), point);
    EXPECT_FALSE(cylinderCylinderIntersect(first, cylinder(Vector3(2.5f, 0, 1), UP, 1.0f, 4.0f), point, normal));
    EXPECT_FALSE(cylinderCylinderIntersect(first, cylinder(Vector3(0, 0, 4.5f), UP, 1.0f, 4.0f), point, normal));
}

TEST_F(CollisionTest, ThreePlanes)
{
    Vector3 p;
    ASSERT_TRUE(threePlaneIntersect(Vector3(1, 0, 0), -1, Vector3(0, 1, 0), -2, UP, -3, p));
    expectNear(Vector3(1, 2, 3), p);
    // A negative determinant (left-handed order) and parallel planes give no point.
    EXPECT_FALSE(threePlaneIntersect(Vector3(0, 1, 0), -2, Vector3(1, 0, 0), -1, UP, -3, p));
    EXPECT_FALSE(threePlaneIntersect(Vector3(1, 0, 0), -1, Vector3(1, 0, 0), -2, UP, -3, p));
}

}  // namespace
