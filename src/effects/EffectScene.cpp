#include "effects/EffectScene.h"

namespace {
EffectCameraQuery cameraQuery = nullptr;
}

void SetEffectCameraQuery(EffectCameraQuery query) { cameraQuery = query; }

Vector3 GetEffectCameraPosition()
{
    Vector3 position;
    if (!cameraQuery || !cameraQuery(&position)) position.set(0.0f, 0.0f, 0.0f);
    return position;
}
