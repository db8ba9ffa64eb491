#include "utility/Collision.h"

#include "utility/Assert.h"

#include <cmath>

namespace {

const SCollisionServices* services = nullptr;

bool poolExists() { return services && services->poolExists && services->poolExists(); }

// Every record handed out, so that leaks can be found and counted.
llist& liveIntersections()
{
    static llist live;
    return live;
}

// Non-finite arithmetic is never reported as a hit: the pair under test, when known, is settled by
// the game objects' contact rule instead.
bool refuseInvalidContact()
{
    if (services && services->invalidContact) services->invalidContact();
    return false;
}

bool isValidVector(const Vector3& v) { return isValidFloat(v.x) && isValidFloat(v.y) && isValidFloat(v.z); }

// Where a ray along the unit direction meets the sphere: the exit point from inside, a graze
// (h² < 1e-6) a miss.
bool sphereRayHit(const Vector3& origin, const Vector3& dir, const Vector3& centre, float radius, float& t,
                  Vector3& point, Vector3& normal)
{
    const Vector3 w = centre - origin;
    const float tc = w.dot(dir);
    const float d2 = w.dot(w);
    const float r2 = radius * radius;
    if (tc < 0.0f && d2 > r2) return false;
    const float m2 = d2 - tc * tc;
    if (m2 > r2) return false;
    const float h2 = r2 - m2;
    if (h2 < 1e-6f) return false;
    const float h = fastSqrt(h2);
    if (!isValidFloat(h)) return refuseInvalidContact();
    t = (d2 <= r2) ? tc + h : tc - h;
    point = origin + dir * t;
    normal = (point - centre) * (1.0f / radius);
    return true;
}

void appendRecord(llist* list, CIntersection* record)
{
    list->GotoTail();
    list->InsertAfter(record);
}

}  // namespace

void setCollisionServices(const SCollisionServices* collisionServices) { services = collisionServices; }

CIntersection* allocIntersection(uint32_t size)
{
    if (!poolExists()) {
        assertFailed("intersectionMemoryManager", __FILE__, __LINE__);
        return nullptr;
    }
    void* block = nullptr;
    if (!services->allocate(size, &block) || !block) {
        assertFailedMsg("Failed to allocate CIntersection object", "0", __FILE__, __LINE__);
        return nullptr;
    }
    auto* record = static_cast<CIntersection*>(block);
    record->point = Vector3();
    record->normal = Vector3();
    record->objectA = record->objectB = nullptr;
    record->element = nullptr;
    llist& live = liveIntersections();
    live.GotoTail();
    live.InsertAfterGetElement(record, &record->element);
    return record;
}

void freeIntersection(CIntersection* record)
{
    if (!record) {
        assertFailed("obj", __FILE__, __LINE__);
        return;
    }
    if (!poolExists()) {
        assertFailed("intersectionMemoryManager", __FILE__, __LINE__);
        return;
    }
    if (record->element) liveIntersections().RemoveElement(record->element);
    record->element = nullptr;
    services->release(record);
}

void freeIntersectionList(llist* list)
{
    if (!list || list->Empty()) return;
    while (!list->Empty()) {
        list->GotoHead();
        auto* record = static_cast<CIntersection*>(list->GetCurrent());
        if (record)
            freeIntersection(record);
        else
            assertFailedMsg("Bebop, skiddley bop...budum tish", "pIntersection", __FILE__, __LINE__);
        list->RemoveCurrent();
    }
}

uint32_t liveIntersectionCount() { return liveIntersections().getNumItems(); }

bool sphereInfiniteRayIntersect(const Vector3& origin, const Vector3& dir, const Vector3& centre, float radius,
                                Vector3& point, Vector3& normal)
{
    float t = 0.0f;
    return sphereRayHit(origin, dir, centre, radius, t, point, normal);
}

bool sphereFiniteRayIntersect(const Vector3& origin, const Vector3& dir, const Vector3& centre, float radius,
                              float& t, Vector3& point, Vector3& normal)
{
    if (!isValidVector(dir) || !isValidVector(origin) || !isValidVector(centre)) return refuseInvalidContact();
    const Vector3 w = centre - origin;
    if (w.dot(w) < radius * radius) {
        t = 0.0f;
        point = origin;
        normal = origin - centre;
        normal.normalise();
        return true;
    }
    return sphereRayHit(origin, dir, centre, radius, t, point, normal);
}

