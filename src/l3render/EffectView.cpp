#include "l3render/EffectView.h"

namespace {
Vector3 cameraPosition;
EffectFrustumTest frustumTest = nullptr;
}

void SetEffectCameraPosition(const Vector3& position) { cameraPosition = position; }
const Vector3& GetEffectCameraPosition() { return cameraPosition; }

void SetEffectFrustumTest(EffectFrustumTest test) { frustumTest = test; }
bool EffectSphereInView(const Vector3& centre, float radius) { return !frustumTest || frustumTest(centre, radius); }
