#include "profiler/Profiler.h"

#include "platform/win32.h"
#include "utility/Assert.h"
#include "utility/ProcessorInfo.h"

CProfiler theProfiler;

void profilerStart(uintptr_t argument)
{
    if (theProfiler.started) assertFailed("!Started", __FILE__, __LINE__);
    theProfiler.started = true;
    for (int i = 0; i < theProfiler.numSections; ++i) theProfiler.counters[i][0] = theProfiler.counters[i][1] = 0;
    readTimeStampCounter(&theProfiler.startStamp);
    theProfiler.running = true;
    theProfiler.frameCounter = 0;
    theProfiler.startTime = timeGetTime();
    theProfiler.startArgument = argument;
    theProfiler.counter = 0;
}

void profilerStop()
{
    if (!theProfiler.started) assertFailed("Started", __FILE__, __LINE__);
    theProfiler.started = false;
}
