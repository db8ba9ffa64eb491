#include "d3dcore9/D3DCore.h"

#include "d3dcore9/LogWriter.h"
#include "d3dcore9/MaterialTables.h"
#include "d3dcore9/RenderMatrix.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cmath>
#include <cstring>
#include <new>

class D3DCore D3DCore;

namespace {

D3DCoreHost defaultHost;
D3DCoreHost* host = nullptr;

const UINT PRESENT_INTERVALS[4] = {D3DPRESENT_INTERVAL_ONE, D3DPRESENT_INTERVAL_TWO, D3DPRESENT_INTERVAL_THREE,
                                   D3DPRESENT_INTERVAL_FOUR};

// How many message pumps RestoreDevice waits for the device to become resettable.
const int RESTORE_WAIT_PUMPS = 1000;

void onActivate() { ::D3DCore.FrameCount = 0; }
void onDeactivate() {}

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

int32_t clampInterval(int32_t Interval)
{
    ASSERT(Interval >= 1 && Interval <= 4);
    return Interval < 1 ? 1 : (Interval > 4 ? 4 : Interval);
}

}  // namespace

D3DCore::D3DCore()
{
    for (int i = 0; i < 256; ++i) {
        FactorLookup[i] = static_cast<int32_t>(((std::sin((i * 0.7058824 - 90) * 0.017453292) + 1) * 255 + 1) * 0.5);
        ASSERT(FactorLookup[i] >= 0 && FactorLookup[i] <= 255);
    }
    std::memset(RenderStates, 0xFF, sizeof(RenderStates));
    std::memset(StageStates, 0xFF, sizeof(StageStates));
    std::memset(RenderStateDefaults, 0xFF, sizeof(RenderStateDefaults));
    std::memset(StageStateDefaults, 0xFF, sizeof(StageStateDefaults));
    InvalidateStateCache();
    RenderMatrix::identity(WorldMatrix);
    RenderMatrix::identity(ViewMatrix);
    RenderMatrix::identity(ProjectionMatrix);
    RenderMatrix::identity(ViewProjection);
    RenderMatrix::identity(CameraRotation);
    RenderMatrix::identity(CameraTextureMatrix);
    ResetGammaRamp();
    TextureTable::SetUserFinder(materialtables::TextureUser);
}

D3DCore::~D3DCore()
{
    // Materials hold shader slots: they go while the tables still stand.
    StateBlocks.FreeMaterials();
    // Memory only: the state blocks the lists refer to are gone already.
    DisplayHandles.Clear();
    ClearMBlocks();
    ClearVertexShaders();
    ClearPixelShaders();
}

void D3DCore::SetHost(D3DCoreHost* h) { host = h; }
D3DCoreHost& D3DCore::Host() { return host ? *host : defaultHost; }

void D3DCore::ResetObject()
{
    ::D3DCore.~D3DCore();
    new (&::D3DCore) class D3DCore();
}

EnumFilter GameEnumFilter()
{
    EnumFilter filter;
    filter.MinWidth = 640;
    filter.MinHeight = 480;
    filter.MaxWidth = 1600;
    filter.MaxHeight = 1200;
    filter.Allow16BitMode = 1;
    filter.Allow32BitMode = 1;
    filter.AllowHWDeviceOnPrimary = 1;
    filter.AllowHWDeviceOnSecondary = 0;
    filter.AllowSWDeviceOnPrimary = 0;
    filter.AllowSWDeviceOnSecondary = 0;
    filter.AllowRefDeviceOnPrimary = 0;
    filter.AllowRefDeviceOnSecondary = 0;
    return filter;
}

// ---- Life ----

bool D3DCore::Init()
{
    // A second start would find the tree filled, fail and shut it down under the live choice.
    if (!VERIFY(!Initialised)) return false;
    DXSetup::Init();
    if (!Host().MainWindow()) assertFailed("WinCore.MainWindowHandle", __FILE__, __LINE__);
    if (!DXSetup::Enumerate()) {
        DXSetup::Shutdown();
        return false;
    }
    ShellActivateIndex = Host().RegisterShellFunc(0, onActivate);
    ShellDeactivateIndex = Host().RegisterShellFunc(1, onDeactivate);
    for (float& f : RandomFloats) f = static_cast<float>(crtRand()) / 32767.0f;
    for (auto& table : RandomBytes)
        for (BYTE& b : table) b = static_cast<BYTE>(crtRand() & 0xFF);
    Initialised = 1;
    return true;
}

