#include "animation/Animation.h"

#include "platform/win32.h"
#include "utility/Assert.h"

#include <cmath>

namespace {

float wrapPosition(float p, int32_t loopMode)
{
    if (loopMode == CAnimation::LOOP_WRAP) {
        if (p >= 1.0f) return fmodf(p, 1.0f);
        if (p < 0.0f) return fmodf(p, 1.0f) + 1.0f;
        return p;
    }
    if (loopMode == CAnimation::LOOP_ONCE) {
        if (p > CAnimation::PLAY_ONCE_END) return CAnimation::PLAY_ONCE_END;
        if (p < 0.0f) return 0.0f;
        return p;
    }
    return p;
}

// Truncation towards zero, held inside the 32-bit range (NaN gives 0).
int64_t truncated(float v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int64_t>(v);
}

bool raiseToLatestKey(CAnimNode* node, void* longest)
{
    float& value = *static_cast<float*>(longest);
    if (node->LatestKeyTime > value) value = node->LatestKeyTime;
    return true;
}

}  // namespace

CAnimation::CAnimation(const char* fileName)
{
    m_errorCode = loadAnimationFile(fileName, &m_data);
    if (m_errorCode != ANIM_OK) return;
    m_valid = true;
    m_useOwnClock = true;
    Start();
}

uint32_t CAnimation::CurrentClock() const { return m_useOwnClock ? m_ownClock : timeGetTime(); }

void CAnimation::Start()
{
    if (!m_valid) return;
    m_ownClock = 0;
    CurrentFrame = 0.0f;
    m_elapsed = 0;
    m_lastTime = CurrentClock();
    Rate = 1.0f;
    Resume();
    m_interpolate = true;
    LoopMode = LOOP_WRAP;
    SetDirection(DIRECTION_FORWARD);

    // A root without tracks counts as linear: its length comes from the other nodes.
    const CAnimNode* root = m_data.Hierarchy.RootNode;
    const CAnimController* controller = root->ControllerData;
    if (root->ControllerKind == CAnimController::CONTROLLER_CAPTURED && controller) {
        NumFrames = controller->GetNumKeys(CAnimController::CHANNEL_TRANSLATION);
        if (NumFrames == 0) NumFrames = controller->GetNumKeys(CAnimController::CHANNEL_ROTATION);
        if (NumFrames == 0) NumFrames = controller->GetNumKeys(CAnimController::CHANNEL_SCALE);
        ASSERT_MSG(this->NumFrames>0, "Animation file contains 0 frames of data");
        Duration = root->FramePeriod * static_cast<float>(NumFrames) * 1000.0f;
    } else {
        float longest = 0.0f;
        m_data.Hierarchy.ForEach(raiseToLatestKey, &longest);
        Duration = longest;
        m_data.LinearDuration = longest;
    }
}

void CAnimation::Advance(uint32_t elapsed)
{
    ASSERT(this->Duration!=0);
    m_ownClock += elapsed;
    if (!m_valid) return;
    if (!m_paused) {
        const uint32_t now = CurrentClock();
        const uint32_t dt = now - m_lastTime;
        m_lastTime = now;
        m_elapsed = dt;
        // With no length there is nothing to move through: the position stays (and evaluates at 0).
        if (Rate != 0.0f && Duration != 0.0f)
            CurrentFrame += static_cast<float>(m_directionStep) * Rate * static_cast<float>(dt) / Duration;
    }
    CurrentFrame = wrapPosition(CurrentFrame, LoopMode);
    ASSERT(this->CurrentFrame >=0);
    m_data.Hierarchy.Evaluate(CurrentFrame * Duration, m_interpolate, LoopMode == LOOP_WRAP);
}

bool CAnimation::IsFinished() const
{
    if (LoopMode != LOOP_ONCE) return false;
    if (m_directionMode == DIRECTION_FORWARD) return CurrentFrame >= PLAY_ONCE_END;
    if (m_directionMode == DIRECTION_BACKWARD) return CurrentFrame <= 0.0f;
    return false;
}

void CAnimation::SetDirection(int32_t mode)
{
    m_directionMode = mode;
    if (mode == DIRECTION_FORWARD) m_directionStep = 1;
    if (mode == DIRECTION_BACKWARD) m_directionStep = -1;
}

void CAnimation::SetTime(float seconds)
{
    if (m_valid) {
        if (!VERIFY(this->Duration!=0)) return;
        const float t = seconds * 1000.0f;
        CurrentFrame = t == Duration ? 1.0f : fmodf(t / Duration, 1.0f);
        m_lastTime = CurrentClock();
    }
    if (m_directionMode == DIRECTION_BACKWARD) CurrentFrame = 1.0f - CurrentFrame;
}

int32_t CAnimation::GetTimeOffset(uint32_t time) const
{
    if (Rate == 0.0f) return 0;
    return static_cast<int32_t>(truncated(CurrentFrame * Duration / Rate) - truncated(static_cast<float>(time) / Rate));
}

void CAnimation::Pause()
{
    if (m_valid) m_paused = true;
}

void CAnimation::Resume()
{
    if (!m_valid) return;
    m_paused = false;
    m_lastTime = CurrentClock();
}
