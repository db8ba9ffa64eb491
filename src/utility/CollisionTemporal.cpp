#include "utility/CollisionTemporal.h"

#include "utility/Assert.h"

#include <algorithm>
#include <cmath>

namespace {

// Squared movement below which a shape counts as resting.
const float NEGLIGIBLE_MOVEMENT = 0.001f;
// How far outside a plane a swept sphere may end up at its entry time (corners of the grown hull).
const float ENTRY_TOLERANCE = 0.1f;
const float TIE_TOLERANCE = 0.001f;

// Per-plane values of the swept cylinder-hull test: the cylinder's two end distances at the
// previous and at the current position.
float g_previousFirst[MAX_SWEPT_HULL_PLANES];
float g_previousSecond[MAX_SWEPT_HULL_PLANES];
float g_currentFirst[MAX_SWEPT_HULL_PLANES];
float g_currentSecond[MAX_SWEPT_HULL_PLANES];

// Samples and halvings used to pin the first touching time down with a static test.
const int CONTACT_SCAN_STEPS = 8;
const int CONTACT_REFINE_STEPS = 16;

CollisionCylinder cylinderInHullSpace(const CollisionCylinder& cylinder, const CollisionHull& hull)
{
    CollisionCylinder local = cylinder;
    hull.toHull(cylinder.base, local.base);
    hull.orientation.transformTransposed(cylinder.axis, local.axis);
    return local;
}

// The cylinder part of the way from previous to current.
CollisionCylinder cylinderAt(const CollisionCylinder& previous, const CollisionCylinder& current, float time)
{
    CollisionCylinder at = current;
    at.base = previous.base + (current.base - previous.base) * time;
    at.axis = previous.axis + (current.axis - previous.axis) * time;
    at.axis.normalise();
    return at;
}

void appendRecord(llist* list, const Vector3& point, const Vector3& normal, void* objectA, void* objectB)
{
    if (!list)
        return;
    CIntersection* pIntersection = allocIntersection();
    if (!pIntersection) {
        ASSERT(pIntersection);
        return;
    }
    pIntersection->point = point;
    pIntersection->normal = normal;
    pIntersection->objectA = objectA;
    pIntersection->objectB = objectB;
    list->GotoTail();
    list->InsertAfter(pIntersection);
}

// The first time in [from, 1] at which the static test reports contact, or a negative value. The
// swept estimates give a time no later than the real one; sampling forward and halving the last
// gap makes the reported time one at which the static test agrees.
template <class StaticTest>
float firstContactTime(float from, StaticTest touching)
{
    if (touching(from))
        return from;
    float before = from;
    for (int k = 1; k <= CONTACT_SCAN_STEPS; ++k) {
        const float at = from + (1.0f - from) * float(k) / float(CONTACT_SCAN_STEPS);
        if (!touching(at)) {
            before = at;
            continue;
        }
        float after = at;
        for (int i = 0; i < CONTACT_REFINE_STEPS; ++i) {
            const float middle = 0.5f * (before + after);
            if (touching(middle))
                after = middle;
            else
                before = middle;
        }
        return after;
    }
    return -1.0f;
}

// Extent of a cylinder along a unit direction.
void cylinderExtent(const CollisionCylinder& cylinder, const Vector3& dir, float& low, float& high)
{
    float centre, half;
    cylinder.projection(dir, centre, half);
    low = centre - half;
    high = centre + half;
}

}  // namespace

void cylinderPlaneInterval(const CollisionCylinder& cylinder, const Vector3& n, float d, float& first, float& second)
{
    const float c = cylinder.axis.dot(n);
    // Rounding can take |c| of a unit axis a hair past 1; acos would give NaN.
    const float cosine = std::min(std::fabs(c), 1.0f);
    const float k = std::acos(cosine) * 0.63661975f;
    const float sign = c >= 0.0f ? 1.0f : -1.0f;
    const float p = cylinder.base.dot(n) + d;
    const float e = sign * k * cylinder.radius;
    first = p - e;
    second = (1.0f - k) * sign * cylinder.length + p + e;
}

