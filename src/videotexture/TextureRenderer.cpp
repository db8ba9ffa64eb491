#include "videotexture/TextureRenderer.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// Our own class id: any fixed value serves.
const GUID CLSID_TextureRenderer = {0x6A2E4C58, 0x93B1, 0x4F07, {0xB2, 0x5D, 0x1C, 0x8E, 0x40, 0x77, 0xA3, 0x19}};

namespace {

UINT nextPowerOfTwo(int32_t value)
{
    UINT size = 1;
    while (static_cast<int64_t>(size) < value) size <<= 1;
    return size;
}

}  // namespace

CTextureRenderer::CTextureRenderer(IUnknown* outer, HRESULT* result, uint8_t halfSize)
    : CBaseVideoRenderer(CLSID_TextureRenderer, "Texture Renderer", outer, result), m_HalfSize(halfSize)
{
    if (result) *result = S_OK;
    InitializeCriticalSection(&m_Lock);
}

CTextureRenderer::~CTextureRenderer()
{
    Lock();
    if (m_pTexture) m_pTexture->Release();
    m_pTexture = nullptr;
    Unlock();
    DeleteCriticalSection(&m_Lock);
}

HRESULT CTextureRenderer::CheckMediaType(const CMediaType* type)
{
    if (!(*type->FormatType() == FORMAT_VideoInfo)) return E_INVALIDARG;
    if (*type->Type() == MEDIATYPE_Video && *type->Subtype() == MEDIASUBTYPE_RGB24) return S_OK;
    return E_FAIL;
}

HRESULT CTextureRenderer::SetMediaType(const CMediaType* type)
{
    if (!type->Format() || type->FormatLength() < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->Format());
    // A sample's length is a 32-bit count: a picture whose rows or frame it cannot hold is refused.
    const int64_t width = info->bmiHeader.biWidth;
    const int64_t height = std::abs(static_cast<int64_t>(info->bmiHeader.biHeight));
    const int64_t pitch = (width * 3 + 3) & ~int64_t(3);
    if (width < 0 || height > INT32_MAX || pitch * height > INT32_MAX) {
        assertFailedMsg("Video frame size not supported", "pitch * height <= INT32_MAX", __FILE__, __LINE__);
        return E_INVALIDARG;
    }
    m_Width = static_cast<int32_t>(width);
    m_Height = static_cast<int32_t>(height);
    m_Pitch = static_cast<int32_t>(pitch);
    m_TextureWidth = nextPowerOfTwo(m_HalfSize ? m_Width / 2 : m_Width);
    m_TextureHeight = nextPowerOfTwo(m_HalfSize ? m_Height / 2 : m_Height);
    Lock();
    if (m_pTexture) m_pTexture->Release();
    m_pTexture = nullptr;
    IDirect3DDevice9* device = DXInterface.ID3DDevice;
    const HRESULT hr = device ? device->CreateTexture(m_TextureWidth, m_TextureHeight, 1, 0, D3DFMT_A8R8G8B8,
                                                      D3DPOOL_MANAGED, &m_pTexture, nullptr)
                              : E_POINTER;
    Unlock();
    if (FAILED(hr)) assertFailedMsg("Failed to create d3d texture", "false", __FILE__, __LINE__);
    return hr;
}

HRESULT CTextureRenderer::DoRenderSample(IMediaSample* sample)
{
    BYTE* source = nullptr;
    if (!sample || FAILED(sample->GetPointer(&source)) || !source) return E_POINTER;
    Lock();
    // A short sample would be read past its end.
    if (!m_pTexture || sample->GetActualDataLength() < static_cast<int64_t>(m_Pitch) * m_Height) {
        Unlock();
        return E_FAIL;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(m_pTexture->LockRect(0, &locked, nullptr, 0))) {
        Unlock();
        return E_FAIL;
    }
    auto* target = static_cast<BYTE*>(locked.pBits);
    // Half size takes every second pixel of every second row, as many as lie wholly in the picture.
    const int32_t step = m_HalfSize ? 2 : 1;
    const int32_t rows = std::min<int64_t>(m_Height / step, m_TextureHeight);
    const int32_t columns = std::min<int64_t>(m_Width / step, m_TextureWidth);
    for (int32_t y = 0; y < rows; ++y) {
        const BYTE* in = source + static_cast<size_t>(y) * step * m_Pitch;
        BYTE* out = target + static_cast<size_t>(y) * locked.Pitch;
        for (int32_t x = 0; x < columns; ++x, in += 3 * step, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 0xFF;
        }
    }
    const HRESULT unlocked = m_pTexture->UnlockRect(0);
    Unlock();
    return FAILED(unlocked) ? E_FAIL : S_OK;
}
