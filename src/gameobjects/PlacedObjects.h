// The placed kinds of the misc-object manager that other parts of the game drive: water, wrecks left
// by destroyed vehicles, and pickups. Inert here.
#pragma once

#include "gameobjects/InertObject.h"

class CWater : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000007;
    CWater() : CInertObject(TYPE_ID, "Water") {}
};

// Type 9: type 8 of this manager is not used.
class CWreck : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000009;
    CWreck() : CInertObject(TYPE_ID, "Wreck") {}
};

class CPickup : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x0100000b;
    CPickup() : CInertObject(TYPE_ID, "Pickup") {}
};
