// Renders any bytes through the DirectShow stand-in with only its own WAV reader (FFmpeg is kept
// out), plays the sound out on the manual audio clock, seeks back and plays a little more.
#include "FuzzSupport.h"
#include "platform/dshow.h"
#include "platform/testing/dshow.h"
#include "platform/testing/dsound.h"

namespace ds = platform::testing::dsound;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    static const bool once = [] {
        ds::useManualClock();
        platform::testing::dshow::setFfmpegAllowed(false);
        return true;
    }();
    (void)once;
    const fuzz::InputFile input("input.mus", data, size);

    IGraphBuilder* graph = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph))))
        abort();
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    IMediaSeeking* seeking = nullptr;
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
    graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
    if (SUCCEEDED(graph->RenderFile(u"input.mus", nullptr))) {
        control->Run();
        LONGLONG duration = 0, position = 0;
        seeking->GetDuration(&duration);
        LONG code;
        LONG_PTR p1, p2;
        bool ended = false;
        // Short steps: most sounds end within a few, and a step is mixed sample by sample.
        for (int i = 0; i < 64 && !ended; ++i) {
            ds::advanceFrames(1024);
            ended = events->GetEvent(&code, &p1, &p2, 0) == S_OK;
        }
        // The position never runs past the end.
        seeking->GetCurrentPosition(&position);
        if (position > duration) abort();
        LONGLONG start = 0;
        if (FAILED(seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning)))
            abort();
        ds::advanceFrames(1024);
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {}
    }
    seeking->Release();
    events->Release();
    control->Release();
    graph->Release();
    return 0;
}
