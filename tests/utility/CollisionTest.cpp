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

class Creature : public testkinds::BareObject {
public:
    explicit Creature(uint32_t type) : BareObject(type) {}
    void OnDeath(int32_t) override { ++deaths; }
    int deaths = 0;
};

// A right triangle in the z = 0 plane facing +z: P0 (0,0), P1 (2,0), P2 (0,2).
struct Triangle {
    Vector3 vertices[3] = {Vector3(0, 0, 0), Vector3(2, 0, 0), Vector3(0, 2, 0)};
    CollisionPolygon poly;
    Triangle()
    {
        poly.vertices = vertices;
        poly.indices[0] = 0;
        poly.indices[1] = 1;
        poly.indices[2] = 2;
        poly.normal = Vector3(0, 0, 1);
        poly.edgeNormals[0] = Vector3(0, -1, 0);
        const float h = std::sqrt(0.5f);
        poly.edgeNormals[1] = Vector3(h, h, 0);
        poly.edgeNormals[2] = Vector3(-1, 0, 0);
    }
};

TEST_F(CollisionTest, RecordsComeFromThePoolAndSitOnTheLiveList)
{
    CIntersection* a = allocIntersection();
    CIntersection* b = allocIntersection();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(2u, liveIntersectionCount());
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
    freeIntersectionList(nullptr);
    freeIntersection(nullptr);
    EXPECT_EQ(1, countReports("obj"));
}

