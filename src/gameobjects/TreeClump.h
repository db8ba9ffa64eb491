// CTreeClump: one clump instance of the level's trees and bushes as a game object. For now inert.
#pragma once

#include "gameobjects/InertObject.h"

class CTreeClump : public CInertObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000003;
    CTreeClump() : CInertObject(TYPE_ID, "TreeClump") {}
};
