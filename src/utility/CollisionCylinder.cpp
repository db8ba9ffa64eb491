#include "utility/Collision.h"

#include "utility/Assert.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

const uint32_t NO_PLANE = 0xffffffffu;

// A unit vector perpendicular to the unit axis, for when the geometry gives no direction.
Vector3 anyPerpendicular(const Vector3& axis)
{
    Vector3 p = axis.cross(Vector3(1.0f, 0.0f, 0.0f));
    if (p.dot(p) < 1e-6f) p = axis.cross(Vector3(0.0f, 1.0f, 0.0f));
    p.normalise();
    return p;
}

// The unit direction from the axis line toward w (w relative to a point of the axis), built from
// cross products with the axis; a substitute when w lies on the axis.
Vector3 radialDirection(const Vector3& axis, const Vector3& w)
{
    Vector3 r = axis.cross(w.cross(axis));
    if (r.dot(r) < 1e-12f) return anyPerpendicular(axis);
    r.normalise();
    return r;
}

CollisionCylinder cylinderInHullSpace(const CollisionCylinder& cyl, const CollisionHull& hull)
{
    CollisionCylinder local = cyl;
    hull.orientation.transformTransposed(cyl.base - hull.position, local.base);
    hull.orientation.transformTransposed(cyl.axis, local.axis);
    return local;
}

// Stores a point when the record has room; a full record keeps its 16 points and reports once
// (every report counts toward the run log's limit).
void addContactPoint(CContactPolygon& record, const Vector3& p, bool& overflowed)
{
    if (record.numPoints >= CContactPolygon::MAX_POINTS) {
        if (!overflowed) assertFailed("numPoints < 16", __FILE__, __LINE__);
        overflowed = true;
        return;
    }
    record.points[record.numPoints++] = p;
}

// Keeps the part of the record on the inner side (n·x + d <= 0) of one edge plane.
void clipContactPolygon(CContactPolygon& record, const Vector3& n, float d, bool& overflowed)
{
    const uint32_t count = record.numPoints;
    if (count == 0) return;
    Vector3 in[CContactPolygon::MAX_POINTS];
    for (uint32_t i = 0; i < count; ++i) in[i] = record.points[i];
    record.numPoints = 0;
    if (count == 1) {
        if (n.dot(in[0]) + d <= 0.0f) addContactPoint(record, in[0], overflowed);
        return;
    }
    // A segment is not closed; a polygon wraps from its last point to its first.
    const uint32_t edges = (count == 2) ? 1 : count;
    for (uint32_t i = 0; i < edges; ++i) {
        const Vector3& a = in[i];
        const Vector3& b = in[(i + 1) % count];
        const bool aInside = n.dot(a) + d <= 0.0f;
        const bool bInside = n.dot(b) + d <= 0.0f;
        if (aInside) addContactPoint(record, a, overflowed);
        if (aInside != bInside) {
            const float t = segmentPlaneParameter(a, b, n, d);
            addContactPoint(record, a + (b - a) * t, overflowed);
        }
        if (count == 2 && bInside) addContactPoint(record, b, overflowed);
    }
}

}  // namespace

void cylinderPlaneExtent(const CollisionCylinder& cyl, const Vector3& n, float d, float& low, float& high)
{
    const float c = cyl.axis.dot(n);
    // Rounding can push |c| past 1; acos would then give NaN.
    const float k = std::acos(std::min(std::fabs(c), 1.0f)) * 0.63661975f;
    const float sign = (c >= 0.0f) ? 1.0f : -1.0f;
    const float e = sign * k * cyl.radius;
    low = cyl.base.dot(n) + d - e;
    high = (1.0f - k) * cyl.length + low + e;
}

bool cylinderPlaneSlice(const Vector3& n, float d, const CollisionCylinder& cyl, Vector3 points[4])
{
    const float dist = n.dot(cyl.base) + d;
    const float h2 = cyl.radius * cyl.radius - dist * dist;
    if (h2 < 0.0f) return false;
    const Vector3 along = cyl.axis * cyl.length;
    if (h2 == 0.0f) {
        points[0] = points[1] = cyl.base;
        points[2] = points[3] = cyl.base + along;
        return true;
    }
    const Vector3 w = n.cross(cyl.axis) * fastSqrt(h2);
    points[0] = cyl.base + w;
    points[1] = cyl.base - w;
    points[2] = cyl.base - w + along;
    points[3] = cyl.base + w + along;
    return true;
}

