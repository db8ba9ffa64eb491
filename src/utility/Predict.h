// Aiming: the launch velocity with which a projectile of a given speed meets a target that moves at
// constant velocity, for shots that fly straight and for shots that fall under gravity.
#pragma once

#include "utility/VectorMath.h"

// Straight flight. True when the shot can meet the target: *pLaunchVelocity (of length speed) and
// *pTimeToImpact (the earliest positive meeting time) are written. False leaves both untouched.
bool predictLaunchVelocity(const Vector3& launchPosition, const Vector3& targetPosition,
                           const Vector3& targetVelocity, float projectileSpeed, Vector3* pLaunchVelocity,
                           float* pTimeToImpact);

// Up to four solutions for a shot under gravity (the signed acceleration along z; its size must
// exceed EPSILON). Each positive flight time k gives pSolutionTime[k] and pSolutionVelocity[k];
// quickest and slowest are indices into them. False (with a count of 0) when there is none.
bool predictBallisticSolutions(const Vector3& launchPosition, const Vector3& targetPosition,
                               const Vector3& targetVelocity, float projectileSpeed, float gravity,
                               unsigned int* pNumSolutions, Vector3* pSolutionVelocity, float* pSolutionTime,
                               unsigned int* pQuickestSolution, unsigned int* pSlowestSolution);
