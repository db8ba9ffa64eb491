#include "l3render/EffectView.h"

namespace {
EffectFrustumTest frustumTest = nullptr;
}

void SetEffectFrustumTest(EffectFrustumTest test) { frustumTest = test; }
bool EffectSphereInView(const Vector3& centre, float radius) { return !frustumTest || frustumTest(centre, radius); }
