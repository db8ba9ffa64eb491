// The input devices on the DirectInput stand-in, the script's verbs and key names, the stand-in itself.
#include "input/InputDevices.h"
#include "input/InputRecordSet.h"
#include "platform/dinput.h"
#include "platform/inputscript.h"
#include "platform/testing/input.h"
#include "TestSupport.h"
#include <SDL.h>
#include <gtest/gtest.h>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace ti = platform::testing::input;
namespace di = platform::dinput;

namespace {

std::vector<std::pair<DWORD, bool>> registrations;  // shell callbacks: type, removed

class InputDevicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ti::reset();
        registrations.clear();
        SInputShellHooks hooks = {[](DWORD type, void (*)()) {
                                      registrations.push_back({type, false});
                                      return static_cast<int>(registrations.size()) - 1;
                                  },
                                  [](DWORD, int index) { registrations.at(index).second = true; }};
        setInputShellHooks(&hooks);
    }
    void TearDown() override
    {
        shutdownInputDevices(), setInputShellHooks(nullptr);
        setKeyboardDisabled(false), setMouseDisabled(false), setJoysticksDisabled(false);
    }
    static di::InputVerbHandler verb(const char* name)
    {
        for (const di::InputScriptVerb& v : di::inputScriptVerbs)
            if (std::strcmp(v.verb, name) == 0) return v.handler;
        return nullptr;
    }
    const bool m_allPads[MAX_JOYSTICKS] = {true, true, true, true};
    const bool m_firstPad[MAX_JOYSTICKS] = {true, false, false, false};
    SJoystickState m_pad;
    BYTE m_keys[256];
};

TEST_F(InputDevicesTest, InitialisationSetsUpEveryDeviceAndOnlyKeyboardOrMouseFailuresFailIt)
{
    ti::attachJoystick("Pad one", "Pad");
    ASSERT_TRUE(initInputDevices(nullptr, m_firstPad));
    EXPECT_EQ(std::make_pair(true, true), std::make_pair(bool(ti::device(ti::KIND_JOYSTICK, 0).acquired), bool(ti::device(ti::KIND_MOUSE).acquired)));
    // Activate (type 0) and deactivate (type 1) callbacks follow the focus.
    ASSERT_EQ(registrations, (std::vector<std::pair<DWORD, bool>>{{0, false}, {1, false}}));
    ti::setForeground(false);
    inputDeactivate();
    EXPECT_FALSE(ti::device(ti::KIND_KEYBOARD).acquired);
    EXPECT_FALSE(readMouse());
    ti::setForeground(true);
    inputActivate();
    EXPECT_TRUE(ti::device(ti::KIND_KEYBOARD).acquired);
    EXPECT_TRUE(readMouse());
    shutdownInputDevices();
    EXPECT_EQ(ti::liveDevices(), 0);
    EXPECT_EQ((std::vector<std::pair<DWORD, bool>>{{0, true}, {1, true}}), registrations);
    EXPECT_FALSE(areJoysticksPresent());
    // Keyboard or mouse failures fail it (releasing what was made before); missing pads do not.
    ti::reset();
    for (auto [kind, call, result] : {std::tuple{ti::KIND_INTERFACE, ti::CALL_INITIALIZE, DIERR_NOTINITIALIZED},
                                      {ti::KIND_KEYBOARD, ti::CALL_CREATEDEVICE, E_FAIL},
                                      {ti::KIND_MOUSE, ti::CALL_SETDATAFORMAT, DIERR_INVALIDPARAM},
                                      {ti::KIND_JOYSTICK, ti::CALL_CREATEDEVICE, DI_OK}}) {
        shutdownInputDevices();
        ti::forceResult(kind, call, result);
        EXPECT_EQ(initInputDevices(nullptr, m_allPads), result == DI_OK) << call;
        EXPECT_EQ(ti::liveDevices(), result == DI_OK ? 2 : 0) << call;
    }
    EXPECT_EQ(4u, registrations.size());
    EXPECT_FALSE(areJoysticksPresent());
}

