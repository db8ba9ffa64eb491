// Test hooks of the DirectShow stand-in: forced results, the files given to RenderFile and a view
// of every filter graph. The sound of a graph plays on the DirectSound clock: with
// testing::dsound::useManualClock it moves only when a test advances that clock.
#pragma once

#include "platform/dshow.h"

#include <functional>
#include <string>
#include <vector>

namespace platform::testing::dshow {

// Forgets forced results, call counts, the rendered names and the registered sources, and lets
// FFmpeg read again. Graphs still alive stay.
void reset();
// The next `times` calls of the method fail with the result; times < 0 until reset, 0 lifts the
// switch. Methods by name ("RenderFile", "Run", "put_Volume", "SetPositions", "GetEvent", ...);
// "CoCreateInstance" makes creating a graph fail, "CoCreateInstance VideoMixingRenderer9" creating
// the VMR; "QueryInterface IBasicAudio" (and the other interface names) fails asking a graph or the
// VMR for that interface. The VMR's calls go by their names too ("SetRenderingMode",
// "AllocateSurfaceHelper", "AdviseSurfaceAllocator", ...), and so do "AddFilter",
// "AddSourceFilter", "Render", "EnumPins", "Next" and "QueryDirection".
void failCall(const std::string& method, HRESULT result, int times = 1);
int calls(const std::string& method);
// Runs on the calling thread after every call of the method, outside the stand-in's lock (so it
// may advance the audio clock). Null removes it.
void setCallHook(const std::string& method, std::function<void()> hook);
// While false, files that our WAV reader does not take fail to render instead of going to FFmpeg.
void setFfmpegAllowed(bool allowed);

// ---- Sources tests make ----

// What a registered source's frames show. Colours are 0xRRGGBB, rows counted from the top of the
// picture as it should appear.
enum class Pattern {
    // Eight vertical bars over the top three quarters (white, yellow, cyan, green, magenta, red,
    // blue, black from the left), and under them black on the left half and white on the right:
    // the same in every frame, and not the same upside down.
    Bars,
    // A different colour for every pixel and frame, to check each pixel copied.
    Counter,
};
DWORD patternColour(Pattern pattern, UINT width, UINT height, UINT frame, UINT x, UINT y);

struct SyntheticVideo {
    UINT width = 64;
    UINT height = 48;
    UINT frames = 10;
    UINT rateNumerator = 25;  // frames per second
    UINT rateDenominator = 1;
    // The only frame layout the source offers: D3DFMT_R8G8B8 for RGB24, D3DFMT_X8R8G8B8 for RGB32,
    // or a four-character code (D3DFMT_YUY2, D3DFMT_UYVY), which a VMR takes only on off-screen
    // surfaces. Zero: no pictures at all (a sound-only source).
    DWORD layout = D3DFMT_R8G8B8;
    Pattern pattern = Pattern::Bars;
    float toneHz = 0;  // a sine under the pictures at a quarter of full scale; 0: no sound
    UINT breaksAt = 0xFFFFFFFFu;  // frames from this one on cannot be read, as from a broken file
};
// RenderFile and AddSourceFilter open this source for the name (without case, either slash)
// before they look for a file.
void registerVideo(const std::string& name, const SyntheticVideo& video);

// ---- What graphs and the VMR do ----

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
    std::vector<std::string> filters;  // names given to AddFilter / AddSourceFilter, in order
    std::string videoSink;   // "vmr9", the name of the renderer filter, or empty while not shown
    DWORD videoLayout = 0;   // the frame layout of the connection
    bool streaming = false;  // the streaming thread runs
    int framesPresented = 0;  // frames handed to the sink
};

// Every live graph, oldest first.
std::vector<GraphState> graphs();
int liveGraphs();
// Every name given to RenderFile since reset, in order.
std::vector<std::string> renderedPaths();

// Waits until the graph's streaming thread has handed at least `count` frames to its sink (the
// frame due at each clock step, plus the first one when it starts or after a seek). False when
// the time runs out first.
bool waitForFrames(IGraphBuilder* graph, int count, DWORD milliseconds = 5000);
// Waits until the graph has no streaming thread any more or the time runs out.
bool waitForStreamingEnd(IGraphBuilder* graph, DWORD milliseconds = 5000);

struct Vmr9State {
    IBaseFilter* filter = nullptr;
    DWORD mode = VMR9Mode_Windowed;
    DWORD streams = 0;
    bool inGraph = false;
    DWORD_PTR userId = 0;
    bool advised = false;  // an allocator-presenter is installed
    IDirect3DDevice9* device = nullptr;
    HMONITOR monitor = nullptr;
    VMR9AllocationInfo requested{};  // what InitializeDevice was asked for, as the VMR asked it
    VMR9AllocationInfo granted{};    // the same after the allocator-presenter changed it
    DWORD buffers = 0;
    int initializeCalls = 0;
    int terminateCalls = 0;
    int startCalls = 0;
    int stopCalls = 0;
    int presented = 0;      // PresentImage calls
    int surfaceFailures = 0;  // frames dropped because GetSurface failed
};
std::vector<Vmr9State> vmr9s();
int liveVmr9s();

}  // namespace platform::testing::dshow
