// Random shapes against reference geometry: contact points lie on both shapes, misses stay misses
// when the shapes move apart, and swapped pairs agree.
#include "CollisionTestSupport.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using collisiontest::BoxHull;
using collisiontest::CollisionTest;

const int kRuns = 4000;

class Random {
public:
    explicit Random(unsigned seed) : m_rng(seed) {}
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(m_rng); }
    Vector3 vector(float range) { return Vector3(uniform(-range, range), uniform(-range, range), uniform(-range, range)); }
    Vector3 unit()
    {
        for (;;) {
            Vector3 v = vector(1.0f);
            const float l2 = v.dot(v);
            if (l2 > 0.01f && l2 <= 1.0f) return v * (1.0f / std::sqrt(l2));
        }
    }
    Matrix3 rotation()
    {
        Matrix3 m;
        matrix3FromAngles(uniform(-3.1f, 3.1f), uniform(-1.5f, 1.5f), uniform(-3.1f, 3.1f), m);
        return m;
    }
    CollisionCylinder cylinder(float range)
    {
        return CollisionCylinder{vector(range), unit(), uniform(0.2f, 1.5f), uniform(0.2f, 4.0f)};
    }

private:
    std::mt19937 m_rng;
};

float distance(const Vector3& a, const Vector3& b) { return (a - b).length(); }

// The point of the solid cylinder nearest to p.
Vector3 nearestOnCylinder(const CollisionCylinder& c, const Vector3& p)
{
    const Vector3 w = p - c.base;
    const float a = std::clamp(w.dot(c.axis), 0.0f, c.length);
    Vector3 radial = w - c.axis * w.dot(c.axis);
    const float r = radial.length();
    if (r > c.radius) radial = radial * (c.radius / r);
    return c.base + c.axis * a + radial;
}

// Distance from p to the cylinder's surface (0 on it), and whether p is inside.
float surfaceDistance(const CollisionCylinder& c, const Vector3& p, bool& inside)
{
    const Vector3 w = p - c.base;
    const float a = w.dot(c.axis);
    const float r = (w - c.axis * a).length();
    inside = a > 0.0f && a < c.length && r < c.radius;
    if (!inside) return distance(p, nearestOnCylinder(c, p));
    return std::min({a, c.length - a, c.radius - r});
}

// Distance between the segments p0-p1 and q0-q1, by sampling one and projecting onto the other.
float segmentDistance(const Vector3& p0, const Vector3& p1, const Vector3& q0, const Vector3& q1)
{
    float best = 1e30f;
    const Vector3 q = q1 - q0;
    for (int i = 0; i <= 200; ++i) {
        const Vector3 p = p0 + (p1 - p0) * (i / 200.0f);
        const float s = std::clamp((p - q0).dot(q) / q.dot(q), 0.0f, 1.0f);
        best = std::min(best, distance(p, q0 + q * s));
    }
    return best;
}

TEST_F(CollisionTest, PropertySphereSphere)
{
    Random rnd(1);
    for (int i = 0; i < kRuns; ++i) {
        const Vector3 c1 = rnd.vector(4), c2 = rnd.vector(4);
        const float r1 = rnd.uniform(0.1f, 3), r2 = rnd.uniform(0.1f, 3);
        Vector3 p, n, p2, n2;
        const bool hit = sphereSphereIntersect(c1, r1, c2, r2, p, n);
        EXPECT_EQ(hit, sphereSphereIntersect(c2, r2, c1, r1, p2, n2));
        // The middle of the overlap lies in both unless one sphere holds the other.
        EXPECT_TRUE(!hit || distance(c1, c2) < std::fabs(r1 - r2) || (distance(p, c1) <= r1 + 1e-4f && distance(p, c2) <= r2 + 1e-4f)) << i;
        if (hit) {
            EXPECT_LT(distance(p, p2), 1e-4f) << i;
            EXPECT_LT((n + n2).length(), 1e-4f) << i;
        } else {
            const Vector3 apart = c2 + (c2 - c1) * rnd.uniform(0.01f, 2);
            EXPECT_FALSE(sphereSphereIntersect(c1, r1, apart, r2, p, n));
        }
    }
}

