// What the effects know of the view they are drawn in. The render façade keeps it current; it lives
// here, beneath the effects, so that the façade never reaches up to them.
#pragma once

#include "utility/VectorMath.h"

// The camera position of the view being drawn, from which the distance fade measures. The render
// façade's camera setters write it; the origin until they do.
void SetEffectCameraPosition(const Vector3& position);
const Vector3& GetEffectCameraPosition();

// The view's sphere-in-frustum test. Until one is set every sphere is in view.
typedef bool (*EffectFrustumTest)(const Vector3& centre, float radius);
void SetEffectFrustumTest(EffectFrustumTest test);
bool EffectSphereInView(const Vector3& centre, float radius);