void D3DCore::Shutdown()
{
    ASSERT(Initialised);
    if (DeviceActive) {
        assertFailed("!D3DCore.DeviceActive", __FILE__, __LINE__);
        // The device's records live in the tree that goes below.
        ReleaseDevice();
    }
    if (ShellActivateIndex >= 0) Host().UnregisterShellFunc(0, ShellActivateIndex);
    if (ShellDeactivateIndex >= 0) Host().UnregisterShellFunc(1, ShellDeactivateIndex);
    ShellActivateIndex = ShellDeactivateIndex = -1;
    ReleaseTextures(0, 0, false);
    DXSetup::Shutdown();
    for (int j = 0; j < NUM_D3DCOREFUNC_TYPES; ++j)
        for (int i = 0; i < NUM_D3DCOREFUNC_SLOTS; ++i) {
            if (D3DCoreFunc[j][i] != NULL) assertFailed("D3DCore.D3DCoreFunc[j][i] == NULL", __FILE__, __LINE__);
            D3DCoreFunc[j][i] = nullptr;
        }
    pAdapter = nullptr;
    pDevice = nullptr;
    pMode = nullptr;
    pModeType = nullptr;
    pRefresh = nullptr;
    pZBuffer = nullptr;
    ZBufferList = nullptr;
    ActualZFormat = nullptr;
    Initialised = 0;
}

bool D3DCore::ValidateChoice(int32_t RAdapter, int32_t RDevice, DXAdapter** adapter, DXDevice** device) const
{
    if (!VERIFY(RAdapter >= 0 && RAdapter < DXSetup.Adapters.Objects)) return false;
    *adapter = DXSetup.Adapters[RAdapter];
    DXAdapter* Adapter = *adapter;
    if (!VERIFY(RDevice >= 0 && RDevice < Adapter->Devices.Objects)) return false;
    *device = Adapter->Devices[RDevice];
    return true;
}

void D3DCore::SetMode(int32_t RAdapter, int32_t RDevice, int32_t RMode, int32_t RFormat, int32_t RRefresh,
                      int32_t RZBuf, bool RFullScreen, BYTE optionA, BYTE optionB, int32_t multiSample)
{
    DXAdapter* adapter;
    DXDevice* Device;
    if (!ValidateChoice(RAdapter, RDevice, &adapter, &Device)) return;
    if (!VERIFY(RMode >= 0 && RMode < Device->Modes.Objects)) return;
    DXMode* Mode = Device->Modes[RMode];
    if (!VERIFY(RFormat >= 0 && RFormat < Mode->ModeTypes.Objects)) return;
    DXModeType* ModeType = Mode->ModeTypes[RFormat];
    if (!VERIFY(RRefresh >= 0 && RRefresh < ModeType->RefreshRates.Objects)) return;
    DXZBuffer* zbuffer;
    if (RFullScreen) {
        if (!VERIFY(RZBuf >= 0 && RZBuf < ModeType->ZBuffers.Objects)) return;
        zbuffer = ModeType->ZBuffers[RZBuf];
    } else {
        bool zbufferOK = VERIFY(RZBuf >= 0 && RZBuf < Device->DesktopMode.ZBuffers.Objects);
        ASSERT(RFullScreen || Device->CanDoWindowed);
        if (Device->DesktopMode.ZBuffers.Objects == 0 || Device->DesktopMode.TextureFormats.Objects == 0) {
            // The desktop cannot serve a window: nothing sensible can run.
            DXErrorReport(D3DCORE_ERR_SCREEN_MODE);
            stopRun("as the desktop's screen mode cannot show the game in a window", false);
        }
        if (!zbufferOK) return;
        zbuffer = Device->DesktopMode.ZBuffers[RZBuf];
    }
    AdapterIndex = RAdapter;
    DeviceIndex = RDevice;
    ModeIndex = RMode;
    FormatIndex = RFormat;
    RefreshIndex = RRefresh;
    ZBufferIndex = RZBuf;
    FullScreen = RFullScreen ? 1 : 0;
    pAdapter = adapter;
    pDevice = Device;
    pMode = Mode;
    pModeType = RFullScreen ? ModeType : nullptr;
    pRefresh = RFullScreen ? ModeType->RefreshRates[RRefresh] : nullptr;
    pZBuffer = zbuffer;
    ZBufferList = RFullScreen ? &ModeType->ZBuffers : &Device->DesktopMode.ZBuffers;
    ScreenWidth = Mode->Width;
    ScreenHeight = Mode->Height;
    OverrideSize = 0;
    OptionA = optionA;
    OptionB = optionB;
    ReqMultiSampleType = multiSample;
}

