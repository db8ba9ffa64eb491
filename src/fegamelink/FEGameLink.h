// CFEGameLink: the link between the front end and the game. Only what the video players need of
// it is here yet: one step of the waiting front end, which a video runs for every frame it shows
// while the front end waits on it. Without a front end the step only goes on.
#pragma once

#include <cstdint>

class CFEGameLink {
public:
    enum : int32_t {
        WAITFRONTEND_CONTINUE = 1,  // the waiting front end goes on
        WAITFRONTEND_EXIT = 2,      // it has received its exit code
    };

    // Any thread: a video's streaming thread runs it for each presented frame.
    int32_t UpdateWaitFrontEnd(int32_t unusedA, int32_t unusedB);

    // Test seam: the step answers WAITFRONTEND_EXIT from the given call on (counted from now, the
    // first call being 1); 0 switches it off again. Steps counts every call since.
    static void SetExitAfterSteps(int32_t steps);
    static int32_t Steps();
};

// The one link, made on first use.
CFEGameLink* getFEGameLink();
