// One motor's vibration over time: a pause, a rise at the attack speed, a constant sustain level
// and a fall at the decay speed. Times are milliseconds from the effect's start; the three end
// times are 16-bit. A new envelope is idle (level 0) until restarted.
#pragma once

#include "platform/win32/types.h"

class CRumbleEnvelope {
public:
    static constexpr DWORD IDLE_ELAPSED = 100000;

    CRumbleEnvelope();

    // Each length is first rounded up to a whole number of frame steps (the pause is not).
    void set(int pauseTime, int attackTime, int sustainTime, int decayTime, float attackSpeed,
             float sustainLevel, float decaySpeed, int frameStep);
    void restart() { m_elapsed = 0; }
    // Moves on by dt milliseconds and gives the new level.
    float advance(DWORD dt);

    float getLevel() const { return m_level; }
    DWORD getElapsed() const { return m_elapsed; }
    WORD getAttackEnd() const { return m_attackEnd; }
    WORD getSustainEnd() const { return m_sustainEnd; }
    WORD getDecayEnd() const { return m_decayEnd; }

private:
    DWORD m_pauseTime;
    float m_attackSpeed;  // level per second
    WORD m_attackEnd;
    float m_decaySpeed;   // level per second
    WORD m_decayEnd;
    float m_sustainLevel;
    WORD m_sustainEnd;
    float m_level;
    DWORD m_elapsed;
};
