// DXSetup: loads Direct3D 9 and builds, before any device exists, the tree of what the machine can
// do: adapters -> device types -> display modes -> mode types (display formats) -> refresh rates,
// depth formats, texture formats and multisample settings. Filtered by an EnumFilter and pruned so
// that every entry left is usable.
//
// Order of use: Load (pre-initialisation), SetEnumFilter, Init and Enumerate (from D3DCore::Init),
// queries, Shutdown. The render core keeps indices into the tree, which stays unchanged until
// Shutdown.
#pragma once

#include "dxsetup9/ListMngr.h"
#include "platform/d3d9.h"

// The interfaces shared by the setup and the render device core.
struct TDXInterface {
    IDirect3D9* ID3D;
    IDirect3DDevice9* ID3DDevice;
    D3DADAPTER_IDENTIFIER9 AdapterIdentifier;  // adapter 0, read by DXSetup::Load
    BYTE AdapterIdentifierValid;               // 1 when that read succeeded
};

extern TDXInterface DXInterface;

// What enumeration keeps: eleven 32-bit words, the seventh packing the flags low bit first.
struct EnumFilter {
    DWORD MinWidth;
    DWORD MinHeight;
    DWORD MaxWidth;
    DWORD MaxHeight;
    DWORD MinRefresh;
    DWORD MaxRefresh;
    DWORD Allow16BitMode : 1;
    DWORD Allow32BitMode : 1;
    DWORD AllowRefreshRates : 1;  // off: every rate is recorded as 0, the adapter default
    DWORD AllowPrimary : 1;
    DWORD AllowSecondary : 1;
    DWORD AllowHWDeviceOnPrimary : 1;
    DWORD AllowHWDeviceOnSecondary : 1;
    DWORD AllowSWDeviceOnPrimary : 1;
    DWORD AllowSWDeviceOnSecondary : 1;
    DWORD AllowRefDeviceOnPrimary : 1;
    DWORD AllowRefDeviceOnSecondary : 1;
    DWORD RequireZ : 1;
    DWORD RequireStencil : 1;
    DWORD AllowStencil : 1;
    DWORD AllowZ : 1;
    DWORD Use4CCFormats : 1;
    DWORD AllowA8Format : 1;
    DWORD AllowL8Format : 1;
    DWORD AllowLuminanceAlphaFormats : 1;
    DWORD AllowBumpFormats : 1;
    DWORD AllowYUVFormats : 1;
    DWORD AllowWBuffer : 1;
    DWORD AllowPalettedFormats : 1;
    DWORD UnusedFlags : 9;
    DWORD MinStencil;
    DWORD MaxStencil;
    DWORD MinZ;
    DWORD MaxZ;

    // The defaults.
    EnumFilter();
};
static_assert(sizeof(EnumFilter) == 44);

struct DXRefreshRate : ListRecord<DXRefreshRate> {
    DWORD Rate = 0;
};