void D3DCore::FillPresentInterval()
{
    PresentParameters.Flags = 0;
    if (!FullScreen) PresentParameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    else if (VSync) PresentParameters.PresentationInterval = PRESENT_INTERVALS[Interval - 1];
    else PresentParameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
}

void D3DCore::FillMultiSample()
{
    if (ReqMultiSampleType == 0) {
        PresentParameters.MultiSampleType = D3DMULTISAMPLE_NONE;
        PresentParameters.MultiSampleQuality = 0;
    } else {
        ASSERT(ReqMultiSampleType >= 2);
        PresentParameters.MultiSampleType =
            ReqMultiSampleType >= 2 ? D3DMULTISAMPLE_NONMASKABLE : D3DMULTISAMPLE_NONE;
        PresentParameters.MultiSampleQuality = ReqMultiSampleType >= 2 ? ReqMultiSampleType - 2 : 0;
    }
}

bool D3DCore::CreateDevice(bool multiThreaded, bool vSync, int32_t interval)
{
    VSync = vSync ? 1 : 0;
    ReleaseDevice();
    Interval = clampInterval(interval);
    if (!VERIFY(pDevice != NULL && pZBuffer != NULL && DXInterface.ID3D != NULL)) return false;

    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = GetScreenWidth();
    pp.BackBufferHeight = GetScreenHeight();
    pp.BackBufferFormat = FullScreen ? pMode->ModeTypes[FormatIndex]->Format : pDevice->DesktopMode.Format;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = Host().MainWindow();
    pp.Windowed = FullScreen ? FALSE : TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.FullScreen_RefreshRateInHz = FullScreen && pRefresh ? pRefresh->Rate : 0;
    PresentParameters = pp;
    FillMultiSample();
    FillPresentInterval();
    pp = PresentParameters;

    SoftwareShaders = 0;
    if (!pDevice->HardwareTnL) {
        VertexProcessing = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    } else if (!pDevice->VertexShaders) {
        VertexProcessing = D3DCREATE_MIXED_VERTEXPROCESSING;
        SoftwareShaders = 1;
    } else {
        VertexProcessing = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    }
    DWORD behaviour = VertexProcessing | (multiThreaded ? D3DCREATE_MULTITHREADED : 0);

    // Only the depth format is varied: from the chosen record on through the same list.
    HRESULT Err = D3DERR_NOTAVAILABLE;
    IDirect3DDevice9* created = nullptr;
    DXZBuffer* z = pZBuffer;
    for (; z; z = z->Next) {
        pp.AutoDepthStencilFormat = z->Format;
        Err = DXInterface.ID3D->CreateDevice(pAdapter->Adapter, pDevice->DeviceType, Host().MainWindow(), behaviour,
                                             &pp, &created);
        if (SUCCEEDED(Err) && created) break;
        created = nullptr;
    }
    if (!created) {
        ReleaseDevice();
        DXErrorReport(Err);
        return false;
    }

    PresentParameters = pp;
    SaveFullScreenPresent();
    ActualZFormat = z;
    DXInterface.ID3DDevice = created;
    Err = created->SetPixelShader(nullptr);
    ASSERT(Err == D3D_OK);
    DeviceActive = 1;
    ReadVBIBConfig();

    CurrentAdapter = pAdapter;
    CurrentDevice = pDevice;
    CurrentMode = pMode;
    CurrentModeType = pModeType;
    CurrentRefresh = pRefresh;
    CurrentZBuffer = z;
    SetFullViewPort();
    FrameViewPort = LastViewPort;
    if (!FullScreen) {
        CurrentModeType = &pDevice->DesktopMode;
        Host().SetClientSize(GetScreenWidth(), GetScreenHeight());
    }
    Host().SetSystemCursor(!FullScreen);
    Host().BringToForeground();
    Host().SetFullScreen(FullScreen != 0);

    CreateDynamicBuffers();

    RenderMatrix::identity(WorldMatrix);
    SetWorldMatrix(WorldMatrix);
    LoadWhitePalette();
    if (CurrentPalette >= 0) created->SetCurrentTexturePalette(0);
    CurrentPalette = -1;
    for (auto& s : StreamSources) s = nullptr;
    // A new device has nothing bound; a texture freed with the old one may come back at its address.
    for (auto& t : Textures) t = nullptr;
    VertexShader = SHADER_UNKNOWN;
    PixelShader = SHADER_UNKNOWN;
    FVF = 0;
    Declaration = nullptr;
    VSConstantsLow = PSConstantsLow = 1000;
    VSConstantsHigh = PSConstantsHigh = -1000;
    ClearMBlocks();
    TimerStart = Host().ReadTimeStampCounter();
    TimerRate = Host().GetProcessorClock();
    return true;
}

