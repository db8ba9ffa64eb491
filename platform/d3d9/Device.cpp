#include "Device.h"
#include "Resources.h"
#include "TexelFormats.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9ref {

namespace {

const UINT MAX_STAGES = 8;
const UINT MAX_SAMPLERS = 16;
const UINT MAX_STREAMS = 16;
const UINT MAX_PALETTES = 0x10000;
const size_t MAX_DECLARATION_ELEMENTS = 64;

bool validPool(D3DPOOL pool) { return static_cast<DWORD>(pool) <= D3DPOOL_SCRATCH; }

}  // namespace

Device::Device(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behaviour, const D3DPRESENT_PARAMETERS& parameters)
    : m_renderer(createRenderer())
{
    m_state.Adapter = adapter;
    m_state.Type = type;
    m_state.FocusWindow = focus;
    m_state.Behaviour = behaviour;
    m_state.Parameters = parameters;
    resetStates();
    makeBackBuffer();
    m_renderer->open(parameters.hDeviceWindow ? parameters.hDeviceWindow : focus, parameters);
    ++control().LiveDevices;
    control().LastDevice = this;
}

Device::~Device()
{
    if (m_renderTarget) m_renderTarget->Release();
    if (m_backBuffer) m_backBuffer->Release();
    m_renderer->close();
    --control().LiveDevices;
    if (control().LastDevice == this) control().LastDevice = nullptr;
}

Device::Guard::Guard(Device& device) : m_device(device) { m_device.m_lock.lock(); }

Device::Guard::~Guard() { m_device.m_lock.unlock(); }

void Device::setStatus(HRESULT status)
{
    Guard guard(*this);
    m_status = status;
}

void Device::makeBackBuffer()
{
    if (m_renderTarget) m_renderTarget->Release();
    if (m_backBuffer) m_backBuffer->Release();
    const D3DPRESENT_PARAMETERS& p = m_state.Parameters;
    const D3DFORMAT format = p.BackBufferFormat == D3DFMT_UNKNOWN ? D3DFMT_X8R8G8B8 : p.BackBufferFormat;
    // Not counted in the default pool: Reset makes it again rather than waiting for it to go.
    m_backBuffer = new Surface(makeLevel(format, p.BackBufferWidth, p.BackBufferHeight), D3DPOOL_DEFAULT,
                               D3DUSAGE_RENDERTARGET, false, nullptr);
    m_renderTarget = m_backBuffer;
    m_renderTarget->AddRef();
    m_state.RenderTarget = m_renderTarget;
    ++m_state.StateVersion;
}

void Device::targetSize(UINT& width, UINT& height)
{
    auto* target = dynamic_cast<Surface*>(m_renderTarget);
    if (m_renderTarget == m_backBuffer || !target) {
        width = m_state.Parameters.BackBufferWidth;
        height = m_state.Parameters.BackBufferHeight;
    } else {
        width = target->level().Width;
        height = target->level().Height;
    }
}

ULONG Device::AddRef() { return ++m_references; }

