// The shape tests on 1,024 random inputs an iteration, each beside the textbook way of answering
// the same question written plainly (std::vector for the contact records): a ray against a
// triangle (Möller-Trumbore), a sphere, a ray and a cylinder against a turned box hull (the
// deepest or entering plane by plane distances, Cyrus-Beck clipping, the cylinder's reach along
// each plane normal). Items are tests.
#include "../BenchMain.h"
#include "../PlainVector.h"
#include "gameobjects/CollisionServices.h"
#include "utility/Collision.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

const int kInputs = 1024;
const float INF = std::numeric_limits<float>::infinity();

plain::V3 v3(const Vector3& v) { return {v.x, v.y, v.z}; }

struct Inputs {
    std::mt19937 rng{42};
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    Vector3 vector(float range) { return Vector3(uniform(-range, range), uniform(-range, range), uniform(-range, range)); }
    Vector3 unit()
    {
        Vector3 v = vector(1);
        while (v.dot(v) < 0.01f) v = vector(1);
        v.normalise();
        return v;
    }
    Matrix3 rotation()
    {
        Matrix3 m;
        matrix3FromAngles(uniform(-3, 3), uniform(-1.5f, 1.5f), uniform(-3, 3), m);
        return m;
    }
};

// A box of six planes; random orientation and position per input.
struct Box {
    Vector3 normals[6] = {Vector3(1, 0, 0), Vector3(-1, 0, 0), Vector3(0, 1, 0),
                          Vector3(0, -1, 0), Vector3(0, 0, 1), Vector3(0, 0, -1)};
    float distances[6] = {-1, -1, -1.5f, -1.5f, -0.5f, -0.5f};
};

// The same hull for the plain tests.
struct PlainHull {
    plain::Frame frame;
    plain::V3 normals[6];
    float distances[6];
};

struct Hulls {
    Box box;
    std::vector<CollisionHull> engine;
    std::vector<PlainHull> plain;

    explicit Hulls(Inputs& in)
    {
        for (int i = 0; i < kInputs; ++i) {
            engine.push_back(CollisionHull{in.vector(1.5f), in.rotation(), 6, box.normals, box.distances, nullptr});
            PlainHull p;
            p.frame.position = v3(engine.back().position);
            std::memcpy(p.frame.m, engine.back().orientation.m, sizeof p.frame.m);
            for (int k = 0; k < 6; ++k) p.normals[k] = v3(box.normals[k]), p.distances[k] = box.distances[k];
            plain.push_back(p);
        }
    }
};

struct Contact {
    plain::V3 point, normal;
};

// The intersection records' pool, for the tests that fill a list.
struct RecordPool {
    RecordPool()
    {
        llistInitElementPool();
        createIntersectionMemoryManager(64, sizeof(CIntersection));
    }
    ~RecordPool()
    {
        destroyIntersectionMemoryManager();
        llistFreeElementPool();
    }
};

void finish(benchmark::State& state, int hits)
{
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations() * kInputs);
    state.counters["hit_share"] = static_cast<double>(hits) / (static_cast<double>(state.iterations()) * kInputs);
}

// Rays from anywhere within the range, in random directions.
struct Rays {
    std::vector<Vector3> o, d;
    Rays(Inputs& in, float range)
    {
        for (int i = 0; i < kInputs; ++i) {
            o.push_back(in.vector(range));
            d.push_back(in.unit());
        }
    }
};

struct Triangles {
    std::vector<Vector3> v;
    Rays rays;
    explicit Triangles(Inputs& in) : v(corners(in)), rays(in, 5) {}
    static std::vector<Vector3> corners(Inputs& in)
    {
        std::vector<Vector3> out;
        for (int i = 0; i < kInputs * 3; ++i) out.push_back(in.vector(2));
        return out;
    }
};

void BM_RayTriangle(benchmark::State& state)
{
    Inputs in;
    const Triangles t(in);
    int hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            float u, w, at;
            hits += rayTriangleIntersect(t.rays.o[i], t.rays.d[i], t.v[3 * i], t.v[3 * i + 1], t.v[3 * i + 2], u, w, at);
        }
    finish(state, hits);
}
BENCHMARK(BM_RayTriangle);

