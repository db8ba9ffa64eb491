// CGameEffect: a particle effect placed in a level by the instantiation script. For now inert.
#pragma once

#include "gameobjects/InertObject.h"

class CGameEffect : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000006;
    CGameEffect() : CInertObject(TYPE_ID, "Effect") {}
};
