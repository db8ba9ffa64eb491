// What the effects know of the view they are drawn in. The render façade and the game keep these
// current; the effects never reach up to either.
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

// Where the effects are sorted from: the current camera of the game's camera manager. The query is
// false when no camera is current; without a query, or without a camera, the origin is used.
typedef bool (*EffectSortCameraQuery)(Vector3* pPosition);
void SetEffectSortCamera(EffectSortCameraQuery query);
Vector3 GetEffectSortCameraPosition();
