#include "platform/dinput.h"
#include "platform/testing/input.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace ti = platform::testing::input;

namespace {

IDirectInput7* createInterface()
{
    IDirectInput7* di = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7,
                               reinterpret_cast<void**>(&di)),
              S_OK);
    if (!di) return nullptr;
    EXPECT_EQ(di->Initialize(nullptr, DIRECTINPUT_VERSION), DI_OK);
    return di;
}

IDirectInputDevice7* createKeyboard(IDirectInput7* di, DWORD bufferSize)
{
    IDirectInputDevice7* keyboard = nullptr;
    EXPECT_EQ(di->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7, reinterpret_cast<LPVOID*>(&keyboard),
                                 nullptr),
              DI_OK);
    EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    DIPROPDWORD buffer = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, bufferSize};
    EXPECT_EQ(keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph), DI_OK);
    return keyboard;
}

TEST(DirectInput, CreationThroughCom)
{
    ti::reset();
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(IID_IDirectInput7, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7, &object),
              REGDB_E_CLASSNOTREG);
    IDirectInput7* di = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7,
                               reinterpret_cast<void**>(&di)),
              S_OK);
    IDirectInputDevice7* device = nullptr;
    EXPECT_EQ(di->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7, reinterpret_cast<LPVOID*>(&device), nullptr),
              DIERR_NOTINITIALIZED);
    EXPECT_EQ(di->Initialize(nullptr, 0x0800), DIERR_INVALIDPARAM) << "version 7 layouts only";
    ASSERT_EQ(di->Initialize(nullptr, DIRECTINPUT_VERSION), DI_OK);
    ASSERT_EQ(di->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7, reinterpret_cast<LPVOID*>(&device), nullptr),
              DI_OK);
    EXPECT_EQ(device->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM) << "a mouse is no keyboard";
    DIMOUSESTATE2 mouse;
    EXPECT_EQ(device->GetDeviceState(sizeof(mouse), &mouse), DIERR_INVALIDPARAM) << "no data format yet";
    ASSERT_EQ(device->SetDataFormat(&c_dfDIMouse2), DI_OK);
    EXPECT_EQ(device->GetDeviceState(sizeof(mouse), &mouse), DIERR_NOTACQUIRED);
    ASSERT_EQ(device->Acquire(), DI_OK);
    EXPECT_EQ(device->Acquire(), DI_NOEFFECT);
    EXPECT_EQ(ti::liveDevices(), 1);
    device->Release();
    EXPECT_EQ(ti::liveDevices(), 0);
    di->Release();
}

TEST(DirectInput, BufferedKeyEventsWhileAcquired)
{
    ti::reset();
    IDirectInput7* di = createInterface();
    ASSERT_NE(di, nullptr);
    IDirectInputDevice7* keyboard = createKeyboard(di, 3);
    ti::keyDown(DIK_A);  // not acquired: state only, no event
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    BYTE keys[256];
    ASSERT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
    EXPECT_EQ(keys[DIK_A], 0x80);
    ti::keyUp(DIK_A);
    ti::keyDown(DIK_B);
    ti::keyUp(DIK_B);
    ti::keyDown(DIK_C);  // overflows the three-event buffer
    DIDEVICEOBJECTDATA events[8];
    DWORD count = 2;
    EXPECT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0), DI_BUFFEROVERFLOW);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(events[0].dwOfs, DWORD(DIK_A));
    EXPECT_EQ(events[0].dwData & 0x80, 0u);
    EXPECT_EQ(events[1].dwOfs, DWORD(DIK_B));
    EXPECT_EQ(events[1].dwData & 0x80, 0x80u);
    EXPECT_LT(events[0].dwSequence, events[1].dwSequence);
    count = 8;
    EXPECT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0), DI_OK);
    EXPECT_EQ(count, 1u);
    ti::loseInput();
    count = 8;
    EXPECT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0), DIERR_INPUTLOST);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_INPUTLOST);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
    keyboard->Release();
    di->Release();
}

TEST(DirectInput, LiveBackendTranslatesSdlEvents)
{
    ti::useLiveBackend();
    IDirectInput7* di = createInterface();
    ASSERT_NE(di, nullptr);
    IDirectInputDevice7* keyboard = createKeyboard(di, 10);
    IDirectInputDevice7* mouse = nullptr;
    ASSERT_EQ(di->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7, reinterpret_cast<LPVOID*>(&mouse), nullptr),
              DI_OK);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);

    auto key = [](SDL_Scancode code, bool down) {
        SDL_Event event = {};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.keysym.scancode = code;
        SDL_PushEvent(&event);
    };
    key(SDL_SCANCODE_RCTRL, true);
    key(SDL_SCANCODE_KP_ENTER, true);
    key(SDL_SCANCODE_KP_ENTER, false);
    SDL_Event event = {};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = 7;
    event.motion.yrel = -2;
    SDL_PushEvent(&event);
    event = {};
    event.type = SDL_MOUSEBUTTONDOWN;
    event.button.button = SDL_BUTTON_RIGHT;
    SDL_PushEvent(&event);

    BYTE keys[256];
    ASSERT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
    EXPECT_EQ(keys[DIK_RCONTROL], 0x80);
    EXPECT_EQ(keys[DIK_NUMPADENTER], 0);
    DIDEVICEOBJECTDATA events[10];
    DWORD count = 10;
    ASSERT_EQ(keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0), DI_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(events[1].dwOfs, DWORD(DIK_NUMPADENTER));
    EXPECT_EQ(events[1].dwData, 0x80u);
    DIMOUSESTATE2 state;
    ASSERT_EQ(mouse->GetDeviceState(sizeof(state), &state), DI_OK);
    EXPECT_EQ(state.lX, 7);
    EXPECT_EQ(state.lY, -2);
    EXPECT_EQ(state.rgbButtons[1], 0x80);

    key(SDL_SCANCODE_RCTRL, false);
    mouse->Release();
    keyboard->Release();
    di->Release();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    ti::reset();
}

}  // namespace
