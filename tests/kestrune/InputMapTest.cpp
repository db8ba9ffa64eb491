#include "kestrune/InputMap.h"

#include "platform/testing/input.h"

#include "utility/RunLog.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ti = platform::testing::input;

namespace {

const DWORD B1 = CInputMap::BANK1;
DWORD bank1(int bit) { return B1 | (1u << bit); }

SJoystickState centred()
{
    SJoystickState pad;
    std::memset(&pad, 0, sizeof(pad));
    for (LONG& pov : pad.rglPOV) pov = -1;
    return pad;
}

TEST(InputMap, DefaultBindings)
{
    CInputMap map;
    const SInputBindings* b = map.getBindings();
    for (int n = 0; n < 15; ++n) EXPECT_EQ(b->padButtons[n], 1u << n) << n;
    EXPECT_EQ(b->padButtons[15], 0x800000u);
    const DWORD axes[8] = {0x8000, 0x10000, 0x20000, 0x40000, 0x80000, 0x100000, 0x200000, 0x400000};
    for (int a = 0; a < 8; ++a) EXPECT_EQ(b->padAxes[a], axes[a]) << a;
    EXPECT_EQ(b->mouse[SInputBindings::MOUSE_Y_POS], 0x8000000u);
    EXPECT_EQ(b->mouse[SInputBindings::MOUSE_Y_NEG], 0x10000000u);
    EXPECT_EQ(b->mouse[SInputBindings::MOUSE_X_NEG], 0x2000000u);
    EXPECT_EQ(b->mouse[SInputBindings::MOUSE_X_POS], 0x4000000u);
    const DWORD buttons[7] = {0x20000000, 0x40000000, 0x1000000, 0x88000000, 0x90000000, 0xA0000000, 0xC0000000};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(b->mouse[SInputBindings::MOUSE_BUTTON0 + i], buttons[i]) << i;
    EXPECT_EQ(b->mouse[SInputBindings::MOUSE_WHEEL_UP], 0x82000000u);
    EXPECT_EQ(b->mouse[SInputBindings::MOUSE_WHEEL_DOWN], 0x84000000u);
    for (DWORD key = 0; key < 256; ++key) ASSERT_EQ(map.getKeyEntry(key), 0u);
}

TEST(InputMap, AxisShaping)
{
    EXPECT_FLOAT_EQ(CInputMap::shapeAxis(130, 0), 0.0f);
    EXPECT_NEAR(CInputMap::shapeAxis(200, 0), 94.5946f, 1e-3f);
    EXPECT_NEAR(CInputMap::shapeAxis(-200, 0), -94.5946f, 1e-3f);
    EXPECT_FLOAT_EQ(CInputMap::shapeAxis(500, 0), 500.0f);
    EXPECT_FLOAT_EQ(CInputMap::shapeAxis(-500, 0), -500.0f);
    EXPECT_FLOAT_EQ(CInputMap::shapeAxis(-130, 0), 0.0f);
    // Recentred: each side of the offset maps onto its own 500.
    EXPECT_FLOAT_EQ(CInputMap::shapeAxis(-100, 100), 0.0f);
    EXPECT_FLOAT_EQ(CInputMap::shapeAxis(500, 100), 500.0f);
    EXPECT_NEAR(CInputMap::shapeAxis(400, 100), (500.0f / 600.0f * 500.0f - 130.0f) * 500.0f / 370.0f, 1e-2f);
    EXPECT_NEAR(CInputMap::shapeAxis(-300, 100), (-250.0f + 130.0f) * 500.0f / 370.0f, 1e-2f);
    EXPECT_FLOAT_EQ(CInputMap::shapeAxis(-600, 100), -500.0f);
}

TEST(InputMap, PressedHeldAndDoubleClickedInBothBanks)
{
    CInputMap map;
    SJoystickState pad = centred();
    pad.rgbButtons[0] = 128;
    pad.rglPOV[0] = 0;
    map.update(pad, 100, false);  // the first press, soon after start, is no double-click
    EXPECT_TRUE(map.isPressed(1));
    EXPECT_FALSE(map.isHeld(1));
    EXPECT_FALSE(map.isDoubleClicked(1));
    map.update(centred(), 130, false);
    map.update(pad, 1000, false);
    EXPECT_FLOAT_EQ(map.getAnalogue(1), 500.0f);
    EXPECT_TRUE(map.isPressed(bank1(10)));
    EXPECT_FALSE(map.isPressed(1u << 10)) << "bank 0 bit 10 is another action";

    map.update(pad, 1030, false);
    EXPECT_FALSE(map.isPressed(1));
    EXPECT_TRUE(map.isHeld(1));
    EXPECT_TRUE(map.isHeld(bank1(10)));
    EXPECT_FALSE(map.isPressed(bank1(10)));
    DWORD pressed, held;
    map.getButtons(&pressed, &held);
    EXPECT_EQ(pressed, 0u);
    EXPECT_EQ(held, 1u);

    SJoystickState idle = centred();
    map.update(idle, 1060, false);
    EXPECT_FALSE(map.isPressed(1) || map.isHeld(1));
    pad.rgbButtons[0] = 64;
    map.update(pad, 1300, false);  // 300 ms after the first press
    EXPECT_TRUE(map.isPressed(1));
    EXPECT_TRUE(map.isDoubleClicked(1));
    EXPECT_FLOAT_EQ(map.getAnalogue(1), 250.0f);
    EXPECT_FALSE(map.isDoubleClicked(bank1(10))) << "bank 1 has no double-click";
    map.update(idle, 1330, false);
    map.update(pad, 1900, false);  // 600 ms later
    EXPECT_TRUE(map.isPressed(1));
    EXPECT_FALSE(map.isDoubleClicked(1));

    map.setDoubleClickWindow(0);
    map.update(idle, 1930, false);
    map.update(pad, 1931, false);
    EXPECT_FALSE(map.isDoubleClicked(1));
}

TEST(InputMap, PadMapperHatsSlidersAndBoundAxes)
{
    CInputMap map;
    SJoystickState pad = centred();
    pad.rglPOV[0] = 9000;
    pad.rglPOV[1] = 27000;
    pad.rglPOV[2] = 18000;
    pad.rglPOV[3] = 4500;
    pad.rglSlider[0] = 500;
    pad.rglSlider[1] = -500;
    pad.lZ = -500;
    pad.lRz = 500;
    pad.lX = -500;
    pad.lY = 200;
    pad.lRx = 500;
    pad.lRy = -500;
    pad.rgbButtons[6] = 0x80;
    pad.rgbButtons[7] = 0x11;
    map.update(pad, 0, false);

    EXPECT_TRUE(map.isPressed(bank1(9)));
    EXPECT_FLOAT_EQ(map.getAnalogue(bank1(9)), 9000.0f);
    EXPECT_TRUE(map.isPressed(bank1(13)));
    EXPECT_FLOAT_EQ(map.getAnalogue(bank1(13)), 27000.0f);
    EXPECT_TRUE(map.isPressed(bank1(19)));
    for (int bit : {22, 21, 23}) EXPECT_FALSE(map.isPressed(bank1(bit))) << "4500 raises nothing";

    EXPECT_TRUE(map.isPressed(bank1(4)));
    EXPECT_FLOAT_EQ(map.getAnalogue(bank1(4)), 500.0f);
    EXPECT_TRUE(map.isPressed(bank1(5)));
    EXPECT_TRUE(map.isPressed(bank1(0)));
    EXPECT_TRUE(map.isPressed(bank1(3)));
    for (int bit : {6, 7, 2, 1}) EXPECT_FALSE(map.isPressed(bank1(bit))) << bit;

    EXPECT_TRUE(map.isPressed(0x8000));
    EXPECT_FLOAT_EQ(map.getAnalogue(0x8000), 500.0f);
    EXPECT_TRUE(map.isPressed(0x40000));
    EXPECT_NEAR(map.getAnalogue(0x40000), 94.5946f, 1e-3f);
    EXPECT_TRUE(map.isPressed(0x100000));
    EXPECT_TRUE(map.isPressed(0x200000));
    EXPECT_FALSE(map.isPressed(0x10000 | 0x20000 | 0x80000 | 0x400000));
    EXPECT_TRUE(map.isPressed(1u << 6));
    EXPECT_EQ(map.getRawButton6(), 0x80);
    EXPECT_EQ(map.getRawButton7(), 0x11);

    // Last frame's rotations are kept.
    SJoystickState still = centred();
    map.update(still, 30, false);
    EXPECT_FLOAT_EQ(map.getLastXRotation(), 500.0f);
    EXPECT_FLOAT_EQ(map.getLastYRotation(), -500.0f);
    EXPECT_FLOAT_EQ(map.getXRotation(), 0.0f);

    // Bound axes follow their bindings; an unbound source raises nothing.
    map.getBindings()->padAxes[SInputBindings::AXIS_X_NEG] = 0x4;
    map.getBindings()->padButtons[6] = 0;
    map.update(pad, 60, false);
    EXPECT_TRUE(map.isPressed(0x4));
    EXPECT_FALSE(map.isPressed(0x8000) || map.isHeld(0x8000));
    DWORD pressed, held;
    map.getButtons(&pressed, &held);
    EXPECT_EQ(pressed & 0x1, 0u);
    EXPECT_FLOAT_EQ(map.getAnalogue(0x1), 0.0f);
}

TEST(InputMap, BankOneAnalogueAndBitPositions)
{
    testsupport::clearReports();
    CInputMap map;
    map.setAnalogue(250.0f, 0x88000000);
    EXPECT_FLOAT_EQ(map.getAnalogue(0x88000000), 250.0f);
    EXPECT_TRUE(map.isPressed(0x88000000));
    EXPECT_TRUE(map.isHeld(0x88000000));
    EXPECT_FLOAT_EQ(map.getAnalogue(0x8000000), 0.0f) << "bank 0 bit 27 is another action";
    map.setAnalogue(100.0f, 0x40000000);
    EXPECT_FLOAT_EQ(map.getAnalogue(0x40000000), 100.0f);
    EXPECT_FLOAT_EQ(map.getAnalogue(B1), 0.0f);
    EXPECT_EQ(testsupport::countReports("BitPos < MAX_BUTTONS_USED"), 0);

    EXPECT_EQ(CInputMap::getBitPos(0), 0);
    EXPECT_EQ(CInputMap::getBitPos(1), 0);
    EXPECT_EQ(CInputMap::getBitPos(0x80), 7);
    EXPECT_EQ(CInputMap::getBitPos(0x40000001), 30);
    EXPECT_EQ(CInputMap::getBitPos(B1), 31);
    EXPECT_EQ(testsupport::countReports("BitPos < MAX_BUTTONS_USED"), 1);

    map.clear();
    map.setPressedMask(bank1(3) | bank1(4));
    EXPECT_TRUE(map.isPressed(bank1(4)));
    EXPECT_FALSE(map.isHeld(bank1(4)));
    map.setRawAxis(-321.0f);
    EXPECT_FLOAT_EQ(map.getX(), -321.0f);
}

TEST(InputMap, BindKey)
{
    CInputMap map;
    DWORD result = 0;
    map.bindKey(&result, 300, 0x4);
    EXPECT_EQ(result, 300u);
    map.bindKey(&result, DIK_SPACE, 0x4);
    EXPECT_EQ(result, 0x4u);
    map.bindKey(&result, DIK_SPACE, 0x10);
    EXPECT_EQ(map.getKeyEntry(DIK_SPACE), 0x14u);
    for (DWORD key = 0; key < 256; ++key) {
        if (key == DIK_SPACE) continue;
        ASSERT_EQ(map.getKeyEntry(key), 0u);
    }
}

class KeyboardPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ti::reset();
        ASSERT_TRUE(initInputDevices(nullptr, nullptr));
        setInputMapScreenSize(nullptr, nullptr);
        resetMousePointer();
    }
    void TearDown() override
    {
        shutdownInputDevices();
        setInputMapScreenSize(nullptr, nullptr);
    }
    static int width() { return 801; }
    static int height() { return 601; }
};

