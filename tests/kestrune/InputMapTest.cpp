// The input map (pads, keys and mouse in both banks), the game's player input and the rumble list.
#include "kestrune/GameInput.h"
#include "kestrune/InputMap.h"
#include "kestrune/Rumble.h"

#include "global/ProjData.h"
#include "input/InputDevices.h"
#include "platform/testing/input.h"
#include "utility/BlockFile.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"
#include "wincore/WinCore.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

namespace ti = platform::testing::input;

namespace {

const DWORD B1 = CInputMap::BANK1;
DWORD bank1(int bit) { return B1 | (1u << bit); }

// What the map says of an action: p(ressed), h(eld), d(ouble-clicked).
std::string says(const CInputMap& map, DWORD action)
{
    return std::string(map.isPressed(action) ? "p" : "") + (map.isHeld(action) ? "h" : "") + (map.isDoubleClicked(action) ? "d" : "");
}

SJoystickState centred()
{
    SJoystickState pad;
    std::memset(&pad, 0, sizeof(pad));
    for (LONG& pov : pad.rglPOV) pov = -1;
    return pad;
}

TEST(InputMap, PressedHeldAndDoubleClickedInBothBanks)
{
    CInputMap map;
    SJoystickState pad = centred(), idle = centred();
    pad.rgbButtons[0] = 128;
    pad.rglPOV[0] = 0;
    map.update(pad, 100, false);  // the first press, soon after start, is no double-click
    EXPECT_EQ("p", says(map, 1));
    map.update(idle, 130, false);
    map.update(pad, 1000, false);
    EXPECT_FLOAT_EQ(map.getAnalogue(1), 500.0f);
    EXPECT_EQ(std::make_pair(true, false), std::make_pair(map.isPressed(bank1(10)), map.isPressed(1u << 10)));  // bank 0 bit 10 is another action

    map.update(pad, 1030, false);
    EXPECT_EQ(std::make_pair(std::string("h"), std::string("h")), std::make_pair(says(map, 1), says(map, bank1(10))));
    map.update(idle, 1060, false);
    EXPECT_EQ("", says(map, 1));
    pad.rgbButtons[0] = 64;
    map.update(pad, 1300, false);  // 300 ms after the first press
    EXPECT_EQ("pd", says(map, 1));
    EXPECT_FLOAT_EQ(map.getAnalogue(1), 250.0f);
    EXPECT_FALSE(map.isDoubleClicked(bank1(10))) << "bank 1 has no double-click";
    map.update(idle, 1330, false);
    map.update(pad, 1800, false);  // 500 ms later: the window is over
    EXPECT_EQ("p", says(map, 1));

    map.setDoubleClickWindow(0);
    map.update(idle, 1930, false);
    map.update(pad, 1931, false);
    EXPECT_FALSE(map.isDoubleClicked(1));
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
    void frame(CInputMap& map, DWORD now) { updateMousePointer(5), map.update(centred(), now, true); }
};

TEST_F(KeyboardPlayerTest, KeysAndMouseRaiseTheirActions)
{
    CInputMap map;
    DWORD result = 0;
    map.bindKey(&result, 300, 0x4);  // a code past the table binds nothing and comes back
    EXPECT_EQ(result, 300u);
    map.bindKey(&result, DIK_W, 0x1);
    map.bindKey(&result, DIK_W, 0x4);  // masks for one key add up
    map.bindKey(&result, DIK_S, 0x8);
    ti::keyDown(DIK_W);
    ti::mouseMove(10, -20);
    ti::mouseButton(3, true);
    frame(map, 10100);
    // One press of W is no double-click of its second action.
    EXPECT_EQ((std::vector<std::string>{"p", "p", ""}), (std::vector<std::string>{says(map, 0x1), says(map, 0x4), says(map, 0x8)}));
    // The default mouse bindings: right 10, up 20, button 3; not the wheel.
    EXPECT_EQ(std::vector<float>({map.getAnalogue(0x4), map.getMouseX(), map.getAnalogue(0x4000000),
                                  map.getAnalogue(0x10000000), map.getAnalogue(0x88000000), map.getAnalogue(0x82000000)}),
              std::vector<float>({500, 10, 10, 20, 500, 0}));
    // A tap of S between frames still counts; W stays held; the wheel turns up.
    ti::keyDown(DIK_S);
    ti::keyUp(DIK_S);
    ti::mouseMove(0, 0, 120);
    frame(map, 10130);
    EXPECT_EQ((std::vector<std::string>{"h", "p", "p"}), (std::vector<std::string>{says(map, 0x1), says(map, 0x8), says(map, 0x82000000)}));
    // W again 200 ms after its first press: both its actions are double-clicked.
    ti::keyUp(DIK_W);
    frame(map, 10160);
    ti::keyDown(DIK_W);
    frame(map, 10300);
    EXPECT_EQ(std::make_pair(std::string("pd"), std::string("pd")), std::make_pair(says(map, 0x1), says(map, 0x4)));
    // The pointer stays on the screen; a sensitivity out of the table counts as its nearest entry.
    setInputMapScreenSize([] { return 801; }, [] { return 601; });
    ti::mouseMove(100000, -100000);
    updateMousePointer(99), updateMousePointer(-3);
    EXPECT_EQ(std::pair(getMousePointer().x, getMousePointer().y), std::pair(400.0f, -300.0f));
}

int padTable[4] = {0, 1, 2, 3};

std::unique_ptr<CParamBlock> parse(const char* text)
{
    CParamBlock* block = nullptr;
    const char* cursor = text;
    EXPECT_TRUE(parseBlock(cursor, &block, 0, 10));
    return std::unique_ptr<CParamBlock>(block);
}

// Both motors of the pad, as the rumble list and as the pad's motors were set.
std::array<float, 4> levels(int pad)
{
    std::array<float, 4> l{};
    getRumbleLevels(pad, &l[0], &l[1]);
    ti::joystickRumble(pad, &l[2], &l[3]);
    return l;
}

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
};

