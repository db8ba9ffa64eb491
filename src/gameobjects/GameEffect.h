// CGameEffect ("Effect"): a particle effect placed in a level by the instantiation script. It runs
// one effect object of the effect manager at its position and orientation, can start it again on
// a fixed period, can follow a parent object found by instance name (100 units above it), and
// script events switch its emitters off and on. It takes no part in contact tests.
#pragma once

#include "gameobjects/GameObject.h"

class CParticleSystemEffect;

class CGameEffect : public CGameObject {
public:
    static constexpr uint32_t TYPE_ID = 0x01000006;
    static constexpr uint32_t NAME_LENGTH = 32;  // terminator included
    // The kind of effect object it runs.
    static constexpr int EFFECT_EFFECT = 1;
    static constexpr float PARENT_HEIGHT = 100.0f;

    CGameEffect();
    // Stops and gives back the running effect.
    ~CGameEffect() override;

    const char* getTypeName() const override { return "Effect"; }
    void update(int) override {}
    void interact(CGameObject*) override {}
    // The periodic restart, then following the parent.
    bool think(int frameStep) override;
    void render() override {}
    bool initFromArgs(resourceHandle, ObjectArgs) override { return false; }
    // Keys in order: "Input_OnOn", "Input_OnOff", "Restartable" (then "Time_period"), "position",
    // "orientation", "Position_Parent", "name"; a missing key stops the set-up with false, else the
    // result is the effect's start.
    bool initFromParamBlock(CParamBlock* pBlock, resourceHandle creator) override;
    void prepareAsReplica() override {}
    bool GetCurrentPosition(Vector3* pPosition) override;
    bool isStaticObject() override { return true; }

    // Script inputs: the emitters run again / stop emitting.
    virtual void switchOn();
    virtual void switchOff();

    // Starts the effect anew: false when its name cannot be defined or it will not start; true
    // with no effect when the effect manager has no room.
    bool startEffect();

    CParticleSystemEffect* getEffect() const { return d_pEffect; }
    resourceHandle getEffectHandle() const { return d_effectHandle; }
    resourceHandle getParentHandle() const { return d_parentHandle; }
    uint32_t getRestartPeriod() const { return d_restartPeriod; }

private:
    void stopEffect();
    // False when the parent is gone: the effect is stopped.
    bool followParent();

    Vector3 d_position;
    Matrix3 d_orientation;
    resourceHandle d_parentHandle;
    CParticleSystemEffect* d_pEffect;
    resourceHandle d_effectHandle;
    char d_parentName[NAME_LENGTH];
    char d_effectName[96];
    uint32_t d_restartPeriod;  // ms; 0: never
    uint32_t d_lastRestartTime;
};
