#include "kestrune/InputMap.h"

#include "platform/testing/input.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

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

TEST(InputMap, AxisShaping)
{
    // value, centre, shaped: the dead zone of 130, then each side of the offset onto its own 500.
    const float rows[][3] = {{130, 0, 0},    {-130, 0, 0},     {200, 0, 94.5946f}, {-200, 0, -94.5946f},
                             {500, 0, 500},  {-500, 0, -500},  {-100, 100, 0},     {500, 100, 500},
                             {-600, 100, -500},
                             {400, 100, (500.0f / 600.0f * 500.0f - 130.0f) * 500.0f / 370.0f},
                             {-300, 100, (-250.0f + 130.0f) * 500.0f / 370.0f}};
    for (const auto& r : rows) EXPECT_NEAR(CInputMap::shapeAxis(r[0], r[1]), r[2], 1e-2f) << r[0] << " " << r[1];
}

TEST(InputMap, PressedHeldAndDoubleClickedInBothBanks)
{
    CInputMap map;
    SJoystickState pad = centred(), idle = centred();
    pad.rgbButtons[0] = 128;
    pad.rglPOV[0] = 0;
    map.update(pad, 100, false);  // the first press, soon after start, is no double-click
    EXPECT_TRUE(map.isPressed(1) && !map.isHeld(1) && !map.isDoubleClicked(1));
    map.update(idle, 130, false);
    map.update(pad, 1000, false);
    EXPECT_FLOAT_EQ(map.getAnalogue(1), 500.0f);
    EXPECT_TRUE(map.isPressed(bank1(10)));
    EXPECT_FALSE(map.isPressed(1u << 10)) << "bank 0 bit 10 is another action";

    map.update(pad, 1030, false);
    EXPECT_TRUE(!map.isPressed(1) && map.isHeld(1) && map.isHeld(bank1(10)) && !map.isPressed(bank1(10)));
    DWORD pressed, held;
    map.getButtons(&pressed, &held);
    EXPECT_EQ(std::pair(pressed, held), std::pair(0u, 1u));

    map.update(idle, 1060, false);
    EXPECT_FALSE(map.isPressed(1) || map.isHeld(1));
    pad.rgbButtons[0] = 64;
    map.update(pad, 1300, false);  // 300 ms after the first press
    EXPECT_TRUE(map.isPressed(1) && map.isDoubleClicked(1));
    EXPECT_FLOAT_EQ(map.getAnalogue(1), 250.0f);
    EXPECT_FALSE(map.isDoubleClicked(bank1(10))) << "bank 1 has no double-click";
    map.update(idle, 1330, false);
    map.update(pad, 1900, false);  // 600 ms later
    EXPECT_TRUE(map.isPressed(1) && !map.isDoubleClicked(1));

    map.setDoubleClickWindow(0);
    map.update(idle, 1930, false);
    map.update(pad, 1931, false);
    EXPECT_FALSE(map.isDoubleClicked(1));
}

TEST(InputMap, PadMapperHatsSlidersAndBoundAxes)
{
    CInputMap map;
    SJoystickState pad = centred();
    const LONG povs[4] = {9000, 27000, 18000, 4500};
    std::memcpy(pad.rglPOV, povs, sizeof(povs));
    pad.rglSlider[0] = 500, pad.rglSlider[1] = -500;
    pad.lZ = -500, pad.lRz = 500, pad.lX = -500, pad.lY = 200, pad.lRx = 500, pad.lRy = -500;
    pad.rgbButtons[6] = 0x80;
    pad.rgbButtons[7] = 0x11;
    map.update(pad, 0, false);

    // Hats (a diagonal raises nothing), sliders, Z and Z-rotation in bank 1; the sticks in bank 0.
    for (int bit : {9, 13, 19, 4, 5, 0, 3}) EXPECT_TRUE(map.isPressed(bank1(bit))) << bit;
    for (int bit : {22, 21, 23, 6, 7, 2, 1}) EXPECT_FALSE(map.isPressed(bank1(bit))) << bit;
    for (DWORD mask : {0x8000u, 0x40000u, 0x100000u, 0x200000u, 1u << 6}) EXPECT_TRUE(map.isPressed(mask)) << mask;
    EXPECT_FALSE(map.isPressed(0x10000 | 0x20000 | 0x80000 | 0x400000));
    EXPECT_EQ(std::vector<float>({map.getAnalogue(bank1(9)), map.getAnalogue(bank1(13)), map.getAnalogue(bank1(4)),
                                  map.getAnalogue(0x8000)}),
              std::vector<float>({9000, 27000, 500, 500}));
    EXPECT_NEAR(map.getAnalogue(0x40000), 94.5946f, 1e-3f);
    EXPECT_EQ(std::pair(map.getRawButton6(), map.getRawButton7()), std::pair(BYTE(0x80), BYTE(0x11)));

    // Last frame's rotations are kept.
    map.update(centred(), 30, false);
    EXPECT_EQ(std::vector<float>({map.getLastXRotation(), map.getLastYRotation(), map.getXRotation()}),
              std::vector<float>({500, -500, 0}));

    // Bound axes follow their bindings; an unbound source raises nothing.
    map.getBindings()->padAxes[SInputBindings::AXIS_X_NEG] = 0x4;
    map.getBindings()->padButtons[6] = 0;
    map.update(pad, 60, false);
    EXPECT_TRUE(map.isPressed(0x4));
    EXPECT_FALSE(map.isPressed(0x8000) || map.isHeld(0x8000));
    EXPECT_FLOAT_EQ(map.getAnalogue(0x1), 0.0f);
}