bool sphereSphereIntersect(Vector3 c1, float r1, Vector3 c2, float r2, Vector3& point, Vector3& normal)
{
    const Vector3 delta = c1 - c2;
    const float d2 = delta.dot(delta);
    const float reach = r1 + r2;
    if (d2 > reach * reach) return false;
    if (d2 == 0.0f) {
        point = c1;
        normal.set(0.0f, 1.0f, 0.0f);
        return true;
    }
    const float d = fastSqrt(d2);
    normal = delta / d;
    point = c2 + normal * ((d - r1) - 0.5f * ((d - r1) - r2));
    return true;
}

bool rayPlaneIntersect(const Vector3& origin, const Vector3& dir, const Vector3& normal, const Vector3& onPlane,
                       Vector3& hit)
{
    const float den = dir.dot(normal);
    if (den == 0.0f) return false;
    const float t = -(origin.dot(normal) - normal.dot(onPlane)) / den;
    if (t < 0.0f) return false;
    hit = origin + dir * t;
    return true;
}

bool segmentPlaneIntersect(const Vector3& origin, const Vector3& segment, const Vector3& normal,
                           const Vector3& onPlane, Vector3& hit)
{
    const float den = segment.dot(normal);
    if (den == 0.0f) return false;
    const float t = -(origin.dot(normal) - normal.dot(onPlane)) / den;
    if (t < 0.0f || t > 1.0f) return false;
    hit = origin + segment * t;
    return true;
}

bool rayTriangleIntersect(const Vector3& origin, const Vector3& dir, const Vector3& p0, const Vector3& p1,
                          const Vector3& p2, float& u, float& v, float& t)
{
    const Vector3 e1 = p1 - p0;
    const Vector3 e2 = p2 - p0;
    const Vector3 p = dir.cross(e2);
    const float det = e1.dot(p);
    if (det > -1e-6f && det < 1e-6f) return false;
    const float invDet = 1.0f / det;
    const Vector3 s = origin - p0;
    u = s.dot(p) * invDet;
    if (u < 0.0f || u > 1.0f) return false;
    const Vector3 q = s.cross(e1);
    v = dir.dot(q) * invDet;
    if (v < 0.0f || u + v > 1.0f) return false;
    t = e2.dot(q) * invDet;
    return t >= 0.0f;
}

namespace {

bool insideTriangleEdges(const Vector3& hit, const CollisionPolygon& poly)
{
    if ((hit - poly.vertex(1)).dot(poly.edgeNormals[0]) > 0.0f) return false;
    if ((hit - poly.vertex(1)).dot(poly.edgeNormals[1]) > 0.0f) return false;
    if ((hit - poly.vertex(2)).dot(poly.edgeNormals[2]) > 0.0f) return false;
    return true;
}

Vector3 nearestOnLine(const Vector3& c, const Vector3& a, const Vector3& b)
{
    const Vector3 ab = b - a;
    return a + ab * ((c - a).dot(ab) / ab.dot(ab));
}

}  // namespace

bool rayPolyIntersect(const Vector3& origin, const Vector3& segment, const CollisionPolygon& poly, Vector3& hit)
{
    if (!segmentPlaneIntersect(origin, segment, poly.normal, poly.vertex(0), hit)) return false;
    return insideTriangleEdges(hit, poly);
}

bool infiniteRayPolyIntersect(const Vector3& origin, const Vector3& dir, const CollisionPolygon& poly, Vector3& hit)
{
    if (!rayPlaneIntersect(origin, dir, poly.normal, poly.vertex(0), hit)) return false;
    return insideTriangleEdges(hit, poly);
}

bool spherePolyIntersect(const Vector3& centre, float radius, const CollisionPolygon& poly, Vector3& normal,
                         Vector3& point)
{
    const Vector3& p0 = poly.vertex(0);
    const Vector3& p1 = poly.vertex(1);
    const Vector3& p2 = poly.vertex(2);
    const float d = (centre - p0).dot(poly.normal);
    if (d > radius) return false;
    const float e[3] = {(centre - p0).dot(poly.edgeNormals[0]), (centre - p2).dot(poly.edgeNormals[1]),
                        (centre - p2).dot(poly.edgeNormals[2])};
    if (e[0] > radius || e[1] > radius || e[2] > radius) return false;
    normal = poly.normal;
    point = centre - poly.normal * d;
    // With two edges passed the later one gives the point.
    const Vector3* ends[3][2] = {{&p0, &p1}, {&p1, &p2}, {&p2, &p0}};
    for (int i = 0; i < 3; ++i) {
        if (e[i] <= 0.0f) continue;
        normal += poly.edgeNormals[i];
        point = nearestOnLine(centre, *ends[i][0], *ends[i][1]);
    }
    normal.normalise();
    return true;
}

