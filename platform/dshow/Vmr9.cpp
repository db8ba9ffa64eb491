#include "Vmr9.h"

#include "Graph.h"
#include "../d3d9/TexelFormats.h"

#include <algorithm>
#include <cstring>

const GUID CLSID_VideoMixingRenderer9 = {0x51B4ABF3, 0x748F, 0x4E3B, {0xA2, 0x76, 0xC8, 0x28, 0x33, 0x0E, 0x92, 0x6A}};
const GUID IID_IVMRFilterConfig9 = {0x5A804648, 0x4F66, 0x4867, {0x9C, 0x43, 0x4F, 0x5C, 0x82, 0x2C, 0xF1, 0xB8}};
const GUID IID_IVMRSurfaceAllocatorNotify9 = {0xDCA3F5DF, 0xBB3A, 0x4D03, {0xBD, 0x81, 0x84, 0x61, 0x4B, 0xFB, 0xFA, 0x0C}};
const GUID IID_IVMRSurfaceAllocator9 = {0x8D5148EA, 0x3F5D, 0x46CF, {0x9D, 0xF1, 0xD1, 0xB8, 0x96, 0xEE, 0xDB, 0x1F}};
const GUID IID_IVMRImagePresenter9 = {0x69188C61, 0x12A3, 0x40F0, {0x8F, 0xFC, 0x34, 0x2E, 0x7B, 0x43, 0x3F, 0xD7}};

namespace platform::dshow {

namespace {

const DWORD BUFFERS = 2;
const DWORD MAX_BUFFERS = 16;

bool isFourCC(DWORD format) { return format > 0x30303030u; }

// The VMR's preference among what a source offers: RGB32, then RGB24, then what comes first.
DWORD chooseLayout(const VideoFormat& format)
{
    for (DWORD wanted : {DWORD(D3DFMT_X8R8G8B8), DWORD(D3DFMT_R8G8B8)})
        if (std::find(format.offered.begin(), format.offered.end(), wanted) != format.offered.end()) return wanted;
    return format.offered.empty() ? 0 : format.offered.front();
}

// A frame of the layout into a locked surface of the format; false for a pair it cannot copy.
bool copyFrame(const std::vector<uint8_t>& frame, DWORD layout, const VideoFormat& vf, D3DFORMAT format,
               uint8_t* bits, uint32_t pitch, uint32_t width, uint32_t height)
{
    const uint32_t w = std::min(vf.width, width), h = std::min(vf.height, height);
    const uint32_t stride = FrameLayout::stride(layout, vf.width);
    if (frame.size() < static_cast<size_t>(stride) * vf.height) return false;
    const bool rgbTarget = format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
    if (FrameLayout{layout}.isRgb() && rgbTarget) {
        const uint32_t from = layout == D3DFMT_R8G8B8 ? 3 : 4;
        for (uint32_t y = 0; y < h; ++y) {
            const uint8_t* in = frame.data() + static_cast<size_t>(vf.height - 1 - y) * stride;  // bottom-up
            uint8_t* out = bits + static_cast<size_t>(y) * pitch;
            for (uint32_t x = 0; x < w; ++x) {
                out[4 * x] = in[from * x];
                out[4 * x + 1] = in[from * x + 1];
                out[4 * x + 2] = in[from * x + 2];
                out[4 * x + 3] = 0xFF;
            }
        }
        return true;
    }
    if (layout == static_cast<DWORD>(format)) {
        const size_t row = FrameLayout::stride(layout, w);
        for (uint32_t y = 0; y < h; ++y)
            std::memcpy(bits + static_cast<size_t>(y) * pitch, frame.data() + static_cast<size_t>(y) * stride, row);
        return true;
    }
    // Any other pair through the device's texel conversions, the picture upright first.
    const D3DFORMAT source = static_cast<D3DFORMAT>(layout);
    std::vector<uint8_t> upright(frame.begin(), frame.end());
    if (FrameLayout{layout}.isRgb())
        for (uint32_t y = 0; y < vf.height; ++y)
            std::memcpy(upright.data() + static_cast<size_t>(y) * stride,
                        frame.data() + static_cast<size_t>(vf.height - 1 - y) * stride, stride);
    std::vector<d3d9ref::Texel> texels(static_cast<size_t>(vf.width) * vf.height);
    if (!d3d9ref::readTexels(source, upright.data(), stride, vf.width, vf.height, nullptr, texels.data())) return false;
    std::vector<d3d9ref::Texel> cropped(static_cast<size_t>(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        std::copy_n(texels.data() + static_cast<size_t>(y) * vf.width, w, cropped.data() + static_cast<size_t>(y) * w);
    return d3d9ref::writeTexels(format, cropped.data(), w, h, nullptr, bits, pitch);
}

}  // namespace

Vmr9::Vmr9() { registry().vmrs.push_back(this); }

Vmr9::~Vmr9()
{
    if (presenter) presenter->Release();
    if (allocator) allocator->Release();
    if (device) device->Release();
    std::lock_guard<std::mutex> guard(dsound::world().lock);
    auto& all = registry().vmrs;
    all.erase(std::find(all.begin(), all.end(), this));
}

HRESULT Vmr9::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IVMRFilterConfig9) {
        if (HRESULT forced = steer("QueryInterface IVMRFilterConfig9"); FAILED(forced)) return forced;
        *object = static_cast<IVMRFilterConfig9*>(&config);
    } else if (riid == IID_IVMRSurfaceAllocatorNotify9) {
        if (HRESULT forced = steer("QueryInterface IVMRSurfaceAllocatorNotify9"); FAILED(forced)) return forced;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (mode != VMR9Mode_Renderless) return E_NOINTERFACE;
        }
        ++m_notifyReferences;
        *object = static_cast<IVMRSurfaceAllocatorNotify9*>(&notify);
    } else if (riid == IID_IUnknown || riid == IID_IBaseFilter) {
        *object = static_cast<IBaseFilter*>(this);
    } else {
        return E_NOINTERFACE;
    }
    ++m_references;
    return S_OK;
}

