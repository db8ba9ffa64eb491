// The reference IDirect3DDevice9: keeps every state it is given (D3D9State), creates resources in
// real memory, follows the working / lost / not-reset sequence and hands drawing to a renderer.
#pragma once

#include "Control.h"
#include "Renderer.h"
#include "ShaderCode.h"

#include <mutex>

namespace d3d9ref {

class Device final : public IDirect3DDevice9 {
public:
    Device(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behaviour, const D3DPRESENT_PARAMETERS& parameters);

    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) override;
    HRESULT Present(const tagRECT* source, const tagRECT* dest, HWND window, const void* dirty) override;
    HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* surface) override;
    void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) override;

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** texture, HANDLE* shared) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               HANDLE* shared) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* shared) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT ValidateDevice(DWORD* passes) override;
    HRESULT SetPaletteEntries(UINT palette, const PALETTEENTRY* entries) override;
    HRESULT SetCurrentTexturePalette(UINT palette) override;
    HRESULT SetSoftwareVertexProcessing(BOOL software) override;

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT count) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                 UINT startIndex, UINT count) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* vertices, UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT count,
                                   const void* indices, D3DFORMAT indexFormat, const void* vertices,
                                   UINT stride) override;

    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT CreateVertexShader(const DWORD* tokens, IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT CreatePixelShader(const DWORD* tokens, IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) override;

    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const tagRECT* sourceRect, IDirect3DSurface9* dest,
                        const tagRECT* destRect, D3DTEXTUREFILTERTYPE filter) override;

    const platform::testing::D3D9State& state() const { return m_state; }
    void setStatus(HRESULT status);

private:
    ~Device() override;
    void resetStates();
    HRESULT draw(const DrawCall& call);
    HRESULT validate() const;
    bool cardCaps(D3DCAPS9& caps) const;
    HRESULT readShader(const DWORD* tokens, bool pixel, d3d9shader::Program& program);

    // A back buffer of the present parameters' size, made render target 0.
    void makeBackBuffer();
    // The size of render target 0.
    void targetSize(UINT& width, UINT& height);

    // Taken by every call, whatever the creation flags: video streaming threads draw on devices
    // the game made for its main thread alone.
    class Guard {
    public:
        explicit Guard(Device& device);
        ~Guard();

    private:
        Device& m_device;
    };

    std::recursive_mutex m_lock;
    std::atomic<ULONG> m_references{1};
    HRESULT m_status = D3D_OK;  // D3D_OK, D3DERR_DEVICELOST or D3DERR_DEVICENOTRESET
    platform::testing::D3D9State m_state;
    std::unique_ptr<Renderer> m_renderer;
    IDirect3DSurface9* m_backBuffer = nullptr;
    IDirect3DSurface9* m_renderTarget = nullptr;  // holds a reference
};

}  // namespace d3d9ref
