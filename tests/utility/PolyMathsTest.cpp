#include "utility/PolyMaths.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

double quartic(const double c[5], double t)
{
    return (((c[0] * t + c[1]) * t + c[2]) * t + c[3]) * t + c[4];
}

// Coefficients (leading first) of the monic polynomial with the given roots.
std::vector<double> fromRoots(const std::vector<double>& roots)
{
    std::vector<double> c{1.0};
    for (double r : roots) {
        std::vector<double> next(c.size() + 1, 0.0);
        for (size_t i = 0; i < c.size(); ++i) {
            next[i] += c[i];
            next[i + 1] -= r * c[i];
        }
        c = next;
    }
    return c;
}

std::vector<double> sorted(const float* roots, unsigned int n)
{
    std::vector<double> out(roots, roots + n);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(PolyMathsTest, QuadraticReportsTwoRootsInTheStatedOrderOrNone)
{
    unsigned int n = 99;
    float roots[2] = {-7.0f, -7.0f};
    solveQuadratic(1.0, 0.0, 1.0, &n, roots);  // t² + 1: no real roots
    EXPECT_EQ(0u, n);
    EXPECT_EQ(-7.0f, roots[0]);

    solveQuadratic(2.0, -10.0, 12.0, &n, roots);  // 2(t - 2)(t - 3)
    ASSERT_EQ(2u, n);
    EXPECT_FLOAT_EQ(3.0f, roots[0]);  // (r - b)/2a first
    EXPECT_FLOAT_EQ(2.0f, roots[1]);

    solveQuadratic(1.0, -4.0, 4.0, &n, roots);  // discriminant exactly 0: the double root twice
    ASSERT_EQ(2u, n);
    EXPECT_EQ(2.0f, roots[0]);
    EXPECT_EQ(2.0f, roots[1]);

    solveQuadratic(-1.0, 0.0, 9.0, &n, roots);  // negative a flips the order
    ASSERT_EQ(2u, n);
    EXPECT_FLOAT_EQ(-3.0f, roots[0]);
    EXPECT_FLOAT_EQ(3.0f, roots[1]);
}

TEST(PolyMathsTest, CubicPicksTheStatedRoot)
{
    // One real root (x - 2)(x² + 1), the same scaled by 3, a triple root (x + 1)³; three real roots
    // 1, 2, 3 (A < 0: the largest) and -1, -2, -3 (A > 0: the smallest); a double root (x - 1)²(x + 2)
    // has A = 0, so the smallest.
    const double cases[][5] = {{1, -2, 1, -2, 2},   {3, -6, 3, -6, 2},   {1, 3, 3, 1, -1},
                               {1, -6, 11, -6, 3},  {1, 6, 11, 6, -3},   {1, 0, -3, 2, -2}};
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_NEAR(c[4], solveCubicOneRoot(c[0], c[1], c[2], c[3], &ok), 1e-9) << c[1];
        EXPECT_TRUE(ok);
    }
}

