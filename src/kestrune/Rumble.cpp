#include "kestrune/Rumble.h"

#include "input/InputDevices.h"
#include "utility/Assert.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include <algorithm>

namespace {

llist runningRumbles;
bool rumblePaused = false;
float padLeft[MAX_RUMBLE_PADS];
float padRight[MAX_RUMBLE_PADS];

int defaultFrameStep() { return 30; }
int defaultPadOfPlayer(int player) { return player; }
int (*frameStepHook)() = defaultFrameStep;
int (*padOfPlayerHook)(int) = defaultPadOfPlayer;

bool isPad(int pad) { return pad >= 0 && pad < MAX_RUMBLE_PADS; }

void readEnvelope(const CParamBlock* block, CRumbleEnvelope& envelope)
{
    int pause = 0, attack = 0, sustain = 0, decay = 0;
    float attackSpeed = 0.0f, sustainLevel = 0.0f, decaySpeed = 0.0f;
    block->parseInt("PauseTime", &pause);
    block->parseInt("AttackTime", &attack);
    block->parseInt("SustainTime", &sustain);
    block->parseInt("DecayTime", &decay);
    block->parseFloat("AttackSpeed", &attackSpeed);
    block->parseFloat("SustainSpeed", &sustainLevel);
    block->parseFloat("DecaySpeed", &decaySpeed);
    envelope.set(pause, attack, sustain, decay, attackSpeed, sustainLevel, decaySpeed, frameStepHook());
}

void handToPads()
{
    for (int pad = 0; pad < MAX_RUMBLE_PADS; ++pad) setJoystickRumble(pad, padLeft[pad], padRight[pad]);
}

}  // namespace

bool CRumble::load(const CParamBlock* block, int player)
{
    if (!isPad(player)) {
        assertFailed("GamePadID >=0 && GamePadID <4", __FILE__, __LINE__);
        return false;
    }
    if (!VERIFY(block)) return false;
    m_player = player;
    CParamBlock* side = nullptr;
    if (block->findBlock("LeftRumble", &side)) readEnvelope(side, m_left);
    if (!block->findBlock("RightRumble", &side)) return false;
    readEnvelope(side, m_right);
    return true;
}

void CRumble::restart()
{
    m_left.restart();
    m_right.restart();
}

void CRumble::advance(DWORD dt)
{
    m_left.advance(dt);
    m_right.advance(dt);
}

void startRumble(CRumble* effect)
{
    runningRumbles.GotoTail();
    runningRumbles.InsertAfter(effect);
}

void stopRumble(CRumble* effect)
{
    for (runningRumbles.GotoHead(); runningRumbles.HasCurrent(); runningRumbles.GotoNext()) {
        if (runningRumbles.GetCurrent() == effect) {
            runningRumbles.RemoveCurrent();
            return;
        }
    }
}

void pauseRumble()
{
    rumblePaused = true;
    for (int pad = 0; pad < MAX_RUMBLE_PADS; ++pad) setJoystickRumble(pad, 0.0f, 0.0f);
}

void resumeRumble()
{
    rumblePaused = false;
    handToPads();
}

void updateRumble(DWORD dt)
{
    if (rumblePaused) return;
    std::fill(padLeft, padLeft + MAX_RUMBLE_PADS, 0.0f);
    std::fill(padRight, padRight + MAX_RUMBLE_PADS, 0.0f);
    for (runningRumbles.GotoHead(); runningRumbles.HasCurrent(); runningRumbles.GotoNext()) {
        CRumble* effect = static_cast<CRumble*>(runningRumbles.GetCurrent());
        effect->advance(dt);
        int pad = padOfPlayerHook(effect->getPlayer());
        if (!isPad(pad)) {
            assertFailed("GamePadID >=0 && GamePadID <4", __FILE__, __LINE__);
            continue;
        }
        padLeft[pad] = std::max(padLeft[pad], effect->getLeft().getLevel());
        padRight[pad] = std::max(padRight[pad], effect->getRight().getLevel());
    }
    handToPads();
}

void shutdownRumble() { runningRumbles.RemoveAll(); }

void getRumbleLevels(int pad, float* left, float* right)
{
    *left = isPad(pad) ? padLeft[pad] : 0.0f;
    *right = isPad(pad) ? padRight[pad] : 0.0f;
}

void setRumbleGameHooks(int (*frameStep)(), int (*padOfPlayer)(int player))
{
    frameStepHook = frameStep ? frameStep : defaultFrameStep;
    padOfPlayerHook = padOfPlayer ? padOfPlayer : defaultPadOfPlayer;
}
