// The game loads the sample model with its device and releases it before the device goes: a run
// with it has no failed check, and a run without it says so and goes on.
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

TEST(ModelRunTest, TheSampleModelLoadsOrIsReportedMissing)
{
    for (bool present : {true, false}) {
        SCOPED_TRACE(present ? "present" : "missing");
        testsupport::TempDir dir;
        copyData(dir);
        if (!present) fs::remove(dir.file("data/models/robot.rsm"));
        EXPECT_EQ(finishGame(startGame(dir, "20 close\n")), 0);
        const std::string log = textOf(dir, "Veldrane.log"), said = textOf(dir, "stderr.txt");
        const bool reported = said.find("Model import error: File not found: data\\models\\robot.rsm") != std::string::npos;
        EXPECT_EQ(reported, !present) << said;
        EXPECT_EQ(log.find("RSM <data\\models\\robot.rsm> file not found") != std::string::npos, !present) << log;
        if (present) EXPECT_EQ(log.find("Assertion Failed"), std::string::npos) << log;
    }
}
