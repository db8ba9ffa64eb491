// TGA files, level-file names, the area-average filter and pixel packing.
#include "TextureFixture.h"

#include "TestSupport.h"
#include "utility/TemporaryFile.h"

#include <filesystem>
#include <sys/inotify.h>
#include <unistd.h>


namespace {

using testsupport::clearReports;
using testsupport::countReports;
using testsupport::ProcessExit;
using testsupport::reports;

class TextureFilesTest : public TextureFixture {};

TEST_F(TextureFilesTest, TgaVariantsLoadTopRowFirstWithAlphaAsAsked)
{
    // 2 x 2 pixels: top row red, green; bottom row blue, white (with alpha 0x40 on 32 bits).
    const std::vector<uint8_t> bgra = {0, 0, 255, 0x40, 0, 255, 0, 0x40, 255, 0, 0, 0x40, 255, 255, 255, 0x40};
    std::vector<uint8_t> bgr;
    for (size_t i = 0; i < bgra.size(); i += 4) bgr.insert(bgr.end(), bgra.begin() + i, bgra.begin() + i + 3);
    struct Case {
        const char* name;
        uint32_t depth;
        bool topFirst, ignoreAlpha;
        uint8_t alpha;
    } cases[] = {
        {"a.tga", 32, true, false, 0x40},
        {"c.tga", 32, true, true, 255},
        {"d.tga", 24, false, false, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.name, tga(2, 2, c.depth, c.depth == 32 ? bgra : bgr, c.topFirst));
        TGAImage image;
        ASSERT_EQ(LoadTGA(c.name, image, c.ignoreAlpha), c.depth);
        std::vector<uint8_t> expected = bgra;
        for (int i = 0; i < 4; ++i) expected[i * 4 + 3] = c.alpha;
        EXPECT_EQ(std::vector<uint8_t>(image.Pixels.get(), image.Pixels.get() + 16), expected);
    }
    // Colour-mapped: indices as they stand, the map as palette entries with full flags.
    writeFile("p.tga", tga(2, 1, 8, {3, 1}, false, {10, 20, 30, 40, 50, 60}));
    TGAImage mapped;
    ASSERT_EQ(LoadTGA("P.TGA", mapped, false), 8u);
    EXPECT_EQ(mapped.Pixels[0], 3);
    EXPECT_EQ(std::vector<int>({mapped.Palette[1].peRed, mapped.Palette[1].peBlue, mapped.Palette[1].peFlags}),
              std::vector<int>({60, 40, 255}));
    EXPECT_TRUE(reports().empty());
    // A file that is not there ends the run.
    EXPECT_THROW(LoadTGA("none.tga", mapped, false), ProcessExit);
    EXPECT_EQ(countReports("Can't open file none.tga"), 1);
}

TEST_F(TextureFilesTest, DamagedTgaFilesAreRefusedWithAReport)
{
    const std::string good = tga(4, 4, 32, solid(4, 4, 0xFF102030));
    auto patched = [&](size_t at, uint8_t value) {
        std::string s = good;
        s[at] = static_cast<char>(value);
        return s;
    };
    std::string huge = good.substr(0, 18);
    huge[12] = huge[13] = static_cast<char>(0xFF);  // 65535 wide
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"short header", good.substr(0, 10)},
        {"short rows", good.substr(0, good.size() - 5)},
        {"huge width and nothing after", huge},
        {"run-length coded", patched(2, 10)},
        {"identification field", patched(0, 4)},
        {"colour map on true colour", patched(1, 1)},
        {"16 bits", patched(16, 16)},
        {"interleaved", patched(17, 0x48)},
        {"zero height", patched(14, 0)},
        {"mapped without a map", tga(2, 2, 8, {0, 1, 2, 3}).substr(0, 18 + 100)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clearReports();
        ResetTextureReports();  // each a run of its own: a file's failure is said once a run
        writeFile("bad.tga", c.bytes);
        TGAImage image;
        EXPECT_EQ(LoadTGA("bad.tga", image, false), 0u);
        EXPECT_EQ(image.Pixels, nullptr);
        EXPECT_GE(reports().size(), 1u);
    }
}

