// A shot through a clump of 1,000 elements (a 50 x 20 grid of spheres 40 apart) collecting every
// sphere it passes through, with its point and normal: the ray tested through the collision
// hierarchy, beside the plain way of the same query - the spheres sorted by x once, and per shot
// only those whose x span meets the ray's tested with the textbook ray-sphere test into a
// std::vector of hits. The two must find the same hits before either is timed.
#include "../BenchMain.h"
#include "../PlainVector.h"
#include "gameobjects/CollisionHierarchy.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const uint32_t NUM_ELEMENTS = 1000;
const float RADIUS = 12.0f, LENGTH = 300.0f;

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
            spheres[i].radius = RADIUS;
            pointers.push_back(&spheres[i]);
            ids.push_back(i);
        }
        hierarchy.reset(CCollisionHierarchy::build(pointers.data(), ids.data(), NUM_ELEMENTS));
        ray.pStart = &start, ray.pDirection = &direction, ray.length = LENGTH;
    }
    // The next shot, somewhere over the grid.
    static Vector3 aim(uint32_t n)
    {
        return Vector3(static_cast<float>(n * 37 % 2000), static_cast<float>(n * 53 % 800), 20.0f);
    }
};

Clump& clump()
{
    static Clump c;
    return c;
}

const uint32_t SHOTS = 1024;

void finish(benchmark::State& state, uint64_t hits)
{
    state.SetItemsProcessed(state.iterations() * SHOTS);
    state.counters["hits_per_shot"] = static_cast<double>(hits) / (static_cast<double>(state.iterations()) * SHOTS);
}

// Every shot once through the hierarchy: the hits it finds.
uint64_t hierarchyShots(Clump& c)
{
    Vector3 point, normal;
    uint64_t hits = 0;
    for (uint32_t n = 0; n < SHOTS; ++n) {
        c.start = Clump::aim(n);
        if (!c.hierarchy->test(&c.ray, &point, &normal, 0)) continue;
        c.hierarchy->beginHits();
        uint32_t id;
        while (c.hierarchy->nextHit(&id, &point) >= 0) ++hits;
    }
    return hits;
}

void BM_RayThroughHierarchy(benchmark::State& state)
{
    Clump& c = clump();
    if (!c.hierarchy) return state.SkipWithError("no hierarchy");
    uint64_t hits = 0;
    for (auto _ : state) hits += hierarchyShots(c);
    finish(state, hits);
}
BENCHMARK(BM_RayThroughHierarchy);

struct Hit {
    uint32_t id;
    plain::V3 point, normal;
};

void BM_RaySortedSweep(benchmark::State& state)
{
    using namespace plain;
    struct Ball {
        V3 centre;
        uint32_t id;
    };
    std::vector<Ball> balls;
    for (uint32_t i = 0; i < NUM_ELEMENTS; ++i) {
        const Vector3& c = clump().centres[i];
        balls.push_back({{c.x, c.y, c.z}, i});
    }
    std::sort(balls.begin(), balls.end(), [](const Ball& a, const Ball& b) { return a.centre.x < b.centre.x; });
    std::vector<float> xs;
    for (const Ball& b : balls) xs.push_back(b.centre.x);
    const V3 dir{0.6f, 0.8f, 0.0f};
    std::vector<Hit> found;
    uint64_t hits = 0;
    auto shots = [&] {
        for (uint32_t n = 0; n < SHOTS; ++n) {
            const Vector3 at = Clump::aim(n);
            const V3 start{at.x, at.y, at.z};
            const float endX = start.x + dir.x * LENGTH;
            const float low = std::min(start.x, endX) - RADIUS, high = std::max(start.x, endX) + RADIUS;
            found.clear();
            for (size_t i = std::lower_bound(xs.begin(), xs.end(), low) - xs.begin(); i < xs.size() && xs[i] <= high; ++i) {
                // The nearer crossing of the sphere along the ray, within its length.
                const V3 w = start - balls[i].centre;
                const float b = dot(w, dir), c = dot(w, w) - RADIUS * RADIUS;
                // A ray that only touches a sphere passes it, as in the engine's test.
                const float disc = b * b - c;
                if (disc < 1e-6f) continue;
                const float t = c < 0.0f ? 0.0f : -b - std::sqrt(disc);
                if (t < 0.0f || t > LENGTH) continue;
                const V3 point = start + dir * t;
                found.push_back({balls[i].id, point, normalised(point - balls[i].centre)});
            }
            hits += found.size();
        }
    };
    // Both find the same spheres, or the figure would compare different queries.
    shots();
    if (!clump().hierarchy || hits != hierarchyShots(clump()))
        return state.SkipWithError("the sweep and the hierarchy find different hits");
    hits = 0;
    for (auto _ : state) shots();
    finish(state, hits);
}
BENCHMARK(BM_RaySortedSweep);
BENCH_PAIR(BM_RayThroughHierarchy, BM_RaySortedSweep);

}  // namespace

VELDRANE_BENCH_MAIN("clumpray")
