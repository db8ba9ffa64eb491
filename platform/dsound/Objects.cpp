// The device and its buffers as COM objects. Each call takes the world's lock for its whole length,
// so the mixer never sees a half-made change.
#include "World.h"

#include <algorithm>
#include <cstring>

const GUID IID_IDirectSound8 = {0x5e1a2b01, 0x4d53, 0x4f55, {0x4e, 0x44, 0x38, 0x00, 0x00, 0x00, 0x00, 0x01}};
const GUID IID_IDirectSoundBuffer = {0x5e1a2b02, 0x4d53, 0x4f55, {0x4e, 0x44, 0x38, 0x00, 0x00, 0x00, 0x00, 0x02}};
const GUID IID_IDirectSound3DListener = {0x5e1a2b03, 0x4d53, 0x4f55,
                                         {0x4e, 0x44, 0x38, 0x00, 0x00, 0x00, 0x00, 0x03}};
const GUID IID_IDirectSound3DBuffer = {0x5e1a2b04, 0x4d53, 0x4f55, {0x4e, 0x44, 0x38, 0x00, 0x00, 0x00, 0x00, 0x04}};
const GUID IID_IDirectSoundNotify = {0x5e1a2b05, 0x4d53, 0x4f55, {0x4e, 0x44, 0x38, 0x00, 0x00, 0x00, 0x00, 0x05}};