TEST_F(TextureFilesTest, WrittenTgaFilesReadBackAndStoreRowsBottomFirst)
{
    const std::vector<uint8_t> bgra = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    ASSERT_TRUE(WriteTGA("out\\deep\\w.tga", bgra.data(), 3, 2, 32));
    const std::string bytes = m_dir.read("out/deep/w.tga");
    ASSERT_EQ(bytes.size(), 18u + 24u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[18]), 13);  // the last row comes first
    TGAImage back;
    ASSERT_EQ(LoadTGA("out\\deep\\w.tga", back, false), 32u);
    EXPECT_EQ(std::vector<uint8_t>(back.Pixels.get(), back.Pixels.get() + 24), bgra);

    PALETTEENTRY palette[256] = {};
    palette[2] = PALETTEENTRY{200, 100, 50, 255};
    const uint8_t indices[4] = {2, 0, 0, 2};
    ASSERT_TRUE(WriteTGA("w8.tga", indices, 2, 2, 8, palette));
    ASSERT_EQ(LoadTGA("w8.tga", back, false), 8u);
    EXPECT_EQ(back.Pixels[3], 2);
    EXPECT_EQ(back.Palette[2].peGreen, 100);

    // A name that cannot be written is reported and nothing is written.
    m_dir.write("taken/file", "");
    EXPECT_FALSE(WriteTGA("taken\\file\\w.tga", bgra.data(), 3, 2, 32));
    EXPECT_EQ(reports().size(), 1u);
}

