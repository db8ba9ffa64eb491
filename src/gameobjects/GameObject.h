// CGameObject: the base of every object that takes part in play. Only what the collision maths
// needs of it exists so far: the type that ranks a contact, the health, the death handler.
#pragma once

#include <cstdint>

class CGameObject {
public:
    // Object types (manager id in the top byte joined with a type number).
    static const uint32_t TYPE_ANIMAL_FIRST = 0x02000000;
    static const uint32_t TYPE_PLAYER_VEHICLE = 0x02000002;
    static const uint32_t TYPE_ANIMAL_LAST = 0x0200000D;
    static const uint32_t TYPE_STATIC_OBJECT = 0x04000000;

    CGameObject() : health(0) {}
    virtual ~CGameObject() {}

    virtual uint32_t GetType() const = 0;
    // The script input "Death"; an object that can die overrides it.
    virtual void OnDeath(int32_t value);

    // Recovery from a contact whose arithmetic went non-finite: ranks this object (the first of the
    // pair) and the other by type and kills the higher-ranked side, both on a tie.
    void resolveContactKill(CGameObject* other);

    int32_t health;
};
