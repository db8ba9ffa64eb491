#include "utility/Predict.h"

#include "utility/Assert.h"
#include "utility/PolyMaths.h"

#include <cmath>

namespace {

const float EPSILON = 1e-8f;

// Below this share of the speeds squared the flight-time equation has lost its square term: target
// and shot are equally fast.
const float EQUAL_SPEED_TOLERANCE = 1e-6f;

double dotDouble(const Vector3& a, const Vector3& b)
{
    return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}

// The velocity that covers d in time t on top of the target's own velocity v.
Vector3 launchVelocity(const Vector3& d, const Vector3& v, float t)
{
    const float inv = 1.0f / t;
    Vector3 out;
    out.x = d.x * inv + v.x;
    out.y = d.y * inv + v.y;
    out.z = d.z * inv + v.z;
    return out;
}

}  // namespace

bool predictLaunchVelocity(const Vector3& launchPosition, const Vector3& targetPosition,
                           const Vector3& targetVelocity, float projectileSpeed, Vector3* pLaunchVelocity,
                           float* pTimeToImpact)
{
    if (!VERIFY(pLaunchVelocity) || !VERIFY(pTimeToImpact))
        return false;

    const Vector3 d = targetPosition - launchPosition;
    const float vv = targetVelocity.dot(targetVelocity);
    const float ss = projectileSpeed * projectileSpeed;
    const float a = vv - ss;
    const float b = 2.0f * d.dot(targetVelocity);
    const float c = d.dot(d);

    unsigned int numSolutions = 0;
    float roots[2];
    if (std::fabs(a) <= EQUAL_SPEED_TOLERANCE * (vv + ss)) {
        // b·t + c = 0: only a target closing in can be met.
        if (b < 0.0f) {
            roots[0] = -c / b;
            numSolutions = 1;
        }
    } else {
        solveQuadratic(a, b, c, &numSolutions, roots);
    }
    ASSERT(numSolutions <= 2);

    bool found = false;
    float t = 0.0f;
    for (unsigned int i = 0; i < numSolutions && i < 2; ++i) {
        if (roots[i] > 0.0f && std::isfinite(roots[i]) && (!found || roots[i] < t)) {
            t = roots[i];
            found = true;
        }
    }
    if (!found)
        return false;

    *pLaunchVelocity = launchVelocity(d, targetVelocity, t);
    *pTimeToImpact = t;
    return true;
}

bool predictBallisticSolutions(const Vector3& launchPosition, const Vector3& targetPosition,
                               const Vector3& targetVelocity, float projectileSpeed, float gravity,
                               unsigned int* pNumSolutions, Vector3* pSolutionVelocity, float* pSolutionTime,
                               unsigned int* pQuickestSolution, unsigned int* pSlowestSolution)
{
    if (!VERIFY(pNumSolutions) || !VERIFY(pSolutionVelocity) || !VERIFY(pSolutionTime) ||
        !VERIFY(pQuickestSolution) || !VERIFY(pSlowestSolution))
        return false;
    *pNumSolutions = 0;
    // Without gravity the quartic loses its leading term; the straight-flight solver is the one to use.
    if (!VERIFY((gravity > EPSILON) || (gravity < -EPSILON)))
        return false;

    const Vector3 d = targetPosition - launchPosition;
    const double g = gravity;
    const double s = projectileSpeed;
    const double a4 = g * g * 0.25;
    const double a3 = -g * targetVelocity.z;
    const double a2 = dotDouble(targetVelocity, targetVelocity) - double(d.z) * g - s * s;
    const double a1 = 2.0 * dotDouble(d, targetVelocity);
    const double a0 = dotDouble(d, d);

    unsigned int numRoots = 0;
    float roots[4];
    solveQuartic(a4, a3, a2, a1, a0, &numRoots, roots);
    ASSERT(numRoots <= 4);

    unsigned int count = 0;
    *pQuickestSolution = 0;
    *pSlowestSolution = 0;
    for (unsigned int i = 0; i < numRoots && i < 4; ++i) {
        const float t = roots[i];
        if (!(t > 0.0f) || !std::isfinite(t))
            continue;
        pSolutionTime[count] = t;
        pSolutionVelocity[count] = launchVelocity(d, targetVelocity, t);
        pSolutionVelocity[count].z -= gravity * t * 0.5f;
        if (t < pSolutionTime[*pQuickestSolution])
            *pQuickestSolution = count;
        if (t > pSolutionTime[*pSlowestSolution])
            *pSlowestSolution = count;
        ++count;
    }
    *pNumSolutions = count;
    return count > 0;
}
