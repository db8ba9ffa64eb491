// A shot through a clump of 1,000 elements (a 50 x 20 grid of spheres 40 apart): the ray tested
// through the collision hierarchy, beside the same ray tested against every sphere in a plain loop.
#include "gameobjects/CollisionHierarchy.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

const uint32_t NUM_ELEMENTS = 1000;

struct Clump {
    std::vector<Vector3> centres = std::vector<Vector3>(NUM_ELEMENTS);
    std::vector<CCollisionSphere> spheres = std::vector<CCollisionSphere>(NUM_ELEMENTS);
    std::unique_ptr<CCollisionHierarchy> hierarchy;
    Vector3 start, direction = Vector3(0.6f, 0.8f, 0.0f);
    CCollisionFiniteRay ray;

    Clump()
    {
        std::vector<CCollisionSphere*> pointers;
        std::vector<uint32_t> ids;
        for (uint32_t i = 0; i < NUM_ELEMENTS; ++i) {
            centres[i].set(static_cast<float>(i % 50) * 40.0f, static_cast<float>(i / 50) * 40.0f, 20.0f);
            spheres[i].pCentre = &centres[i];
            spheres[i].radius = 12.0f;
            pointers.push_back(&spheres[i]);
            ids.push_back(i);
        }
        hierarchy.reset(CCollisionHierarchy::build(pointers.data(), ids.data(), NUM_ELEMENTS));
        ray.pStart = &start, ray.pDirection = &direction, ray.length = 300.0f;
    }
    // The next shot, somewhere over the grid.
    void aim(uint32_t n) { start.set(static_cast<float>(n * 37 % 2000), static_cast<float>(n * 53 % 800), 20.0f); }
};

Clump& clump()
{
    static Clump c;
    return c;
}

void BM_RayThroughHierarchy(benchmark::State& state)
{
    Clump& c = clump();
    Vector3 point, normal;
    uint32_t n = 0, hits = 0;
    for (auto _ : state) {
        c.aim(n++);
        hits += c.hierarchy->test(&c.ray, &point, &normal, 0);
    }
    benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_RayThroughHierarchy);

void BM_RayAgainstEverySphere(benchmark::State& state)
{
    Clump& c = clump();
    Vector3 point, normal;
    uint32_t n = 0, hits = 0;
    for (auto _ : state) {
        c.aim(n++);
        for (CCollisionSphere& sphere : c.spheres) hits += c.ray.test(&sphere, &point, &normal, 0);
    }
    benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_RayAgainstEverySphere);

}  // namespace

BENCHMARK_MAIN();
