// The test hooks: forced results and read-back of the graphs and VMRs.
#include "Graph.h"
#include "Vmr9.h"
#include "platform/testing/dshow.h"

#include <chrono>

namespace platform::testing::dshow {

using platform::dsound::world;
using platform::dshow::registry;

void reset()
{
    std::lock_guard<std::mutex> guard(world().lock);
    auto& r = registry();
    r.steering.clear();
    r.renderedPaths.clear();
    r.ffmpegAllowed = true;
    r.synthetic.clear();
}

void failCall(const std::string& method, HRESULT result, int times)
{
    std::lock_guard<std::mutex> guard(world().lock);
    registry().steering.fail(method, result, times);
}

void setCallHook(const std::string& method, std::function<void()> hook)
{
    registry().steering.setHook(method, std::move(hook));
}

int calls(const std::string& method)
{
    std::lock_guard<std::mutex> guard(world().lock);
    return registry().steering.count(method);
}

void setFfmpegAllowed(bool allowed)
{
    std::lock_guard<std::mutex> guard(world().lock);
    registry().ffmpegAllowed = allowed;
}

std::vector<GraphState> graphs()
{
    std::lock_guard<std::mutex> guard(world().lock);
    std::vector<GraphState> states;
    for (platform::dshow::Graph* g : registry().graphs) {
        GraphState s;
        s.graph = g;
        s.path = g->path;
        s.source = g->source ? g->source->kind() : "";
        s.state = g->state;
        s.volume = g->volume;
        s.position = g->position / static_cast<double>(platform::dsound::OUTPUT_RATE);
        s.duration = g->durationFrames() / static_cast<double>(platform::dsound::OUTPUT_RATE);
        for (const platform::dshow::QueuedEvent& e : g->events) s.queued.push_back(e.code);
        s.posted = g->posted;
        for (const auto& f : g->filters) s.filters.push_back(f.name);
        if (const auto* v = g->video.get()) {
            s.videoSink = v->vmr ? "vmr9" : v->renderer->Name();
            s.videoLayout = v->layout;
            s.streaming = v->running;
            s.framesPresented = v->presented;
        }
        states.push_back(std::move(s));
    }
    return states;
}

int liveGraphs()
{
    std::lock_guard<std::mutex> guard(world().lock);
    return static_cast<int>(registry().graphs.size());
}

std::vector<std::string> renderedPaths()
{
    std::lock_guard<std::mutex> guard(world().lock);
    return registry().renderedPaths;
}

namespace {

platform::dshow::Graph* find(IGraphBuilder* graph)
{
    for (platform::dshow::Graph* g : registry().graphs)
        if (static_cast<IGraphBuilder*>(g) == graph) return g;
    return nullptr;
}

bool waitFor(IGraphBuilder* graph, DWORD milliseconds, bool (*done)(platform::dshow::Graph*))
{
    std::unique_lock<std::mutex> guard(world().lock);
    return registry().changed.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] {
        platform::dshow::Graph* g = find(graph);
        return !g || done(g);
    }) && find(graph);
}

}  // namespace

bool waitForFrames(IGraphBuilder* graph, int count, DWORD milliseconds)
{
    static thread_local int wanted;
    wanted = count;
    return waitFor(graph, milliseconds, [](platform::dshow::Graph* g) { return g->video && g->video->presented >= wanted; });
}

bool waitForStreamingEnd(IGraphBuilder* graph, DWORD milliseconds)
{
    return waitFor(graph, milliseconds, [](platform::dshow::Graph* g) { return !g->video || !g->video->running; });
}

std::vector<Vmr9State> vmr9s()
{
    std::vector<platform::dshow::Vmr9*> all;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        all = registry().vmrs;
    }
    std::vector<Vmr9State> states;
    for (platform::dshow::Vmr9* v : all) {
        std::lock_guard<std::mutex> guard(v->lock);
        Vmr9State s;
        s.filter = v;
        s.mode = v->mode;
        s.streams = v->streams;
        s.inGraph = v->inGraph;
        s.userId = v->userId;
        s.advised = v->allocator != nullptr;
        s.device = v->device;
        s.monitor = v->monitor;
        s.requested = v->requested;
        s.granted = v->granted;
        s.buffers = v->buffers;
        s.initializeCalls = v->initializeCalls;
        s.terminateCalls = v->terminateCalls;
        s.startCalls = v->startCalls;
        s.stopCalls = v->stopCalls;
        s.presented = v->presented;
        s.surfaceFailures = v->surfaceFailures;
        states.push_back(s);
    }
    return states;
}

int liveVmr9s()
{
    std::lock_guard<std::mutex> guard(world().lock);
    return static_cast<int>(registry().vmrs.size());
}

}  // namespace platform::testing::dshow
