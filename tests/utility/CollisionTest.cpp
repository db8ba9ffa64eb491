#include "CollisionTestSupport.h"
#include "TestKinds.h"
#include "TestSupport.h"
#include <cmath>
#include <limits>

namespace {

using collisiontest::BoxHull;
using collisiontest::CollisionTest;
using collisiontest::expectNear;
using testsupport::countReports;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kH = std::sqrt(0.5f);

struct Creature : testkinds::BareObject {
    explicit Creature(uint32_t type) : BareObject(type) {}
    void OnDeath(int32_t) override { ++deaths; }
    int deaths = 0;
};

TEST_F(CollisionTest, RecordsComeFromThePoolAndSitOnTheLiveList)
{
    CIntersection* a = allocIntersection();
    CIntersection* b = allocIntersection();
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(a, a->element->data);
    freeIntersection(a);
    EXPECT_EQ(1u, liveIntersectionCount());
    llist list;
    list.InsertAfter(b);
    list.InsertAfter(nullptr);  // a hole in a caller's list is reported, not followed
    freeIntersectionList(&list);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(0u, liveIntersectionCount());
    EXPECT_EQ(1, countReports("Bebop, skiddley bop...budum tish"));
    std::vector<CIntersection*> taken;
    for (uint32_t i = 0; i < POOL_RECORDS; ++i) taken.push_back(allocIntersection());
    EXPECT_EQ(nullptr, allocIntersection());
    EXPECT_EQ(1, countReports("Failed to allocate CIntersection object"));
    for (CIntersection* r : taken) freeIntersection(r);
    destroyIntersectionMemoryManager();
    EXPECT_EQ(nullptr, allocIntersection());
    EXPECT_EQ(1, countReports("intersectionMemoryManager"));
    createIntersectionMemoryManager(POOL_RECORDS, sizeof(CIntersection));
}

TEST_F(CollisionTest, RaysPlanesAndSpheresAtTheirEdgeCases)
{
    float t = -1;
    Vector3 point, normal;
    // A finite ray starting inside a sphere hits at its origin; on the surface (d² = r²) at the exit.
    ASSERT_TRUE(sphereFiniteRayIntersect(Vector3(0, 1, 0), Vector3(1, 0, 0), Vector3(), 2.0f, t, point, normal));
    EXPECT_EQ(0.0f, t);
    expectNear(Vector3(0, 1, 0), normal);
    ASSERT_TRUE(sphereFiniteRayIntersect(Vector3(-2, 0, 0), Vector3(1, 0, 0), Vector3(), 2.0f, t, point, normal));
    EXPECT_FLOAT_EQ(4.0f, t);
    ASSERT_TRUE(sphereSphereIntersect(Vector3(4, 5, 6), 1.0f, Vector3(4, 5, 6), 1.0f, point, normal));
    expectNear(Vector3(0, 1, 0), normal);  // coincident centres: +y

    const Vector3 n(0, 0, 1), onPlane(0, 0, 5);
    ASSERT_TRUE(rayPlaneIntersect(Vector3(1, 1, 0), Vector3(0, 0, 1), n, onPlane, point));
    expectNear(Vector3(1, 1, 5), point);
    EXPECT_FALSE(rayPlaneIntersect(Vector3(1, 1, 0), Vector3(0, 0, -1), n, onPlane, point));  // behind
    EXPECT_FALSE(rayPlaneIntersect(Vector3(1, 1, 0), Vector3(1, 0, 0), n, onPlane, point));   // parallel
    EXPECT_TRUE(segmentPlaneIntersect(Vector3(0, 0, 0), Vector3(0, 0, 5), n, onPlane, point));  // t = 1
    EXPECT_FALSE(segmentPlaneIntersect(Vector3(0, 0, 0), Vector3(0, 0, 4.9f), n, onPlane, point));
    EXPECT_FLOAT_EQ(0.25f, segmentPlaneParameter(Vector3(0, 0, 4), Vector3(0, 0, 8), n, -5.0f));

    // Triangle edges count (u = 0, u + v = 1).
    float u = -7, v = -7;
    for (float x : {0.0f, 0.5f})
        EXPECT_TRUE(rayTriangleIntersect(Vector3(x, 0.5f, 2), Vector3(0, 0, -1), Vector3(), Vector3(1, 0, 0), Vector3(0, 1, 0), u, v, t));

    // Left of a->b is positive, scaled by the line's vertical offset; a vertical line uses x.
    const Vector3 a(0, 0, 0), b(2, 2, 0);
    EXPECT_EQ(std::vector<float>({1, -1, -1, 3, -3, 0}),
              std::vector<float>({sideOfLine2D(a, b, Vector3(0, 1, 9)), sideOfLine2D(a, b, Vector3(1, 0, 0)),
                                  sideOfLine2D(b, a, Vector3(0, 1, 0)), sideOfLine2D(a, Vector3(0, 5, 0), Vector3(-3, 1, 0)),
                                  sideOfLine2D(Vector3(0, 5, 0), a, Vector3(-3, 1, 0)), sideOfLine2D(a, a, Vector3(4, 4, 0))}));
}

TEST_F(CollisionTest, InvalidRayArithmeticSettlesThePairInstead)
{
    Creature first(0x02000004), second(CGameObject::TYPE_STATIC_OBJECT);
    float t;
    Vector3 point, normal;
    // No pair known, or only the second: simply no hit.
    EXPECT_FALSE(sphereFiniteRayIntersect(Vector3(kNaN, 0, 0), Vector3(1, 0, 0), Vector3(), 1.0f, t, point, normal));
    collisionPairSecond = &second;
    EXPECT_FALSE(sphereFiniteRayIntersect(Vector3(kNaN, 0, 0), Vector3(1, 0, 0), Vector3(), 1.0f, t, point, normal));
    EXPECT_EQ(0, first.deaths);
    collisionPairFirst = &first;
    EXPECT_FALSE(sphereFiniteRayIntersect(Vector3(-5, 0, 0), Vector3(1, 0, 0), Vector3(0, 0, kNaN), 1.0f, t, point, normal));
    // An infinite radius makes the root non-finite.
    EXPECT_FALSE(sphereInfiniteRayIntersect(Vector3(-5, 0, 0), Vector3(1, 0, 0), Vector3(), std::numeric_limits<float>::infinity(),
                                            point, normal));
    EXPECT_EQ(std::make_pair(2, 0), std::make_pair(first.deaths, second.deaths));
}

TEST_F(CollisionTest, SphereAgainstPolygon)
{
    // A right triangle in the z = 0 plane facing +z: P0 (0,0), P1 (2,0), P2 (0,2).
    Vector3 vertices[3] = {Vector3(0, 0, 0), Vector3(2, 0, 0), Vector3(0, 2, 0)};
    CollisionPolygon poly{vertices, {0, 1, 2}, Vector3(0, 0, 1), {Vector3(0, -1, 0), Vector3(kH, kH, 0), Vector3(-1, 0, 0)}};
    Vector3 normal, point;
    // Over the triangle: the projection, the face normal.
    ASSERT_TRUE(spherePolyIntersect(Vector3(0.5f, 0.5f, 0.3f), 0.5f, poly, normal, point));
    expectNear(Vector3(0.5f, 0.5f, 0), point);
    expectNear(Vector3(0, 0, 1), normal);
    // Past edge P0-P1: the nearest point of that edge's line, the normal tilted toward the edge.
    ASSERT_TRUE(spherePolyIntersect(Vector3(1, -0.3f, 0), 0.5f, poly, normal, point));
    expectNear(Vector3(1, 0, 0), point);
    expectNear(Vector3(0, -kH, kH), normal);
    // Past the corner P0: both edges pass, the later (P2-P0) gives the point.
    ASSERT_TRUE(spherePolyIntersect(Vector3(-0.2f, -0.2f, 0), 0.5f, poly, normal, point));
    expectNear(Vector3(0, -0.2f, 0), point);
    // Too far above or beyond an edge; behind the plane is not rejected.
    EXPECT_FALSE(spherePolyIntersect(Vector3(0.5f, 0.5f, 0.6f), 0.5f, poly, normal, point));
    EXPECT_FALSE(spherePolyIntersect(Vector3(0.5f, -0.6f, 0), 0.5f, poly, normal, point));
    EXPECT_TRUE(spherePolyIntersect(Vector3(0.5f, 0.5f, -3), 0.5f, poly, normal, point));
}

TEST_F(CollisionTest, RayHullNormalsFlipsAndEdges)
{
    // Entry points and times are the property test's. A turned hull's world normal, and its flip.
    Matrix3 turn;
    turn.setRotationZ(1.5707964f);  // hull y becomes world +x
    BoxHull turned(Vector3(1, 2, 3), Vector3(10, 0, 0), turn), box(Vector3(1, 1, 1));
    float t;
    Vector3 point, normal;
    for (bool flip : {false, true}) {
        ASSERT_TRUE(rayConvexHullIntersect(Vector3(20, 0.5f, 0), Vector3(-1, 0, 0), turned.hull, flip, t, point, normal));
        expectNear(Vector3(flip ? -1.0f : 1.0f, 0, 0), normal);
    }
    // An edge hit sums the normals.
    ASSERT_TRUE(rayConvexHullIntersect(Vector3(3, 3, 0), Vector3(-kH, -kH, 0), box.hull, false, t, point, normal));
    expectNear(Vector3(kH, kH, 0), normal);
    expectNear(Vector3(1, 1, 0), point);
    // Entering +x while leaving through +y: an entry point outside +y by less than 0.1 counts.
    for (auto [slope, hit] : {std::pair{0.52f, true}, {0.6f, false}}) {
        Vector3 slant(-1, slope, 0);
        slant.normalise();
        EXPECT_EQ(hit, rayConvexHullIntersect(Vector3(3, 0, 0), slant, box.hull, false, t, point, normal)) << slope;
    }
}

TEST_F(CollisionTest, SphereHullContactsMakeWorldRecordsAndShareTies)
{
    Matrix3 turn;
    turn.setRotationX(0.5f);
    BoxHull turned(Vector3(1, 1, 1), Vector3(5, 5, 5), turn), box(Vector3(1, 1, 1));
    Vector3 up, point, normal;
    turn.transform(Vector3(0, 1, 0), up);
    int a = 0, b = 0;
    llist list;
    // 0.1 into the turned +y face: one record in world space with the pair; the flip turns the normals.
    for (bool flip : {false, true}) {
        ASSERT_TRUE(sphereConvexHullIntersect(Vector3(5, 5, 5) + up * 1.4f, 0.5f, turned.hull, flip, &a, &b, &list, point, normal));
        const Vector3 out = flip ? up.negated() : up;
        expectNear(out, normal);
        expectNear(Vector3(5, 5, 5) + up, point);
        auto recs = records(list);
        ASSERT_EQ(1u, recs.size());
        expectNear(out, recs[0]->normal);
        EXPECT_EQ(std::make_pair(static_cast<void*>(&a), static_cast<void*>(&b)), std::make_pair(recs[0]->objectA, recs[0]->objectB));
        freeIntersectionList(&list);

    }
    // Separation frees the caller's list; touching counts.
    list.InsertAfter(allocIntersection());
    EXPECT_FALSE(sphereConvexHullIntersect(Vector3(0, 3, 0), 0.5f, box.hull, false, nullptr, nullptr, &list, point, normal));
    EXPECT_TRUE(list.Empty());
    EXPECT_TRUE(sphereConvexHullIntersect(Vector3(0, 1.5f, 0), 0.5f, box.hull, false, nullptr, nullptr, nullptr, point, normal));

    // Planes within 0.001 of the deepest tie: the normal between them, the point the mean of the
    // projections; a deeper plane later in the order resets the records; at the centre all six tie,
    // opposite faces cancel and the fallback is +x.
    const struct { Vector3 centre; size_t records; Vector3 normal; } ties[] = {
        {Vector3(1.2f, 1.2f, 0), 2, Vector3(kH, kH, 0)}, {Vector3(1.2005f, 1.2f, 0), 2, Vector3(kH, kH, 0)},
        {Vector3(1.205f, 1.2f, 0), 1, Vector3(1, 0, 0)}, {Vector3(1.2f, 1.3f, 0), 1, Vector3(0, 1, 0)},
        {Vector3(), 6, Vector3(1, 0, 0)}};
    for (const auto& tie : ties) {
        ASSERT_TRUE(sphereConvexHullIntersect(tie.centre, 0.5f, box.hull, false, nullptr, nullptr, &list, point, normal));
        EXPECT_EQ(tie.records, list.getNumItems()) << tie.centre.x << " " << tie.centre.y;
        expectNear(tie.normal, normal, 1e-4f);
        if (tie.centre.x == 1.2f && tie.centre.y == 1.2f) expectNear(Vector3(1.1f, 1.1f, 0), point);
        freeIntersectionList(&list);
    }

    // With the pool empty it goes on without records: three were due (+x, its tie -x, then the deeper +y).
    std::vector<CIntersection*> taken;
    for (uint32_t i = 0; i < POOL_RECORDS; ++i) taken.push_back(allocIntersection());
    EXPECT_TRUE(sphereConvexHullIntersect(Vector3(0, 1.2f, 0), 0.5f, box.hull, false, nullptr, nullptr, &list, point, normal));
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(3, countReports("Failed to allocate CIntersection object"));
    expectNear(Vector3(0, 1, 0), point);
    for (CIntersection* r : taken) freeIntersection(r);
}

}  // namespace
