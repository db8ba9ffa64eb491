#include "platform/d3dx9.h"

#include "d3d9/TexelFormats.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using d3d9ref::Texel;

struct Area {
    LONG left, top, right, bottom;
    UINT width() const { return static_cast<UINT>(right - left); }
    UINT height() const { return static_cast<UINT>(bottom - top); }
};

bool areaOf(const tagRECT* rect, const D3DSURFACE_DESC& desc, Area& out)
{
    if (!rect) {
        out = Area{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
        return true;
    }
    out = Area{rect->left, rect->top, rect->right, rect->bottom};
    return out.left >= 0 && out.top >= 0 && out.left < out.right && out.top < out.bottom &&
           out.right <= static_cast<LONG>(desc.Width) && out.bottom <= static_cast<LONG>(desc.Height);
}

// A locked surface read whole into texels.
struct Image {
    UINT width = 0, height = 0;
    std::vector<Texel> texels;
    const Texel& at(UINT x, UINT y) const { return texels[size_t(y) * width + x]; }
};

// Samples the source area into a destination-sized grid.
void resample(const Image& src, const Area& from, UINT width, UINT height, DWORD filter, std::vector<Texel>& out)
{
    out.assign(size_t(width) * height, Texel{0, 0, 0, 0});
    const UINT fw = from.width(), fh = from.height();
    const DWORD kind = filter & 0xFF;
    if (kind == D3DX_FILTER_NONE || (fw == width && fh == height)) {
        for (UINT y = 0; y < height && y < fh; ++y)
            for (UINT x = 0; x < width && x < fw; ++x) out[size_t(y) * width + x] = src.at(from.left + x, from.top + y);
        return;
    }
    const double sx = double(fw) / width, sy = double(fh) / height;
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) {
            Texel& t = out[size_t(y) * width + x];
            if (kind == D3DX_FILTER_POINT) {
                t = src.at(from.left + std::min(UINT((x + 0.5) * sx), fw - 1), from.top + std::min(UINT((y + 0.5) * sy), fh - 1));
                continue;
            }
            // Area average: every source texel weighted by how much of it the destination texel covers.
            const double x0 = x * sx, x1 = (x + 1) * sx, y0 = y * sy, y1 = (y + 1) * sy;
            double sum[4] = {0, 0, 0, 0}, total = 0;
            for (UINT v = UINT(y0); v < fh && v < y1; ++v) {
                const double wy = std::min<double>(v + 1, y1) - std::max<double>(v, y0);
                for (UINT u = UINT(x0); u < fw && u < x1; ++u) {
                    const double w = wy * (std::min<double>(u + 1, x1) - std::max<double>(u, x0));
                    if (w <= 0) continue;
                    const Texel& s = src.at(from.left + u, from.top + v);
                    sum[0] += s.r * w;
                    sum[1] += s.g * w;
                    sum[2] += s.b * w;
                    sum[3] += s.a * w;
                    total += w;
                }
            }
            if (total > 0)
                t = Texel{float(sum[0] / total), float(sum[1] / total), float(sum[2] / total), float(sum[3] / total)};
        }
}

// Locks a surface and reads it whole; the lock is released again.
HRESULT readSurface(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc, const PALETTEENTRY* palette, Image& image)
{
    D3DLOCKED_RECT locked{};
    HRESULT hr = surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    image.width = desc.Width;
    image.height = desc.Height;
    image.texels.resize(size_t(desc.Width) * desc.Height);
    const bool ok = d3d9ref::readTexels(desc.Format, static_cast<const uint8_t*>(locked.pBits),
                                        static_cast<uint32_t>(locked.Pitch), desc.Width, desc.Height, palette,
                                        image.texels.data());
    surface->UnlockRect();
    return ok ? D3D_OK : D3DXERR_INVALIDDATA;
}

D3DCOLOR toColour(const Texel& t)
{
    auto b = [](float v) { return DWORD(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return (b(t.a) << 24) | (b(t.r) << 16) | (b(t.g) << 8) | b(t.b);
}

}  // namespace

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                   const tagRECT* destRect, IDirect3DSurface9* srcSurface,
                                   const PALETTEENTRY* srcPalette, const tagRECT* srcRect, DWORD filter,
                                   D3DCOLOR colorKey)
{
    if (!destSurface || !srcSurface || destSurface == srcSurface) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC dd{}, sd{};
    if (FAILED(destSurface->GetDesc(&dd)) || FAILED(srcSurface->GetDesc(&sd))) return D3DERR_INVALIDCALL;
    Area to, from;
    if (!areaOf(destRect, dd, to) || !areaOf(srcRect, sd, from)) return D3DERR_INVALIDCALL;
    if (!d3d9ref::canConvert(sd.Format) || !d3d9ref::canConvert(dd.Format)) return D3DXERR_INVALIDDATA;
    if (d3d9ref::isPalettised(dd.Format) && !destPalette) return D3DERR_INVALIDCALL;
    if (filter == D3DX_DEFAULT) filter = D3DX_FILTER_TRIANGLE;

    Image src;
    if (HRESULT hr = readSurface(srcSurface, sd, srcPalette, src); FAILED(hr)) return hr;
    if (colorKey != 0)
        for (Texel& t : src.texels)
            if (toColour(t) == colorKey) t = Texel{0, 0, 0, 0};
    std::vector<Texel> area;
    resample(src, from, to.width(), to.height(), filter, area);

    // The rest of the destination keeps its contents: it is read, patched and written back.
    Image dest;
    if (HRESULT hr = readSurface(destSurface, dd, destPalette, dest); FAILED(hr)) return hr;
    for (UINT y = 0; y < to.height(); ++y)
        for (UINT x = 0; x < to.width(); ++x)
            dest.texels[size_t(to.top + y) * dest.width + to.left + x] = area[size_t(y) * to.width() + x];
    D3DLOCKED_RECT locked{};
    HRESULT hr = destSurface->LockRect(&locked, nullptr, 0);
    if (FAILED(hr)) return hr;
    const bool ok = d3d9ref::writeTexels(dd.Format, dest.texels.data(), dd.Width, dd.Height, destPalette,
                                         static_cast<uint8_t*>(locked.pBits), static_cast<uint32_t>(locked.Pitch));
    hr = destSurface->UnlockRect();
    if (!ok) return D3DXERR_INVALIDDATA;
    return hr;
}