TEST_F(KeyboardPlayerTest, KeysAndMouseRaiseTheirActions)
{
    CInputMap map;
    DWORD result;
    map.bindKey(&result, DIK_W, 0x1 | 0x4);
    map.bindKey(&result, DIK_S, 0x8);
    ti::keyDown(DIK_W);
    ti::mouseMove(10, -20);
    ti::mouseButton(3, true);
    updateMousePointer(5);
    map.update(centred(), 10100, true);

    EXPECT_TRUE(map.isPressed(0x1) && map.isPressed(0x4));
    EXPECT_FLOAT_EQ(map.getAnalogue(0x4), 500.0f);
    EXPECT_FALSE(map.isPressed(0x8));
    EXPECT_FLOAT_EQ(map.getMouseX(), 10.0f);
    EXPECT_TRUE(map.isPressed(0x4000000));
    EXPECT_FLOAT_EQ(map.getAnalogue(0x4000000), 10.0f);
    EXPECT_TRUE(map.isPressed(0x10000000));
    EXPECT_FLOAT_EQ(map.getAnalogue(0x10000000), 20.0f);
    EXPECT_TRUE(map.isPressed(0x88000000));
    EXPECT_FALSE(map.isPressed(0x82000000));

    EXPECT_FALSE(map.isDoubleClicked(0x4)) << "one press of W is no double-click of its second action";

    // A tap of S between frames still counts; W stays held; the wheel turns up.
    ti::keyDown(DIK_S);
    ti::keyUp(DIK_S);
    ti::mouseMove(0, 0, 120);
    updateMousePointer(5);
    EXPECT_FALSE(map.isPressed(0x8));
    map.update(centred(), 10130, true);
    EXPECT_TRUE(map.isHeld(0x1));
    EXPECT_TRUE(map.isPressed(0x8));
    EXPECT_TRUE(map.isPressed(0x82000000));
    EXPECT_TRUE(getMousePointer().wheelUp);
    EXPECT_FALSE(getMousePointer().wheelDown);

    // W again 200 ms after its first press: both its actions are double-clicked.
    ti::keyUp(DIK_W);
    updateMousePointer(5);
    map.update(centred(), 10160, true);
    ti::keyDown(DIK_W);
    updateMousePointer(5);
    map.update(centred(), 10300, true);
    EXPECT_TRUE(map.isPressed(0x1) && map.isPressed(0x4));
    EXPECT_TRUE(map.isDoubleClicked(0x1) && map.isDoubleClicked(0x4));
}