TEST(PolyMathsTest, CubicOverflowGuardsGiveLimitingValues)
{
    bool ok = false;
    EXPECT_EQ(-2e154, solveCubicOneRoot(1.0, 2e154, 1.0, 1.0, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(-4.0 / 2e160, solveCubicOneRoot(1.0, 1.0, 2e160, 4.0, &ok));
    EXPECT_DOUBLE_EQ(-std::sqrt(2e160), solveCubicOneRoot(1.0, 1.0, -2e160, 4.0, &ok));
    EXPECT_DOUBLE_EQ(-cubeRoot(8e156), solveCubicOneRoot(1.0, 1.0, 1.0, 8e156, &ok));
    // a2 within range but A² not.
    EXPECT_EQ(-1e100, solveCubicOneRoot(1.0, 1e100, 1.0, 1.0, &ok));
}

TEST(PolyMathsTest, CubicDoubleRootsNeverGiveNaN)
{
    // Double roots put the trigonometric branch right at its edge, where rounding can carry the
    // cosine past ±1.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pick(-50.0, 50.0);
    for (int i = 0; i < 5000; ++i) {
        const double r = pick(rng) / 7.0;
        const double s = pick(rng) / 3.0;
        const std::vector<double> c = fromRoots({r, r, s});
        bool ok = false;
        const double x = solveCubicOneRoot(1.0, c[1], c[2], c[3], &ok);
        ASSERT_TRUE(std::isfinite(x)) << r << " " << s;
        const double value = ((x + c[1]) * x + c[2]) * x + c[3];
        const double scale = 1.0 + std::abs(r * r * s) + std::abs(r * r) + std::abs(r * s);
        EXPECT_NEAR(0.0, value / scale, 1e-5) << r << " " << s;
    }
}

TEST(PolyMathsTest, QuarticFindsKnownRootsInFactorGroups)
{
    unsigned int n = 0;
    float roots[4];
    // (t-1)(t-2)(t-3)(t-4) factors into (t-1)(t-2) and (t-3)(t-4): each factor's roots stay together.
    solveQuartic(1.0, -10.0, 35.0, -50.0, 24.0, &n, roots);
    ASSERT_EQ(4u, n);
    const std::vector<double> low{1.0, 2.0};
    const std::vector<double> high{3.0, 4.0};
    const std::vector<double> group1 = sorted(roots, 2);
    const std::vector<double> group2 = sorted(roots + 2, 2);
    EXPECT_TRUE((group1 == low && group2 == high) || (group1 == high && group2 == low));

    // The general cases are the property tests'; this one once gave roots that are not there.
    // t⁴ - 100t² + 3600: all four roots complex, and the resolvent root picked pairs them into complex
    // factors with one square exactly 0. No real roots may come out of it.
    solveQuartic(25.0, 0.0, -2500.0, 0.0, 90000.0, &n, roots);
    EXPECT_EQ(0u, n);
}

TEST(PolyMathsTest, QuarticRepeatedRoots)
{
    unsigned int n = 0;
    float roots[4];
    // (t - 2)⁴: a quadruple root.
    solveQuartic(1.0, -8.0, 24.0, -32.0, 16.0, &n, roots);
    ASSERT_EQ(4u, n);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(2.0, roots[i], 1e-3);
}

TEST(PolyMathsTest, QuarticRootsOfRandomPolynomialsSatisfyThem)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> pick(-20.0, 20.0);
    for (int i = 0; i < 20000; ++i) {
        std::vector<double> want = {pick(rng), pick(rng), pick(rng), pick(rng)};
        const double scale = 0.1 + std::abs(pick(rng));
        std::vector<double> c = fromRoots(want);
        for (double& v : c)
            v *= scale;
        unsigned int n = 0;
        float roots[4];
        solveQuartic(c[0], c[1], c[2], c[3], c[4], &n, roots);
        ASSERT_EQ(4u, n) << i;
        std::sort(want.begin(), want.end());
        const std::vector<double> got = sorted(roots, 4);
        for (int k = 0; k < 4; ++k) {
            // Close roots are ill-conditioned; compare by substitution against the local scale.
            double deriv = 1.0;
            for (int j = 0; j < 4; ++j)
                if (j != k)
                    deriv *= std::abs(want[k] - want[j]);
            const double tolerance = deriv > 1.0 ? 2e-3 * (1.0 + std::abs(want[k])) : 0.2;
            EXPECT_NEAR(want[k], got[k], tolerance) << i;
        }
        const double coeffs[5] = {c[0], c[1], c[2], c[3], c[4]};
        for (unsigned int k = 0; k < n; ++k)
            EXPECT_TRUE(std::isfinite(quartic(coeffs, roots[k])));
    }
}

// Product of t² + p1·t + q1 and t² + p2·t + q2, leading coefficient first.
std::vector<double> twoQuadratics(double p1, double q1, double p2, double q2)
{
    return {1.0, p1 + p2, q1 + q2 + p1 * p2, p1 * q2 + p2 * q1, q1 * q2};
}

TEST(PolyMathsTest, QuarticCountsOnlyRealRoots)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> pick(-10.0, 10.0);
    std::uniform_real_distribution<double> lift(0.5, 30.0);
    for (int i = 0; i < 20000; ++i) {
        // A complex pair: q > p²/4 by a clear margin.
        const double p1 = pick(rng);
        const double q1 = p1 * p1 * 0.25 + lift(rng);
        const bool symmetric = (i % 3) == 0;  // even quartics, as a target at rest on level ground gives
        const double p2 = symmetric ? -p1 : pick(rng);
        const double q2 = symmetric ? q1 : p2 * p2 * 0.25 + lift(rng);
        std::vector<double> c = twoQuadratics(p1, q1, p2, q2);
        unsigned int n = 9;
        float roots[4];
        solveQuartic(c[0], c[1], c[2], c[3], c[4], &n, roots);
        EXPECT_EQ(0u, n) << p1 << " " << q1 << " " << p2 << " " << q2;

        // Two real roots r, s and a complex pair.
        const double r = pick(rng);
        const double sroot = pick(rng);
        c = twoQuadratics(-(r + sroot), r * sroot, p1, q1);
        solveQuartic(c[0], c[1], c[2], c[3], c[4], &n, roots);
        ASSERT_EQ(2u, n) << r << " " << sroot << " " << p1 << " " << q1;
        const std::vector<double> got = sorted(roots, 2);
        const double tol = std::abs(r - sroot) > 0.1 ? 1e-3 * (1.0 + std::abs(r) + std::abs(sroot)) : 0.1;
        EXPECT_NEAR(std::min(r, sroot), got[0], tol);
        EXPECT_NEAR(std::max(r, sroot), got[1], tol);
    }
}

TEST(PolyMathsTest, QuarticWithZeroLeadingCoefficientIsRefused)
{
    unsigned int n = 7;
    float roots[4] = {5.0f, 5.0f, 5.0f, 5.0f};
    solveQuartic(0.0, 1.0, -3.0, 2.0, 0.0, &n, roots);
    EXPECT_EQ(0u, n);
    EXPECT_EQ(5.0f, roots[0]);
    EXPECT_EQ(1, testsupport::countReports("a4 != 0.0"));
}

}  // namespace
