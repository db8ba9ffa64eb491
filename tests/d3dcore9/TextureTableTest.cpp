// The disk and hardware texture tables: sharing, reports, slots, palettes and texture creation.
#include "TextureFixture.h"

#include "TestSupport.h"

namespace pt = platform::testing;
using testsupport::clearReports;
using testsupport::countReports;
using testsupport::reports;

namespace {

class TextureTableTest : public TextureFixture {};

const char* firstUser(const char*, const char*) { return "mat_one"; }

void expectEmpty(const TextureSlots& s)
{
    EXPECT_EQ(std::vector<uint32_t>({s.FirstUsed, s.LastUsed, s.FirstFree, s.SlotsUsed}), std::vector<uint32_t>({511, 0, 0, 0}));
}

TEST_F(TextureTableTest, EqualRequestsShareAndDifferingOnesAreReportedOncePerSlot)
{
    TextureTable::SetUserFinder(firstUser);
    Tex* argb = format(D3DFMT_A8R8G8B8);
    TextureHandle a, b, c, d;
    ASSERT_TRUE(table().AddHWTexture("tex\\Wall.tga", argb, 0, 1, false, false, &a, "mat_one"));
    // Case, stage and cube flag do not part two requests.
    ASSERT_TRUE(table().AddHWTexture("TEX\\WALL.TGA", argb, 3, 1, true, false, &b, "mat_two"));
    EXPECT_EQ(a, b);
    EXPECT_TRUE(reports().empty());

    ASSERT_TRUE(table().AddHWTexture("tex\\wall.tga", argb, 0, 4, false, true, &c, "mat_two"));
    EXPECT_NE(c, a);
    EXPECT_EQ(countReports("Error: tex\\wall.tga used with differing mip-map levels\n1: mat_one\n2: mat_two"), 1);
    EXPECT_EQ(reports().size(), 2u);  // and once for the alpha
    // Both hardware entries hang on the one disk entry.
    EXPECT_EQ(table().GetHWTexture(c)->DiskTexture, table().GetHWTexture(a)->DiskTexture);

    // The slot has reported once: taken again with another mismatch, it stays quiet.
    clearReports();
    EXPECT_TRUE(table().ReleaseHWTexture(c));
    ASSERT_TRUE(table().AddHWTexture("tex\\wall.tga", format(D3DFMT_R5G6B5), 0, 1, false, false, &d, "mat_three"));
    EXPECT_EQ(d, c);
    EXPECT_TRUE(reports().empty());
    // A new slot reports the format.
    ASSERT_TRUE(table().AddHWTexture("tex\\wall.tga", format(D3DFMT_DXT1), 0, 1, false, false, &d, "mat_four"));
    EXPECT_EQ(countReports("used with differing texture formats"), 1);

    // A negative smallest level is taken as none.
    ASSERT_TRUE(table().AddHWTexture("tex\\other.tga", argb, 0, -3, false, false, &d, "m"));
    EXPECT_EQ(table().GetHWTexture(d)->MinMipSize, 0);
}

TEST_F(TextureTableTest, SlotsFillLowestFirstAndEmptyTablesReturnToTheirStart)
{
    Tex* argb = format(D3DFMT_A8R8G8B8);
    for (int i = 0; i < 512; ++i) {
        TextureHandle h;
        ASSERT_TRUE(table().AddHWTexture(("t" + std::to_string(i) + ".tga").c_str(), argb, 0, 0, false, false, &h, "m"));
        EXPECT_EQ(h, static_cast<TextureHandle>(i));
    }
    TextureHandle full;
    EXPECT_FALSE(table().AddHWTexture("one_more.tga", argb, 0, 0, false, false, &full, "m"));
    uint32_t disk;
    EXPECT_FALSE(table().AddDiskTexture("one_more.tga", &disk));
    // Freed slots are taken again lowest first; the used range follows the entries.
    EXPECT_TRUE(table().ReleaseHWTexture(7));
    EXPECT_TRUE(table().ReleaseHWTexture(3));
    EXPECT_TRUE(table().ReleaseHWTexture(511));
    EXPECT_EQ(table().HWSlots.LastUsed, 510u);
    TextureHandle again;
    ASSERT_TRUE(table().AddHWTexture("again.tga", argb, 0, 0, false, false, &again, "m"));
    EXPECT_EQ(again, 3u);

    table().ReleaseAllHWTextures();
    expectEmpty(table().HWSlots);
    expectEmpty(table().DiskSlots);
    // Out-of-range and free handles are refused before the tables are touched.
    clearReports();
    EXPECT_FALSE(table().ReleaseHWTexture(0));
    EXPECT_FALSE(table().ReleaseHWTexture(512));
    EXPECT_FALSE(table().ReleaseDiskTexture(9999));
    EXPECT_EQ(table().GetHWTexture(600), nullptr);
    EXPECT_EQ(table().GetDiskTexture(512), nullptr);
    EXPECT_EQ(reports().size(), 5u);
    expectEmpty(table().HWSlots);
}

TEST_F(TextureTableTest, MipSourceFollowsTheLevelFilesAndTheirTimes)
{
    Tex* argb = format(D3DFMT_A8R8G8B8);
    const std::string image = tga(4, 4, 32, solid(4, 4, 0xFF000000));
    writeFile("tex/wall.tga", image);
    auto source = [&](const char* name) {
        TextureHandle h;
        EXPECT_TRUE(table().AddHWTexture(name, argb, 0, 1, false, false, &h, "m"));
        uint32_t s = table().GetHWTexture(h)->MipSource;
        table().ReleaseHWTexture(h);
        return s;
    };
    writeFile("tex/mipmaps/wall_g01.tga", image);
    FILETIME t{};
    ASSERT_TRUE(GetTextureFileTime("tex\\wall.tga", &t));
    FILETIME other = t;
    other.dwLowDateTime += 1;
    ASSERT_TRUE(SetTextureFileTime("tex\\mipmaps\\wall_g01.tga", &other));
    EXPECT_EQ(source("tex\\wall.tga"), uint32_t(MGT_NONE));
    ASSERT_TRUE(SetTextureFileTime("tex\\mipmaps\\wall_g01.tga", &t));
    EXPECT_EQ(source("tex\\wall.tga"), uint32_t(MGT_GENERATED));
    writeFile("tex/mipmaps/wall_m01.tga", image);
    EXPECT_EQ(source("TEX\\Wall.TGA"), uint32_t(MGT_HANDMADE));
}

TEST_F(TextureTableTest, PalettesTakeTheLowestFreeSlotAndComeBackAfterALostDevice)
{
    Tex* p8 = format(D3DFMT_P8);
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = PALETTEENTRY{BYTE(i), 0, 0, 255};
    std::vector<TextureHandle> handles;
    for (int i = 0; i < 65; ++i) {
        TextureHandle h;
        ASSERT_TRUE(table().AddHWTexture(("p" + std::to_string(i) + ".tga").c_str(), p8, 0, 0, false, false, &h, "m"));
        table().SetTexturePalette(h, entries);
        handles.push_back(h);
    }
    table().SetTexturePalette(handles[0], entries);  // a palette is given once
    EXPECT_EQ(table().GetHWTexture(handles[0])->Palette, 0);
    EXPECT_EQ(table().GetHWTexture(handles[63])->Palette, 63);
    EXPECT_EQ(table().GetHWTexture(handles[64])->Palette, -1);
    EXPECT_EQ(state().Palettes.at(63)[5].peRed, 5);

    table().ReleaseHWTexture(handles[10]);
    EXPECT_FALSE(D3DCore.PaletteUsed(10));
    table().SetTexturePalette(handles[64], entries);
    EXPECT_EQ(table().GetHWTexture(handles[64])->Palette, 10);

    // Entries stay through a lost device; the palettes are sent again.
    D3DCore.LoseDevice();
    pt::setD3D9DeviceState(D3DERR_DEVICENOTRESET);
    pt::clearD3D9Calls();
    D3DPRESENT_PARAMETERS pp = D3DCore.PresentParameters;
    ASSERT_EQ(DXInterface.ID3DDevice->Reset(&pp), D3D_OK);
    D3DCore.RestoreLostDevice();
    EXPECT_EQ(pt::d3d9Calls("SetPaletteEntries"), 64);
}

TEST_F(TextureTableTest, CreateTextureCountsLevelsAndReportsSizes)
{
    struct Case {
        uint32_t sizeX, sizeY;
        int32_t minMip;
        bool cube;
        uint32_t edge, levels;
        const char* report;  // null: none
    } cases[] = {
        {256, 256, 4, false, 256, 7, nullptr},   {256, 256, 0, false, 256, 1, nullptr},
        {512, 256, 1, false, 512, 10, "is not square"},
        {8192, 8192, 1, false, 4096, 13, "is too large"},
        {4096, 4096, 1, false, 4096, 13, nullptr},
        {2, 2, 1, false, 2, 2, "is too small"},

        {64, 64, 1, true, 64, 7, nullptr},
    };
    Tex* argb = format(D3DFMT_A8R8G8B8);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sizeX) + "x" + std::to_string(c.sizeY) + " min " + std::to_string(c.minMip));
        clearReports();
        TextureHandle h;
        ASSERT_TRUE(table().AddHWTexture("sized.tga", argb, 0, c.minMip, c.cube, false, &h, "m"));
        HWTexture* e = table().GetHWTexture(h);
        DiskTexture* d = table().GetDiskTexture(e->DiskTexture);
        d->SizeX = c.sizeX;
        d->SizeY = c.sizeY;
        ASSERT_TRUE(table().CreateTexture(e));
        ASSERT_NE(e->ITexture, nullptr);
        EXPECT_EQ(e->ITexture->GetType(), c.cube ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE);
        EXPECT_EQ(e->ITexture->GetLevelCount(), c.levels);
        D3DSURFACE_DESC desc{};
        if (c.cube) static_cast<IDirect3DCubeTexture9*>(e->ITexture)->GetLevelDesc(0, &desc);
        else static_cast<IDirect3DTexture9*>(e->ITexture)->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, c.edge);
        EXPECT_EQ(countReports(c.report ? c.report : "Texture <"), c.report ? 1 : 0);
        table().ReleaseHWTexture(h);
    }
    // A device that cannot mip-map cube textures gets one level.
    D3DCore.CurrentDevice->MipCubeMaps = 0;
    TextureHandle h;
    ASSERT_TRUE(table().AddHWTexture("cube_up.tga", argb, 0, 1, true, false, &h, "m"));
    table().GetDiskTexture(table().GetHWTexture(h)->DiskTexture)->SizeX = 64;
    table().GetDiskTexture(table().GetHWTexture(h)->DiskTexture)->SizeY = 64;
    ASSERT_TRUE(table().CreateTexture(table().GetHWTexture(h)));
    EXPECT_EQ(table().GetHWTexture(h)->ITexture->GetLevelCount(), 1u);
    // A refused creation is reported and leaves no texture.
    pt::setD3D9Failure("CreateCubeTexture", D3DERR_OUTOFVIDEOMEMORY);
    clearReports();
    EXPECT_FALSE(table().CreateTexture(table().GetHWTexture(h)));
    EXPECT_EQ(table().GetHWTexture(h)->ITexture, nullptr);
}

TEST_F(TextureTableTest, ReleaseTexturesActsOnlyWhenAskedAndResetsForgetBoundTextures)
{
    Tex* argb = format(D3DFMT_A8R8G8B8);
    TextureHandle h;
    ASSERT_TRUE(table().AddHWTexture("kept.tga", argb, 0, 0, false, false, &h, "m"));
    D3DCore.ReleaseTextures(0, 0, false);
    EXPECT_NE(table().GetHWTexture(h), nullptr);
    D3DCore.ReleaseTextures(0, 0, true);
    expectEmpty(table().HWSlots);

    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(DXInterface.ID3DDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3D_OK);
    D3DCore.SetTexture(0, texture);
    EXPECT_EQ(state().Textures[0], texture);
    // A frame that finds the device waiting for a reset resets it, which unbinds every texture.
    pt::setD3D9DeviceState(D3DERR_DEVICENOTRESET);
    D3DCore.BeginScene(false, false);
    D3DCore.EndScene(false);
    EXPECT_EQ(state().Textures[0], nullptr);
    D3DCore.SetTexture(0, texture);  // the cache forgot it too
    EXPECT_EQ(state().Textures[0], texture);
    D3DCore.SetTexture(0, nullptr);
    texture->Release();
}

}  // namespace
