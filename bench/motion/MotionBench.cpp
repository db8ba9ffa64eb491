// Roots and swept contacts per second on random inputs.
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

}  // namespace

BENCHMARK_MAIN();
