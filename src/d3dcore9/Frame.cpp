// D3DCore: one frame (begin, end, present), the callbacks run around it, and the viewports.
#include "d3dcore9/D3DCore.h"

#include "utility/Assert.h"

#include <cmath>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

const DWORD MARGIN_COLOUR = 0xD0400000u;
const DWORD MARGIN_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

struct MarginVertex {
    float x, y, z, rhw;
    DWORD colour;
};
static_assert(sizeof(MarginVertex) == 20);

DWORD colourOf(int32_t r, int32_t g, int32_t b)
{
    return 0xFF000000u | (static_cast<DWORD>(r & 0xFF) << 16) | (static_cast<DWORD>(g & 0xFF) << 8) |
           static_cast<DWORD>(b & 0xFF);
}

// What the margin strips take of the mode size: half of the part beyond 99% (kept even).
int32_t marginOf(uint32_t size)
{
    const int32_t kept = static_cast<int32_t>(std::floor(0.99 * size)) & ~1;
    return (static_cast<int32_t>(size) - kept) / 2;
}

}  // namespace

bool D3DCore::HasStencil() const { return ActualZFormat && ActualZFormat->StencilBits > 0; }

// ---- Callbacks ----

void D3DCore::ClearFuncs()
{
    for (int j = 0; j < NUM_D3DCOREFUNC_TYPES; ++j)
        for (int i = 0; i < NUM_D3DCOREFUNC_SLOTS; ++i) {
            if (D3DCoreFunc[j][i] != NULL) assertFailed("D3DCore.D3DCoreFunc[j][i] == NULL", __FILE__, __LINE__);
            D3DCoreFunc[j][i] = nullptr;
        }
}

// ---- Colours and timing ----

void D3DCore::SetClearColour(bool enable, int32_t r, int32_t g, int32_t b)
{
    ClearColourEnabled = enable ? 1 : 0;
    if (enable) ClearColour = colourOf(r, g, b);
}

void D3DCore::SetBorderColour(bool enable, int32_t r, int32_t g, int32_t b, BYTE flag)
{
    BorderColourEnabled = enable ? 1 : 0;
    if (enable) BorderColour = colourOf(r, g, b);
    BorderFlag = flag;
}

void D3DCore::SetFade(int32_t alpha)
{
    int32_t Alpha = alpha;
    if (!VERIFY(Alpha >= 0)) Alpha = 0;
    if (!VERIFY(Alpha <= 255)) Alpha = 255;
    FadeAlpha = Alpha;
    // The fade is the alpha that auto-transparent draws put into their material's colour.
    AutoTransparencyAlpha = static_cast<BYTE>(Alpha);
}

void D3DCore::ClearTarget(DWORD colour)
{
    if (!device()) return;
    HRESULT Err = device()->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0);
    ASSERT(Err == D3D_OK);
}

void D3DCore::ClearZBuffer()
{
    if (!device()) return;
    HRESULT Err = device()->Clear(0, nullptr, D3DCLEAR_ZBUFFER | (HasStencil() ? D3DCLEAR_STENCIL : 0), 0, 1.0f, 0);
    ASSERT(Err == D3D_OK);
}

void D3DCore::UpdateFrameTime()
{
    if (TimerRate == 0) return;
    FrameTime = static_cast<double>(Host().ReadTimeStampCounter() - TimerStart) * 1000.0 / TimerRate;
}

// ---- The frame ----

void D3DCore::RefreshDesktopMode()
{
    DXDevice* dev = CurrentDevice ? CurrentDevice : pDevice;
    DXAdapter* adapter = CurrentAdapter ? CurrentAdapter : pAdapter;
    if (!dev || !adapter || !DXInterface.ID3D) return;
    // The depth record in use belongs to the list probed again.
    if (DXSetup.ProbeDesktop(adapter, dev) && !FullScreen) ActualZFormat = dev->DesktopMode.ZBuffers.First;
}

