// GameInfo: the game-info object of a session: whether the game is running, and the state flags the
// object manager reads. It has no manager of its own; on a network client the object manager's
// factory makes it as the copy of the host's.
#pragma once

#include "gameobjects/GameObject.h"

class GameInfo : public CGameObject {
public:
    static constexpr uint32_t FLAG_GAME_INFO = 1;  // what isGameInfoFlagSet answers

    GameInfo() : CGameObject(TYPE_GAME_INFO), d_stateFlags(0), d_serverRunning(true) {}

    const char* getTypeName() const override { return "GameInfo"; }
    void update(int) override {}
    void interact(CGameObject*) override {}
    bool think(int) override { return false; }
    void render() override {}
    void prepareAsReplica() override {}
    bool GetCurrentPosition(Vector3* pPosition) override
    {
        pPosition->set(0.0f, 0.0f, 0.0f);
        return false;
    }
    bool isStaticObject() override { return true; }

    bool isServerRunning() const { return d_serverRunning; }
    void setServerRunning(bool running) { d_serverRunning = running; }
    uint32_t getStateFlags() const { return d_stateFlags; }
    void setStateFlags(uint32_t flags) { d_stateFlags = flags; }

private:
    uint32_t d_stateFlags;
    bool d_serverRunning;
};