TEST_F(CollisionTest, PropertyRaySphere)
{
    Random rnd(2);
    int hits = 0;
    for (int i = 0; i < kRuns; ++i) {
        const Vector3 origin = rnd.vector(6), centre = rnd.vector(3);
        const float radius = rnd.uniform(0.2f, 3);
        Vector3 dir = (i % 2) ? rnd.unit() : centre + rnd.vector(radius) - origin;  // half aimed at the sphere
        dir.normalise();
        Vector3 p, n;
        if (!sphereInfiniteRayIntersect(origin, dir, centre, radius, p, n)) continue;
        ++hits;
        const float t = (p - origin).dot(dir);
        EXPECT_NEAR(radius, distance(p, centre), 1e-3f) << i;
        EXPECT_NEAR(1.0f, n.length(), 1e-3f) << i;
        EXPECT_GE(t, -1e-4f) << i;
        EXPECT_LT(distance(origin + dir * t, p), 1e-3f) << i;

        float tf;
        Vector3 pf, nf;
        ASSERT_TRUE(sphereFiniteRayIntersect(origin, dir, centre, radius, tf, pf, nf));
        EXPECT_TRUE(distance(origin, centre) <= radius || std::fabs(t - tf) < 1e-3f) << i;
    }
    EXPECT_GT(hits, kRuns / 10);
}

TEST_F(CollisionTest, PropertyRayTriangleAndPolygonAgree)
{
    Random rnd(3);
    int hits = 0;
    for (int i = 0; i < kRuns; ++i) {
        Vector3 v[3] = {rnd.vector(3), rnd.vector(3), rnd.vector(3)};
        Vector3 normal = (v[1] - v[0]).cross(v[2] - v[0]);
        if (normal.length() < 0.5f) continue;
        normal.normalise();
        CollisionPolygon poly{v, {0, 1, 2}, normal, {}};
        for (int e = 0; e < 3; ++e) {
            poly.edgeNormals[e] = (v[(e + 1) % 3] - v[e]).cross(normal);
            poly.edgeNormals[e].normalise();
        }
        const Vector3 origin = rnd.vector(6);
        Vector3 dir = (i % 2) ? rnd.unit() : (v[0] + v[1] + v[2]) * (1.0f / 3.0f) + rnd.vector(1) - origin;
        dir.normalise();
        const float length = rnd.uniform(1, 12);
        float u = 0, w = 0, t = 0;
        const bool tri = rayTriangleIntersect(origin, dir, v[0], v[1], v[2], u, w, t);
        Vector3 hit;
        const bool seg = rayPolyIntersect(origin, dir * length, poly, hit);
        hits += tri;
        EXPECT_TRUE(!tri || distance(v[0] + (v[1] - v[0]) * u + (v[2] - v[0]) * w, origin + dir * t) < 1e-3f) << i;
        // Away from the edges and the segment's ends, both tests see the same thing.
        const bool clear = std::min({u, w, 1 - u - w}) > 1e-3f || std::min({u, w, 1 - u - w}) < -1e-3f;
        if (std::fabs(dir.dot(normal)) > 0.05f && clear && std::fabs(t - length) > 1e-3f && std::fabs(t) > 1e-3f) {
            EXPECT_EQ(tri && t <= length, seg) << i;
            EXPECT_TRUE(!seg || distance(hit, origin + dir * t) < 1e-3f) << i;
        }
    }
    EXPECT_GT(hits, 100);
}

TEST_F(CollisionTest, PropertyRayHullMatchesTheBoxSlabs)
{
    Random rnd(4);
    int hits = 0;
    for (int i = 0; i < kRuns; ++i) {
        const Vector3 half(rnd.uniform(0.3f, 2), rnd.uniform(0.3f, 2), rnd.uniform(0.3f, 2));
        const Matrix3 rot = rnd.rotation();
        BoxHull box(half, rnd.vector(2), rot);
        const Vector3 origin = rnd.vector(8);
        Vector3 dir = (i % 2) ? rnd.unit() : box.hull.position + rnd.vector(1) - origin;  // half aimed at the box
        dir.normalise();
        // Reference: slabs in box space.
        Vector3 o, d;
        rot.transformTransposed(origin - box.hull.position, o);
        rot.transformTransposed(dir, d);
        float tMin = -1e30f, tMax = 1e30f;
        bool inside = true, parallelOut = false;
        const float oc[3] = {o.x, o.y, o.z}, dc[3] = {d.x, d.y, d.z}, hc[3] = {half.x, half.y, half.z};
        float margin = 1e30f;
        for (int k = 0; k < 3; ++k) {
            if (std::fabs(oc[k]) > hc[k]) inside = false;
            margin = std::min(margin, std::fabs(std::fabs(oc[k]) - hc[k]));
            if (std::fabs(dc[k]) < 1e-6f) {
                if (std::fabs(oc[k]) > hc[k]) parallelOut = true;
                continue;
            }
            float t0 = (-hc[k] - oc[k]) / dc[k], t1 = (hc[k] - oc[k]) / dc[k];
            if (t0 > t1) std::swap(t0, t1);
            tMin = std::max(tMin, t0);
            tMax = std::min(tMax, t1);
        }
        if (inside || margin < 1e-3f) continue;
        // How far the last entry point lies outside the box: 0 for a true hit.
        float outside = 0.0f;
        for (int k = 0; k < 3; ++k) outside = std::max(outside, std::fabs(oc[k] + dc[k] * tMin) - hc[k]);
        float t;
        Vector3 p, n;
        const bool hit = rayConvexHullIntersect(origin, dir, box.hull, false, t, p, n);
        if (parallelOut || tMin < 0.0f || outside > 0.101f) {
            EXPECT_FALSE(hit) << i;
        } else if (outside < 1e-4f) {
            ASSERT_TRUE(hit) << i;
            ++hits;
            EXPECT_NEAR(tMin, t, 1e-3f);
            EXPECT_NEAR(0.0f, distance(p, origin + dir * t), 1e-3f);
            EXPECT_NEAR(1.0f, n.length(), 1e-3f);
            EXPECT_LT(n.dot(dir), 0.0f);  // against the ray
        }
    }
    EXPECT_GT(hits, 100);
}

