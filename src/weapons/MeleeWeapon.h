// MeleeWeapon: the player vehicle's close-combat weapon as a game object of the misc-object manager.
// The vehicle does not swing it yet: inert.
#pragma once

#include "gameobjects/InertObject.h"

class MeleeWeapon : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000005;
    MeleeWeapon() : CInertObject(TYPE_ID, "MeleeWeapon") {}
};