void D3DCore::ReleaseDevice()
{
    if (!DeviceActive) return;
    ReleaseDebugTextBuffer();
    ReleaseDynamicBuffers();
    FreeDisplayHandles();
    if (DXInterface.ID3DDevice) DXInterface.ID3DDevice->Release();
    DXInterface.ID3DDevice = nullptr;
    CurrentAdapter = nullptr;
    CurrentDevice = nullptr;
    CurrentMode = nullptr;
    CurrentModeType = nullptr;
    CurrentRefresh = nullptr;
    CurrentZBuffer = nullptr;
    DeviceActive = 0;
    Host().SetFullScreen(false);
    if (GenericMaterials != 0)
        assertFailedMsg(concatStrings(intToString(GenericMaterials), "generic materials not freed"),
                        "GenericMaterials == 0", __FILE__, __LINE__);
}

void D3DCore::SetPresentOptions(bool vSync, int32_t interval, BYTE optionA, BYTE optionB, int32_t multiSample,
                                bool resetNow)
{
    interval = clampInterval(interval);
    if ((vSync ? 1 : 0) == VSync && interval == Interval && optionA == OptionA && optionB == OptionB &&
        multiSample == ReqMultiSampleType)
        return;
    VSync = vSync ? 1 : 0;
    Interval = interval;
    OptionA = optionA;
    OptionB = optionB;
    ReqMultiSampleType = multiSample;
    FillMultiSample();
    FillPresentInterval();
    if (resetNow && DeviceActive && device()) {
        // Default-pool resources go before the reset and come back after it, as every reset needs.
        if (!DeviceLost) LoseDevice();
        HRESULT Err = device()->Reset(&PresentParameters);
        ASSERT(Err == D3D_OK);
        RestoreLostDevice();
        InvalidateStateCache();
    }
}

void D3DCore::SetMultiSample(int32_t multiSample, bool resetNow)
{
    SetPresentOptions(VSync != 0, Interval, OptionA, OptionB, multiSample, resetNow);
}

void D3DCore::SetFullViewPort()
{
    LastViewPort = D3DVIEWPORT9{0, 0, PresentParameters.BackBufferWidth, PresentParameters.BackBufferHeight, 0.0f, 1.0f};
    FullViewPortWidth = LastViewPort.Width;
    FullViewPortHeight = LastViewPort.Height;
    ASSERT(LastViewPort.Height != 478);
    if (device()) {
        HRESULT Err = device()->SetViewport(&LastViewPort);
        ASSERT(Err == D3D_OK);
    }
}

HRESULT D3DCore::ResetLooping()
{
    HRESULT Err = device()->Reset(&PresentParameters);
    while (Err == D3DERR_DEVICELOST) {
        Host().ProcessMessages();
        Err = device()->Reset(&PresentParameters);
    }
    return Err;
}

// After every reset: the projection, the full viewport, the device's own resources and a cache
// that no longer knows what the device holds.
void D3DCore::AfterReset()
{
    SetPerspective(NearZ, FarZ, ScaleX, ScaleY, true);
    SetFullViewPort();
    FrameViewPort = LastViewPort;
    RestoreLostDevice();
    InvalidateStateCache();
}


