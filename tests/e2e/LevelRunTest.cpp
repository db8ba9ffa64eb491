// The demo level in a headless run of the game: its tree clumps and its fountain's particles in a
// screenshot of the level's view, and the fountain's splashes in the sound output.
#include "GameProcess.h"
#include "LevelShot.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The crowns of the grove near the view, and of the row of trees far off and the bushes (each tree
// is a trunk under a box of a crown, 80 wide, from 80 to 240 above the ground).
const Point NEAR_CROWNS[] = {{3250, 3080, 150}, {3320, 3140, 150}, {3240, 3190, 150}, {3380, 3060, 150},
                             {3300, 3010, 150}};
const Point FAR_CROWNS[] = {{5600, 2500, 160}, {5690, 2660, 160}, {5600, 3140, 160}, {5690, 3620, 160},
                            {5600, 4100, 160}, {4400, 2500, 25},  {4560, 4080, 25}};
// The sky above the far trees and the open ground before them.
const Point BARE[] = {{5600, 3300, 700}, {5200, 3000, 0}, {4500, 3300, 20}, {4000, 2600, 0}};

// A run that reports nothing, and its picture of the level at the 150th frame (by when the bouncing
// balls no longer rise in front of the far trees): the trees and the bushes where the level's camera
// puts them, each near crown in its own tint's leaf colour, no leaves elsewhere, and the fountain's
// drops above its foot and none beside it.
void expectTheDemoLevel(const testsupport::TempDir& dir, bool sound = false)
{
    ASSERT_EQ(finishGame(startGame(dir, "150 keydown F12\n153 keyup F12\n170 close\n", -1, sound), 90), 0)
        << textOf(dir, "stderr.txt");
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
    ASSERT_TRUE(dir.exists("Veldrane_00000.tga")) << textOf(dir, "stderr.txt");
    const Screenshot shot(dir.read("Veldrane_00000.tga"));
    ASSERT_TRUE(shot.valid());
    const LevelView view;
    for (const Point& p : NEAR_CROWNS) EXPECT_GT(shot.count(view, p, 1, leafGreen), 0) << p.x << " " << p.y;
    for (const Point& p : FAR_CROWNS) EXPECT_GT(shot.count(view, p, 1, leafGreen), 0) << p.x << " " << p.y;
    for (const Point& p : BARE) EXPECT_EQ(shot.count(view, p, 1, leafGreen), 0) << p.x << " " << p.y;
    EXPECT_GT(fountainDrops(shot, view), 40);
    EXPECT_EQ(shot.count(view, {3500, 3800, 100}, 3, water), 0);
}

TEST(LevelRunTest, TheDemoLevelShowsItsTreeClumpsAndItsFountainAndTheFountainIsHeard)
{
    testsupport::TempDir dir;
    copyData(dir);
    ASSERT_TRUE(withoutLoadingScreen(dir));
    expectTheDemoLevel(dir, true);

    // Its splashes (every 45 game steps) in the output: bursts of sound between stretches of silence.
    const std::string raw = textOf(dir, "audio.raw");
    ASSERT_GT(raw.size(), 44100u * 8u);
    std::vector<float> mix(raw.size() / 4);
    std::memcpy(mix.data(), raw.data(), mix.size() * 4);
    float peak = 0;
    int bursts = 0;
    size_t lastLoud = 0;
    for (size_t i = 0; i < mix.size(); ++i) {
        const float level = std::fabs(mix[i]);
        peak = std::max(peak, level);
        if (level < 0.01f) continue;
        // Loud after a quarter of a second of quiet (two channels a frame): a new burst.
        if (bursts == 0 || i - lastLoud > 44100 / 2) ++bursts;
        lastLoud = i;
    }
    EXPECT_GT(peak, 0.1f);
    EXPECT_GE(bursts, 2);
}

TEST(LevelRunTest, SortedTransparentMaterialsAndTheEffectsLaterPassesAreDrawnThroughTheLevelsCamera)
{
    testsupport::TempDir dir;
    copyData(dir);
    ASSERT_TRUE(withoutLoadingScreen(dir));
    auto edit = [&](const char* file, const std::string& from, const std::string& to) {
        std::string text = dir.read(file);
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << file << ": " << from;
        dir.write(file, text.replace(at, from.size(), to));
    };
    // The trees' material blended and sorted: drawn as the level's scene ends.
    edit("data/clumps/grove.mtl", "lighting FALSE", "lighting FALSE\nsort material");
    edit("data/clumps/grove.mtl", "alphablendenable false",
         "alphablendenable true\nsetrenderstate srcblend srcalpha\nsetrenderstate destblend invsrcalpha");
    // The fountain drawn in the first pass after the sorted draws, and only while on screen, ending
    // when seen off screen: in the level's view it is on screen.
    edit("data/particles/demo.txt", "render_type\t0", "render_type\t1");
    edit("data/particles/demo.txt", "EffectRadius\t400", "EffectRadius\t400\nRenderIfOnScreenOnly 1\nKillIfOffScreen 1");
    // The near grove's crowns in their own tints of the shared material, not in the factor the last
    // one drawn left in it.
    expectTheDemoLevel(dir);
}

TEST(LevelRunTest, EveryTextFileWithAByteOrderMarkReadsAsWithout)
{
    testsupport::TempDir dir;
    copyData(dir);
    ASSERT_TRUE(withoutLoadingScreen(dir));
    // Every file without a NUL byte is text, as an editor that marks its text saves it: materials,
    // lists, settings, scripts, definitions.
    int marked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.file("data"))) {
        if (!entry.is_regular_file()) continue;
        const std::string name = std::filesystem::relative(entry.path(), dir.path()).string();
        const std::string text = dir.read(name);
        if (text.find('\0') != std::string::npos) continue;
        dir.write(name, "\xEF\xBB\xBF" + text);
        ++marked;
    }
    ASSERT_GT(marked, 30);
    expectTheDemoLevel(dir);
}

TEST(LevelRunTest, TheLevelsSettingsNameItsVolumeFileAndTheEffectCountIsShownOverThePicture)
{
    testsupport::TempDir dir;
    copyData(dir);
    ASSERT_TRUE(withoutLoadingScreen(dir));
    // The start-up file is not the level's: a volume file it names is never looked for.
    const std::string key = "[VOLUMEMODELS]\nVolumeData = <string> \"data\\models\\volumefog\\";
    dir.write("data/init.ini", dir.read("data/init.ini") + "\n" + key + "startup.txt\"\n");
    dir.write("data/levels/demo/level.ini", dir.read("data/levels/demo/level.ini") + key + "gone.txt\"\n");
    ASSERT_EQ(finishGame(startGame(dir, "60 keydown F12\n63 keyup F12\n80 close\n"), 90), 0);
    const std::string log = textOf(dir, "Veldrane.log");
    EXPECT_EQ(countOf(log, "File not found: data\\models\\volumefog\\gone.txt"), 1) << log;
    EXPECT_EQ(countOf(log, "startup.txt"), 0) << log;

    // "Num effects = 1" in the debug font at (10, 200) of the picture, over black.
    ASSERT_TRUE(dir.exists("Veldrane_00000.tga")) << textOf(dir, "stderr.txt");
    const Screenshot shot(dir.read("Veldrane_00000.tga"));
    ASSERT_TRUE(shot.valid());
    int lit = 0;
    for (int y = 200; y < 208; ++y)
        for (int x = 10; x < 70; ++x) {
            int c[3];
            shot.rgb(x, y, c);
            lit += c[0] > 128 && c[1] > 128 && c[2] > 128;
        }
    EXPECT_GT(lit, 30);
}

}  // namespace