void sweptIntervalOverlap(float a, float b, float c, float d, float e, float f, bool& flag, float& entry, float& exit)
{
    const float lo = std::min(a, b);
    const float hi = std::max(a, b);
    if (hi <= c || hi <= d || hi <= e || hi <= f) {
        flag = true;
        const float s = d <= c ? d : c;
        const float t = d <= c ? f : e;
        entry = (hi - s) / (s - t);
        exit = (lo - s) / (s - t);
    } else {
        flag = false;
        const float s = c <= d ? d : c;
        const float t = c <= d ? f : e;
        entry = (lo - s) / (s - t);
        exit = (hi - s) / (s - t);
    }
}

bool temporalSphereRayIntersect(const Vector3& centre, float radius, const Vector3& rayOrigin, const Vector3& rayDir,
                                float rayLength, Vector3& point, Vector3& normal, float& time)
{
    float t;
    if (!sphereFiniteRayIntersect(rayOrigin, rayDir, centre, radius, t, point, normal))
        return false;
    if (t > rayLength)
        return false;
    time = 0.0f;
    return true;
}

bool temporalRayConvexHullIntersect(const Vector3& rayOrigin, const Vector3& rayDir, float rayLength,
                                    const CollisionHull& hull, bool flip, Vector3& point, Vector3& normal, float& time)
{
    const uint32_t numHullPlanes = hull.numPlanes;
    if (!VERIFY(numHullPlanes < 256))
        return false;
    float t;
    if (!rayConvexHullIntersect(rayOrigin, rayDir, hull, flip, t, point, normal))
        return false;
    if (t > rayLength)
        return false;
    time = 0.0f;
    return true;
}

bool temporalRayCylinderIntersect(const Vector3& rayOrigin, const Vector3& rayDir, float rayLength,
                                  const CollisionCylinder& cylinder, Vector3& point, Vector3& normal, float& time)
{
    float t;
    if (!rayCylinderIntersect(rayOrigin, rayDir, cylinder, t, point, normal))
        return false;
    if (t > rayLength)
        return false;
    time = 0.0f;
    return true;
}

bool temporalSphereSphereIntersect(const Vector3& previous, const Vector3& current, float radius,
                                   const Vector3& fixedCentre, float fixedRadius, Vector3& point, Vector3& normal,
                                   float& time)
{
    const Vector3 movement = current - previous;
    const float moved2 = movement.dot(movement);
    if (moved2 < NEGLIGIBLE_MOVEMENT) {
        time = 0.0f;
        return sphereSphereIntersect(current, radius, fixedCentre, fixedRadius, point, normal);
    }
    const float length = fastSqrt(moved2);
    const Vector3 dir = movement / length;
    // The moving centre against the fixed sphere grown by the moving radius.
    float t;
    if (!sphereFiniteRayIntersect(previous, dir, fixedCentre, fixedRadius + radius, t, point, normal))
        return false;
    if (t < 0.0f || t > length)
        return false;
    time = t / length;
    point += dir * radius;
    return true;
}

bool temporalSphereCylinderIntersect(const Vector3& previous, const Vector3& current, float radius,
                                     const CollisionCylinder& cylinder, Vector3& point, Vector3& normal, float& time)
{
    const Vector3 movement = current - previous;
    const float moved2 = movement.dot(movement);
    if (moved2 < NEGLIGIBLE_MOVEMENT) {
        time = 0.0f;
        return sphereCylinderIntersect(current, radius, cylinder, point, normal);
    }
    const float length = fastSqrt(moved2);
    const Vector3 dir = movement / length;

    // The centre's path against the cylinder grown by the sphere's radius all round.
    CollisionCylinder grown = cylinder;
    grown.radius += radius;
    grown.base = cylinder.base - cylinder.axis * radius;
    grown.length += 2.0f * radius;
    float t;
    Vector3 hit;
    Vector3 hitNormal;
    if (!rayCylinderIntersect(previous, dir, grown, t, hit, hitNormal))
        return false;
    if (t > length)
        return false;
    if (t <= 0.0f) {
        Vector3 p;
        Vector3 n;
        if (sphereCylinderIntersect(previous, radius, cylinder, p, n)) {
            time = 0.0f;
            point = previous;
            normal = dir.negated();
            return true;
        }
        // The static test is the grown cylinder itself, so only rounding at its surface gets
        // here: the entry point at the start is the best estimate there is.
        t = 0.0f;
    }
    point = hit - hitNormal * radius;
    normal = hitNormal;
    time = t / length;
    return true;
}