void BM_PlainRayTriangle(benchmark::State& state)
{
    using namespace plain;
    Inputs in;
    const Triangles tri(in);
    std::vector<V3> v, o, d;
    for (const Vector3& p : tri.v) v.push_back(v3(p));
    for (int i = 0; i < kInputs; ++i) o.push_back(v3(tri.rays.o[i])), d.push_back(v3(tri.rays.d[i]));
    int hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            const V3 e1 = v[3 * i + 1] - v[3 * i], e2 = v[3 * i + 2] - v[3 * i];
            const V3 p = cross(d[i], e2);
            const float det = dot(e1, p);
            if (std::fabs(det) < 1e-6f) continue;
            const float inv = 1.0f / det;
            const V3 s = o[i] - v[3 * i];
            const float u = dot(s, p) * inv;
            if (u < 0.0f || u > 1.0f) continue;
            const V3 q = cross(s, e1);
            const float w = dot(d[i], q) * inv;
            if (w < 0.0f || u + w > 1.0f) continue;
            hits += dot(e2, q) * inv >= 0.0f;
        }
    finish(state, hits);
}
BENCHMARK(BM_PlainRayTriangle);
BENCH_PAIR(BM_RayTriangle, BM_PlainRayTriangle);

std::vector<Vector3> centres(Inputs& in, float range)
{
    std::vector<Vector3> c;
    for (int i = 0; i < kInputs; ++i) c.push_back(in.vector(range));
    return c;
}

void BM_SphereHull(benchmark::State& state)
{
    const RecordPool pool;
    Inputs in;
    const Hulls hulls(in);
    const std::vector<Vector3> c = centres(in, 3);
    llist list;
    int hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            Vector3 p, n;
            hits += sphereConvexHullIntersect(c[i], 0.75f, hulls.engine[i], false, nullptr, nullptr, &list, p, n);
            freeIntersectionList(&list);
        }
    finish(state, hits);
}
BENCHMARK(BM_SphereHull);

// Separated when the centre stands further than the radius outside a plane; else the deepest
// plane, and those within 0.001 of it, give the records, the normal and the point.
bool plainSphereHull(plain::V3 centre, float radius, const PlainHull& hull, std::vector<Contact>& records,
                     plain::V3& point, plain::V3& normal)
{
    using namespace plain;
    records.clear();
    const V3 c = hull.frame.toLocal(centre);
    float s[6], deepest = -INF;
    for (int k = 0; k < 6; ++k) {
        s[k] = dot(hull.normals[k], c) + hull.distances[k] - radius;
        if (s[k] > 1e-6f) return false;
        deepest = std::max(deepest, s[k]);
    }
    V3 sum, pointSum;
    for (int k = 0; k < 6; ++k) {
        if (deepest - s[k] >= 0.001f) continue;
        const V3 onPlane = c - hull.normals[k] * (s[k] + radius);
        records.push_back({hull.frame.toWorld(onPlane), hull.frame.turn(hull.normals[k])});
        sum = sum + hull.normals[k];
        pointSum = pointSum + onPlane;
    }
    point = hull.frame.toWorld(pointSum * (1.0f / static_cast<float>(records.size())));
    normal = normalised(hull.frame.turn(sum));
    return true;
}

void BM_PlainSphereHull(benchmark::State& state)
{
    Inputs in;
    const Hulls hulls(in);
    std::vector<plain::V3> c;
    for (const Vector3& v : centres(in, 3)) c.push_back(v3(v));
    std::vector<Contact> records;
    records.reserve(6);
    int hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            plain::V3 p, n;
            hits += plainSphereHull(c[i], 0.75f, hulls.plain[i], records, p, n);
        }
    finish(state, hits);
}
BENCHMARK(BM_PlainSphereHull);
BENCH_PAIR(BM_SphereHull, BM_PlainSphereHull);

void BM_RayHull(benchmark::State& state)
{
    Inputs in;
    const Hulls hulls(in);
    const Rays rays(in, 6);
    int hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            float t;
            Vector3 p, n;
            hits += rayConvexHullIntersect(rays.o[i], rays.d[i], hulls.engine[i], false, t, p, n);
        }
    finish(state, hits);
}
BENCHMARK(BM_RayHull);

