// A minimal profiler: the level load starts it and the game flow stops it. It keeps counters per
// section; nothing reads them back yet.
#pragma once

#include <cstdint>

struct CProfiler {
    static constexpr int MAX_SECTIONS = 16;

    int numSections = 1;
    char sectionNames[MAX_SECTIONS][11] = {"OTHER     "};
    uint32_t counters[MAX_SECTIONS][2] = {};
    bool started = false;
    bool running = false;
    uint32_t startTime = 0;  // timeGetTime
    uintptr_t startArgument = 0;
    uint32_t counter = 0;
    uint64_t startStamp = 0;  // time-stamp counter
    uint32_t frameCounter = 0;
};

extern CProfiler theProfiler;

// Starting a started profiler or stopping a stopped one is reported and goes ahead.
void profilerStart(uintptr_t argument);
void profilerStop();
