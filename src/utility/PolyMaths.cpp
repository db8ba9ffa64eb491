#include "utility/PolyMaths.h"

#include "utility/Assert.h"

#include <cmath>

namespace {

// Beyond this a coefficient cannot be squared and cubed without leaving the double range.
const double CUBIC_OVERFLOW_LIMIT = 1.2e154;

bool tooLarge(double x)
{
    return x > CUBIC_OVERFLOW_LIMIT || x < -CUBIC_OVERFLOW_LIMIT;
}

}  // namespace

void solveQuadratic(double a, double b, double c, unsigned int* pNumRoots, float* pRoots)
{
    const double disc = b * b - 4.0 * a * c;
    if (disc < 0.0) {
        *pNumRoots = 0;
        return;
    }
    const double r = std::sqrt(disc);
    const double twoA = 2.0 * a;
    pRoots[0] = static_cast<float>((r - b) / twoA);
    pRoots[1] = static_cast<float>((-b - r) / twoA);
    *pNumRoots = 2;
}

double cubeRoot(double x)
{
    const double third = 1.0 / 3.0;
    return x >= 0.0 ? std::pow(x, third) : -std::pow(-x, third);
}

double cosThirdOfAcos(double x)
{
    return std::cos(std::acos(x) / 3.0);
}

double solveCubicOneRoot(double a3, double a2, double a1, double a0, bool* pSuccess)
{
    *pSuccess = true;
    if (a3 != 1.0) {
        a2 /= a3;
        a1 /= a3;
        a0 /= a3;
    }

    // Huge coefficients: the dominant terms decide the root.
    if (tooLarge(a2))
        return -a2;
    if (tooLarge(a1))
        return a1 > 0.0 ? -a0 / a1 : -std::sqrt(-a1);
    if (tooLarge(a0))
        return -cubeRoot(a0);

    const double A = a2 / 3.0;
    const double A2 = A * A;
    if (tooLarge(A2))
        return -a2;

    // x = y - A turns the cubic into y³ + 3·p3·y + q.
    const double p3 = a1 / 3.0 - A2;
    const double q = A * (2.0 * A2 - a1) + a0;
    if (tooLarge(q))
        return -a2;
    const double disc = q * q + 4.0 * p3 * p3 * p3;

    if (disc > 0.0) {
        // One real root (Cardano); w is formed without cancellation.
        const double r = std::sqrt(disc);
        const double w = q <= 0.0 ? (r - q) * 0.5 : (-q - r) * 0.5;
        const double u = cubeRoot(w);
        if (u == 0.0)
            return u - A;
        return u - p3 / u - A;
    }
    if (p3 >= 0.0)
        return cubeRoot(q) - A;  // triple root

    // Three real roots (trigonometric form).
    const double m = std::sqrt(-p3);
    const double m3 = m * m * m;
    if (m3 == 0.0) {
        *pSuccess = false;
        return 0.0;
    }
    // Rounding can carry the cosine a hair past ±1 at a double root; acos would give NaN there.
    double cosine = -q / (2.0 * m3);
    if (cosine > 1.0)
        cosine = 1.0;
    else if (cosine < -1.0)
        cosine = -1.0;
    const double c = cosThirdOfAcos(cosine);
    if (A < 0.0)
        return 2.0 * m * c - A;  // the largest root
    const double s = 1.0 - c * c;
    if (s <= 0.0)
        return -c * m - A;
    return (-c - std::sqrt(s) * std::sqrt(3.0)) * m - A;  // the smallest root
}

void solveQuartic(double a4, double a3, double a2, double a1, double a0, unsigned int* pNumRoots,
                  float* pRoots)
{
    *pNumRoots = 0;
    if (!VERIFY(a4 != 0.0))
        return;
    if (a4 != 1.0) {
        a3 /= a4;
        a2 /= a4;
        a1 /= a4;
        a0 /= a4;
    }

    const double h = a3 * 0.5;
    bool success;
    const double x = solveCubicOneRoot(1.0, a2, a3 * a1 - 4.0 * a0, (h * h - a2) * 4.0 * a0 + a1 * a1,
                                       &success);
    if (!success)
        return;

    double R2 = h * h - a2 - x;
    double D2 = (x * 0.5) * (x * 0.5) - a0;
    if (R2 < 0.0 && D2 < 0.0)
        return;
    // Either square clearly negative means this pairing of the roots has complex factors, which only
    // happens when every root is complex (for symmetric quartics the other square lands on exactly 0).
    // Tiny negatives are rounding at a repeated root.
    const double ROUNDING = 1e-9;
    if (R2 < -ROUNDING * (h * h + std::fabs(a2) + std::fabs(x)) ||
        D2 < -ROUNDING * ((x * 0.5) * (x * 0.5) + std::fabs(a0)))
        return;
    if (R2 < 0.0)
        R2 = 0.0;
    if (D2 < 0.0)
        D2 = 0.0;
    const double E = -(x * a3 * 0.25 + a1 * 0.5);

    // R·D must equal E: take the root of the larger square and divide for the other, which keeps the
    // sign relation without a second, less accurate square root.
    double R;
    double D;
    if (R2 == 0.0) {
        R = 0.0;
        D = std::sqrt(D2);
    } else if (R2 >= D2) {
        R = std::sqrt(R2);
        D = E / R;
    } else {
        D = std::sqrt(D2);
        R = E / D;
    }

    // (t² + b1·t + c1)(t² + b2·t + c2) with b1·b2 = x + a2 and c1·c2 = a0: of each pair the sum of
    // like signs is taken directly and its partner from the product, so nothing cancels.
    double b1;
    double b2;
    if (h * R >= 0.0) {
        b1 = h + R;
        b2 = b1 != 0.0 ? (x + a2) / b1 : h - R;
    } else {
        b2 = h - R;
        b1 = b2 != 0.0 ? (x + a2) / b2 : h + R;
    }
    double c1;
    double c2;
    if (D * x <= 0.0) {
        c1 = D - x * 0.5;
        c2 = c1 != 0.0 ? a0 / c1 : -x * 0.5 - D;
    } else {
        c2 = -x * 0.5 - D;
        c1 = c2 != 0.0 ? a0 / c2 : D - x * 0.5;
    }

    unsigned int first = 0;
    solveQuadratic(1.0, b1, c1, &first, pRoots);
    unsigned int second = 0;
    solveQuadratic(1.0, b2, c2, &second, pRoots + first);
    *pNumRoots = first + second;
}