TEST_F(InputDevicesTest, KeysAreReadFromTheStateOrTheBufferedPresses)
{
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    EXPECT_FALSE(isKeyDown(256, true));
    ti::keyDown(DIK_SPACE);
    EXPECT_TRUE(isKeyDown(DIK_SPACE, true));
    // A tap between two frames: the refreshed state misses it, the buffered press does not; the next
    // refresh forgets it.
    ti::keyDown(DIK_A);
    ti::keyUp(DIK_A);
    EXPECT_FALSE(isKeyDown(DIK_A, true));
    EXPECT_TRUE(isKeyDown(DIK_A, false));
    EXPECT_FALSE(isKeyDown(DIK_A, true));
    // A failed refresh clears the whole state.
    ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_GETDEVICESTATE, DIERR_INPUTLOST);
    EXPECT_FALSE(isKeyDown(DIK_SPACE, true));
    // A failed event read merges nothing and acquires ten times at most.
    ti::keyDown(DIK_A);
    ti::keyUp(DIK_A);
    const int before = ti::callCount(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE);
    ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_GETDEVICEDATA, DIERR_INPUTLOST);
    ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE, DIERR_INPUTLOST, 50);
    EXPECT_FALSE(isKeyDown(DIK_A, false));
    EXPECT_EQ(ti::callCount(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE) - before, 10);
    EXPECT_EQ(getKeyboardState()[DIK_A], 0);
    setKeyboardDisabled(true);
    EXPECT_FALSE(isKeyDown(DIK_SPACE, true));
    EXPECT_FALSE(readKeyboard(m_keys));
}

TEST_F(InputDevicesTest, ReadKeyboardRetriesTheAcquireTenMoreTimes)
{
    EXPECT_TRUE(readKeyboard(m_keys)) << "no keyboard yet";
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    ti::keyDown(DIK_Q);
    ASSERT_TRUE(readKeyboard(m_keys));
    EXPECT_EQ(m_keys[DIK_Q], 0x80);
    // Re-acquired only while the input is lost or taken, ten times at most.
    const struct { HRESULT read, acquire; int acquires; } cases[] = {
                 {DIERR_INPUTLOST, DIERR_OTHERAPPHASPRIO, 10}, {DIERR_OTHERAPPHASPRIO, DIERR_INPUTLOST, 10},
                 {DIERR_INPUTLOST, DI_OK, 1}, {DIERR_NOTACQUIRED, DIERR_INPUTLOST, 0}, {E_FAIL, DI_OK, 0}};
    for (const auto& c : cases) {
        const int before = ti::callCount(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE);
        ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_GETDEVICESTATE, c.read);
        ti::forceResult(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE, c.acquire, c.acquires);
        EXPECT_FALSE(readKeyboard(m_keys));
        EXPECT_EQ(ti::callCount(ti::KIND_KEYBOARD, ti::CALL_ACQUIRE) - before, c.acquires) << std::hex << c.read;
    }
    // Lost focus: the read fails once, the re-acquire brings it back.
    ti::reset();
    shutdownInputDevices();
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    ti::loseInput();
    EXPECT_FALSE(readKeyboard(m_keys));
    EXPECT_TRUE(readKeyboard(m_keys));
}

