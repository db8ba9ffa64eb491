// What the effects know of the view they are drawn in. The render façade keeps it current; it lives
// here, beneath the effects, so that the façade never reaches up to them.
#pragma once

#include "utility/VectorMath.h"

// The view's sphere-in-frustum test. Until one is set every sphere is in view.
typedef bool (*EffectFrustumTest)(const Vector3& centre, float radius);
void SetEffectFrustumTest(EffectFrustumTest test);
bool EffectSphereInView(const Vector3& centre, float radius);