int32_t D3DCore::ChangeMode(int32_t RAdapter, int32_t RDevice, int32_t RMode, int32_t formatIndex, bool force,
                            int32_t multiSampleFallBack)
{
    DXAdapter* adapter;
    DXDevice* Device;
    if (!ValidateChoice(RAdapter, RDevice, &adapter, &Device)) return ReqMultiSampleType;
    if (RMode < 0 || RMode >= Device->Modes.Objects) {
        assertFailed("RMode < Device->Modes.Objects", __FILE__, __LINE__);
        return ReqMultiSampleType;
    }
    DXMode* Mode = Device->Modes[RMode];
    if (!VERIFY(DeviceActive && device() != NULL)) return ReqMultiSampleType;
    DXModeType* ModeType = nullptr;
    for (DXModeType* mt = Mode->ModeTypes.First; mt && !ModeType; mt = mt->Next)
        if (mt->Depth == (formatIndex != 0 ? 32 : 16)) ModeType = mt;
    if (!VERIFY(ModeType != NULL)) return ReqMultiSampleType;
    ListMngr<DXZBuffer>* depthList = &ModeType->ZBuffers;
    DXModeType* used = Mode->ModeTypes[formatIndex];
    if (!VERIFY(used != NULL)) return ReqMultiSampleType;

    D3DFORMAT format = used->Format;
    if (!FullScreen) {
        D3DDISPLAYMODE display;
        if (SUCCEEDED(device()->GetDisplayMode(0, &display))) format = display.Format;
    }
    if (Mode->Width == PresentParameters.BackBufferWidth && Mode->Height == PresentParameters.BackBufferHeight &&
        format == PresentParameters.BackBufferFormat && !force)
        return ReqMultiSampleType;

    // The depth record is chosen before the device is touched: without one the mode is refused.
    DXZBuffer* z = nullptr;
    bool deep = format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8;
    for (DXZBuffer* r = depthList->First; r && !z; r = r->Next) {
        if (deep ? (r->Format == D3DFMT_D32 || r->Format == D3DFMT_D24X8 || r->Format == D3DFMT_D24S8)
                 : r->Format == D3DFMT_D16)
            z = r;
    }
    if (!z) {
        assertFailed("ActualZFormat != NULL", __FILE__, __LINE__);
        return ReqMultiSampleType;
    }

    if (!DeviceLost) LoseDevice();
    ActualZFormat = z;
    PresentParameters.BackBufferFormat = format;
    PresentParameters.BackBufferWidth = Mode->Width;
    PresentParameters.BackBufferHeight = Mode->Height;
    PresentParameters.AutoDepthStencilFormat = z->Format;
    if (FullScreen) PresentParameters.FullScreen_RefreshRateInHz = used->RefreshRates.First ? used->RefreshRates.First->Rate : 0;

    HRESULT Err = ResetLooping();
    if (FAILED(Err) && ReqMultiSampleType != 0 && multiSampleFallBack != 0) {
        if (multiSampleFallBack > 0) {
            ReqMultiSampleType = 0;
            FillMultiSample();
            Err = ResetLooping();
        } else {
            while (FAILED(Err) && ReqMultiSampleType != 0) {
                --ReqMultiSampleType;
                if (ReqMultiSampleType == 1) ReqMultiSampleType = 0;
                FillMultiSample();
                Err = ResetLooping();
            }
        }
    }
    ASSERT(Err == D3D_OK);
    SaveFullScreenPresent();

    AdapterIndex = RAdapter;
    DeviceIndex = RDevice;
    ModeIndex = RMode;
    FormatIndex = formatIndex;
    pAdapter = adapter;
    pDevice = Device;
    pMode = Mode;
    CurrentMode = Mode;
    if (FullScreen) {
        pModeType = used;
        CurrentModeType = used;
        pRefresh = used->RefreshRates.First;
        CurrentRefresh = pRefresh;
    }
    CurrentZBuffer = z;
    ScreenWidth = Mode->Width;
    ScreenHeight = Mode->Height;
    AfterReset();
    if (!Host().MainWindow()) assertFailed("WinCore.MainWindowHandle", __FILE__, __LINE__);
    Host().SetClientSize(PresentParameters.BackBufferWidth, PresentParameters.BackBufferHeight);
    return ReqMultiSampleType;
}

// A reactivation restores the values last in force before the desktop: those of the device's
// creation or latest mode change, until the game switches to the desktop.
void D3DCore::SaveFullScreenPresent()
{
    SavedBackBufferFormat = PresentParameters.BackBufferFormat;
    SavedRefreshRate = PresentParameters.FullScreen_RefreshRateInHz;
    SavedPresentationInterval = PresentParameters.PresentationInterval;
}