TEST_F(GameInputTest, WithoutAPadTheFirstPlayerPlaysWithKeysAndMouse)
{
    ASSERT_TRUE(gameInputInit());
    DWORD result;
    gamePlayerInput().bindKey(&result, DIK_SPACE, 0x2);
    ti::keyDown(DIK_SPACE);
    ti::mouseButton(0, true);
    gameInputStep();
    EXPECT_EQ(std::make_pair(std::string("p"), std::string("p")), std::make_pair(says(gamePlayerInput(), 0x2), says(gamePlayerInput(), 0x20000000)))
        << "space, mouse button 0";
    // The shell's deactivate callback lets the keyboard go; shut down, the callbacks go too.
    WinCore.WindowProc(nullptr, WM_ACTIVATEAPP, FALSE, 0);
    const bool lost = !ti::device(ti::KIND_KEYBOARD).acquired;
    WinCore.WindowProc(nullptr, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(std::make_pair(true, true), std::make_pair(lost, bool(ti::device(ti::KIND_KEYBOARD).acquired)));
    gameInputShutdown();
    EXPECT_EQ(ti::liveDevices(), 0);
    for (uint32_t type : {CWinCore::FUNC_ACTIVATE, CWinCore::FUNC_DEACTIVATE})
        for (WinCoreFuncPtr f : WinCore.WinCoreFunc[type]) EXPECT_EQ(f, nullptr);
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
    EXPECT_EQ(std::make_pair(std::string("p"), std::string("")), std::make_pair(says(gamePlayerInput(), 0x1), says(gamePlayerInput(), 0x2)))
        << "the pad, not the keyboard";
    EXPECT_FLOAT_EQ(levels(0)[2], 0.03f) << "one 30 ms step of the attack";
    stopRumble(&rumble);
}

class RumbleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        llistInitElementPool();
        testsupport::clearReports();
        setRumbleGameHooks([] { return 20; }, [](int player) { return padTable[player]; });
        for (int i = 0; i < 4; ++i) padTable[i] = i;
    }
    void TearDown() override
    {
        shutdownRumble();
        resumeRumble();
        setRumbleGameHooks(nullptr, nullptr);
        shutdownInputDevices();
        llistFreeElementPool();
    }
};

