// What the effects know of the view they are drawn in. The render façade and the game keep these
// current; the effects never reach up to either.
#pragma once

#include "l3render/EffectView.h"
#include "utility/VectorMath.h"

// Where the effects are seen from: the current camera of the game's camera manager, not the scene
// camera set last (another scene of the frame may look from elsewhere). The sort, the distance
// fade and the particles kept about the viewer all measure from it. The query is false when no
// camera is current; without a query, or without a camera, the origin is used.
typedef bool (*EffectCameraQuery)(Vector3* pPosition);
void SetEffectCameraQuery(EffectCameraQuery query);
Vector3 GetEffectCameraPosition();
