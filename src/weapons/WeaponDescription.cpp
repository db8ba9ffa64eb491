#include "weapons/WeaponDescription.h"

void WeaponDescription::FireAtObject(const Vector3&, const Vector3&) {}

void WeaponDescription::Update(int) {}

WeaponDescription* CreateWeapon(const char*, int, int) { return nullptr; }
