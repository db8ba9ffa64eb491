#include "input/InputDevices.h"
#include "input/InputRecordSet.h"

#include "platform/testing/input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ti = platform::testing::input;

namespace {

struct Registration {
    DWORD type;
    int index;
    bool removed;
};
std::vector<Registration> registrations;

int fakeRegister(DWORD type, void (*)())
{
    registrations.push_back({type, static_cast<int>(registrations.size()), false});
    return registrations.back().index;
}

void fakeUnregister(DWORD type, int index)
{
    for (Registration& r : registrations)
        if (r.type == type && r.index == index) r.removed = true;
}

class InputDevicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ti::reset();
        registrations.clear();
        SInputShellHooks hooks = {fakeRegister, fakeUnregister};
        setInputShellHooks(&hooks);
    }
    void TearDown() override
    {
        shutdownInputDevices();
        setInputShellHooks(nullptr);
        setKeyboardDisabled(false);
        setMouseDisabled(false);
        setJoysticksDisabled(false);
    }
    const bool m_allPads[MAX_JOYSTICKS] = {true, true, true, true};
    const bool m_firstPad[MAX_JOYSTICKS] = {true, false, false, false};
};

TEST_F(InputDevicesTest, InitialisationSetsUpEveryDeviceAndShutdownReleasesThem)
{
    ti::attachJoystick("Pad one", "Pad");
    ASSERT_TRUE(initInputDevices(nullptr, m_firstPad));

    ti::DeviceView keyboard = ti::device(ti::KIND_KEYBOARD);
    EXPECT_TRUE(keyboard.acquired);
    EXPECT_EQ(keyboard.cooperativeFlags, DWORD(DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY));
    ti::DeviceView mouse = ti::device(ti::KIND_MOUSE);
    EXPECT_TRUE(mouse.acquired);
    EXPECT_EQ(mouse.cooperativeFlags, DWORD(DISCL_EXCLUSIVE | DISCL_FOREGROUND));
    ti::DeviceView pad = ti::device(ti::KIND_JOYSTICK, 0);
    EXPECT_TRUE(pad.acquired);
    // The default pad has X, Y, Rx and Ry: all get the range, only X and Y the dead zone.
    for (int axis : {0, 1, 3, 4}) {
        EXPECT_EQ(pad.rangeMin[axis], -500) << axis;
        EXPECT_EQ(pad.rangeMax[axis], 500) << axis;
    }
    EXPECT_EQ(pad.deadZone[0], 1000u);
    EXPECT_EQ(pad.saturation[1], 9500u);
    EXPECT_EQ(pad.deadZone[3], 0u);
    EXPECT_EQ(pad.saturation[4], 10000u);
    EXPECT_TRUE(areJoysticksPresent());

    // Activate (type 0) and deactivate (type 1), in that order.
    ASSERT_EQ(registrations.size(), 2u);
    EXPECT_EQ(registrations[0].type, 0u);
    EXPECT_EQ(registrations[1].type, 1u);
    ti::setForeground(false);
    inputDeactivate();
    EXPECT_FALSE(ti::device(ti::KIND_KEYBOARD).acquired);
    EXPECT_FALSE(readMouse()) << "another program has the focus";
    ti::setForeground(true);
    inputActivate();
    EXPECT_TRUE(ti::device(ti::KIND_KEYBOARD).acquired);
    EXPECT_TRUE(readMouse());

    shutdownInputDevices();
    EXPECT_EQ(ti::liveDevices(), 0);
    EXPECT_TRUE(registrations[0].removed && registrations[1].removed);
    EXPECT_FALSE(areJoysticksPresent());
}

TEST_F(InputDevicesTest, KeyboardOrMouseFailureFailsInitialisationButMissingPadsDoNot)
{
    ti::forceResult(ti::KIND_INTERFACE, ti::CALL_INITIALIZE, DIERR_NOTINITIALIZED);
    EXPECT_FALSE(initInputDevices(nullptr, m_allPads));

    ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_CREATEDEVICE, E_FAIL);
    EXPECT_FALSE(initInputDevices(nullptr, m_allPads));
    EXPECT_EQ(ti::liveDevices(), 0);

    ti::forceResult(ti::KIND_MOUSE, ti::CALL_SETDATAFORMAT, DIERR_INVALIDPARAM);
    EXPECT_FALSE(initInputDevices(nullptr, m_allPads));
    EXPECT_EQ(ti::liveDevices(), 0) << "the keyboard made before the failure is released";
    EXPECT_TRUE(registrations.empty());

    ASSERT_TRUE(initInputDevices(nullptr, m_allPads));
    EXPECT_FALSE(areJoysticksPresent());
    SJoystickState state;
    EXPECT_FALSE(readJoystick(0, &state));

    // One pad opens even when more slots are wanted.
    shutdownInputDevices();
    ti::attachJoystick("Only pad", "Pad");
    ASSERT_TRUE(initInputDevices(nullptr, m_allPads));
    EXPECT_TRUE(readJoystick(0, &state));
    EXPECT_FALSE(readJoystick(1, &state));
}

