// The real game drawing its frames headless: a screenshot taken with F12 holds what was presented.
#include "GameProcess.h"
#include "LevelShot.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

TEST(FrameRunTest, AWidescreenWindowShowsTheMarginAndTheBarsInItsScreenshot)
{
    testsupport::TempDir dir;
    copyData(dir);
    ASSERT_TRUE(withoutLoadingScreen(dir));
    dir.write("data/init.ini", dir.read("data/init.ini") +
                                   "\n[Display]\nWidth = <int> 1280\nHeight = <int> 720\nFullScreen = <int> 0\n"
                                   "ScreenMargin = <int> 1\n");
    ASSERT_EQ(finishGame(startGame(dir, "40 keydown F12\n45 keyup F12\n60 close\n"), 60), 0);
    const std::string log = textOf(dir, "Veldrane.log");
    EXPECT_EQ(log.find("Assertion Failed"), std::string::npos) << log;
    ASSERT_TRUE(dir.exists("Veldrane_00000.tga")) << log;
    EXPECT_FALSE(dir.exists("Veldrane_00001.tga"));

    const std::string tga = dir.read("Veldrane_00000.tga");
    const int width = 1280, height = 720;
    ASSERT_EQ(tga.size(), 18u + static_cast<size_t>(width) * height * 4);
    EXPECT_EQ(static_cast<uint8_t>(tga[12]) | static_cast<uint8_t>(tga[13]) << 8, width);
    EXPECT_EQ(static_cast<uint8_t>(tga[14]) | static_cast<uint8_t>(tga[15]) << 8, height);
    auto channel = [&](int x, int y, int c) { return int(static_cast<uint8_t>(tga[18 + (size_t(y) * width + x) * 4 + c])); };
    // The translucent dark-red margin strips over black, 4 rows at top and bottom; the 4:3 picture
    // is 960 wide, and its bars, cleared again before the swap, hide the side strips.
    const int red[][3] = {{640, 0, 52},  {640, 3, 52},   {160, 716, 52}, {1119, 719, 52}, {640, 4, 0},
                          {640, 715, 0}, {640, 360, 0}, {0, 0, 0},       {159, 719, 0},   {1120, 0, 0}};
    for (const auto& p : red) EXPECT_NEAR(channel(p[0], p[1], 2), p[2], 2) << p[0] << " " << p[1];
    EXPECT_EQ(channel(640, 0, 1), 0);
}

TEST(FrameRunTest, InFullScreenTheGameWaitsOutALostFocusAndDrawsAgainOrEndsOnAClose)
{
    testsupport::TempDir dir;
    copyData(dir);
    std::string ini = dir.read("data/init.ini");
    ini.replace(ini.find("LoadingFrames = <int> 60"), 24, "LoadingFrames = <int> 0\nFullScreen = <int> 1");
    dir.write("data/init.ini", ini);
    // Away and back: nothing is drawn while away (a screenshot asked for then is not taken); the
    // fountain, high before, starts again as the game comes back; the picture is drawn again, in full.
    ASSERT_EQ(finishGame(startGame(dir, "60 key F12\n70 focus off\n80 key F12\n100 focus on\n100 keydown F12\n"
                                        "110 keyup F12\n120 key F12\n130 close\n"),
                         60),
              0);
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
    ASSERT_TRUE(dir.exists("Veldrane_00002.tga"));
    EXPECT_FALSE(dir.exists("Veldrane_00003.tga"));
    const LevelView view;
    const Screenshot before(dir.read("Veldrane_00000.tga")), back(dir.read("Veldrane_00001.tga"));
    ASSERT_TRUE(before.valid() && back.valid());
    EXPECT_GT(fountainDrops(before, view, 200), 0);
    EXPECT_EQ(fountainDrops(back, view, 200), 0);
    const std::string tga = dir.read("Veldrane_00002.tga");
    ASSERT_EQ(tga.size(), 18u + 640u * 480u * 4u);
    size_t lit = 0;
    for (size_t i = 18; i < tga.size(); i += 4) lit += (tga[i] | tga[i + 1] | tga[i + 2]) != 0;
    EXPECT_GT(lit, 640u * 480u / 10);

    // A close while it waits minimised ends the run at once, as a finished one.
    for (const char* shot : {"Veldrane_00000.tga", "Veldrane_00001.tga", "Veldrane_00002.tga"})
        std::filesystem::remove(dir.file(shot));
    EXPECT_EQ(finishGame(startGame(dir, "40 focus off\n50 close\n90 key F12\n"), 60), 0);
    EXPECT_FALSE(dir.exists("Veldrane_00000.tga"));
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
}

}  // namespace
