// The real game on a copy of data/ with one file damaged or missing: each is one report, naming the
// file, and the run goes on to its scripted close.
#include "GameProcess.h"
#include "GroveClumps.h"
#include "TestSupport.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>
#include <unistd.h>

namespace fs = std::filesystem;
namespace cw = clumpwriter;

namespace {

class DamagedDataRunTest : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }

    // A new copy of the data, whose first frames are the game's.
    void fresh()
    {
        fs::remove_all(dir.file("data"));
        for (const char* gone : {"Veldrane.log", "stderr.txt", "Veldrane_00000.tga"}) fs::remove(dir.file(gone));
        copyData(dir);
        ASSERT_TRUE(withoutLoadingScreen(dir));
    }
    // Runs to the script's close and a screenshot before it: false, with what was said, when the
    // run did not get there.
    ::testing::AssertionResult runsToItsClose(const std::string& script = "30 key F12\n40 close\n", bool asUser = false)
    {
        const int code = finishGame(startGame(dir, script, -1, false, asUser), 90);
        if (code == 0 && dir.exists("Veldrane_00000.tga")) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "exit " << code << "\n" << textOf(dir, "stderr.txt");
    }
    // Whether the run log holds one report, and it says that.
    ::testing::AssertionResult oneReport(const std::string& said) const
    {
        const std::string log = textOf(dir, "Veldrane.log");
        if (countOf(log, "Time: ") == 1 && countOf(log, said) == 1) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "not once: " << said << "\n" << log;
    }
    void writeGrove(const cw::File& f) const { dir.write("data/clumps/grove.clump", cw::file(f)); }

    testsupport::TempDir dir;
};

