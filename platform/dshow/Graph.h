// The filter graph: one COM object with a part per interface, all sharing its reference count.
// Once a file is rendered the graph feeds its sound into the DirectSound mixer as an external
// voice, so playing, pausing and the audio clock are the mixer's. A graph that shows pictures is
// a voice too, silent or not: its clock runs as the mixer consumes, and a streaming thread of
// its own hands each frame to the renderer when the clock reaches the frame's time. The
// DirectSound world's lock guards every graph, as it guards the buffers; it is never held while
// the graph calls a renderer, the VMR or the engine's allocator-presenter.
#pragma once

#include "../dsound/World.h"
#include "Source.h"
#include "Video.h"
#include "platform/dshow.h"
#include "platform/dshow/baseclasses.h"
#include "platform/testing/dshow.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform::dshow {

class Graph;
class Vmr9;

// The pins of a filter the graph made, for EnumPins.
class PinList final : public IEnumPins {
public:
    explicit PinList(std::vector<IPin*> pins);  // adds a reference to each
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT Skip(ULONG count) override;
    HRESULT Reset() override;

private:
    ~PinList();
    std::vector<IPin*> m_pins;
    size_t m_cursor = 0;
    std::atomic<ULONG> m_references{1};
};

// What AddSourceFilter makes: a file opened, with an output pin for its pictures ("Video") and
// one for its sound ("Audio"), each until the graph takes it by rendering the pin.
class SourceFilter final : public IBaseFilter {
public:
    class OutputPin final : public IPin {
    public:
        OutputPin(SourceFilter* owner, bool video) : owner(owner), video(video) {}
        HRESULT QueryInterface(REFIID riid, void** object) override;
        ULONG AddRef() override;
        ULONG Release() override;
        HRESULT QueryDirection(PIN_DIRECTION* direction) override;
        HRESULT ConnectedTo(IPin** pin) override;

        SourceFilter* const owner;
        const bool video;
        bool connected = false;  // with the lock held
        IPin* peer = nullptr;    // a renderer's input pin, once connected
    };

    SourceFilter(Graph* graph, Media media);
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(const WCHAR* id, IPin** pin) override;

    Graph* graph;  // null once the graph is gone
    Media media;   // what the pins have not handed over yet
    OutputPin videoPin{this, true};
    OutputPin audioPin{this, false};
    const bool hasVideo, hasAudio;

private:
    ~SourceFilter() = default;
    std::atomic<ULONG> m_references{1};
};

// A graph's pictures once connected. The reader belongs to the streaming thread while it runs.
struct VideoStream {
    std::unique_ptr<VideoSource> reader;
    VideoFormat format;
    DWORD layout = 0;
    Vmr9* vmr = nullptr;                // the sink: the VMR,
    CBaseRenderer* renderer = nullptr;  // or a renderer of the engine's
    // With the lock held.
    int64_t shown = -1;     // the frame handed over last
    bool cue = true;        // hand over the frame at the position now (start, seek)
    uint64_t seeks = 0;     // seeks so far, so a frame read across one is not taken as shown
    int presented = 0;
    bool failed = false;
    bool stop = false;
    bool running = false;
    std::thread thread;
    std::condition_variable wake;
};

class ControlPart final : public IMediaControl {
public:
    explicit ControlPart(Graph* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG milliseconds, OAFilterState* state) override;

private:
    Graph* m_owner;
};

class EventPart final : public IMediaEvent {
public:
    explicit EventPart(Graph* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetEventHandle(OAEVENT* event) override;
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG milliseconds) override;
    HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) override;

private:
    Graph* m_owner;
};

