// The real game opens its sound device on the dummy audio driver and closes it on the way out.
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

TEST(SoundRunTest, TheGameOpensDirectSoundOnSdlAudioAndEndsCleanly)
{
    testsupport::TempDir dir;
    std::filesystem::copy(VELDRANE_DATA, dir.file("data"), std::filesystem::copy_options::recursive);
    EXPECT_EQ(finishGame(startGame(dir, "30 close\n")), 0);
    const std::string said = dir.read("stderr.txt");
    EXPECT_NE(said.find("DirectSound output: SDL2 audio (dummy)\n"), std::string::npos) << said;
    const std::string log = dir.exists("Veldrane.log") ? dir.read("Veldrane.log") : "";
    EXPECT_EQ(log.find("Assertion Failed"), std::string::npos) << log;
}
