// Swept ("temporal") collision tests: one shape moves in a straight line from its previous to its
// current position during the step, the other stands still, and the test tells whether and when
// during the step they first touch. The time is a fraction of the step: 0 at the previous
// position (also: touching already at the start), 1 at the current one.
//
// A movement shorter than sqrt(0.001) is negligible: the static twin of the test decides at the
// current position and the time is 0, so resting shapes cost no more than a static test.
//
// Shapes, records and lists are those of utility/Collision.h; normals point from the fixed shape
// toward the moving one (for hulls: out of the hull unless flip asks for the reverse).
#pragma once

#include "utility/Collision.h"

// Hulls may have at most this many planes less one (per-plane tables of the swept tests).
const uint32_t MAX_SWEPT_HULL_PLANES = 256;

// A sphere against a ray of the given length (infinite rays pass floatPlusInfinity): contact when
// the ray meets the sphere within its length. Time 0.
bool temporalSphereRayIntersect(const Vector3& centre, float radius, const Vector3& rayOrigin, const Vector3& rayDir,
                                float rayLength, Vector3& point, Vector3& normal, float& time);

// A sphere moving from previous to current against a fixed sphere. The point is on the moving
// sphere's leading surface at the time of contact.
bool temporalSphereSphereIntersect(const Vector3& previous, const Vector3& current, float radius,
                                   const Vector3& fixedCentre, float fixedRadius, Vector3& point, Vector3& normal,
                                   float& time);

// A sphere moving from previous to current against a cylinder. A sphere already touching at the
// start gives time 0, its start centre as point and the reversed movement as normal.
bool temporalSphereCylinderIntersect(const Vector3& previous, const Vector3& current, float radius,
                                     const CollisionCylinder& cylinder, Vector3& point, Vector3& normal,
                                     float& time);

// A sphere (or a hull's bounding sphere) moving from previous to current against a hull. Records
// of the planes met first (ties within 0.001) go to the list, which is emptied first and freed
// on a miss. list may be null.
bool temporalConvexHullIntersect(const Vector3& previous, const Vector3& current, float radius,
                                 const CollisionHull& hull, bool flip, void* objectA, void* objectB, llist* list,
                                 Vector3& point, Vector3& normal, float& time);

// A ray of the given length against a hull: contact when it enters within its length. Time 0.
// Hulls of 256 planes or more are refused with a report.
bool temporalRayConvexHullIntersect(const Vector3& rayOrigin, const Vector3& rayDir, float rayLength,
                                    const CollisionHull& hull, bool flip, Vector3& point, Vector3& normal,
                                    float& time);

// A ray of the given length against a cylinder. Time 0.
bool temporalRayCylinderIntersect(const Vector3& rayOrigin, const Vector3& rayDir, float rayLength,
                                  const CollisionCylinder& cylinder, Vector3& point, Vector3& normal, float& time);

// A cylinder moving from previous to current against a hull. The records are those of the static
// test at the time of contact (deepest first). list may be null. Hulls of 256 planes or more are
// refused with a report.
bool temporalCylinderConvexHullIntersect(const CollisionCylinder& previous, const CollisionCylinder& current,
                                         const CollisionHull& hull, void* objectA, void* objectB, llist* list,
                                         Vector3& point, Vector3& normal, float& time);

// A cylinder moving from previous to current against a fixed cylinder.
bool temporalCylinderCylinderIntersect(const CollisionCylinder& previous, const CollisionCylinder& current,
                                       const CollisionCylinder& fixed, Vector3& point, Vector3& normal,
                                       float& time);

// Signed distances of a cylinder's two ends from the plane n·x + d = 0 with the angle-linear
// radius estimate of cylinderPlaneExtent: first for the base end, second for the far end (which
// carries the radius term). Not ordered.
void cylinderPlaneInterval(const CollisionCylinder& cylinder, const Vector3& n, float d, float& first,
                           float& second);

// The fixed interval (a, b) against an interval whose bounds move from c to e and from d to f.
// When max(a, b) is at or below any of c, d, e, f the flag is set and, with (s, t) the bound with
// the smaller start, entry = (max - s)/(s - t), exit = (min - s)/(s - t); otherwise the flag is
// cleared and, with (s, t) the bound with the larger start, entry = (min - s)/(s - t),
// exit = (max - s)/(s - t). The fractions run against the motion (a bound moving toward the
// interval gives negative values). s == t is not guarded: callers pass moving bounds only.
void sweptIntervalOverlap(float a, float b, float c, float d, float e, float f, bool& flag, float& entry,
                          float& exit);
