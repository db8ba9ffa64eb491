#include "dxsetup9/DXSetup.h"

#include "utility/Assert.h"
#include "utility/RunLog.h"
#include "winfile/File.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

TDXInterface DXInterface;
class DXSetup DXSetup;

namespace {

const char* const FOURCC_FILE = "data\\4CC.txt";

// The seven texture formats the game needs; the compressed ones are codes of data\4CC.txt, which
// the card is asked for only when the file gives them.
const struct NeededFormat {
    D3DFORMAT Format;
    const char* Message;
    const char* Code;
} NEEDED_FORMATS[] = {
    {D3DFMT_A8R8G8B8, "Not Supported: Card doesn't support 8888", nullptr},
    {D3DFMT_R5G6B5, "Not Supported: Card doesn't support 565", nullptr},
    {D3DFMT_A1R5G5B5, "Not Supported: Card doesn't support 1555", nullptr},
    {D3DFMT_A4R4G4B4, "Not Supported: Card doesn't support 4444", nullptr},
    {D3DFMT_DXT1, "Not Supported: Card doesn't support DXT1", "DXT1"},
    {D3DFMT_DXT3, "Not Supported: Card doesn't support DXT3", "DXT3"},
    {D3DFMT_DXT5, "Not Supported: Card doesn't support DXT5", "DXT5"},
};
const uint32_t LINE_SIZE = 512;
const char* const SEPARATORS = " \t\r\n";

const D3DFORMAT DISPLAY_FORMATS[5] = {D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8,
                                      D3DFMT_A8R8G8B8};

struct DepthFormat {
    D3DFORMAT Format;
    int32_t Depth, Stencil, Total;
};
const DepthFormat DEPTH_FORMATS[] = {
    {D3DFMT_D32, 32, 0, 32},    {D3DFMT_D24S8, 24, 8, 32}, {D3DFMT_D24X4S4, 24, 4, 32},
    {D3DFMT_D24X8, 24, 0, 32},  {D3DFMT_D16, 16, 0, 16},   {D3DFMT_D15S1, 15, 1, 16},
};

struct Layout {
    D3DFORMAT Format;
    int32_t Bits[4];    // a, r, g, b
    int32_t Shifts[4];  // a, r, g, b
    int32_t BitsPerPixel;
};
const Layout LAYOUTS[] = {
    {D3DFMT_R8G8B8, {0, 8, 8, 8}, {0, 16, 8, 0}, 24},      {D3DFMT_A8R8G8B8, {8, 8, 8, 8}, {24, 16, 8, 0}, 32},
    {D3DFMT_X8R8G8B8, {0, 8, 8, 8}, {0, 16, 8, 0}, 32},    {D3DFMT_R5G6B5, {0, 5, 6, 5}, {0, 11, 5, 0}, 16},
    {D3DFMT_X1R5G5B5, {0, 5, 5, 5}, {0, 10, 5, 0}, 16},    {D3DFMT_A1R5G5B5, {1, 5, 5, 5}, {15, 10, 5, 0}, 16},
    {D3DFMT_A4R4G4B4, {4, 4, 4, 4}, {12, 8, 4, 0}, 16},    {D3DFMT_R3G3B2, {0, 3, 3, 2}, {0, 5, 2, 0}, 8},
    {D3DFMT_A8, {8, 0, 0, 0}, {0, 0, 0, 0}, 8},            {D3DFMT_A8R3G3B2, {8, 3, 3, 2}, {8, 5, 2, 0}, 16},
    {D3DFMT_X4R4G4B4, {0, 4, 4, 4}, {0, 8, 4, 0}, 16},     {D3DFMT_P8, {0, 0, 0, 0}, {0, 0, 0, 0}, 8},
};

const D3DFORMAT BASIC_TEXTURE_FORMATS[] = {D3DFMT_R8G8B8,   D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,
                                           D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_R3G3B2,
                                           D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4, D3DFMT_P8};

int32_t formatDepth(D3DFORMAT format)
{
    return (format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 || format == D3DFMT_A1R5G5B5) ? 16 : 32;
}

char* copyString(const char* text)
{
    size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}

// The first token of a line, or null for a comment or empty line.
char* firstToken(char* line)
{
    char* save = nullptr;
    char* token = strtok_r(line, SEPARATORS, &save);
    if (!token || token[0] == ';' || (token[0] == '/' && token[1] == '/')) return nullptr;
    return token;
}

// The largest power of two not above value (0 for 0).
DWORD largestPowerOfTwo(DWORD value)
{
    DWORD p = 1;
    if (value == 0) return 0;
    while (p <= value / 2) p <<= 1;
    return p;
}

bool listHasTex(const ListMngr<Tex>& list, D3DFORMAT format)
{
    for (Tex* t = list.First; t; t = t->Next)
        if (t->Format == format) return true;
    return false;
}

}  // namespace

