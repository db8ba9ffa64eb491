#include "global/GameClock.h"

#include "platform/win32.h"
#include "utility/Assert.h"

void CGameClock::start()
{
    m_time = 0;
    m_skip = false;
    m_lastTick = timeGetTime();
    m_running = true;
}

void CGameClock::resume()
{
    m_skip = false;
    m_lastTick = timeGetTime();
}

uint32_t CGameClock::update()
{
    ASSERT(m_running);
    if (m_skip) resume();
    const uint32_t now = timeGetTime();
    // Unsigned difference: the timer's wrap after 49.7 days costs nothing.
    m_time += now - m_lastTick;
    m_lastTick = now;
    return now;
}