float sideOfLine2D(const Vector3& a, const Vector3& b, const Vector3& p)
{
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    if (dx != 0.0f) {
        const float m = dy / dx;
        const float s = m * p.x + (a.y - m * a.x) - p.y;
        return dx > 0.0f ? -s : s;
    }
    if (dy > 0.0f) return a.x - p.x;
    if (dy < 0.0f) return p.x - a.x;
    return 0.0f;
}

float segmentPlaneParameter(const Vector3& p0, const Vector3& p1, const Vector3& n, float d)
{
    const float n0 = n.dot(p0);
    return (-d - n0) / (n.dot(p1) - n0);
}

bool rayConvexHullIntersect(const Vector3& origin, const Vector3& dir, const CollisionHull& hull, bool flip,
                            float& t, Vector3& point, Vector3& normal)
{
    Vector3 o, d;
    hull.toHull(origin, o);
    hull.orientation.transformTransposed(dir, d);
    float tEnter = floatMinusInfinity;
    Vector3 accumulated;
    for (uint32_t i = 0; i < hull.numPlanes; ++i) {
        const Vector3& n = hull.normals[i];
        const float den = d.dot(n);
        const float dist = o.dot(n) + hull.distances[i];
        if (den < -1e-6f) {
            const float ti = dist * (-1.0f / den);
            if (ti > tEnter) {
                tEnter = ti;
                accumulated = n;
            } else if (std::fabs(ti - tEnter) <= 1e-6f) {
                // An edge or corner: its planes' normals are summed.
                tEnter = ti;
                accumulated += n;
            }
        } else {
            if (dist > 1e-6f) return false;
            if (tEnter == floatMinusInfinity) tEnter = 0.0f;
        }
    }
    if (tEnter == floatMinusInfinity) return false;
    const Vector3 hit = o + d * tEnter;
    for (uint32_t i = 0; i < hull.numPlanes; ++i)
        if (hull.normals[i].dot(hit) + hull.distances[i] > 0.1f) return false;
    hull.orientation.transform(accumulated, normal);
    normal.normalise();
    if (flip) normal = normal.negated();
    hull.toWorld(hit, point);
    t = tEnter;
    return true;
}

bool sphereConvexHullIntersect(const Vector3& centre, float radius, const CollisionHull& hull, bool flip,
                               void* objectA, void* objectB, llist* list, Vector3& point, Vector3& normal)
{
    Vector3 c;
    hull.toHull(centre, c);
    float deepest = floatMinusInfinity;
    Vector3 accumulated;
    Vector3 pointSum;
    int pointCount = 0;
    for (uint32_t i = 0; i < hull.numPlanes; ++i) {
        const Vector3& n = hull.normals[i];
        const float s = n.dot(c) + hull.distances[i] - radius;
        if (s > 1e-6f) {
            freeIntersectionList(list);
            return false;
        }
        const Vector3 projected = c - n * (s + radius);
        const bool deeper = s > deepest + 1e-6f;
        // Planes tied with the deepest (an edge or corner) share the contact; the normals of the
        // other planes are left out, as opposite faces would cancel.
        const bool tied = !deeper && deepest - s < 0.001f;
        if (!deeper && !tied) continue;
        if (deeper) {
            deepest = s;
            accumulated = n;
            pointSum = projected;
            pointCount = 1;
            freeIntersectionList(list);
        } else {
            accumulated += n;
            pointSum += projected;
            ++pointCount;
        }
        if (!list) continue;
        CIntersection* record = allocIntersection();
        if (!record) {
            assertFailed("pIntersection", __FILE__, __LINE__);
            continue;
        }
        hull.toWorld(projected, record->point);
        hull.orientation.transform(n, record->normal);
        if (flip) record->normal = record->normal.negated();
        record->objectA = objectA;
        record->objectB = objectB;
        appendRecord(list, record);
    }
    const Vector3 contact = pointCount ? pointSum / static_cast<float>(pointCount) : c;
    hull.toWorld(contact, point);
    hull.orientation.transform(accumulated, normal);
    if (normal.dot(normal) >= 1e-6f) {
        normal.normalise();
        if (flip) normal = normal.negated();
    } else {
        normal.set(1.0f, 0.0f, 0.0f);
    }
    return true;
}
