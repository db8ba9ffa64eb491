#include "videoplayer9/VMR9AllocatorPresenter.h"

#include "d3dcore9/D3DCore.h"
#include "fegamelink/FEGameLink.h"
#include "l3render/L3Render.h"

namespace {

// The presenter's critical section for a scope.
class Section {
public:
    explicit Section(CRITICAL_SECTION& section) : m_section(section) { EnterCriticalSection(&m_section); }
    ~Section() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION& m_section;
};

// Formats named by four characters are numerically above "0000".
const DWORD FOURCC_BELOW = 0x30303030u;

}  // namespace

CVMR9AllocatorPresenter::CVMR9AllocatorPresenter(HRESULT& result, HWND window, IDirect3D9* d3d,
                                                 IDirect3DDevice9* device)
    : m_hWnd(window)
{
    InitializeCriticalSection(&m_Lock);
    result = S_OK;
    if (!IsWindow(window)) {
        result = E_INVALIDARG;
        return;
    }
    if (d3d) {
        m_pD3D = d3d;
        m_pD3D->AddRef();
    } else {
        HMODULE library = LoadLibraryA("d3d9.dll");
        if (!library) library = LoadLibraryA("d3d9d.dll");
        auto create = library ? reinterpret_cast<PFN_Direct3DCreate9>(GetProcAddress(library, "Direct3DCreate9")) : nullptr;
        m_pD3D = create ? create(D3D_SDK_VERSION) : nullptr;
        if (!m_pD3D) {
            result = E_FAIL;
            return;
        }
    }
    if (device) {
        m_pD3DDev = device;
        m_pD3DDev->AddRef();
    } else {
        D3DDISPLAYMODE mode{};
        m_pD3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
        D3DPRESENT_PARAMETERS parameters{};
        parameters.Windowed = TRUE;
        parameters.hDeviceWindow = window;
        parameters.SwapEffect = D3DSWAPEFFECT_COPY;
        parameters.BackBufferFormat = mode.Format;
        result = m_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                      D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED, &parameters,
                                      &m_pD3DDev);
        if (FAILED(result)) return;
        m_OwnsDevice = 1;
    }
    result = m_pD3DDev->GetRenderTarget(0, &m_pRenderTarget);
}

CVMR9AllocatorPresenter::~CVMR9AllocatorPresenter()
{
    ReleaseSurfaces();
    if (m_pPrivateTexture) m_pPrivateTexture->Release();
    if (m_pNotify) m_pNotify->Release();
    if (m_pRenderTarget) m_pRenderTarget->Release();
    m_Quad.ReleaseBuffer();
    if (m_pD3DDev) m_pD3DDev->Release();
    if (m_pD3D) m_pD3D->Release();
    DeleteCriticalSection(&m_Lock);
}

HRESULT CVMR9AllocatorPresenter::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    if (riid == IID_IVMRSurfaceAllocator9 || riid == IID_IUnknown) {
        *object = static_cast<IVMRSurfaceAllocator9*>(this);
    } else if (riid == IID_IVMRImagePresenter9) {
        *object = static_cast<IVMRImagePresenter9*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CVMR9AllocatorPresenter::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_RefCount)); }