int classifyCylinderPlane(const Vector3& n, float d, const CollisionCylinder& cyl, Vector3 points[4],
                          uint32_t& numPoints)
{
    numPoints = 0;
    const float c = cyl.axis.dot(n);
    const float dist = n.dot(cyl.base) + d;
    if (c >= 0.999999f) {
        if (dist < -cyl.length || dist > 1e-6f) return 0;
        points[0] = cyl.base;
        numPoints = 1;
        return -1;
    }
    if (c <= -0.999999f) {
        if (dist > cyl.length || dist < -1e-6f) return 0;
        points[0] = cyl.base + cyl.axis * cyl.length - n * dist;
        numPoints = 1;
        return -1;
    }
    if (c > 1e-6f || c < -1e-6f) {
        Vector3 side = n.cross(cyl.axis);
        side.normalise();
        const Vector3 u = cyl.axis.cross(side);
        const Vector3 end = (c > 1e-6f) ? cyl.base : cyl.base + cyl.axis * cyl.length;
        Vector3 p = (u.dot(n) >= 0.0f) ? end + u * cyl.radius : end - u * cyl.radius;
        const float pd = n.dot(p) + d;
        if (pd < 0.0f) p -= n * pd;
        points[0] = p;
        numPoints = 1;
        return 1;
    }
    if (dist <= cyl.radius) {
        if (dist < -cyl.radius) return 0;
        if (!cylinderPlaneSlice(n, d, cyl, points)) return 0;
        numPoints = 4;
        return 2;
    }
    if (dist < 0.1f) {
        points[0] = cyl.base - n * dist;
        points[1] = points[0] + cyl.axis * cyl.length;
        numPoints = 2;
        return 1;
    }
    return 0;
}

bool cylinderPlaneSeparation(const CollisionCylinder& cyl, const Vector3& n, float d, float& depth)
{
    const float c = cyl.axis.dot(n);
    const float dist = cyl.base.dot(n) + d;
    if (std::fabs(c) >= 0.999999f) {
        depth = (c > 1e-6f) ? dist : dist + c * cyl.length;
        return depth <= 0.001f;
    }
    if (std::fabs(c) < 1e-6f) {
        depth = dist;
        return depth <= cyl.radius;
    }
    Vector3 u = n.cross(cyl.axis).cross(cyl.axis);
    u.normalise();
    const float rim = std::fabs(u.dot(n)) * cyl.radius;
    depth = (c < -1e-6f) ? dist - rim - std::fabs(c) * cyl.length : dist - rim;
    return depth <= 0.001f;
}

bool collideCylinderHull(const CollisionCylinder& cyl, const CollisionHull& hull, void* objectA, void* objectB,
                         llist* list, uint32_t& plane, Vector3& normal, Vector3& point)
{
    const CollisionCylinder local = cylinderInHullSpace(cyl, hull);
    float best = floatMinusInfinity;
    uint32_t chosen = NO_PLANE;
    for (uint32_t i = 0; i < hull.numPlanes; ++i) {
        const Vector3& n = hull.normals[i];
        const float d = hull.distances[i];
        float depth;
        if (!cylinderPlaneSeparation(local, n, d, depth)) {
            freeIntersectionList(list);
            return false;
        }
        float low, high;
        cylinderPlaneExtent(local, n, d, low, high);
        if ((low >= 1e-6f || high > 1e-6f) && list) {
            CIntersection* record = allocIntersection();
            if (record) {
                record->objectA = objectA;
                record->objectB = objectB;
                hull.orientation.transform(n, record->normal);
                record->point = hull.position + record->normal * -d;
                // The deepest records so far lead the list.
                if (depth > best) {
                    list->GotoHead();
                    list->InsertBefore(record);
                } else {
                    list->GotoTail();
                    list->InsertAfter(record);
                }
            } else {
                assertFailed("pIntersection", __FILE__, __LINE__);
            }
        }
        if (depth < 1e-6f && depth > best) {
            best = depth;
            chosen = i;
        }
    }
    if (chosen == NO_PLANE) {
        // No plane to push out along (no planes, or all only just touching): no contact.
        assertFailed("collidePlane != 0xffffffff", __FILE__, __LINE__);
        freeIntersectionList(list);
        return false;
    }
    plane = chosen;
    hull.orientation.transform(hull.normals[chosen], normal);
    point = hull.position + normal * -hull.distances[chosen];
    return true;
}

