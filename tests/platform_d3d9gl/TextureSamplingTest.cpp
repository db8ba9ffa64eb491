// Textures of every format the card offers, cube textures and the sampler states, drawn headless
// through the reference device and compared by pixels.
#include "HeadlessDevice.h"

#include <functional>
#include <vector>

namespace {

// D3DFVF_TEXCOORDSIZE3(0): the first coordinate set has three components.
constexpr DWORD TEX1_SIZE3 = 1u << 16;
constexpr DWORD TADDRESS_MIRRORONCE = 5;

struct Vertex {
    float x, y, z, rhw;
    float u, v, w;
};

class TextureSamplingTest : public HeadlessDevice {
protected:
    // A screen rectangle whose corners carry the texture coordinates given (u and v across, w constant).
    void quad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1, float w = 0,
              bool cube = false)
    {
        const Vertex q[4] = {{x0 - 0.5f, y0 - 0.5f, 0.5f, 1, u0, v0, w},
                             {x1 - 0.5f, y0 - 0.5f, 0.5f, 1, u1, v0, w},
                             {x0 - 0.5f, y1 - 0.5f, 0.5f, 1, u0, v1, w},
                             {x1 - 0.5f, y1 - 0.5f, 0.5f, 1, u1, v1, w}};
        m_device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | (cube ? TEX1_SIZE3 : 0));
        m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(Vertex));
    }

    // One frame drawing the texture alone, which draw sets and takes away again.
    void frame(IDirect3DBaseTexture9* texture, const std::function<void()>& draw)
    {
        m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF404040, 1.0f, 0);
        m_device->BeginScene();
        m_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        m_device->SetTexture(0, texture);
        draw();
        m_device->SetTexture(0, nullptr);
        present();
    }

    // A texture whose every level is filled by fill(level, bits, pitch, width, height).
    IDirect3DTexture9* texture(UINT size, UINT levels, D3DFORMAT format,
                               const std::function<void(UINT, uint8_t*, INT, UINT, UINT)>& fill)
    {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(m_device->CreateTexture(size, size, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        if (!t) return nullptr;
        for (UINT l = 0; l < t->GetLevelCount(); ++l) {
            D3DLOCKED_RECT r{};
            t->LockRect(l, &r, nullptr, 0);
            fill(l, static_cast<uint8_t*>(r.pBits), r.Pitch, std::max(size >> l, 1u), std::max(size >> l, 1u));
            t->UnlockRect(l);
        }
        return t;
    }

    void sampler(D3DSAMPLERSTATETYPE type, DWORD value) { m_device->SetSamplerState(0, type, value); }

    static void expectNear(DWORD got, DWORD want, int tolerance, const std::string& what)
    {
        for (int shift = 0; shift < 32; shift += 8)
            EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), tolerance)
                << what << std::hex << ": got " << got << " want " << want;
    }
};

