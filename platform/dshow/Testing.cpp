// The test hooks: forced results and read-back of the graphs.
#include "Graph.h"
#include "platform/testing/dshow.h"

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
        s.duration = g->source ? g->source->length() / static_cast<double>(platform::dsound::OUTPUT_RATE) : 0;
        for (const platform::dshow::QueuedEvent& e : g->events) s.queued.push_back(e.code);
        s.posted = g->posted;
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

}  // namespace platform::testing::dshow