bool temporalConvexHullIntersect(const Vector3& previous, const Vector3& current, float radius,
                                 const CollisionHull& hull, bool flip, void* objectA, void* objectB, llist* list,
                                 Vector3& point, Vector3& normal, float& time)
{
    const Vector3 movement = current - previous;
    const float moved2 = movement.dot(movement);
    if (moved2 < NEGLIGIBLE_MOVEMENT) {
        time = 0.0f;
        return sphereConvexHullIntersect(current, radius, hull, flip, objectA, objectB, list, point, normal);
    }
    const float length = fastSqrt(moved2);
    const Vector3 worldDir = movement / length;
    Vector3 start;
    Vector3 dir;
    hull.toHull(previous, start);
    hull.orientation.transformTransposed(worldDir, dir);

    float tMax = floatMinusInfinity;
    bool startOutside = false;
    Vector3 accumulated(0.0f, 0.0f, 0.0f);
    for (uint32_t i = 0; i < hull.numPlanes; ++i) {
        const Vector3& n = hull.normals[i];
        const float distance = start.dot(n) + hull.distances[i] - radius;
        const bool outside = distance > 1e-6f;
        if (outside)
            startOutside = true;
        const float approach = dir.dot(n);
        if (approach >= -1e-6f) {
            // Never reaches this plane: a start outside it can never touch.
            if (outside) {
                freeIntersectionList(list);
                return false;
            }
            continue;
        }
        const float t = -distance / approach;
        if (t > length) {
            freeIntersectionList(list);
            return false;
        }
        const bool later = t > tMax;
        if (!later && !(tMax - t < TIE_TOLERANCE))
            continue;
        if (later) {
            tMax = t;
            accumulated = n;
            freeIntersectionList(list);
        } else {
            accumulated += n;
        }
        if (list) {
            Vector3 worldPoint;
            Vector3 worldNormal;
            hull.toWorld(start + dir * t - n * radius, worldPoint);
            hull.orientation.transform(n, worldNormal);
            appendRecord(list, worldPoint, flip ? worldNormal.negated() : worldNormal, objectA, objectB);
        }
    }

    if (!startOutside) {
        time = 0.0f;
        point = previous;
        hull.orientation.transform(accumulated, normal);
        if (normal.dot(normal) >= 1e-6f)
            normal.normalise();
        else
            normal = worldDir.negated();
        if (flip)
            normal = normal.negated();
        return true;
    }
    if (!(tMax > 0.0f)) {
        freeIntersectionList(list);
        return false;
    }

    // Entered every plane's grown slab by tMax; near an edge or corner of the grown hull that is
    // not yet the hull itself.
    const Vector3 centre = start + dir * tMax;
    for (uint32_t i = 0; i < hull.numPlanes; ++i) {
        if (centre.dot(hull.normals[i]) + hull.distances[i] - radius > ENTRY_TOLERANCE) {
            freeIntersectionList(list);
            return false;
        }
    }
    Vector3 n = accumulated;
    n.normalise();
    hull.toWorld(centre - n * radius, point);
    hull.orientation.transform(n, normal);
    if (flip)
        normal = normal.negated();
    time = tMax / length;
    return true;
}