bool D3DCore::TestDevice()
{
    IDirect3DDevice9* dev = device();
    if (!dev) return false;
    HRESULT Err = dev->TestCooperativeLevel();
    if (FAILED(Err) && !DeviceLost) LoseDevice();
    if (Err == D3DERR_DEVICENOTRESET) {
        RefreshDesktopMode();
        DXDevice* current = CurrentDevice ? CurrentDevice : pDevice;
        if (!FullScreen && current) {
            DXModeType& desktop = current->DesktopMode;
            if (desktop.ZBuffers.Objects == 0 || desktop.TextureFormats.Objects == 0) {
                if (!DeviceLost) Host().EraseBackground();
                DeviceLost = 1;
                Host().SetDeviceNotReady(true);
                return false;
            }
            PresentParameters.BackBufferFormat = desktop.Format;
            PresentParameters.AutoDepthStencilFormat = desktop.ZBuffers.First->Format;
            ActualZFormat = desktop.ZBuffers.First;
        }
        Err = dev->Reset(&PresentParameters);
        if (FAILED(Err)) {
            // Stays lost; the next frame tries again.
            assertFailed("false", __FILE__, __LINE__);
            DeviceLost = 1;
            Host().SetDeviceNotReady(true);
            return false;
        }
        RestoreLostDevice();
    } else if (FAILED(Err)) {
        // Lost (any other failure is taken the same way): input is let go once per loss.
        if (!DeviceLost) {
            Host().UnacquireInput();
            DeviceLost = 1;
            Host().SetDeviceNotReady(true);
            if (!FullScreen) Host().EraseBackground();
        }
        return false;
    } else if (DeviceLost) {
        // Working again without a reset: the released resources come back.
        RestoreLostDevice();
    }

    return true;
}

void D3DCore::BeginScene(bool clear, bool keepViewport)
{
    if (!keepViewport) FrameViewPort = LastViewPort;
    ASSERT(DeviceActive);
    IDirect3DDevice9* dev = device();
    BegunScene = 0;
    if (!dev || !TestDevice()) return;

    if (!keepViewport && (CurrentViewportInfo.LetterboxSize != 0 || CurrentViewportInfo.WindowboxSize != 0))
        ClearBorders();
    HRESULT Err;
    if (clear) {
        DWORD flags = D3DCLEAR_ZBUFFER;
        if (HasStencil()) flags |= D3DCLEAR_STENCIL;
        if (ClearColourEnabled) flags |= D3DCLEAR_TARGET;
        Err = dev->Clear(0, nullptr, flags, ClearColour, 1.0f, 0);
        ASSERT(Err == D3D_OK);
    }
    SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, ReqMultiSampleType != 0 ? TRUE : FALSE);
    Err = dev->BeginScene();
    ASSERT(Err == D3D_OK);
    if (SUCCEEDED(Err)) BegunScene = 1;

    WorldMatrixChanges = 0;
    Counts = FrameCounts{};
    Delayed.Reset();
    StateChanges = 0;
    for (DynamicVB& vb : DynamicVertexBuffer9) vb.VerticesUsed = 0;
    DynamicIndexBuffer9.IndicesUsed = 0;
    if (!FreezeFrameTime) UpdateFrameTime();
}

void D3DCore::EndScene(bool runScenePasses)
{
    IDirect3DDevice9* dev = device();
    if (!dev) return;
    if (BegunScene) {
        if (runScenePasses && !SkipScenePasses) {
            RunFuncs(3);
            if (DelayedDrawing) DrawDelayedSorted();
            RunFuncs(2);
        }
        if (runScenePasses && FrameStatsEnabled) DrawStatistics();
        ApplyPendingRestore();
        HRESULT Err = dev->EndScene();
        ASSERT(Err == D3D_OK);
        BegunScene = 0;
    }
    for (int32_t Stream = 0; Stream < MAX_STREAMS; ++Stream) {
        ASSERT(Stream <= 15);
        if (StreamSources[Stream]) {
            StreamSources[Stream] = nullptr;
            dev->SetStreamSource(static_cast<UINT>(Stream), nullptr, 0, 0);
        }
    }
    for (int32_t Stage = 0; Stage < MAX_TEXTURE_STAGES; ++Stage) SetTexture(Stage, nullptr);
    if (PixelShader) SetPixelShader(nullptr);
}