EnumFilter::EnumFilter()
{
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    MinWidth = 0;
    MinHeight = 0;
    MaxWidth = 0xFFFFFFFFu;
    MaxHeight = 0xFFFFFFFFu;
    MinRefresh = 0;
    MaxRefresh = 0xFFFFFFFFu;
    Allow16BitMode = 1;
    Allow32BitMode = 1;
    AllowRefreshRates = 0;
    AllowPrimary = 1;
    AllowSecondary = 1;
    AllowHWDeviceOnPrimary = 1;
    AllowHWDeviceOnSecondary = 1;
    AllowSWDeviceOnPrimary = 0;
    AllowSWDeviceOnSecondary = 0;
    AllowRefDeviceOnPrimary = 0;
    AllowRefDeviceOnSecondary = 0;
    RequireZ = 1;
    RequireStencil = 0;
    AllowStencil = 1;
    AllowZ = 1;
    Use4CCFormats = 1;
    MinStencil = 0;
    MaxStencil = 8;
    MinZ = 15;
    MaxZ = 32;
}

DXAdapter::~DXAdapter()
{
    delete[] Description;
    delete[] Driver;
}

DXSetup::~DXSetup() { delete[] FourCC; }

void DXSetup::ResetObject()
{
    ::DXSetup.~DXSetup();
    new (&::DXSetup) class DXSetup();
}

bool describeAdapterForRunLog(char* line, size_t size)
{
    if (!DXInterface.AdapterIdentifierValid) return false;
    const D3DADAPTER_IDENTIFIER9& id = DXInterface.AdapterIdentifier;
    const DWORD high = static_cast<DWORD>(id.DriverVersion.HighPart);
    const DWORD low = id.DriverVersion.LowPart;
    snprintf(line, size, "%.*s (%d.%d.%d.%d) [%s]%s", MAX_DEVICE_IDENTIFIER_STRING - 1, id.Description, HIWORD(high),
             LOWORD(high), HIWORD(low), LOWORD(low), VERSION_TEXT, id.WHQLLevel != 0 ? " WHQL" : "");
    return true;
}

int DXSetup::Load()
{
    class DXSetup& s = ::DXSetup;
    ASSERT(!s.DDrawLoaded);
    s.DirectDraw = LoadLibraryA("d3d9.dll");
    if (!s.DirectDraw) s.DirectDraw = LoadLibraryA("d3d9d.dll");
    if (!s.DirectDraw) return 1;
    s.Create = reinterpret_cast<PFN_Direct3DCreate9>(GetProcAddress(s.DirectDraw, "Direct3DCreate9"));
    if (!s.Create) return 2;
    DXInterface.ID3D = s.Create(D3D_SDK_VERSION);
    if (!DXInterface.ID3D) return 2;
    DXInterface.AdapterIdentifierValid =
        SUCCEEDED(DXInterface.ID3D->GetAdapterIdentifier(0, 0, &DXInterface.AdapterIdentifier)) ? 1 : 0;
    setRunLogAdapterLine(describeAdapterForRunLog);
    s.DDrawLoaded = 1;
    return 0;
}

void DXSetup::Init()
{
    class DXSetup& s = ::DXSetup;
    ASSERT(s.DDrawLoaded);
    ASSERT(!s.Initialised);
    s.Initialised = 1;
}

void DXSetup::SetEnumFilter(const ::EnumFilter& filter) { ::DXSetup.EnumFilter = filter; }

void DXSetup::Shutdown()
{
    class DXSetup& s = ::DXSetup;
    ASSERT(s.DDrawLoaded);
    ASSERT(s.Initialised);
    s.Adapters.Clear();
    ASSERT(DXInterface.ID3D != NULL);
    if (DXInterface.ID3D) DXInterface.ID3D->Release();
    DXInterface.ID3D = nullptr;
    ASSERT(s.DirectDraw != NULL);
    if (s.DirectDraw) FreeLibrary(s.DirectDraw);
    s.DirectDraw = nullptr;
    s.Initialised = 0;
    s.DDrawLoaded = 0;
    delete[] s.FourCC;
    s.FourCC = nullptr;
    s.Total4CC = 0;
}