TEST_F(InputDevicesTest, MouseMovesAreRelativeAndALostMouseIsClearedAndAcquiredAgain)
{
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    ti::mouseMove(5, -3, 120);
    ti::mouseButton(1, true);
    ASSERT_TRUE(readMouse());
    EXPECT_EQ(std::make_pair(LONG(5), BYTE(0x80)), std::make_pair(getMouseState().lX, getMouseState().rgbButtons[1]));
    ASSERT_TRUE(readMouse());
    EXPECT_EQ(0, getMouseState().lX);  // movement is relative
    // A storm of movement between two reads holds at the limits.
    for (int i = 0; i < 25000; ++i) ti::mouseMove(100000, -100000, 100000);
    ASSERT_TRUE(readMouse());
    const LONG most = std::numeric_limits<LONG>::max(), least = std::numeric_limits<LONG>::min();
    EXPECT_EQ(std::make_tuple(most, least, most),
              std::make_tuple(getMouseState().lX, getMouseState().lY, getMouseState().lZ));
    ti::loseInput();  // the state is cleared and a good re-acquire ends the read
    EXPECT_TRUE(readMouse());
    EXPECT_EQ(getMouseState().rgbButtons[1], 0);
    const int reads = ti::callCount(ti::KIND_MOUSE, ti::CALL_GETDEVICESTATE);
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
    big.povs = 4, big.buttons = 32;
    ti::attachJoystick("First", "Product A", big);
    ti::attachJoystick(std::string(260, 'n'), "Too long");
    for (const char* name : {"Second", "Third", "Fourth", "Fifth"}) ti::attachJoystick(name, std::string("Product ") + name);
    ASSERT_TRUE(initInputDevices(nullptr, nullptr));
    ASSERT_EQ(theInputRecordSet.count(), 4);
    EXPECT_STREQ(theInputRecordSet.record(0).instanceName, "First");
    EXPECT_STREQ(theInputRecordSet.record(3).productName, "Product Fourth");
    EXPECT_EQ(ti::liveDevices(), 2) << "the enumeration's temporary devices are released";
    // Bits 1..8 axes, 9..12 hats, 13..28 the first 16 buttons; bit 0 and later buttons unused.
    EXPECT_EQ(theInputRecordSet.capabilityMask(0), 0x1FFFFFFEu);
    // X, Y, Rx, Ry, one hat, 16 buttons.
    EXPECT_EQ(theInputRecordSet.capabilityMask(1), 0x1FFFE000u | 1u << 1 | 1u << 2 | 1u << 4 | 1u << 5 | 1u << 9);
}

TEST_F(InputDevicesTest, ReadJoystickScalesShapesAndRecovers)
{
    ti::PadObjects objects;
    objects.axes[6] = true;  // slider 0
    ti::attachJoystick("Pad", "Pad", objects);
    ASSERT_TRUE(initInputDevices(nullptr, m_firstPad));
    // X inside the 10% dead zone, Y beyond the 95% saturation, Rx without a dead zone.
    for (auto [axis, value] : {std::pair{0, 0.05f}, {1, -0.96f}, {3, 0.5f}, {6, -1.0f}}) ti::setJoystickAxis(0, axis, value);
    ti::setJoystickPov(0, 0, 9000);
    ti::setJoystickButton(0, 15, true);
    ASSERT_TRUE(readJoystick(0, &m_pad));
    // A missing or centred hat reads negative.
    EXPECT_EQ(std::vector<LONG>({m_pad.lX, m_pad.lY, m_pad.lRx, m_pad.rglSlider[0], LONG(m_pad.rglPOV[0]),
                                 LONG(m_pad.rglPOV[1]), m_pad.rgbButtons[15]}),
              std::vector<LONG>({0, -500, 250, -500, 9000, -1, 0x80}));
    ti::setJoystickAxis(0, 0, 0.525f);  // half way between dead zone and saturation
    ASSERT_TRUE(readJoystick(0, &m_pad));
    EXPECT_EQ(m_pad.lX, 250);
    ti::loseInput();
    EXPECT_TRUE(readJoystick(0, &m_pad)) << "a lost pad is acquired again";
    ti::forceResult(ti::KIND_JOYSTICK, ti::CALL_POLL, DIERR_INPUTLOST, 10);
    EXPECT_FALSE(readJoystick(0, &m_pad));
    ti::forceResult(ti::KIND_JOYSTICK, ti::CALL_GETDEVICESTATE, DIERR_INPUTLOST);
    ti::forceResult(ti::KIND_JOYSTICK, ti::CALL_ACQUIRE, DIERR_OTHERAPPHASPRIO);
    EXPECT_FALSE(readJoystick(0, &m_pad));
    setJoysticksDisabled(true);
    EXPECT_FALSE(readJoystick(0, &m_pad));
    EXPECT_FALSE(acquireJoystick(-1));
}