ULONG CVMR9AllocatorPresenter::Release()
{
    const LONG left = InterlockedDecrement(&m_RefCount);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

void CVMR9AllocatorPresenter::ReleaseSurfaces()
{
    for (IDirect3DSurface9* surface : m_Surfaces)
        if (surface) surface->Release();
    m_Surfaces.clear();
}

HRESULT CVMR9AllocatorPresenter::InitializeDevice(DWORD_PTR, VMR9AllocationInfo* info, DWORD* buffers)
{
    if (!info || !buffers) return E_POINTER;
    Section lock(m_Lock);
    if (!m_pNotify || !m_pD3DDev) return E_FAIL;
    D3DCAPS9 caps{};
    m_pD3DDev->GetDeviceCaps(&caps);
    if (caps.TextureCaps & D3DPTEXTURECAPS_POW2) {
        DWORD width = 1, height = 1;
        while (width < info->dwWidth) width <<= 1;
        while (height < info->dwHeight) height <<= 1;
        m_Quad.SetTextureExtent(static_cast<float>(info->dwWidth) / width, static_cast<float>(info->dwHeight) / height);
        info->dwWidth = width;
        info->dwHeight = height;
    } else {
        m_Quad.SetTextureExtent(1, 1);
    }
    // Surfaces are only drawn as textures.
    info->dwFlags |= VMR9AllocFlag_TextureSurface;
    ReleaseSurfaces();
    m_Surfaces.assign(*buffers, nullptr);
    HRESULT hr = m_pNotify->AllocateSurfaceHelper(info, buffers, m_Surfaces.data());
    if (FAILED(hr) && !(info->dwFlags & VMR9AllocFlag_3DRenderTarget)) {
        ReleaseSurfaces();
        // YUV cannot be a texture: plain surfaces, copied into a texture of the display's format.
        if (info->Format > FOURCC_BELOW) {
            D3DDISPLAYMODE mode{};
            hr = m_pD3DDev->GetDisplayMode(0, &mode);
            if (FAILED(hr)) return hr;
            if (m_pPrivateTexture) m_pPrivateTexture->Release();
            m_pPrivateTexture = nullptr;
            hr = m_pD3DDev->CreateTexture(info->dwWidth, info->dwHeight, 1, D3DUSAGE_RENDERTARGET, mode.Format,
                                          D3DPOOL_DEFAULT, &m_pPrivateTexture, nullptr);
            if (FAILED(hr)) return hr;
        }
        info->dwFlags = (info->dwFlags & ~VMR9AllocFlag_TextureSurface) | VMR9AllocFlag_OffscreenSurface;
        m_Surfaces.assign(*buffers, nullptr);
        hr = m_pNotify->AllocateSurfaceHelper(info, buffers, m_Surfaces.data());
    }
    if (FAILED(hr)) {
        m_Surfaces.clear();  // the helper gave back what it made
        return hr;
    }
    m_Surfaces.resize(*buffers);
    return SetUpQuad();
}

HRESULT CVMR9AllocatorPresenter::TerminateDevice(DWORD_PTR)
{
    Section lock(m_Lock);
    ReleaseSurfaces();
    return S_OK;
}

HRESULT CVMR9AllocatorPresenter::GetSurface(DWORD_PTR, DWORD index, DWORD, IDirect3DSurface9** surface)
{
    if (!surface) return E_POINTER;
    Section lock(m_Lock);
    if (index >= m_Surfaces.size() || !m_Surfaces[index]) return E_FAIL;
    *surface = m_Surfaces[index];
    (*surface)->AddRef();
    return S_OK;
}

HRESULT CVMR9AllocatorPresenter::AdviseNotify(IVMRSurfaceAllocatorNotify9* notify)
{
    Section lock(m_Lock);
    if (notify) notify->AddRef();
    if (m_pNotify) m_pNotify->Release();
    m_pNotify = notify;
    if (!m_pNotify || !m_pD3DDev) return E_FAIL;
    D3DDEVICE_CREATION_PARAMETERS created{};
    m_pD3DDev->GetCreationParameters(&created);
    return m_pNotify->SetD3DDevice(m_pD3DDev, m_pD3D->GetAdapterMonitor(created.AdapterOrdinal));
}

HRESULT CVMR9AllocatorPresenter::StartPresenting(DWORD_PTR)
{
    Section lock(m_Lock);
    return m_pD3DDev ? S_OK : E_FAIL;
}

HRESULT CVMR9AllocatorPresenter::StopPresenting(DWORD_PTR) { return S_OK; }

HRESULT CVMR9AllocatorPresenter::PresentImage(DWORD_PTR, VMR9PresentationInfo* info)
{
    Section lock(m_Lock);
    if (!info || !info->lpSurf) return E_POINTER;
    if (m_pD3DDev && m_pRenderTarget) m_pD3DDev->SetRenderTarget(0, m_pRenderTarget);
    HRESULT hr;
    if (m_pPrivateTexture) {
        IDirect3DSurface9* level = nullptr;
        m_pPrivateTexture->GetSurfaceLevel(0, &level);
        if (level) {
            m_pD3DDev->StretchRect(info->lpSurf, nullptr, level, nullptr, D3DTEXF_NONE);
            level->Release();
        }
        hr = DrawScene(m_pPrivateTexture);
    } else {
        IDirect3DTexture9* texture = nullptr;
        info->lpSurf->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture));
        hr = DrawScene(texture);
        if (texture) texture->Release();
    }
    // The surfaces go so the device can be reset; the VMR is not told of a failure.
    if (hr == D3DERR_DEVICELOST && m_pD3DDev->TestCooperativeLevel() == D3DERR_DEVICENOTRESET) {
        ReleaseSurfaces();
        hr = S_OK;
    }
    return hr;
}