void D3DCore::DrawScreenMargin()
{
    const float w = static_cast<float>(GetScreenWidth()), h = static_cast<float>(GetScreenHeight());
    const float mw = static_cast<float>(MarginWidth), mh = static_cast<float>(MarginHeight);
    const float strips[4][4] = {
        {0, 0, w, mh},            // top
        {0, h - mh, w, h},        // bottom
        {0, mh, mw, h - mh},      // left
        {w - mw, mh, w, h - mh},  // right
    };
    for (const auto& s : strips) {
        const MarginVertex v[4] = {{s[0], s[1], 0.01f, 100.0f, MARGIN_COLOUR},
                                   {s[2], s[1], 0.01f, 100.0f, MARGIN_COLOUR},
                                   {s[0], s[3], 0.01f, 100.0f, MARGIN_COLOUR},
                                   {s[2], s[3], 0.01f, 100.0f, MARGIN_COLOUR}};
        device()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(MarginVertex));
        StreamSources[0] = nullptr;  // the device has let go of stream 0
    }
}

void D3DCore::RunOffscreenPasses()
{
    IDirect3DDevice9* dev = device();
    if (DeviceLost || !dev) return;
    const D3DVIEWPORT9 full{0, 0, PresentParameters.BackBufferWidth, PresentParameters.BackBufferHeight, 0.0f, 1.0f};
    for (int32_t i = 0; i < NUM_D3DCOREFUNC_SLOTS; ++i) {
        if (!D3DCoreFunc[4][i]) continue;
        dev->SetViewport(&full);
        BeginScene(false, true);
        // A device lost at this point leaves no scene to draw the pass into.
        if (BegunScene) D3DCoreFunc[4][i]();
        EndScene(false);
        if (DeviceLost) return;
    }
}

void D3DCore::Present(bool runOffscreenPasses)
{
    // A frame may hold several scenes (a view of its own, the screen margin): each adds its counts
    // to the statistics, but the frame is counted once, and a new one starts here.
    struct NextFrame {
        BYTE& counted;
        ~NextFrame() { counted = 0; }
    } nextFrame{FrameCounted};
    IDirect3DDevice9* dev = device();
    if (DeviceLost || !dev) return;
    const D3DVIEWPORT9 full{0, 0, PresentParameters.BackBufferWidth, PresentParameters.BackBufferHeight, 0.0f, 1.0f};
    if (runOffscreenPasses && !SkipScenePasses) {
        RunOffscreenPasses();
        if (DeviceLost) return;
    }
    if (DrawMargin && !DeviceLost) {
        // The border material's pass 0; its restore list runs at the margin scene's end.
        StateBlock* SB = LetterboxBlock != SB_NONE ? StateBlocks.GetSB(LetterboxBlock) : nullptr;
        // Once: a report every frame would end the run.
        if (!SB && !BorderBlockReported) {
            assertFailed("SB != NULL", __FILE__, __LINE__);
            BorderBlockReported = 1;
        }
        if (SB) ApplyStateBlock(SB, 0, MARGIN_FVF);
        SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        if (PixelShader) SetPixelShader(nullptr);
        if (VertexShader) SetVertexShader(nullptr);
        SetFVF(MARGIN_FVF);
        dev->SetViewport(&full);
        BeginScene(false, false);
        if (BegunScene && SB) DrawScreenMargin();
        EndScene(true);
    }
    if (DeviceActive && !DeviceLost) {
        ASSERT(!BegunScene);
        if (CurrentViewportInfo.LetterboxSize != 0 || CurrentViewportInfo.WindowboxSize != 0) ClearBorders();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
        ++FrameCount;
    }
}

// ---- Viewports ----

void D3DCore::ClearBorders()
{
    IDirect3DDevice9* dev = device();
    if (!dev) return;
    if (LastViewPort.Height != FullViewPortHeight && LastViewPort.Width != FullViewPortWidth) {
        assertFailed("!(LastViewPort.Height != FullViewPortHeight && LastViewPort.Width != FullViewPortWidth)",
                     __FILE__, __LINE__);
        return;
    }
    if (LastViewPort.Height == FullViewPortHeight && LastViewPort.Width == FullViewPortWidth) return;
    ASSERT((FullViewPortWidth & 1) == 0);
    ASSERT((LastViewPort.Width & 1) == 0);
    ASSERT((FullViewPortHeight & 1) == 0);
    ASSERT((LastViewPort.Height & 1) == 0);
    const DWORD flags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | (HasStencil() ? D3DCLEAR_STENCIL : 0);
    const D3DVIEWPORT9 kept = LastViewPort;
    auto clearStrip = [&](DWORD x, DWORD y, DWORD width, DWORD height) {
        if (width == 0 || height == 0) return;
        const D3DVIEWPORT9 strip{x, y, width, height, 0.0f, 1.0f};
        dev->SetViewport(&strip);
        HRESULT Err = dev->Clear(0, nullptr, flags, BorderColour, 1.0f, 0);
        ASSERT(Err == D3D_OK);
    };
    if (kept.Width != FullViewPortWidth) {
        const DWORD side = (FullViewPortWidth - kept.Width) / 2;
        clearStrip(kept.X - side, kept.Y, side, kept.Height);
        clearStrip(kept.X + kept.Width, kept.Y, side, kept.Height);
    } else {
        const DWORD side = (FullViewPortHeight - kept.Height) / 2;
        clearStrip(kept.X, kept.Y - side, kept.Width, side);
        clearStrip(kept.X, kept.Y + kept.Height, kept.Width, side);
    }
    dev->SetViewport(&kept);
}

