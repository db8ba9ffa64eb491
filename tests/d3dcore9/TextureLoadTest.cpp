// Filling textures from disk: calculated levels, level files, the .xim cache, cube faces and the
// formats that go through a converting copy.
#include "TextureFixture.h"

#include "TestSupport.h"

namespace {

using testsupport::clearReports;
using testsupport::countReports;
using testsupport::reports;

class TextureLoadTest : public TextureFixture {
protected:
    // Adds and loads a texture; the handle, or TEXTURE_NONE when the load failed.
    TextureHandle load(const char* name, D3DFORMAT f, int32_t minMip, bool cube = false, bool ignoreAlpha = false)
    {
        TextureHandle h = TEXTURE_NONE;
        EXPECT_TRUE(table().AddHWTexture(name, format(f), 0, minMip, cube, ignoreAlpha, &h, "mat"));
        if (!table().LoadTexture(h)) {
            table().ReleaseHWTexture(h);
            return TEXTURE_NONE;
        }
        return h;
    }
    IDirect3DBaseTexture9* texture(TextureHandle h) { return table().GetHWTexture(h)->ITexture; }
    const char* diskName(TextureHandle h)
    {
        return table().GetDiskTexture(table().GetHWTexture(h)->DiskTexture)->Name;
    }
    static uint32_t word(const std::string& s, size_t at)
    {
        uint32_t v = 0;
        std::memcpy(&v, s.data() + at, 4);
        return v;
    }
    static bool sameTime(const char* a, const char* b)
    {
        FILETIME ta{}, tb{};
        return GetTextureFileTime(a, &ta) && GetTextureFileTime(b, &tb) && ta.dwLowDateTime == tb.dwLowDateTime &&
               ta.dwHighDateTime == tb.dwHighDateTime;
    }
};

// 8 x 8: the left half 0x40 grey, the right half 0xC0 grey, alpha 0x80.
std::vector<uint8_t> halves()
{
    std::vector<uint8_t> p(8 * 8 * 4);
    for (int i = 0; i < 64; ++i) {
        const uint8_t v = (i % 8) < 4 ? 0x40 : 0xC0;
        p[i * 4] = p[i * 4 + 1] = p[i * 4 + 2] = v;
        p[i * 4 + 3] = 0x80;
    }
    return p;
}

TEST_F(TextureLoadTest, CalculatedLevelsAreSavedAsLevelFilesAndAnXimThatLoadsBackAlike)
{
    writeFile("tex/wall.tga", tga(8, 8, 32, halves()));
    TextureHandle h = load("Tex\\Wall.tga", D3DFMT_A8R8G8B8, 1);
    ASSERT_NE(h, TEXTURE_NONE);
    EXPECT_TRUE(reports().empty());
    ASSERT_EQ(texture(h)->GetLevelCount(), 4u);
    EXPECT_EQ(texel(texture(h), 0, 7, 7), 0x80C0C0C0u);
    EXPECT_EQ(texel(texture(h), 1, 1, 0), 0x80404040u);
    EXPECT_EQ(texel(texture(h), 3, 0, 0), 0x80808080u);  // the average of both halves

    // Generated levels carry the source's time, and the cache took over the disk entry's name.
    ASSERT_TRUE(m_dir.exists("tex/mipmaps/wall_g03.tga"));
    EXPECT_TRUE(sameTime("tex\\mipmaps\\wall_g01.tga", "tex\\wall.tga"));
    EXPECT_TRUE(sameTime("tex\\wall.xim", "tex\\wall.tga"));
    EXPECT_STREQ(diskName(h), "tex\\wall.xim");

    // The cache: magic, format, kind, then per level the source size twice, row length, rows, rows.
    const std::string xim = m_dir.read("tex/wall.xim");
    ASSERT_EQ(xim.size(), 12u + (16 + 256) + (16 + 64) + (16 + 16) + (16 + 4));
    const uint32_t head[] = {0x29190313u, D3DFMT_A8R8G8B8, 6, 8, 8, 32, 8, 0x80404040u};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(word(xim, 4 * i), head[i]) << i;
    EXPECT_EQ(word(xim, 12 + 272 + 80 + 32), 8u);  // the 1 x 1 level still names the source size

    // Requests name the cache while it carries the source's time, and the source once it does not.
    char chosen[MIP_NAME_SIZE];
    ChooseTextureFile("Tex\\Wall.tga", chosen, D3DFMT_A8R8G8B8);
    EXPECT_STREQ(chosen, "tex\\wall.xim");
    FILETIME later{};
    ASSERT_TRUE(GetTextureFileTime("tex\\wall.tga", &later));
    later.dwLowDateTime += 10;
    ASSERT_TRUE(SetTextureFileTime("tex\\wall.tga", &later));
    ChooseTextureFile("Tex\\Wall.tga", chosen, D3DFMT_A8R8G8B8);
    EXPECT_STREQ(chosen, "Tex\\Wall.tga");
    ChooseTextureFile("tex\\none.tga", chosen, D3DFMT_A8R8G8B8);
    EXPECT_STREQ(chosen, "tex\\none.tga");

    // The entry now answers to the cache's name; once released, the cache loads without the source.
    TextureHandle shared;
    ASSERT_TRUE(table().AddHWTexture("TEX\\WALL.XIM", format(D3DFMT_A8R8G8B8), 0, 1, false, false, &shared, "m"));
    EXPECT_EQ(shared, h);
    table().ReleaseAllHWTextures();
    std::remove((m_dir.path() + "/tex/wall.tga").c_str());
    ChooseTextureFile("tex\\wall.tga", chosen, D3DFMT_A8R8G8B8);
    EXPECT_STREQ(chosen, "tex\\wall.xim");  // with no source, the cache
    TextureHandle again = load(chosen, D3DFMT_A8R8G8B8, 1);
    ASSERT_NE(again, TEXTURE_NONE);
    EXPECT_EQ(texel(texture(again), 3, 0, 0), 0x80808080u);
    EXPECT_EQ(texel(texture(again), 0, 7, 0), 0x80C0C0C0u);
    EXPECT_TRUE(reports().empty());
}

TEST_F(TextureLoadTest, DamagedOrForeignCachesFallBackToTheSource)
{
    writeFile("w.tga", tga(8, 8, 32, halves()));
    ASSERT_NE(load("w.tga", D3DFMT_A8R8G8B8, 1), TEXTURE_NONE);
    const std::string good = m_dir.read("w.xim");
    table().ReleaseAllHWTextures();
    std::string notSquare = good;
    notSquare[12] = 16;
    std::string wrongSize = good;
    wrongSize[12 + 16 + 256] = 16;
    std::string wrongRow = good;
    wrongRow[20] = 31;
    std::string huge = good;
    huge[12] = huge[16] = 0;
    huge[14] = huge[18] = 1;  // 65536 square
    std::string foreign = good;
    foreign[4] = static_cast<char>(D3DFMT_R5G6B5);
    const struct {
        const char* what;
        std::string bytes;
        bool reported;
    } cases[] = {
        {"truncated", good.substr(0, good.size() - 3), true},
        {"header only", good.substr(0, 10), true},
        {"not square", notSquare, true},
        {"size changes between levels", wrongSize, true},
        {"row length not the texture's", wrongRow, true},
        {"huge size", huge, true},
        {"another format", foreign, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clearReports();
        writeFile("w.xim", c.bytes);
        TextureHandle h = load("w.xim", D3DFMT_A8R8G8B8, 1);
        ASSERT_NE(h, TEXTURE_NONE);
        EXPECT_EQ(countReports("Failed to read w.xim. Try deleting this xim!!"), c.reported ? 1 : 0);
        EXPECT_EQ(texel(texture(h), 3, 0, 0), 0x80808080u);
        // The cache is written again from the source.
        EXPECT_EQ(m_dir.read("w.xim"), good);
        table().ReleaseHWTexture(h);
    }
    // Without the source a damaged cache leaves the texture unloaded, and the run goes on.
    std::remove((m_dir.path() + "/w.tga").c_str());
    writeFile("w.xim", good.substr(0, 40));
    EXPECT_EQ(load("w.xim", D3DFMT_A8R8G8B8, 1), TEXTURE_NONE);
}

TEST_F(TextureLoadTest, LevelFilesAreUsedWhenTheyFitAndLevelsAreCalculatedWhenTheyDoNot)
{
    writeFile("t.tga", tga(4, 4, 32, solid(4, 4, 0xFF0000FF)));
    writeFile("t/mipmaps/t_m01.tga", tga(2, 2, 32, solid(2, 2, 0xFF00FF00)));
    writeFile("t/mipmaps/t_m02.tga", tga(1, 1, 24, {0, 0, 0xFF}));
    std::vector<std::string> lines;
    static std::vector<std::string>* seen;
    seen = &lines;
    TextureTable::SetLoadingText([](const char* text) { seen->push_back(text); });
    TextureHandle h = load("t.tga", D3DFMT_A8R8G8B8, 1);
    ASSERT_NE(h, TEXTURE_NONE);
    EXPECT_EQ(table().GetHWTexture(h)->MipSource, uint32_t(MGT_HANDMADE));
    EXPECT_EQ(texel(texture(h), 1, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(texel(texture(h), 2, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(lines, std::vector<std::string>{"Warning: t\\mipmaps\\t_m02.tga has wrong bit-depth"});
    EXPECT_TRUE(reports().empty());
    table().ReleaseAllHWTextures();

    // A level of the wrong size is refused: every level is made from the source instead.
    writeFile("u.tga", tga(4, 4, 32, solid(4, 4, 0xFF0000FF)));
    writeFile("u/mipmaps/u_m01.tga", tga(4, 4, 32, solid(4, 4, 0xFF00FF00)));
    h = load("u.tga", D3DFMT_A8R8G8B8, 1);
    ASSERT_NE(h, TEXTURE_NONE);
    EXPECT_EQ(countReports("Mip-map size mis-match for u\\mipmaps\\u_m01.tga"), 1);
    EXPECT_EQ(texel(texture(h), 1, 0, 0), 0xFF0000FFu);
}

TEST_F(TextureLoadTest, CubeFacesComeFromTheirNamesInFaceOrder)
{
    const char* codes[6] = {"up", "dn", "lf", "rt", "fr", "bk"};
    const D3DCUBEMAP_FACES faces[6] = {D3DCUBEMAP_FACE_POSITIVE_Y, D3DCUBEMAP_FACE_NEGATIVE_Y,
                                       D3DCUBEMAP_FACE_NEGATIVE_X, D3DCUBEMAP_FACE_POSITIVE_X,
                                       D3DCUBEMAP_FACE_NEGATIVE_Z, D3DCUBEMAP_FACE_POSITIVE_Z};
    for (int i = 0; i < 6; ++i)
        writeFile(std::string("sky/sky_") + codes[i] + ".tga", tga(4, 4, 32, solid(4, 4, 0xFF000000u + i * 0x10)));
    TextureHandle h = load("sky\\sky_up.tga", D3DFMT_A8R8G8B8, 2, true);
    ASSERT_NE(h, TEXTURE_NONE);
    ASSERT_EQ(texture(h)->GetType(), D3DRTYPE_CUBETEXTURE);
    EXPECT_EQ(texture(h)->GetLevelCount(), 2u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(texel(texture(h), 1, 0, 0, faces[i]), 0xFF000000u + i * 0x10) << codes[i];
    EXPECT_TRUE(m_dir.exists("sky/mipmaps/sky_bk_g01.tga"));
    // The cache holds all six faces and loads back.
    TextureHandle cached = load("sky\\sky_up.xim", D3DFMT_A8R8G8B8, 2, true);
    ASSERT_NE(cached, TEXTURE_NONE);
    EXPECT_EQ(texel(texture(cached), 1, 0, 0, D3DCUBEMAP_FACE_NEGATIVE_Z), 0xFF000040u);
    EXPECT_TRUE(reports().empty());

    // A face of another size, and a name that is not a cube's, are refused.
    writeFile("box/box_up.tga", tga(4, 4, 32, solid(4, 4, 0xFF000000)));
    for (int i = 1; i < 6; ++i) writeFile(std::string("box/box_") + codes[i] + ".tga", tga(8, 8, 32, solid(8, 8, 0)));
    EXPECT_EQ(load("box\\box_up.tga", D3DFMT_A8R8G8B8, 0, true), TEXTURE_NONE);
    EXPECT_EQ(countReports("ActSizeX == SrceX"), 1);
    writeFile("plain.tga", tga(4, 4, 32, solid(4, 4, 0)));
    EXPECT_EQ(load("plain.tga", D3DFMT_A8R8G8B8, 0, true), TEXTURE_NONE);
    EXPECT_EQ(countReports("as a cubemap. Invalid filename"), 1);
}

TEST_F(TextureLoadTest, ConvertingFormatsPalettesAndDxtBlocks)
{
    // A colour-mapped source: indices and palette into P8, colours into the other layouts.
    std::vector<uint8_t> map(768, 0);
    map[3 * 1 + 2] = 0xFF;  // entry 1 red
    writeFile("p.tga", tga(4, 4, 8, std::vector<uint8_t>(16, 1), true, map));
    TextureHandle p8 = load("p.tga", D3DFMT_P8, 0);
    ASSERT_NE(p8, TEXTURE_NONE);
    const int32_t slot = table().GetHWTexture(p8)->Palette;
    ASSERT_GE(slot, 0);
    EXPECT_EQ(state().Palettes.at(slot)[1].peRed, 0xFF);
    EXPECT_EQ(levelBytes(texture(p8), 0, D3DCUBEMAP_FACE_POSITIVE_X, 4, 1), (std::vector<uint8_t>{1, 1, 1, 1}));
    const std::string xim = m_dir.read("p.xim");
    ASSERT_EQ(xim.size(), 12u + 16 + 16 + 1024);
    EXPECT_EQ(static_cast<uint8_t>(xim[12 + 32 + 4]), 0xFF);  // palette entry 1, red first
    TextureHandle rgb = load("p.tga", D3DFMT_R5G6B5, 0);
    ASSERT_NE(rgb, TEXTURE_NONE);
    EXPECT_EQ(levelBytes(texture(rgb), 0, D3DCUBEMAP_FACE_POSITIVE_X, 2, 1), (std::vector<uint8_t>{0x00, 0xF8}));

    // DXT: 256 x 256 with 9 levels; the cache's blocks stop shrinking at 4 x 4 texels.
    writeFile("d.tga", tga(256, 256, 32, solid(256, 256, 0xFFE08020u)));
    TextureHandle dxt = load("d.tga", D3DFMT_DXT1, 1);
    ASSERT_NE(dxt, TEXTURE_NONE);
    EXPECT_TRUE(reports().empty());
    const std::string blocks = m_dir.read("d.xim");
    size_t at = 12;
    const uint32_t expected[9][2] = {{512, 64}, {256, 32}, {128, 16}, {64, 8}, {32, 4}, {16, 2}, {8, 1}, {8, 1}, {8, 1}};
    for (const auto& e : expected) {
        ASSERT_LE(at + 16, blocks.size());
        EXPECT_EQ(word(blocks, at + 8), e[0]);
        EXPECT_EQ(word(blocks, at + 12), e[1]);
        at += 16 + size_t(e[0]) * e[1];
    }
    EXPECT_EQ(at, blocks.size());
    EXPECT_EQ(word(blocks, 8), 12u);
    // The block decodes to the source colour within 565 steps.
    const std::vector<uint8_t> block = levelBytes(texture(dxt), 8, D3DCUBEMAP_FACE_POSITIVE_X, 8, 1);
    const uint16_t c0 = uint16_t(block[0] | block[1] << 8);
    EXPECT_NEAR((c0 >> 11) * 255 / 31, 0xE0, 9);
    EXPECT_NEAR(((c0 >> 5) & 63) * 255 / 63, 0x80, 5);
}

}  // namespace