ULONG Device::Release()
{
    record(Method::Release, {ptr(this)});
    ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

// The states a freshly created or reset device starts with.
void Device::resetStates()
{
    platform::testing::D3D9State& s = m_state;
    std::memset(s.RenderStates, 0, sizeof(s.RenderStates));
    s.RenderStates[D3DRS_ZENABLE] = s.Parameters.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    s.RenderStates[D3DRS_FILLMODE] = D3DFILL_SOLID;
    s.RenderStates[D3DRS_SHADEMODE] = 2;
    s.RenderStates[D3DRS_ZWRITEENABLE] = TRUE;
    s.RenderStates[D3DRS_LASTPIXEL] = TRUE;
    s.RenderStates[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    s.RenderStates[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    s.RenderStates[D3DRS_CULLMODE] = D3DCULL_CCW;
    s.RenderStates[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    s.RenderStates[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    s.RenderStates[D3DRS_FOGDENSITY] = 0x3F800000u;
    s.RenderStates[D3DRS_FOGEND] = 0x3F800000u;
    s.RenderStates[D3DRS_STENCILFAIL] = 1;
    s.RenderStates[D3DRS_STENCILZFAIL] = 1;
    s.RenderStates[D3DRS_STENCILPASS] = 1;
    s.RenderStates[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    s.RenderStates[D3DRS_STENCILMASK] = 0xFFFFFFFFu;
    s.RenderStates[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    s.RenderStates[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    s.RenderStates[D3DRS_CLIPPING] = TRUE;
    s.RenderStates[D3DRS_LIGHTING] = TRUE;
    s.RenderStates[D3DRS_COLORVERTEX] = TRUE;
    s.RenderStates[D3DRS_LOCALVIEWER] = TRUE;
    s.RenderStates[D3DRS_DIFFUSEMATERIALSOURCE] = 1;
    s.RenderStates[D3DRS_SPECULARMATERIALSOURCE] = 2;
    s.RenderStates[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    s.RenderStates[D3DRS_COLORWRITEENABLE] = 0xF;
    s.RenderStates[D3DRS_BLENDOP] = 1;
    std::memset(s.StageStates, 0, sizeof(s.StageStates));
    for (UINT stage = 0; stage < MAX_STAGES; ++stage) {
        s.StageStates[stage][D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        s.StageStates[stage][D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        s.StageStates[stage][D3DTSS_COLORARG1] = 2;
        s.StageStates[stage][D3DTSS_COLORARG2] = 1;
        s.StageStates[stage][D3DTSS_ALPHAARG1] = 2;
        s.StageStates[stage][D3DTSS_ALPHAARG2] = 1;
        s.StageStates[stage][D3DTSS_TEXCOORDINDEX] = stage;
        s.StageStates[stage][D3DTSS_COLORARG0] = D3DTA_CURRENT;
        s.StageStates[stage][D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        s.StageStates[stage][D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    std::memset(s.SamplerStates, 0, sizeof(s.SamplerStates));
    for (UINT sampler = 0; sampler < MAX_SAMPLERS; ++sampler) {
        s.SamplerStates[sampler][D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        s.SamplerStates[sampler][D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        s.SamplerStates[sampler][D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        s.SamplerStates[sampler][D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        s.SamplerStates[sampler][D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        s.SamplerStates[sampler][D3DSAMP_MAXANISOTROPY] = 1;
    }
    s.Transforms.clear();
    s.Viewport = D3DVIEWPORT9{0, 0, s.Parameters.BackBufferWidth, s.Parameters.BackBufferHeight, 0.0f, 1.0f};
    for (auto& t : s.Textures) t = nullptr;
    for (auto& stream : s.Streams) stream = platform::testing::D3D9StreamState{};
    s.Indices = nullptr;
    s.FVF = 0;
    s.VertexShader = nullptr;
    s.PixelShader = nullptr;
    s.Declaration = nullptr;
    std::memset(s.VertexShaderConstants, 0, sizeof(s.VertexShaderConstants));
    std::memset(s.PixelShaderConstants, 0, sizeof(s.PixelShaderConstants));
    s.Material = D3DMATERIAL9{};
    s.Lights.clear();
    s.LightEnabled.clear();
    s.InScene = false;
    ++m_state.StateVersion;
}

HRESULT Device::TestCooperativeLevel()
{
    record(Method::TestCooperativeLevel);
    Guard guard(*this);
    Control& c = control();
    if (!c.CooperativeQueue.empty()) {
        HRESULT forced = c.CooperativeQueue.front();
        c.CooperativeQueue.pop_front();
        return forced;
    }
    return m_status;
}

bool Device::cardCaps(D3DCAPS9& caps) const
{
    const auto& adapters = control().Config.Adapters;
    if (m_state.Adapter >= adapters.size()) return false;
    for (const auto& t : adapters[m_state.Adapter].DeviceTypes)
        if (t.Type == m_state.Type) {
            caps = t.Caps;
            caps.DeviceType = m_state.Type;
            caps.AdapterOrdinal = m_state.Adapter;
            return true;
        }
    return false;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps)
{
    record(Method::GetDeviceCaps);
    Guard guard(*this);
    return caps && cardCaps(*caps) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode)
{
    record(Method::GetDisplayMode, {swapChain});
    Guard guard(*this);
    if (HRESULT f = forcedFailure(Method::GetDisplayMode)) return f;
    const auto& adapters = control().Config.Adapters;
    if (!mode || swapChain != 0 || m_state.Adapter >= adapters.size()) return D3DERR_INVALIDCALL;
    const auto& adapter = adapters[m_state.Adapter];
    if (m_state.Parameters.Windowed) {
        if (adapter.DesktopFails) return D3DERR_INVALIDCALL;
        *mode = adapter.Desktop;
    } else {
        *mode = D3DDISPLAYMODE{m_state.Parameters.BackBufferWidth, m_state.Parameters.BackBufferHeight,
                               m_state.Parameters.FullScreen_RefreshRateInHz, m_state.Parameters.BackBufferFormat};
    }
    return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* parameters)
{
    record(Method::Reset, {parameters ? parameters->BackBufferWidth : 0u, parameters ? parameters->BackBufferHeight : 0u,
                           parameters ? parameters->BackBufferFormat : 0u,
                           parameters ? parameters->AutoDepthStencilFormat : 0u,
                           parameters ? parameters->MultiSampleType : 0u});
    Guard guard(*this);
    if (!parameters) return D3DERR_INVALIDCALL;
    Control& c = control();
    c.ResetParameters.push_back(*parameters);
    HRESULT forced = D3D_OK;
    if (!c.ResetQueue.empty()) {
        forced = c.ResetQueue.front();
        c.ResetQueue.pop_front();
    } else if (c.ResetResult) {
        forced = c.ResetResult(*parameters);
    }
    // A forced result leaves the device's own state alone, so scripts stay in the test's hands.
    if (forced != D3D_OK) return forced;
    if (m_status == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    // Default-pool resources must all be gone first, as the real runtime demands.
    if (c.LiveResources[D3DPOOL_DEFAULT] > 0) {
        m_status = D3DERR_DEVICENOTRESET;
        return D3DERR_INVALIDCALL;
    }
    m_state.Parameters = *parameters;
    resetStates();
    makeBackBuffer();
    m_renderer->close();
    m_renderer->open(parameters->hDeviceWindow ? parameters->hDeviceWindow : m_state.FocusWindow, *parameters);
    m_status = D3D_OK;
    return D3D_OK;
}

HRESULT Device::Present(const tagRECT*, const tagRECT*, HWND, const void*)
{
    record(Method::Present);
    Guard guard(*this);
    if (m_status != D3D_OK) return D3DERR_DEVICELOST;
    if (m_state.InScene) return D3DERR_INVALIDCALL;
    m_renderer->present();
    ++m_state.FramesPresented;
    return D3D_OK;
}

HRESULT Device::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* surface)
{
    record(Method::GetFrontBufferData, {swapChain, ptr(surface)});
    Guard guard(*this);
    if (HRESULT f = forcedFailure(Method::GetFrontBufferData)) return f;
    auto* s = dynamic_cast<Surface*>(surface);
    if (!s || swapChain != 0 || s->level().Format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    Level& level = s->level();
    // The renderer writes the image straight into the surface, as much as it holds.
    UINT width = level.Width, height = level.Height;
    bool have = m_renderer->readFrontBuffer(level.Bytes.data(), level.Pitch, width, height);
    if (!have && control().FrontWidth) {
        const std::vector<uint32_t>& pixels = control().FrontBuffer;
        width = control().FrontWidth;
        height = control().FrontHeight;
        have = true;
        for (UINT y = 0; y < std::min(height, level.Height); ++y)
            std::memcpy(&level.Bytes[y * level.Pitch], &pixels[static_cast<size_t>(y) * width],
                        std::min(width, level.Width) * 4);
    }
    // What the image does not cover reads as zero.
    const UINT rows = have ? std::min(height, level.Height) : 0, columns = have ? std::min(width, level.Width) : 0;
    for (UINT y = 0; y < level.Height; ++y) {
        const UINT from = y < rows ? columns : 0;
        std::fill(level.Bytes.begin() + y * level.Pitch + from * 4, level.Bytes.begin() + (y + 1) * level.Pitch, 0);
    }
    return D3D_OK;
}

void Device::SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp)
{
    record(Method::SetGammaRamp, {swapChain, flags});
    Guard guard(*this);
    if (ramp && swapChain == 0) m_state.Gamma = *ramp;
}

// ---- Resources ----

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE*)
{
    record(Method::CreateTexture, {width, height, levels, usage, format, pool});
    Guard guard(*this);
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (HRESULT f = forcedFailure(Method::CreateTexture)) return f;
    if (width == 0 || height == 0 || width > 16384 || height > 16384 || !validPool(pool) || format == D3DFMT_UNKNOWN)
        return D3DERR_INVALIDCALL;
    *texture = new Texture(width, height, levels, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture9** texture, HANDLE*)
{
    record(Method::CreateCubeTexture, {edge, levels, usage, format, pool});
    Guard guard(*this);
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (HRESULT f = forcedFailure(Method::CreateCubeTexture)) return f;
    if (edge == 0 || edge > 16384 || !validPool(pool) || format == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    *texture = new CubeTexture(edge, levels, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                   HANDLE*)
{
    record(Method::CreateVertexBuffer, {length, usage, fvf, pool});
    Guard guard(*this);
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (HRESULT f = forcedFailure(Method::CreateVertexBuffer)) return f;
    if (length == 0 || length > (1u << 28) || !validPool(pool) || pool == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    *buffer = new VertexBuffer(length, usage, fvf, pool);
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE*)
{
    record(Method::CreateIndexBuffer, {length, usage, format, pool});
    Guard guard(*this);
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (HRESULT f = forcedFailure(Method::CreateIndexBuffer)) return f;
    if (length == 0 || length > (1u << 28) || !validPool(pool) || pool == D3DPOOL_SCRATCH ||
        (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    *buffer = new IndexBuffer(length, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE*)
{
    record(Method::CreateOffscreenPlainSurface, {width, height, format, pool});
    Guard guard(*this);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (HRESULT f = forcedFailure(Method::CreateOffscreenPlainSurface)) return f;
    if (width == 0 || height == 0 || width > 16384 || height > 16384 || !validPool(pool) ||
        format == D3DFMT_UNKNOWN)
        return D3DERR_INVALIDCALL;
    *surface = new Surface(makeLevel(format, width, height), pool, 0, true, nullptr);
    return D3D_OK;
}

// ---- Frame ----

HRESULT Device::BeginScene()
{
    record(Method::BeginScene);
    Guard guard(*this);
    if (m_state.InScene) return D3DERR_INVALIDCALL;
    m_state.InScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene()
{
    record(Method::EndScene);
    Guard guard(*this);
    if (!m_state.InScene) return D3DERR_INVALIDCALL;
    m_state.InScene = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil)
{
    record(Method::Clear, {count, ptr(rects), flags, colour, floatBits(z), stencil});
    Guard guard(*this);
    if (flags == 0 || (flags & ~7u) != 0) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !m_state.Parameters.EnableAutoDepthStencil)
        return D3DERR_INVALIDCALL;
    D3DFORMAT depth = m_state.Parameters.AutoDepthStencilFormat;
    bool hasStencil = depth == D3DFMT_D24S8 || depth == D3DFMT_D24X4S4 || depth == D3DFMT_D15S1;
    if ((flags & D3DCLEAR_STENCIL) && !hasStencil) return D3DERR_INVALIDCALL;
    if (m_status == D3D_OK) m_renderer->clear(m_state, flags, colour, z, stencil);
    return D3D_OK;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix)
{
    record(Method::SetTransform, {state, ptr(matrix)});
    Guard guard(*this);
    if (!matrix || static_cast<DWORD>(state) >= 512) return D3DERR_INVALIDCALL;
    m_state.Transforms[state] = *matrix;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix)
{
    record(Method::GetTransform, {state});
    Guard guard(*this);
    if (!matrix || static_cast<DWORD>(state) >= 512) return D3DERR_INVALIDCALL;
    auto it = m_state.Transforms.find(state);
    if (it != m_state.Transforms.end()) {
        *matrix = it->second;
    } else {
        *matrix = D3DMATRIX{};
        matrix->_11 = matrix->_22 = matrix->_33 = matrix->_44 = 1.0f;
    }
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport)
{
    record(Method::SetViewport, {viewport ? viewport->X : 0u, viewport ? viewport->Y : 0u,
                                 viewport ? viewport->Width : 0u, viewport ? viewport->Height : 0u});
    Guard guard(*this);
    if (!viewport) return D3DERR_INVALIDCALL;
    UINT width = 0, height = 0;
    targetSize(width, height);
    if (viewport->Width == 0 || viewport->Height == 0 || viewport->X + viewport->Width > width ||
        viewport->Y + viewport->Height > height)
        return D3DERR_INVALIDCALL;
    m_state.Viewport = *viewport;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport)
{
    record(Method::GetViewport);
    Guard guard(*this);
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = m_state.Viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material)
{
    record(Method::SetMaterial, {ptr(material)});
    Guard guard(*this);
    if (!material) return D3DERR_INVALIDCALL;
    m_state.Material = *material;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light)
{
    record(Method::SetLight, {index, ptr(light)});
    Guard guard(*this);
    if (!light) return D3DERR_INVALIDCALL;
    m_state.Lights[index] = *light;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable)
{
    record(Method::LightEnable, {index, static_cast<uint64_t>(enable)});
    Guard guard(*this);
    m_state.LightEnabled[index] = enable;
    ++m_state.StateVersion;
    return D3D_OK;
}

// ---- States ----

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    record(Method::SetRenderState, {state, value});
    Guard guard(*this);
    if (static_cast<DWORD>(state) >= 256) return D3DERR_INVALIDCALL;
    m_state.RenderStates[state] = value;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value)
{
    record(Method::GetRenderState, {state});
    Guard guard(*this);
    if (static_cast<DWORD>(state) >= 256 || !value) return D3DERR_INVALIDCALL;
    *value = m_state.RenderStates[state];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture)
{
    record(Method::SetTexture, {stage, ptr(texture)});
    Guard guard(*this);
    if (stage >= MAX_SAMPLERS) return D3DERR_INVALIDCALL;
    m_state.Textures[stage] = texture;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    record(Method::SetTextureStageState, {stage, type, value});
    Guard guard(*this);
    if (stage >= MAX_STAGES || static_cast<DWORD>(type) > D3DTSS_CONSTANT) return D3DERR_INVALIDCALL;
    m_state.StageStates[stage][type] = value;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    record(Method::SetSamplerState, {sampler, type, value});
    Guard guard(*this);
    if (sampler >= MAX_SAMPLERS || static_cast<DWORD>(type) >= 16) return D3DERR_INVALIDCALL;
    m_state.SamplerStates[sampler][type] = value;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* passes)
{
    record(Method::ValidateDevice);
    Guard guard(*this);
    if (!passes) return D3DERR_INVALIDCALL;
    *passes = 1;
    return control().ValidateResult ? control().ValidateResult(passes) : validate();
}

// Whether the card and the renderer can draw the states set, in one pass.
HRESULT Device::validate() const
{
    D3DCAPS9 caps{};
    if (!cardCaps(caps)) return D3DERR_INVALIDCALL;
    const auto& adapter = control().Config.Adapters[m_state.Adapter];
    auto opOK = [&](DWORD op) {
        return op >= 1 && op <= 26 && (caps.TextureOpCaps & (1u << (op - 1))) && m_renderer->canDrawStageOp(op);
    };
    // A pixel shader takes the place of the stage operations; textures it reads still count.
    const bool shaded = m_state.PixelShader != nullptr;
    DWORD stages = 0, textures = 0;
    for (DWORD s = 0; s < MAX_STAGES; ++s) {
        const DWORD colourOp = m_state.StageStates[s][D3DTSS_COLOROP];
        IDirect3DBaseTexture9* texture = m_state.Textures[s];
        if (!shaded && colourOp == D3DTOP_DISABLE) break;
        if (!shaded) {
            ++stages;
            if (!opOK(colourOp)) return D3DERR_UNSUPPORTEDCOLOROPERATION;
            const DWORD alphaOp = m_state.StageStates[s][D3DTSS_ALPHAOP];
            if (alphaOp != D3DTOP_DISABLE && !opOK(alphaOp)) return D3DERR_UNSUPPORTEDALPHAOPERATION;
        }
        if (!texture) continue;
        ++textures;
        LevelView view{};
        const D3DRESOURCETYPE type = texture->GetType();
        if (!viewTextureLevel(texture, 0, 0, view)) return D3DERR_WRONGTEXTUREFORMAT;
        const auto& formats = adapter.TextureFormats;
        if (std::find(formats.begin(), formats.end(), view.Format) == formats.end() ||
            !m_renderer->canSample(type, view.Format))
            return D3DERR_WRONGTEXTUREFORMAT;
    }
    if (stages > caps.MaxTextureBlendStages || textures > caps.MaxSimultaneousTextures)
        return D3DERR_TOOMANYOPERATIONS;
    // Shader versions above the caps run only in software on a mixed device.
    const bool software = m_state.SoftwareVertexProcessing && (m_state.Behaviour & D3DCREATE_MIXED_VERTEXPROCESSING);
    if (auto* vs = dynamic_cast<VertexShader*>(m_state.VertexShader))
        if (!vs->Tokens.empty() && (vs->Tokens[0] & 0xFFFF) > (caps.VertexShaderVersion & 0xFFFF) && !software)
            return D3DERR_CONFLICTINGRENDERSTATE;
    std::string why;
    if (!shadersDrawable(m_state, why)) return D3DERR_CONFLICTINGRENDERSTATE;
    return D3D_OK;
}

HRESULT Device::SetPaletteEntries(UINT palette, const PALETTEENTRY* entries)
{
    record(Method::SetPaletteEntries, {palette, ptr(entries)});
    Guard guard(*this);
    if (!entries || palette >= MAX_PALETTES) return D3DERR_INVALIDCALL;
    std::array<PALETTEENTRY, 256>& p = m_state.Palettes[palette];
    std::memcpy(p.data(), entries, sizeof(PALETTEENTRY) * 256);
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetCurrentTexturePalette(UINT palette)
{
    record(Method::SetCurrentTexturePalette, {palette});
    Guard guard(*this);
    if (m_state.Palettes.find(palette) == m_state.Palettes.end()) return D3DERR_INVALIDCALL;
    m_state.CurrentPalette = palette;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL software)
{
    record(Method::SetSoftwareVertexProcessing, {static_cast<uint64_t>(software)});
    Guard guard(*this);
    if (!(m_state.Behaviour & D3DCREATE_MIXED_VERTEXPROCESSING)) return D3DERR_INVALIDCALL;
    m_state.SoftwareVertexProcessing = software;
    return D3D_OK;
}

// ---- Drawing ----

HRESULT Device::draw(const DrawCall& call)
{
    if (!m_state.InScene || call.PrimitiveCount == 0) return D3DERR_INVALIDCALL;
    if (m_status == D3D_OK) m_renderer->draw(m_state, call);
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count)
{
    record(Method::DrawPrimitive, {type, startVertex, count});
    Guard guard(*this);
    return draw(DrawCall{type, false, 0, 0, 0, startVertex, count, nullptr, 0});
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT count)
{
    record(Method::DrawIndexedPrimitive,
           {type, static_cast<uint64_t>(static_cast<int64_t>(baseVertex)), minIndex, numVertices, startIndex, count});
    Guard guard(*this);
    if (!m_state.Indices) return D3DERR_INVALIDCALL;
    return draw(DrawCall{type, true, baseVertex, minIndex, numVertices, startIndex, count, nullptr, 0});
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* vertices, UINT stride)
{
    record(Method::DrawPrimitiveUP, {type, count, ptr(vertices), stride});
    Guard guard(*this);
    if (!vertices || stride == 0) return D3DERR_INVALIDCALL;
    const HRESULT result = draw(DrawCall{type, false, 0, 0, 0, 0, count, vertices, stride});
    m_state.Streams[0] = platform::testing::D3D9StreamState{};
    return result;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                       const void* indices, D3DFORMAT indexFormat, const void* vertices, UINT stride)
{
    record(Method::DrawIndexedPrimitiveUP,
           {type, minIndex, numVertices, count, ptr(indices), indexFormat, ptr(vertices), stride});
    Guard guard(*this);
    if (!indices || !vertices || stride == 0 || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    DrawCall call{type, true, 0, minIndex, numVertices, 0, count, vertices, stride};
    call.UserIndices = indices;
    call.UserIndexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    const HRESULT result = draw(call);
    m_state.Streams[0] = platform::testing::D3D9StreamState{};
    m_state.Indices = nullptr;
    return result;
}

// ---- Shaders and streams ----

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration)
{
    record(Method::CreateVertexDeclaration, {ptr(elements)});
    Guard guard(*this);
    if (!declaration) return D3DERR_INVALIDCALL;
    *declaration = nullptr;
    if (HRESULT f = forcedFailure(Method::CreateVertexDeclaration)) return f;
    std::vector<D3DVERTEXELEMENT9> checked;
    std::string error;
    if (!d3d9shader::readDeclaration(elements, MAX_DECLARATION_ELEMENTS, checked, error)) return D3DERR_INVALIDCALL;
    *declaration = new VertexDeclaration(std::move(checked));
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    record(Method::SetVertexDeclaration, {ptr(declaration)});
    Guard guard(*this);
    m_state.Declaration = declaration;
    if (declaration) m_state.FVF = 0;  // one vertex input at a time, as the runtime keeps it
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf)
{
    record(Method::SetFVF, {fvf});
    Guard guard(*this);
    m_state.FVF = fvf;
    if (fvf) m_state.Declaration = nullptr;
    ++m_state.StateVersion;
    return D3D_OK;
}

// A stream the device can run: well formed, of the right kind, and within the card's version
// (any vs_1_1 runs where vertices may be processed in software).
HRESULT Device::readShader(const DWORD* tokens, bool pixel, d3d9shader::Program& program)
{
    std::string error;
    if (!tokens || !d3d9shader::readProgram(tokens, d3d9shader::MAX_SHADER_TOKENS, program, error) ||
        d3d9shader::isPixel(program.model) != pixel)
        return D3DERR_INVALIDCALL;
    D3DCAPS9 caps{};
    if (!cardCaps(caps)) return D3DERR_INVALIDCALL;
    const DWORD version = d3d9shader::versionToken(program.model) & 0xFFFF;
    const bool software = (m_state.Behaviour & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING)) != 0;
    const DWORD supported = (pixel ? caps.PixelShaderVersion : caps.VertexShaderVersion) & 0xFFFF;
    if (version > supported && (pixel || !software)) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD* tokens, IDirect3DVertexShader9** shader)
{
    record(Method::CreateVertexShader, {ptr(tokens)});
    Guard guard(*this);
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    if (HRESULT f = forcedFailure(Method::CreateVertexShader)) return f;
    d3d9shader::Program program;
    if (HRESULT r = readShader(tokens, false, program)) return r;
    *shader = new VertexShader(std::move(program), tokens);
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader)
{
    record(Method::SetVertexShader, {ptr(shader)});
    Guard guard(*this);
    m_state.VertexShader = shader;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count)
{
    record(Method::SetVertexShaderConstantF, {start, ptr(data), count});
    Guard guard(*this);
    if (!data || start >= 256 || count > 256 - start) return D3DERR_INVALIDCALL;
    std::memcpy(m_state.VertexShaderConstants[start], data, sizeof(float) * 4 * count);
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* tokens, IDirect3DPixelShader9** shader)
{
    record(Method::CreatePixelShader, {ptr(tokens)});
    Guard guard(*this);
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    if (HRESULT f = forcedFailure(Method::CreatePixelShader)) return f;
    d3d9shader::Program program;
    if (HRESULT r = readShader(tokens, true, program)) return r;
    *shader = new PixelShader(std::move(program), tokens);
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader)
{
    record(Method::SetPixelShader, {ptr(shader)});
    Guard guard(*this);
    m_state.PixelShader = shader;
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count)
{
    record(Method::SetPixelShaderConstantF, {start, ptr(data), count});
    Guard guard(*this);
    if (!data || start >= 32 || count > 32 - start) return D3DERR_INVALIDCALL;
    std::memcpy(m_state.PixelShaderConstants[start], data, sizeof(float) * 4 * count);
    ++m_state.StateVersion;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride)
{
    record(Method::SetStreamSource, {stream, ptr(buffer), offset, stride});
    Guard guard(*this);
    if (stream >= MAX_STREAMS) return D3DERR_INVALIDCALL;
    m_state.Streams[stream] = platform::testing::D3D9StreamState{buffer, offset, stride};
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* buffer)
{
    record(Method::SetIndices, {ptr(buffer)});
    Guard guard(*this);
    m_state.Indices = buffer;
    return D3D_OK;
}

// ---- Render targets and surface copies ----

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters)
{
    record(Method::GetCreationParameters);
    Guard guard(*this);
    if (!parameters) return D3DERR_INVALIDCALL;
    *parameters = D3DDEVICE_CREATION_PARAMETERS{m_state.Adapter, m_state.Type, m_state.FocusWindow, m_state.Behaviour};
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface)
{
    record(Method::GetRenderTarget, {index});
    Guard guard(*this);
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (HRESULT f = forcedFailure(Method::GetRenderTarget)) return f;
    if (index != 0) return D3DERR_NOTFOUND;
    *surface = m_renderTarget;
    m_renderTarget->AddRef();
    return D3D_OK;
}

// The back buffer, or a level of a render-target texture the renderer can draw into. The
// viewport becomes the whole of the new target.
HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface)
{
    record(Method::SetRenderTarget, {index, ptr(surface)});
    Guard guard(*this);
    auto* s = dynamic_cast<Surface*>(surface);
    if (index != 0 || !s || !(s->usage() & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    if (s != m_backBuffer && !m_renderer->canRenderTo(s->level().Format)) return D3DERR_INVALIDCALL;
    s->AddRef();
    m_renderTarget->Release();
    m_renderTarget = s;
    m_state.RenderTarget = s;
    UINT width = 0, height = 0;
    targetSize(width, height);
    m_state.Viewport = D3DVIEWPORT9{0, 0, width, height, 0.0f, 1.0f};
    ++m_state.StateVersion;
    return D3D_OK;
}

namespace {

bool rectIn(const tagRECT* rect, const Level& level, LONG& x, LONG& y, LONG& w, LONG& h)
{
    if (!rect) {
        x = y = 0;
        w = static_cast<LONG>(level.Width);
        h = static_cast<LONG>(level.Height);
        return true;
    }
    x = rect->left, y = rect->top, w = rect->right - rect->left, h = rect->bottom - rect->top;
    return x >= 0 && y >= 0 && w > 0 && h > 0 && static_cast<UINT>(x + w) <= level.Width &&
           static_cast<UINT>(y + h) <= level.Height;
}

}  // namespace

HRESULT Device::StretchRect(IDirect3DSurface9* source, const tagRECT* sourceRect, IDirect3DSurface9* dest,
                            const tagRECT* destRect, D3DTEXTUREFILTERTYPE filter)
{
    record(Method::StretchRect, {ptr(source), ptr(dest), filter});
    Guard guard(*this);
    if (HRESULT f = forcedFailure(Method::StretchRect)) return f;
    auto* s = dynamic_cast<Surface*>(source);
    auto* d = dynamic_cast<Surface*>(dest);
    if (!s || !d || s == d || s->pool() != D3DPOOL_DEFAULT || d->pool() != D3DPOOL_DEFAULT ||
        filter > D3DTEXF_LINEAR)
        return D3DERR_INVALIDCALL;
    Level& from = s->level();
    Level& to = d->level();
    LONG sx, sy, sw, sh, dx, dy, dw, dh;
    if (from.Locked || to.Locked || !rectIn(sourceRect, from, sx, sy, sw, sh) || !rectIn(destRect, to, dx, dy, dw, dh) ||
        !canConvert(from.Format) || !canConvert(to.Format) || isPalettised(from.Format) || isPalettised(to.Format))
        return D3DERR_INVALIDCALL;
    std::vector<Texel> whole(static_cast<size_t>(from.Width) * from.Height);
    if (!readTexels(from.Format, from.Bytes.data(), from.Pitch, from.Width, from.Height, nullptr, whole.data()))
        return D3DERR_INVALIDCALL;
    std::vector<Texel> out(static_cast<size_t>(dw) * dh);
    auto at = [&](LONG x, LONG y) -> const Texel& {
        x = std::clamp<LONG>(x, sx, sx + sw - 1);
        y = std::clamp<LONG>(y, sy, sy + sh - 1);
        return whole[static_cast<size_t>(y) * from.Width + x];
    };
    for (LONG y = 0; y < dh; ++y)
        for (LONG x = 0; x < dw; ++x) {
            // The destination pixel's centre, in source pixels.
            const float fx = sx + (x + 0.5f) * sw / dw - 0.5f, fy = sy + (y + 0.5f) * sh / dh - 0.5f;
            Texel& t = out[static_cast<size_t>(y) * dw + x];
            if (filter != D3DTEXF_LINEAR) {
                t = at(static_cast<LONG>(std::floor(fx + 0.5f)), static_cast<LONG>(std::floor(fy + 0.5f)));
                continue;
            }
            const LONG x0 = static_cast<LONG>(std::floor(fx)), y0 = static_cast<LONG>(std::floor(fy));
            const float ax = fx - x0, ay = fy - y0;
            const Texel &a = at(x0, y0), &b = at(x0 + 1, y0), &c = at(x0, y0 + 1), &e = at(x0 + 1, y0 + 1);
            auto mix = [&](float Texel::*ch) {
                return (a.*ch * (1 - ax) + b.*ch * ax) * (1 - ay) + (c.*ch * (1 - ax) + e.*ch * ax) * ay;
            };
            t = Texel{mix(&Texel::r), mix(&Texel::g), mix(&Texel::b), mix(&Texel::a)};
        }
    const UINT bpp = std::max(bytesPerPixel(to.Format), 1u);
    uint8_t* start = to.Bytes.data() + static_cast<size_t>(dy) * to.Pitch + static_cast<size_t>(dx) * bpp;
    if (!writeTexels(to.Format, out.data(), static_cast<uint32_t>(dw), static_cast<uint32_t>(dh), nullptr, start,
                     to.Pitch))
        return D3DERR_INVALIDCALL;
    to.Written.mark(0, static_cast<UINT>(to.Bytes.size()));
    ++to.Version;
    return D3D_OK;
}

}  // namespace d3d9ref
