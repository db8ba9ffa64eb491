// The sample data's start-up: the loading screen, then frames with a line of overlay text and the
// statistics overlay, both seen in screenshots of a headless run.
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>


namespace {

struct Shot {
    std::string tga;
    int width = 0, height = 0;
    // Pixels brighter than mid-grey in the rectangle (rows top first).
    int bright(int x0, int y0, int x1, int y1) const
    {
        int n = 0;
        const bool topFirst = (static_cast<uint8_t>(tga[17]) & 0x20) != 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const int row = topFirst ? y : height - 1 - y;
                const size_t at = 18 + (static_cast<size_t>(row) * width + x) * 4;
                n += static_cast<uint8_t>(tga[at + 1]) > 128 && static_cast<uint8_t>(tga[at + 2]) > 128;
            }
        return n;
    }
};

Shot shot(const testsupport::TempDir& dir, const char* name)
{
    Shot s;
    s.tga = dir.read(name);
    if (s.tga.size() < 18) return s;
    s.width = static_cast<uint8_t>(s.tga[12]) | static_cast<uint8_t>(s.tga[13]) << 8;
    s.height = static_cast<uint8_t>(s.tga[14]) | static_cast<uint8_t>(s.tga[15]) << 8;
    return s;
}

TEST(TextRunTest, TheLoadingScreenAndALineOfTextAreOnScreen)
{
    testsupport::TempDir dir;
    copyData(dir);
    // The shipped start-up file: a 640 x 480 window, statistics on, 60 frames of loading screen
    // (after the frames that pass while the level loads, pumping the messages as it shows progress).
    ASSERT_EQ(finishGame(startGame(dir, "40 keydown F12\n43 keyup F12\n120 keydown F12\n123 keyup F12\n140 close\n"), 60), 0);
    const std::string log = dir.exists("Veldrane.log") ? dir.read("Veldrane.log") : "";
    EXPECT_EQ(log.find("Assertion Failed"), std::string::npos) << log;
    ASSERT_TRUE(dir.exists("Veldrane_00001.tga")) << log;

    // Loading: the title across the top, the level line, the history at the bottom, the timer.
    const Shot loading = shot(dir, "Veldrane_00000.tga");
    ASSERT_EQ(loading.width, 640);
    EXPECT_GT(loading.bright(80, 40, 560, 72), 300);   // "Loading Veldrane - Please Wait" at scale 4
    EXPECT_GT(loading.bright(60, 120, 150, 136), 50);  // "Sample data"
    EXPECT_GT(loading.bright(560, 464, 620, 480), 20); // "Time: 0"
    EXPECT_EQ(loading.bright(0, 150, 640, 290), 0);  // between the level line and the history

    // Playing: the overlay font's line of text and the statistics in their corner.
    const Shot playing = shot(dir, "Veldrane_00001.tga");
    EXPECT_GT(playing.bright(24, 120, 150, 150), 200);  // "Veldrane" in the overlay font
    EXPECT_GT(playing.bright(24, 156, 400, 172), 100);  // the line below it, at half size
    EXPECT_GT(playing.bright(10, 10, 60, 18), 10);      // "... FPS"
    EXPECT_EQ(playing.bright(300, 200, 360, 480), 0);  // between the sample robot and the sample mesh
}

}  // namespace