TEST(KeyNames, TheGameTakesExactNamesAndTheScriptAlsoShortNamesAndNumbers)
{
    const struct { const char* name; int game, script; } cases[] = {
        {"DIK_ADD", 0x4E, 0x4E}, {"DIK_APPS", 0xDD, 0xDD}, {"DIK_0", 0x0B, 0x0B}, {"SPACE", -1, 0x39},
        {"0x39", -1, 0x39}, {"1", -1, DIK_1}, {"dik_add", -1, -1}, {"DIK_ADD ", -1, -1}, {"DIK_", -1, -1},
        {"0x100", -1, -1}, {"", -1, -1}};
    for (const auto& c : cases) {
        DWORD code = 0;
        EXPECT_EQ(keyNameToScanCode(c.name, &code) ? int(code) : -1, c.game) << c.name;
        EXPECT_EQ(di::scanCodeFromName(c.name), c.script) << c.name;
    }
}

TEST_F(InputDevicesTest, KeysMouseAndPadsNamedByTheScript)
{
    testsupport::TempDir dir;
    dir.write("play.txt", "# a short run\n5 pad 1 axis x 0.5\n7 dik SPACE down\n9 pad 9 axis x 0.5\n20 close\n");
    EXPECT_EQ(di::highestScriptPad(dir.file("play.txt").c_str()), 1);
    EXPECT_EQ(di::highestScriptPad(dir.file("missing.txt").c_str()), -1);
    dir.write("marked.txt", "\xEF\xBB\xBF#5 pad 3 axis x 0.5\n5 pad 1 axis x 0.5\n");
    EXPECT_EQ(di::highestScriptPad(dir.file("marked.txt").c_str()), 1);  // the commented line names no pad
    ti::attachJoystick("Real pad", "Pad");
    ti::useScript(dir.file("play.txt"));
    const bool wanted[MAX_JOYSTICKS] = {true, true, true, false};
    ASSERT_TRUE(initInputDevices(nullptr, wanted));
    ASSERT_EQ(theInputRecordSet.count(), 3);
    EXPECT_STREQ(theInputRecordSet.record(1).instanceName, "Scripted pad 1");
    EXPECT_STREQ(theInputRecordSet.record(2).instanceName, "Real pad");
    di::InputVerbHandler dik = verb("dik"), mouse = verb("mouse"), pad = verb("pad");
    for (di::InputVerbHandler handler : {dik, mouse, pad}) ASSERT_NE(handler, nullptr);
    for (const char* good : {"DIK_A down", "  A   up ", "DIK_B down"}) EXPECT_TRUE(dik(good)) << good;
    EXPECT_EQ(std::make_pair(false, true), std::make_pair(isKeyDown(DIK_A, true), isKeyDown(DIK_B, true)));
    for (const char* good : {"move 3 -4 120", "button 2 down"}) EXPECT_TRUE(mouse(good)) << good;
    ASSERT_TRUE(readMouse());
    EXPECT_EQ(std::make_pair(LONG(3), BYTE(0x80)), std::make_pair(getMouseState().lX, getMouseState().rgbButtons[2]));
    for (const char* good : {"1 axis x 1.0", "1 axis slider1 -1", "0 pov 2 27000", "0 button 31 down"})
        EXPECT_TRUE(pad(good)) << good;
    SJoystickState state;
    ASSERT_TRUE(readJoystick(1, &state));
    EXPECT_EQ(std::make_pair(LONG(500), LONG(-500)), std::make_pair(state.lX, state.rglSlider[1]));
    ASSERT_TRUE(readJoystick(0, &state));
    EXPECT_EQ(std::make_pair(LONG(27000), BYTE(0x80)), std::make_pair(state.rglPOV[2], getLastJoystickState().rgbButtons[31]));
    EXPECT_TRUE(pad("0 pov 2 centre"));
    ASSERT_TRUE(readJoystick(0, &state));
    EXPECT_EQ(-1, LONG(state.rglPOV[2]));
    for (const char* bad : {"A sideways", "NOSUCHKEY down"}) EXPECT_FALSE(dik(bad)) << bad;
    for (const char* bad : {"move 1", "button 8 down", "jump"}) EXPECT_FALSE(mouse(bad)) << bad;
    // Pad 2 is a real pad, not scripted.
    for (const char* bad : {"2 axis x 0.5", "0 axis x 1.5", "0 button 32 down"}) EXPECT_FALSE(pad(bad)) << bad;
}