TEST_F(CollisionTest, PropertySphereHull)
{
    Random rnd(5);
    for (int i = 0; i < kRuns; ++i) {
        const Vector3 half(rnd.uniform(0.3f, 2), rnd.uniform(0.3f, 2), rnd.uniform(0.3f, 2));
        const Matrix3 rot = rnd.rotation();
        BoxHull box(half, rnd.vector(2), rot);
        const Vector3 centre = box.hull.position + rnd.vector(4);
        const float radius = rnd.uniform(0.1f, 1.5f);
        // Reference distance from the centre to the solid box.
        Vector3 local;
        rot.transformTransposed(centre - box.hull.position, local);
        const Vector3 clamped(std::clamp(local.x, -half.x, half.x), std::clamp(local.y, -half.y, half.y),
                              std::clamp(local.z, -half.z, half.z));
        const float dist = distance(local, clamped);
        llist list;
        Vector3 p, n;
        const bool hit = sphereConvexHullIntersect(centre, radius, box.hull, false, nullptr, nullptr, &list, p, n);
        if (dist < radius - 1e-4f) {
            EXPECT_TRUE(hit) << i;
        }
        if (hit) {
            EXPECT_FALSE(list.Empty());
            EXPECT_NEAR(1.0f, n.length(), 1e-3f);
            if (dist > 1e-3f) {
                EXPECT_LE(distance(p, centre), radius + 1e-3f);
            }
            for (CIntersection* r : records(list)) EXPECT_NEAR(1.0f, r->normal.length(), 1e-4f);
        } else {
            EXPECT_TRUE(list.Empty());
            const Vector3 apart = centre + (centre - box.hull.position) * rnd.uniform(0.01f, 2);
            EXPECT_FALSE(sphereConvexHullIntersect(apart, radius, box.hull, false, nullptr, nullptr, nullptr, p, n));
        }
        freeIntersectionList(&list);
    }
}

TEST_F(CollisionTest, PropertySphereCylinderIsTheGrownCylinder)
{
    Random rnd(6);
    int hits = 0, squareEdgeHits = 0;
    for (int i = 0; i < kRuns; ++i) {
        const CollisionCylinder cyl = rnd.cylinder(1);
        const Vector3 centre = rnd.vector(4);
        const float radius = rnd.uniform(0.1f, 1.5f);
        // The test is the cylinder grown by the radius, with square edges: beside a rim the sphere
        // may be clear of the cylinder and still touch.
        const Vector3 w = centre - cyl.base;
        const float a = w.dot(cyl.axis);
        const float across = (w - cyl.axis * a).length();
        const float outside = std::max({across - (cyl.radius + radius), -radius - a, a - cyl.length - radius});
        if (std::fabs(outside) < 1e-3f) continue;
        bool inside;
        const float dist = surfaceDistance(cyl, centre, inside);
        Vector3 p, n;
        const bool hit = sphereCylinderIntersect(centre, radius, cyl, p, n);
        EXPECT_EQ(outside < 0.0f, hit) << i;
        if (!inside && dist < radius - 1e-3f) {
            EXPECT_TRUE(hit) << i;  // every real overlap is found
        }
        if (!hit || inside) continue;
        ++hits;
        bool pInside;
        EXPECT_LT(surfaceDistance(cyl, p, pInside), 1e-3f) << i;  // on the cylinder
        if (dist <= radius)
            EXPECT_LE(distance(p, centre), radius + 1e-3f) << i;  // and in the sphere when they meet
        else
            ++squareEdgeHits;
        EXPECT_NEAR(1.0f, n.length(), 1e-3f);
        EXPECT_GE(n.dot(centre - p), -1e-3f);  // toward the sphere
    }
    EXPECT_GT(hits, 100);
    EXPECT_GT(squareEdgeHits, 5);
}