ULONG Vmr9::AddRef() { return ++m_references; }

ULONG Vmr9::Release()
{
    const ULONG left = --m_references;
    if (left == 0) {
        delete this;
        return 0;
    }
    if (left == m_notifyReferences) dropAllocator();
    return left;
}

void Vmr9::dropAllocator()
{
    IVMRSurfaceAllocator9* a;
    IVMRImagePresenter9* p;
    {
        std::lock_guard<std::mutex> guard(lock);
        a = allocator;
        p = presenter;
        allocator = nullptr;
        presenter = nullptr;
    }
    if (p) p->Release();
    if (a) a->Release();  // may end the allocator, whose hold on us may be the last
}

HRESULT Vmr9::EnumPins(IEnumPins** pins)
{
    if (HRESULT forced = steer("EnumPins"); FAILED(forced)) return forced;
    if (!pins) return E_POINTER;
    *pins = new PinList({&input});
    return S_OK;
}

HRESULT Vmr9::FindPin(const WCHAR* id, IPin** pin)
{
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    if (narrow(id) != "VMR Input0") return VFW_E_NOT_FOUND;
    input.AddRef();
    *pin = &input;
    return S_OK;
}

HRESULT Vmr9::connect(const VideoFormat& format, IPin* from, DWORD* layout)
{
    IVMRSurfaceAllocator9* a;
    DWORD_PTR id;
    const DWORD chosen = chooseLayout(format);
    VMR9AllocationInfo info{};
    // Mixed pictures go to render targets; four-character-code frames are copied as they come.
    info.dwFlags = FrameLayout{chosen}.isRgb() ? VMR9AllocFlag_3DRenderTarget : VMR9AllocFlag_OffscreenSurface;
    info.dwWidth = format.width;
    info.dwHeight = format.height;
    info.Format = FrameLayout{chosen}.isRgb() ? D3DFMT_X8R8G8B8 : static_cast<D3DFORMAT>(chosen);
    info.Pool = D3DPOOL_DEFAULT;
    info.MinBuffers = BUFFERS;
    info.szAspectRatio = SIZE{static_cast<LONG>(format.width), static_cast<LONG>(format.height)};
    info.szNativeSize = info.szAspectRatio;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (connected) return VFW_E_ALREADY_CONNECTED;
        if (mode != VMR9Mode_Renderless || !allocator || !chosen) return VFW_E_CANNOT_CONNECT;
        a = allocator;
        a->AddRef();
        id = userId;
        requested = info;
        ++initializeCalls;
    }
    DWORD count = BUFFERS;
    const HRESULT hr = a->InitializeDevice(id, &info, &count);
    a->Release();
    std::lock_guard<std::mutex> guard(lock);
    granted = info;
    if (FAILED(hr)) return hr;
    buffers = std::clamp<DWORD>(count, 1, MAX_BUFFERS);
    connected = true;
    connectedTo = from;
    *layout = chosen;
    return S_OK;
}

