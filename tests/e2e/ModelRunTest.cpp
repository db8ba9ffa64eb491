// A run without the sample model says so and goes on (a run with it is the plain run of
// GameRunTest, whose run log stays empty).
#include "GameProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

TEST(ModelRunTest, AMissingSampleModelIsReportedAndTheRunGoesOn)
{
    testsupport::TempDir dir;
    copyData(dir);
    std::filesystem::remove(dir.file("data/models/robot.rsm"));
    EXPECT_EQ(finishGame(startGame(dir, "20 close\n")), 0);
    const std::string log = textOf(dir, "Veldrane.log"), said = textOf(dir, "stderr.txt");
    EXPECT_NE(said.find("Model import error: File not found: data\\models\\robot.rsm"), std::string::npos) << said;
    EXPECT_NE(log.find("RSM <data\\models\\robot.rsm> file not found"), std::string::npos) << log;
}