TEST_F(KeyboardPlayerTest, TheMapperWritesThePointerToTheDebugOutput)
{
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    setDebugFileName("debug.txt");
    debugCategoryMask = 1;
    ti::mouseMove(10, -20);
    updateMousePointer(5);
    CInputMap map;
    map.update(centred(), 0, true);
    map.update(centred(), 30, false);  // the pad mapper says nothing
    debugCategoryMask = 0;
    EXPECT_EQ(dir.read("debug.txt"), "input mouse x =10.000000, \t\t\tinput mouse y =-20.000000\n");
}

TEST_F(KeyboardPlayerTest, PointerStaysOnScreenAndSensitivityStaysInTheTable)
{
    setInputMapScreenSize(width, height);
    ti::mouseMove(100000, -100000);
    updateMousePointer(10);
    EXPECT_FLOAT_EQ(getMousePointer().x, 400.0f);
    EXPECT_FLOAT_EQ(getMousePointer().y, -300.0f);

    resetMousePointer();
    EXPECT_FLOAT_EQ(getMousePointer().x, 0.0f);
    ti::mouseMove(10, 10);
    updateMousePointer(99);  // as the last entry
    EXPECT_FLOAT_EQ(getMousePointer().x, 40.0f);
    ti::mouseMove(-100, 0);
    updateMousePointer(-3);  // as the first entry
    EXPECT_FLOAT_EQ(getMousePointer().x, 15.0f);
    ti::mouseMove(-20, 0);
    updateMousePointer(0);
    EXPECT_FLOAT_EQ(getMousePointer().x, 10.0f);
    ti::mouseMove(1, 0);
    updateMousePointer(6);
    EXPECT_FLOAT_EQ(getMousePointer().x, 11.6f);
}

}  // namespace
