// Collision maths: intersection tests between the primitive shapes of the game's collision objects
// (sphere, infinite ray, finite ray, cylinder, polygon, convex hull). Tests are pure functions of
// their arguments, except that some take pooled CIntersection records and link them into a
// caller's list. Single-precision floats, row vectors, hull orientations as Matrix3 (hull space to
// world: v·R + position; world to hull: (v - position)·Rᵀ).
//
// Tests that give a normal give it pointing from the second shape of the pair toward the first
// (for hull tests, out of the hull unless the flip flag asks for the reverse).
//
// Records come from the intersection pool of the game-object layer, which registers its services
// when the collision-object manager creates the pool; the list element pool must be running for the
// live-record list and callers' lists.
#pragma once

#include "utility/LList.h"
#include "utility/VectorMath.h"

#include <cmath>
#include <cstdint>

// What the collision maths takes from the game-object layer above it.
struct SCollisionServices {
    bool (*poolExists)();
    bool (*allocate)(uint32_t size, void** block);  // false when the pool is exhausted
    void (*release)(void* block);
    void (*invalidContact)();  // settles the pair under test, when one is known
};
// Null: none (records are refused with a report, invalid contacts are simply no hit).
void setCollisionServices(const SCollisionServices* services);

// One contact.
struct CIntersection {
    Vector3 point;          // world contact point
    Vector3 normal;         // world contact normal
    void* objectA;          // the caller's own object
    void* objectB;          // the other object of the pair
    llistElement* element;  // this record's element in the live-record list
};

// A triangle with its unit plane normal and outward edge normals in the plane: edge 0 runs P0-P1,
// edge 1 P1-P2, edge 2 P2-P0. The vertices are indices into a shared array.
struct CollisionPolygon {
    const Vector3* vertices;
    uint32_t indices[3];
    Vector3 normal;
    Vector3 edgeNormals[3];

    const Vector3& vertex(int i) const { return vertices[indices[i]]; }
};

// The edge planes of one hull face, in hull space: a point of the face's plane lies inside the
// face when edgeNormals[e]·x + edgeDistances[e] <= 0 for every edge.
struct CollisionHullFace {
    uint32_t numEdges;
    const Vector3* edgeNormals;
    const float* edgeDistances;
};

// A convex hull: plane i holds the hull-space points x with normals[i]·x + distances[i] <= 0.
// faces (one per plane, or null) is only needed by cylinderHullContactPolygon.
struct CollisionHull {
    Vector3 position;
    Matrix3 orientation;
    uint32_t numPlanes;
    const Vector3* normals;
    const float* distances;
    const CollisionHullFace* faces;

    // A world point in hull space, and back.
    void toHull(const Vector3& world, Vector3& local) const { orientation.transformTransposed(world - position, local); }
    void toWorld(const Vector3& local, Vector3& world) const
    {
        orientation.transform(local, world);
        world += position;
    }
};

// A solid cylinder running from the base centre along the unit axis for the length.
struct CollisionCylinder {
    Vector3 base;
    Vector3 axis;
    float radius;
    float length;

    // Where the centre lies along a unit direction, and half the cylinder's reach along it.
    void projection(const Vector3& dir, float& centre, float& half) const
    {
        const float c = axis.dot(dir);
        const float across = 1.0f - c * c;
        centre = (base + axis * (0.5f * length)).dot(dir);
        half = std::fabs(c) * 0.5f * length + radius * (across > 0.0f ? std::sqrt(across) : 0.0f);
    }
};

// Records -------------------------------------------------------------------------------------

// A record from the pool, already on the live list; null (with a report) when the pool is
// exhausted or missing.
CIntersection* allocIntersection(uint32_t size = sizeof(CIntersection));
// Takes the record off the live list and returns it to the pool.
void freeIntersection(CIntersection* record);
// Frees every record of a caller's list and empties it; a null or empty list is left alone.
void freeIntersectionList(llist* list);
// Records currently handed out.
uint32_t liveIntersectionCount();

// Static tests ------------------------------------------------------------------------------------

// Unit direction; the origin inside the sphere gives the exit point; a graze (h² < 1e-6) misses.
bool sphereInfiniteRayIntersect(const Vector3& origin, const Vector3& dir, const Vector3& centre, float radius,
                                Vector3& point, Vector3& normal);
// As above, but an origin strictly inside gives t = 0 at the origin; the caller compares t with
// the ray's length. Non-finite input or arithmetic is refused (see the collision pair).
bool sphereFiniteRayIntersect(const Vector3& origin, const Vector3& dir, const Vector3& centre, float radius,
                              float& t, Vector3& point, Vector3& normal);
// Touching counts; the point is the middle of the overlap; the normal points from c2 toward c1.
bool sphereSphereIntersect(Vector3 c1, float r1, Vector3 c2, float r2, Vector3& point, Vector3& normal);
bool spherePolyIntersect(const Vector3& centre, float radius, const CollisionPolygon& poly, Vector3& normal,
                         Vector3& point);
// The deepest plane decides; planes within 0.001 of it add records. On separation the given list
// is freed. list may be null.
bool sphereConvexHullIntersect(const Vector3& centre, float radius, const CollisionHull& hull, bool flip,
                               void* objectA, void* objectB, llist* list, Vector3& point, Vector3& normal);
