// The reference Direct3D 9's shared bookkeeping: the card configuration, the results tests force,
// call counts and the trace, and live-object counts. One block, reached through control().
#pragma once

#include "platform/testing.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <initializer_list>

namespace d3d9ref {

#define D3D9REF_METHODS(X)                                                                                   \
    X(GetAdapterCount) X(GetAdapterIdentifier) X(GetAdapterModeCount) X(EnumAdapterModes)                      \
    X(GetAdapterDisplayMode) X(CheckDeviceFormat) X(CheckDepthStencilMatch) X(CheckDeviceMultiSampleType)       \
    X(GetDeviceCaps) X(CreateDevice) X(TestCooperativeLevel) X(GetDisplayMode) X(Reset) X(Present)             \
    X(GetFrontBufferData) X(SetGammaRamp) X(CreateTexture) X(CreateCubeTexture) X(CreateVertexBuffer)          \
    X(CreateIndexBuffer) X(CreateOffscreenPlainSurface) X(BeginScene) X(EndScene) X(Clear) X(SetTransform)     \
    X(GetTransform) X(SetViewport) X(GetViewport) X(SetMaterial) X(SetLight) X(LightEnable) X(SetRenderState)  \
    X(GetRenderState) X(SetTexture) X(SetTextureStageState) X(SetSamplerState) X(ValidateDevice)               \
    X(SetPaletteEntries) X(SetCurrentTexturePalette) X(SetSoftwareVertexProcessing) X(DrawPrimitive)            \
    X(DrawIndexedPrimitive) X(DrawPrimitiveUP) X(DrawIndexedPrimitiveUP) X(CreateVertexDeclaration) X(SetVertexDeclaration) X(SetFVF)     \
    X(CreateVertexShader) X(SetVertexShader) X(SetVertexShaderConstantF) X(CreatePixelShader)                   \
    X(SetPixelShader) X(SetPixelShaderConstantF) X(SetStreamSource) X(SetIndices) X(Release) X(Lock) X(Unlock)  \
    X(LockRect) X(UnlockRect) X(AddDirtyRect) \
    X(GetCreationParameters) X(GetRenderTarget) X(SetRenderTarget) X(StretchRect) X(GetAdapterMonitor)

enum class Method {
#define D3D9REF_ENUM(name) name,
    D3D9REF_METHODS(D3D9REF_ENUM)
#undef D3D9REF_ENUM
    Count
};

struct Control {
    platform::testing::D3D9Config Config;
    bool CreateFails = false;
    std::function<HRESULT(const D3DPRESENT_PARAMETERS&, DWORD)> CreateDeviceResult;
    std::deque<HRESULT> CooperativeQueue;
    std::deque<HRESULT> ResetQueue;
    std::function<HRESULT(const D3DPRESENT_PARAMETERS&)> ResetResult;
    std::function<HRESULT(DWORD*)> ValidateResult;
    std::atomic<int> Counts[static_cast<int>(Method::Count)] = {};
    // Streaming threads record while a test switches, reads or clears the trace: the switch is
    // atomic and the trace itself is only touched under TraceLock.
    std::atomic<bool> TraceOn{false};
    std::vector<platform::testing::D3D9Call> Trace;
    std::vector<D3DPRESENT_PARAMETERS> CreateAttempts;
    std::vector<D3DPRESENT_PARAMETERS> ResetParameters;
    std::atomic<int> LiveResources[4] = {};
    // Streaming threads read these while a test may set them.
    std::atomic<HRESULT> Failures[static_cast<int>(Method::Count)] = {};
    std::vector<uint32_t> FrontBuffer;
    UINT FrontWidth = 0;
    UINT FrontHeight = 0;
    std::atomic<int> LiveDevices{0};
    std::mutex TraceLock;
    class Device* LastDevice = nullptr;
    std::vector<std::string> RendererNotes;
};

Control& control();

inline void record(Method method, std::initializer_list<uint64_t> args = {})
{
    Control& c = control();
    c.Counts[static_cast<int>(method)].fetch_add(1, std::memory_order_relaxed);
    if (c.TraceOn) {
        extern const char* const METHOD_NAMES[];
        std::lock_guard<std::mutex> lock(c.TraceLock);
        c.Trace.push_back({METHOD_NAMES[static_cast<int>(method)], std::vector<uint64_t>(args)});
    }
}

// What a renderer cannot draw, said once: on stderr and kept for tests.
void rendererNote(const std::string& text);

// The forced failure of a method, D3D_OK when none.
inline HRESULT forcedFailure(Method method) { return control().Failures[static_cast<int>(method)]; }

inline uint64_t ptr(const void* p) { return reinterpret_cast<uintptr_t>(p); }
uint64_t floatBits(float value);

// The size of the real display where one exists.
bool realDesktopSize(UINT& width, UINT& height);

// Bytes per texel of an uncompressed format, 0 for block-compressed and unknown formats.
UINT bytesPerPixel(D3DFORMAT format);
bool isBlockCompressed(D3DFORMAT format);

}  // namespace d3d9ref
