// Surface conversion: every format there and back, DXT encoding quality, rectangles, filters,
// colour keys, palettes and refusals.
#include "platform/d3dx9.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

class LoadSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::resetD3D9();
        m_d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(m_d3d, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 8;
        pp.BackBufferHeight = 8;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.Windowed = TRUE;
        ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &m_device), D3D_OK);
    }
    void TearDown() override
    {
        for (IDirect3DSurface9* s : m_surfaces) s->Release();
        if (m_device) m_device->Release();
        if (m_d3d) m_d3d->Release();
        platform::testing::resetD3D9();
    }

    IDirect3DSurface9* surface(UINT w, UINT h, D3DFORMAT f)
    {
        IDirect3DSurface9* s = nullptr;
        EXPECT_EQ(m_device->CreateOffscreenPlainSurface(w, h, f, D3DPOOL_SCRATCH, &s, nullptr), D3D_OK);
        if (s) m_surfaces.push_back(s);
        return s;
    }

    static void write(IDirect3DSurface9* s, const std::vector<DWORD>& argb)
    {
        D3DSURFACE_DESC d{};
        s->GetDesc(&d);
        D3DLOCKED_RECT r{};
        s->LockRect(&r, nullptr, 0);
        for (UINT y = 0; y < d.Height; ++y) std::memcpy(static_cast<uint8_t*>(r.pBits) + y * r.Pitch, &argb[y * d.Width], d.Width * 4);
        s->UnlockRect();
    }

    static std::vector<DWORD> read(IDirect3DSurface9* s)
    {
        D3DSURFACE_DESC d{};
        s->GetDesc(&d);
        std::vector<DWORD> out(d.Width * d.Height);
        D3DLOCKED_RECT r{};
        s->LockRect(&r, nullptr, D3DLOCK_READONLY);
        for (UINT y = 0; y < d.Height; ++y) std::memcpy(&out[y * d.Width], static_cast<uint8_t*>(r.pBits) + y * r.Pitch, d.Width * 4);
        s->UnlockRect();
        return out;
    }

    static int channel(DWORD c, int i) { return int((c >> (8 * i)) & 0xFF); }

    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    std::vector<IDirect3DSurface9*> m_surfaces;
};

