// The sample data as an editor that marks its text saves it, in a headless run of the game.
#include "GameProcess.h"
#include "LevelShot.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

namespace {

// Crowns of the grove the level's settings place, near the view, and of the far row of trees.
const Point CROWNS[] = {{3250, 3080, 150}, {3320, 3140, 150}, {3240, 3190, 150}, {3380, 3060, 150},
                        {3300, 3010, 150}, {5600, 2500, 160}, {5690, 2660, 160}, {5600, 3140, 160}};

int crownsSeen(const Screenshot& shot)
{
    const LevelView view;
    int seen = 0;
    for (const Point& p : CROWNS) seen += shot.count(view, p, 1, leafGreen) > 0;
    return seen;
}

const char* const LEVEL_SHOT = "150 keydown F12\n153 keyup F12\n170 close\n";

TEST(MarkedTextRunTest, EveryTextFileWithAByteOrderMarkReadsAsWithout)
{
    testsupport::TempDir dir;
    copyData(dir);
    ASSERT_TRUE(withoutLoadingScreen(dir));
    // Every file without a NUL byte is text: materials, lists, settings, scripts, definitions.
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

    ASSERT_EQ(finishGame(startGame(dir, LEVEL_SHOT), 90), 0) << textOf(dir, "stderr.txt");
    EXPECT_EQ(textOf(dir, "Veldrane.log"), "");
    ASSERT_TRUE(dir.exists("Veldrane_00000.tga")) << textOf(dir, "stderr.txt");
    const Screenshot shot(dir.read("Veldrane_00000.tga"));
    ASSERT_TRUE(shot.valid());
    // The level's trees and its fountain.
    EXPECT_EQ(crownsSeen(shot), static_cast<int>(std::size(CROWNS)));
    EXPECT_GT(fountainDrops(shot, LevelView()), 40);
}

}  // namespace
