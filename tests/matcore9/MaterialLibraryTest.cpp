// The material library's front door: the device with the core's materials, materials by name with
// their textures and fall-backs, the forwarders that change materials, and the fatal-error screen.
#include "LibraryFixture.h"

#include "d3dcore9/TextureFiles.h"
#include "utility/RunLog.h"

namespace pt = platform::testing;

namespace {

class MaterialLibraryTest : public LibraryFixture {};

TEST_F(MaterialLibraryTest, TheDeviceComesWithTheCoreMaterialsAndGoesWithoutThem)
{
    ASSERT_TRUE(bringUpLibrary());
    EXPECT_TRUE(testsupport::reports().empty());
    EXPECT_NE(D3DCore.StateBlocks.GetSB(D3DCore.DebugFontBlock)->Texture[0][0], nullptr);
    EXPECT_EQ(D3DCore.StateBlocks.GetSB(D3DCore.LetterboxBlock)->GMaterial->FVFFormat.D3DFlags, 0x44u);
    EXPECT_EQ(state().Material.Power, 10.0f);

    MatCore.DestroyDevice();
    EXPECT_EQ(pt::d3d9LiveDevices(), 0);
    EXPECT_EQ(D3DCore.StateBlocks.SlotsUsed, 0u);
    for (const auto& row : D3DCore.D3DCoreFunc)
        for (auto slot : row) EXPECT_EQ(slot, nullptr);
}

TEST_F(MaterialLibraryTest, MaterialsAreSharedByNameParsedOnceAndFallBackByTheirFormat)
{
    ASSERT_TRUE(bringUpLibrary());
    MatEnableLoadingScreen(true, false);
    texture("m\\a.tga", 8, 8);
    write("m\\a.mtl", material("XYZ|DIFFUSE|TEX1", "settexture 0 0\n"));
    DWORD first = SB_NONE, second = SB_NONE;
    StateBlock* SB = load("data\\m\\a.mtl", names({"data\\m\\a.tga"}), &first);
    ASSERT_NE(SB, nullptr);
    ASSERT_NE(load("data\\m\\a.mtl", names({"data\\m\\a.tga"}), &second), nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(countPrinted("Loading Material: data\\m\\a.mtl"), 1);
    EXPECT_NE(SB->Texture[0][0], nullptr);

    // No alternative validates: the fall-back of the declared format, with the textures bound.
    write("m\\fails.mtl", material("XYZ|DIFFUSE|TEX1", "settexture 0 0\n", 1, "alwaysfail\n"));
    SB = load("data\\m\\fails.mtl", names({"data\\m\\a.tga"}));
    ASSERT_NE(SB, nullptr);
    EXPECT_STREQ(SB->GMaterial->Name, "data\\fallbackmaterials\\t1_vc.mtl");
    EXPECT_NE(SB->Texture[0][0], nullptr);
    // Blocks go by their material's name: the fall-back's name with the same textures finds this one.
    EXPECT_EQ(load("data\\fallbackmaterials\\T1_VC.mtl", names({"data\\m\\a.tga"})), SB);
    // A missing file declares nothing: vertex colour.
    testsupport::clearReports();
    SB = load("data\\m\\missing.mtl", TexNames());
    ASSERT_NE(SB, nullptr);
    EXPECT_STREQ(SB->GMaterial->Name, "data\\fallbackmaterials\\vc.mtl");
    // Without a usable fall-back the run ends.
    std::filesystem::remove(m_dir.file("data/fallbackmaterials/t1.mtl"));
    write("m\\t1.mtl", material("XYZ|TEX1", "settexture 0 0\n", 1, "alwaysfail\n"));
    int exitCode = -1;
    EXPECT_EQ(load("data\\m\\t1.mtl", names({"data\\m\\a.tga"}), nullptr, &exitCode), nullptr);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(countPrinted("Error: Material data\\m\\t1.mtl failed to validate"), 1);
}

TEST_F(MaterialLibraryTest, TexturesAreChosenBetweenCacheAndImageAndBoundWithinTheirNames)
{
    ASSERT_TRUE(bringUpLibrary());
    texture("t\\c.tga", 16, 16);
    for (const char* m : {"one", "two", "three", "four"})
        write(std::string("t\\") + m + ".mtl", material("XYZ|TEX1", "settexture 0 0\n"));
    // Which file a load read shows in the texture: the image is changed behind the cache's back.
    auto firstTexel = [&](const char* name) {
        DWORD h = SB_NONE;
        const StateBlock* SB = load(name, names({"data\\t\\c.tga"}), &h);
        DWORD texel = 0;
        D3DLOCKED_RECT r{};
        auto* t = SB ? static_cast<IDirect3DTexture9*>(SB->Texture[0][0]) : nullptr;
        if (t && t->LockRect(0, &r, nullptr, D3DLOCK_READONLY) == D3D_OK) {
            std::memcpy(&texel, r.pBits, 4);
            t->UnlockRect(0);
        }
        if (SB) D3DCore.StateBlocks.ReleaseSB(h);
        return texel;
    };
    // The first load reads the image and leaves a cache with the image's time.
    EXPECT_EQ(firstTexel("data\\t\\one.mtl"), 0xFFFFFFFFu);
    ASSERT_TRUE(m_dir.exists("data/t/c.xim"));
    FILETIME cacheTime{};
    ASSERT_TRUE(GetTextureFileTime("data\\t\\c.xim", &cacheTime));
    texture("t\\c.tga", 16, 16, 0xFF00FF00u);
    ASSERT_TRUE(SetTextureFileTime("data\\t\\c.tga", &cacheTime));
    EXPECT_EQ(firstTexel("data\\t\\two.mtl"), 0xFFFFFFFFu);  // equal times: the cache
    FILETIME later = cacheTime;
    later.dwHighDateTime += 1;
    ASSERT_TRUE(SetTextureFileTime("data\\t\\c.tga", &later));
    EXPECT_EQ(firstTexel("data\\t\\three.mtl"), 0xFF00FF00u);  // times differ: the image
    // Neither file: a warning, and the stage draws untextured.
    MatCore.Warnings = 0;
    const StateBlock* SB = load("data\\t\\four.mtl", names({"data\\t\\none.tga"}));
    ASSERT_NE(SB, nullptr);
    EXPECT_EQ(SB->Texture[0][0], nullptr);
    EXPECT_EQ(MatCore.Warnings, 1u);

    // A stage naming a texture past the list is reported and left untextured.
    testsupport::clearReports();
    write("t\\two_textures.mtl", material("XYZ|TEX1", "settexture 0 1\n", 2));
    SB = load("data\\t\\two_textures.mtl", names({"data\\t\\c.tga"}));
    ASSERT_NE(SB, nullptr);
    EXPECT_EQ(SB->Texture[0][0], nullptr);
    EXPECT_EQ(testsupport::reports().size(), 1u);

    // Gore substitution: "gib.tga" anywhere in the name, the ".tga" written over; over-long names stay.
    MatCore.SubstituteTextures = true;
    texture("t\\gib_g.tga", 8, 8);
    texture("t\\big.tga", 8, 8);
    write("t\\gore.mtl", material("XYZ|TEX1", "settexture 0 0\n", 2));
    SB = load("data\\t\\gore.mtl", names({"data\\t\\GIB.tga", "data\\t\\big.tga"}));
    ASSERT_NE(SB, nullptr);
    EXPECT_NE(std::string(diskName(SB, 0)).find("gib_g."), std::string::npos) << diskName(SB, 0);
    EXPECT_STREQ(diskName(SB, 1), "data\\t\\big.tga");
    testsupport::clearReports();
    const std::string longName = "data\\t\\" + std::string(240, 'x') + "meat.tga";
    load("data\\t\\gore.mtl", names({longName.c_str()}));
    EXPECT_EQ(testsupport::countReports("length + 2 < SB_TEXNAME_SIZE"), 1);
}

TEST_F(MaterialLibraryTest, ForwardersChangeTheMaterialsTheyName)
{
    ASSERT_TRUE(bringUpLibrary());
    write("f.mtl", material("XYZRHW|DIFFUSE|TEX1", "stageid 0 glow\nsettexture 0 NONE\n"));
    DWORD h = SB_NONE;
    ASSERT_NE(load("data\\f.mtl", TexNames(), &h), nullptr);
    const GMaterial* GM = D3DCore.StateBlocks.GetSB(h)->GMaterial;
    SetTextureFactor(h, 255, 0, 0, 128);
    EXPECT_EQ(GM->TextureFactor, 0x80FF0000u);
    SetTextureFactorAlpha(h, 16);
    EXPECT_EQ(GM->TextureFactor, 0x10FF0000u);
    SetTextureFactor(h, 256, 0, 0, 0);
    SetTextureFactorRGB(h, -1, 0, 0);
    EXPECT_EQ(GM->TextureFactor, 0x10FF0000u);
    EXPECT_EQ(MatFindStageID(h, "GLOW"), 0u);
}

TEST_F(MaterialLibraryTest, AFatalErrorWaitsForAKeyOnTheLoadingScreenOrGoesToTheRunLog)
{
    ASSERT_TRUE(bringUpLibrary());
    auto fatal = [](const char* text) {
        try {
            MatCore.FatalError(text);
        } catch (const testsupport::ProcessExit& e) {
            return e.code;
        }
        return -1;
    };
    testsupport::clearReports();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fatal("Broken"), 1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("stopping as a material cannot be used\n"), std::string::npos);

    // Answered with a key, and made while a file is read that has reported already: the run log
    // still says why the run stopped, in its own words.
    MatEnableLoadingScreen(true, false);
    testsupport::clearReports();
    m_libraryHost.PollsBeforeKey = 3;
    ReadingFile reading("data\\font.mtl");
    assertFailed("false", __FILE__, __LINE__);
    EXPECT_EQ(fatal("Error: Broken again"), 1);
    EXPECT_EQ(m_libraryHost.Polls, 4);
    EXPECT_EQ(countPrinted("Error: Broken again"), 1);
    EXPECT_EQ(countPrinted("Error: Error:"), 0);
    ASSERT_EQ(testsupport::reports().size(), 2u);
    EXPECT_EQ(testsupport::reports()[1].message, "Error: Broken again");
}

TEST_F(MaterialLibraryTest, OneDamagedFileIsOneReportNamingItAndFilesReadForAnotherAreTheirOwn)
{
    ASSERT_TRUE(bringUpLibrary());
    // The font's material cannot be read: its fall-back stands in, of a format debug text cannot
    // use; that follows from the report already made about the file.
    MatCore.DestroyDevice();
    write("font.mtl", material("XYZRHW|TEX1", "settexture 0 0\nsetrenderstate bogus true\n"));
    testsupport::clearReports();
    ASSERT_TRUE(MatCore.CreateDevice(false, false, 1));
    EXPECT_EQ(D3DCore.FontLoaded, 0);
    ASSERT_EQ(testsupport::reports().size(), 1u);
    EXPECT_EQ(testsupport::reports()[0].message.rfind("Invalid Command Parameter for setrenderstate", 0), 0u);
    EXPECT_NE(testsupport::reports()[0].message.find("data\\font.mtl"), std::string::npos);

    // A material named by a file being read (a level's list): its animation file, a texture that
    // is gone and one that is damaged are each a file of its own, each said naming it.
    write("m/a.anm", "junk\n");
    write("m/bad.tga", "short");
    write("m/a.mtl", material("XYZ|TEX1", "settexture 0 0\n", 2, "textureanimation a.anm\n"));
    testsupport::clearReports();
    ReadingFile list("data\\m\\list.txt");
    load("data\\m\\a.mtl", names({"data\\m\\bad.tga", "data\\m\\gone.tga"}));
    // A stage asking for a texture past the list is the material's fault, whatever its missing
    // texture has said; a cache that cannot be read is the cache's.
    write("m/b.mtl", material("XYZ|TEX1", "settexture 0 1\n", 2));
    load("data\\m\\b.mtl", names({"data\\m\\gone2.tga"}));
    write("m/c.mtl", material("XYZ|TEX1", "settexture 0 0\n"));
    write("m/c.xim", "");
    load("data\\m\\c.mtl", names({"data\\m\\c.tga"}));
    std::vector<std::string> said;
    for (const auto& r : testsupport::reports()) said.push_back(r.message);
    EXPECT_EQ(said, std::vector<std::string>(
                        {"Missing File:data\\m\\gone.tga\nMaterial: data\\m\\a.mtl",
                         "Illegal Command junk in data\\m\\a.anm", "data\\m\\bad.tga",
                         "Missing File:data\\m\\gone2.tga\nMaterial: data\\m\\b.mtl",
                         "Texture 1 not available in\nMaterial: data\\m\\b.mtl\nMaterial only has 1 textures assigned",
                         "Failed to read data\\m\\c.xim. Try deleting this xim!!"}));
    // The list itself has not been reported: its own fault is still said, naming it.
    writeRunLog("a line of the list cannot be used");
    EXPECT_EQ(testsupport::countReports("While reading data\\m\\list.txt\na line of the list cannot be used"), 1);
}

}  // namespace
