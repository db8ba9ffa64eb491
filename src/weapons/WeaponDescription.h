// WeaponDescription: a weapon made from a weapon definition file, fired at a point and stepped once
// per frame by its owner (a clump type's fire weapon, a vehicle's guns). What a definition holds and
// what a weapon fires are not built yet: CreateWeapon makes a weapon for any definition file it can
// read, and the weapon fires nothing and its step does nothing.
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

class WeaponDescription {
public:
    WeaponDescription() : d_updateEnabled(0) {}
    virtual ~WeaponDescription() {}
    WeaponDescription(const WeaponDescription&) = delete;
    WeaponDescription& operator=(const WeaponDescription&) = delete;

    // Fires from the launch position at the target point.
    virtual void FireAtObject(const Vector3& launch, const Vector3& target);
    // Steps the weapon by the frame time; nothing while the update flag is clear.
    virtual void Update(int ms);

    // Set by the owner that steps the weapon.
    uint8_t d_updateEnabled;
};

// A weapon from its definition file, owned by the caller (delete destroys it); null when the file
// is missing or cannot be read whole, after a report naming the file the first time in the run.
WeaponDescription* CreateWeapon(const char* fileName, int owned, int flags);

// Test seam: while set, CreateWeapon hands its arguments to the hook and returns what it makes.
typedef WeaponDescription* (*CreateWeaponHook)(const char* fileName, int owned, int flags);
void SetCreateWeaponHook(CreateWeaponHook hook);