TEST(InputMap, BankOneAnalogueBitPositionsAndKeyBindings)
{
    testsupport::clearReports();
    CInputMap map;
    map.setAnalogue(250.0f, 0x88000000);
    EXPECT_FLOAT_EQ(map.getAnalogue(0x88000000), 250.0f);
    EXPECT_TRUE(map.isPressed(0x88000000) && map.isHeld(0x88000000));
    EXPECT_FLOAT_EQ(map.getAnalogue(0x8000000), 0.0f) << "bank 0 bit 27 is another action";
    map.setAnalogue(100.0f, 0x40000000);
    EXPECT_FLOAT_EQ(map.getAnalogue(0x40000000), 100.0f);
    EXPECT_FLOAT_EQ(map.getAnalogue(B1), 0.0f);
    EXPECT_EQ(testsupport::countReports("BitPos < MAX_BUTTONS_USED"), 0);
    const std::pair<DWORD, int> bits[] = {{0, 0}, {1, 0}, {0x80, 7}, {0x40000001, 30}, {B1, 31}};
    for (const auto& [mask, bit] : bits) EXPECT_EQ(CInputMap::getBitPos(mask), bit) << mask;
    EXPECT_EQ(testsupport::countReports("BitPos < MAX_BUTTONS_USED"), 1);

    map.clear();
    map.setPressedMask(bank1(3) | bank1(4));
    EXPECT_TRUE(map.isPressed(bank1(4)) && !map.isHeld(bank1(4)));

    // A code past the table binds nothing and comes back; masks for one key add up.
    DWORD result = 0;
    map.bindKey(&result, 300, 0x4);
    EXPECT_EQ(result, 300u);
    map.bindKey(&result, DIK_SPACE, 0x4);
    map.bindKey(&result, DIK_SPACE, 0x10);
    EXPECT_EQ(result, 0x10u);
    for (DWORD key = 0; key < 256; ++key) ASSERT_EQ(map.getKeyEntry(key), key == DIK_SPACE ? 0x14u : 0u) << key;
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
    // One frame of the keyboard player: the pointer, then the map.
    void frame(CInputMap& map, DWORD now)
    {
        updateMousePointer(5);
        map.update(centred(), now, true);
    }
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
    frame(map, 10100);
    EXPECT_TRUE(map.isPressed(0x1) && map.isPressed(0x4) && !map.isPressed(0x8));
    EXPECT_FALSE(map.isDoubleClicked(0x4)) << "one press of W is no double-click of its second action";
    // The default mouse bindings: right 10, up 20, button 3; not the wheel.
    EXPECT_EQ(std::vector<float>({map.getAnalogue(0x4), map.getMouseX(), map.getAnalogue(0x4000000),
                                  map.getAnalogue(0x10000000), map.getAnalogue(0x88000000), map.getAnalogue(0x82000000)}),
              std::vector<float>({500, 10, 10, 20, 500, 0}));

    // A tap of S between frames still counts; W stays held; the wheel turns up.
    ti::keyDown(DIK_S);
    ti::keyUp(DIK_S);
    ti::mouseMove(0, 0, 120);
    frame(map, 10130);
    EXPECT_TRUE(map.isHeld(0x1) && map.isPressed(0x8) && map.isPressed(0x82000000));
    EXPECT_TRUE(getMousePointer().wheelUp && !getMousePointer().wheelDown);

    // W again 200 ms after its first press: both its actions are double-clicked.
    ti::keyUp(DIK_W);
    frame(map, 10160);
    ti::keyDown(DIK_W);
    frame(map, 10300);
    EXPECT_TRUE(map.isDoubleClicked(0x1) && map.isDoubleClicked(0x4));
}

TEST_F(KeyboardPlayerTest, PointerStaysOnScreenAndSensitivityStaysInTheTable)
{
    setInputMapScreenSize([] { return 801; }, [] { return 601; });
    ti::mouseMove(100000, -100000);
    updateMousePointer(10);
    EXPECT_EQ(std::pair(getMousePointer().x, getMousePointer().y), std::pair(400.0f, -300.0f));

    resetMousePointer();
    // Move, sensitivity (out of range counts as the nearest entry), where the pointer is then.
    const std::tuple<int, int, float> steps[] = {{10, 99, 40.0f}, {-100, -3, 15.0f}, {-20, 0, 10.0f}, {1, 6, 11.6f}};
    for (const auto& [dx, sensitivity, x] : steps) {
        ti::mouseMove(dx, 0);
        updateMousePointer(sensitivity);
        EXPECT_FLOAT_EQ(getMousePointer().x, x) << sensitivity;
    }
}

}  // namespace
