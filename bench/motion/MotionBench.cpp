// Roots and swept contacts per second on random inputs.
#include "gameobjects/CollisionServices.h"
#include "utility/CollisionTemporal.h"
#include "utility/LList.h"
#include "utility/PolyMaths.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

struct QuarticCase {
    double c[5];
};

std::vector<QuarticCase> randomQuartics(size_t n)
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> pick(-50.0, 50.0);
    std::vector<QuarticCase> cases(n);
    for (QuarticCase& q : cases) {
        q.c[0] = 0.1 + std::abs(pick(rng));
        for (int i = 1; i < 5; ++i)
            q.c[i] = pick(rng);
    }
    return cases;
}

void BM_solveQuartic(benchmark::State& state)
{
    const std::vector<QuarticCase> cases = randomQuartics(1024);
    size_t i = 0;
    for (auto _ : state) {
        const QuarticCase& q = cases[i++ & 1023];
        unsigned int n;
        float roots[4];
        solveQuartic(q.c[0], q.c[1], q.c[2], q.c[3], q.c[4], &n, roots);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(roots);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_solveQuartic);

// A box hull of six planes, turned and placed off the origin.
struct BenchHull {
    Vector3 normals[6];
    float distances[6];
    CollisionHull hull;

    BenchHull()
    {
        for (int i = 0; i < 6; ++i) {
            Vector3 n;
            (i / 2 == 0 ? n.x : i / 2 == 1 ? n.y : n.z) = (i % 2) ? -1.0f : 1.0f;
            normals[i] = n;
            distances[i] = -2.0f;
        }
        Matrix3 turn;
        matrix3FromAngles(0.3f, 0.2f, -0.5f, turn);
        hull = CollisionHull{Vector3(1, 2, 3), turn, 6, normals, distances, nullptr};
    }
};

void BM_temporalSphereHull(benchmark::State& state)
{
    llistInitElementPool();
    createIntersectionMemoryManager(64, sizeof(CIntersection));
    const BenchHull box;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pick(-8.0f, 8.0f);
    std::vector<Vector3> ends(2048);
    for (Vector3& v : ends)
        v = Vector3(pick(rng), pick(rng), pick(rng));
    llist list;
    size_t i = 0;
    int64_t hits = 0;
    for (auto _ : state) {
        const Vector3& from = ends[(2 * i) & 2047];
        const Vector3& to = ends[(2 * i + 1) & 2047];
        ++i;
        Vector3 point, normal;
        float time;
        hits += temporalConvexHullIntersect(from, to, 0.5f, box.hull, false, nullptr, nullptr, &list, point, normal,
                                            time);
        freeIntersectionList(&list);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["hit_share"] = double(hits) / double(state.iterations());
    destroyIntersectionMemoryManager();
    llistFreeElementPool();
}
BENCHMARK(BM_temporalSphereHull);

}  // namespace

BENCHMARK_MAIN();