bool sphereCylinderIntersect(const Vector3& centre, float radius, const CollisionCylinder& cyl, Vector3& point,
                             Vector3& normal)
{
    const Vector3 w = centre - cyl.base;
    const float a = w.dot(cyl.axis);
    const float m2 = w.dot(w) - a * a;
    const float reach = radius + cyl.radius;
    if (m2 > reach * reach) return false;
    if (a < -radius) return false;
    const Vector3 top = cyl.base + cyl.axis * cyl.length;
    const float b = (centre - top).dot(cyl.axis);
    if (b > radius) return false;
    const Vector3 radial = radialDirection(cyl.axis, w);
    if (a < 0.0f || b > 0.0f) {
        const bool atBase = a < 0.0f;
        const Vector3 capNormal = atBase ? cyl.axis.negated() : cyl.axis;
        const float beyond = atBase ? -a : b;
        if (m2 <= cyl.radius * cyl.radius) {
            normal = capNormal;
            point = centre - capNormal * beyond;
            return true;
        }
        // Beside the cap: the nearest rim point. The three rejections above are the whole test
        // (the cylinder grown by the radius, square at its edges), so a sphere just clear of the
        // rim still touches.
        const Vector3 rim = (atBase ? cyl.base : top) + radial * cyl.radius;
        normal = centre - rim;
        normal.normalise();
        point = rim;
        return true;
    }
    normal = radial;
    point = cyl.base + cyl.axis * a + radial * cyl.radius;
    return true;
}

bool rayCylinderIntersect(const Vector3& origin, const Vector3& dir, CollisionCylinder cyl, float& t, Vector3& point,
                          Vector3& normal)
{
    const Vector3 w = origin - cyl.base;
    const float s = w.dot(cyl.axis);
    const float m2 = w.dot(w) - s * s;
    const float r2 = cyl.radius * cyl.radius;
    const float da = dir.dot(cyl.axis);
    const bool inside = m2 <= r2 && s > 0.0f && s < cyl.length;
    const auto hitInside = [&]() {
        t = 0.0f;
        point = origin;
        normal = dir.negated();
        return true;
    };
    // A cap's plane met at tc: a hit when within the rim.
    const auto hitCap = [&](float tc, const Vector3& capCentre, const Vector3& capNormal) {
        const Vector3 p = origin + dir * tc;
        const Vector3 off = p - capCentre;
        if (off.dot(off) > r2) return false;
        t = tc;
        point = p;
        normal = capNormal;
        return true;
    };

    if (std::fabs(da) >= 0.999999f) {
        if ((cyl.base - origin).dot(dir) >= 0.0f) {
            const bool farCap = da < 0.0f;
            const Vector3 capCentre = farCap ? cyl.base + cyl.axis * cyl.length : cyl.base;
            const Vector3 capNormal = farCap ? cyl.axis : cyl.axis.negated();
            // From inside toward the base, the far cap lies behind the origin: its parameter is
            // negative, which callers read as touching from the start.
            return hitCap((capCentre - origin).dot(cyl.axis) / da, capCentre, capNormal);
        }
        return inside ? hitInside() : false;
    }

    Vector3 perp = dir.cross(cyl.axis);
    perp.normalise();
    if (std::fabs(w.dot(perp)) > cyl.radius) return false;
    if (inside) return hitInside();

    // The side: solve |wPerp + t·dPerp| = r in the plane across the axis.
    const Vector3 dPerp = dir - cyl.axis * da;
    const Vector3 wPerp = w - cyl.axis * s;
    const float qa = dPerp.dot(dPerp);
    const float qb = 2.0f * wPerp.dot(dPerp);
    const float qc = wPerp.dot(wPerp) - r2;
    if (qc > 0.0f) {
        const float disc = std::max(qb * qb - 4.0f * qa * qc, 0.0f);
        const float t0 = (-qb - fastSqrt(disc)) / (2.0f * qa);
        const float along = s + t0 * da;
        if (t0 >= 0.0f && along >= 0.0f && along <= cyl.length) {
            t = t0;
            point = origin + dir * t0;
            normal = wPerp + dPerp * t0;
            normal.normalise();
            return true;
        }
    }
    // The cap facing the ray.
    if (da > 1e-6f && s < 0.0f) return hitCap(-s / da, cyl.base, cyl.axis.negated());
    if (da < -1e-6f && s > cyl.length) return hitCap((cyl.length - s) / da, cyl.base + cyl.axis * cyl.length, cyl.axis);
    return false;
}