TEST_F(TextureFilesTest, AFailedWriteSaysItsCauseApartFromTheFileBeingReadAndTheTimeGoesOnThroughTheHandle)
{
    namespace fs = std::filesystem;
    const std::vector<uint8_t> bgra(16, 7);
    char temporary[MAX_PATH];
    temporaryFileName("x.tga", temporary, sizeof temporary);
    // Made while a file is read that has said what is wrong with it already; once a run.
    ReadingFile list("data\\list.txt");
    assertFailedMsg("data\\list.txt is damaged", "false", __FILE__, __LINE__);
    clearReports();
    fs::create_directory(m_dir.file(temporary));
    EXPECT_FALSE(WriteTGA("a.tga", bgra.data(), 2, 2, 32));
    fs::remove(m_dir.file(temporary));
    fs::create_directory(m_dir.file("b.tga"));
    EXPECT_FALSE(WriteTGA("b.tga", bgra.data(), 2, 2, 32));
    ResetTextureReports();  // a new run
    EXPECT_FALSE(WriteTGA("b.tga", bgra.data(), 2, 2, 32));
    std::vector<std::string> said;
    for (const auto& r : reports()) said.push_back(r.message);
    EXPECT_EQ(said, std::vector<std::string>({"Failed to write to <a.tga>\nA folder stands at the temporary name <" +
                                                  std::string(temporary) + ">",
                                              "Failed to write to <b.tga>\nA folder stands at the name <b.tga>"}));

    // The source's time goes on through the handle that wrote the file: the temporary name is
    // never opened again, so whatever stands at it by then is not written to. Closes are watched
    // too, as two opens in a row would be told as one.
    const int watch = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(watch, m_dir.path().c_str(), IN_OPEN | IN_CLOSE);
    const FILETIME time{0x12345600u, 0x01D00000u};
    ASSERT_TRUE(WriteTGA("timed.tga", bgra.data(), 2, 2, 32, nullptr, &time));
    alignas(inotify_event) char events[8192];
    int opens = 0;
    for (ssize_t got = read(watch, events, sizeof events), at = 0; at < got;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
        opens += (e->mask & IN_OPEN) && e->len && std::string(e->name) == temporary;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
    close(watch);
    EXPECT_EQ(opens, 1);
    FILETIME back{};
    ASSERT_TRUE(GetTextureFileTime("timed.tga", &back));
    EXPECT_EQ(std::make_pair(back.dwLowDateTime, back.dwHighDateTime), std::make_pair(time.dwLowDateTime, time.dwHighDateTime));
}

TEST_F(TextureFilesTest, AWriteSweepsTheLeftoversOfItsOwnFolderWhicheverSlashNamesIt)
{
    // Half-written copies of a process that no longer runs (no id is that large), in the run
    // folder and in the folders written to.
    const std::string gone = "~7ffffffe.tmp";
    for (const std::string folder : {"", "out/deep/", "in/"}) m_dir.write(folder + gone, "half a file");
    const std::vector<uint8_t> bgra(16, 7);
    ASSERT_TRUE(WriteTGA("out/deep/w.tga", bgra.data(), 2, 2, 32));
    ASSERT_TRUE(WriteTGA("in\\w.tga", bgra.data(), 2, 2, 32));
    EXPECT_FALSE(m_dir.exists("out/deep/" + gone));
    EXPECT_FALSE(m_dir.exists("in/" + gone));
    EXPECT_TRUE(m_dir.exists(gone));  // nothing was written in the run folder
    EXPECT_EQ(m_dir.read("out/deep/w.tga").size(), 18u + 16u);
    EXPECT_TRUE(reports().empty());
}

TEST_F(TextureFilesTest, LevelFileNames)
{
    const struct {
        const char* source;
        uint32_t index, type;
        D3DFORMAT format;
        const char* expected;
    } cases[] = {
        {"Tex\\Wall.TGA", 0, MGT_CACHE, D3DFMT_A8R8G8B8, "tex\\wall.xim"},
        {"Tex\\Wall.TGA", 1, MGT_GENERATED, D3DFMT_A8R8G8B8, "tex\\mipmaps\\wall_g01.tga"},
        {"Tex\\Wall.TGA", 1, MGT_HANDMADE, D3DFMT_A8R8G8B8, "tex\\mipmaps\\wall_m01.tga"},
        {"Tex\\Wall.TGA", 12, MGT_CACHE, D3DFMT_A8R8G8B8, "tex\\mipmaps\\wall_x12.xim"},
        {"Tex\\Wall.xim", 0, MGT_GENERATED, D3DFMT_P8, "tex\\wall.tga"},
        {"Wall.TGA", 2, MGT_GENERATED, D3DFMT_A8R8G8B8, "wall\\mipmaps\\wall_g02.tga"},
        {"a\\b\\Sky_UP.tga", 3, MGT_GENERATED, D3DFMT_DXT1, "a\\b\\mipmaps\\sky_up_g03.tga"},
    };
    for (const auto& c : cases) {
        char out[MIP_NAME_SIZE] = {};
        BuildMipFileName(c.source, c.index, c.type, out, c.format);
        EXPECT_STREQ(out, c.expected);
    }
}

TEST_F(TextureFilesTest, ScaleImageAveragesTheAreaEachPixelCovers)
{
    // 3 x 1 into 2 x 1: the middle pixel is split half and half.
    const uint8_t row[12] = {0, 0, 0, 0, 100, 100, 100, 100, 201, 201, 201, 201};
    uint8_t out[8];
    ScaleImage(row, out, 3, 1, 2, 1);
    EXPECT_EQ(out[0], 33);   // (0 * 1 + 100 * 0.5) / 1.5
    EXPECT_EQ(out[4], 167);  // (100 * 0.5 + 201 * 1) / 1.5
    // 4 x 4 into 1 x 1: the mean, truncated.
    std::vector<uint8_t> square(64, 0);
    for (int i = 0; i < 16; ++i) square[i * 4 + 2] = static_cast<uint8_t>(i * 10 + 1);
    ScaleImage(square.data(), out, 4, 4, 1, 1);
    EXPECT_EQ(out[2], 76);  // (1 + 11 + ... + 151) / 16 = 76
}

TEST_F(TextureFilesTest, CopyToSurfacePacksEveryLayoutWithAlphaRounded)
{
    // One pixel B 0x12, G 0x34, R 0x56, A 0x7F.
    const uint8_t pixel[4] = {0x12, 0x34, 0x56, 0x7F};
    const struct {
        D3DFORMAT format;
        uint32_t expected;
    } cases[] = {
        {D3DFMT_A8R8G8B8, 0x7F563412u}, {D3DFMT_R8G8B8, 0x563412u},
        {D3DFMT_R5G6B5, (0x56u >> 3) << 11 | (0x34u >> 2) << 5 | (0x12u >> 3)},
        // 0x7F + 64 rounds up to the one alpha bit.
        {D3DFMT_A1R5G5B5, 1u << 15 | (0x56u >> 3) << 10 | (0x34u >> 3) << 5 | (0x12u >> 3)},
        {D3DFMT_A4R4G4B4, 0x8u << 12 | 0x5u << 8 | 0x3u << 4 | 0x1u},
        {D3DFMT_A8R3G3B2, 0x7Fu << 8 | (0x56u >> 5) << 5 | (0x34u >> 5) << 2 | (0x12u >> 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        IDirect3DSurface9* s = nullptr;
        ASSERT_EQ(DXInterface.ID3DDevice->CreateOffscreenPlainSurface(1, 1, c.format, D3DPOOL_SCRATCH, &s, nullptr),
                  D3D_OK);
        ASSERT_TRUE(CopyToSurface(pixel, 1, 1, format(c.format), s));
        D3DLOCKED_RECT r{};
        s->LockRect(&r, nullptr, D3DLOCK_READONLY);
        uint32_t v = 0;
        std::memcpy(&v, r.pBits, format(c.format)->BitsPerPixel / 8);
        s->UnlockRect();
        s->Release();
        EXPECT_EQ(v, c.expected);
    }
    // A smaller surface takes what fits; a failed lock is reported.
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(DXInterface.ID3DDevice->CreateOffscreenPlainSurface(1, 1, D3DFMT_P8, D3DPOOL_SCRATCH, &s, nullptr), D3D_OK);
    const uint8_t indices[4] = {9, 8, 7, 6};
    EXPECT_TRUE(CopyToSurface(indices, 2, 2, format(D3DFMT_P8), s));
    platform::testing::setD3D9Failure("LockRect", D3DERR_INVALIDCALL);
    EXPECT_FALSE(CopyToSurface(indices, 2, 2, format(D3DFMT_P8), s));
    platform::testing::setD3D9Failure("LockRect", D3D_OK);
    s->Release();
}

}  // namespace
