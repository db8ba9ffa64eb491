// CVMR9AllocatorPresenter: what CVMR9Player installs in the Video Mixing Renderer 9 (renderless).
// As allocator it has the VMR make its surfaces as textures (sized up to powers of two where the
// card wants them), or, for YUV video that cannot be textured, plain surfaces copied into a
// private render-target texture. As presenter it draws every frame it is handed, on DirectShow's
// streaming thread, as a screen quad, runs the waiting front end's step when asked to, and
// presents: the main thread meanwhile waits in the front end's video loop.
//
// A COM object of two interfaces with one count, 1 at construction. Everything it keeps is
// guarded by its critical section.
#pragma once

#include "platform/dshow.h"
#include "videoplayer9/VideoQuad.h"

#include <vector>

class CVMR9AllocatorPresenter : public IVMRSurfaceAllocator9, public IVMRImagePresenter9 {
public:
    // result: E_INVALIDARG when the window is not one; E_FAIL when Direct3D cannot be loaded;
    // else that of the last step. Without a Direct3D object it loads one ("d3d9.dll", else
    // "d3d9d.dll"); without a device it makes its own, windowed on the window.
    CVMR9AllocatorPresenter(HRESULT& result, HWND window, IDirect3D9* d3d = nullptr, IDirect3DDevice9* device = nullptr);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT InitializeDevice(DWORD_PTR userId, VMR9AllocationInfo* info, DWORD* buffers) override;
    HRESULT TerminateDevice(DWORD_PTR userId) override;
    HRESULT GetSurface(DWORD_PTR userId, DWORD index, DWORD flags, IDirect3DSurface9** surface) override;
    HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* notify) override;

    HRESULT StartPresenting(DWORD_PTR userId) override;
    HRESULT StopPresenting(DWORD_PTR userId) override;
    HRESULT PresentImage(DWORD_PTR userId, VMR9PresentationInfo* info) override;

    // The picture rectangle in screen pixels.
    void SetRectangle(float left, float top, float width, float height);
    // Turning it off sets the kept result back to 1.
    void SetFrontEndUpdate(uint8_t on);
    int32_t GetFrontEndResult();

protected:
    virtual ~CVMR9AllocatorPresenter();

private:
    void ReleaseSurfaces();
    // The quad's render states, sampler and vertex buffer, after the surfaces are made.
    HRESULT SetUpQuad();
    void SetQuadStates();
    // Draws the texture on the quad as a whole frame and presents it.
    HRESULT DrawScene(IDirect3DTexture9* texture);
    // Through the render core's caches and frame calls when the device is the render core's;
    // straight to the device when it is the presenter's own.
    bool SharesRenderCore() const;
    void SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    void SetSamplerState(D3DSAMPLERSTATETYPE type, DWORD value);
    void SetStageState(D3DTEXTURESTAGESTATETYPE type, DWORD value);

    CRITICAL_SECTION m_Lock;
    HWND m_hWnd;
    volatile LONG m_RefCount = 1;
    uint8_t m_OwnsDevice = 0;
    uint8_t m_FrontEndUpdate = 0;
    int32_t m_FrontEndResult = 1;
    IDirect3D9* m_pD3D = nullptr;
    IDirect3DDevice9* m_pD3DDev = nullptr;
    IDirect3DSurface9* m_pRenderTarget = nullptr;
    IVMRSurfaceAllocatorNotify9* m_pNotify = nullptr;
    std::vector<IDirect3DSurface9*> m_Surfaces;
    IDirect3DTexture9* m_pPrivateTexture = nullptr;
    CVideoQuad m_Quad;
};
