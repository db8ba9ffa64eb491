// Stripify on a 256 x 256 quad grid (open) and a 256 x 256 torus (closed), with 1 and 8 tries, in
// triangles per second (items) and indices per triangle, beside a plain simple stripifier: edge
// neighbours from a std::unordered_map, each strip grown greedily from the first triangle left
// across the edge of its last two indices, strips joined by repeated indices; for 8 tries, 8 such
// runs from different starting triangles, keeping the shortest. A strip cannot do better than about
// one index per triangle.
#include "../BenchMain.h"
#include "stripifier/Stripifier.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>
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

void stripify(benchmark::State& state, uint32_t tries)
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
        options.NumTries = tries;
        MeshData out = {};
        if (!Stripify(in, out, options)) return state.SkipWithError("stripify failed");
        indices = out.NumIndices;
        FreeMeshData(out);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * triangles));
    state.counters["indices_per_triangle"] = indices / triangles;
}

void BM_Stripify1Try(benchmark::State& state) { stripify(state, 1); }
void BM_Stripify8Tries(benchmark::State& state) { stripify(state, 8); }
BENCHMARK(BM_Stripify1Try)->ArgName("closed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stripify8Tries)->ArgName("closed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Greedy strips over a consistently wound mesh: the triangle across the edge of a strip's last two
// indices continues it with the right winding by itself; a strip is joined to the one before it by
// repeating the last index and its own first (once more when it would start at an odd place). The
// edge neighbours are found once; each try grows strips from its own starting triangle, taking the
// triangles in list order from there on, wrapping round.
struct PlainStripifier {
    static constexpr uint32_t NONE = UINT32_MAX;
    const std::vector<uint32_t>& list;
    const uint32_t count;
    std::unordered_map<uint64_t, std::array<uint32_t, 2>> byEdge;
    std::vector<char> used;

    static uint64_t key(uint32_t a, uint32_t b) { return a < b ? (uint64_t(a) << 32) | b : (uint64_t(b) << 32) | a; }

    explicit PlainStripifier(const std::vector<uint32_t>& triangles)
        : list(triangles), count(static_cast<uint32_t>(triangles.size() / 3))
    {
        byEdge.reserve(count * 2);
        for (uint32_t t = 0; t < count; ++t)
            for (int e = 0; e < 3; ++e) {
                auto [it, made] = byEdge.try_emplace(key(list[3 * t + e], list[3 * t + (e + 1) % 3]),
                                                     std::array<uint32_t, 2>{t, NONE});
                if (!made) it->second[1] = t;
            }
    }

    // The unused triangle across an edge, and its corner off the edge.
    uint32_t across(uint32_t a, uint32_t b, uint32_t& corner) const
    {
        const auto it = byEdge.find(key(a, b));
        if (it == byEdge.end()) return NONE;
        for (uint32_t t : it->second) {
            if (t == NONE || used[t]) continue;
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = list[3 * t + k];
                if (v != a && v != b) corner = v;
            }
            return t;
        }
        return NONE;
    }

    std::vector<uint32_t> strips(uint32_t startAt)
    {
        used.assign(count, 0);
        std::vector<uint32_t> out;
        out.reserve(count * 2);
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t first = static_cast<uint32_t>((startAt + k) % count);
            if (used[first]) continue;
            used[first] = 1;
            const uint32_t* t = &list[3 * first];
            // Start turned so that its last edge leads on, where one does.
            int turn = 0;
            for (int r = 0; r < 3; ++r) {
                uint32_t corner;
                if (across(t[(r + 1) % 3], t[(r + 2) % 3], corner) != NONE) {
                    turn = r;
                    break;
                }
            }
            const uint32_t a = t[turn], b = t[(turn + 1) % 3], c = t[(turn + 2) % 3];
            if (!out.empty()) {
                out.push_back(out.back());
                out.push_back(a);
                if (out.size() % 2) out.push_back(a);
            }
            out.insert(out.end(), {a, b, c});
            for (;;) {
                uint32_t corner = 0;
                const uint32_t next = across(out[out.size() - 2], out.back(), corner);
                if (next == NONE) break;
                used[next] = 1;
                out.push_back(corner);
            }
        }
        return out;
    }
};

// The triangles a strip draws, each turned to start at its smallest index, sorted; degenerates
// left out.
std::vector<std::array<uint32_t, 3>> drawn(const std::vector<uint32_t>& strip, bool isStrip)
{
    std::vector<std::array<uint32_t, 3>> out;
    const size_t step = isStrip ? 1 : 3;
    for (size_t i = 0; i + 2 < strip.size(); i += step) {
        std::array<uint32_t, 3> t = {strip[i], strip[i + 1], strip[i + 2]};
        if (isStrip && i % 2) std::swap(t[1], t[2]);
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) continue;
        while (t[0] > t[1] || t[0] > t[2]) t = {t[1], t[2], t[0]};
        out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The shortest of as many plain tries as asked, each from its own starting triangle.
std::vector<uint32_t> bestPlainStrips(const std::vector<uint32_t>& list, uint32_t tries)
{
    PlainStripifier plain(list);
    std::vector<uint32_t> best;
    for (uint32_t t = 0; t < tries; ++t) {
        std::vector<uint32_t> out = plain.strips(static_cast<uint32_t>(uint64_t(plain.count) * t / tries));
        if (best.empty() || out.size() < best.size()) best = std::move(out);
    }
    return best;
}

void plainStripify(benchmark::State& state, uint32_t tries)
{
    const BenchMesh& m = mesh(state.range(0) != 0);
    const double triangles = m.indices.size() / 3.0;
    // It must draw the very triangles of the list, wound as they are, or it does other work.
    if (drawn(bestPlainStrips(m.indices, tries), true) != drawn(m.indices, false))
        return state.SkipWithError("the plain strips do not draw the mesh");
    size_t indices = 0;
    for (auto _ : state) {
        const std::vector<uint32_t> out = bestPlainStrips(m.indices, tries);
        indices = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * triangles));
    state.counters["indices_per_triangle"] = indices / triangles;
}

void BM_PlainStripifier1Try(benchmark::State& state) { plainStripify(state, 1); }
void BM_PlainStripifier8Tries(benchmark::State& state) { plainStripify(state, 8); }
BENCHMARK(BM_PlainStripifier1Try)->ArgName("closed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainStripifier8Tries)->ArgName("closed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCH_PAIR(BM_Stripify1Try, BM_PlainStripifier1Try);
BENCH_PAIR(BM_Stripify8Tries, BM_PlainStripifier8Tries);

}  // namespace

VELDRANE_BENCH_MAIN("stripifier")