namespace platform::dsound {

namespace {

// A test's hook runs before the call takes the lock.
struct HookedCall {
    explicit HookedCall(const char* method) { runCallHook(method); }
};

// One interface call: holds the lock and knows the forced result, if any.
class Call : HookedCall {
public:
    explicit Call(const char* method)
        : HookedCall(method), m_guard(world().lock), m_forced(forcedResult(method))
    {
    }
    bool forced() const { return FAILED(m_forced); }
    HRESULT result() const { return m_forced; }

private:
    std::lock_guard<std::mutex> m_guard;
    HRESULT m_forced;
};

bool validApply(DWORD apply) { return apply == DS3D_IMMEDIATE || apply == DS3D_DEFERRED; }

// Sets a deferred 3D value; an immediate one takes effect at once as well.
template <typename Params, typename Field>
HRESULT set3D(Params& pending, Params& applied, Field Params::*field, const Field& value, DWORD apply)
{
    if (!validApply(apply)) return DSERR_INVALIDPARAM;
    pending.*field = value;
    if (apply == DS3D_IMMEDIATE) applied.*field = value;
    return DS_OK;
}

// How far the write cursor runs ahead of a playing buffer's play cursor.
const DWORD WRITE_AHEAD_MILLISECONDS = 15;

DWORD writeAhead(const WAVEFORMATEX& f)
{
    return f.nAvgBytesPerSec * WRITE_AHEAD_MILLISECONDS / 1000 / f.nBlockAlign * f.nBlockAlign;
}

}  // namespace

bool validPcm(const WAVEFORMATEX& f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= DSBFREQUENCY_MIN &&
           f.nSamplesPerSec <= DSBFREQUENCY_MAX && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 &&
           f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

// ---- Buffer ----

Buffer::Buffer(Device* owner, bool isPrimary, DWORD bufferFlags, const WAVEFORMATEX& bufferFormat,
               std::shared_ptr<SoundData> soundData)
    : device(owner),
      primary(isPrimary),
      flags(bufferFlags),
      format(bufferFormat),
      data(std::move(soundData)),
      frequency(bufferFormat.nSamplesPerSec)
{
    format.cbSize = 0;
}

HRESULT Buffer::QueryInterface(REFIID riid, void** object)
{
    Call call("QueryInterface");
    if (!object) return E_POINTER;
    *object = nullptr;
    if (call.forced()) return call.result();
    if (riid == IID_IUnknown || riid == IID_IDirectSoundBuffer)
        *object = static_cast<IDirectSoundBuffer*>(this);
    else if (riid == IID_IDirectSoundNotify && !primary && (flags & DSBCAPS_CTRLPOSITIONNOTIFY))
        *object = static_cast<IDirectSoundNotify*>(&notifyPart);
    else if (riid == IID_IDirectSound3DBuffer && !primary && (flags & DSBCAPS_CTRL3D))
        *object = static_cast<IDirectSound3DBuffer*>(&part3D);
    else if (riid == IID_IDirectSound3DListener && primary && (flags & DSBCAPS_CTRL3D))
        *object = static_cast<IDirectSound3DListener*>(&listenerPart);
    else
        return E_NOINTERFACE;
    ++m_references;
    return S_OK;
}

ULONG Buffer::AddRef() { return ++m_references; }

ULONG Buffer::Release()
{
    const ULONG left = --m_references;
    if (left > 0) return left;
    Device* owner = device;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        if (primary)
            owner->primary = nullptr;
        else
            owner->buffers.erase(std::find(owner->buffers.begin(), owner->buffers.end(), this));
        --world().liveBuffers;
        delete this;
    }
    owner->Release();
    return 0;
}

void Buffer::halt()
{
    if (!playing) return;
    playing = false;
    for (const DSBPOSITIONNOTIFY& n : notifications)
        if (n.dwOffset == DSBPN_OFFSETSTOP) SetEvent(n.hEventNotify);
}

void Buffer::notifyPassed(DWORD from, uint64_t bytes)
{
    const DWORD total = size();
    for (const DSBPOSITIONNOTIFY& n : notifications) {
        if (n.dwOffset == DSBPN_OFFSETSTOP) continue;
        const uint64_t distance = (static_cast<uint64_t>(n.dwOffset) + total - from) % total;
        if (distance < bytes) SetEvent(n.hEventNotify);
    }
}

HRESULT Buffer::GetCurrentPosition(DWORD* play, DWORD* write)
{
    Call call("GetCurrentPosition");
    if (call.forced()) return call.result();
    if (!play && !write) return DSERR_INVALIDPARAM;
    if (primary) {
        if (play) *play = 0;
        if (write) *write = 0;
        return DS_OK;
    }
    const DWORD cursor = playCursor();
    if (play) *play = cursor;
    if (write) *write = (cursor + (playing ? writeAhead(format) : 0)) % size();
    return DS_OK;
}

HRESULT Buffer::GetFormat(WAVEFORMATEX* out, DWORD sizeAllocated, DWORD* sizeWritten)
{
    Call call("GetFormat");
    if (call.forced()) return call.result();
    if (!out) {
        if (!sizeWritten) return DSERR_INVALIDPARAM;
        *sizeWritten = sizeof(WAVEFORMATEX);
        return DS_OK;
    }
    if (sizeAllocated < sizeof(WAVEFORMATEX)) return DSERR_INVALIDPARAM;
    *out = format;
    if (sizeWritten) *sizeWritten = sizeof(WAVEFORMATEX);
    return DS_OK;
}

HRESULT Buffer::GetVolume(LONG* out)
{
    Call call("GetVolume");
    if (call.forced()) return call.result();
    if (!out) return DSERR_INVALIDPARAM;
    if (!(flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    *out = volume;
    return DS_OK;
}

HRESULT Buffer::GetFrequency(DWORD* out)
{
    Call call("GetFrequency");
    if (call.forced()) return call.result();
    if (!out) return DSERR_INVALIDPARAM;
    if (primary || !(flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    *out = frequency;
    return DS_OK;
}

HRESULT Buffer::GetStatus(DWORD* out)
{
    Call call("GetStatus");
    if (call.forced()) return call.result();
    if (!out) return DSERR_INVALIDPARAM;
    *out = 0;
    if (playing) *out |= DSBSTATUS_PLAYING | (looping ? DSBSTATUS_LOOPING : 0);
    if (lost) *out |= DSBSTATUS_BUFFERLOST;
    return DS_OK;
}

HRESULT Buffer::Lock(DWORD offset, DWORD bytes, LPVOID* audio1, DWORD* bytes1, LPVOID* audio2, DWORD* bytes2,
                     DWORD lockFlags)
{
    Call call("Lock");
    if (audio1) *audio1 = nullptr;
    if (bytes1) *bytes1 = 0;
    if (audio2) *audio2 = nullptr;
    if (bytes2) *bytes2 = 0;
    if (call.forced()) return call.result();
    if (!audio1 || !bytes1) return DSERR_INVALIDPARAM;
    if (primary) return DSERR_PRIOLEVELNEEDED;
    if (lost) return DSERR_BUFFERLOST;
    const DWORD total = size();
    if (lockFlags & DSBLOCK_FROMWRITECURSOR) offset = (playCursor() + (playing ? writeAhead(format) : 0)) % total;
    if (lockFlags & DSBLOCK_ENTIREBUFFER) bytes = total;
    if (offset >= total || bytes == 0 || bytes > total) return DSERR_INVALIDPARAM;
    const DWORD first = std::min(bytes, total - offset);
    const DWORD second = bytes - first;
    if (second > 0 && (!audio2 || !bytes2)) return DSERR_INVALIDPARAM;

    LockedRegion region{std::make_unique<uint8_t[]>(bytes), offset, first, second};
    std::memcpy(region.staging.get(), data->bytes.data() + offset, first);
    std::memcpy(region.staging.get() + first, data->bytes.data(), second);
    *audio1 = region.staging.get();
    *bytes1 = first;
    if (second > 0) {
        *audio2 = region.staging.get() + first;
        *bytes2 = second;
    }
    locks.push_back(std::move(region));
    ++lockCount;
    return DS_OK;
}

HRESULT Buffer::Unlock(LPVOID audio1, DWORD written1, LPVOID audio2, DWORD written2)
{
    Call call("Unlock");
    if (call.forced()) return call.result();
    auto it = std::find_if(locks.begin(), locks.end(),
                           [audio1](const LockedRegion& r) { return r.staging.get() == audio1; });
    if (!audio1 || it == locks.end()) return DSERR_INVALIDPARAM;
    if (written1 > it->bytes1 || written2 > it->bytes2 ||
        (written2 > 0 && audio2 != it->staging.get() + it->bytes1))
        return DSERR_INVALIDPARAM;
    std::memcpy(data->bytes.data() + it->offset, it->staging.get(), written1);
    std::memcpy(data->bytes.data(), it->staging.get() + it->bytes1, written2);
    locks.erase(it);
    ++unlockCount;
    return DS_OK;
}

HRESULT Buffer::Play(DWORD reserved, DWORD priority, DWORD playFlags)
{
    Call call("Play");
    if (call.forced()) return call.result();
    if (reserved != 0 || (priority != 0 && !(flags & DSBCAPS_LOCDEFER))) return DSERR_INVALIDPARAM;
    if (device->level == 0) return DSERR_PRIOLEVELNEEDED;
    if (lost) return DSERR_BUFFERLOST;
    // The primary buffer only plays looping.
    if (primary && !(playFlags & DSBPLAY_LOOPING)) return DSERR_INVALIDPARAM;
    playing = true;
    looping = (playFlags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
}

HRESULT Buffer::SetCurrentPosition(DWORD newPosition)
{
    Call call("SetCurrentPosition");
    if (call.forced()) return call.result();
    if (primary) return DSERR_INVALIDCALL;
    if (lost) return DSERR_BUFFERLOST;
    if (newPosition >= size()) return DSERR_INVALIDPARAM;
    position = static_cast<uint64_t>(newPosition / format.nBlockAlign) << 32;
    return DS_OK;
}

HRESULT Buffer::SetFormat(LPCWAVEFORMATEX newFormat)
{
    Call call("SetFormat");
    if (call.forced()) return call.result();
    if (!primary) return DSERR_INVALIDCALL;
    if (!newFormat) return DSERR_INVALIDPARAM;
    if (device->level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
    if (!validPcm(*newFormat)) return DSERR_BADFORMAT;
    format = *newFormat;
    format.cbSize = 0;
    return DS_OK;
}

HRESULT Buffer::SetVolume(LONG newVolume)
{
    Call call("SetVolume");
    if (call.forced()) return call.result();
    if (!(flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (newVolume < DSBVOLUME_MIN || newVolume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    volume = newVolume;
    return DS_OK;
}

HRESULT Buffer::SetFrequency(DWORD newFrequency)
{
    Call call("SetFrequency");
    if (call.forced()) return call.result();
    if (primary || !(flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    if (newFrequency == DSBFREQUENCY_ORIGINAL) newFrequency = format.nSamplesPerSec;
    if (newFrequency < DSBFREQUENCY_MIN || newFrequency > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
    frequency = newFrequency;
    return DS_OK;
}

HRESULT Buffer::Stop()
{
    Call call("Stop");
    if (call.forced()) return call.result();
    halt();
    return DS_OK;
}

HRESULT Buffer::Restore()
{
    Call call("Restore");
    if (call.forced()) return call.result();
    lost = false;
    return DS_OK;
}

// ---- The parts ----

template <typename Interface>
HRESULT BufferPart<Interface>::QueryInterface(REFIID riid, void** object)
{
    return m_owner->QueryInterface(riid, object);
}

template <typename Interface>
ULONG BufferPart<Interface>::AddRef()
{
    return m_owner->AddRef();
}

template <typename Interface>
ULONG BufferPart<Interface>::Release()
{
    return m_owner->Release();
}

template class BufferPart<IDirectSoundNotify>;
template class BufferPart<IDirectSound3DBuffer>;
template class BufferPart<IDirectSound3DListener>;

HRESULT NotifyPart::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions)
{
    Call call("SetNotificationPositions");
    if (call.forced()) return call.result();
    if (m_owner->playing) return DSERR_INVALIDCALL;
    if (count > 0 && !positions) return DSERR_INVALIDPARAM;
    for (DWORD i = 0; i < count; ++i)
        if ((positions[i].dwOffset >= m_owner->size() && positions[i].dwOffset != DSBPN_OFFSETSTOP) ||
            !positions[i].hEventNotify)
            return DSERR_INVALIDPARAM;
    m_owner->notifications.assign(positions, positions + count);
    return DS_OK;
}

HRESULT Buffer3DPart::SetPosition(FLOAT x, FLOAT y, FLOAT z, DWORD apply)
{
    Call call("SetPosition");
    if (call.forced()) return call.result();
    return set3D(m_owner->pending, m_owner->applied, &Params3D::position, Vector{x, y, z}, apply);
}

HRESULT Buffer3DPart::SetVelocity(FLOAT x, FLOAT y, FLOAT z, DWORD apply)
{
    Call call("SetVelocity");
    if (call.forced()) return call.result();
    return set3D(m_owner->pending, m_owner->applied, &Params3D::velocity, Vector{x, y, z}, apply);
}

HRESULT Buffer3DPart::SetMinDistance(FLOAT distance, DWORD apply)
{
    Call call("SetMinDistance");
    if (call.forced()) return call.result();
    if (!(distance > 0)) return DSERR_INVALIDPARAM;
    return set3D(m_owner->pending, m_owner->applied, &Params3D::minDistance, distance, apply);
}

HRESULT Buffer3DPart::SetMaxDistance(FLOAT distance, DWORD apply)
{
    Call call("SetMaxDistance");
    if (call.forced()) return call.result();
    if (!(distance > 0)) return DSERR_INVALIDPARAM;
    return set3D(m_owner->pending, m_owner->applied, &Params3D::maxDistance, distance, apply);
}

HRESULT ListenerPart::SetPosition(FLOAT x, FLOAT y, FLOAT z, DWORD apply)
{
    Call call("SetPosition");
    if (call.forced()) return call.result();
    Device* d = m_owner->device;
    return set3D(d->pending, d->applied, &ListenerParams::position, Vector{x, y, z}, apply);
}

HRESULT ListenerPart::SetVelocity(FLOAT x, FLOAT y, FLOAT z, DWORD apply)
{
    Call call("SetVelocity");
    if (call.forced()) return call.result();
    Device* d = m_owner->device;
    return set3D(d->pending, d->applied, &ListenerParams::velocity, Vector{x, y, z}, apply);
}

HRESULT ListenerPart::SetOrientation(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT tx, FLOAT ty, FLOAT tz, DWORD apply)
{
    Call call("SetOrientation");
    if (call.forced()) return call.result();
    Device* d = m_owner->device;
    if (!validApply(apply)) return DSERR_INVALIDPARAM;
    set3D(d->pending, d->applied, &ListenerParams::front, Vector{fx, fy, fz}, apply);
    return set3D(d->pending, d->applied, &ListenerParams::top, Vector{tx, ty, tz}, apply);
}

HRESULT ListenerPart::SetDistanceFactor(FLOAT factor, DWORD apply)
{
    Call call("SetDistanceFactor");
    if (call.forced()) return call.result();
    if (!(factor > 0)) return DSERR_INVALIDPARAM;
    Device* d = m_owner->device;
    return set3D(d->pending, d->applied, &ListenerParams::distanceFactor, factor, apply);
}

HRESULT ListenerPart::SetDopplerFactor(FLOAT factor, DWORD apply)
{
    Call call("SetDopplerFactor");
    if (call.forced()) return call.result();
    if (!(factor >= 0 && factor <= 10)) return DSERR_INVALIDPARAM;
    Device* d = m_owner->device;
    return set3D(d->pending, d->applied, &ListenerParams::dopplerFactor, factor, apply);
}

HRESULT ListenerPart::CommitDeferredSettings()
{
    Call call("CommitDeferredSettings");
    if (call.forced()) return call.result();
    Device* d = m_owner->device;
    d->applied = d->pending;
    for (Buffer* b : d->buffers)
        if (b->flags & DSBCAPS_CTRL3D) b->applied = b->pending;
    return DS_OK;
}

// ---- Device ----

Device::Device() {}

HRESULT Device::QueryInterface(REFIID riid, void** object)
{
    Call call("QueryInterface");
    if (!object) return E_POINTER;
    *object = nullptr;
    if (call.forced()) return call.result();
    if (!(riid == IID_IUnknown || riid == IID_IDirectSound8)) return E_NOINTERFACE;
    *object = static_cast<IDirectSound8*>(this);
    ++m_references;
    return S_OK;
}

ULONG Device::AddRef() { return ++m_references; }

ULONG Device::Release()
{
    const ULONG left = --m_references;
    if (left > 0) return left;
    {
        std::lock_guard<std::mutex> guard(world().lock);
        auto& all = world().devices;
        all.erase(std::find(all.begin(), all.end(), this));
        delete this;
    }
    reconcileOutput();
    return 0;
}

HRESULT Device::CreateSoundBuffer(LPCDSBUFFERDESC description, IDirectSoundBuffer** out, LPUNKNOWN outer)
{
    Call call("CreateSoundBuffer");
    if (out) *out = nullptr;
    if (call.forced()) return call.result();
    if (outer) return DSERR_NOAGGREGATION;
    if (!description || !out || description->dwSize != sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
    if (level == 0) return DSERR_PRIOLEVELNEEDED;
    const DWORD f = description->dwFlags;
    if ((f & DSBCAPS_LOCHARDWARE) && (f & DSBCAPS_LOCSOFTWARE)) return DSERR_INVALIDPARAM;
    if ((f & DSBCAPS_CTRL3D) && (f & DSBCAPS_CTRLPAN)) return DSERR_INVALIDPARAM;

    if (f & DSBCAPS_PRIMARYBUFFER) {
        if (description->dwBufferBytes != 0 || description->lpwfxFormat ||
            (f & (DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRLFX | DSBCAPS_LOCDEFER)))
            return DSERR_INVALIDPARAM;
        if (primary) {
            primary->AddRef();
        } else {
            // The card starts at 22.05 kHz, 8 bits, stereo until the program sets a format.
            const WAVEFORMATEX start{WAVE_FORMAT_PCM, 2, 22050, 44100, 2, 8, 0};
            primary = new Buffer(this, true, f, start, std::make_shared<SoundData>(SoundData{{}, 0}));
            ++m_references;
            ++world().liveBuffers;
        }
        *out = primary;
        return DS_OK;
    }

    const WAVEFORMATEX* format = description->lpwfxFormat;
    if (!format || description->dwBufferBytes < DSBSIZE_MIN || description->dwBufferBytes > DSBSIZE_MAX)
        return DSERR_INVALIDPARAM;
    if (!validPcm(*format)) return DSERR_BADFORMAT;
    // 3D sound comes from a point: only mono buffers have a position.
    if ((f & DSBCAPS_CTRL3D) && format->nChannels != 1) return DSERR_INVALIDPARAM;
    const DWORD align = format->nBlockAlign;
    const DWORD bytes = (description->dwBufferBytes + align - 1) / align * align;
    auto data = std::make_shared<SoundData>(SoundData{std::vector<uint8_t>(bytes, 0), world().nextDataId++});
    auto* buffer = new Buffer(this, false, f, *format, std::move(data));
    buffers.push_back(buffer);
    ++m_references;
    ++world().liveBuffers;
    *out = buffer;
    return DS_OK;
}

HRESULT Device::GetCaps(DSCAPS* caps)
{
    Call call("GetCaps");
    if (call.forced()) return call.result();
    if (!caps || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
    std::memset(caps, 0, sizeof *caps);
    caps->dwSize = sizeof(DSCAPS);
    caps->dwFlags = world().capsFlags;
    caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
    caps->dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
    caps->dwPrimaryBuffers = 1;
    return DS_OK;
}

HRESULT Device::DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** out)
{
    Call call("DuplicateSoundBuffer");
    if (out) *out = nullptr;
    if (call.forced()) return call.result();
    if (!original || !out) return DSERR_INVALIDPARAM;
    auto* source = static_cast<Buffer*>(original);
    if (source->primary || source->device != this) return DSERR_INVALIDCALL;
    auto* copy = new Buffer(this, false, source->flags, source->format, source->data);
    copy->original = original;
    copy->frequency = source->frequency;
    copy->volume = source->volume;
    copy->pending = source->pending;
    copy->applied = source->applied;
    buffers.push_back(copy);
    ++m_references;
    ++world().liveBuffers;
    *out = copy;
    return DS_OK;
}

HRESULT Device::SetCooperativeLevel(HWND newWindow, DWORD newLevel)
{
    Call call("SetCooperativeLevel");
    if (call.forced()) return call.result();
    if (newLevel < DSSCL_NORMAL || newLevel > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    window = newWindow;
    level = newLevel;
    return DS_OK;
}

}  // namespace platform::dsound

using platform::dsound::world;

HRESULT DirectSoundCreate8(const GUID* deviceId, IDirectSound8** out, LPUNKNOWN outer)
{
    platform::dsound::runCallHook("DirectSoundCreate8");
    {
        std::lock_guard<std::mutex> guard(world().lock);
        if (out) *out = nullptr;
        if (HRESULT forced = platform::dsound::forcedResult("DirectSoundCreate8"); FAILED(forced)) return forced;
        if (!out) return DSERR_INVALIDPARAM;
        if (outer) return DSERR_NOAGGREGATION;
        if (deviceId) return DSERR_NODRIVER;  // only the default device exists
        auto* device = new platform::dsound::Device();
        world().devices.push_back(device);
        *out = device;
    }
    platform::dsound::reconcileOutput();
    return DS_OK;
}