TEST_F(DamagedDataRunTest, AMissingOrUnreadableAnimationFileIsReportedOnceNamingIt)
{
    const struct {
        const char* what;
        std::function<void()> damage;
        const char* said;
    } cases[] = {
        {"deleted", [&] { fs::remove(dir.file("data/anims/robot_walk.txt")); }, "not found"},
        {"garbage", [&] { dir.write("data/anims/robot_walk.txt", wavtest::pattern(3000)); },
         "its first line is not #HIERARCHY"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        c.damage();
        EXPECT_TRUE(runsToItsClose());
        EXPECT_TRUE(oneReport(std::string("Animation file data\\anims\\robot_walk.txt: ") + c.said));
    }
}

TEST_F(DamagedDataRunTest, AClumpFileWithElementsOfNoNumberLosesThemWithOneReportAndTheLevelGoesOn)
{
    // NaN rotations throughout the near grove (the clump goes), an infinite position and an
    // infinite scale among the far trees (those trees go).
    cw::File grove = groveclumps::grove();
    for (cw::Element& e : grove.Types[0].Clumps[0].Elements) e.Rotation[2] = std::nanf("");
    grove.Types[0].Clumps[1].Elements[3].Position[1] = INFINITY;
    grove.Types[0].Clumps[1].Elements[6].Scale[0] = -INFINITY;
    writeGrove(grove);
    EXPECT_TRUE(runsToItsClose());
    EXPECT_TRUE(oneReport("Clump file data\\clumps\\grove.clump: an element placed, turned or scaled by no number"));
}

TEST_F(DamagedDataRunTest, AClumpFileThatCannotBeReadIsOneReportAndTheLevelGoesOnWithoutIt)
{
    const std::string whole = cw::file(groveclumps::grove());
    const std::string grove = "Clump file data\\clumps\\grove.clump: ";
    const struct {
        const char* what;
        std::function<void(cw::File&)> edit;
        std::string bytes;  // instead of the edited file
        std::string said;
    } cases[] = {
        {"cut short", nullptr, whole.substr(0, whole.size() - 100), grove + "numObjects * 48"},
        {"absurd counts", [](cw::File& f) { f.NumModels = 0x7FFFFFFF; }, "", grove + "numModels"},
        {"absurd counts", [](cw::File& f) { f.Types[1].NumClumps = 1 << 30; }, "", grove + "numClumps"},
        {"a bad version", nullptr, whole.substr(0, 4) + std::string("\2\0\0\0", 4) + whole.substr(8),
         grove + "FATAL: Wrong version"},
        // The entry's file, which is no model, is named by the model loader.
        {"an entry that is no model",
         [](cw::File& f) { f.Models[3] = {"data\\clumps\\grove.mtl", "data\\clumps\\grove.mtl"}; }, "",
         "RSM <data\\clumps\\grove.mtl>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        cw::File f = groveclumps::grove();
        if (c.edit) c.edit(f);
        dir.write("data/clumps/grove.clump", c.edit ? cw::file(f) : c.bytes);
        EXPECT_TRUE(runsToItsClose());
        EXPECT_TRUE(oneReport(c.said));
    }
}

TEST_F(DamagedDataRunTest, FilesWithTheSameFaultAreAReportEachNamingItsFile)
{
    // Two models of a version the loader refuses (50).
    for (const char* model : {"data/models/robot.rsm", "data/clumps/grove_tree.rsm"})
        dir.write(model, std::string("\x32\0\0\0", 4) + dir.read(model).substr(4));
    EXPECT_TRUE(runsToItsClose());
    const std::string log = textOf(dir, "Veldrane.log");
    EXPECT_EQ(countOf(log, "Time: "), 2) << log;
    EXPECT_EQ(countOf(log, "data\\models\\robot.rsm is an incompatible version"), 1) << log;
    EXPECT_EQ(countOf(log, "data\\clumps\\grove_tree.rsm is an incompatible version"), 1) << log;

    // A clump file whose trees all stand off the map: one report for all its clumps.
    fresh();
    cw::File grove = groveclumps::grove();
    for (cw::Clump& clump : grove.Types[0].Clumps)
        for (cw::Element& e : clump.Elements) e.Position[0] += 1e6f;
    writeGrove(grove);
    EXPECT_TRUE(runsToItsClose());
    EXPECT_TRUE(oneReport("Static object could not be put into the land tree: data\\clumps\\grove.clump"));
}

TEST_F(DamagedDataRunTest, EachDamagedTextFileIsOneReportNamingItAndWhatFollowsFromItIsNotWritten)
{
    const auto replaceAll = [this](const char* file, const std::string& from, const std::string& to) {
        std::string text = dir.read(file);
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        dir.write(file, text);
    };
    const auto cut = [this](const char* file, size_t keep, bool fromEnd) {
        const std::string text = dir.read(file);
        dir.write(file, text.substr(0, fromEnd ? text.size() - keep : keep));
    };
    const auto junkFirstLine = [this](const char* file) {
        const std::string text = dir.read(file);
        dir.write(file, "junk junk" + text.substr(text.find('\n')));
    };
    // The fountain's drops, dying before the close, start ghost, which demo.txt lacks; the level's
    // list names ghost too, before or after the fountain: the list's report is the file's one.
    const auto ghostListed = [&](const std::string& names) {
        const std::string fountain = "fountain\n\tEffectRadius\t400\n\tOnCollision\tSYS_NONE\n\tOnParticleDeath\t";
        replaceAll("data/particles/demo.txt", fountain + "SYS_NONE\n", fountain + "ghost\n");
        ASSERT_NE(dir.read("data/particles/demo.txt").find("ghost"), std::string::npos);
        replaceAll("data/particles/demo.txt", "\t\tlifespan\t50\n", "\t\tlifespan\t5\n");
        replaceAll("data/levels/demo/particles/particlesystem_precache.psp", "\t\tps_def0\tfountain\n", names);
    };
    const std::string ghostFailed =
        "The effect manager failed to precache the effect : ghost from the file data\\particles\\demo.txt";
    const struct {
        const char* what;
        std::function<void()> damage;
        std::vector<std::string> said;  // one entry each, and no other; headed "While reading" only as given
    } cases[] = {
        {"a volume-model file of junk",
         [&] {
             dir.write("data/levels/demo/level.ini",
                       dir.read("data/levels/demo/level.ini") +
                           "[VOLUMEMODELS]\nVolumeData = <string> \"data\\models\\volumefog\\volumemodels.txt\"\n");
             dir.write("data/models/volumefog/volumemodels.txt", wavtest::pattern(3000));
         },
         {"While reading data\\models\\volumefog\\volumemodels.txt\r\nUnknown word in volume file"}},
        {"a level script cut short", [&] { cut("data/levels/demo/m01.txt", 500, false); },
         {"Block file data\\levels\\demo\\m01.txt: ends inside a block"}},
        {"two precache lists of junk",
         [&] {
             dir.write("data/levels/demo/particles/particlesystem_precache.psp",
                       "junk here\n" + dir.read("data/levels/demo/particles/particlesystem_precache.psp"));
             dir.write("data/particles/particlesystem_precache.psp", "junk\n");
         },
         {"While reading data\\levels\\demo\\particles\\particlesystem_precache.psp\r\nAssertion Failed:",
          "While reading data\\particles\\particlesystem_precache.psp\r\nAssertion Failed:"}},
        {"both effect definitions out of range",
         [&] { replaceAll("data/particles/demo.txt", "render_type\t0", "render_type\t7"); },
         {"While reading data\\particles\\demo.txt\r\nEffect definition splash: render_type must be 0, 1 or 2"}},
        {"an effect file cut short", [&] { cut("data/particles/demo.txt", 3, true); },
         {"Block file data\\particles\\demo.txt: ends inside a block"}},
        {"an effect the list names after the effect that starts it",
         [&] { ghostListed("\t\tps_def0\tfountain\n\t\tps_def1\tghost\n"); }, {ghostFailed}},
        {"an effect the list names before the effect that starts it",
         [&] { ghostListed("\t\tps_def0\tghost\n\t\tps_def1\tfountain\n"); }, {ghostFailed}},
        {"the overlay font's page", [&] { junkFirstLine("data/overlay/hudfont.txt"); },
         {"While reading data\\overlay\\hudfont.txt\r\nAssertion Failed:\r\nExpression: Sprites > 0"}},
        {"a pixel shader",
         [&] {
             replaceAll("data/models/demo.mtl", "fvf XYZ|NORMAL|TEX1\n", "fvf XYZ|NORMAL|TEX1\npixelshader junk.psh\n");
             dir.write("data/PixelShaders/junk.psh", "junk junk\ntex t0\nmul r0, t0, v0\n");
         },
         {"Error in PixelShader\r\ndata\\PixelShaders\\junk.psh"}},
        // Before its fvf line: the fall-back without texture coordinates stands in, and that it
        // wants a colour the robot lacks follows from the file's report.
        {"a material's number out of range",
         [&] { replaceAll("data/models/demo.mtl", "passes 1\n", "passes 100000\n"); },
         {"Invalid Number Parameter for passes at line 6 in \r\ndata\\models\\demo.mtl"}},
        {"a material's number of no digits", [&] { replaceAll("data/models/demo.mtl", "passes 1\n", "passes abc\n"); },
         {"Invalid Number Parameter for passes at line 6 in \r\ndata\\models\\demo.mtl"}},
        // A good file that does not fit the robot is said.
        {"a material asking for a colour the robot lacks",
         [&] { replaceAll("data/models/demo.mtl", "fvf XYZ|NORMAL|TEX1\n", "fvf XYZ|NORMAL|DIFFUSE|TEX1\n"); },
         {"Can't Load data\\models\\robot.rsm / data\\models\\demo.mtl\r\n"
          "Diffuse requested in material, not present in model"}},
        {"the render defaults", [&] { junkFirstLine("data/renderdefault.txt"); },
         {"While reading data\\renderdefault.txt\r\nAssertion Failed:"}},
        // The model falls back to the default class, to which its walk cannot be bound.
        {"a class file of junk", [&] { dir.write("data/classdef/robot.def", wavtest::pattern(100)); },
         {"Unknown class name, check classdef file robot (data\\classdef\\robot.def)"}},
        // A file opened while another is read is a read of its own, whatever that one has said.
        {"a damaged sound named by a damaged definition",
         [&] {
             dir.write("data/sounds/splash.wav", wavtest::pattern(4096));
             replaceAll("data/particles/demo.txt", "4\n\t\tcollisionradius\t6\n\t\trender_type\t0",
                        "4\n\t\tcollisionradius\t6\n\t\trender_type\t7");
         },
         {"While reading data\\particles\\demo.txt\r\nEffect definition splash: render_type",
          "Failed to open WAV file: data\\sounds\\splash.wav"}},
        {"two missing included files",
         [&] { replaceAll("data/levels/demo/m01.txt", "fountain\n}", "fountain\n#include gone1.txt\n#include gone2.txt\n}"); },
         {"Include file - gone1.txt - referenced", "Include file - gone2.txt - referenced"}},
        {"a light-map list naming a missing material",
         [&] { dir.write("data/lights/lightmaps.txt", "3\nspot.tga spotmap.mtl\npoint.tga nothere.mtl\njunk\n"); },
         {"File not found: data\\lights\\nothere.mtl",
          "While reading data\\lights\\lightmaps.txt\r\nA light map needs a texture and a material"}},
        {"a script block of a type no manager knows",
         [&] { replaceAll("data/levels/demo/m01.txt", "// The objects", "NoSuchObject\n{\n}\n// The objects"); },
         {"While reading data\\levels\\demo\\m01.txt\r\nUnable to create object of class NoSuchObject"}},
        {"the game configuration cut short", [&] { cut("data/gameconfig.txt", 120, false); },
         {"Block file data\\gameconfig.txt: ends inside a block"}},
        // Named by its path in the data folder; its texture beside it is found there all the same.
        {"the fountain's material deleted", [&] { fs::remove(dir.file("data/particles/PartLinearBlend.mtl")); },
         {"Material data\\Particles\\PartLinearBlend.mtl Not Found"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        c.damage();
        // Past the fountain's first splash, which an effect file that failed would leave unmade.
        EXPECT_TRUE(runsToItsClose("50 key F12\n55 close\n"));
        const std::string log = textOf(dir, "Veldrane.log");
        EXPECT_EQ(countOf(log, "Time: "), static_cast<int>(c.said.size())) << log;
        for (const std::string& said : c.said) EXPECT_EQ(countOf(log, said), 1) << said << "\n" << log;
        EXPECT_EQ(countOf(log, "While reading"), std::count_if(c.said.begin(), c.said.end(), [](const std::string& s) {
                      return s.find("While reading") != std::string::npos;
                  })) << log;
    }

    // Without the list's codes no card is asked for compressed textures, so none passes and the
    // game cannot start: the first report says which file.
    fresh();
    junkFirstLine("data/4CC.txt");
    EXPECT_EQ(finishGame(startGame(dir, "40 close\n"), 90), 1);
    const std::string log = textOf(dir, "Veldrane.log");
    const size_t firstEntry = log.find("\r\n", log.find("Time: ")) + 2;
    const std::string first = "DXT1 was not read from data\\4CC.txt, so the card was not asked for it";
    EXPECT_EQ(log.compare(firstEntry, first.size(), first), 0) << log;
}

TEST_F(DamagedDataRunTest, AMissingWeaponDefinitionIsOneReport)
{
    for (bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "a folder" : "missing");
        fresh();
        fs::remove(dir.file("data/weapons/treefire.txt"));
        if (folder) fs::create_directory(dir.file("data/weapons/treefire.txt"));
        EXPECT_TRUE(runsToItsClose());
        EXPECT_TRUE(oneReport("Failed to read weapon definition file data\\weapons\\treefire.txt"));
    }
}

TEST_F(DamagedDataRunTest, TheOverlayFontsTextureMissingOrItsCacheCutWithoutItIsOneReport)
{
    fs::remove(dir.file("data/overlay/hudfont.tga"));
    EXPECT_TRUE(runsToItsClose());
    EXPECT_TRUE(oneReport("Missing File:data\\overlay\\hudfont.tga"));

    fresh();
    ASSERT_TRUE(runsToItsClose());  // writes the cache
    const std::string cache = dir.read("data/overlay/hudfont.xim");
    fresh();
    dir.write("data/overlay/hudfont.xim", cache.substr(0, cache.size() / 2));
    fs::remove(dir.file("data/overlay/hudfont.tga"));
    EXPECT_TRUE(runsToItsClose());
    EXPECT_TRUE(oneReport("Failed to read data\\overlay\\hudfont.xim"));
}

TEST_F(DamagedDataRunTest, AFileTheUserMayNotReadIsOneReportSayingSoAndTheRunGoesOn)
{
    const std::string texture = "Unreadable File (access denied):data\\models\\demo.tga\r\nMaterial: data\\models\\demo.mtl\r\n"
                                "RSM: data\\models\\robot.rsm\r\n";
    const auto unreadable = [this](const char* file) { fs::permissions(dir.file(file), fs::perms::none); };
    const auto withCaches = [this] { ASSERT_EQ(finishGame(startGame(dir, "5 close\n"), 90), 0); };
    const std::string smoke = "Unreadable File (access denied):data\\particles\\smoke.tga\r\n"
                              "Material: data\\Particles\\PartLinearBlend.mtl\r\n";
    const struct {
        const char* what;
        std::function<void()> damage;
        std::string said;  // "": nothing is
    } cases[] = {
        {"a texture", [&] { unreadable("data/models/demo.tga"); }, texture},
        // Not the cache, which was made from the texture as it was.
        {"a texture changed since its cache was made",
         [&] {
             withCaches();
             fs::last_write_time(dir.file("data/models/demo.tga"), fs::file_time_type::clock::now());
             unreadable("data/models/demo.tga");
         },
         texture},
        // Named without its folder, which is its material's; or by its folder in the data folder.
        {"a particle texture", [&] { unreadable("data/particles/smoke.tga"); }, smoke},
        {"a particle texture named by its folder",
         [&] {
             std::string text = dir.read("data/particles/demo.txt");
             for (size_t at = text.find("\tsmoke.tga"); at != std::string::npos; at = text.find("\tsmoke.tga", at + 1))
                 text.replace(at + 1, 9, "particles\\smoke.tga");
             dir.write("data/particles/demo.txt", text);
             unreadable("data/particles/smoke.tga");
         },
         smoke},
        {"a level's settings", [&] { unreadable("data/levels/demo/level.ini"); },
         "Unreadable File (access denied):data\\levels\\demo\\level.ini\r\n"},
        // The folder may be entered but not listed: each file is found under the name the data
        // writes, the texture also as the first of its generated levels.
        {"a folder that cannot be listed",
         [&] {
             const std::string material = dir.read("data/models/shadow/shadow.mtl");
             const size_t at = material.find("usemipmaps 0 FALSE");
             ASSERT_NE(at, std::string::npos);
             dir.write("data/models/shadow/shadow.mtl", material.substr(0, at) + "usemipmaps 0 TRUE" +
                                                            material.substr(at + std::strlen("usemipmaps 0 FALSE")));
             withCaches();
             ASSERT_TRUE(dir.exists("data/models/shadow/mipmaps/mechshad_g01.tga"));
             fs::permissions(dir.file("data/models/shadow"), fs::perms::owner_write | fs::perms::owner_exec |
                                                                 fs::perms::group_exec | fs::perms::others_exec);
         },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fresh();
        c.damage();
        fs::remove(dir.file("Veldrane.log"));
        EXPECT_TRUE(runsToItsClose("30 key F12\n40 close\n", true));
        if (c.said.empty()) {
            EXPECT_FALSE(dir.exists("Veldrane.log")) << textOf(dir, "Veldrane.log");
        } else {
            EXPECT_TRUE(oneReport(c.said));
        }
        fs::permissions(dir.file("data/models/shadow"), fs::perms::owner_all);  // so that it can be removed
    }
}

TEST_F(DamagedDataRunTest, AWavThatCannotBePlayedAsAskedIsOneReport)
{
    // The grove's trees play a sound when they change state: a stereo one, which a 3D sound cannot
    // be, or one whose header claims 3 GB. The fountain's splash, played in 3D, in stereo too.
    using namespace wavtest;
    const std::string stereo = wav({2, 22050, 16, 16, ""}, pattern(4000)),
                      claims3GB = "RIFF" + u32(4000) + "WAVE" +
                                  chunk("fmt ", u16(1) + u16(1) + u32(22050) + u32(44100) + u16(2) + u16(16)) +
                                  chunk("data", pattern(4000), 3000000000u);
    const struct {
        const char* file;
        std::string bytes;
        const char* said;
    } cases[] = {
        {"data/sounds/bounce.wav", stereo, "Stereo sample loaded as 3D (should be mono): data\\sounds\\bounce.wav"},
        {"data/sounds/bounce.wav", claims3GB, "Failed to open WAV file: data\\sounds\\bounce.wav"},
        {"data/sounds/splash.wav", stereo, "Stereo sample loaded as 3D (should be mono): data\\sounds\\splash.wav"},
    };
    cw::File grove = groveclumps::grove();
    grove.Sounds = {"data\\sounds\\bounce.wav"};
    grove.Types[0].States[1].Sound = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        fresh();
        writeGrove(grove);
        dir.write(c.file, c.bytes);
        EXPECT_TRUE(runsToItsClose());
        EXPECT_TRUE(oneReport(c.said));
    }
}

TEST_F(DamagedDataRunTest, AReportRepeatedEveryFrameIsWrittenOnceAndTheRunGoesOn)
{
    // The fountain starts another fountain from each of its drops every frame: from about the
    // fortieth frame the effects run out, and say so at every start that fails.
    std::string fountain = dir.read("data/particles/demo.txt");
    const auto swap = [&fountain](const std::string& from, const std::string& to) {
        const size_t at = fountain.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        fountain.replace(at, from.size(), to);
    };
    swap("\tOnPeriodParticle\tSYS_NONE\n",
         "\tOnPeriodParticle\tfountain\n\tOnPeriodParticlePeriod\t1\n\tOnPeriodParticleVariation\t0\n");
    swap("\t\tcount\t100\n", "\t\tcount\t2\n");
    dir.write("data/particles/demo.txt", fountain);
    EXPECT_TRUE(runsToItsClose("48 key F12\n50 close\n"));
    EXPECT_TRUE(oneReport("Too many live effects"));
}

TEST_F(DamagedDataRunTest, TheLogTrimKeepsTheUsersFilesInTheRunFolder)
{
    // A log longer than the game keeps, a report to write to it, and the user's own temp.tmp.
    dir.write("Veldrane.log", std::string(20000, 'x'));
    dir.write("temp.tmp", "the user's");
    fs::remove(dir.file("data/weapons/treefire.txt"));
    EXPECT_TRUE(runsToItsClose());
    EXPECT_EQ(textOf(dir, "temp.tmp"), "the user's");
    EXPECT_EQ(textOf(dir, "Veldrane.log").size(), 10240u);
    EXPECT_EQ(countOf(textOf(dir, "Veldrane.log"), "Failed to read weapon definition file"), 1);
    for (const auto& e : fs::directory_iterator(dir.path())) EXPECT_NE(e.path().filename().string()[0], '~') << e.path();
}

TEST_F(DamagedDataRunTest, WhyARunStoppedAFailedWriteAndAMaterialFileCutShortAreEachWrittenOnce)
{
    const auto append = [this](const char* file, const char* line) { dir.write(file, dir.read(file) + line); };
    const struct {
        const char* what;
        std::function<void()> damage;
        long fileSizeLimit;
        std::vector<std::string> said;  // one entry each, and no other
        const char* last;               // the run stops, with this last line on stderr
        long openFileLimit = -1;
    } cases[] = {
        // A state every material must set, which the font's does not: the log says why the run
        // stopped after the file's own report.
        {"a state every material must set",
         [&] { append("data/renderdefault.txt", "renderstate fogenable always false\n"); },
         -1, {"While reading data\\font.mtl", "Error: Missing state <fogenable> in material data\\font.mtl"},
         "stopping as a material cannot be used; see Veldrane.log\n"},
        // A line that leaves its state undefined: the state missing at the device follows from it.
        {"a render default's line", [&] { append("data/renderdefault.txt", "renderstate fillmode alwys solid\n"); },
         -1, {"While reading data\\renderdefault.txt\r\nAssertion Failed:\r\nExpression: Usage != ST_UNDEFINED"}, nullptr},
        // The next alternative or the fall-back stands in, and the cut is said.
        {"a material cut short",
         [&] {
             const std::string text = dir.read("data/models/demo.mtl");
             dir.write("data/models/demo.mtl", text.substr(0, text.find("[end]")));  // inside the first pass
         },
         -1,
         {"Block file data\\models\\demo.mtl: ends inside a block"}, nullptr},
        // No folder for the level files: the first that cannot be written is said, its cause on
        // a line of its own, and the game draws on from the source.
        {"a file where the level files' folder would be", [&] { dir.write("data/models/mipmaps", "a file"); }, -1,
         {"Failed to write to <data\\models\\mipmaps\\demo_g01.tga>\r\n"}, nullptr},
        // A folder where the font's cache goes: the cache is not written, and nothing else fails.
        {"a folder at a cache's name", [&] { fs::create_directory(dir.file("data/font.xim")); }, -1,
         {"Failed to write to <data\\font.xim>\r\nA folder stands at the name <data\\font.xim>\r\n"}, nullptr},
        // A material there, but no file handle left to read it: said so, and the log that could
        // not be written either is not pointed at.
        {"too few file handles", [] {}, -1, {},
         "stopping as a material cannot be used\n", 8},
        // Each failed write with its cause, the screenshot's too. Last, to look at what it leaves.
        {"a cache cut short that cannot be written again",
         [&] {
             ASSERT_EQ(finishGame(startGame(dir, "5 close\n"), 90), 0);  // writes the caches
             dir.write("data/models/demo.xim", dir.read("data/models/demo.xim").substr(0, 5000));
             fs::last_write_time(dir.file("data/models/demo.xim"), fs::last_write_time(dir.file("data/models/demo.tga")));
         },
         8192,
         {"Failed to read data\\models\\demo.xim. Try deleting this xim!!",
          "Failed to write to <data\\models\\demo.xim>\r\nThe file is larger than the file-size limit allows\r\n",
          "Screenshot failed\r\nThe file is larger than the file-size limit allows\r\n"},
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
#ifdef __SANITIZE_ADDRESS__
        // The sanitizers' own checks need file handles of their own.
        if (c.openFileLimit >= 0) continue;
#endif
        fresh();
        c.damage();
        fs::remove(dir.file("Veldrane.log"));
        EXPECT_EQ(finishGame(startGame(dir, "30 key F12\n40 close\n", c.fileSizeLimit, false, false, c.openFileLimit), 90),
                  c.last ? 1 : 0);
        const std::string log = textOf(dir, "Veldrane.log"), said = textOf(dir, "stderr.txt");
        EXPECT_EQ(countOf(log, "Time: "), static_cast<int>(c.said.size())) << log;
        for (const std::string& entry : c.said) EXPECT_EQ(countOf(log, entry), 1) << entry << "\n" << log;
        EXPECT_TRUE(!c.last || said.substr(said.rfind('\n', said.size() - 2) + 1) == c.last) << said;
        if (c.openFileLimit >= 0) {
            EXPECT_EQ(countOf(said, "Error: Unreadable File (too many files are open):data\\clumps\\grove.mtl\n"), 1)
                << said;
        }
    }
    EXPECT_EQ(fs::file_size(dir.file("data/models/demo.xim")), 5000u);  // left as it was
}

}  // namespace
