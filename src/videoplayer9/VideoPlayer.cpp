#include "videoplayer9/VideoPlayer.h"

#include "platform/dshow.h"
#include "utility/Assert.h"

bool videoOpenFailed(const char* message)
{
    assertFailedMsg(message, "false", __FILE__, __LINE__);
    return false;
}

int32_t videoPosition(IMediaPosition* position)
{
    REFTIME seconds = 0;
    if (position) position->get_CurrentPosition(&seconds);
    return static_cast<int32_t>(seconds * 1000.0);
}

int32_t videoDuration(IMediaPosition* position)
{
    REFTIME seconds = 0;
    if (position) position->get_Duration(&seconds);
    return static_cast<int32_t>(seconds * 1000.0);
}

bool videoFinished(IMediaPosition* position)
{
    REFTIME duration = 0, current = 0;
    if (position) {
        position->get_Duration(&duration);
        position->get_CurrentPosition(&current);
    }
    const int32_t left = static_cast<int32_t>((duration - current) * 1000.0);
    return left < 0.001;
}
