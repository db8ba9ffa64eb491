// The filter graph: one COM object with a part per interface, all sharing its reference count.
// Once a file is rendered the graph feeds its sound into the DirectSound mixer as an external
// voice, so playing, pausing and the audio clock are the mixer's. The DirectSound world's lock
// guards every graph, as it guards the buffers.
#pragma once

#include "../dsound/World.h"
#include "Source.h"
#include "platform/dshow.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform::dshow {

class Graph;

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
    HRESULT RenderFile(const WCHAR* file, const WCHAR* playList) override;

    // With the lock held.
    void mixInto(float* out, DWORD frames) override;
    void post(LONG code, LONG_PTR param1);
    // Moves the sound to an output frame (clamped to its length).
    HRESULT seekTo(int64_t frame);

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

    ControlPart control{this};
    EventPart eventPart{this};
    SeekingPart seeking{this};
    PositionPart positionPart{this};
    AudioPart audio{this};

private:
    ~Graph();
    std::atomic<ULONG> m_references{1};
};

// Every graph and the test steering; guarded by the DirectSound world's lock.
struct Registry {
    std::vector<Graph*> graphs;
    CallSteering steering;
    std::vector<std::string> renderedPaths;
    bool ffmpegAllowed = true;
};

Registry& registry();

}  // namespace platform::dshow