void DXSetup::Unload()
{
    class DXSetup& s = ::DXSetup;
    if (s.Initialised) return;
    if (DXInterface.ID3D) DXInterface.ID3D->Release();
    DXInterface.ID3D = nullptr;
    // A Load that failed after finding the library leaves it loaded too.
    if (s.DirectDraw) FreeLibrary(s.DirectDraw);
    s.DirectDraw = nullptr;
    s.DDrawLoaded = 0;
}

bool DXSetup::Listed4CC(D3DFORMAT format, int32_t count) const
{
    for (int32_t i = 0; i < count && FourCC; ++i)
        if (FourCC[i] == static_cast<DWORD>(format)) return true;
    return false;
}

void DXSetup::ReportUnread4CC(int32_t read)
{
    if (!EnumFilter.Use4CCFormats) return;
    for (const NeededFormat& n : NEEDED_FORMATS) {
        if (!n.Code || Listed4CC(n.Format, read)) continue;
        char text[160];
        std::snprintf(text, sizeof text, "%s was not read from %s, so the card was not asked for it", n.Code, FOURCC_FILE);
        assertFailedMsg(text, "false", __FILE__, __LINE__);
    }
}

void DXSetup::Read4CC()
{
    // One read of the list, its check for the codes the game needs among it: a damaged or missing
    // list is one report.
    ReadingFile reading(FOURCC_FILE);
    delete[] FourCC;
    FourCC = nullptr;
    Total4CC = 0;
    CFile file;
    if (!file.Open(FOURCC_FILE, FILE_MODE_READ | FILE_MODE_BUFFERED)) {
        writeRunLog(openFailureText(FOURCC_FILE, file.LastError(), "Failed to load data\\4cc.txt").c_str());
        ReportUnread4CC(0);
        return;
    }
    char line[LINE_SIZE];
    bool haveCount = false;
    int32_t Next4CC = 0;
    while (file.ReadLine(line, LINE_SIZE)) {
        char* token = firstToken(line);
        if (!token) continue;
        if (!haveCount) {
            long count = std::strtol(token, nullptr, 10);
            if (count < 0) assertFailed("Total4CC >= 0", __FILE__, __LINE__);
            // A count out of range must not size the table: a negative one means none, a huge one
            // is held to the most the table takes.
            if (count < 0) count = 0;
            if (count > MAX_4CC) count = MAX_4CC;
            Total4CC = static_cast<int32_t>(count);
            FourCC = new DWORD[Total4CC > 0 ? Total4CC : 1];
            haveCount = true;
            continue;
        }
        if (!(Next4CC < Total4CC)) break;
        // A short code is padded with zero bytes; nothing past the token is read.
        char code[4] = {0, 0, 0, 0};
        for (int i = 0; i < 4 && token[i]; ++i) code[i] = token[i];
        FourCC[Next4CC++] = MAKEFOURCC(code[0], code[1], code[2], code[3]);
    }
    // Before the count's check: which format the card will not be asked for is what the user
    // needs to hear of a list cut short.
    ReportUnread4CC(Next4CC);
    if (haveCount) {
        ASSERT(Next4CC == Total4CC);
        Total4CC = Next4CC;
    }
}