TEST_F(TextureSamplingTest, EveryFormatSamplesAsTheDeviceDefinesIt)
{
    const struct {
        D3DFORMAT format;
        std::vector<uint8_t> texel;  // repeated over a 4 x 4 level (DXT: one block)
        DWORD want;                   // ARGB sampled
        int tolerance;
    } cases[] = {
        {D3DFMT_A8R8G8B8, {0x10, 0x20, 0x40, 0x80}, 0x80402010, 0},
        {D3DFMT_X8R8G8B8, {0x10, 0x20, 0x40, 0x00}, 0xFF402010, 0},
        {D3DFMT_R8G8B8, {0x10, 0x20, 0x40}, 0xFF402010, 0},
        {D3DFMT_R5G6B5, {0x08, 0x84}, 0xFF848242, 2},  // 16, 32, 8 of 31, 63, 31
        {D3DFMT_X1R5G5B5, {0x00, 0x7C}, 0xFFFF0000, 0},
        {D3DFMT_A1R5G5B5, {0xE0, 0x03}, 0x0000FF00, 0},
        {D3DFMT_A4R4G4B4, {0x00, 0x8F}, 0x88FF0000, 0},
        {D3DFMT_X4R4G4B4, {0xF0, 0x00}, 0xFF00FF00, 0},
        {D3DFMT_R3G3B2, {0x1C}, 0xFF00FF00, 0},
        {D3DFMT_A8R3G3B2, {0x03, 0x80}, 0x800000FF, 0},
        {D3DFMT_A8, {0x80}, 0x80000000, 0},
        {D3DFMT_L8, {0x80}, 0xFF808080, 0},
        {D3DFMT_A8L8, {0x80, 0x40}, 0x40808080, 0},
        {D3DFMT_A4L4, {0x8F}, 0x88FFFFFF, 0},
        {D3DFMT_P8, {0x05}, 0x80102030, 0},
        {D3DFMT_A8P8, {0x05, 0x40}, 0x40102030, 0},
        // Bump formats: (u, v, 1, 1) or (u, v, l, 1) or (u, v, w, q), negatives clamped on output.
        {D3DFMT_V8U8, {0x40, 0x81}, 0xFF8000FF, 2},
        {D3DFMT_Q8W8V8U8, {0x7F, 0x00, 0x40, 0x7F}, 0xFFFF0080, 2},
        {D3DFMT_V16U16, {0xFF, 0x7F, 0x00, 0x00}, 0xFFFF00FF, 1},
        {D3DFMT_L6V5U5, {0x0F, 0xFC}, 0xFFFF00FF, 1},
        {D3DFMT_X8L8V8U8, {0x7F, 0x00, 0x80, 0x00}, 0xFFFF0080, 2},
        {D3DFMT_UYVY, {128, 235, 128, 235}, 0xFFFFFFFF, 2},
        {D3DFMT_YUY2, {81, 90, 81, 240}, 0xFFFF0000, 3},
        // c0 red, c1 blue; indices 2: two thirds red.
        {D3DFMT_DXT1, {0x00, 0xF8, 0x1F, 0x00, 0xAA, 0xAA, 0xAA, 0xAA}, 0xFFAA0055, 1},
        // c0 <= c1: index 3 is transparent black.
        {D3DFMT_DXT1, {0x1F, 0x00, 0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF}, 0x00000000, 0},
        {D3DFMT_DXT3, {0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0}, 0x88FF0000, 0},
        {D3DFMT_DXT2, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x1F, 0x00, 0x00, 0x00, 0, 0, 0, 0}, 0xFF0000FF, 0},
        // Alpha end points 255 and 0, indices 2: six sevenths.
        {D3DFMT_DXT5, {0xFF, 0x00, 0x92, 0x24, 0x49, 0x92, 0x24, 0x49, 0xE0, 0x07, 0, 0, 0, 0, 0, 0}, 0xDA00FF00, 1},
        {D3DFMT_DXT4, {0x00, 0xFF, 0x49, 0x92, 0x24, 0x49, 0x92, 0x24, 0xE0, 0x07, 0, 0, 0, 0, 0, 0}, 0xFF00FF00, 0},
    };
    PALETTEENTRY palette[256] = {};
    palette[5] = PALETTEENTRY{0x10, 0x20, 0x30, 0x80};
    m_device->SetPaletteEntries(3, palette);
    m_device->SetCurrentTexturePalette(3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const bool blocks = c.format >= D3DFMT_DXT1 && c.texel.size() >= 8;
        IDirect3DTexture9* t = texture(4, 1, c.format, [&](UINT, uint8_t* bits, INT pitch, UINT, UINT) {
            for (UINT y = 0; y < (blocks ? 1u : 4u); ++y)
                for (UINT x = 0; x < (blocks ? 1u : 4u); ++x)
                    std::memcpy(bits + y * pitch + x * c.texel.size(), c.texel.data(), c.texel.size());
        });
        ASSERT_NE(t, nullptr);
        frame(t, [&] {
            quad(0, 0, 16, 32, 0, 0, 1, 1);
            m_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
            quad(16, 0, 32, 32, 0, 0, 1, 1);
        });
        const DWORD a = c.want >> 24;
        expectNear(front(4, 4), c.want | 0xFF000000u, c.tolerance, "colour");
        expectNear(front(20, 4), 0xFF000000u | a << 16 | a << 8 | a, c.tolerance, "alpha");
        t->Release();
    }
}

TEST_F(TextureSamplingTest, CubeFacesAreChosenByTheDirection)
{
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(m_device->CreateCubeTexture(2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    const DWORD colours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (int f = 0; f < 6; ++f) {
        D3DLOCKED_RECT r{};
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(f), 0, &r, nullptr, 0), D3D_OK);
        for (int i = 0; i < 4; ++i) std::memcpy(static_cast<uint8_t*>(r.pBits) + i / 2 * r.Pitch + i % 2 * 4, &colours[f], 4);
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(f), 0);
    }
    const float directions[6][3] = {{1, 0.1f, 0.1f}, {-1, 0.1f, 0.1f}, {0.1f, 1, 0.1f},
                                    {0.1f, -1, 0.1f}, {0.1f, 0.1f, 1}, {0.1f, 0.1f, -1}};
    frame(cube, [&] {
        for (int f = 0; f < 6; ++f) {
            const float* d = directions[f];
            quad(f * 5.0f, 0, f * 5.0f + 5, 8, d[0], d[1], d[0], d[1], d[2], true);
        }
    });
    for (int f = 0; f < 6; ++f) EXPECT_EQ(front(f * 5 + 2, 4), colours[f]) << "face " << f;
    cube->Release();
}

