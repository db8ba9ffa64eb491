// The vector library over 1,024 inputs an iteration, each beside the same arithmetic written
// plainly over float arrays: 4 x 4 matrix products, vectors turned by a 3 x 3 matrix, and the
// fast inverse square root against 1 / std::sqrt.
#include "../BenchMain.h"
#include "utility/VectorMath.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

const int kInputs = 1024;

std::mt19937& rng()
{
    static std::mt19937 r(3);
    return r;
}

float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng()); }

std::vector<Matrix4> matrices()
{
    std::vector<Matrix4> out(kInputs);
    for (Matrix4& m : out)
        for (auto& row : m.m)
            for (float& f : row) f = uniform(-1, 1);
    return out;
}

void BM_Matrix4Multiply(benchmark::State& state)
{
    const std::vector<Matrix4> a = matrices(), b = matrices();
    std::vector<Matrix4> out(kInputs);
    for (auto _ : state) {
        for (int i = 0; i < kInputs; ++i) Matrix4::multiply(out[i], a[i], b[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kInputs);
}
BENCHMARK(BM_Matrix4Multiply);

struct Plain4 {
    float m[4][4];
};

// out = a b, a row at a time.
void multiply(Plain4& out, const Plain4& a, const Plain4& b)
{
    for (int i = 0; i < 4; ++i) {
        float row[4] = {0, 0, 0, 0};
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j) row[j] += a.m[i][k] * b.m[k][j];
        for (int j = 0; j < 4; ++j) out.m[i][j] = row[j];
    }
}

void BM_PlainMatrixMultiply(benchmark::State& state)
{
    std::vector<Plain4> a(kInputs), b(kInputs), out(kInputs);
    const std::vector<Matrix4> ma = matrices(), mb = matrices();
    for (int i = 0; i < kInputs; ++i) {
        std::memcpy(a[i].m, ma[i].m, sizeof(Plain4));
        std::memcpy(b[i].m, mb[i].m, sizeof(Plain4));
    }
    for (auto _ : state) {
        for (int n = 0; n < kInputs; ++n) multiply(out[n], a[n], b[n]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kInputs);
}
BENCHMARK(BM_PlainMatrixMultiply);
BENCH_PAIR(BM_Matrix4Multiply, BM_PlainMatrixMultiply);

std::vector<Vector3> vectors()
{
    std::vector<Vector3> out(kInputs);
    for (Vector3& v : out) v.set(uniform(-100, 100), uniform(-100, 100), uniform(-100, 100));
    return out;
}

void BM_Vector3TransformBy(benchmark::State& state)
{
    Matrix3 m;
    matrix3FromAngles(0.1f, 0.2f, 0.3f, m);
    std::vector<Vector3> vs = vectors();
    for (auto _ : state) {
        for (Vector3& v : vs) v.transformBy(m);
        benchmark::DoNotOptimize(vs.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kInputs);
}
BENCHMARK(BM_Vector3TransformBy);

// Row vectors times the matrix in place, as the library turns them (a rotation: they keep their size).
void BM_PlainVectorTransform(benchmark::State& state)
{
    Matrix3 turn;
    matrix3FromAngles(0.1f, 0.2f, 0.3f, turn);
    float m[3][3];
    std::memcpy(m, turn.m, sizeof m);
    const std::vector<Vector3> vs = vectors();
    std::vector<float> xyz(3 * kInputs);
    for (int i = 0; i < kInputs; ++i) xyz[3 * i] = vs[i].x, xyz[3 * i + 1] = vs[i].y, xyz[3 * i + 2] = vs[i].z;
    for (auto _ : state) {
        for (int i = 0; i < kInputs; ++i) {
            float* v = &xyz[3 * i];
            const float x = v[0], y = v[1], z = v[2];
            for (int j = 0; j < 3; ++j) v[j] = x * m[0][j] + y * m[1][j] + z * m[2][j];
        }
        benchmark::DoNotOptimize(xyz.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kInputs);
}
BENCHMARK(BM_PlainVectorTransform);
BENCH_PAIR(BM_Vector3TransformBy, BM_PlainVectorTransform);

std::vector<float> positives()
{
    std::vector<float> out(kInputs);
    for (float& f : out) f = uniform(0.001f, 1000.0f);
    return out;
}

void BM_FastInvSqrt(benchmark::State& state)
{
    const std::vector<float> x = positives();
    std::vector<float> out(kInputs);
    for (auto _ : state) {
        for (int i = 0; i < kInputs; ++i) out[i] = fastInvSqrt(x[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kInputs);
}
BENCHMARK(BM_FastInvSqrt);

void BM_LibraryInvSqrt(benchmark::State& state)
{
    const std::vector<float> x = positives();
    std::vector<float> out(kInputs);
    for (auto _ : state) {
        for (int i = 0; i < kInputs; ++i) out[i] = 1.0f / std::sqrt(x[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kInputs);
}
BENCHMARK(BM_LibraryInvSqrt);
BENCH_PAIR(BM_FastInvSqrt, BM_LibraryInvSqrt);

}  // namespace

VELDRANE_BENCH_MAIN("vectormath")