TEST_F(CollisionTest, ExhaustedOrMissingPoolGivesNoRecord)
{
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

TEST_F(CollisionTest, SphereFiniteRayStartsInsideAtTheOrigin)
{
    const Vector3 centre(0, 0, 0);
    float t = -1;
    Vector3 point, normal;
    ASSERT_TRUE(sphereFiniteRayIntersect(Vector3(0, 1, 0), Vector3(1, 0, 0), centre, 2.0f, t, point, normal));
    EXPECT_EQ(0.0f, t);
    expectNear(Vector3(0, 1, 0), point);
    expectNear(Vector3(0, 1, 0), normal);

    // On the surface (d² = r²): the exit point.
    ASSERT_TRUE(sphereFiniteRayIntersect(Vector3(-2, 0, 0), Vector3(1, 0, 0), centre, 2.0f, t, point, normal));
    EXPECT_FLOAT_EQ(4.0f, t);
}

TEST_F(CollisionTest, InvalidRayArithmeticSettlesThePairInstead)
{
    Creature first(0x02000004), second(CGameObject::TYPE_STATIC_OBJECT);
    float t;
    Vector3 point, normal;
    // No pair known: simply no hit.
    EXPECT_FALSE(sphereFiniteRayIntersect(Vector3(kNaN, 0, 0), Vector3(1, 0, 0), Vector3(), 1.0f, t, point, normal));
    collisionPairSecond = &second;
    EXPECT_FALSE(sphereFiniteRayIntersect(Vector3(kNaN, 0, 0), Vector3(1, 0, 0), Vector3(), 1.0f, t, point, normal));
    EXPECT_EQ(0, first.deaths);

    collisionPairFirst = &first;
    EXPECT_FALSE(sphereFiniteRayIntersect(Vector3(-5, 0, 0), Vector3(1, 0, 0), Vector3(0, 0, kNaN), 1.0f, t, point,
                                          normal));
    EXPECT_EQ(1, first.deaths);
    // An infinite radius makes the root non-finite.
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(sphereInfiniteRayIntersect(Vector3(-5, 0, 0), Vector3(1, 0, 0), Vector3(), inf, point, normal));
    EXPECT_EQ(2, first.deaths);
    EXPECT_EQ(0, second.deaths);
}

TEST_F(CollisionTest, SphereSphereCoincident)
{
    Vector3 point, normal;
    // Coincident centres: the normal falls back to +y.
    ASSERT_TRUE(sphereSphereIntersect(Vector3(4, 5, 6), 1.0f, Vector3(4, 5, 6), 1.0f, point, normal));
    expectNear(Vector3(0, 1, 0), normal);
}

TEST_F(CollisionTest, PlanesAndSegments)
{
    const Vector3 n(0, 0, 1), onPlane(0, 0, 5);
    Vector3 hit;
    ASSERT_TRUE(rayPlaneIntersect(Vector3(1, 1, 0), Vector3(0, 0, 1), n, onPlane, hit));
    expectNear(Vector3(1, 1, 5), hit);
    EXPECT_FALSE(rayPlaneIntersect(Vector3(1, 1, 0), Vector3(0, 0, -1), n, onPlane, hit));  // behind
    EXPECT_FALSE(rayPlaneIntersect(Vector3(1, 1, 0), Vector3(1, 0, 0), n, onPlane, hit));   // parallel
    ASSERT_TRUE(segmentPlaneIntersect(Vector3(0, 0, 0), Vector3(0, 0, 5), n, onPlane, hit));  // t = 1
    expectNear(Vector3(0, 0, 5), hit);
    EXPECT_FALSE(segmentPlaneIntersect(Vector3(0, 0, 0), Vector3(0, 0, 4.9f), n, onPlane, hit));
    EXPECT_FLOAT_EQ(0.25f, segmentPlaneParameter(Vector3(0, 0, 4), Vector3(0, 0, 8), n, -5.0f));
}

TEST_F(CollisionTest, RayTriangleWritesItsParametersAsItGoes)
{
    const Vector3 p0(0, 0, 0), p1(1, 0, 0), p2(0, 1, 0);
    float u = -1, v = -1, t = -1;
    ASSERT_TRUE(rayTriangleIntersect(Vector3(0.25f, 0.5f, 2), Vector3(0, 0, -1), p0, p1, p2, u, v, t));
    EXPECT_FLOAT_EQ(0.25f, u);
    EXPECT_FLOAT_EQ(0.5f, v);
    EXPECT_FLOAT_EQ(2.0f, t);
    // Edges count: u = 0 and u + v = 1.
    EXPECT_TRUE(rayTriangleIntersect(Vector3(0, 0.5f, 2), Vector3(0, 0, -1), p0, p1, p2, u, v, t));
    EXPECT_TRUE(rayTriangleIntersect(Vector3(0.5f, 0.5f, 2), Vector3(0, 0, -1), p0, p1, p2, u, v, t));
    // Parallel: a miss before anything is written; behind the origin fails after t was written.
    u = v = t = -7;
    EXPECT_FALSE(rayTriangleIntersect(Vector3(0, 0, 1), Vector3(1, 0, 0), p0, p1, p2, u, v, t));
    EXPECT_EQ(-7.0f, u);
    EXPECT_FALSE(rayTriangleIntersect(Vector3(0.25f, 0.25f, 2), Vector3(0, 0, 1), p0, p1, p2, u, v, t));
    EXPECT_FLOAT_EQ(-2.0f, t);
}

TEST_F(CollisionTest, SphereAgainstPolygon)
{
    Triangle tri;
    Vector3 normal, point;
    // Over the triangle: the projection, the face normal.
    ASSERT_TRUE(spherePolyIntersect(Vector3(0.5f, 0.5f, 0.3f), 0.5f, tri.poly, normal, point));
    expectNear(Vector3(0.5f, 0.5f, 0), point);
    expectNear(Vector3(0, 0, 1), normal);
    // Past edge P0-P1: the nearest point of that edge's line, the normal tilted toward the edge.
    ASSERT_TRUE(spherePolyIntersect(Vector3(1, -0.3f, 0), 0.5f, tri.poly, normal, point));
    expectNear(Vector3(1, 0, 0), point);
    const float h = std::sqrt(0.5f);
    expectNear(Vector3(0, -h, h), normal);
    // Past the corner P0: both edges pass, the later (P2-P0) gives the point.
    ASSERT_TRUE(spherePolyIntersect(Vector3(-0.2f, -0.2f, 0), 0.5f, tri.poly, normal, point));
    expectNear(Vector3(0, -0.2f, 0), point);
    // Too far above or beyond an edge; behind the plane is not rejected.
    EXPECT_FALSE(spherePolyIntersect(Vector3(0.5f, 0.5f, 0.6f), 0.5f, tri.poly, normal, point));
    EXPECT_FALSE(spherePolyIntersect(Vector3(0.5f, -0.6f, 0), 0.5f, tri.poly, normal, point));
    EXPECT_TRUE(spherePolyIntersect(Vector3(0.5f, 0.5f, -3), 0.5f, tri.poly, normal, point));
}

TEST_F(CollisionTest, SideOfLine2D)
{
    const Vector3 a(0, 0, 0), b(2, 2, 0);
    EXPECT_FLOAT_EQ(1.0f, sideOfLine2D(a, b, Vector3(0, 1, 9)));  // left of a->b: a vertical offset
    EXPECT_FLOAT_EQ(-1.0f, sideOfLine2D(a, b, Vector3(1, 0, 0)));
    EXPECT_FLOAT_EQ(-1.0f, sideOfLine2D(b, a, Vector3(0, 1, 0)));  // reversed line
    EXPECT_FLOAT_EQ(3.0f, sideOfLine2D(Vector3(0, 0, 0), Vector3(0, 5, 0), Vector3(-3, 1, 0)));   // vertical, up
    EXPECT_FLOAT_EQ(-3.0f, sideOfLine2D(Vector3(0, 5, 0), Vector3(0, 0, 0), Vector3(-3, 1, 0)));  // vertical, down
    EXPECT_EQ(0.0f, sideOfLine2D(a, a, Vector3(4, 4, 0)));
}

TEST_F(CollisionTest, RayHullFlipTurnsTheWorldNormal)
{
    // Entry points and times are the property test's; here the turned hull's normal and its flip.
    Matrix3 turn;
    turn.setRotationZ(1.5707964f);  // hull y becomes world +x
    BoxHull box(Vector3(1, 2, 3), Vector3(10, 0, 0), turn);
    float t;
    Vector3 point, normal;
    ASSERT_TRUE(rayConvexHullIntersect(Vector3(20, 0.5f, 0), Vector3(-1, 0, 0), box.hull, false, t, point, normal));
    expectNear(Vector3(1, 0, 0), normal);
    ASSERT_TRUE(rayConvexHullIntersect(Vector3(20, 0.5f, 0), Vector3(-1, 0, 0), box.hull, true, t, point, normal));
    expectNear(Vector3(-1, 0, 0), normal);
}

TEST_F(CollisionTest, RayHullEdgeHitSumsNormals)
{
    BoxHull box(Vector3(1, 1, 1));
    const float h = std::sqrt(0.5f);
    float t;
    Vector3 point, normal;
    ASSERT_TRUE(rayConvexHullIntersect(Vector3(3, 3, 0), Vector3(-h, -h, 0), box.hull, false, t, point, normal));
    expectNear(Vector3(h, h, 0), normal);
    expectNear(Vector3(1, 1, 0), point);
    // Entering +x while leaving through +y: an entry point outside +y by less than 0.1 counts.
    Vector3 slant(-1, 0.52f, 0);
    slant.normalise();
    ASSERT_TRUE(rayConvexHullIntersect(Vector3(3, 0, 0), slant, box.hull, false, t, point, normal));
    expectNear(Vector3(1, 1.04f, 0), point);
    slant.set(-1, 0.6f, 0);
    slant.normalise();
    EXPECT_FALSE(rayConvexHullIntersect(Vector3(3, 0, 0), slant, box.hull, false, t, point, normal));
}

TEST_F(CollisionTest, RayHullFromInsideDependsOnPlaneOrder)
{
    // Origin inside, moving +x: only the -x plane is "entered" (at t = -2).
    Vector3 normals[2] = {Vector3(-1, 0, 0), Vector3(1, 0, 0)};
    float distances[2] = {-1, -1};
    CollisionHull hull{Vector3(), Matrix3(), 2, normals, distances, nullptr};
    float t;
    Vector3 point, normal;
    ASSERT_TRUE(rayConvexHullIntersect(Vector3(1, 0, 0), Vector3(1, 0, 0), hull, false, t, point, normal));
    EXPECT_FLOAT_EQ(-2.0f, t);
    std::swap(normals[0], normals[1]);
    ASSERT_TRUE(rayConvexHullIntersect(Vector3(1, 0, 0), Vector3(1, 0, 0), hull, false, t, point, normal));
    EXPECT_FLOAT_EQ(0.0f, t);  // the non-entering plane came first
    expectNear(Vector3(1, 0, 0), point);
}

TEST_F(CollisionTest, SphereHullFaceContactMakesOneWorldRecord)
{
    Matrix3 turn;
    turn.setRotationX(0.5f);
    BoxHull box(Vector3(1, 1, 1), Vector3(5, 5, 5), turn);
    Vector3 up;
    turn.transform(Vector3(0, 1, 0), up);
    const Vector3 centre = Vector3(5, 5, 5) + up * 1.4f;  // 0.1 into the +y face
    int a = 0, b = 0;
    llist list;
    Vector3 point, normal;
    ASSERT_TRUE(sphereConvexHullIntersect(centre, 0.5f, box.hull, false, &a, &b, &list, point, normal));
    expectNear(up, normal);
    expectNear(Vector3(5, 5, 5) + up, point);
    auto recs = records(list);
    ASSERT_EQ(1u, recs.size());
    expectNear(Vector3(5, 5, 5) + up, recs[0]->point);
    EXPECT_EQ(&a, recs[0]->objectA);
    EXPECT_EQ(&b, recs[0]->objectB);

    // The flip flag turns record and result normals around.
    freeIntersectionList(&list);
    ASSERT_TRUE(sphereConvexHullIntersect(centre, 0.5f, box.hull, true, &a, &b, &list, point, normal));
    expectNear(up.negated(), normal);
    expectNear(up.negated(), records(list)[0]->normal);
    freeIntersectionList(&list);
}

TEST_F(CollisionTest, SphereHullSeparationFreesTheCallersList)
{
    BoxHull box(Vector3(1, 1, 1));
    llist list;
    list.InsertAfter(allocIntersection());
    Vector3 point, normal;
    EXPECT_FALSE(sphereConvexHullIntersect(Vector3(0, 3, 0), 0.5f, box.hull, false, nullptr, nullptr, &list, point,
                                           normal));
    EXPECT_TRUE(list.Empty());
    // Touching counts (s = 0).
    EXPECT_TRUE(sphereConvexHullIntersect(Vector3(0, 1.5f, 0), 0.5f, box.hull, false, nullptr, nullptr, nullptr,
                                          point, normal));
}

TEST_F(CollisionTest, SphereHullEdgeTiesShareTheContact)
{
    BoxHull box(Vector3(1, 1, 1));
    llist list;
    Vector3 point, normal;
    // Equally deep past +x and +y: two records, normal between them, point on the edge.
    ASSERT_TRUE(sphereConvexHullIntersect(Vector3(1.2f, 1.2f, 0), 0.5f, box.hull, false, nullptr, nullptr, &list,
                                          point, normal));
    auto recs = records(list);
    ASSERT_EQ(2u, recs.size());
    expectNear(Vector3(1, 0, 0), recs[0]->normal);
    expectNear(Vector3(0, 1, 0), recs[1]->normal);
    const float h = std::sqrt(0.5f);
    expectNear(Vector3(h, h, 0), normal);
    expectNear(Vector3(1.1f, 1.1f, 0), point);  // the mean of the two projections

    // Ties are within 0.001 of the deepest: 0.0005 shallower ties, 0.005 shallower does not.
    freeIntersectionList(&list);
    ASSERT_TRUE(sphereConvexHullIntersect(Vector3(1.2005f, 1.2f, 0), 0.5f, box.hull, false, nullptr, nullptr, &list,
                                          point, normal));
    EXPECT_EQ(2u, list.getNumItems());
    freeIntersectionList(&list);
    ASSERT_TRUE(sphereConvexHullIntersect(Vector3(1.205f, 1.2f, 0), 0.5f, box.hull, false, nullptr, nullptr, &list,
                                          point, normal));
    EXPECT_EQ(1u, list.getNumItems());
    expectNear(Vector3(1, 0, 0), normal);

    // A deeper plane later in the order resets the records to itself.
    freeIntersectionList(&list);
    ASSERT_TRUE(sphereConvexHullIntersect(Vector3(1.2f, 1.3f, 0), 0.5f, box.hull, false, nullptr, nullptr, &list,
                                          point, normal));
    recs = records(list);
    ASSERT_EQ(1u, recs.size());
    expectNear(Vector3(0, 1, 0), recs[0]->normal);
    expectNear(Vector3(0, 1, 0), normal);
    freeIntersectionList(&list);

    // Sphere at the centre: all six planes tie; opposite faces cancel and the fallback is +x.
    ASSERT_TRUE(sphereConvexHullIntersect(Vector3(), 0.5f, box.hull, false, nullptr, nullptr, &list, point, normal));
    EXPECT_EQ(6u, list.getNumItems());
    expectNear(Vector3(1, 0, 0), normal);
    freeIntersectionList(&list);
}

TEST_F(CollisionTest, SphereHullGoesOnWithoutRecordsWhenThePoolIsEmpty)
{
    std::vector<CIntersection*> taken;
    for (uint32_t i = 0; i < POOL_RECORDS; ++i) taken.push_back(allocIntersection());
    BoxHull box(Vector3(1, 1, 1));
    llist list;
    Vector3 point, normal;
    EXPECT_TRUE(sphereConvexHullIntersect(Vector3(0, 1.2f, 0), 0.5f, box.hull, false, nullptr, nullptr, &list, point,
                                          normal));
    EXPECT_TRUE(list.Empty());
    // Three records were due (+x, its tie -x, then the deeper +y).
    EXPECT_EQ(3, countReports("Failed to allocate CIntersection object"));
    EXPECT_EQ(3, countReports("pIntersection"));
    expectNear(Vector3(0, 1, 0), point);
    for (CIntersection* r : taken) freeIntersection(r);
}

}  // namespace