uint32_t cylinderHullContactPolygon(const CollisionCylinder& cyl, const CollisionHull& hull, llist* list)
{
    if (!list) {
        assertFailed("pIntersectionList", __FILE__, __LINE__);
        return 0;
    }
    const CollisionCylinder local = cylinderInHullSpace(cyl, hull);
    uint32_t made = 0;
    for (uint32_t i = 0; i < hull.numPlanes; ++i) {
        Vector3 found[4];
        uint32_t numFound = 0;
        const int code = classifyCylinderPlane(hull.normals[i], hull.distances[i], local, found, numFound);
        if (code == 0) continue;
        auto* record = new (std::nothrow) CContactPolygon;
        if (!VERIFY(record)) return made;
        record->face = i;
        record->code = code;
        record->kind = (code == 2) ? 3 : 1;
        record->numPoints = 0;
        bool overflowed = false;
        for (uint32_t p = 0; p < numFound; ++p) addContactPoint(*record, found[p], overflowed);
        if (hull.faces) {
            const CollisionHullFace& face = hull.faces[i];
            for (uint32_t e = 0; e < face.numEdges && record->numPoints; ++e)
                clipContactPolygon(*record, face.edgeNormals[e], face.edgeDistances[e], overflowed);
        }
        if (record->numPoints == 0) {
            delete record;
            continue;
        }
        for (uint32_t p = 0; p < record->numPoints; ++p) {
            Vector3 world;
            hull.orientation.transform(record->points[p], world);
            record->points[p] = world + hull.position;
        }
        list->GotoTail();
        list->InsertAfter(record);
        ++made;
    }
    return made;
}

void freeContactPolygonList(llist* list)
{
    if (!list) return;
    while (!list->Empty()) {
        list->GotoHead();
        delete static_cast<CContactPolygon*>(list->GetCurrent());
        list->RemoveCurrent();
    }
}

bool threePlaneIntersect(const Vector3& n1, float d1, const Vector3& n2, float d2, const Vector3& n3, float d3,
                         Vector3& point)
{
    const Vector3 c23 = n2.cross(n3);
    const float det = n1.dot(c23);
    if (det < 1e-6f) return false;
    const Vector3 c31 = n3.cross(n1);
    const Vector3 c12 = n1.cross(n2);
    point = (c23 * d1 + c31 * d2 + c12 * d3) * (-1.0f / det);
    return true;
}

namespace {

// The point of the solid cylinder nearest to p (p itself inside).
Vector3 nearestInCylinder(const CollisionCylinder& cyl, const Vector3& p)
{
    const Vector3 w = p - cyl.base;
    const float a = std::clamp(w.dot(cyl.axis), 0.0f, cyl.length);
    Vector3 across = w - cyl.axis * w.dot(cyl.axis);
    const float r2 = across.dot(across);
    if (r2 > cyl.radius * cyl.radius) across *= cyl.radius * fastInvSqrt(r2);
    return cyl.base + cyl.axis * a + across;
}

// How far p lies outside the solid cylinder (0 inside).
float distanceOutside(const CollisionCylinder& cyl, const Vector3& p) { return (p - nearestInCylinder(cyl, p)).length(); }

bool parallelCylinders(const CollisionCylinder& c1, const CollisionCylinder& c2, Vector3& point, Vector3& normal)
{
    const Vector3& axis = c1.axis;
    const float lo1 = c1.base.dot(axis), hi1 = lo1 + c1.length;
    const float e0 = c2.base.dot(axis), e1 = (c2.base + c2.axis * c2.length).dot(axis);
    const float lo = std::max(lo1, std::min(e0, e1));
    const float hi = std::min(hi1, std::max(e0, e1));
    if (lo > hi) return false;
    const Vector3 w = c2.base - c1.base;
    const Vector3 wPerp = w - axis * w.dot(axis);
    const float dist2 = wPerp.dot(wPerp);
    const float reach = c1.radius + c2.radius;
    if (dist2 > reach * reach) return false;
    const float dist = (dist2 > 0.0f) ? fastSqrt(dist2) : 0.0f;
    const float mid = 0.5f * (lo + hi);
    const Vector3 onAxis1 = c1.base + axis * (mid - lo1);
    const Vector3 toSecond = (dist > 1e-6f) ? wPerp * (1.0f / dist) : anyPerpendicular(axis);
    const float radialOverlap = reach - dist;
    const float axialOverlap = hi - lo;
    if (radialOverlap < axialOverlap && dist > 1e-6f) {
        normal = toSecond.negated();
        point = onAxis1 + toSecond * (c1.radius - 0.5f * radialOverlap);
        return true;
    }
    const float c1Mid = lo1 + 0.5f * c1.length;
    const float c2Mid = 0.5f * (e0 + e1);
    normal = (c1Mid < c2Mid) ? axis.negated() : axis;
    // Across the axes: the middle of where the two discs overlap on the line between them.
    const float across = 0.5f * (std::max(-c1.radius, dist - c2.radius) + std::min(c1.radius, dist + c2.radius));
    point = onAxis1 + toSecond * across;
    return true;
}

}  // namespace

