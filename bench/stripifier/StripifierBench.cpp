// Stripify on a 256 x 256 quad grid (open) and a 256 x 256 torus (closed), with 1 and 8 tries:
// triangles per second (items) and indices per triangle, beside a naive join that makes every
// triangle a strip of its own. A strip cannot do better than about one index per triangle.
#include "stripifier/Stripifier.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const uint32_t SIDE = 256;

struct BenchMesh {
    std::vector<float> vertices;
    std::vector<uint32_t> indices;
};

const BenchMesh& mesh(bool closed)
{
    static BenchMesh meshes[2];
    BenchMesh& m = meshes[closed];
    if (!m.indices.empty()) return m;
    const uint32_t columns = closed ? SIDE : SIDE + 1, rows = closed ? SIDE : SIDE + 1;
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < columns; ++x)
            m.vertices.insert(m.vertices.end(), {float(x), float(y), 0.0f});
    auto at = [&](uint32_t x, uint32_t y) { return (y % rows) * columns + x % columns; };
    for (uint32_t y = 0; y < SIDE; ++y)
        for (uint32_t x = 0; x < SIDE; ++x)
            m.indices.insert(m.indices.end(), {at(x, y), at(x + 1, y), at(x, y + 1), at(x + 1, y), at(x + 1, y + 1),
                                               at(x, y + 1)});
    return m;
}

void BM_Stripify(benchmark::State& state)
{
    const BenchMesh& m = mesh(state.range(0) != 0);
    MeshData in = {MESH_TRIANGLELIST,
                   static_cast<uint32_t>(m.vertices.size() / 3),
                   12,
                   static_cast<uint32_t>(m.indices.size()),
                   0,
                   const_cast<float*>(m.vertices.data()),
                   4,
                   const_cast<uint32_t*>(m.indices.data()),
                   0};
    const double triangles = m.indices.size() / 3.0;
    double indices = 0;
    for (auto _ : state) {
        StripifyOptions options;
        options.LengthMode = 0;
        options.OutputType = STRIPIFY_OUTPUT_STRIP;
        options.NumTries = static_cast<uint32_t>(state.range(1));
        MeshData out = {};
        if (!Stripify(in, out, options)) state.SkipWithError("stripify failed");
        indices = out.NumIndices;
        FreeMeshData(out);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * triangles));
    state.counters["indices_per_triangle"] = indices / triangles;
}
BENCHMARK(BM_Stripify)
    ->ArgNames({"closed", "tries"})
    ->Args({0, 1})
    ->Args({0, 8})
    ->Args({1, 1})
    ->Args({1, 8})
    ->Unit(benchmark::kMillisecond);

// Every triangle a strip of its own, joined by repeating the last index and the next first one;
// a triangle that starts at an odd position is written with its last two corners swapped.
void BM_NaiveJoin(benchmark::State& state)
{
    const BenchMesh& m = mesh(state.range(0) != 0);
    const double triangles = m.indices.size() / 3.0;
    std::vector<uint32_t> out;
    for (auto _ : state) {
        out.clear();
        for (size_t i = 0; i < m.indices.size(); i += 3) {
            const uint32_t* t = &m.indices[i];
            if (!out.empty()) {
                out.push_back(out.back());
                out.push_back(t[0]);
            }
            if (out.size() & 1)
                out.insert(out.end(), {t[0], t[2], t[1]});
            else
                out.insert(out.end(), {t[0], t[1], t[2]});
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * triangles));
    state.counters["indices_per_triangle"] = out.size() / triangles;
}
BENCHMARK(BM_NaiveJoin)->ArgNames({"closed"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
