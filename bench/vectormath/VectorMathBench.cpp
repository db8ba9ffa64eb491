// Matrix products, vector transforms and the fast inverse square root against the library root.
#include "utility/VectorMath.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

const int kInputs = 1024;

std::vector<float> positives()
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> d(0.001f, 1000.0f);
    std::vector<float> out;
    for (int i = 0; i < kInputs; ++i) out.push_back(d(rng));
    return out;
}

void BM_Matrix4Multiply(benchmark::State& state)
{
    Matrix4 a, b, out;
    a.setRotationX(0.3f);
    b.setRotationY(0.7f);
    b.m[3][0] = 2.0f;
    for (auto _ : state) {
        Matrix4::multiply(out, a, b);
        benchmark::DoNotOptimize(out);
        a.m[3][1] += 1e-7f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Matrix4Multiply);

void BM_Vector3TransformBy(benchmark::State& state)
{
    Matrix3 m;
    matrix3FromAngles(0.1f, 0.2f, 0.3f, m);
    Vector3 v(1, 2, 3);
    for (auto _ : state) {
        v.transformBy(m);
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Vector3TransformBy);

void BM_FastInvSqrt(benchmark::State& state)
{
    const std::vector<float> x = positives();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fastInvSqrt(x[i]));
        i = (i + 1) % kInputs;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FastInvSqrt);

void BM_LibraryInvSqrt(benchmark::State& state)
{
    const std::vector<float> x = positives();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(1.0f / std::sqrt(x[i]));
        i = (i + 1) % kInputs;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibraryInvSqrt);

}  // namespace

BENCHMARK_MAIN();