TEST_F(LoadSurfaceTest, EveryFormatRoundTripsWithinItsPrecision)
{
    const struct {
        D3DFORMAT format;
        int tolerance;
        bool colour, alpha;  // what the format keeps
    } cases[] = {
        {D3DFMT_A8R8G8B8, 0, true, true},  {D3DFMT_X8R8G8B8, 0, true, false}, {D3DFMT_R8G8B8, 0, true, false},
        {D3DFMT_R5G6B5, 5, true, false},   {D3DFMT_X1R5G5B5, 5, true, false}, {D3DFMT_A1R5G5B5, 5, true, false},
        {D3DFMT_A4R4G4B4, 9, true, true},  {D3DFMT_X4R4G4B4, 9, true, false}, {D3DFMT_R3G3B2, 43, true, false},
        {D3DFMT_A8R3G3B2, 43, true, true}, {D3DFMT_L8, 1, false, false},      {D3DFMT_A8L8, 1, false, true},
        {D3DFMT_A4L4, 9, false, true},     {D3DFMT_UYVY, 3, false, false},    {D3DFMT_YUY2, 3, false, false},
        {D3DFMT_DXT3, 9, false, true},     {D3DFMT_DXT5, 19, false, true},
    };
    std::mt19937 random(11);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        // Colour formats get random colours, the others grey; YUV and DXT neighbours share their value.
        std::vector<DWORD> source(16);
        for (size_t i = 0; i < source.size(); ++i) {
            const DWORD g = random() & 0xFF, a = c.alpha ? (c.format == D3DFMT_DXT3 || c.format == D3DFMT_DXT5 ? 0x11 * (i % 16) : random() & 0xFF) : 0xFF;
            source[i] = c.colour ? (a << 24) | (random() & 0xFFFFFF) : (a << 24) | g << 16 | g << 8 | g;
            if (c.format == D3DFMT_UYVY || c.format == D3DFMT_YUY2) source[i] = i % 2 ? source[i - 1] : source[i];
            if (c.format == D3DFMT_DXT3 || c.format == D3DFMT_DXT5) source[i] = (source[i] & 0xFF000000) | 0x406080;
        }
        IDirect3DSurface9* from = surface(4, 4, D3DFMT_A8R8G8B8);
        IDirect3DSurface9* mid = surface(4, 4, c.format);
        IDirect3DSurface9* back = surface(4, 4, D3DFMT_A8R8G8B8);
        write(from, source);
        ASSERT_EQ(D3DXLoadSurfaceFromSurface(mid, nullptr, nullptr, from, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
        ASSERT_EQ(D3DXLoadSurfaceFromSurface(back, nullptr, nullptr, mid, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
        const std::vector<DWORD> got = read(back);
        for (size_t i = 0; i < got.size(); ++i) {
            for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(channel(got[i], ch), channel(source[i], ch), c.tolerance) << i;
            EXPECT_NEAR(channel(got[i], 3), c.alpha ? channel(source[i], 3) : 255, c.tolerance) << i;
        }
    }
}

TEST_F(LoadSurfaceTest, DxtEncodingKeepsGradientsCloseAndCutsOutTransparency)
{
    std::vector<DWORD> source(16 * 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) source[y * 16 + x] = 0xFF000000u | DWORD(x * 16) << 16 | DWORD(255 - x * 16) << 8 | DWORD(y * 4);
    source[0] = 0x00000000;  // one transparent texel
    for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        SCOPED_TRACE(f);
        IDirect3DSurface9* from = surface(16, 16, D3DFMT_A8R8G8B8);
        IDirect3DSurface9* mid = surface(16, 16, f);
        IDirect3DSurface9* back = surface(16, 16, D3DFMT_A8R8G8B8);
        write(from, source);
        ASSERT_EQ(D3DXLoadSurfaceFromSurface(mid, nullptr, nullptr, from, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
        ASSERT_EQ(D3DXLoadSurfaceFromSurface(back, nullptr, nullptr, mid, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
        const std::vector<DWORD> got = read(back);
        long total = 0;
        int worst = 0;
        // The block of the transparent texel is left out: its colour line has to reach black too.
        for (size_t i = 0; i < got.size(); ++i)
            for (int ch = 0; ch < 3 && (i % 16 >= 4 || i / 16 >= 4); ++ch) {
                const int e = std::abs(channel(got[i], ch) - channel(source[i], ch));
                total += e;
                worst = std::max(worst, e);
            }
        EXPECT_LE(worst, 24);
        EXPECT_LE(total / long(3 * (got.size() - 16)), 5);
        EXPECT_EQ(channel(got[0], 3), 0);
        EXPECT_EQ(channel(got[1], 3), 255);
        if (f == D3DFMT_DXT1) { EXPECT_EQ(got[0], 0u); }
    }
    // Levels smaller than a block encode the texels they have.
    IDirect3DSurface9* tiny = surface(1, 1, D3DFMT_A8R8G8B8);
    IDirect3DSurface9* block = surface(1, 1, D3DFMT_DXT1);
    IDirect3DSurface9* out = surface(1, 1, D3DFMT_A8R8G8B8);
    write(tiny, {0xFFFF0000});
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(block, nullptr, nullptr, tiny, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(out, nullptr, nullptr, block, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    EXPECT_EQ(read(out)[0], 0xFFFF0000u);
}

TEST_F(LoadSurfaceTest, RectanglesFiltersColourKeysAndPalettes)
{
    IDirect3DSurface9* src = surface(2, 2, D3DFMT_A8R8G8B8);
    write(src, {0xFF000000, 0xFFFFFFFF, 0xFF0000FF, 0xFF00FF00});
    IDirect3DSurface9* dst = surface(4, 4, D3DFMT_A8R8G8B8);
    write(dst, std::vector<DWORD>(16, 0xFF808080));
    // Point filtering doubles each texel; the rest of the destination stays.
    const RECT right{2, 0, 4, 4};
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, &right, src, nullptr, nullptr, D3DX_FILTER_POINT, 0), D3D_OK);
    std::vector<DWORD> got = read(dst);
    EXPECT_EQ(got[0], 0xFF808080u);
    EXPECT_EQ(got[2], 0xFF000000u);
    EXPECT_EQ(got[3], 0xFFFFFFFFu);
    EXPECT_EQ(got[15], 0xFF00FF00u);
    // No filtering: the source as it stands, transparent black where it runs out.
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, nullptr, src, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    got = read(dst);
    EXPECT_EQ(got[1], 0xFFFFFFFFu);
    EXPECT_EQ(got[3], 0u);
    // Shrinking averages; the colour key turns white transparent first.
    IDirect3DSurface9* one = surface(1, 1, D3DFMT_A8R8G8B8);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(one, nullptr, nullptr, src, nullptr, nullptr, D3DX_FILTER_BOX, 0), D3D_OK);
    EXPECT_EQ(read(one)[0], 0xFF408080u);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(one, nullptr, nullptr, src, nullptr, nullptr, D3DX_DEFAULT, 0xFFFFFFFF), D3D_OK);
    EXPECT_EQ(read(one)[0], 0xBF004040u);

    // Palettes: indices through the source palette, colours to the nearest destination entry.
    PALETTEENTRY palette[256] = {};
    palette[1] = PALETTEENTRY{255, 0, 0, 255};
    palette[2] = PALETTEENTRY{0, 0, 255, 255};
    IDirect3DSurface9* indexed = surface(2, 2, D3DFMT_P8);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(indexed, nullptr, nullptr, src, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(indexed, palette, nullptr, src, nullptr, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    IDirect3DSurface9* colours = surface(2, 2, D3DFMT_A8R8G8B8);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(colours, nullptr, nullptr, indexed, palette, nullptr, D3DX_FILTER_NONE, 0), D3D_OK);
    EXPECT_EQ(read(colours)[2], 0xFF0000FFu);

    // Refusals.
    const RECT outside{0, 0, 5, 1};
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(dst, nullptr, &outside, src, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(nullptr, nullptr, nullptr, src, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(src, nullptr, nullptr, src, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    IDirect3DSurface9* depth = surface(2, 2, D3DFMT_D16);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(depth, nullptr, nullptr, src, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DXERR_INVALIDDATA);
}

}  // namespace
