// Filling textures from disk: calculated levels, level files, the .xim cache, cube faces and the
// formats that go through a converting copy.
#include "TextureFixture.h"

#include "TestSupport.h"
#include "d3dcore9/Screenshot.h"
#include "platform/testing.h"
#include "utility/TemporaryFile.h"

#include <cstdio>
#include <filesystem>

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
    EXPECT_EQ(texel(texture(h), 3, 0, 0), 0x80808080u);  // the average of both halves

    // Generated levels carry the source's time, and the cache took over the disk entry's name.
    EXPECT_TRUE(sameTime("tex\\mipmaps\\wall_g03.tga", "tex\\wall.tga"));
    EXPECT_TRUE(sameTime("tex\\wall.xim", "tex\\wall.tga"));
    EXPECT_STREQ(diskName(h), "tex\\wall.xim");

    // The cache: magic, format, kind, then per level the source size twice, row length, rows, rows.
    const std::string xim = m_dir.read("tex/wall.xim");
    ASSERT_EQ(xim.size(), 12u + (16 + 256) + (16 + 64) + (16 + 16) + (16 + 4));
    EXPECT_EQ(word(xim, 0), 0x29190313u);
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

    // Once released, the cache loads without the source.
    table().ReleaseAllHWTextures();
    std::remove((m_dir.path() + "/tex/wall.tga").c_str());
    ChooseTextureFile("tex\\wall.tga", chosen, D3DFMT_A8R8G8B8);
    EXPECT_STREQ(chosen, "tex\\wall.xim");  // with no source, the cache
    TextureHandle again = load(chosen, D3DFMT_A8R8G8B8, 1);
    ASSERT_NE(again, TEXTURE_NONE);
    EXPECT_EQ(texel(texture(again), 0, 7, 0), 0x80C0C0C0u);
    EXPECT_TRUE(reports().empty());

    // A device that holds less than the source: the cache holds the smaller level it made, and
    // loads back as it was saved.
    DXDevice* device = D3DCore.CurrentDevice;
    ASSERT_NE(device, nullptr);
    const DWORD width = device->MaxTextureWidth, height = device->MaxTextureHeight;
    device->MaxTextureWidth = device->MaxTextureHeight = 4;
    writeFile("big.tga", tga(8, 8, 32, halves()));
    ASSERT_NE(load("big.tga", D3DFMT_A8R8G8B8, 1), TEXTURE_NONE);
    table().ReleaseAllHWTextures();
    std::remove((m_dir.path() + "/big.tga").c_str());
    TextureHandle small = load("big.xim", D3DFMT_A8R8G8B8, 1);
    device->MaxTextureWidth = width;
    device->MaxTextureHeight = height;
    ASSERT_NE(small, TEXTURE_NONE);
    EXPECT_EQ(texture(small)->GetLevelCount(), 3u);
    EXPECT_EQ(texel(texture(small), 0, 3, 0), 0x80C0C0C0u);
    EXPECT_TRUE(reports().empty());
}

