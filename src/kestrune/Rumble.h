// Pad vibration effects: a left and a right motor envelope read from a block of a definition file
// ("LeftRumble" and "RightRumble" sub-blocks), for one player's pad. Running effects are kept in
// one list; updateRumble advances them once per frame and gives each of the four pads the
// strongest level of its effects on each side, which then drive the pads' motors.
#pragma once

#include "kestrune/RumbleEnvelope.h"

class CParamBlock;

const int MAX_RUMBLE_PADS = 4;

class CRumble {
public:
    CRumble() : m_player(0) {}

    // Reads both envelopes; false for a player outside 0..3 (nothing is stored) and when there is
    // no "RightRumble" block (a "LeftRumble" block is still applied). Missing keys read as 0.
    bool load(const CParamBlock* block, int player);
    void restart();
    void advance(DWORD dt);

    int getPlayer() const { return m_player; }
    CRumbleEnvelope& getLeft() { return m_left; }
    CRumbleEnvelope& getRight() { return m_right; }

private:
    CRumbleEnvelope m_left;
    CRumbleEnvelope m_right;
    int m_player;
};

// The running list. An effect stays in it, at level 0 once its envelopes end, until stopped.
void startRumble(CRumble* effect);
void stopRumble(CRumble* effect);  // removes the first entry holding it
void pauseRumble();                // also stills the motors
void resumeRumble();
void updateRumble(DWORD dt);
void shutdownRumble();  // empties the list
void getRumbleLevels(int pad, float* left, float* right);

// The project data's frame step and player-to-pad table; the game installs them (until then
// 30 ms and player n on pad n).
void setRumbleGameHooks(int (*frameStep)(), int (*padOfPlayer)(int player));
