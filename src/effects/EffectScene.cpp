#include "effects/EffectScene.h"

namespace {
EffectSortCameraQuery sortCamera = nullptr;
}

void SetEffectSortCamera(EffectSortCameraQuery query) { sortCamera = query; }

Vector3 GetEffectSortCameraPosition()
{
    Vector3 position;
    if (!sortCamera || !sortCamera(&position)) position.set(0.0f, 0.0f, 0.0f);
    return position;
}
