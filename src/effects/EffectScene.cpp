#include "effects/EffectScene.h"

namespace {
Vector3 cameraPosition;
EffectFrustumTest frustumTest = nullptr;
EffectSortCameraQuery sortCamera = nullptr;
}

void SetEffectCameraPosition(const Vector3& position) { cameraPosition = position; }
const Vector3& GetEffectCameraPosition() { return cameraPosition; }

void SetEffectFrustumTest(EffectFrustumTest test) { frustumTest = test; }
bool EffectSphereInView(const Vector3& centre, float radius) { return !frustumTest || frustumTest(centre, radius); }

void SetEffectSortCamera(EffectSortCameraQuery query) { sortCamera = query; }

Vector3 GetEffectSortCameraPosition()
{
    Vector3 position;
    if (!sortCamera || !sortCamera(&position)) position.set(0.0f, 0.0f, 0.0f);
    return position;
}