TEST_F(CollisionTest, PropertyRayCylinder)
{
    Random rnd(7);
    int hits = 0;
    for (int i = 0; i < kRuns; ++i) {
        const CollisionCylinder cyl = rnd.cylinder(1);
        const Vector3 origin = rnd.vector(6);
        Vector3 dir = (i % 2) ? rnd.unit() : (rnd.vector(1.5f) - origin);  // half of them aimed near the cylinder
        dir.normalise();
        bool inside;
        const float startDist = surfaceDistance(cyl, origin, inside);
        float t;
        Vector3 p, n;
        const bool hit = rayCylinderIntersect(origin, dir, cyl, t, p, n);
        // Reference: march the ray and look for points inside the cylinder.
        float firstInside = -1;
        for (int k = 0; k <= 2000 && firstInside < 0; ++k) {
            bool in;
            const float s = k * 0.01f;
            if (surfaceDistance(cyl, origin + dir * s, in) > 0.0f && in) firstInside = s;
        }
        if (inside) {
            ASSERT_TRUE(hit);
            EXPECT_EQ(0.0f, t);
            continue;
        }
        if (startDist < 0.02f) continue;
        if (hit) {
            ++hits;
            EXPECT_GE(t, 0.0f);
            bool in;
            EXPECT_LT(surfaceDistance(cyl, p, in), 1e-3f) << i;
            EXPECT_NEAR(0.0f, distance(p, origin + dir * t), 1e-3f);
            EXPECT_LT(n.dot(dir), 1e-3f);
            if (firstInside >= 0) {
                EXPECT_NEAR(firstInside, t, 0.021f) << i;
            }
        } else if (firstInside >= 0) {
            // Only a graze can be missed: the ray never gets deep inside.
            bool in;
            EXPECT_LT(surfaceDistance(cyl, origin + dir * firstInside, in), 0.02f) << i;
        }
    }
    EXPECT_GT(hits, 200);
}

TEST_F(CollisionTest, PropertyCylinderPairsAgreeBothWays)
{
    Random rnd(8);
    int hits = 0, misses = 0;
    for (int i = 0; i < kRuns; ++i) {
        const CollisionCylinder a = rnd.cylinder(2), b = rnd.cylinder(2);
        Vector3 p, n, p2, n2;
        const bool hit = cylinderCylinderIntersect(a, b, p, n);
        EXPECT_EQ(hit, cylinderCylinderIntersect(b, a, p2, n2)) << i;
        const Vector3 ca = a.base + a.axis * (0.5f * a.length), cb = b.base + b.axis * (0.5f * b.length);
        const float axes = segmentDistance(a.base, a.base + a.axis * a.length, b.base, b.base + b.axis * b.length);
        if (axes < 0.5f * std::min(a.radius, b.radius)) {
            EXPECT_TRUE(hit) << i;
        }
        const float reach = 0.5f * (a.length + b.length) + a.radius + b.radius;
        if (distance(ca, cb) > 1.7321f * reach) {
            EXPECT_FALSE(hit) << i;
        }
        if (hit) {
            ++hits;
            EXPECT_NEAR(1.0f, n.length(), 1e-3f);
            EXPECT_NEAR(0.0f, (n + n2).length(), 1e-3f) << i;
            // On the second cylinder always; on both wherever the two certainly overlap.
            bool in;
            const float offB = surfaceDistance(b, p, in);
            EXPECT_TRUE(in || offB < 1e-3f) << i;
            if (axes < 0.5f * std::min(a.radius, b.radius)) {
                const float offA = surfaceDistance(a, p, in);
                EXPECT_TRUE(in || offA < 1e-3f) << i;
            }
        } else {
            ++misses;
            CollisionCylinder apart = b;
            apart.base = b.base + (cb - ca) * rnd.uniform(0.01f, 2);
            EXPECT_FALSE(cylinderCylinderIntersect(a, apart, p, n)) << i;
        }
    }
    EXPECT_GT(hits, 200);
    EXPECT_GT(misses, 200);

}

}  // namespace
