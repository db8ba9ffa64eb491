#include "utility/PolyMaths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Coefficients (leading first) of the monic polynomial with the given roots.
std::vector<double> fromRoots(const std::vector<double>& roots)
{
    std::vector<double> c{1.0};
    for (double r : roots) {
        std::vector<double> next(c.size() + 1, 0.0);
        for (size_t i = 0; i < c.size(); ++i) next[i] += c[i], next[i + 1] -= r * c[i];
        c = next;
    }
    return c;
}

// Product of t² + p1·t + q1 and t² + p2·t + q2, leading coefficient first.
std::vector<double> twoQuadratics(double p1, double q1, double p2, double q2)
{
    return {1.0, p1 + p2, q1 + q2 + p1 * p2, p1 * q2 + p2 * q1, q1 * q2};
}

std::vector<double> quarticRoots(const std::vector<double>& c)
{
    unsigned int n = 9;
    float roots[4];
    solveQuartic(c[0], c[1], c[2], c[3], c[4], &n, roots);
    std::vector<double> out(roots, roots + std::min(n, 4u));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(PolyMathsTest, QuadraticsGiveTwoRootsInTheStatedOrderOrNone)
{
    // t² + 1: none, nothing written; 2(t - 2)(t - 3): (r - b)/2a first; a zero discriminant: the double
    // root twice; a negative a flips the order.
    const double cases[][5] = {{1, 0, 1, -7, -7}, {2, -10, 12, 3, 2}, {1, -4, 4, 2, 2}, {-1, 0, 9, -3, 3}};
    for (const auto& c : cases) {
        unsigned int n = 99;
        float roots[2] = {-7.0f, -7.0f};
        solveQuadratic(c[0], c[1], c[2], &n, roots);
        EXPECT_EQ(c[3] == -7 ? 0u : 2u, n) << c[1];
        EXPECT_EQ(std::vector<float>({float(c[3]), float(c[4])}), std::vector<float>(roots, roots + 2)) << c[1];
    }
}

TEST(PolyMathsTest, CubicPicksTheStatedRootAndGuardsAgainstOverflow)
{
    // One real root (x - 2)(x² + 1), the same scaled by 3, a triple root (x + 1)³; three real roots
    // 1, 2, 3 (A < 0: the largest) and -1, -2, -3 (A > 0: the smallest); a double root (x - 1)²(x + 2)
    // has A = 0, so the smallest. Then the overflow guards' limiting values.
    const double cases[][5] = {{1, -2, 1, -2, 2}, {3, -6, 3, -6, 2}, {1, 3, 3, 1, -1}, {1, -6, 11, -6, 3}, {1, 6, 11, 6, -3},
                               {1, 0, -3, 2, -2}, {1, 2e154, 1, 1, -2e154}, {1, 1, 2e160, 4, -4.0 / 2e160},
                               {1, 1, -2e160, 4, -std::sqrt(2e160)}, {1, 1, 1, 8e156, -cubeRoot(8e156)}, {1, 1e100, 1, 1, -1e100}};
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_NEAR(c[4], solveCubicOneRoot(c[0], c[1], c[2], c[3], &ok), 1e-9 * std::max(1.0, std::abs(c[4]))) << c[1] << " " << c[2];
        EXPECT_TRUE(ok);
    }
    // Double roots put the trigonometric branch right at its edge, where rounding can carry the cosine
    // past ±1.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pick(-50.0, 50.0);
    for (int i = 0; i < 5000; ++i) {
        const double r = pick(rng) / 7.0, s = pick(rng) / 3.0;
        const std::vector<double> c = fromRoots({r, r, s});
        bool ok = false;
        const double x = solveCubicOneRoot(1.0, c[1], c[2], c[3], &ok);
        ASSERT_TRUE(std::isfinite(x)) << r << " " << s;
        const double scale = 1.0 + std::abs(r * r * s) + std::abs(r * r) + std::abs(r * s);
        EXPECT_NEAR(0.0, (((x + c[1]) * x + c[2]) * x + c[3]) / scale, 1e-5) << r << " " << s;
    }
}

TEST(PolyMathsTest, QuarticFactorGroupsFalseRootsRepeatedRootsAndAZeroLeadingCoefficient)
{
    // (t-1)(t-2)(t-3)(t-4) factors into (t-1)(t-2) and (t-3)(t-4): each factor's roots stay together.
    unsigned int n = 0;
    float roots[4] = {5.0f, 5.0f, 5.0f, 5.0f};
    solveQuartic(1.0, -10.0, 35.0, -50.0, 24.0, &n, roots);
    ASSERT_EQ(4u, n);
    EXPECT_NEAR(std::abs(roots[0] - roots[1]), 1.0f, 1e-4f);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(k + 1, quarticRoots({1, -10, 35, -50, 24})[k], 1e-4);
    // t⁴ - 100t² + 3600 once gave roots that are not there: all four are complex, and the resolvent root
    // picked pairs them into complex factors with one square exactly 0.
    EXPECT_TRUE(quarticRoots({25, 0, -2500, 0, 90000}).empty());
    for (double root : quarticRoots({1, -8, 24, -32, 16})) EXPECT_NEAR(2.0, root, 1e-3);  // (t - 2)⁴
    roots[0] = 5.0f;  // a zero leading coefficient is refused
    solveQuartic(0.0, 1.0, -3.0, 2.0, 0.0, &n, roots);
    EXPECT_EQ(std::make_pair(0u, 5.0f), std::make_pair(n, roots[0]));

    EXPECT_EQ(1, testsupport::countReports("a4 != 0.0"));
}

TEST(PolyMathsTest, QuarticCountsOnlyRealRoots)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> pick(-10.0, 10.0), lift(0.5, 30.0);
    for (int i = 0; i < 20000; ++i) {
        // A complex pair: q > p²/4 by a clear margin; a third of them even, as a target at rest on level ground gives.
        const double p1 = pick(rng), q1 = p1 * p1 * 0.25 + lift(rng);
        const bool symmetric = (i % 3) == 0;
        const double p2 = symmetric ? -p1 : pick(rng);
        const double q2 = symmetric ? q1 : p2 * p2 * 0.25 + lift(rng);
        EXPECT_TRUE(quarticRoots(twoQuadratics(p1, q1, p2, q2)).empty()) << p1 << " " << q1 << " " << p2 << " " << q2;
        // Two real roots r, s and a complex pair.
        const double r = pick(rng), s = pick(rng);
        const std::vector<double> got = quarticRoots(twoQuadratics(-(r + s), r * s, p1, q1));
        ASSERT_EQ(2u, got.size()) << r << " " << s << " " << p1 << " " << q1;
        const double tol = std::abs(r - s) > 0.1 ? 1e-3 * (1.0 + std::abs(r) + std::abs(s)) : 0.1;
        EXPECT_NEAR(std::min(r, s), got[0], tol);
        EXPECT_NEAR(std::max(r, s), got[1], tol);
    }
}

}  // namespace