void Vmr9::joinGraph()
{
    std::lock_guard<std::mutex> guard(lock);
    inGraph = true;
}

void Vmr9::leaveGraph()
{
    IVMRSurfaceAllocator9* a = nullptr;
    DWORD_PTR id;
    {
        std::lock_guard<std::mutex> guard(lock);
        inGraph = false;
        if (connected && allocator) {
            a = allocator;
            a->AddRef();
            ++terminateCalls;
        }
        connected = false;
        connectedTo = nullptr;
        id = userId;
    }
    if (!a) return;
    a->TerminateDevice(id);
    a->Release();
}

HRESULT Vmr9::startPresenting()
{
    IVMRImagePresenter9* p;
    DWORD_PTR id;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!presenter) return E_FAIL;
        p = presenter;
        p->AddRef();
        id = userId;
        ++startCalls;
    }
    const HRESULT hr = p->StartPresenting(id);
    p->Release();
    return hr;
}

void Vmr9::stopPresenting()
{
    IVMRImagePresenter9* p;
    DWORD_PTR id;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!presenter) return;
        p = presenter;
        p->AddRef();
        id = userId;
        ++stopCalls;
    }
    p->StopPresenting(id);
    p->Release();
}

HRESULT Vmr9::present(const std::vector<uint8_t>& frame, DWORD layout, const VideoFormat& format, uint64_t index)
{
    IVMRSurfaceAllocator9* a;
    IVMRImagePresenter9* p;
    DWORD_PTR id;
    DWORD count;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!allocator || !presenter) return E_FAIL;
        a = allocator;
        p = presenter;
        a->AddRef();
        p->AddRef();
        id = userId;
        count = buffers;
    }
    IDirect3DSurface9* surface = nullptr;
    HRESULT hr = a->GetSurface(id, static_cast<DWORD>(index % count), 0, &surface);
    if (SUCCEEDED(hr) && surface) {
        D3DSURFACE_DESC desc{};
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(surface->GetDesc(&desc)) && SUCCEEDED(surface->LockRect(&locked, nullptr, 0))) {
            copyFrame(frame, layout, format, desc.Format, static_cast<uint8_t*>(locked.pBits),
                      static_cast<uint32_t>(locked.Pitch), desc.Width, desc.Height);
            surface->UnlockRect();
        }
        VMR9PresentationInfo info{};
        info.dwFlags = VMR9Sample_TimeValid | VMR9Sample_SyncPoint;
        info.lpSurf = surface;
        const double unitsPerFrame = 1e7 * format.rateDenominator / format.rateNumerator;
        info.rtStart = static_cast<REFERENCE_TIME>(index * unitsPerFrame);
        info.rtEnd = static_cast<REFERENCE_TIME>((index + 1) * unitsPerFrame);
        info.szAspectRatio = SIZE{static_cast<LONG>(format.width), static_cast<LONG>(format.height)};
        info.rcSrc = info.rcDst = RECT{0, 0, static_cast<LONG>(format.width), static_cast<LONG>(format.height)};
        hr = p->PresentImage(id, &info);
        surface->Release();
        std::lock_guard<std::mutex> guard(lock);
        ++presented;
    } else {
        std::lock_guard<std::mutex> guard(lock);
        ++surfaceFailures;
        if (SUCCEEDED(hr)) hr = E_FAIL;
    }
    p->Release();
    a->Release();
    return hr;
}