void D3DCore::SetViewPort(int32_t x, int32_t y, int32_t width, int32_t height, int32_t usedWidth, int32_t usedHeight)
{
    const int32_t UsedWidth = usedWidth, UsedHeight = usedHeight, Width = width, Height = height;
    // An odd size or a used size beyond the full one would put the viewport off its area.
    bool ok = VERIFY((UsedWidth & 1) == 0);
    ok = VERIFY((UsedHeight & 1) == 0) && ok;
    ok = VERIFY((Width & 1) == 0) && ok;
    ok = VERIFY((Height & 1) == 0) && ok;
    ok = VERIFY(UsedWidth <= Width) && ok;
    ok = VERIFY(UsedHeight <= Height) && ok;
    ok = VERIFY(x >= 0 && y >= 0 && UsedWidth > 0 && UsedHeight > 0) && ok;
    if (!ok) return;
    LastViewPort = D3DVIEWPORT9{static_cast<DWORD>(x + (Width - UsedWidth) / 2),
                                static_cast<DWORD>(y + (Height - UsedHeight) / 2), static_cast<DWORD>(UsedWidth),
                                static_cast<DWORD>(UsedHeight), 0.0f, 1.0f};
    ASSERT(LastViewPort.Height != 478);
    FullViewPortWidth = static_cast<DWORD>(Width);
    FullViewPortHeight = static_cast<DWORD>(Height);
    CurrentViewportInfo.WindowboxSize = (Width - UsedWidth) / 2;
    CurrentViewportInfo.LetterboxSize = (Height - UsedHeight) / 2;
    ASSERT(!(CurrentViewportInfo.WindowboxSize != 0 && CurrentViewportInfo.LetterboxSize != 0));
    MarginWidth = marginOf(GetScreenWidth());
    MarginHeight = marginOf(GetScreenHeight());
    if (device()) {
        HRESULT Err = device()->SetViewport(&LastViewPort);
        ASSERT(Err == D3D_OK);
    }
}

void D3DCore::SetLetterboxViewPort(int32_t x, int32_t y, int32_t width, int32_t fullHeight, int32_t usedHeight)
{
    if (!VERIFY(usedHeight <= fullHeight) || !VERIFY(x >= 0 && y >= 0 && width > 0 && usedHeight > 0)) return;
    LastViewPort = D3DVIEWPORT9{static_cast<DWORD>(x), static_cast<DWORD>(y + (fullHeight - usedHeight) / 2),
                                static_cast<DWORD>(width), static_cast<DWORD>(usedHeight), 0.0f, 1.0f};
    FullViewPortWidth = static_cast<DWORD>(width);
    FullViewPortHeight = static_cast<DWORD>(fullHeight);
    CurrentViewportInfo.WindowboxSize = 0;
    CurrentViewportInfo.LetterboxSize = (fullHeight - usedHeight) / 2;
    if (device()) {
        HRESULT Err = device()->SetViewport(&LastViewPort);
        ASSERT(Err == D3D_OK);
    }
}

void D3DCore::SetFullViewPort(bool clear)
{
    SetFullViewPort();
    CurrentViewportInfo = ViewportInfo();
    if (clear && device()) {
        const DWORD flags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | (HasStencil() ? D3DCLEAR_STENCIL : 0);
        HRESULT Err = device()->Clear(0, nullptr, flags, ClearColour, 1.0f, 0);
        ASSERT(Err == D3D_OK);
    }
}
