#include "videoplayer9/VideoPlayer.h"

#include "platform/dshow.h"
#include "utility/Assert.h"

bool videoOpenFailed(const char* message)
{
    assertFailedMsg(message, "false", __FILE__, __LINE__);
    return false;
}

bool videoNewGraph(IGraphBuilder** graph)
{
    if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(graph))))
        return true;
    return videoOpenFailed("Failed to create filter graph");
}

bool videoWideName(const char* fileName, WCHAR (&path)[MAX_PATH])
{
    return MultiByteToWideChar(CP_ACP, 0, fileName, -1, path, MAX_PATH) != 0;
}

int videoQueryGraph(IGraphBuilder* graph, std::initializer_list<VideoGraphInterface> wanted)
{
    int index = 0;
    for (const VideoGraphInterface& w : wanted) {
        if (FAILED(graph->QueryInterface(w.iid, w.out))) return index;
        ++index;
    }
    return -1;
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
