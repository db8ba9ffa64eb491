// The two motion figures on 1,024 random inputs an iteration, each beside the textbook way written
// plainly: the roots of a quartic (Ferrari's method through the depressed quartic and Cardano's
// resolvent cubic with std::cbrt and std::acos), and a sphere swept along a segment against a
// turned box hull (Cyrus-Beck clipping against the planes grown by the radius). Items are inputs.
#include "../BenchMain.h"
#include "../PlainVector.h"
#include "gameobjects/CollisionServices.h"
#include "utility/CollisionTemporal.h"
#include "utility/LList.h"
#include "utility/PolyMaths.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

const int kInputs = 1024;

struct QuarticCase {
    double c[5];
};

std::vector<QuarticCase> randomQuartics()
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> pick(-50.0, 50.0);
    std::vector<QuarticCase> cases(kInputs);
    for (QuarticCase& q : cases) {
        q.c[0] = 0.1 + std::abs(pick(rng));
        for (int i = 1; i < 5; ++i) q.c[i] = pick(rng);
    }
    return cases;
}

void finishRoots(benchmark::State& state, uint64_t roots)
{
    state.SetItemsProcessed(state.iterations() * kInputs);
    state.counters["roots_each"] = static_cast<double>(roots) / (static_cast<double>(state.iterations()) * kInputs);
}

void BM_SolveQuartic(benchmark::State& state)
{
    const std::vector<QuarticCase> cases = randomQuartics();
    uint64_t found = 0;
    for (auto _ : state)
        for (const QuarticCase& q : cases) {
            unsigned int n;
            float roots[4];
            solveQuartic(q.c[0], q.c[1], q.c[2], q.c[3], q.c[4], &n, roots);
            benchmark::DoNotOptimize(roots);
            found += n;
        }
    finishRoots(state, found);
}
BENCHMARK(BM_SolveQuartic);

// Real roots of t² + b t + c, appended.
int quadratic(double b, double c, float* roots)
{
    const double disc = b * b - 4.0 * c;
    if (disc < 0.0) return 0;
    const double r = std::sqrt(disc);
    roots[0] = static_cast<float>((-b + r) * 0.5);
    roots[1] = static_cast<float>((-b - r) * 0.5);
    return 2;
}

// The largest real root of m³ + a m² + b m + c.
double largestCubicRoot(double a, double b, double c)
{
    const double p = b - a * a / 3.0, q = 2.0 * a * a * a / 27.0 - a * b / 3.0 + c;
    const double disc = q * q / 4.0 + p * p * p / 27.0;
    double t;
    if (disc > 0.0) {
        const double s = std::sqrt(disc);
        t = std::cbrt(-q / 2.0 + s) + std::cbrt(-q / 2.0 - s);
    } else if (p < 0.0) {
        const double x = std::clamp(3.0 * q / (2.0 * p) * std::sqrt(-3.0 / p), -1.0, 1.0);
        t = 2.0 * std::sqrt(-p / 3.0) * std::cos(std::acos(x) / 3.0);
    } else {
        t = 0.0;
    }
    return t - a / 3.0;
}

// Ferrari: depress, solve the resolvent for m > 0, split into two quadratics.
unsigned int plainQuartic(const double* coefficients, float* roots)
{
    const double a = coefficients[1] / coefficients[0], b = coefficients[2] / coefficients[0];
    const double c = coefficients[3] / coefficients[0], d = coefficients[4] / coefficients[0];
    const double p = b - 3.0 * a * a / 8.0, q = c - a * b / 2.0 + a * a * a / 8.0;
    const double r = d - a * c / 4.0 + a * a * b / 16.0 - 3.0 * a * a * a * a / 256.0;
    int n = 0;
    if (std::fabs(q) < 1e-12) {
        float z[2];
        if (quadratic(p, r, z))
            for (float root : z)
                if (root >= 0.0f) {
                    roots[n++] = std::sqrt(root);
                    roots[n++] = -std::sqrt(root);
                }
    } else {
        const double m = largestCubicRoot(p, p * p / 4.0 - r, -q * q / 8.0);
        if (!(m > 0.0)) return 0;
        const double s = std::sqrt(2.0 * m);
        n += quadratic(s, p / 2.0 + m - q / (2.0 * s), roots + n);
        n += quadratic(-s, p / 2.0 + m + q / (2.0 * s), roots + n);
    }
    for (int i = 0; i < n; ++i) roots[i] -= static_cast<float>(a / 4.0);
    return static_cast<unsigned int>(n);
}

void BM_PlainQuartic(benchmark::State& state)
{
    const std::vector<QuarticCase> cases = randomQuartics();
    uint64_t found = 0;
    for (auto _ : state)
        for (const QuarticCase& q : cases) {
            float roots[4];
            found += plainQuartic(q.c, roots);
            benchmark::DoNotOptimize(roots);
        }
    finishRoots(state, found);
}
BENCHMARK(BM_PlainQuartic);
BENCH_PAIR(BM_SolveQuartic, BM_PlainQuartic);

