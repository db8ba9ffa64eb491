// CInertObject: a game object of a kind whose own behaviour is not built yet. It takes its place in
// the object lists and answers every pass with the base behaviour or nothing: it never moves, never
// draws and has no position. The kinds made by the misc-object manager start from it.
#pragma once

#include "gameobjects/GameObject.h"

class CInertObject : public CGameObject {
public:
    CInertObject(uint32_t typeId, const char* typeName) : CGameObject(typeId), d_typeName(typeName) {}

    const char* getTypeName() const override { return d_typeName; }
    void update(int) override {}
    void interact(CGameObject*) override {}
    bool think(int) override { return false; }
    void render() override {}
    void prepareAsReplica() override {}
    bool GetCurrentPosition(Vector3*) override { return false; }
    bool isStaticObject() override { return true; }

private:
    const char* d_typeName;
};
