// What the effects know of the view they are drawn in. The render façade and the game keep these
// current; the effects never reach up to either.
#pragma once

#include "l3render/EffectView.h"
#include "utility/VectorMath.h"

// Where the effects are sorted from: the current camera of the game's camera manager. The query is
// false when no camera is current; without a query, or without a camera, the origin is used.
typedef bool (*EffectSortCameraQuery)(Vector3* pPosition);
void SetEffectSortCamera(EffectSortCameraQuery query);
Vector3 GetEffectSortCameraPosition();
