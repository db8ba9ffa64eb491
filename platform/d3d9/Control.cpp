#include "Control.h"
#include "Device.h"
#include "Resources.h"

#include <cstdio>
#include <cstring>

namespace d3d9ref {

const char* const METHOD_NAMES[] = {
#define D3D9REF_NAME(name) #name,
    D3D9REF_METHODS(D3D9REF_NAME)
#undef D3D9REF_NAME
};

Control& control()
{
    static Control* block = [] {
        auto* c = new Control();
        c->Config = platform::testing::defaultD3D9Config();
        return c;
    }();
    return *block;
}

void rendererNote(const std::string& text)
{
    std::fprintf(stderr, "Direct3D: %s\n", text.c_str());
    Control& c = control();
    std::lock_guard<std::mutex> lock(c.TraceLock);
    c.RendererNotes.push_back(text);
}

}  // namespace d3d9ref

namespace platform::testing {

using d3d9ref::control;

D3D9Config defaultD3D9Config()
{
    D3D9Adapter adapter;
    D3DADAPTER_IDENTIFIER9& id = adapter.Identifier;
    std::strcpy(id.Driver, "vdref.dll");
    std::strcpy(id.Description, "Veldrane Reference Direct3D 9 Device");
    std::strcpy(id.DeviceName, "\\\\.\\DISPLAY1");
    id.DriverVersion.HighPart = (6 << 16) | 14;
    id.DriverVersion.LowPart = (10 << 16) | 9;
    id.VendorId = 0x1AF4;
    id.DeviceId = 0x0901;
    id.DeviceIdentifier = GUID{0x5E1D2A09u, 0x3C1Eu, 0x4B6Fu, {0x9A, 0x10, 0x2D, 0x33, 0x61, 0x0C, 0x44, 0x90}};
    id.WHQLLevel = 1;

    D3D9DeviceType hal;
    hal.Type = D3DDEVTYPE_HAL;
    D3DCAPS9& caps = hal.Caps;
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.AdapterOrdinal = 0;
    caps.DevCaps = D3DDEVCAPS_HWRASTERIZATION | D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    caps.PrimitiveMiscCaps = D3DPMISCCAPS_BLENDOP;
    // The renderer fogs by eye distance (W fog), along the ray when asked (range fog).
    caps.RasterCaps = D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_WFOG |
                      D3DPRASTERCAPS_MIPMAPLODBIAS;
    caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                       D3DPTEXTURECAPS_MIPCUBEMAP;
    caps.MaxTextureWidth = 4096;
    caps.MaxTextureHeight = 4096;
    caps.MaxTextureBlendStages = 8;
    caps.MaxSimultaneousTextures = 8;
    caps.MaxActiveLights = 8;
    caps.MaxStreams = 16;
    caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
    caps.MaxVertexShaderConst = 96;
    caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
    caps.TextureOpCaps = (D3DTEXOPCAPS_LERP << 1) - 1;  // every operation
    adapter.DeviceTypes.push_back(hal);

    static const UINT sizes[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1152, 864}, {1280, 720},
                                    {1280, 960},  {1280, 1024}, {1366, 768},  {1600, 900}, {1680, 1050},
                                    {1920, 1080}};
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8})
        for (const auto& size : sizes) adapter.Modes.push_back(D3DDISPLAYMODE{size[0], size[1], 60, format});
    adapter.RenderTargetFormats = {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
    adapter.DepthFormats = {D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D16};
    // Every format the OpenGL renderer can sample.
    adapter.TextureFormats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8,   D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5,
                              D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_X4R4G4B4, D3DFMT_R3G3B2,   D3DFMT_A8R3G3B2,
                              D3DFMT_A8,       D3DFMT_L8,       D3DFMT_A8L8,     D3DFMT_A4L4,     D3DFMT_P8,
                              D3DFMT_A8P8,     D3DFMT_V8U8,     D3DFMT_L6V5U5,   D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8,
                              D3DFMT_V16U16,   D3DFMT_UYVY,     D3DFMT_YUY2,     D3DFMT_DXT1,     D3DFMT_DXT2,
                              D3DFMT_DXT3,     D3DFMT_DXT4,     D3DFMT_DXT5};
    adapter.QualityLevels = {{D3DFMT_R5G6B5, 4}, {D3DFMT_X8R8G8B8, 4}};
    adapter.Desktop = D3DDISPLAYMODE{1920, 1080, 60, D3DFMT_X8R8G8B8};
    UINT width, height;
    if (d3d9ref::realDesktopSize(width, height)) {
        adapter.Desktop.Width = width;
        adapter.Desktop.Height = height;
    }

    D3D9Config config;
    config.Adapters.push_back(adapter);
    return config;
}

D3D9Config& d3d9Config() { return control().Config; }