// ---- Parts ----

HRESULT Vmr9::ConfigPart::QueryInterface(REFIID riid, void** object) { return m_owner->QueryInterface(riid, object); }
ULONG Vmr9::ConfigPart::AddRef() { return m_owner->AddRef(); }
ULONG Vmr9::ConfigPart::Release() { return m_owner->Release(); }

HRESULT Vmr9::ConfigPart::SetNumberOfStreams(DWORD streams)
{
    if (HRESULT forced = steer("SetNumberOfStreams"); FAILED(forced)) return forced;
    if (streams == 0 || streams > MAX_BUFFERS) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_owner->lock);
    if (m_owner->connected) return VFW_E_ALREADY_CONNECTED;
    m_owner->streams = streams;
    return S_OK;
}

HRESULT Vmr9::ConfigPart::GetNumberOfStreams(DWORD* streams)
{
    if (!streams) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_owner->lock);
    *streams = m_owner->streams;
    return S_OK;
}

HRESULT Vmr9::ConfigPart::SetRenderingMode(DWORD mode)
{
    if (HRESULT forced = steer("SetRenderingMode"); FAILED(forced)) return forced;
    if (mode != VMR9Mode_Windowed && mode != VMR9Mode_Windowless && mode != VMR9Mode_Renderless) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_owner->lock);
    if (m_owner->connected) return VFW_E_ALREADY_CONNECTED;
    m_owner->mode = mode;
    return S_OK;
}

HRESULT Vmr9::ConfigPart::GetRenderingMode(DWORD* mode)
{
    if (!mode) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_owner->lock);
    *mode = m_owner->mode;
    return S_OK;
}

HRESULT Vmr9::NotifyPart::QueryInterface(REFIID riid, void** object) { return m_owner->QueryInterface(riid, object); }

ULONG Vmr9::NotifyPart::AddRef()
{
    ++m_owner->m_notifyReferences;
    return m_owner->AddRef();
}

ULONG Vmr9::NotifyPart::Release()
{
    --m_owner->m_notifyReferences;
    return m_owner->Release();
}

HRESULT Vmr9::NotifyPart::AdviseSurfaceAllocator(DWORD_PTR userId, IVMRSurfaceAllocator9* allocator)
{
    if (HRESULT forced = steer("AdviseSurfaceAllocator"); FAILED(forced)) return forced;
    IVMRImagePresenter9* presenter = nullptr;
    if (allocator && FAILED(allocator->QueryInterface(IID_IVMRImagePresenter9, reinterpret_cast<void**>(&presenter))))
        return E_NOINTERFACE;
    if (allocator) allocator->AddRef();
    IVMRSurfaceAllocator9* oldAllocator;
    IVMRImagePresenter9* oldPresenter;
    {
        std::lock_guard<std::mutex> guard(m_owner->lock);
        if (m_owner->mode != VMR9Mode_Renderless || m_owner->connected) {
            if (presenter) presenter->Release();
            if (allocator) allocator->Release();
            return m_owner->connected ? VFW_E_ALREADY_CONNECTED : E_UNEXPECTED;
        }
        oldAllocator = m_owner->allocator;
        oldPresenter = m_owner->presenter;
        m_owner->allocator = allocator;
        m_owner->presenter = presenter;
        m_owner->userId = userId;
    }
    if (oldPresenter) oldPresenter->Release();
    if (oldAllocator) oldAllocator->Release();
    return S_OK;
}