// Cyrus-Beck: the ray's span inside every plane; the last plane entered gives the normal.
bool plainRayHull(plain::V3 origin, plain::V3 dir, const PlainHull& hull, float& t, plain::V3& point,
                  plain::V3& normal)
{
    using namespace plain;
    const V3 o = hull.frame.toLocal(origin), d = hull.frame.unturn(dir);
    float enter = -INF, leave = INF;
    int entered = -1;
    for (int k = 0; k < 6; ++k) {
        const float den = dot(d, hull.normals[k]), dist = dot(o, hull.normals[k]) + hull.distances[k];
        if (std::fabs(den) <= 1e-6f) {
            if (dist > 1e-6f) return false;
            continue;
        }
        const float at = -dist / den;
        if (den < 0.0f && at > enter) enter = at, entered = k;
        if (den > 0.0f && at < leave) leave = at;
    }
    if (entered < 0 || enter > leave || leave < 0.0f) return false;
    t = enter;
    point = hull.frame.toWorld(o + d * enter);
    normal = hull.frame.turn(hull.normals[entered]);
    return true;
}

void BM_PlainRayHull(benchmark::State& state)
{
    Inputs in;
    const Hulls hulls(in);
    const Rays rays(in, 6);
    int hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            float t;
            plain::V3 p, n;
            hits += plainRayHull(v3(rays.o[i]), v3(rays.d[i]), hulls.plain[i], t, p, n);
        }
    finish(state, hits);
}
BENCHMARK(BM_PlainRayHull);
BENCH_PAIR(BM_RayHull, BM_PlainRayHull);

std::vector<CollisionCylinder> cylinders(Inputs& in)
{
    std::vector<CollisionCylinder> out;
    for (int i = 0; i < kInputs; ++i) out.push_back(CollisionCylinder{in.vector(2.5f), in.unit(), 0.5f, 2.0f});
    return out;
}

void BM_CylinderHull(benchmark::State& state)
{
    const RecordPool pool;
    Inputs in;
    const Hulls hulls(in);
    const std::vector<CollisionCylinder> cyl = cylinders(in);
    llist list;
    int hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            uint32_t plane;
            Vector3 p, n;
            hits += collideCylinderHull(cyl[i], hulls.engine[i], nullptr, nullptr, &list, plane, n, p);
            freeIntersectionList(&list);
        }
    finish(state, hits);
}
BENCHMARK(BM_CylinderHull);

// Per plane, the cylinder's lowest point from its middle and its reach along the normal (the
// axis' share of the length and the rim's of the radius): above any plane it is separated; each
// plane it crosses gives a record; the shallowest plane it is under pushes it out.
bool plainCylinderHull(plain::V3 base, plain::V3 axis, float radius, float length, const PlainHull& hull,
                       std::vector<Contact>& records, plain::V3& point, plain::V3& normal)
{
    using namespace plain;
    records.clear();
    const V3 b = hull.frame.toLocal(base), a = hull.frame.unturn(axis);
    const V3 middle = b + a * (0.5f * length);
    float best = -INF;
    int chosen = -1;
    for (int k = 0; k < 6; ++k) {
        const V3& n = hull.normals[k];
        const float c = dot(a, n), across = 1.0f - c * c;
        const float reach = std::fabs(c) * 0.5f * length + radius * (across > 0.0f ? std::sqrt(across) : 0.0f);
        const float dist = dot(middle, n) + hull.distances[k];
        const float depth = dist - reach;
        if (depth > 0.001f) return false;
        if (dist + reach > 1e-6f) records.push_back({hull.frame.turn(n * -hull.distances[k]) + hull.frame.position, hull.frame.turn(n)});
        if (depth < 1e-6f && depth > best) best = depth, chosen = k;
    }
    if (chosen < 0) return false;
    normal = hull.frame.turn(hull.normals[chosen]);
    point = hull.frame.position + normal * -hull.distances[chosen];
    return true;
}

void BM_PlainCylinderHull(benchmark::State& state)
{
    Inputs in;
    const Hulls hulls(in);
    const std::vector<CollisionCylinder> cyl = cylinders(in);
    std::vector<Contact> records;
    records.reserve(6);
    int hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            plain::V3 p, n;
            hits += plainCylinderHull(v3(cyl[i].base), v3(cyl[i].axis), cyl[i].radius, cyl[i].length, hulls.plain[i],
                                      records, p, n);
        }
    finish(state, hits);
}
BENCHMARK(BM_PlainCylinderHull);
BENCH_PAIR(BM_CylinderHull, BM_PlainCylinderHull);

}  // namespace

VELDRANE_BENCH_MAIN("collision")