TEST_F(InputDevicesTest, KeyTest)
{
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    EXPECT_FALSE(isKeyDown(256, true));

    ti::keyDown(DIK_SPACE);
    EXPECT_TRUE(isKeyDown(DIK_SPACE, true));
    ti::keyUp(DIK_SPACE);
    EXPECT_FALSE(isKeyDown(DIK_SPACE, true));

    // A tap between two frames: the refreshed state misses it, the buffered press does not.
    ti::keyDown(DIK_A);
    ti::keyUp(DIK_A);
    EXPECT_FALSE(isKeyDown(DIK_A, true));
    EXPECT_TRUE(isKeyDown(DIK_A, false));
    EXPECT_FALSE(isKeyDown(DIK_A, true)) << "the next refresh forgets the tap";

    // A failed refresh clears the whole state.
    ti::keyDown(DIK_W);
    EXPECT_TRUE(isKeyDown(DIK_W, true));
    ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_GETDEVICESTATE, DIERR_INPUTLOST);
    EXPECT_FALSE(isKeyDown(DIK_W, true));
    EXPECT_EQ(getKeyboardState()[DIK_W], 0);

    setKeyboardDisabled(true);
    EXPECT_FALSE(isKeyDown(DIK_W, true));
    BYTE keys[256];
    EXPECT_FALSE(readKeyboard(keys));
}

TEST_F(InputDevicesTest, AFailedEventReadMergesNothingAndAcquiresTenTimesAtMost)
{
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    ASSERT_FALSE(isKeyDown(0, true));
    ti::keyDown(DIK_A);
    ti::keyUp(DIK_A);
    int before = ti::callCount(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE);
    ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_GETDEVICEDATA, DIERR_INPUTLOST);
    ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE, DIERR_INPUTLOST, 50);
    EXPECT_FALSE(isKeyDown(DIK_A, false));
    EXPECT_EQ(ti::callCount(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE) - before, 10);
    EXPECT_EQ(getKeyboardState()[DIK_A], 0) << "nothing merged";
}

TEST_F(InputDevicesTest, ReadKeyboardRetriesTheAcquireTenMoreTimes)
{
    BYTE keys[256];
    EXPECT_TRUE(readKeyboard(keys)) << "no keyboard yet";
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    ti::keyDown(DIK_Q);
    ASSERT_TRUE(readKeyboard(keys));
    EXPECT_EQ(keys[DIK_Q], 0x80);

    // Re-acquired only while the input is lost or taken, ten times at most.
    const struct {
        HRESULT read, acquire;
        int acquires;
    } cases[] = {{DIERR_INPUTLOST, DIERR_OTHERAPPHASPRIO, 10}, {DIERR_OTHERAPPHASPRIO, DIERR_INPUTLOST, 10},
                 {DIERR_INPUTLOST, DI_OK, 1}, {DIERR_NOTACQUIRED, DIERR_INPUTLOST, 0}, {E_FAIL, DI_OK, 0}};
    for (const auto& c : cases) {
        const int before = ti::callCount(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE);
        ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_GETDEVICESTATE, c.read);
        ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE, c.acquire, c.acquires);
        EXPECT_FALSE(readKeyboard(keys));
        EXPECT_EQ(ti::callCount(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE) - before, c.acquires) << std::hex << c.read;
    }

    // Lost focus: the read fails once, the re-acquire brings it back.
    ti::reset();
    shutdownInputDevices();
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    ti::loseInput();
    EXPECT_FALSE(readKeyboard(keys));
    EXPECT_TRUE(readKeyboard(keys));
}

TEST_F(InputDevicesTest, ReadMouse)
{
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    ti::mouseMove(5, -3, 120);
    ti::mouseButton(1, true);
    ASSERT_TRUE(readMouse());
    EXPECT_EQ(getMouseState().lX, 5);
    EXPECT_EQ(getMouseState().rgbButtons[1], 0x80);
    ASSERT_TRUE(readMouse());
    EXPECT_EQ(getMouseState().lX, 0) << "movement is relative";

    // Lost: the state is cleared and a good re-acquire ends the read.
    ti::loseInput();
    EXPECT_TRUE(readMouse());
    EXPECT_EQ(getMouseState().rgbButtons[1], 0);

    int reads = ti::callCount(ti::KIND_MOUSE, ti::CALL_GETDEVICESTATE);
    ti::forceResult(ti::KIND_MOUSE, ti::CALL_GETDEVICESTATE, DIERR_INPUTLOST, 50);
    ti::forceResult(ti::KIND_MOUSE, ti::CALL_ACQUIRE, DIERR_OTHERAPPHASPRIO, 50);
    EXPECT_FALSE(readMouse());
    EXPECT_EQ(ti::callCount(ti::KIND_MOUSE, ti::CALL_GETDEVICESTATE) - reads, 11);

    setMouseDisabled(true);
    EXPECT_FALSE(readMouse());
}

