// WeaponElementInstance: one fired element of a weapon (a shell, a beam, a blast) as a game object of
// the misc-object manager. What it hits asks it whether it may be hurt, how much, and whether it
// sets things alight. Weapons do not fire yet, so an element deals a fixed damage and no fire.
#pragma once

#include "gameobjects/InertObject.h"

// What a fired element does to what burns: a strength above 0 sets it alight.
struct SFireRecord {
    float strength;
};

class WeaponElementInstance : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000004;

    WeaponElementInstance() : CInertObject(TYPE_ID, "WeaponElementInstance"), d_damage(0.0f), d_fire{0.0f} {}

    // Whether this element may hurt the object of that handle.
    bool canDamage(resourceHandle) const { return true; }
    float getDamage() const { return d_damage; }
    void setDamage(float damage) { d_damage = damage; }
    const SFireRecord& getFireRecord() const { return d_fire; }
    void setFireRecord(const SFireRecord& fire) { d_fire = fire; }

private:
    float d_damage;
    SFireRecord d_fire;
};