void CVMR9AllocatorPresenter::SetRectangle(float left, float top, float width, float height)
{
    Section lock(m_Lock);
    m_Quad.SetRectangle(left, top, width, height);
}

void CVMR9AllocatorPresenter::SetFrontEndUpdate(uint8_t on)
{
    Section lock(m_Lock);
    m_FrontEndUpdate = on;
    if (!on) m_FrontEndResult = CFEGameLink::WAITFRONTEND_CONTINUE;
}

int32_t CVMR9AllocatorPresenter::GetFrontEndResult()
{
    Section lock(m_Lock);
    return m_FrontEndResult;
}

// ---- Drawing ----

bool CVMR9AllocatorPresenter::SharesRenderCore() const { return !m_OwnsDevice && m_pD3DDev == DXInterface.ID3DDevice; }

void CVMR9AllocatorPresenter::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (SharesRenderCore())
        D3DCore.SetRenderState(state, value);
    else
        m_pD3DDev->SetRenderState(state, value);
}

void CVMR9AllocatorPresenter::SetSamplerState(D3DSAMPLERSTATETYPE type, DWORD value)
{
    if (SharesRenderCore())
        D3DCore.SetTextureStageState(0, 100 + type, value);
    else
        m_pD3DDev->SetSamplerState(0, type, value);
}

void CVMR9AllocatorPresenter::SetStageState(D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    if (SharesRenderCore())
        D3DCore.SetTextureStageState(0, type, value);
    else
        m_pD3DDev->SetTextureStageState(0, type, value);
}

void CVMR9AllocatorPresenter::SetQuadStates()
{
    SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    SetRenderState(D3DRS_LIGHTING, FALSE);
    SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    SetSamplerState(D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    SetSamplerState(D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    SetSamplerState(D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    SetSamplerState(D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    SetSamplerState(D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
}

HRESULT CVMR9AllocatorPresenter::SetUpQuad()
{
    SetQuadStates();
    return m_Quad.CreateBuffer(m_pD3DDev);
}

HRESULT CVMR9AllocatorPresenter::DrawScene(IDirect3DTexture9* texture)
{
    if (!m_pD3DDev || !texture) return E_POINTER;
    // Any answer but D3D_OK is a device that cannot draw now: reported as lost, so that the
    // caller gives back the surfaces once the device may be reset.
    if (m_pD3DDev->TestCooperativeLevel() != D3D_OK) return D3DERR_DEVICELOST;
    if (!m_Quad.Buffer()) return D3DERR_INVALIDCALL;
    HRESULT hr = m_Quad.Fill();
    if (FAILED(hr)) return hr;

    const bool shared = SharesRenderCore();
    if (shared) {
        L3BeginScene(true);
    } else {
        m_pD3DDev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
        m_pD3DDev->BeginScene();
    }
    SetQuadStates();
    SetStageState(D3DTSS_COLOROP, D3DTOP_MODULATE);
    SetStageState(D3DTSS_COLORARG1, D3DTA_TEXTURE);
    SetStageState(D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    SetStageState(D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    SetStageState(D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    SetStageState(D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    if (shared) {
        D3DCore.SetTexture(0, texture);
        D3DCore.SetStreamSource(0, m_Quad.Buffer(), sizeof(VideoVertex));
        D3DCore.SetFVF(VIDEO_FVF);
        D3DCore.SetVertexShader(nullptr);
    } else {
        m_pD3DDev->SetTexture(0, texture);
        m_pD3DDev->SetStreamSource(0, m_Quad.Buffer(), 0, sizeof(VideoVertex));
        m_pD3DDev->SetFVF(VIDEO_FVF);
        m_pD3DDev->SetVertexShader(nullptr);
    }
    m_pD3DDev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    if (shared) {
        D3DCore.SetTexture(0, nullptr);
        D3DCore.SetStreamSource(0, nullptr, 0);
        L3EndScene();
    } else {
        m_pD3DDev->SetTexture(0, nullptr);
        m_pD3DDev->SetStreamSource(0, nullptr, 0, 0);
        m_pD3DDev->EndScene();
    }
    if (m_FrontEndUpdate) m_FrontEndResult = getFEGameLink()->UpdateWaitFrontEnd(0, 0);
    if (shared)
        L3Present(true);
    else
        m_pD3DDev->Present(nullptr, nullptr, nullptr, nullptr);
    return S_OK;
}