// A box hull of six planes, turned and placed off the origin; and its plain twin.
struct BenchHull {
    Vector3 normals[6];
    float distances[6];
    CollisionHull hull;
    plain::Frame frame;
    plain::V3 plainNormals[6];

    BenchHull()
    {
        for (int i = 0; i < 6; ++i) {
            Vector3 n;
            (i / 2 == 0 ? n.x : i / 2 == 1 ? n.y : n.z) = (i % 2) ? -1.0f : 1.0f;
            normals[i] = n;
            plainNormals[i] = {n.x, n.y, n.z};
            distances[i] = -2.0f;
        }
        Matrix3 turn;
        matrix3FromAngles(0.3f, 0.2f, -0.5f, turn);
        hull = CollisionHull{Vector3(1, 2, 3), turn, 6, normals, distances, nullptr};
        frame.position = {1, 2, 3};
        std::memcpy(frame.m, turn.m, sizeof frame.m);
    }
};

std::vector<Vector3> segmentEnds()
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pick(-8.0f, 8.0f);
    std::vector<Vector3> ends(2 * kInputs);
    for (Vector3& v : ends) v = Vector3(pick(rng), pick(rng), pick(rng));
    return ends;
}

void finishHits(benchmark::State& state, int64_t hits)
{
    state.SetItemsProcessed(state.iterations() * kInputs);
    state.counters["hit_share"] = static_cast<double>(hits) / (static_cast<double>(state.iterations()) * kInputs);
}

void BM_TemporalSphereHull(benchmark::State& state)
{
    llistInitElementPool();
    createIntersectionMemoryManager(64, sizeof(CIntersection));
    const BenchHull box;
    const std::vector<Vector3> ends = segmentEnds();
    llist list;
    int64_t hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            Vector3 point, normal;
            float time;
            hits += temporalConvexHullIntersect(ends[2 * i], ends[2 * i + 1], 0.5f, box.hull, false, nullptr, nullptr,
                                                &list, point, normal, time);
            freeIntersectionList(&list);
        }
    finishHits(state, hits);
    destroyIntersectionMemoryManager();
    llistFreeElementPool();
}
BENCHMARK(BM_TemporalSphereHull);

struct Contact {
    plain::V3 point, normal;
};

// The segment's span inside every plane grown by the radius; the planes entered last (within
// 0.001) give the records, the first the normal. A start inside every plane touches at once.
bool plainSweptSphereHull(plain::V3 from, plain::V3 to, float radius, const BenchHull& hull,
                          std::vector<Contact>& records, plain::V3& point, plain::V3& normal, float& time)
{
    using namespace plain;
    records.clear();
    const V3 s = hull.frame.toLocal(from), move = hull.frame.unturn(to - from);
    float enter = 0.0f, leave = 1.0f, at[6], deepest = -std::numeric_limits<float>::infinity();
    int entered = -1, deepestPlane = 0;
    for (int k = 0; k < 6; ++k) {
        const V3& n = hull.plainNormals[k];
        const float dist = dot(s, n) + hull.distances[k] - radius, den = dot(move, n);
        if (dist > deepest) deepest = dist, deepestPlane = k;
        at[k] = -1.0f;
        if (std::fabs(den) <= 1e-6f) {
            if (dist > 1e-6f) return false;
            continue;
        }
        const float t = -dist / den;
        if (den < 0.0f) {
            at[k] = t;
            if (t > enter) enter = t, entered = k;
        } else if (t < leave) {
            leave = t;
        }
        if (enter > leave) return false;
    }
    if (deepest <= 1e-6f) {
        time = 0.0f;
        point = from;
        normal = hull.frame.turn(hull.plainNormals[deepestPlane]);
        return true;
    }
    if (entered < 0) return false;
    const V3 centre = s + move * enter;
    for (int k = 0; k < 6; ++k)
        if (at[k] >= 0.0f && enter - at[k] < 0.001f)
            records.push_back({hull.frame.toWorld(centre - hull.plainNormals[k] * radius),
                               hull.frame.turn(hull.plainNormals[k])});
    time = enter;
    point = records.front().point;
    normal = records.front().normal;
    return true;
}

void BM_PlainSweptSphereHull(benchmark::State& state)
{
    const BenchHull box;
    std::vector<plain::V3> ends;
    for (const Vector3& v : segmentEnds()) ends.push_back({v.x, v.y, v.z});
    std::vector<Contact> records;
    records.reserve(6);
    int64_t hits = 0;
    for (auto _ : state)
        for (int i = 0; i < kInputs; ++i) {
            plain::V3 point, normal;
            float time;
            hits += plainSweptSphereHull(ends[2 * i], ends[2 * i + 1], 0.5f, box, records, point, normal, time);
        }
    finishHits(state, hits);
}
BENCHMARK(BM_PlainSweptSphereHull);
BENCH_PAIR(BM_TemporalSphereHull, BM_PlainSweptSphereHull);

}  // namespace

VELDRANE_BENCH_MAIN("motion")
