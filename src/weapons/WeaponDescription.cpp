#include "weapons/WeaponDescription.h"

void WeaponDescription::FireAtObject(const Vector3&, const Vector3&) {}

void WeaponDescription::Update(int) {}

namespace {
CreateWeaponHook createHook = nullptr;
}

void SetCreateWeaponHook(CreateWeaponHook hook) { createHook = hook; }

WeaponDescription* CreateWeapon(const char* fileName, int owned, int flags)
{
    return createHook ? createHook(fileName, owned, flags) : nullptr;
}
