#include "utility/ProcessorInfo.h"

#include "platform/cpu.h"
#include "platform/win32.h"

#include <cstring>

ProcessorInfo processorInfo;

namespace {

bool bit(uint32_t value, int n) { return (value >> n) & 1; }

}  // namespace

void detectProcessor()
{
    memset(&processorInfo, 0, sizeof processorInfo);
    if (!cpuidSupported()) return;

    uint32_t regs[4];
    cpuid(0, regs);
    const uint32_t maxLeaf = regs[0];
    memcpy(processorInfo.vendor, &regs[1], 4);
    memcpy(processorInfo.vendor + 4, &regs[3], 4);
    memcpy(processorInfo.vendor + 8, &regs[2], 4);
    processorInfo.vendor[12] = 0;

    if (maxLeaf >= 1) {
        cpuid(1, regs);
        const uint32_t features = regs[3];
        processorInfo.hasFPU = bit(features, 0);
        processorInfo.hasTSC = bit(features, 4);
        processorInfo.hasCMOV = bit(features, 15);
        processorInfo.hasMMX = bit(features, 23);
        processorInfo.hasSSE = bit(features, 25);
        if (strcmp(processorInfo.vendor, "AuthenticAMD") == 0) {
            processorInfo.isAMD = true;
            cpuid(0x80000000u, regs);
            if (regs[0] >= 0x80000001u) {
                cpuid(0x80000001u, regs);
                processorInfo.hasMMXExtensions = bit(regs[3], 22);
                processorInfo.has3DNowExtensions = bit(regs[3], 30);
                processorInfo.has3DNow = bit(regs[3], 31);
            }
        } else {
            processorInfo.isIntel = strcmp(processorInfo.vendor, "GenuineIntel") == 0;
            processorInfo.isOther = !processorInfo.isIntel;
            processorInfo.hasSSE2 = bit(features, 26);
        }
    }
    measureProcessorClock();
}

void measureProcessorClock()
{
    uint32_t regs[4];
    const DWORD waitStart = timeGetTime();
    while (timeGetTime() - waitStart < 2) {
    }
    const DWORD start = timeGetTime();
    cpuid(0, regs);
    const uint64_t first = readTsc();
    while (timeGetTime() - start < 1001) {
    }
    cpuid(0, regs);
    const uint64_t second = readTsc();
    processorInfo.cyclesPerSecond = second - first;
    processorInfo.MHz = static_cast<uint32_t>(processorInfo.cyclesPerSecond / 1000000);
}

void readTimeStampCounter(uint64_t* value) { *value = readTsc(); }

void getProcessorClock(uint64_t* value) { *value = processorInfo.cyclesPerSecond; }