void D3DCore::SwitchToDesktop()
{
    if (!VERIFY(DeviceActive && device() != NULL)) return;
    D3DDISPLAYMODE display{};
    device()->GetDisplayMode(0, &display);
    SaveFullScreenPresent();
    PresentParameters.BackBufferFormat = display.Format;
    PresentParameters.Windowed = TRUE;
    PresentParameters.FullScreen_RefreshRateInHz = 0;
    PresentParameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    PresentParameters.BackBufferWidth = Host().GetScreenWidth();
    PresentParameters.BackBufferHeight = Host().GetScreenHeight();
    if (!DeviceLost) LoseDevice();
    HRESULT Err = device()->Reset(&PresentParameters);
    ASSERT(Err == D3D_OK);
    AfterReset();
    Host().SetFullScreenWindow();
    Host().ShowMainWindow(true);
}

void D3DCore::RestoreDevice()
{
    if (!VERIFY(DeviceActive && device() != NULL)) return;
    Host().RestoreWindow();
    PresentParameters.BackBufferFormat = SavedBackBufferFormat;
    PresentParameters.FullScreen_RefreshRateInHz = SavedRefreshRate;
    PresentParameters.PresentationInterval = SavedPresentationInterval;
    PresentParameters.Windowed = FALSE;
    PresentParameters.BackBufferWidth = GetScreenWidth();
    PresentParameters.BackBufferHeight = GetScreenHeight();
    if (FAILED(device()->TestCooperativeLevel())) {
        while (device()->TestCooperativeLevel() == D3DERR_DEVICELOST) Host().ProcessMessages();
    }
    Host().RestoreWindow();
    if (!DeviceLost) LoseDevice();
    HRESULT Err = device()->Reset(&PresentParameters);
    if (FAILED(Err)) {
        Host().RestoreWindow();
        // The wait is bounded: a device that never becomes resettable is left lost.
        for (int i = 0; i < RESTORE_WAIT_PUMPS && device()->TestCooperativeLevel() != D3DERR_DEVICENOTRESET; ++i)
            Host().ProcessMessages();
        Err = device()->Reset(&PresentParameters);
        ASSERT(Err == D3D_OK);
    }
    AfterReset();
    Host().SetFullScreenWindow();
    Host().ShowMainWindow(true);
}

void D3DCore::LoseDevice()
{
    ReleaseDebugTextBuffer();
    LoseDynamicBuffers();
    RunFuncs(0);
}

void D3DCore::RestoreLostDevice()
{
    RestoreDynamicBuffers();
    if (FontLoaded) CreateDebugTextBuffer();
    DeviceLost = 0;
    Host().SetDeviceNotReady(false);
    VertexShader = SHADER_UNKNOWN;
    PixelShader = SHADER_UNKNOWN;
    FVF = 0;
    Declaration = nullptr;
    if (device()) {
        HRESULT Err = device()->SetViewport(&LastViewPort);
        ASSERT(Err == D3D_OK);
        SetPerspective(NearZ, FarZ, ScaleX, ScaleY, true);
        device()->SetTransform(D3DTS_WORLD, &WorldMatrix);
        device()->SetTransform(D3DTS_VIEW, &ViewMatrix);
    }
    RunFuncs(1);
    // A reset unbinds every texture: the cache must not skip the next SetTexture.
    for (auto& t : Textures) t = nullptr;
    ResendPalettes();
    ForceRenderDefaults();
}

void D3DCore::SetPerspective(float nearZ, float farZ, float scaleX, float scaleY, bool force)
{
    if (!force && nearZ == NearZ && farZ == FarZ && scaleX == ScaleX && scaleY == ScaleY &&
        FarMultiplier == PerspectiveFarMultiplier)
        return;
    // Before any perspective was given (a restore re-applies the stored zeros) the projection in
    // force stays: identity, or the last valid one.
    if (scaleX == 0 || scaleY == 0 || nearZ == farZ) {
        if (force && device()) device()->SetTransform(D3DTS_PROJECTION, &ProjectionMatrix);
        return;
    }
    // The far distance is kept as given: the stretch is applied to the matrix only, so repeated
    // depth-bias changes do not compound it.
    NearZ = nearZ;
    FarZ = farZ;
    ScaleX = scaleX;
    ScaleY = scaleY;
    PerspectiveFarMultiplier = FarMultiplier;
    float f = FarMultiplier != 0 ? farZ * 1.07f : farZ;
    D3DMATRIX m{};
    m.m[0][0] = 2 * nearZ / scaleX;
    m.m[1][1] = 2 * nearZ / scaleY;
    m.m[2][2] = f / (f - nearZ);
    m.m[3][2] = -m.m[2][2] * nearZ;
    m.m[2][3] = 1;
    ProjectionMatrix = m;
    RenderMatrix::multiply(ViewProjection, ViewMatrix, ProjectionMatrix);
    ASSERT(DeviceActive);
    ASSERT(DXInterface.ID3DDevice != NULL);
    if (!device()) return;
    HRESULT Err = device()->SetTransform(D3DTS_PROJECTION, &ProjectionMatrix);
    ASSERT(Err == D3D_OK);
}

