#include "kestrune/RumbleEnvelope.h"

#include <cstdint>

namespace {

// Lengths come from definition files: a negative one counts as none, and a huge one must not
// overflow while it is rounded (only its low 16 bits are kept anyway).
int64_t roundUpToStep(int length, int step)
{
    int64_t rounded = length < 0 ? 0 : length;
    if (step > 0 && rounded % step != 0) rounded += step - rounded % step;
    return rounded;
}

}  // namespace

CRumbleEnvelope::CRumbleEnvelope()
    : m_pauseTime(0),
      m_attackSpeed(0.0f),
      m_attackEnd(0),
      m_decaySpeed(0.0f),
      m_decayEnd(0),
      m_sustainLevel(0.0f),
      m_sustainEnd(0),
      m_level(0.0f),
      m_elapsed(IDLE_ELAPSED)
{
}

void CRumbleEnvelope::set(int pauseTime, int attackTime, int sustainTime, int decayTime, float attackSpeed,
                          float sustainLevel, float decaySpeed, int frameStep)
{
    m_pauseTime = pauseTime < 0 ? 0 : static_cast<DWORD>(pauseTime);
    m_attackSpeed = attackSpeed;
    m_sustainLevel = sustainLevel;
    m_decaySpeed = decaySpeed;
    m_attackEnd = static_cast<WORD>(static_cast<WORD>(m_pauseTime) + roundUpToStep(attackTime, frameStep));
    m_sustainEnd = static_cast<WORD>(m_attackEnd + roundUpToStep(sustainTime, frameStep));
    m_decayEnd = static_cast<WORD>(m_sustainEnd + roundUpToStep(decayTime, frameStep));
}

float CRumbleEnvelope::advance(DWORD dt)
{
    m_elapsed += dt;
    if (m_elapsed <= m_pauseTime) m_level = 0.0f;
    else if (m_elapsed <= m_attackEnd) m_level = (m_elapsed - m_pauseTime) * m_attackSpeed * 0.001f;
    else if (m_elapsed <= m_sustainEnd) m_level = m_sustainLevel;
    else if (m_elapsed <= m_decayEnd) m_level = (m_decayEnd - m_elapsed) * 0.001f * m_decaySpeed;
    else m_level = 0.0f;
    return m_level;
}