bool rayConvexHullIntersect(const Vector3& origin, const Vector3& dir, const CollisionHull& hull, bool flip,
                            float& t, Vector3& point, Vector3& normal);
// A segment (origin, origin + segment) against the triangle; points on an edge are inside.
bool rayPolyIntersect(const Vector3& origin, const Vector3& segment, const CollisionPolygon& poly, Vector3& hit);
bool infiniteRayPolyIntersect(const Vector3& origin, const Vector3& dir, const CollisionPolygon& poly, Vector3& hit);
// Forward hits only (t >= 0); the segment form also needs t <= 1.
bool rayPlaneIntersect(const Vector3& origin, const Vector3& dir, const Vector3& normal, const Vector3& onPlane,
                       Vector3& hit);
bool segmentPlaneIntersect(const Vector3& origin, const Vector3& segment, const Vector3& normal,
                           const Vector3& onPlane, Vector3& hit);
// Möller-Trumbore; u, v and t are written as computed even when the test then fails.
bool rayTriangleIntersect(const Vector3& origin, const Vector3& dir, const Vector3& p0, const Vector3& p1,
                          const Vector3& p2, float& u, float& v, float& t);
// Positive to the left of the directed line a->b (x and y only); a vertical offset, not a distance.
float sideOfLine2D(const Vector3& a, const Vector3& b, const Vector3& p);
// The parameter at which p0->p1 meets n·x + d = 0 (no guard for a parallel segment).
float segmentPlaneParameter(const Vector3& p0, const Vector3& p1, const Vector3& n, float d);

// Cylinder tests ----------------------------------------------------------------------------------

// A contact record of the walker's contact builder (heap-allocated; the caller deletes it).
struct CContactPolygon {
    static const uint32_t MAX_POINTS = 16;
    uint32_t face;      // hull plane index
    int32_t code;       // classifyCylinderPlane's result
    uint32_t kind;      // 1: point or segment, 3: strip
    uint32_t numPoints;
    Vector3 points[MAX_POINTS];  // world space
};

// Angle-linear estimate of the cylinder's distance interval from the plane n·x + d = 0.
void cylinderPlaneExtent(const CollisionCylinder& cyl, const Vector3& n, float d, float& low, float& high);
// For an axis parallel to the plane: the strip's four corners; false when the plane misses.
bool cylinderPlaneSlice(const Vector3& n, float d, const CollisionCylinder& cyl, Vector3 points[4]);
// -1: an end cap on the plane, 0: no contact, 1: one point (or a segment), 2: a strip of four.
int classifyCylinderPlane(const Vector3& n, float d, const CollisionCylinder& cyl, Vector3 points[4],
                          uint32_t& numPoints);
// Signed distance of the cylinder's lowest point from the plane; false when separated.
bool cylinderPlaneSeparation(const CollisionCylinder& cyl, const Vector3& n, float d, float& depth);
// The chosen plane (greatest depth below 1e-6) gives the world normal and a push-out point on it.
// On separation the given list is freed. list may be null.
bool collideCylinderHull(const CollisionCylinder& cyl, const CollisionHull& hull, void* objectA, void* objectB,
                         llist* list, uint32_t& plane, Vector3& normal, Vector3& point);
// Normal from the cylinder toward the sphere; the point lies on the cylinder's surface. Contact
// whenever the centre lies in the cylinder grown by the sphere's radius, whose edges are square:
// a sphere just clear of a rim still touches it.
bool sphereCylinderIntersect(const Vector3& centre, float radius, const CollisionCylinder& cyl, Vector3& point,
                             Vector3& normal);
// An origin inside the cylinder hits at t = 0 with -dir as normal, except along the axis toward
// the base: then the far cap is met at a negative t. Callers take t <= 0 as touching at the start.
bool rayCylinderIntersect(const Vector3& origin, const Vector3& dir, CollisionCylinder cyl, float& t,
                          Vector3& point, Vector3& normal);
// Appends one CContactPolygon per hull face in contact (clipped by the face's edge planes) to the
// list; returns how many were appended.
uint32_t cylinderHullContactPolygon(const CollisionCylinder& cyl, const CollisionHull& hull, llist* list);
// Deletes every CContactPolygon of the list and empties it.
void freeContactPolygonList(llist* list);
// Extents of both cylinders along dir; false when they do not overlap. lowerFirst tells whether
// the first cylinder's interval lies lower.
bool cylinderIntervalOverlap(const CollisionCylinder& c1, const CollisionCylinder& c2, const Vector3& dir,
                             float& low, float& high, bool& lowerFirst);
// Normal from the second cylinder toward the first.
bool cylinderCylinderIntersect(const CollisionCylinder& c1, const CollisionCylinder& c2, Vector3& point,
                               Vector3& normal);
// The point common to the planes Nk·x + Dk = 0; false when N1·(N2 × N3) < 1e-6.
bool threePlaneIntersect(const Vector3& n1, float d1, const Vector3& n2, float d2, const Vector3& n3, float d3,
                         Vector3& point);
