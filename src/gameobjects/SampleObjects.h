// The four small kinds of the misc-object manager that exercise the object, collision and physics
// machinery: the bullet, the laser, the spherical target and the collision tester. For now they are
// inert.
#pragma once

#include "gameobjects/InertObject.h"

class CSampleObjectBullet : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000000;
    CSampleObjectBullet() : CInertObject(TYPE_ID, "SampleObjectBullet") {}
};

class CSampleObjectLaser : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000001;
    CSampleObjectLaser() : CInertObject(TYPE_ID, "SampleObjectLaser") {}
};

class CSampleObjectTarget : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000002;
    CSampleObjectTarget() : CInertObject(TYPE_ID, "SampleObjectTarget") {}
};

class CCollisionTest : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x0100000a;
    CCollisionTest() : CInertObject(TYPE_ID, "CollisionTest") {}
};
