// CGameClock: real elapsed milliseconds of the main loop, with pauses left out. Call skipGap before a
// pause (loading, an inactive window); the next update then adds nothing for the time paused.
#pragma once

#include <cstdint>

class CGameClock {
public:
    CGameClock() : m_time(0), m_lastTick(0), m_skip(false), m_running(false) {}

    void start();
    void skipGap() { m_skip = true; }
    void resume();
    // Adds the real time since the last update; returns the timer reading it used.
    uint32_t update();

    uint32_t getTime() const { return m_time; }
    bool isRunning() const { return m_running; }

private:
    uint32_t m_time;
    uint32_t m_lastTick;
    bool m_skip;
    bool m_running;
};