TEST_F(RumbleTest, LengthsRoundUpToTheFrameStepButThePauseDoesNotAndTheLevelRisesHoldsAndFalls)
{
    // pause, attack, sustain, decay, step; the three 16-bit ends. A negative length counts as none;
    // the largest lengths round up past 2^31 without overflowing.
    struct Row { int pause, attack, sustain, decay, step; std::array<WORD, 3> ends; };
    const Row rows[] = {{45, 100, 99, 66, 33, {45 + 132, 45 + 132 + 99, 45 + 132 + 99 + 66}},
                        {65000, 1000, -50, 0, 0, {(65000 + 1000) & 0xFFFF, (65000 + 1000) & 0xFFFF, (65000 + 1000) & 0xFFFF}},
                        {10, INT_MAX, INT_MAX, INT_MAX, 33, {10 + 31, 10 + 62, 10 + 93}}};
    CRumbleEnvelope e;
    for (const Row& r : rows) {
        e.set(r.pause, r.attack, r.sustain, r.decay, 1.0f, 1.0f, 1.0f, r.step);
        EXPECT_EQ((std::array<WORD, 3>{e.getAttackEnd(), e.getSustainEnd(), e.getDecayEnd()}), r.ends) << r.pause;
    }
    e.set(100, 200, 300, 400, 5.0f, 0.8f, 2.0f, 20);
    EXPECT_FLOAT_EQ(e.advance(30), 0.0f) << "idle until restarted";
    e.restart();
    // Still in the pause, half way up the attack, the sustain, the decay, exactly at its end, past it.
    const std::pair<DWORD, float> steps[] = {{100, 0}, {100, 0.5f}, {200, 0.8f}, {500, 0.2f}, {100, 0}, {1, 0}};
    for (const auto& [dt, level] : steps) EXPECT_NEAR(e.advance(dt), level, 1e-6f) << e.getElapsed();
}

TEST_F(RumbleTest, LoadReadsBothSidesAndRefusesBadPlayers)
{
    auto block = parse("Hit\n{\n"
                       "  LeftRumble\n  {\n    PauseTime 45\n    AttackTime 100\n    SustainTime 50\n    DecayTime 70\n"
                       "    AttackSpeed 4.0\n    SustainSpeed 0.6\n    DecaySpeed 3.0\n  }\n"
                       "  RightRumble\n  {\n    AttackTime 40\n    SustainTime 200\n    SustainSpeed 0.25\n  }\n}\n");
    ASSERT_NE(block, nullptr);
    CRumble rumble;
    ASSERT_TRUE(rumble.load(block.get(), 2));
    EXPECT_EQ(rumble.getLeft().getDecayEnd(), 45 + 100 + 60 + 80);
    EXPECT_EQ(rumble.getRight().getAttackEnd(), 40) << "missing keys read as 0";
    rumble.restart();
    rumble.advance(150);
    EXPECT_EQ(std::pair(rumble.getLeft().getLevel(), rumble.getRight().getLevel()), std::pair(0.6f, 0.25f));

    for (int pad : {4, -1}) EXPECT_FALSE(rumble.load(block.get(), pad)) << pad;

    EXPECT_EQ(testsupport::countReports("GamePadID >=0 && GamePadID <4"), 2);
    EXPECT_EQ(rumble.getPlayer(), 2) << "nothing stored";
    CRumble leftOnly;
    EXPECT_FALSE(leftOnly.load(parse("LeftOnly\n{\n  LeftRumble\n  {\n    PauseTime 7\n  }\n}\n").get(), 1));
    EXPECT_EQ(leftOnly.getLeft().getAttackEnd(), 7) << "the left side is still applied";
    // Running, a player whose pad is outside the table is skipped.
    testsupport::clearReports();
    padTable[2] = 7;
    rumble.restart();
    startRumble(&rumble);
    updateRumble(100);
    EXPECT_EQ(testsupport::countReports("GamePadID >=0 && GamePadID <4"), 1);
}

}  // namespace