bool temporalCylinderConvexHullIntersect(const CollisionCylinder& previous, const CollisionCylinder& current,
                                         const CollisionHull& hull, void* objectA, void* objectB, llist* list,
                                         Vector3& point, Vector3& normal, float& time)
{
    // The per-plane tables hold 256 entries.
    const uint32_t numHullPlanes = hull.numPlanes;
    if (!VERIFY(numHullPlanes < 256)) {
        freeIntersectionList(list);
        return false;
    }

    const Vector3 movement = current.base - previous.base;
    uint32_t plane;
    if (movement.dot(movement) < NEGLIGIBLE_MOVEMENT) {
        time = 0.0f;
        return collideCylinderHull(current, hull, objectA, objectB, list, plane, normal, point);
    }

    const CollisionCylinder localPrevious = cylinderInHullSpace(previous, hull);
    const CollisionCylinder localCurrent = cylinderInHullSpace(current, hull);
    for (uint32_t i = 0; i < numHullPlanes; ++i) {
        const Vector3& n = hull.normals[i];
        const float d = hull.distances[i];
        cylinderPlaneInterval(localPrevious, n, d, g_previousFirst[i], g_previousSecond[i]);
        cylinderPlaneInterval(localCurrent, n, d, g_currentFirst[i], g_currentSecond[i]);
        if (g_previousFirst[i] >= 1e-6f && g_previousSecond[i] >= 1e-6f && g_currentFirst[i] >= 1e-6f &&
            g_currentSecond[i] >= 1e-6f) {
            freeIntersectionList(list);
            return false;
        }
    }

    // The latest time at which the cylinder's lowest end reaches a plane.
    float tMax = 0.0f;
    for (uint32_t i = 0; i < numHullPlanes; ++i) {
        const float lowBefore = std::min(g_previousFirst[i], g_previousSecond[i]);
        const float lowAfter = std::min(g_currentFirst[i], g_currentSecond[i]);
        if (lowBefore > 1e-6f)
            tMax = std::max(tMax, lowBefore / (lowBefore - lowAfter));
    }
    for (uint32_t i = 0; i < numHullPlanes; ++i) {
        const float lowBefore = std::min(g_previousFirst[i], g_previousSecond[i]);
        const float lowAfter = std::min(g_currentFirst[i], g_currentSecond[i]);
        if (lowBefore + (lowAfter - lowBefore) * tMax > ENTRY_TOLERANCE) {
            freeIntersectionList(list);
            return false;
        }
    }

    const float contact = firstContactTime(tMax, [&](float at) {
        uint32_t p;
        Vector3 n;
        Vector3 q;
        return collideCylinderHull(cylinderAt(previous, current, at), hull, nullptr, nullptr, nullptr, p, n, q);
    });
    freeIntersectionList(list);
    if (contact < 0.0f)
        return false;
    time = contact;
    return collideCylinderHull(cylinderAt(previous, current, contact), hull, objectA, objectB, list, plane, normal,
                               point);
}

bool temporalCylinderCylinderIntersect(const CollisionCylinder& previous, const CollisionCylinder& current,
                                       const CollisionCylinder& fixed, Vector3& point, Vector3& normal, float& time)
{
    const Vector3 movement = current.base - previous.base;
    const float moved2 = movement.dot(movement);
    if (moved2 < NEGLIGIBLE_MOVEMENT) {
        time = 0.0f;
        return cylinderCylinderIntersect(current, fixed, point, normal);
    }

    // Separating directions: both axes, their common perpendicular and the movement.
    Vector3 directions[4];
    int numDirections = 0;
    directions[numDirections++] = current.axis;
    directions[numDirections++] = fixed.axis;
    if (std::fabs(current.axis.dot(fixed.axis)) < 0.999f) {
        Vector3 across = current.axis.cross(fixed.axis);
        across.normalise();
        directions[numDirections++] = across;
    }
    directions[numDirections++] = movement / fastSqrt(moved2);

    float tEnter = 0.0f;
    for (int i = 0; i < numDirections; ++i) {
        const Vector3& dir = directions[i];
        float lo, hi, c, d, e, f;
        cylinderExtent(fixed, dir, lo, hi);
        cylinderExtent(previous, dir, c, d);
        cylinderExtent(current, dir, e, f);
        if (c <= hi + 0.001f && d >= lo - 0.001f)
            continue;  // overlapping along this direction at the start
        bool above;
        float entry;
        float exit;
        if (c > hi) {
            if (c - e <= 1e-6f)
                return false;  // above and not coming down
            sweptIntervalOverlap(lo, hi, c, d, e, f, above, entry, exit);
        } else {
            if (f - d <= 1e-6f)
                return false;  // below and not coming up
            // Mirrored, so that the moving interval comes down onto the fixed one.
            sweptIntervalOverlap(-hi, -lo, -d, -c, -f, -e, above, entry, exit);
        }
        // The helper's fractions run against the motion.
        entry = -entry;
        if (entry > 1.0f)
            return false;
        tEnter = std::max(tEnter, entry);
    }

    const float contact = firstContactTime(tEnter, [&](float at) {
        Vector3 p;
        Vector3 n;
        return cylinderCylinderIntersect(cylinderAt(previous, current, at), fixed, p, n);
    });
    if (contact < 0.0f)
        return false;
    time = contact;
    return cylinderCylinderIntersect(cylinderAt(previous, current, contact), fixed, point, normal);
}
