// The real game drawing its frames headless: a screenshot taken with F12 holds what was presented.
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

int runGame(const testsupport::TempDir& dir, const std::string& script)
{
    return finishGame(startGame(dir, script), 60);
}

TEST(FrameRunTest, AWidescreenWindowShowsTheMarginAndTheBarsInItsScreenshot)
{
    testsupport::TempDir dir;
    fs::copy(VELDRANE_DATA, dir.file("data"), fs::copy_options::recursive);
    dir.write("data/init.ini", dir.read("data/init.ini") +
                                   "\n[Display]\nWidth = <int> 1280\nHeight = <int> 720\nFullScreen = <int> 0\n"
                                   "ScreenMargin = <int> 1\nLoadingFrames = <int> 0\n");
    ASSERT_EQ(runGame(dir, "20 keydown F12\n25 keyup F12\n40 close\n"), 0);
    const std::string log = dir.exists("Veldrane.log") ? dir.read("Veldrane.log") : "";
    EXPECT_EQ(log.find("Assertion Failed"), std::string::npos) << log;
    ASSERT_TRUE(dir.exists("Veldrane_00000.tga")) << log;
    EXPECT_FALSE(dir.exists("Veldrane_00001.tga"));

    const std::string tga = dir.read("Veldrane_00000.tga");
    const int width = 1280, height = 720;
    ASSERT_EQ(tga.size(), 18u + static_cast<size_t>(width) * height * 4);
    EXPECT_EQ(static_cast<uint8_t>(tga[12]) | static_cast<uint8_t>(tga[13]) << 8, width);
    EXPECT_EQ(static_cast<uint8_t>(tga[14]) | static_cast<uint8_t>(tga[15]) << 8, height);
    auto red = [&](int x, int y) { return static_cast<uint8_t>(tga[18 + (static_cast<size_t>(y) * width + x) * 4 + 2]); };
    auto green = [&](int x, int y) { return static_cast<uint8_t>(tga[18 + (static_cast<size_t>(y) * width + x) * 4 + 1]); };
    // The translucent dark-red margin strips over black, 4 rows at top and bottom; the 4:3 picture
    // is 960 wide, and its bars, cleared again before the swap, hide the side strips.
    EXPECT_NEAR(red(640, 0), 52, 2);
    EXPECT_NEAR(red(640, 3), 52, 2);
    EXPECT_NEAR(red(160, 716), 52, 2);
    EXPECT_NEAR(red(1119, 719), 52, 2);
    EXPECT_EQ(green(640, 0), 0);
    EXPECT_EQ(red(640, 4), 0);
    EXPECT_EQ(red(640, 715), 0);
    EXPECT_EQ(red(640, 360), 0);
    EXPECT_EQ(red(0, 0), 0);
    EXPECT_EQ(red(159, 719), 0);
    EXPECT_EQ(red(1120, 0), 0);
}

}  // namespace