TEST_F(TextureSamplingTest, AddressModesBorderColourAndMagnificationFilters)
{
    // Two texels, black then white, spread over 32 pixels with u from -1 to 3.
    const DWORD row[2] = {0xFF000000, 0xFFFFFFFF};
    IDirect3DTexture9* t = texture(2, 1, D3DFMT_X8R8G8B8, [&](UINT, uint8_t* bits, INT pitch, UINT, UINT) {
        std::memcpy(bits, row, 8), std::memcpy(bits + pitch, row, 8);
    });
    // Pixel x samples u = -1 + (x + 0.5) / 8: pixels 0..7 lie in u -1..0, 8..15 in 0..1, and so on.
    const struct {
        DWORD mode;
        DWORD at[4];  // pixels 2, 6, 18, 22 at u = -0.69, -0.19, 1.31, 1.81
    } cases[] = {
        {D3DTADDRESS_WRAP, {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
        {D3DTADDRESS_MIRROR, {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFF000000}},
        {D3DTADDRESS_CLAMP, {0xFF000000, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF}},
        {D3DTADDRESS_BORDER, {0xFF00FF00, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00}},
        {TADDRESS_MIRRORONCE, {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        frame(t, [&] {
            sampler(D3DSAMP_ADDRESSU, c.mode);
            sampler(D3DSAMP_BORDERCOLOR, 0xFF00FF00);
            quad(0, 0, 32, 8, -1, 0.25f, 3, 0.25f);
        });
        EXPECT_EQ(std::vector<DWORD>({front(2, 4), front(6, 4), front(18, 4), front(22, 4)}),
                  std::vector<DWORD>(c.at, c.at + 4));
    }
    // Magnified 16 times: point keeps the edge sharp, linear blends across it.
    sampler(D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        frame(t, [&] {
            sampler(D3DSAMP_MAGFILTER, filter);
            quad(0, 0, 32, 8, 0, 0.25f, 1, 0.25f);
        });
        EXPECT_NEAR(int(front(14, 4) & 0xFF), filter == D3DTEXF_POINT ? 0 : 0x70, filter == D3DTEXF_POINT ? 0 : 0x10);
    }
    t->Release();
}

TEST_F(TextureSamplingTest, MipLevelsFollowFilterBiasLargestLevelAndAnisotropy)
{
    // 16 x 16 with five levels: red, green, blue, white, black.
    const DWORD colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000};
    IDirect3DTexture9* t = texture(16, 5, D3DFMT_A8R8G8B8, [&](UINT l, uint8_t* bits, INT pitch, UINT w, UINT h) {
        for (UINT i = 0; i < w * h; ++i) std::memcpy(bits + i / w * pitch + i % w * 4, &colours[l], 4);
    });
    ASSERT_NE(t, nullptr);
    auto draw = [&](float x1, float y1, const std::function<void()>& states) {
        frame(t, [&] {
            for (auto [type, value] : {std::pair{D3DSAMP_MINFILTER, DWORD(D3DTEXF_POINT)}, {D3DSAMP_MAGFILTER, DWORD(D3DTEXF_POINT)},
                                       {D3DSAMP_MIPFILTER, DWORD(D3DTEXF_POINT)}, {D3DSAMP_MIPMAPLODBIAS, 0u},
                                       {D3DSAMP_MAXMIPLEVEL, 0u}, {D3DSAMP_MAXANISOTROPY, 1u}})
                sampler(type, value);
            states();
            quad(0, 0, x1, y1, 0, 0, 1, 1);
        });
        return front(1, 1);
    };
    EXPECT_EQ(draw(16, 16, [] {}), 0xFFFF0000u);  // one texel a pixel: the top level
    EXPECT_EQ(draw(8, 8, [] {}), 0xFF00FF00u);    // halved: level 1
    EXPECT_EQ(draw(8, 8, [&] { sampler(D3DSAMP_MIPFILTER, D3DTEXF_NONE); }), 0xFFFF0000u);
    EXPECT_EQ(draw(16, 16, [&] { sampler(D3DSAMP_MIPMAPLODBIAS, 0x40000000u); }), 0xFF0000FFu);  // a bias of 2.0f
    EXPECT_EQ(draw(16, 16, [&] { sampler(D3DSAMP_MAXMIPLEVEL, 3); }), 0xFFFFFFFFu);
    // Without a mip filter only the top level is sampled, whatever the largest level says.
    EXPECT_EQ(draw(16, 16, [&] { sampler(D3DSAMP_MIPFILTER, D3DTEXF_NONE), sampler(D3DSAMP_MAXMIPLEVEL, 1); }), 0xFFFF0000u);
    EXPECT_EQ(draw(16, 16, [&] { sampler(D3DSAMP_MAXMIPLEVEL, 9); }), 0xFF000000u);  // held at the last level

    // Squeezed 8 times in one direction only: without anisotropy the level follows the squeeze;
    // with it, sampling along the squeeze keeps a finer level.
    EXPECT_EQ(draw(16, 2, [] {}), 0xFFFFFFFFu);
    EXPECT_NE(draw(16, 2, [&] { sampler(D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC), sampler(D3DSAMP_MAXANISOTROPY, 8); }),
              0xFFFFFFFFu);
    t->Release();
}

}  // namespace