class SeekingPart final : public IMediaSeeking {
public:
    explicit SeekingPart(Graph* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDuration(LONGLONG* duration) override;
    HRESULT GetCurrentPosition(LONGLONG* current) override;
    HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;

private:
    Graph* m_owner;
};

class PositionPart final : public IMediaPosition {
public:
    explicit PositionPart(Graph* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT get_Duration(REFTIME* length) override;
    HRESULT get_CurrentPosition(REFTIME* time) override;
    HRESULT put_CurrentPosition(REFTIME time) override;

private:
    Graph* m_owner;
};

class AudioPart final : public IBasicAudio {
public:
    explicit AudioPart(Graph* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT put_Volume(LONG volume) override;
    HRESULT get_Volume(LONG* volume) override;

private:
    Graph* m_owner;
};

struct QueuedEvent {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
};

class Graph final : public IGraphBuilder, public dsound::ExternalVoice {
public:
    // With the lock held.
    Graph();

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT AddFilter(IBaseFilter* filter, const WCHAR* name) override;
    HRESULT RenderFile(const WCHAR* file, const WCHAR* playList) override;
    HRESULT AddSourceFilter(const WCHAR* file, const WCHAR* name, IBaseFilter** filter) override;
    HRESULT Render(IPin* output) override;

    // With the lock held.
    void mixInto(float* out, DWORD frames) override;
    void post(LONG code, LONG_PTR param1);
    // Moves the sound and the pictures to an output frame (clamped to the length).
    HRESULT seekTo(int64_t frame);
    // Output frames of the whole file: its sound or its pictures, whichever lasts longer.
    uint64_t durationFrames() const;
    // Starts the streaming thread when pictures are connected and it does not run.
    void startStreaming();
    // Asks the streaming thread to end; the caller joins what comes back, without the lock.
    std::thread stopStreaming();

    HANDLE eventHandle;
    std::string path;  // as RenderFile got it
    std::unique_ptr<Source> source;
    bool voiceAdded = false;
    OAFilterState state = State_Stopped;
    LONG volume = 0;
    uint64_t position = 0;   // output frames
    bool completed = false;  // the end (or an error) was posted since the last seek or start
    std::deque<QueuedEvent> events;
    std::vector<LONG> posted;
    std::vector<float> scratch;
    bool audioDone = false;  // a graph with pictures: its sound has ended
    bool audioFailed = false;
    bool hasSource = false;  // a file is open (one per graph)
    struct Filter {
        IBaseFilter* filter;  // holds a reference
        std::string name;
    };
    std::vector<Filter> filters;
    std::unique_ptr<VideoStream> video;

    ControlPart control{this};
    EventPart eventPart{this};
    SeekingPart seeking{this};
    PositionPart positionPart{this};
    AudioPart audio{this};

private:
    ~Graph();
    // Without the lock.
    HRESULT openMedia(const std::string& name, Media& media, bool& ffmpegAllowed);
    HRESULT attachAudio(std::unique_ptr<Source> audio);
    HRESULT connectVideo(std::unique_ptr<VideoSource>& reader, IPin* from, IPin** peer);
    void streamLoop();
    void deliver(VideoStream& v, uint64_t index, std::vector<uint8_t>& frame);
    std::atomic<ULONG> m_references{1};
};

// Every graph and VMR, the sources tests registered, and the test steering; guarded by the
// DirectSound world's lock.
struct Registry {
    std::vector<Graph*> graphs;
    std::vector<Vmr9*> vmrs;
    CallSteering steering;
    std::vector<std::string> renderedPaths;
    bool ffmpegAllowed = true;
    std::map<std::string, testing::dshow::SyntheticVideo> synthetic;
    // Told whenever a streaming thread hands over a frame or ends.
    std::condition_variable changed;
};

Registry& registry();
// Counts the call and answers its forced result; takes the lock for it.
HRESULT steer(const std::string& method);
// Bytes below 256 come back as they went in through MultiByteToWideChar; anything wider as UTF-8.
std::string narrow(const WCHAR* wide);
// The media type of a picture layout.
CMediaType videoType(const VideoFormat& format, DWORD layout);

}  // namespace platform::dshow