HRESULT Vmr9::NotifyPart::SetD3DDevice(IDirect3DDevice9* device, HMONITOR monitor)
{
    if (HRESULT forced = steer("SetD3DDevice"); FAILED(forced)) return forced;
    if (!device) return E_POINTER;
    device->AddRef();
    IDirect3DDevice9* old;
    {
        std::lock_guard<std::mutex> guard(m_owner->lock);
        old = m_owner->device;
        m_owner->device = device;
        m_owner->monitor = monitor;
    }
    if (old) old->Release();
    return S_OK;
}

HRESULT Vmr9::NotifyPart::AllocateSurfaceHelper(VMR9AllocationInfo* info, DWORD* buffers, IDirect3DSurface9** surfaces)
{
    if (HRESULT forced = steer("AllocateSurfaceHelper"); FAILED(forced)) return forced;
    if (!info || !buffers || !surfaces) return E_POINTER;
    if (*buffers == 0 || *buffers > MAX_BUFFERS || info->dwWidth == 0 || info->dwHeight == 0) return E_INVALIDARG;
    IDirect3DDevice9* device;
    {
        std::lock_guard<std::mutex> guard(m_owner->lock);
        device = m_owner->device;
        if (!device) return E_FAIL;
        device->AddRef();
    }
    const bool texture = (info->dwFlags & VMR9AllocFlag_TextureSurface) != 0;
    HRESULT hr = S_OK;
    // Textures of four-character-code formats are not to be had: the caller falls back.
    if (texture && isFourCC(info->Format)) hr = E_FAIL;
    const DWORD usage = (info->dwFlags & VMR9AllocFlag_3DRenderTarget) ? D3DUSAGE_RENDERTARGET : 0;
    DWORD made = 0;
    for (; SUCCEEDED(hr) && made < *buffers; ++made) {
        surfaces[made] = nullptr;
        if (texture) {
            IDirect3DTexture9* t = nullptr;
            hr = device->CreateTexture(info->dwWidth, info->dwHeight, 1, usage, info->Format, info->Pool, &t, nullptr);
            if (SUCCEEDED(hr)) {
                hr = t->GetSurfaceLevel(0, &surfaces[made]);
                t->Release();  // the surface keeps its texture
            }
        } else {
            hr = device->CreateOffscreenPlainSurface(info->dwWidth, info->dwHeight, info->Format, info->Pool,
                                                     &surfaces[made], nullptr);
        }
        if (FAILED(hr)) break;
    }
    if (FAILED(hr))
        for (DWORD i = 0; i < made; ++i) {
            surfaces[i]->Release();
            surfaces[i] = nullptr;
        }
    device->Release();
    return hr;
}

HRESULT Vmr9::InputPin::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    if (riid == IID_IPin || riid == IID_IUnknown) {
        AddRef();
        *object = static_cast<IPin*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}
ULONG Vmr9::InputPin::AddRef() { return m_owner->AddRef(); }
ULONG Vmr9::InputPin::Release() { return m_owner->Release(); }

HRESULT Vmr9::InputPin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction) return E_POINTER;
    *direction = PINDIR_INPUT;
    return S_OK;
}

HRESULT Vmr9::InputPin::ConnectedTo(IPin** pin)
{
    if (!pin) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_owner->lock);
    *pin = m_owner->connectedTo;
    if (!*pin) return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
}

}  // namespace platform::dshow

namespace platform {

IUnknown* createVideoMixingRenderer9Object()
{
    if (FAILED(dshow::steer("CoCreateInstance VideoMixingRenderer9"))) return nullptr;
    std::lock_guard<std::mutex> guard(dsound::world().lock);
    return static_cast<IBaseFilter*>(new dshow::Vmr9());
}

}  // namespace platform