bool cylinderIntervalOverlap(const CollisionCylinder& c1, const CollisionCylinder& c2, const Vector3& dir,
                             float& low, float& high, bool& lowerFirst)
{
    float centre1, half1, centre2, half2;
    c1.projection(dir, centre1, half1);
    c2.projection(dir, centre2, half2);
    low = std::max(centre1 - half1, centre2 - half2);
    high = std::min(centre1 + half1, centre2 + half2);
    lowerFirst = centre1 < centre2;
    return low <= high;
}

bool cylinderCylinderIntersect(const CollisionCylinder& c1, const CollisionCylinder& c2, Vector3& point,
                               Vector3& normal)
{
    if (std::fabs(c1.axis.dot(c2.axis)) >= 0.999f) return parallelCylinders(c1, c2, point, normal);

    // Each cylinder's frame: its axis, the common perpendicular, and the third axis of the frame.
    Vector3 dirs[6];
    const CollisionCylinder* owners[2] = {&c1, &c2};
    for (int k = 0; k < 2; ++k) {
        const Vector3& a = owners[k]->axis;
        const Vector3& other = owners[1 - k]->axis;
        Vector3 u = a.cross(other);
        u.normalise();
        dirs[3 * k] = a;
        dirs[3 * k + 1] = u;
        dirs[3 * k + 2] = a.cross(u);
    }
    float low[6], high[6];
    bool lowerFirst[6];
    int least = 0;
    for (int k = 0; k < 6; ++k) {
        if (!cylinderIntervalOverlap(c1, c2, dirs[k], low[k], high[k], lowerFirst[k])) return false;
        if (high[k] - low[k] < high[least] - low[least]) least = k;
    }
    Vector3 candidates[2];
    bool found[2];
    for (int k = 0; k < 2; ++k) {
        const int f = 3 * k;
        found[k] = threePlaneIntersect(dirs[f], -0.5f * (low[f] + high[f]), dirs[f + 1],
                                       -0.5f * (low[f + 1] + high[f + 1]), dirs[f + 2],
                                       -0.5f * (low[f + 2] + high[f + 2]), candidates[k]);
    }
    // Of the two candidates, the one that strays less outside either cylinder is the point.
    if (found[0] && found[1]) {
        const float stray0 = std::max(distanceOutside(c1, candidates[0]), distanceOutside(c2, candidates[0]));
        const float stray1 = std::max(distanceOutside(c1, candidates[1]), distanceOutside(c2, candidates[1]));
        point = (stray1 < stray0) ? candidates[1] : candidates[0];
    } else if (found[0] || found[1]) {
        point = found[0] ? candidates[0] : candidates[1];
    } else {
        point = (c1.base + c2.base) * 0.5f;
    }
    // Alternating projections draw the point into the common part of the two solids (or, where the
    // directions above could not separate them, to where they come nearest).
    for (int k = 0; k < 8; ++k) point = nearestInCylinder(c2, nearestInCylinder(c1, point));
    // The direction that overlaps least is the way out.
    normal = lowerFirst[least] ? dirs[least].negated() : dirs[least];
    return true;
}
