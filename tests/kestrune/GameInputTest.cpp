#include "kestrune/GameInput.h"

#include "global/ProjData.h"
#include "kestrune/Rumble.h"
#include "utility/LList.h"
#include "wincore/WinCore.h"

#include "platform/testing/input.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <new>

namespace ti = platform::testing::input;

namespace {

class GameInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ti::reset();
        WinCore.~CWinCore();
        new (&WinCore) CWinCore();
        llistInitElementPool();
        createProjData();
        getProjData().FrameStep = 30;
    }
    void TearDown() override
    {
        gameInputShutdown();
        destroyProjData();
        llistFreeElementPool();
        ti::reset();
    }

    static bool shellHas(uint32_t type)
    {
        for (WinCoreFuncPtr f : WinCore.WinCoreFunc[type])
            if (f) return true;
        return false;
    }
};

TEST_F(GameInputTest, WithoutAPadTheFirstPlayerPlaysWithKeysAndMouse)
{
    ASSERT_TRUE(gameInputInit());
    DWORD result;
    gamePlayerInput().bindKey(&result, DIK_SPACE, 0x2);
    ti::keyDown(DIK_SPACE);
    ti::mouseButton(0, true);
    gameInputStep();
    EXPECT_TRUE(gamePlayerInput().isPressed(0x2) && gamePlayerInput().isPressed(0x20000000)) << "space, mouse button 0";
    gameInputStep();
    EXPECT_TRUE(gamePlayerInput().isHeld(0x2));

    // The shell's deactivate callback lets the keyboard go.
    WinCore.WindowProc(nullptr, WM_ACTIVATEAPP, FALSE, 0);
    const bool lost = !ti::device(ti::KIND_KEYBOARD).acquired;
    WinCore.WindowProc(nullptr, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_TRUE(lost && ti::device(ti::KIND_KEYBOARD).acquired);

    gameInputShutdown();
    EXPECT_EQ(ti::liveDevices(), 0);
    EXPECT_FALSE(shellHas(CWinCore::FUNC_ACTIVATE) || shellHas(CWinCore::FUNC_DEACTIVATE));
}

TEST_F(GameInputTest, AFirstPadDrivesThePlayerAndFeelsItsRumble)
{
    ti::attachJoystick("Pad", "Pad");
    ASSERT_TRUE(gameInputInit());
    ti::setJoystickButton(0, 0, true);
    ti::keyDown(DIK_SPACE);
    DWORD result;
    gamePlayerInput().bindKey(&result, DIK_SPACE, 0x2);

    CRumble rumble;
    rumble.getLeft().set(0, 1000, 0, 0, 1.0f, 0.0f, 0.0f, 30);
    rumble.restart();
    startRumble(&rumble);
    gameInputStep();
    EXPECT_TRUE(gamePlayerInput().isPressed(0x1)) << "pad button 0";
    EXPECT_FALSE(gamePlayerInput().isPressed(0x2)) << "the keyboard is not read for a pad player";
    float left, right;
    ti::joystickRumble(0, &left, &right);
    EXPECT_FLOAT_EQ(left, 0.03f) << "one 30 ms step of the attack";
    EXPECT_EQ(right, 0.0f);
    stopRumble(&rumble);
}

}  // namespace