struct DXZBuffer : ListRecord<DXZBuffer> {
    int32_t DepthBits = 0;
    int32_t StencilBits = 0;
    int32_t TotalBits = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

// A texture format with its layout; special layouts (luminance, bump, YUV, compressed) have no counts.
struct Tex : ListRecord<Tex> {
    int32_t AlphaBits = 0, RedBits = 0, GreenBits = 0, BlueBits = 0;
    int32_t AlphaShift = 0, RedShift = 0, GreenShift = 0, BlueShift = 0;
    int32_t BitsPerPixel = 0;
    BYTE SpecialLayout = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

const int32_t NUM_MULTISAMPLE_SETTINGS = 17;

// One display format of a mode.
struct DXModeType : ListRecord<DXModeType> {
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    int32_t Depth = 0;  // bits: 16 or 32
    ListMngr<DXRefreshRate> RefreshRates;
    ListMngr<DXZBuffer> ZBuffers;
    ListMngr<Tex> TextureFormats;
    // Setting 0 none (always), 1 never, s >= 2 non-maskable with quality s - 2.
    BYTE MultiSample[NUM_MULTISAMPLE_SETTINGS] = {};
};

struct DXMode : ListRecord<DXMode> {
    DWORD Width = 0;
    DWORD Height = 0;
    ListMngr<DXModeType> ModeTypes;
};

// NotSupported reasons.
enum : DWORD {
    NOTSUPPORTED_TEXTURES = 1,
    NOTSUPPORTED_MODES = 2,
    NOTSUPPORTED_BLENDOP = 8,
    NOTSUPPORTED_TEXTURESIZE = 32,
    NOTSUPPORTED_STREAMS = 64,
};

struct DXDevice : ListRecord<DXDevice> {
    D3DDEVTYPE DeviceType = D3DDEVTYPE_HAL;
    ListMngr<DXMode> Modes;  // ascending by width, then height
    BYTE IsHardware = 0;
    BYTE SquareOnly = 0;
    BYTE Pow2Only = 0;
    BYTE Perspective = 0;
    BYTE AlphaTextures = 0;
    BYTE MipCubeMaps = 0;
    BYTE SeparateTextureMemories = 0;
    DWORD MaxTextureBlendStages = 0;
    BYTE WBuffer = 0;
    BYTE WFog = 0;
    DWORD MaxTextureWidth = 0;
    DWORD MaxTextureHeight = 0;
    int32_t MaxActiveLights = -1;
    DWORD MaxSimultaneousTextures = 0;
    BYTE HardwareTnL = 0;
    BYTE IsReference = 0;
    BYTE VertexFog = 0;
    BYTE TableFog = 0;
    BYTE MipMapLODBias = 0;
    DWORD NotSupported = 0;
    DWORD VertexShaderVersion = 0;
    DWORD MaxVertexShaderConst = 0;
    DWORD PixelShaderVersion = 0;
    BYTE PixelShaders = 0;
    BYTE VertexShaders = 0;
    BYTE CanDoWindowed = 0;
    DXModeType DesktopMode;
    DWORD DesktopWidth = 0;
    DWORD DesktopHeight = 0;
};

struct DXAdapter : ListRecord<DXAdapter> {
    UINT Adapter = 0;
    GUID DeviceIdentifier{};
    char* Description = nullptr;
    char* Driver = nullptr;
    BYTE HasHardwareTnL = 0;
    ListMngr<DXDevice> Devices;
    ~DXAdapter();
};

// At most this many FOURCC codes are taken from data\4CC.txt.
const int32_t MAX_4CC = 256;

class DXSetup {
public:
    // 0 loaded, 1 no runtime library, 2 no entry point or Direct3DCreate9 failed.
    static int Load();
    static void Init();
    static void SetEnumFilter(const ::EnumFilter& filter);
    // True when at least one adapter is left; false at once when the list is already filled.
    static bool Enumerate();
    static void Shutdown();
    // Gives back what Load took when the render core never initialised (its Shutdown does that
    // otherwise): a run that ended before its device, or one without a window. Safe to repeat.
    static void Unload();

    // Test seam: the object as static construction leaves it.
    static void ResetObject();

    ::EnumFilter EnumFilter;
    ListMngr<DXAdapter> Adapters;
    PFN_Direct3DCreate9 Create = nullptr;
    UINT NumAdapterModes[5] = {};
    D3DFORMAT AdapterFormats[5] = {};
    BYTE Initialised = 0;
    BYTE DDrawLoaded = 0;
    HMODULE DirectDraw = nullptr;
    int32_t Total4CC = 0;
    DWORD* FourCC = nullptr;

    DXSetup() = default;
    ~DXSetup();

    // Reads data\4CC.txt into FourCC / Total4CC.
    void Read4CC();
    // Under the list's read: reports each compressed format the game needs that is not among the
    // first `read` codes, as the card will not be asked for it.
    void ReportUnread4CC(int32_t read);
    // Whether the format is among the first `count` codes read from data\4CC.txt.
    bool Listed4CC(D3DFORMAT format, int32_t count) const;
    // Reads the adapter's display mode into the device's desktop mode and probes its depth and
    // texture formats again; false (nothing changed) when the mode cannot be read.
    bool ProbeDesktop(DXAdapter* adapter, DXDevice* device);

private:
    void EnumerateDevice(DXAdapter* adapter, D3DDEVTYPE type);
    bool TakeModeTypes(DXAdapter* adapter, DXDevice* device);
    void ProbeDepth(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, ListMngr<DXZBuffer>& out);
    void ProbeTextures(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, ListMngr<Tex>& out);
    void CheckTextures(DXDevice* device);
    void Prune();
};

extern class DXSetup DXSetup;

// The run log's adapter line: "<description> (<driver version>) [<version>]" and " WHQL" for a
// certified driver; false until the adapter identifier has been read. Load registers it.
bool describeAdapterForRunLog(char* line, size_t size);

// Texture-format numbers of material files: 332 R3G3B2, 444 X4R4G4B4, 555 X1R5G5B5, 565 R5G6B5,
// 888 R8G8B8, 1555 A1R5G5B5, 4444 A4R4G4B4, 8332 A8R3G3B2, 8888 A8R8G8B8; any other value is taken as
// a D3DFORMAT already. With none set, D3DFMT_UNKNOWN.
D3DFORMAT FormatFromBitCode(DWORD code, bool none);