uint32_t D3DCore::GetScreenWidth() const { return OverrideSize ? OverrideWidth : ScreenWidth; }
uint32_t D3DCore::GetScreenHeight() const { return OverrideSize ? OverrideHeight : ScreenHeight; }

void D3DCore::SetOverrideSize(uint32_t width, uint32_t height)
{
    OverrideWidth = width;
    OverrideHeight = height;
    OverrideSize = 1;
}

void D3DCore::ClearOverrideSize() { OverrideSize = 0; }

// ---- Palettes ----

void D3DCore::SetPalette(int32_t Num, const PALETTEENTRY* entries)
{
    if (!VERIFY(Num >= 0) || !VERIFY(Num < MAXPALETTES) || !entries) return;
    std::memcpy(Palettes[Num], entries, sizeof(Palettes[Num]));
    PaletteInUse[Num] = 1;
    LastPalette = Num;
    if (device()) device()->SetPaletteEntries(static_cast<UINT>(Num), Palettes[Num]);
}

bool D3DCore::PaletteUsed(int32_t i) const { return i >= 0 && i < MAXPALETTES && PaletteInUse[i]; }

void D3DCore::FreePalette(int32_t Num)
{
    if (VERIFY(Num >= 0 && Num < MAXPALETTES)) PaletteInUse[Num] = 0;
}

// Device palette 0 all white, for palettised textures drawn without one of their own. It takes no
// slot of the table, which stays free for a texture.
void D3DCore::LoadWhitePalette()
{
    PALETTEENTRY white[256];
    std::memset(white, 0xFF, sizeof(white));
    if (device()) device()->SetPaletteEntries(0, white);
}

void D3DCore::ResendPalettes()
{
    if (!device()) return;
    int32_t previous = CurrentPalette;
    bool any = false;
    for (int32_t i = 0; i < MAXPALETTES; ++i) {
        if (!PaletteUsed(i)) continue;
        any = true;
        device()->SetPaletteEntries(static_cast<UINT>(i), Palettes[i]);
    }
    CurrentPalette = -1;
    if (!any) {
        LoadWhitePalette();
        if (previous != 0) {
            device()->SetCurrentTexturePalette(0);
            CurrentPalette = 0;
        }
    } else if (LastPalette >= 0 && LastPalette != CurrentPalette) {
        device()->SetCurrentTexturePalette(static_cast<UINT>(LastPalette));
        CurrentPalette = LastPalette;
    }
}

// ---- Callbacks ----

D3DCoreFuncHandle D3DCore::RegisterFunc(DWORD type, D3DCoreFuncPtr func)
{
    ASSERT(DeviceActive);
    if (!VERIFY(type < static_cast<DWORD>(NUM_D3DCOREFUNC_TYPES))) return D3DCoreFuncHandle{type, -1};
    for (int32_t i = 0; i < NUM_D3DCOREFUNC_SLOTS; ++i)
        if (!D3DCoreFunc[type][i]) {
            D3DCoreFunc[type][i] = func;
            return D3DCoreFuncHandle{type, i};
        }
    ASSERT(false);
    return D3DCoreFuncHandle{type, -1};
}

void D3DCore::UnregisterFunc(D3DCoreFuncHandle Handle)
{
    if (!VERIFY(Handle.Type < static_cast<DWORD>(NUM_D3DCOREFUNC_TYPES) && Handle.Index >= 0 &&
                Handle.Index < NUM_D3DCOREFUNC_SLOTS))
        return;
    ASSERT(D3DCoreFunc[Handle.Type][Handle.Index] != NULL);
    D3DCoreFunc[Handle.Type][Handle.Index] = nullptr;
}

void D3DCore::RunFuncs(DWORD type)
{
    if (type >= static_cast<DWORD>(NUM_D3DCOREFUNC_TYPES)) return;
    for (int32_t i = 0; i < NUM_D3DCOREFUNC_SLOTS; ++i)
        if (D3DCoreFunc[type][i]) D3DCoreFunc[type][i]();
}