bool DXSetup::Enumerate()
{
    class DXSetup& s = ::DXSetup;
    ASSERT(s.DDrawLoaded);
    ASSERT(s.Initialised);
    ASSERT(DXInterface.ID3D != NULL);
    if (s.Adapters.Objects > 0 || !DXInterface.ID3D) return false;

    const ::EnumFilter& EnumFilter = s.EnumFilter;
    ASSERT(EnumFilter.Allow16BitMode + EnumFilter.Allow32BitMode > 0);
    ASSERT(EnumFilter.AllowPrimary + EnumFilter.AllowSecondary > 0);
    ASSERT(EnumFilter.AllowHWDeviceOnPrimary + EnumFilter.AllowHWDeviceOnSecondary + EnumFilter.AllowSWDeviceOnPrimary +
               EnumFilter.AllowSWDeviceOnSecondary + EnumFilter.AllowRefDeviceOnPrimary +
               EnumFilter.AllowRefDeviceOnSecondary >
           0);
    ASSERT(!(EnumFilter.RequireZ && !EnumFilter.AllowZ));
    ASSERT(!(EnumFilter.RequireStencil && !EnumFilter.AllowStencil));
    ASSERT(!(EnumFilter.AllowStencil && !EnumFilter.AllowZ));
    ASSERT(!(EnumFilter.RequireStencil && !EnumFilter.RequireZ));
    ASSERT(!(EnumFilter.RequireStencil && (EnumFilter.MinStencil == 0)));
    ASSERT(EnumFilter.MinZ >= 15);
    ASSERT(EnumFilter.MaxZ <= 32);
    ASSERT(EnumFilter.MinZ <= EnumFilter.MaxZ);
    ASSERT(EnumFilter.MaxStencil <= 8);
    ASSERT(EnumFilter.MinStencil <= EnumFilter.MaxStencil);

    s.Read4CC();

    UINT count = DXInterface.ID3D->GetAdapterCount();
    for (UINT ordinal = 0; ordinal < count; ++ordinal) {
        D3DADAPTER_IDENTIFIER9 id;
        if (FAILED(DXInterface.ID3D->GetAdapterIdentifier(ordinal, 0, &id))) continue;
        bool primary = ordinal == 0;
        if (primary ? !EnumFilter.AllowPrimary : !EnumFilter.AllowSecondary) continue;
        id.Description[MAX_DEVICE_IDENTIFIER_STRING - 1] = 0;
        id.Driver[MAX_DEVICE_IDENTIFIER_STRING - 1] = 0;
        DXAdapter* adapter = new DXAdapter();
        adapter->Adapter = ordinal;
        adapter->DeviceIdentifier = id.DeviceIdentifier;
        adapter->Description = copyString(id.Description);
        adapter->Driver = copyString(id.Driver);
        s.Adapters.Append(adapter);
        if (primary ? EnumFilter.AllowHWDeviceOnPrimary : EnumFilter.AllowHWDeviceOnSecondary)
            s.EnumerateDevice(adapter, D3DDEVTYPE_HAL);
        if (primary ? EnumFilter.AllowSWDeviceOnPrimary : EnumFilter.AllowSWDeviceOnSecondary)
            s.EnumerateDevice(adapter, D3DDEVTYPE_SW);
        if (primary ? EnumFilter.AllowRefDeviceOnPrimary : EnumFilter.AllowRefDeviceOnSecondary)
            s.EnumerateDevice(adapter, D3DDEVTYPE_REF);
    }

    s.Prune();

    if (s.Adapters.Objects == 0) {
        writeRunLog("No supported 3D card found");
        return false;
    }
    return true;
}

