// CTextureRenderer: "Texture Renderer", a renderer filter of our own that takes 24-bit RGB video
// and copies every frame, on DirectShow's streaming thread, into a managed A8R8G8B8 texture of
// the render core's device (at half resolution when asked). Its critical section keeps a frame
// from being drawn while it is copied: the drawer holds it across its draw (Lock / Unlock).
#pragma once

#include "platform/dshow/baseclasses.h"

extern const GUID CLSID_TextureRenderer;

class CTextureRenderer : public CBaseVideoRenderer {
public:
    // result: S_OK. Counted from 0: the creator takes the first reference.
    CTextureRenderer(IUnknown* outer, HRESULT* result, uint8_t halfSize);

    // VIDEOINFO RGB24 video only.
    HRESULT CheckMediaType(const CMediaType* type) override;
    // Makes the texture: powers of two of the size (or of half of it), 1 below 2.
    HRESULT SetMediaType(const CMediaType* type) override;
    // Rows in the order stored, the first into texture row 0; B, G, R become B, G, R, 255.
    HRESULT DoRenderSample(IMediaSample* sample) override;

    void Lock() { EnterCriticalSection(&m_Lock); }
    void Unlock() { LeaveCriticalSection(&m_Lock); }
    // With the lock held.
    IDirect3DTexture9* GetTexture() const { return m_pTexture; }
    UINT GetTextureWidth() const { return m_TextureWidth; }
    UINT GetTextureHeight() const { return m_TextureHeight; }
    // The picture as the quad shows it: halved (toward zero) in half size.
    int32_t GetVideoWidth() const { return m_HalfSize ? m_Width / 2 : m_Width; }
    int32_t GetVideoHeight() const { return m_HalfSize ? m_Height / 2 : m_Height; }

protected:
    ~CTextureRenderer() override;

private:
    int32_t m_Width = 0;
    int32_t m_Height = 0;
    int32_t m_Pitch = 0;  // of a source row: three bytes a pixel, padded to four
    IDirect3DTexture9* m_pTexture = nullptr;
    UINT m_TextureWidth = 0;
    UINT m_TextureHeight = 0;
    CRITICAL_SECTION m_Lock;
    uint8_t m_HalfSize;
};