TEST_F(TextureLoadTest, TheWritersRemoveALinkAtTheirTemporaryNameAndNeverWriteThroughOne)
{
    // At the temporary name of each writer's folder someone's link: to their file, to a read-only
    // file, to nothing. A link at the shot's own name is replaced, not written through.
    namespace fs = std::filesystem;
    char own[32];
    std::snprintf(own, sizeof own, "~%x.tmp", static_cast<unsigned>(GetCurrentProcessId()));
    writeFile("outside/notes.txt", "the user's");
    writeFile("outside/locked.txt", "read-only");
    fs::permissions(m_dir.file("outside/locked.txt"), fs::perms::owner_read);
    writeFile("tex/wall.tga", tga(8, 8, 32, halves()));
    fs::create_directories(m_dir.file("tex/mipmaps"));
    const std::pair<std::string, std::string> links[] = {
        {"tex/", "outside/notes.txt"}, {"tex/mipmaps/", "outside/locked.txt"}, {"", "outside/none.txt"}};
    for (const auto& [folder, target] : links) fs::create_symlink(m_dir.file(target), m_dir.file(folder + own));
    fs::create_symlink(m_dir.file("outside/locked.txt"), m_dir.file("shot.tga"));

    const TextureHandle h = load("tex\\wall.tga", D3DFMT_A8R8G8B8, 1);
    ASSERT_NE(h, TEXTURE_NONE);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(static_cast<IDirect3DTexture9*>(texture(h))->GetSurfaceLevel(0, &level), D3D_OK);
    EXPECT_EQ(writeSurfaceTGA(DXInterface.ID3DDevice, "shot.tga", 8, 8, level), D3D_OK);
    level->Release();

    EXPECT_TRUE(reports().empty()) << reports().front().message;
    EXPECT_EQ(m_dir.read("outside/notes.txt") + m_dir.read("outside/locked.txt"), "the user'sread-only");
    EXPECT_FALSE(m_dir.exists("outside/none.txt"));
    for (const char* made : {"tex/wall.xim", "tex/mipmaps/wall_g01.tga", "shot.tga"})
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(m_dir.file(made)))) << made;
    for (const auto& link : links) EXPECT_FALSE(fs::exists(fs::symlink_status(m_dir.file(link.first + own))));
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
        ResetTextureReports();  // each a run of its own
        writeFile("w.xim", c.bytes);
        TextureHandle h = load("w.xim", D3DFMT_A8R8G8B8, 1);
        ASSERT_NE(h, TEXTURE_NONE);
        EXPECT_EQ(countReports("Failed to read w.xim. Try deleting this xim!!"), c.reported ? 1 : 0);
        EXPECT_EQ(texel(texture(h), 3, 0, 0), 0x80808080u);
        // The cache is written again from the source.
        EXPECT_EQ(m_dir.read("w.xim"), good);
        table().ReleaseHWTexture(h);
    }
    // A size the file does not hold makes no texture of that size: only the source's is made.
    std::string unheld = good;
    for (const auto& [at, value] : {std::pair<size_t, uint32_t>{12, 2048}, {16, 2048}, {20, 8192}, {24, 2048}})
        std::memcpy(&unheld[at], &value, 4);
    writeFile("w.xim", unheld);
    const int made = platform::testing::d3d9Calls("CreateTexture");
    TextureHandle fromSource = load("w.xim", D3DFMT_A8R8G8B8, 1);
    ASSERT_NE(fromSource, TEXTURE_NONE);
    EXPECT_EQ(platform::testing::d3d9Calls("CreateTexture") - made, 1);
    EXPECT_EQ(texel(texture(fromSource), 3, 0, 0), 0x80808080u);
    table().ReleaseHWTexture(fromSource);
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