void DXSetup::EnumerateDevice(DXAdapter* adapter, D3DDEVTYPE type)
{
    IDirect3D9* d3d = DXInterface.ID3D;
    UINT total = 0;
    for (int f = 0; f < 5; ++f) {
        AdapterFormats[f] = DISPLAY_FORMATS[f];
        NumAdapterModes[f] = d3d->GetAdapterModeCount(adapter->Adapter, DISPLAY_FORMATS[f]);
        total += NumAdapterModes[f];
    }
    if (total == 0) return;

    D3DCAPS9 DeviceCaps;
    if (FAILED(d3d->GetDeviceCaps(adapter->Adapter, type, &DeviceCaps)) || DeviceCaps.MaxSimultaneousTextures == 0)
        return;
    const D3DDEVTYPE DeviceType = type;
    const DXAdapter* Adp = adapter;
    ASSERT(DeviceCaps.DeviceType == DeviceType);
    ASSERT(DeviceCaps.AdapterOrdinal == Adp->Adapter);
    bool hwRaster = (DeviceCaps.DevCaps & D3DDEVCAPS_HWRASTERIZATION) != 0;
    if (hwRaster != (type == D3DDEVTYPE_HAL)) return;

    DXDevice* device = new DXDevice();
    adapter->Devices.Append(device);
    device->DeviceType = type;
    device->IsHardware = type == D3DDEVTYPE_HAL;
    device->SquareOnly = (DeviceCaps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;
    device->Pow2Only = (DeviceCaps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
    device->Perspective = (DeviceCaps.TextureCaps & D3DPTEXTURECAPS_PERSPECTIVE) != 0;
    device->AlphaTextures = (DeviceCaps.TextureCaps & D3DPTEXTURECAPS_ALPHA) != 0;
    device->MipCubeMaps = (DeviceCaps.TextureCaps & D3DPTEXTURECAPS_MIPCUBEMAP) != 0;
    device->SeparateTextureMemories = (DeviceCaps.DevCaps & D3DDEVCAPS_SEPARATETEXTUREMEMORIES) != 0;
    device->MaxTextureBlendStages = DeviceCaps.MaxTextureBlendStages;
    device->WBuffer = (DeviceCaps.RasterCaps & D3DPRASTERCAPS_WBUFFER) && EnumFilter.AllowWBuffer;
    device->WFog = (DeviceCaps.RasterCaps & D3DPRASTERCAPS_WFOG) != 0;
    ASSERT(DeviceCaps.MaxTextureWidth >= 64);
    ASSERT(DeviceCaps.MaxTextureHeight >= 64);
    DWORD smaller = DeviceCaps.MaxTextureWidth < DeviceCaps.MaxTextureHeight ? DeviceCaps.MaxTextureWidth
                                                                             : DeviceCaps.MaxTextureHeight;
    device->MaxTextureWidth = largestPowerOfTwo(smaller);
    device->MaxTextureHeight = device->MaxTextureWidth;
    device->HardwareTnL = device->IsHardware && (DeviceCaps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    if (device->HardwareTnL) adapter->HasHardwareTnL = 1;
    device->MaxActiveLights = device->HardwareTnL ? static_cast<int32_t>(DeviceCaps.MaxActiveLights) : -1;
    device->MaxSimultaneousTextures = DeviceCaps.MaxSimultaneousTextures;
    device->IsReference = type == D3DDEVTYPE_REF;
    device->VertexFog = (DeviceCaps.RasterCaps & D3DPRASTERCAPS_FOGVERTEX) != 0;
    device->TableFog = (DeviceCaps.RasterCaps & D3DPRASTERCAPS_FOGTABLE) != 0;
    device->MipMapLODBias = (DeviceCaps.RasterCaps & D3DPRASTERCAPS_MIPMAPLODBIAS) != 0;
    device->VertexShaderVersion = DeviceCaps.VertexShaderVersion & 0xFFFF;
    device->MaxVertexShaderConst = DeviceCaps.MaxVertexShaderConst;
    device->PixelShaderVersion = DeviceCaps.PixelShaderVersion;
    device->PixelShaders = device->PixelShaderVersion >= 0x100;
    device->VertexShaders = device->VertexShaderVersion >= 0x101;

    if (DeviceCaps.MaxSimultaneousTextures < 2) {
        device->NotSupported |= NOTSUPPORTED_TEXTURES;
        assertFailedMsg(concatStrings("Not Supported: Card only supports ",
                                      intToString(static_cast<int>(DeviceCaps.MaxSimultaneousTextures)), " textures"),
                        "DeviceCaps.MaxSimultaneousTextures >= 2", __FILE__, __LINE__);
    }
    if (DeviceCaps.MaxTextureWidth < 2048) {
        device->NotSupported |= NOTSUPPORTED_TEXTURESIZE;
        assertFailedMsg(concatStrings("Not Supported: Card only supports ",
                                      intToString(static_cast<int>(DeviceCaps.MaxTextureWidth)), " texture width"),
                        "DeviceCaps.MaxTextureWidth >= 2048", __FILE__, __LINE__);
    }
    if (DeviceCaps.MaxTextureHeight < 2048) {
        device->NotSupported |= NOTSUPPORTED_TEXTURESIZE;
        assertFailedMsg(concatStrings("Not Supported: Card only supports ",
                                      intToString(static_cast<int>(DeviceCaps.MaxTextureHeight)), " texture height"),
                        "DeviceCaps.MaxTextureHeight >= 2048", __FILE__, __LINE__);
    }
    if (DeviceCaps.MaxStreams < 3) {
        device->NotSupported |= NOTSUPPORTED_STREAMS;
        assertFailedMsg(concatStrings("Not Supported: Card only supports ",
                                      intToString(static_cast<int>(DeviceCaps.MaxStreams)), " streams"),
                        "DeviceCaps.MaxStreams >= 3", __FILE__, __LINE__);
    }
    if (!(DeviceCaps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP)) {
        device->NotSupported |= NOTSUPPORTED_BLENDOP;
        assertFailedMsg("Not Supported: Card doesn't support blendop", "DeviceCaps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP",
                        __FILE__, __LINE__);
    }

    TakeModeTypes(adapter, device);

    // Per mode: depth and texture formats, one of X8R8G8B8 / A8R8G8B8, a leading default rate.
    for (DXMode* m = device->Modes.First; m; m = m->Next) {
        for (DXModeType* mt = m->ModeTypes.First; mt; mt = mt->Next) {
            ProbeDepth(adapter->Adapter, type, mt->Format, mt->ZBuffers);
            ProbeTextures(adapter->Adapter, type, mt->Format, mt->TextureFormats);
            if (mt->RefreshRates.Objects == 0 || mt->RefreshRates.First->Rate != 0) {
                DXRefreshRate* r = new DXRefreshRate();
                r->Rate = 0;
                mt->RefreshRates.InsertBefore(mt->RefreshRates.First, r);
            }
        }
        bool x8r8g8b8found = false, a8r8g8b8found = false;
        DXModeType* a8 = nullptr;
        for (DXModeType* mt = m->ModeTypes.First; mt; mt = mt->Next) {
            if (mt->Format == D3DFMT_X8R8G8B8) {
                ASSERT(!x8r8g8b8found);
                x8r8g8b8found = true;
            } else if (mt->Format == D3DFMT_A8R8G8B8) {
                ASSERT(!a8r8g8b8found);
                a8r8g8b8found = true;
                a8 = mt;
            }
        }
        if (x8r8g8b8found && a8) m->ModeTypes.Remove(a8);
        ASSERT(m->ModeTypes.Objects > 0);
    }

    CheckTextures(device);

    // The desktop mode, for windowed use.
    D3DCAPS9 again;
    d3d->GetDeviceCaps(adapter->Adapter, type, &again);
    ProbeDesktop(adapter, device);
}

bool DXSetup::ProbeDesktop(DXAdapter* adapter, DXDevice* device)
{
    D3DDISPLAYMODE desktop;
    if (FAILED(DXInterface.ID3D->GetAdapterDisplayMode(adapter->Adapter, &desktop))) return false;
    device->CanDoWindowed = 1;
    device->DesktopMode.Format = desktop.Format;
    device->DesktopMode.Depth = formatDepth(desktop.Format);
    device->DesktopWidth = desktop.Width;
    device->DesktopHeight = desktop.Height;
    device->DesktopMode.ZBuffers.Clear();
    device->DesktopMode.TextureFormats.Clear();
    ProbeDepth(adapter->Adapter, device->DeviceType, desktop.Format, device->DesktopMode.ZBuffers);
    ProbeTextures(adapter->Adapter, device->DeviceType, desktop.Format, device->DesktopMode.TextureFormats);
    if (device->DesktopMode.ZBuffers.Objects == 0) {
        device->CanDoWindowed = 0;
        device->DesktopWidth = 0;
        device->DesktopHeight = 0;
    }
    return true;
}

// Walks every adapter mode of the five display formats and merges the ones the filter keeps.
bool DXSetup::TakeModeTypes(DXAdapter* adapter, DXDevice* device)
{
    IDirect3D9* d3d = DXInterface.ID3D;
    for (int f = 0; f < 5; ++f) {
        D3DFORMAT format = DISPLAY_FORMATS[f];
        for (UINT i = 0; i < NumAdapterModes[f]; ++i) {
            D3DDISPLAYMODE mode;
            if (FAILED(d3d->EnumAdapterModes(adapter->Adapter, format, i, &mode))) continue;
            DWORD rate = EnumFilter.AllowRefreshRates ? mode.RefreshRate : 0;
            if (FAILED(d3d->CheckDeviceFormat(adapter->Adapter, device->DeviceType, format, D3DUSAGE_RENDERTARGET,
                                              D3DRTYPE_SURFACE, format)))
                continue;
            bool sixteen = format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5;
            bool thirtyTwo = format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
            if (!(sixteen && EnumFilter.Allow16BitMode) && !(thirtyTwo && EnumFilter.Allow32BitMode)) continue;
            if (mode.Width < EnumFilter.MinWidth || mode.Width > EnumFilter.MaxWidth) continue;
            if (mode.Height < EnumFilter.MinHeight || mode.Height > EnumFilter.MaxHeight) continue;
            if (rate != 0 && (!EnumFilter.AllowRefreshRates || rate < EnumFilter.MinRefresh || rate > EnumFilter.MaxRefresh))
                continue;

            DXMode* found = nullptr;
            DXMode* before = nullptr;
            for (DXMode* m = device->Modes.First; m; m = m->Next) {
                if (m->Width == mode.Width && m->Height == mode.Height) {
                    found = m;
                    break;
                }
                if (!before && (m->Width > mode.Width || (m->Width == mode.Width && m->Height > mode.Height)))
                    before = m;
            }
            DXModeType* type = nullptr;
            if (found) {
                for (DXModeType* mt = found->ModeTypes.First; mt; mt = mt->Next)
                    if (mt->Format == format) type = mt;
            }
            if (type) {
                // Ascending, no duplicates.
                DXRefreshRate* at = type->RefreshRates.First;
                while (at && at->Rate < rate) at = at->Next;
                if (at && at->Rate == rate) continue;
                DXRefreshRate* r = new DXRefreshRate();
                r->Rate = rate;
                type->RefreshRates.InsertBefore(at, r);
                continue;
            }
            type = new DXModeType();
            type->Format = format;
            type->Depth = formatDepth(format);
            DXRefreshRate* r = new DXRefreshRate();
            r->Rate = rate;
            type->RefreshRates.Append(r);
            DWORD levels = 0;
            if (FAILED(d3d->CheckDeviceMultiSampleType(adapter->Adapter, device->DeviceType, format, FALSE,
                                                       D3DMULTISAMPLE_NONMASKABLE, &levels)))
                levels = 0;
            type->MultiSample[0] = 1;
            type->MultiSample[1] = 0;
            for (int s = 2; s < NUM_MULTISAMPLE_SETTINGS; ++s)
                type->MultiSample[s] = static_cast<DWORD>(s - 2) < levels ? 1 : 0;
            if (!found) {
                found = new DXMode();
                found->Width = mode.Width;
                found->Height = mode.Height;
                device->Modes.InsertBefore(before, found);
            }
            found->ModeTypes.Append(type);
        }
    }
    return device->Modes.Objects > 0;
}

void DXSetup::ProbeDepth(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, ListMngr<DXZBuffer>& out)
{
    IDirect3D9* d3d = DXInterface.ID3D;
    for (const DepthFormat& d : DEPTH_FORMATS) {
        if (!EnumFilter.AllowZ) continue;
        if (!EnumFilter.AllowStencil && d.Stencil > 0) continue;
        if (d.Depth < static_cast<int32_t>(EnumFilter.MinZ) || d.Depth > static_cast<int32_t>(EnumFilter.MaxZ))
            continue;
        if (EnumFilter.AllowStencil && (d.Stencil < static_cast<int32_t>(EnumFilter.MinStencil) ||
                                        d.Stencil > static_cast<int32_t>(EnumFilter.MaxStencil)))
            continue;
        if (FAILED(d3d->CheckDeviceFormat(adapter, type, adapterFormat, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                          d.Format)))
            continue;
        if (FAILED(d3d->CheckDepthStencilMatch(adapter, type, adapterFormat, adapterFormat, d.Format))) continue;
        DXZBuffer* z = new DXZBuffer();
        z->DepthBits = d.Depth;
        z->StencilBits = d.Stencil;
        z->TotalBits = d.Total;
        z->Format = d.Format;
        out.Append(z);
    }
}

void DXSetup::ProbeTextures(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, ListMngr<Tex>& out)
{
    D3DFORMAT candidates[64 + MAX_4CC];
    int n = 0;
    for (D3DFORMAT f : BASIC_TEXTURE_FORMATS) candidates[n++] = f;
    if (EnumFilter.Use4CCFormats)
        for (int32_t i = 0; i < Total4CC && FourCC; ++i) candidates[n++] = static_cast<D3DFORMAT>(FourCC[i]);
    if (EnumFilter.AllowA8Format) candidates[n++] = D3DFMT_A8;
    if (EnumFilter.AllowL8Format) candidates[n++] = D3DFMT_L8;
    if (EnumFilter.AllowLuminanceAlphaFormats) {
        candidates[n++] = D3DFMT_A8L8;
        candidates[n++] = D3DFMT_A4L4;
    }
    if (EnumFilter.AllowYUVFormats) {
        candidates[n++] = D3DFMT_UYVY;
        candidates[n++] = D3DFMT_YUY2;
    }
    if (EnumFilter.AllowPalettedFormats) {
        candidates[n++] = D3DFMT_A8P8;
        candidates[n++] = D3DFMT_P8;
    }
    if (EnumFilter.AllowBumpFormats)
        for (D3DFORMAT f : {D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16})
            candidates[n++] = f;

    IDirect3D9* d3d = DXInterface.ID3D;
    for (int i = 0; i < n; ++i) {
        D3DFORMAT format = candidates[i];
        if (format == D3DFMT_UNKNOWN) {
            assertFailed("Tex->Format != D3DFMT_UNKNOWN", __FILE__, __LINE__);
            continue;
        }
        if (FAILED(d3d->CheckDeviceFormat(adapter, type, adapterFormat, 0, D3DRTYPE_TEXTURE, format))) continue;
        Tex* t = new Tex();
        t->Format = format;
        t->SpecialLayout = 1;
        for (const Layout& l : LAYOUTS) {
            if (l.Format != format) continue;
            t->AlphaBits = l.Bits[0];
            t->RedBits = l.Bits[1];
            t->GreenBits = l.Bits[2];
            t->BlueBits = l.Bits[3];
            t->AlphaShift = l.Shifts[0];
            t->RedShift = l.Shifts[1];
            t->GreenShift = l.Shifts[2];
            t->BlueShift = l.Shifts[3];
            t->BitsPerPixel = l.BitsPerPixel;
            t->SpecialLayout = 0;
        }
        out.Append(t);
    }
    if (!listHasTex(out, D3DFMT_A8R8G8B8)) {
        Tex* t = out.First;
        while (t) t = t->SpecialLayout ? out.Remove(t) : t->Next;
    }
}

// The seven texture formats the game needs, checked on a typical mode.
void DXSetup::CheckTextures(DXDevice* device)
{
    DXMode* chosen = nullptr;
    for (DXMode* m = device->Modes.First; m && !chosen; m = m->Next)
        if (m->Width == 640 && m->Height == 480) chosen = m;
    for (DXMode* m = device->Modes.First; m && !chosen; m = m->Next)
        if (m->Width == 800 && m->Height == 600) chosen = m;
    for (DXMode* m = device->Modes.First; m && !chosen; m = m->Next)
        if (m->Width >= 640 && m->Height >= 480) chosen = m;
    if (!chosen) chosen = device->Modes.First;
    if (!chosen || !chosen->ModeTypes.First) {
        assertFailedMsg("Not Supported: Card mode problem", "false", __FILE__, __LINE__);
        device->NotSupported |= NOTSUPPORTED_MODES;
        return;
    }
    int counted = 0;
    const ListMngr<Tex>& list = chosen->ModeTypes.First->TextureFormats;
    for (const NeededFormat& n : NEEDED_FORMATS) {
        if (listHasTex(list, n.Format)) {
            ++counted;
        } else if (n.Code && EnumFilter.Use4CCFormats && !Listed4CC(n.Format, Total4CC)) {
            // Not the card's fault but the list's, which said so when it was read: the card was
            // never asked for it.
        } else {
            assertFailedMsg(n.Message, "false", __FILE__, __LINE__);
        }
    }
    if (counted != 7) device->NotSupported |= NOTSUPPORTED_MODES;
}

void DXSetup::Prune()
{
    DXAdapter* a = Adapters.First;
    while (a) {
        DXDevice* d = a->Devices.First;
        while (d) {
            if (d->NotSupported != 0 || d->Modes.Objects == 0 || !d->Perspective || !d->AlphaTextures) {
                d = a->Devices.Remove(d);
                continue;
            }
            DXMode* m = d->Modes.First;
            while (m) {
                DXModeType* mt = m->ModeTypes.First;
                while (mt) {
                    bool drop = EnumFilter.RequireZ ? mt->ZBuffers.Objects == 0 : false;
                    if (!drop) drop = mt->RefreshRates.Objects == 0 || mt->TextureFormats.Objects == 0;
                    mt = drop ? m->ModeTypes.Remove(mt) : mt->Next;
                }
                // Exactly one 16-bit and one 32-bit format are what the mode choice expects.
                m = m->ModeTypes.Objects != 2 ? d->Modes.Remove(m) : m->Next;
            }
            d = d->Modes.Objects == 0 ? a->Devices.Remove(d) : d->Next;
        }
        a = a->Devices.Objects == 0 ? Adapters.Remove(a) : a->Next;
    }
}

D3DFORMAT FormatFromBitCode(DWORD code, bool none)
{
    if (none) return D3DFMT_UNKNOWN;
    switch (code) {
    case 332: return D3DFMT_R3G3B2;
    case 444: return D3DFMT_X4R4G4B4;
    case 555: return D3DFMT_X1R5G5B5;
    case 565: return D3DFMT_R5G6B5;
    case 888: return D3DFMT_R8G8B8;
    case 1555: return D3DFMT_A1R5G5B5;
    case 4444: return D3DFMT_A4R4G4B4;
    case 8332: return D3DFMT_A8R3G3B2;
    case 8888: return D3DFMT_A8R8G8B8;
    default: return static_cast<D3DFORMAT>(code);
    }
}
