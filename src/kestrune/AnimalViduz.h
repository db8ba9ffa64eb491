// CAnimalViduz: the player's vehicle, in the least form the object layer needs: a dynamic object
// at a position, whose predicted position is where it stands (it does not move by itself yet).
#pragma once

#include "gameobjects/GameObject.h"

class CAnimalViduz : public CGameObject {
public:
    CAnimalViduz() : CGameObject(TYPE_PLAYER_VEHICLE) {}

    const char* getTypeName() const override { return "Viduz"; }
    void update(int) override {}
    void interact(CGameObject*) override {}
    bool think(int) override { return false; }
    void render() override {}
    void prepareAsReplica() override {}
    bool GetCurrentPosition(Vector3* pPosition) override
    {
        *pPosition = d_position;
        return true;
    }
    bool isStaticObject() override { return false; }

    // Where the vehicle will be by the next step.
    void predictPosition(Vector3* pPosition) { *pPosition = d_position; }
    void setPosition(const Vector3& position) { d_position = position; }

private:
    Vector3 d_position;
};
