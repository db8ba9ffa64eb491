// The filter graph's interfaces. Each call holds the world's lock for its length, so the mixer
// never sees a half-made change; opening a file happens outside it.
#include "Graph.h"

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

// Class and interface ids as documented.
const GUID CLSID_FilterGraph = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IFilterGraph = {0x56A8689F, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IGraphBuilder = {0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IMediaControl = {0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IMediaEvent = {0x56A868B6, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IMediaSeeking = {0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
const GUID IID_IMediaPosition = {0x56A868B2, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IBasicAudio = {0x56A868B3, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

namespace platform::dshow {

using dsound::world;

namespace {

const double UNITS_PER_SECOND = 10000000.0;  // REFERENCE_TIME
const double OUTPUT_RATE = dsound::OUTPUT_RATE;

// One interface call: holds the lock and knows the forced result, if any. A test's hook for the
// method runs when the call is over, outside the lock.
class Call {
public:
    explicit Call(const std::string& method)
        : m_method(method), m_guard(world().lock), m_forced(registry().steering.forcedResult(method))
    {
    }
    ~Call()
    {
        m_guard.unlock();
        registry().steering.runHook(m_method);
    }
    bool forced() const { return FAILED(m_forced); }
    HRESULT result() const { return m_forced; }

private:
    const std::string m_method;
    std::unique_lock<std::mutex> m_guard;
    HRESULT m_forced;
};

// Bytes below 256 come back as they went in through MultiByteToWideChar; anything wider as UTF-8.
std::string narrow(const WCHAR* wide)
{
    std::string out;
    for (; *wide; ++wide) {
        const char16_t c = *wide;
        if (c < 0x100) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct InterfaceName {
    const GUID* iid;
    const char* method;  // the failable call's name
};

const InterfaceName INTERFACES[] = {
    {&IID_IUnknown, "QueryInterface IUnknown"},
    {&IID_IFilterGraph, "QueryInterface IFilterGraph"},
    {&IID_IGraphBuilder, "QueryInterface IGraphBuilder"},
    {&IID_IMediaControl, "QueryInterface IMediaControl"},
    {&IID_IMediaEvent, "QueryInterface IMediaEvent"},
    {&IID_IMediaSeeking, "QueryInterface IMediaSeeking"},
    {&IID_IMediaPosition, "QueryInterface IMediaPosition"},
    {&IID_IBasicAudio, "QueryInterface IBasicAudio"},
};

}  // namespace

Registry& registry()
{
    static Registry* instance = new Registry();
    return *instance;
}

// ---- Graph ----

Graph::Graph() : eventHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr)) { registry().graphs.push_back(this); }

Graph::~Graph() { CloseHandle(eventHandle); }

HRESULT Graph::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    const InterfaceName* known = nullptr;
    for (const InterfaceName& i : INTERFACES)
        if (*i.iid == riid) known = &i;
    Call call(known ? known->method : "QueryInterface");
    if (call.forced()) return call.result();
    if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder)
        *object = static_cast<IGraphBuilder*>(this);
    else if (riid == IID_IMediaControl)
        *object = static_cast<IMediaControl*>(&control);
    else if (riid == IID_IMediaEvent)
        *object = static_cast<IMediaEvent*>(&eventPart);
    else if (riid == IID_IMediaSeeking)
        *object = static_cast<IMediaSeeking*>(&seeking);
    else if (riid == IID_IMediaPosition)
        *object = static_cast<IMediaPosition*>(&positionPart);
    else if (riid == IID_IBasicAudio)
        *object = static_cast<IBasicAudio*>(&audio);
    else
        return E_NOINTERFACE;
    ++m_references;
    return S_OK;
}

ULONG Graph::AddRef() { return ++m_references; }

ULONG Graph::Release()
{
    const ULONG left = --m_references;
    if (left > 0) return left;
    // Out of the mix first: after this the mixer no longer reaches the graph.
    if (voiceAdded) dsound::removeExternalVoice(this);
    {
        std::lock_guard<std::mutex> guard(world().lock);
        auto& all = registry().graphs;
        all.erase(std::find(all.begin(), all.end(), this));
        delete this;
    }
    return 0;
}

HRESULT Graph::RenderFile(const WCHAR* file, const WCHAR* playList)
{
    const std::string name = file ? narrow(file) : std::string();
    bool ffmpegAllowed;
    {
        Call call("RenderFile");
        if (file) {
            path = name;
            registry().renderedPaths.push_back(name);
        }
        if (call.forced()) return call.result();
        if (!file || playList) return file ? E_INVALIDARG : E_POINTER;
        if (source) return E_UNEXPECTED;  // one file per graph
        ffmpegAllowed = registry().ffmpegAllowed;
    }
    const std::string mapped = platform::mapPath(name.c_str());
    struct stat st;
    if (::stat(mapped.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    bool handled = false;
    std::unique_ptr<Source> opened = openWavSource(mapped, &handled);
    if (!opened && !handled && ffmpegAllowed) opened = openFfmpegSource(mapped);
    if (!opened) return VFW_E_CANNOT_RENDER;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        source = std::move(opened);
        position = 0;
        completed = false;
        voiceAdded = true;
    }
    dsound::addExternalVoice(this);
    return S_OK;
}

void Graph::mixInto(float* out, DWORD frames)
{
    if (state != State_Running || !source || completed) return;
    scratch.resize(2 * static_cast<size_t>(frames));
    const DWORD got = source->read(scratch.data(), frames);
    const float gain = dsound::volumeGain(volume);
    for (size_t i = 0; i < 2 * static_cast<size_t>(got); ++i) out[i] += scratch[i] * gain;
    position += got;
    if (got < frames) {
        completed = true;
        if (source->failed())
            post(EC_ERRORABORT, E_FAIL);
        else
            post(EC_COMPLETE, S_OK);
    }
}

void Graph::post(LONG code, LONG_PTR param1)
{
    events.push_back({code, param1, 0});
    posted.push_back(code);
    SetEvent(eventHandle);
}

HRESULT Graph::seekTo(int64_t frame)
{
    if (!source) return E_UNEXPECTED;
    const uint64_t target = std::min<uint64_t>(frame < 0 ? 0 : static_cast<uint64_t>(frame), source->length());
    if (!source->seek(target)) return E_FAIL;
    position = target;
    completed = false;
    return S_OK;
}

// ---- Media control ----

HRESULT ControlPart::QueryInterface(REFIID riid, void** object) { return m_owner->QueryInterface(riid, object); }
ULONG ControlPart::AddRef() { return m_owner->AddRef(); }
ULONG ControlPart::Release() { return m_owner->Release(); }

HRESULT ControlPart::Run()
{
    Call call("Run");
    if (call.forced()) return call.result();
    // Started again from a stop, a graph at its end reports the end again.
    if (m_owner->state == State_Stopped) m_owner->completed = false;
    m_owner->state = State_Running;
    return S_OK;
}

HRESULT ControlPart::Pause()
{
    Call call("Pause");
    if (call.forced()) return call.result();
    m_owner->state = State_Paused;
    return S_OK;
}

HRESULT ControlPart::Stop()
{
    Call call("Stop");
    if (call.forced()) return call.result();
    m_owner->state = State_Stopped;
    return S_OK;
}

HRESULT ControlPart::GetState(LONG, OAFilterState* state)
{
    Call call("GetState");
    if (call.forced()) return call.result();
    if (!state) return E_POINTER;
    *state = m_owner->state;
    return S_OK;
}

// ---- Events ----

HRESULT EventPart::QueryInterface(REFIID riid, void** object) { return m_owner->QueryInterface(riid, object); }
ULONG EventPart::AddRef() { return m_owner->AddRef(); }
ULONG EventPart::Release() { return m_owner->Release(); }

HRESULT EventPart::GetEventHandle(OAEVENT* event)
{
    Call call("GetEventHandle");
    if (call.forced()) return call.result();
    if (!event) return E_POINTER;
    *event = reinterpret_cast<OAEVENT>(m_owner->eventHandle);
    return S_OK;
}

HRESULT EventPart::GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG milliseconds)
{
    if (!code || !param1 || !param2) return E_POINTER;
    for (int attempt = 0;; ++attempt) {
        {
            Call call("GetEvent");
            if (call.forced()) return call.result();
            auto& events = m_owner->events;
            if (!events.empty()) {
                const QueuedEvent e = events.front();
                events.pop_front();
                // The handle stays set while events wait.
                if (events.empty()) ResetEvent(m_owner->eventHandle);
                *code = e.code;
                *param1 = e.param1;
                *param2 = e.param2;
                return S_OK;
            }
        }
        if (milliseconds == 0 || attempt > 0) return E_ABORT;
        WaitForSingleObject(m_owner->eventHandle, static_cast<DWORD>(milliseconds));
    }
}

HRESULT EventPart::FreeEventParams(LONG, LONG_PTR, LONG_PTR)
{
    Call call("FreeEventParams");
    return call.forced() ? call.result() : S_OK;
}

// ---- Seeking and position ----

HRESULT SeekingPart::QueryInterface(REFIID riid, void** object) { return m_owner->QueryInterface(riid, object); }
ULONG SeekingPart::AddRef() { return m_owner->AddRef(); }
ULONG SeekingPart::Release() { return m_owner->Release(); }

HRESULT SeekingPart::GetDuration(LONGLONG* duration)
{
    Call call("GetDuration");
    if (call.forced()) return call.result();
    if (!duration) return E_POINTER;
    if (!m_owner->source) return E_UNEXPECTED;
    *duration = static_cast<LONGLONG>(m_owner->source->length() * UNITS_PER_SECOND / OUTPUT_RATE);
    return S_OK;
}

HRESULT SeekingPart::GetCurrentPosition(LONGLONG* current)
{
    Call call("GetCurrentPosition");
    if (call.forced()) return call.result();
    if (!current) return E_POINTER;
    *current = static_cast<LONGLONG>(m_owner->position * UNITS_PER_SECOND / OUTPUT_RATE);
    return S_OK;
}

HRESULT SeekingPart::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG*, DWORD stopFlags)
{
    Call call("SetPositions");
    if (call.forced()) return call.result();
    if ((stopFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning) return E_NOTIMPL;
    const DWORD how = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (how == AM_SEEKING_NoPositioning) return S_OK;
    if (!current) return E_POINTER;
    const double frames = static_cast<double>(*current) * OUTPUT_RATE / UNITS_PER_SECOND;
    if (how == AM_SEEKING_AbsolutePositioning) return m_owner->seekTo(static_cast<int64_t>(frames));
    if (how == AM_SEEKING_RelativePositioning)
        return m_owner->seekTo(static_cast<int64_t>(m_owner->position) + static_cast<int64_t>(frames));
    return E_INVALIDARG;
}

HRESULT PositionPart::QueryInterface(REFIID riid, void** object) { return m_owner->QueryInterface(riid, object); }
ULONG PositionPart::AddRef() { return m_owner->AddRef(); }
ULONG PositionPart::Release() { return m_owner->Release(); }

HRESULT PositionPart::get_Duration(REFTIME* length)
{
    Call call("get_Duration");
    if (call.forced()) return call.result();
    if (!length) return E_POINTER;
    if (!m_owner->source) return E_UNEXPECTED;
    *length = m_owner->source->length() / OUTPUT_RATE;
    return S_OK;
}

HRESULT PositionPart::get_CurrentPosition(REFTIME* time)
{
    Call call("get_CurrentPosition");
    if (call.forced()) return call.result();
    if (!time) return E_POINTER;
    *time = m_owner->position / OUTPUT_RATE;
    return S_OK;
}

HRESULT PositionPart::put_CurrentPosition(REFTIME time)
{
    Call call("put_CurrentPosition");
    if (call.forced()) return call.result();
    if (!std::isfinite(time)) return E_INVALIDARG;
    return m_owner->seekTo(static_cast<int64_t>(time * OUTPUT_RATE));
}

// ---- Volume ----

HRESULT AudioPart::QueryInterface(REFIID riid, void** object) { return m_owner->QueryInterface(riid, object); }
ULONG AudioPart::AddRef() { return m_owner->AddRef(); }
ULONG AudioPart::Release() { return m_owner->Release(); }

HRESULT AudioPart::put_Volume(LONG volume)
{
    Call call("put_Volume");
    if (call.forced()) return call.result();
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    m_owner->volume = volume;
    return S_OK;
}

HRESULT AudioPart::get_Volume(LONG* volume)
{
    Call call("get_Volume");
    if (call.forced()) return call.result();
    if (!volume) return E_POINTER;
    *volume = m_owner->volume;
    return S_OK;
}

}  // namespace platform::dshow

namespace platform {

IUnknown* createFilterGraphObject()
{
    std::lock_guard<std::mutex> guard(dsound::world().lock);
    if (FAILED(dshow::registry().steering.forcedResult("CoCreateInstance"))) return nullptr;
    return static_cast<IGraphBuilder*>(new dshow::Graph());
}

}  // namespace platform
