// The sample data's mesh in a headless run: the textured quad, lit by the game's light, beside the
// text in a screenshot.
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

TEST(MeshRunTest, TheSampleMeshIsDrawnTexturedAndLit)
{
    testsupport::TempDir dir;
    copyData(dir);
    ASSERT_TRUE(withoutLoadingScreen(dir));
    // Level loads pump the messages, so the script's frames run on while the level loads.
    ASSERT_EQ(finishGame(startGame(dir, "60 keydown F12\n63 keyup F12\n70 close\n"), 60), 0);
    const std::string log = textOf(dir, "Veldrane.log");
    EXPECT_EQ(log.find("Assertion Failed"), std::string::npos) << log;
    ASSERT_TRUE(dir.exists("Veldrane_00000.tga")) << log;

    const std::string tga = dir.read("Veldrane_00000.tga");
    const int width = 640, height = 480;
    ASSERT_EQ(tga.size(), 18u + static_cast<size_t>(width) * height * 4);
    const bool topFirst = (static_cast<uint8_t>(tga[17]) & 0x20) != 0;
    // Pixels of the quad's middle within a few steps of a colour.
    auto near = [&](int r, int g, int b) {
        int n = 0;
        for (int y = 230; y < 380; ++y)
            for (int x = 400; x < 560; ++x) {
                const size_t at = 18 + (static_cast<size_t>(topFirst ? y : height - 1 - y) * width + x) * 4;
                n += std::abs(static_cast<uint8_t>(tga[at + 2]) - r) <= 6 && std::abs(static_cast<uint8_t>(tga[at + 1]) - g) <= 6 &&
                     std::abs(static_cast<uint8_t>(tga[at]) - b) <= 6;
            }
        return n;
    };
    // The texture's two colours times the light: 0.2 ambient and 0.6 of a light 24 degrees off the
    // turned quad's normal, 0.746 in all.
    auto lit = [](int c) { return static_cast<int>(std::lround(c * 0.746)); };
    const int box = 160 * 150;
    EXPECT_GT(near(lit(0xE0), lit(0x90), lit(0x30)), box / 4);  // warm squares
    EXPECT_GT(near(lit(0x30), lit(0x70), lit(0xC0)), box / 4);  // cool squares
    EXPECT_EQ(near(0xE0, 0x90, 0x30), 0);                       // nothing drawn unlit
}

}  // namespace
