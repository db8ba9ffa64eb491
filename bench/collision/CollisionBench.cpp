// Shape tests per second on random inputs; items processed are tests run.
#include "utility/Collision.h"

#include "gameobjects/CollisionServices.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

const int kInputs = 1024;

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

std::vector<CollisionHull> hulls(Inputs& in, const Box& box)
{
    std::vector<CollisionHull> out;
    for (int i = 0; i < kInputs; ++i)
        out.push_back(CollisionHull{in.vector(1.5f), in.rotation(), 6, box.normals, box.distances, nullptr});
    return out;
}

void BM_RayTriangle(benchmark::State& state)
{
    Inputs in;
    std::vector<Vector3> v, o, d;
    for (int i = 0; i < kInputs * 3; ++i) v.push_back(in.vector(2));
    for (int i = 0; i < kInputs; ++i) {
        o.push_back(in.vector(5));
        d.push_back(in.unit());
    }
    int i = 0, hits = 0;
    for (auto _ : state) {
        float u, w, t;
        hits += rayTriangleIntersect(o[i], d[i], v[3 * i], v[3 * i + 1], v[3 * i + 2], u, w, t);
        i = (i + 1) % kInputs;
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RayTriangle);

void BM_SphereHull(benchmark::State& state)
{
    llistInitElementPool();
    createIntersectionMemoryManager(64, sizeof(CIntersection));
    Inputs in;
    Box box;
    const std::vector<CollisionHull> hs = hulls(in, box);
    std::vector<Vector3> c;
    for (int i = 0; i < kInputs; ++i) c.push_back(in.vector(3));
    llist list;
    int i = 0, hits = 0;
    for (auto _ : state) {
        Vector3 p, n;
        hits += sphereConvexHullIntersect(c[i], 0.75f, hs[i], false, nullptr, nullptr, &list, p, n);
        freeIntersectionList(&list);
        i = (i + 1) % kInputs;
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations());
    destroyIntersectionMemoryManager();
    llistFreeElementPool();
}
BENCHMARK(BM_SphereHull);

void BM_RayHull(benchmark::State& state)
{
    Inputs in;
    Box box;
    const std::vector<CollisionHull> hs = hulls(in, box);
    std::vector<Vector3> o, d;
    for (int i = 0; i < kInputs; ++i) {
        o.push_back(in.vector(6));
        d.push_back(in.unit());
    }
    int i = 0, hits = 0;
    for (auto _ : state) {
        float t;
        Vector3 p, n;
        hits += rayConvexHullIntersect(o[i], d[i], hs[i], false, t, p, n);
        i = (i + 1) % kInputs;
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RayHull);

void BM_CylinderHull(benchmark::State& state)
{
    llistInitElementPool();
    createIntersectionMemoryManager(64, sizeof(CIntersection));
    Inputs in;
    Box box;
    const std::vector<CollisionHull> hs = hulls(in, box);
    std::vector<CollisionCylinder> cyl;
    for (int i = 0; i < kInputs; ++i) cyl.push_back(CollisionCylinder{in.vector(2.5f), in.unit(), 0.5f, 2.0f});
    llist list;
    int i = 0, hits = 0;
    for (auto _ : state) {
        uint32_t plane;
        Vector3 p, n;
        hits += collideCylinderHull(cyl[i], hs[i], nullptr, nullptr, &list, plane, n, p);
        freeIntersectionList(&list);
        i = (i + 1) % kInputs;
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations());
    destroyIntersectionMemoryManager();
    llistFreeElementPool();
}
BENCHMARK(BM_CylinderHull);

}  // namespace

BENCHMARK_MAIN();
