// The filter graph's interfaces. Each call holds the world's lock for its length, so the mixer
// never sees a half-made change; opening a file, connecting a renderer and every call into a
// renderer or the VMR happen outside it.
#include "Graph.h"

#include "Vmr9.h"

#include <algorithm>
#include <cmath>

// Class and interface ids as documented.
const GUID CLSID_FilterGraph = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IFilterGraph = {0x56A8689F, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IGraphBuilder = {0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IMediaControl = {0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IMediaEvent = {0x56A868B6, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IMediaSeeking = {0x36B73880, 0xC2C8, 0x11CF, {0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60}};
const GUID IID_IMediaPosition = {0x56A868B2, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IBasicAudio = {0x56A868B3, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IBaseFilter = {0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IPin = {0x56A86891, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IEnumPins = {0x56A86892, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IID_IMediaSample = {0x56A8689A, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID MEDIATYPE_Video = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIATYPE_Audio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIASUBTYPE_RGB24 = {0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID MEDIASUBTYPE_RGB32 = {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID MEDIASUBTYPE_PCM = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID FORMAT_VideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
const GUID FORMAT_WaveFormatEx = {0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

GUID mediaSubtypeOfFourCC(DWORD fourCC)
{
    return GUID{fourCC, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

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

HRESULT steer(const std::string& method)
{
    std::lock_guard<std::mutex> guard(world().lock);
    return registry().steering.forcedResult(method);
}

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


CMediaType videoType(const VideoFormat& format, DWORD layout)
{
    CMediaType type;
    const FrameLayout frames{layout};
    type.majortype = MEDIATYPE_Video;
    type.subtype = layout == D3DFMT_R8G8B8   ? MEDIASUBTYPE_RGB24
                   : layout == D3DFMT_X8R8G8B8 ? MEDIASUBTYPE_RGB32
                                               : mediaSubtypeOfFourCC(layout);
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    const uint32_t size = FrameLayout::stride(layout, format.width) * format.height;
    type.lSampleSize = size;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    info->AvgTimePerFrame = static_cast<REFERENCE_TIME>(1e7 * format.rateDenominator / format.rateNumerator);
    BITMAPINFOHEADER& b = info->bmiHeader;
    b.biSize = sizeof(BITMAPINFOHEADER);
    b.biWidth = static_cast<LONG>(format.width);
    b.biHeight = static_cast<LONG>(format.height);
    b.biPlanes = 1;
    b.biBitCount = layout == D3DFMT_R8G8B8 ? 24 : layout == D3DFMT_X8R8G8B8 ? 32 : 16;
    b.biCompression = frames.isRgb() ? BI_RGB : layout;
    b.biSizeImage = size;
    return type;
}

namespace {

// Waits for a thread that was asked to end; one that is the caller's own is let go instead.
void finish(std::thread thread)
{
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

// A frame as a sample for DoRenderSample; it lives for the call.
class FrameSample final : public IMediaSample {
public:
    FrameSample(std::vector<uint8_t>& bytes, REFERENCE_TIME start, REFERENCE_TIME end)
        : m_bytes(bytes), m_start(start), m_end(end)
    {
    }
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!(riid == IID_IMediaSample) && !(riid == IID_IUnknown)) return E_NOINTERFACE;
        *object = static_cast<IMediaSample*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetPointer(BYTE** buffer) override
    {
        if (!buffer) return E_POINTER;
        *buffer = m_bytes.data();
        return S_OK;
    }
    LONG GetSize() override { return static_cast<LONG>(m_bytes.size()); }
    LONG GetActualDataLength() override { return static_cast<LONG>(m_bytes.size()); }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override
    {
        if (!start || !end) return E_POINTER;
        *start = m_start;
        *end = m_end;
        return S_OK;
    }

private:
    std::vector<uint8_t>& m_bytes;
    REFERENCE_TIME m_start, m_end;
};

}  // namespace

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
    {
        std::unique_lock<std::mutex> guard(world().lock);
        std::thread streaming = stopStreaming();
        guard.unlock();
        finish(std::move(streaming));
    }
    // Out of the mix first: after this the mixer no longer reaches the graph.
    if (voiceAdded) dsound::removeExternalVoice(this);
    std::vector<Filter> gone;
    std::unique_ptr<VideoStream> pictures;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        gone.swap(filters);
        pictures = std::move(video);
        for (Filter& f : gone)
            if (auto* source = dynamic_cast<SourceFilter*>(f.filter)) source->graph = nullptr;
        auto& all = registry().graphs;
        all.erase(std::find(all.begin(), all.end(), this));
    }
    // Renderers are told before the graph lets go of them, and none of it under the lock: a
    // renderer's last reference may be the graph's, and the VMR gives its surfaces back through
    // the engine's allocator.
    for (Filter& f : gone) {
        if (auto* vmr = dynamic_cast<Vmr9*>(f.filter)) vmr->leaveGraph();
        if (auto* renderer = dynamic_cast<CBaseRenderer*>(f.filter)) renderer->disconnect();
    }
    pictures.reset();
    for (auto it = gone.rbegin(); it != gone.rend(); ++it) it->filter->Release();
    delete this;
    return 0;
}

HRESULT Graph::AddFilter(IBaseFilter* filter, const WCHAR* name)
{
    {
        Call call("AddFilter");
        if (call.forced()) return call.result();
        if (!filter) return E_POINTER;
        for (const Filter& f : filters)
            if (f.filter == filter) return E_INVALIDARG;
        filter->AddRef();
        filters.push_back({filter, name ? narrow(name) : std::string()});
    }
    if (auto* vmr = dynamic_cast<Vmr9*>(filter)) vmr->joinGraph();
    return S_OK;
}

HRESULT Graph::openMedia(const std::string& name, Media& media, bool& ffmpegAllowed)
{
    if (openSyntheticMedia(name, media)) return media.audio || media.video ? S_OK : VFW_E_CANNOT_RENDER;
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    bool handled = false;
    media.audio = openWavSource(name, &handled);
    if (!media.audio && !handled && ffmpegAllowed) {
        const std::string mapped = platform::mapPath(name.c_str());
        media.audio = openFfmpegSource(mapped);
        media.video = openFfmpegVideo(mapped);
    }
    return media.audio || media.video ? S_OK : VFW_E_CANNOT_RENDER;
}

HRESULT Graph::attachAudio(std::unique_ptr<Source> audio)
{
    bool add;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        source = std::move(audio);
        position = 0;
        completed = false;
        audioDone = false;
        add = !voiceAdded;
        voiceAdded = true;
    }
    if (add) dsound::addExternalVoice(this);
    return S_OK;
}

HRESULT Graph::connectVideo(std::unique_ptr<VideoSource>& reader, IPin* from, IPin** peer)
{
    std::vector<IBaseFilter*> candidates;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        if (video) return VFW_E_ALREADY_CONNECTED;
        for (const Filter& f : filters)
            if (!dynamic_cast<SourceFilter*>(f.filter)) {
                f.filter->AddRef();
                candidates.push_back(f.filter);
            }
    }
    // The renderers already in the graph, in the order they came.
    const VideoFormat& format = reader->format();
    Vmr9* vmr = nullptr;
    CBaseRenderer* renderer = nullptr;
    DWORD layout = 0;
    for (IBaseFilter* f : candidates) {
        if (vmr || renderer) break;
        if (auto* v = dynamic_cast<Vmr9*>(f)) {
            if (SUCCEEDED(v->connect(format, from, &layout))) vmr = v;
        } else if (auto* r = dynamic_cast<CBaseRenderer*>(f)) {
            for (DWORD code : format.offered)
                if (SUCCEEDED(r->connect(from, videoType(format, code)))) {
                    renderer = r;
                    layout = code;
                    break;
                }
        }
    }
    for (IBaseFilter* f : candidates) f->Release();
    if (!vmr && !renderer) return VFW_E_CANNOT_RENDER;
    reader->setLayout(layout);
    if (peer) *peer = vmr ? static_cast<IPin*>(&vmr->input) : static_cast<IPin*>(&renderer->m_input);
    bool add;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        video = std::make_unique<VideoStream>();
        video->format = format;
        video->reader = std::move(reader);
        video->layout = layout;
        video->vmr = vmr;
        video->renderer = renderer;
        add = !voiceAdded;
        voiceAdded = true;
        if (state != State_Stopped) startStreaming();
    }
    if (add) dsound::addExternalVoice(this);
    return S_OK;
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
        if (hasSource) return E_UNEXPECTED;  // one file per graph
        hasSource = true;
        ffmpegAllowed = registry().ffmpegAllowed;
    }
    Media media;
    HRESULT hr = openMedia(name, media, ffmpegAllowed);
    int wanted = 0, rendered = 0;
    if (SUCCEEDED(hr) && media.video) {
        ++wanted;
        if (SUCCEEDED(connectVideo(media.video, nullptr, nullptr))) ++rendered;
    }
    if (SUCCEEDED(hr) && media.audio) {
        ++wanted;
        ++rendered;
        attachAudio(std::move(media.audio));
    }
    if (SUCCEEDED(hr) && rendered == 0) hr = VFW_E_CANNOT_RENDER;
    if (FAILED(hr)) {
        std::lock_guard<std::mutex> guard(world().lock);
        hasSource = false;
        return hr;
    }
    return rendered < wanted ? VFW_S_PARTIAL_RENDER : S_OK;
}

HRESULT Graph::AddSourceFilter(const WCHAR* file, const WCHAR* name, IBaseFilter** filter)
{
    if (!file || !filter) return E_POINTER;
    *filter = nullptr;
    const std::string fileName = narrow(file);
    bool ffmpegAllowed;
    {
        Call call("AddSourceFilter");
        if (call.forced()) return call.result();
        if (hasSource) return E_UNEXPECTED;
        hasSource = true;
        ffmpegAllowed = registry().ffmpegAllowed;
    }
    Media media;
    const HRESULT hr = openMedia(fileName, media, ffmpegAllowed);
    std::lock_guard<std::mutex> guard(world().lock);
    if (FAILED(hr)) {
        hasSource = false;
        return hr == VFW_E_CANNOT_RENDER ? VFW_E_UNSUPPORTED_STREAM : hr;
    }
    path = fileName;
    auto* made = new SourceFilter(this, std::move(media));
    made->AddRef();
    filters.push_back({made, name ? narrow(name) : fileName});
    *filter = made;
    return S_OK;
}

HRESULT Graph::Render(IPin* output)
{
    auto* pin = dynamic_cast<SourceFilter::OutputPin*>(output);
    std::unique_ptr<Source> audio;
    std::unique_ptr<VideoSource> reader;
    {
        Call call("Render");
        if (call.forced()) return call.result();
        if (!output) return E_POINTER;
        if (!pin || pin->owner->graph != this) return E_INVALIDARG;
        if (pin->connected) return VFW_E_ALREADY_CONNECTED;
        if (pin->video)
            reader = std::move(pin->owner->media.video);
        else
            audio = std::move(pin->owner->media.audio);
        if (!reader && !audio) return VFW_E_CANNOT_RENDER;
        pin->connected = true;
    }
    if (audio) return attachAudio(std::move(audio));
    IPin* peer = nullptr;
    const HRESULT hr = connectVideo(reader, output, &peer);
    std::lock_guard<std::mutex> guard(world().lock);
    if (FAILED(hr)) {
        pin->connected = false;
        pin->owner->media.video = std::move(reader);
        return hr;
    }
    pin->peer = peer;
    return S_OK;
}

void Graph::mixInto(float* out, DWORD frames)
{
    if (state != State_Running || completed) return;
    if (!video) {
        if (!source) return;
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
        return;
    }
    // With pictures the clock runs on whether or not there is sound left.
    if (source && !audioDone) {
        scratch.resize(2 * static_cast<size_t>(frames));
        const DWORD got = source->read(scratch.data(), frames);
        const float gain = dsound::volumeGain(volume);
        for (size_t i = 0; i < 2 * static_cast<size_t>(got); ++i) out[i] += scratch[i] * gain;
        if (got < frames) {
            audioDone = true;
            audioFailed = source->failed();
        }
    }
    const uint64_t end = durationFrames();
    position = std::min(position + frames, end);
    if (audioFailed) {
        completed = true;
        post(EC_ERRORABORT, E_FAIL);
    } else if (position >= end && (!source || audioDone)) {
        completed = true;
        post(EC_COMPLETE, S_OK);
    }
    video->wake.notify_all();
}

void Graph::post(LONG code, LONG_PTR param1)
{
    events.push_back({code, param1, 0});
    posted.push_back(code);
    SetEvent(eventHandle);
}

HRESULT Graph::seekTo(int64_t frame)
{
    if (!source && !video) return E_UNEXPECTED;
    const uint64_t target = std::min<uint64_t>(frame < 0 ? 0 : static_cast<uint64_t>(frame), durationFrames());
    if (source) {
        const uint64_t length = source->length();
        if (!source->seek(std::min(target, length))) return E_FAIL;
        audioDone = video && target >= length;
        audioFailed = false;
    }
    position = target;
    completed = false;
    if (video) {
        // The frame at the new place is shown at once, running or paused.
        video->cue = true;
        ++video->seeks;
        video->shown = -1;
        video->wake.notify_all();
    }
    return S_OK;
}

uint64_t Graph::durationFrames() const
{
    uint64_t frames = source ? source->length() : 0;
    if (video) frames = std::max(frames, frameStart(video->format, video->format.frames));
    return frames;
}

void Graph::startStreaming()
{
    if (!video || video->running) return;
    video->running = true;
    video->stop = false;
    video->cue = true;
    video->shown = -1;
    video->thread = std::thread([this] { streamLoop(); });
}

std::thread Graph::stopStreaming()
{
    if (!video || !video->running) return std::thread();
    video->stop = true;
    video->wake.notify_all();
    return std::move(video->thread);
}

void Graph::streamLoop()
{
    VideoStream& v = *video;
    if (v.vmr) v.vmr->startPresenting();
    std::vector<uint8_t> frame;
    std::unique_lock<std::mutex> guard(world().lock);
    for (;;) {
        v.wake.wait(guard, [&] {
            if (v.stop) return true;
            if (v.failed || state == State_Stopped) return false;
            return v.cue || (state == State_Running && static_cast<int64_t>(frameAt(v.format, position)) > v.shown);
        });
        if (v.stop) break;
        const uint64_t index = frameAt(v.format, position);
        const uint64_t seeks = v.seeks;
        v.cue = false;
        guard.unlock();
        const bool read = v.reader->readFrame(index, frame);
        if (read) deliver(v, index, frame);
        guard.lock();
        if (!read) {
            // The file broke under the graph: the stream ends with an error, as a source's would.
            v.failed = true;
            if (!completed) {
                completed = true;
                post(EC_ERRORABORT, E_FAIL);
            }
            continue;
        }
        if (v.seeks == seeks) v.shown = static_cast<int64_t>(index);
        ++v.presented;
        registry().changed.notify_all();
    }
    v.running = false;
    registry().changed.notify_all();
    guard.unlock();
    if (v.vmr) v.vmr->stopPresenting();
}

void Graph::deliver(VideoStream& v, uint64_t index, std::vector<uint8_t>& frame)
{
    if (v.vmr) {
        v.vmr->present(frame, v.layout, v.format, index);
        return;
    }
    const double unitsPerFrame = UNITS_PER_SECOND * v.format.rateDenominator / v.format.rateNumerator;
    FrameSample sample(frame, static_cast<REFERENCE_TIME>(index * unitsPerFrame),
                       static_cast<REFERENCE_TIME>((index + 1) * unitsPerFrame));
    v.renderer->DoRenderSample(&sample);
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
    m_owner->startStreaming();
    if (m_owner->video) m_owner->video->wake.notify_all();
    return S_OK;
}

HRESULT ControlPart::Pause()
{
    Call call("Pause");
    if (call.forced()) return call.result();
    m_owner->state = State_Paused;
    // From a stop, the first frame is shown and held.
    m_owner->startStreaming();
    return S_OK;
}

HRESULT ControlPart::Stop()
{
    std::thread streaming;
    {
        Call call("Stop");
        if (call.forced()) return call.result();
        m_owner->state = State_Stopped;
        streaming = m_owner->stopStreaming();
    }
    finish(std::move(streaming));
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
    if (!m_owner->source && !m_owner->video) return E_UNEXPECTED;
    *duration = static_cast<LONGLONG>(m_owner->durationFrames() * UNITS_PER_SECOND / OUTPUT_RATE);
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
    if (!m_owner->source && !m_owner->video) return E_UNEXPECTED;
    *length = m_owner->durationFrames() / OUTPUT_RATE;
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
