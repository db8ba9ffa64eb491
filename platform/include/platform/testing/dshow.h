// Test hooks of the DirectShow stand-in: forced results, the files given to RenderFile and a view
// of every filter graph. The sound of a graph plays on the DirectSound clock: with
// testing::dsound::useManualClock it moves only when a test advances that clock.
#pragma once

#include "platform/dshow.h"

#include <functional>
#include <string>
#include <vector>

namespace platform::testing::dshow {

// Forgets forced results, call counts and the rendered names, and lets FFmpeg read again. Graphs
// still alive stay.
void reset();
// The next `times` calls of the method fail with the result; times < 0 until reset, 0 lifts the
// switch. Methods by name ("RenderFile", "Run", "put_Volume", "SetPositions", "GetEvent", ...);
// "CoCreateInstance" makes creating a graph fail; "QueryInterface IBasicAudio" (and the other
// interface names) fails asking a graph for that interface.
void failCall(const std::string& method, HRESULT result, int times = 1);
int calls(const std::string& method);
// Runs on the calling thread after every call of the method, outside the stand-in's lock (so it
// may advance the audio clock). Null removes it.
void setCallHook(const std::string& method, std::function<void()> hook);
// While false, files that our WAV reader does not take fail to render instead of going to FFmpeg.
void setFfmpegAllowed(bool allowed);

struct GraphState {
    IGraphBuilder* graph = nullptr;
    std::string path;    // the name RenderFile got, as 8-bit text
    std::string source;  // "wav", "ffmpeg", or empty before a file rendered
    OAFilterState state = State_Stopped;
    LONG volume = 0;
    double position = 0;  // seconds
    double duration = 0;
    std::vector<LONG> queued;  // event codes not yet taken, oldest first
    std::vector<LONG> posted;  // every event code posted, oldest first
};

// Every live graph, oldest first.
std::vector<GraphState> graphs();
int liveGraphs();
// Every name given to RenderFile since reset, in order.
std::vector<std::string> renderedPaths();

}  // namespace platform::testing::dshow