TEST_F(TextureLoadTest, GeneratedFilesAppearWholeAnIncompleteSetIsMadeAgainAndAnUnwritableFolderIsReportedOnce)
{
    namespace fs = std::filesystem;
    auto leftovers = [&] {
        int n = 0;
        for (const auto& e : fs::recursive_directory_iterator(m_dir.path()))
            n += e.path().filename().string()[0] == '~';
        return n;
    };
    writeFile("g.tga", tga(8, 8, 32, halves()));
    ASSERT_NE(load("g.tga", D3DFMT_A8R8G8B8, 1), TEXTURE_NONE);
    table().ReleaseAllHWTextures();
    // A run stopped while it wrote the set, or a second copy, left a level out.
    fs::remove(m_dir.path() + "/g/mipmaps/g_g02.tga");
    fs::remove(m_dir.path() + "/g.xim");
    TextureHandle h = load("g.tga", D3DFMT_A8R8G8B8, 1);
    ASSERT_NE(h, TEXTURE_NONE);
    EXPECT_EQ(table().GetHWTexture(h)->MipSource, uint32_t(MGT_GENERATED));
    EXPECT_EQ(texel(texture(h), 3, 0, 0), 0x80808080u);
    EXPECT_TRUE(m_dir.exists("g/mipmaps/g_g02.tga"));
    EXPECT_TRUE(sameTime("g\\mipmaps\\g_g02.tga", "g.tga"));

    EXPECT_TRUE(reports().empty());

    // Nowhere to put level files or caches: the textures still load, and the run log hears once.
    for (const char* name : {"h", "k"}) {
        writeFile(std::string(name) + ".tga", tga(8, 8, 32, halves()));
        writeFile(name, "a file where the level folder would be");
        fs::create_directory(m_dir.path() + "/" + name + ".xim");
        ASSERT_NE(load((std::string(name) + ".tga").c_str(), D3DFMT_A8R8G8B8, 1), TEXTURE_NONE);
    }
    EXPECT_EQ(reports().size(), 1u);
    EXPECT_EQ(countReports("Failed to write to <h\\mipmaps\\h_g01.tga>\n"), 1);  // the cause on its own line
    EXPECT_EQ(leftovers(), 0);

    // In a new run, a cache that cannot be opened for writing at all: its report says why too.
    ResetTextureReports();
    clearReports();
    char temporary[MAX_PATH];
    temporaryFileName("c.xim", temporary, sizeof temporary);
    fs::create_directory(m_dir.file(temporary));
    writeFile("c.tga", tga(8, 8, 32, halves()));
    ASSERT_NE(load("c.tga", D3DFMT_A8R8G8B8, 1), TEXTURE_NONE);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0].message,
              "Failed to write to <c.xim>\nA folder stands at the temporary name <" + std::string(temporary) + ">");
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
    for (int i = 0; i < 6; ++i) EXPECT_EQ(texel(texture(h), 1, 0, 0, faces[i]), 0xFF000000u + i * 0x10) << codes[i];
    // The cache holds all six faces and loads back.
    TextureHandle cached = load("sky\\sky_up.xim", D3DFMT_A8R8G8B8, 2, true);
    ASSERT_NE(cached, TEXTURE_NONE);
    EXPECT_EQ(texel(texture(cached), 1, 0, 0, D3DCUBEMAP_FACE_NEGATIVE_Z), 0xFF000040u);
    EXPECT_TRUE(reports().empty());

    // A face of another size, and a name that is not a cube's, are refused.
    writeFile("box/box_up.tga", tga(4, 4, 32, solid(4, 4, 0xFF000000)));
    for (int i = 1; i < 6; ++i) writeFile(std::string("box/box_") + codes[i] + ".tga", tga(8, 8, 32, solid(8, 8, 0)));
    EXPECT_EQ(load("box\\box_up.tga", D3DFMT_A8R8G8B8, 0, true), TEXTURE_NONE);
    writeFile("plain.tga", tga(4, 4, 32, solid(4, 4, 0)));
    EXPECT_EQ(load("plain.tga", D3DFMT_A8R8G8B8, 0, true), TEXTURE_NONE);
    EXPECT_EQ(reports().size(), 2u);
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
    TextureHandle rgb = load("p.tga", D3DFMT_R5G6B5, 0);
    ASSERT_NE(rgb, TEXTURE_NONE);
    EXPECT_EQ(levelBytes(texture(rgb), 0, D3DCUBEMAP_FACE_POSITIVE_X, 2, 1), (std::vector<uint8_t>{0x00, 0xF8}));

    // DXT: 256 x 256 with 9 levels; the cache's blocks stop shrinking at 4 x 4 texels.
    writeFile("d.tga", tga(256, 256, 32, solid(256, 256, 0xFFE08020u)));
    TextureHandle dxt = load("d.tga", D3DFMT_DXT1, 1);
    ASSERT_NE(dxt, TEXTURE_NONE);
    EXPECT_TRUE(reports().empty());
    // 512 x 64 + 256 x 32 + ... + 16 x 2, then three levels of one 8-byte block.
    EXPECT_EQ(m_dir.read("d.xim").size(), 12u + 9 * 16 + 32768 + 8192 + 2048 + 512 + 128 + 32 + 3 * 8);
    // The block decodes to the source colour within 565 steps.
    const std::vector<uint8_t> block = levelBytes(texture(dxt), 8, D3DCUBEMAP_FACE_POSITIVE_X, 8, 1);
    const uint16_t c0 = uint16_t(block[0] | block[1] << 8);
    EXPECT_NEAR((c0 >> 11) * 255 / 31, 0xE0, 9);
    EXPECT_NEAR(((c0 >> 5) & 63) * 255 / 63, 0x80, 5);
}

}  // namespace
