// What the processor can do and how fast its time-stamp counter runs, found once at start-up.
#pragma once

#include <cstdint>

struct ProcessorInfo {
    bool hasFPU;
    bool hasTSC;
    bool hasCMOV;
    bool hasMMX;
    bool hasSSE;
    bool hasSSE2;             // never set for AMD processors
    bool hasMMXExtensions;    // AMD only
    bool has3DNowExtensions;  // AMD only
    bool has3DNow;            // AMD only
    bool isIntel;
    bool isAMD;
    bool isOther;
    char vendor[13];
    uint64_t cyclesPerSecond;  // the count over about a second: counters above 4.29 GHz fit
    uint32_t MHz;
};

extern ProcessorInfo processorInfo;

// Fills processorInfo from CPUID, then measures the clock. Without CPUID nothing is detected.
void detectProcessor();
// Spins about a second against timeGetTime, counting time-stamp cycles.
void measureProcessorClock();
void readTimeStampCounter(uint64_t* value);
// Cycles per second.
void getProcessorClock(uint64_t* value);
