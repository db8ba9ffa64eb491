// A fresh shell on the test window backend for every test, and game entry points a test can script.
#pragma once

#include "wincore/WinCore.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace shelltest {

// What the fake game entry points do, and what they saw.
struct FakeGame {
    std::function<bool()> preInit;
    std::function<bool()> init;
    std::function<bool()> step;
    std::vector<std::string> calls;
};
FakeGame& game();

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The main window as WinMain makes it, without WinMain.
    HWND makeMainWindow();
};

}  // namespace shelltest