TEST_F(InputDevicesTest, EnumerationKeepsFourPadsSkipsOverlongNamesAndBuildsTheCapabilityMask)
{
    ti::PadObjects big;
    big.axes[2] = big.axes[5] = big.axes[6] = big.axes[7] = true;  // all eight axes
    big.povs = 4;
    big.buttons = 32;
    ti::attachJoystick("First", "Product A", big);
    ti::attachJoystick(std::string(260, 'n'), "Too long");
    ti::attachJoystick("Second", "Product B");
    ti::attachJoystick("Third", "Product C");
    ti::attachJoystick("Fourth", "Product D");
    ti::attachJoystick("Fifth", "Product E");
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));

    ASSERT_EQ(theInputRecordSet.count(), 4);
    EXPECT_STREQ(theInputRecordSet.record(0).instanceName, "First");
    EXPECT_STREQ(theInputRecordSet.record(3).instanceName, "Fourth");
    EXPECT_STREQ(theInputRecordSet.record(3).productName, "Product D");
    EXPECT_EQ(ti::liveDevices(), 2) << "the enumeration's temporary devices are released";

    // Bits 1..8 axes, 9..12 hats, 13..28 the first 16 buttons; bit 0 and later buttons unused.
    EXPECT_EQ(theInputRecordSet.capabilityMask(0), 0x1FFFFFFEu);
    // X, Y, Rx, Ry, one hat, 16 buttons.
    EXPECT_EQ(theInputRecordSet.capabilityMask(1), 0x1FFFE000u | (1u << 1) | (1u << 2) | (1u << 4) | (1u << 5) |
                                                       (1u << 9));
}

TEST_F(InputDevicesTest, ReadJoystickScalesShapesAndRecovers)
{
    ti::PadObjects objects;
    objects.axes[6] = true;  // slider 0
    ti::attachJoystick("Pad", "Pad", objects);
    ASSERT_TRUE(initInputDevices(nullptr, m_firstPad));

    ti::setJoystickAxis(0, 0, 0.05f);   // X inside the 10% dead zone
    ti::setJoystickAxis(0, 1, -0.96f);  // Y beyond the 95% saturation
    ti::setJoystickAxis(0, 3, 0.5f);    // Rx: no dead zone
    ti::setJoystickAxis(0, 6, -1.0f);
    ti::setJoystickPov(0, 0, 9000);
    ti::setJoystickButton(0, 15, true);
    SJoystickState state;
    ASSERT_TRUE(readJoystick(0, &state));
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.lY, -500);
    EXPECT_EQ(state.lRx, 250);
    EXPECT_EQ(state.rglSlider[0], -500);
    EXPECT_EQ(state.rglPOV[0], 9000);
    EXPECT_EQ(state.rglPOV[1], -1) << "a missing or centred hat reads negative";
    EXPECT_EQ(state.rgbButtons[15], 0x80);
    ti::setJoystickAxis(0, 0, 0.525f);  // half way between dead zone and saturation
    ASSERT_TRUE(readJoystick(0, &state));
    EXPECT_EQ(state.lX, 250);

    ti::loseInput();
    EXPECT_TRUE(readJoystick(0, &state)) << "a lost pad is acquired again";

    ti::forceResult(ti::KIND_JOYSTICK, ti::CALL_POLL, DIERR_INPUTLOST, 10);
    EXPECT_FALSE(readJoystick(0, &state));
    ti::forceResult(ti::KIND_JOYSTICK, ti::CALL_GETDEVICESTATE, DIERR_INPUTLOST);
    ti::forceResult(ti::KIND_JOYSTICK, ti::CALL_ACQUIRE, DIERR_OTHERAPPHASPRIO);
    EXPECT_FALSE(readJoystick(0, &state));

    setJoysticksDisabled(true);
    EXPECT_FALSE(readJoystick(0, &state));
    EXPECT_FALSE(acquireJoystick(-1));
}

TEST_F(InputDevicesTest, AnyFailureWhileOpeningAPadLeavesItClosed)
{
    ti::attachJoystick("Pad", "Pad");
    ti::forceResult(ti::KIND_JOYSTICK, ti::CALL_SETPROPERTY, DIERR_INVALIDPARAM);
    ASSERT_TRUE(initInputDevices(nullptr, m_firstPad));
    EXPECT_FALSE(areJoysticksPresent());
    EXPECT_EQ(ti::liveDevices(), 2);

    ti::PadObjects noY;
    noY.axes[1] = false;
    ti::reset();
    shutdownInputDevices();
    ti::attachJoystick("No Y", "Pad", noY);
    ASSERT_TRUE(initInputDevices(nullptr, m_firstPad));
    EXPECT_FALSE(areJoysticksPresent()) << "the dead zone on Y cannot be set";
}

TEST(KeyNames, ExactAndCaseSensitive)
{
    const struct {
        const char* name;
        bool known;
        DWORD code;
    } cases[] = {{"DIK_ADD", true, 0x4E},   {"DIK_ESCAPE", true, 0x01}, {"DIK_APPS", true, 0xDD},
                 {"DIK_0", true, 0x0B},     {"dik_add", false, 0},      {"DIK_ADD ", false, 0},
                 {"DIK_", false, 0}};
    for (const auto& c : cases) {
        DWORD code = 0;
        EXPECT_EQ(keyNameToScanCode(c.name, &code), c.known) << c.name;
        EXPECT_EQ(code, c.code) << c.name;
    }
}

}  // namespace
