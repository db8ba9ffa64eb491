#include "videotexture/TextureRenderer.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// Our own class id: any fixed value serves.
const GUID CLSID_TextureRenderer = {0x6A2E4C58, 0x93B1, 0x4F07, {0xB2, 0x5D, 0x1C, 0x8E, 0x40, 0x77, 0xA3, 0x19}};

namespace {

UINT nextPowerOfTwo(int32_t value)
{
    UINT size = 1;
    while (static_cast<int64_t>(size) < value) size <<= 1;
    return size;
}

uint64_t load64(const BYTE* p)
{
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

void store64(BYTE* p, uint64_t w) { std::memcpy(p, &w, sizeof w); }

// One row of pixels taken every STEP pixels: B, G, R become B, G, R, 255. Whole words where the
// byte order allows, never reading past the last pixel's three bytes.
template <int STEP>
void convertRow(const BYTE* in, BYTE* out, int32_t columns)
{
    int32_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        if constexpr (STEP == 1) {
            // Eight pixels are three source words and four target words of two pixels each.
            constexpr uint64_t OPAQUE = 0xFF000000FF000000u, PIXEL = 0xFFFFFF;
            // Word by word: a whole array through memory stalls on its store-to-load forwarding.
            for (; x + 8 <= columns; x += 8, in += 24, out += 32) {
                const uint64_t w0 = load64(in), w1 = load64(in + 8), w2 = load64(in + 16);
                store64(out, (w0 & PIXEL) | (w0 >> 24 & PIXEL) << 32 | OPAQUE);
                store64(out + 8, ((w0 >> 48 | w1 << 16) & PIXEL) | (w1 >> 8 & PIXEL) << 32 | OPAQUE);
                store64(out + 16, (w1 >> 32 & PIXEL) | ((w1 >> 56 | w2 << 8) & PIXEL) << 32 | OPAQUE);
                store64(out + 24, (w2 >> 16 & PIXEL) | (w2 >> 40) << 32 | OPAQUE);
            }
        } else {
            // A pixel's fourth byte belongs to the pixel after it, which is still in the row.
            for (; x + 1 < columns; ++x, in += 3 * STEP, out += 4) {
                uint32_t w;
                std::memcpy(&w, in, sizeof w);
                w |= 0xFF000000u;
                std::memcpy(out, &w, sizeof w);
            }
        }
    }
    for (; x < columns; ++x, in += 3 * STEP, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 0xFF;
    }
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
        if (m_HalfSize)
            convertRow<2>(in, out, columns);
        else
            convertRow<1>(in, out, columns);
    }
    const HRESULT unlocked = m_pTexture->UnlockRect(0);
    Unlock();
    return FAILED(unlocked) ? E_FAIL : S_OK;
}