TEST_F(InputDevicesTest, TheStandInBuffersKeyEventsWhileAcquiredAndTranslatesSdlEventsWhenLive)
{
    IDirectInput7* input = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7, reinterpret_cast<void**>(&input)), S_OK);
    ASSERT_EQ(input->Initialize(nullptr, DIRECTINPUT_VERSION), DI_OK);
    IDirectInputDevice7 *mouse = nullptr, *keyboard = nullptr;
    ASSERT_EQ(input->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7, reinterpret_cast<LPVOID*>(&mouse), nullptr), DI_OK);
    ASSERT_EQ(input->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7, reinterpret_cast<LPVOID*>(&keyboard), nullptr), DI_OK);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
    ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    DIPROPDWORD buffer = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 8};
    ASSERT_EQ(keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph), DI_OK);
    ti::keyDown(DIK_A);  // not acquired: state only, no event
    ASSERT_EQ(std::make_pair(DI_OK, DI_OK), std::make_pair(keyboard->Acquire(), mouse->Acquire()));
    ti::keyUp(DIK_A);
    ti::keyDown(DIK_B);
    DIDEVICEOBJECTDATA events[8];
    DWORD count = 8;
    ASSERT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0), DI_OK);
    ASSERT_EQ(2u, count);
    EXPECT_EQ((std::vector<DWORD>{DIK_A, 0, DIK_B, 0x80}),
              (std::vector<DWORD>{events[0].dwOfs, events[0].dwData & 0x80, events[1].dwOfs, events[1].dwData & 0x80}));
    ti::loseInput();
    EXPECT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0), DIERR_INPUTLOST);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(std::make_pair(DI_OK, DI_OK), std::make_pair(keyboard->Acquire(), mouse->Acquire()));
    ti::useLiveBackend();
    ASSERT_EQ(input->Initialize(nullptr, DIRECTINPUT_VERSION), DI_OK);  // starts the SDL backend
    for (auto [code, down] : {std::pair{SDL_SCANCODE_RCTRL, true}, {SDL_SCANCODE_KP_ENTER, true}, {SDL_SCANCODE_KP_ENTER, false}}) {
        SDL_Event event = {};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.keysym.scancode = code;
        SDL_PushEvent(&event);
    }
    SDL_Event motion{}, press{};
    motion.motion = {SDL_MOUSEMOTION, 0, 0, 0, 0, 0, 0, 7, 0};
    press.button = {SDL_MOUSEBUTTONDOWN, 0, 0, 0, SDL_BUTTON_RIGHT, SDL_PRESSED, 1, 0, 0, 0};
    SDL_PushEvent(&motion), SDL_PushEvent(&press);
    count = 8;
    ASSERT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0), DI_OK);
    ASSERT_EQ(3u, count);
    EXPECT_EQ((std::vector<DWORD>{DIK_RCONTROL, DIK_NUMPADENTER, 0x80}), (std::vector<DWORD>{events[0].dwOfs, events[1].dwOfs, events[1].dwData}));
    DIMOUSESTATE2 state;
    ASSERT_EQ(mouse->GetDeviceState(sizeof(state), &state), DI_OK);
    EXPECT_EQ(std::make_pair(LONG(7), BYTE(0x80)), std::make_pair(state.lX, state.rgbButtons[1]));

    mouse->Release();
    keyboard->Release();
    input->Release();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

}  // namespace