void resetD3D9()
{
    d3d9ref::Control& c = control();
    c.Config = defaultD3D9Config();
    c.CreateFails = false;
    c.CreateDeviceResult = nullptr;
    c.CooperativeQueue.clear();
    c.ResetQueue.clear();
    c.ResetResult = nullptr;
    c.ValidateResult = nullptr;
    for (auto& f : c.Failures) f = D3D_OK;
    c.FrontBuffer.clear();
    c.FrontWidth = c.FrontHeight = 0;
    {
        std::lock_guard<std::mutex> lock(c.TraceLock);
        c.RendererNotes.clear();
    }
    clearD3D9Calls();
    c.TraceOn = false;
    setLibraryMissing("d3d9.dll", false);
    setLibraryMissing("d3d9d.dll", false);
    setExportMissing("d3d9.dll", "Direct3DCreate9", false);
    setExportMissing("d3d9d.dll", "Direct3DCreate9", false);
}

const std::vector<std::string>& d3d9RendererNotes() { return control().RendererNotes; }

void setDirect3DCreateFails(bool fails) { control().CreateFails = fails; }

void setCreateDeviceResult(std::function<HRESULT(const D3DPRESENT_PARAMETERS&, DWORD)> decide)
{
    control().CreateDeviceResult = std::move(decide);
}

void queueTestCooperativeLevel(HRESULT result) { control().CooperativeQueue.push_back(result); }
void queueResetResult(HRESULT result) { control().ResetQueue.push_back(result); }

void setResetResult(std::function<HRESULT(const D3DPRESENT_PARAMETERS&)> decide)
{
    control().ResetResult = std::move(decide);
}

void setD3D9DeviceState(HRESULT state)
{
    if (control().LastDevice) control().LastDevice->setStatus(state);
}

void setD3D9Failure(const std::string& method, HRESULT result)
{
    for (int i = 0; i < static_cast<int>(d3d9ref::Method::Count); ++i)
        if (method == d3d9ref::METHOD_NAMES[i]) control().Failures[i] = result;
}

void setD3D9FrontBuffer(const std::vector<uint32_t>& pixels, UINT width, UINT height)
{
    control().FrontBuffer = pixels;
    control().FrontWidth = pixels.size() >= static_cast<size_t>(width) * height ? width : 0;
    control().FrontHeight = control().FrontWidth ? height : 0;
}

std::vector<DWORD> d3d9ShaderTokens(IDirect3DVertexShader9* shader)
{
    auto* s = dynamic_cast<d3d9ref::VertexShader*>(shader);
    return s ? s->Tokens : std::vector<DWORD>();
}

std::vector<DWORD> d3d9ShaderTokens(IDirect3DPixelShader9* shader)
{
    auto* s = dynamic_cast<d3d9ref::PixelShader*>(shader);
    return s ? s->Tokens : std::vector<DWORD>();
}

std::vector<D3DVERTEXELEMENT9> d3d9DeclarationElements(IDirect3DVertexDeclaration9* declaration)
{
    auto* d = dynamic_cast<d3d9ref::VertexDeclaration*>(declaration);
    return d ? d->Elements : std::vector<D3DVERTEXELEMENT9>();
}

void setValidateResult(std::function<HRESULT(DWORD*)> decide) { control().ValidateResult = std::move(decide); }

const D3D9State* d3d9State() { return control().LastDevice ? &control().LastDevice->state() : nullptr; }
int d3d9LiveDevices() { return control().LiveDevices; }

int d3d9LiveResources(D3DPOOL pool)
{
    return static_cast<DWORD>(pool) < 4 ? control().LiveResources[pool].load() : 0;
}

int d3d9Calls(const std::string& method)
{
    for (int i = 0; i < static_cast<int>(d3d9ref::Method::Count); ++i)
        if (method == d3d9ref::METHOD_NAMES[i]) return control().Counts[i];
    return 0;
}

void setD3D9Trace(bool on) { control().TraceOn = on; }

std::vector<D3D9Call> d3d9Trace()
{
    d3d9ref::Control& c = control();
    std::lock_guard<std::mutex> lock(c.TraceLock);
    return c.Trace;
}

void clearD3D9Calls()
{
    d3d9ref::Control& c = control();
    for (auto& n : c.Counts) n = 0;
    {
        std::lock_guard<std::mutex> lock(c.TraceLock);
        c.Trace.clear();
    }
    c.CreateAttempts.clear();
    c.ResetParameters.clear();
}

const std::vector<D3DPRESENT_PARAMETERS>& d3d9CreateAttempts() { return control().CreateAttempts; }
const std::vector<D3DPRESENT_PARAMETERS>& d3d9ResetParameters() { return control().ResetParameters; }

std::vector<uint8_t> d3d9BufferBytes(IDirect3DVertexBuffer9* buffer)
{
    auto* b = dynamic_cast<d3d9ref::VertexBuffer*>(buffer);
    return b ? b->Bytes : std::vector<uint8_t>();
}

std::vector<uint8_t> d3d9BufferBytes(IDirect3DIndexBuffer9* buffer)
{
    auto* b = dynamic_cast<d3d9ref::IndexBuffer*>(buffer);
    return b ? b->Bytes : std::vector<uint8_t>();
}

}  // namespace platform::testing
