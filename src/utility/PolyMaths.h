// Closed-form roots of polynomials up to the fourth degree, in double precision. The aiming code
// solves its flight-time equations with these; roots are handed back as floats.
#pragma once

// Real roots of a·t² + b·t + c. A negative discriminant gives no roots; otherwise both roots are
// always written, so a double root comes twice: roots[0] = (r - b)/2a, roots[1] = (-b - r)/2a.
// a must not be 0.
void solveQuadratic(double a, double b, double c, unsigned int* pNumRoots, float* pRoots);

// One real root of a3·x³ + a2·x² + a1·x + a0 (a3 is usually 1). Coefficients too large to cube give
// a limiting estimate. *pSuccess is cleared (and 0 returned) only when the three-root case degenerates.
double solveCubicOneRoot(double a3, double a2, double a1, double a0, bool* pSuccess);

// Real roots of a4·t⁴ + a3·t³ + a2·t² + a1·t + a0 by Ferrari's method: the roots of the first
// quadratic factor, then those of the second; the count is 0, 2 or 4 (pRoots holds 4).
void solveQuartic(double a4, double a3, double a2, double a1, double a0, unsigned int* pNumRoots,
                  float* pRoots);

// Real cube root, odd for negative x.
double cubeRoot(double x);
// cos(acos(x)/3).
double cosThirdOfAcos(double x);
