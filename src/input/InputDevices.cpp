#include "input/InputDevices.h"

#include "input/InputState.h"
#include "utility/Assert.h"

#include <cstring>

SInputState inputState = {};

namespace {

SInputShellHooks shellHooks = {nullptr, nullptr};
bool hooksSet = false;
int activateIndex = -1;
int deactivateIndex = -1;

const DWORD WINCORE_ACTIVATE = 0;
const DWORD WINCORE_DEACTIVATE = 1;

bool createInterface(HWND window)
{
    IDirectInput7* di = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7,
                                reinterpret_cast<void**>(&di))) ||
        !di)
        return false;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongA(window, GWL_HINSTANCE));
    if (FAILED(di->Initialize(instance, DIRECTINPUT_VERSION))) {
        di->Release();
        return false;
    }
    inputState.directInput = di;
    inputState.createdInterface = true;
    return true;
}

bool createKeyboard(HWND window, DWORD bufferSize)
{
    SInputState& s = inputState;
    if (!s.directInput && !createInterface(window)) return false;
    if (FAILED(s.directInput->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7,
                                             reinterpret_cast<LPVOID*>(&s.keyboard), nullptr)))
        return false;
    if (FAILED(s.keyboard->SetDataFormat(&c_dfDIKeyboard))) return false;
    s.keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY);
    if (!VERIFY(bufferSize > 0)) return false;
    s.keyEvents = new DIDEVICEOBJECTDATA[bufferSize];
    s.keyEventCapacity = bufferSize;
    DIPROPDWORD property;
    property.diph.dwSize = sizeof(DIPROPDWORD);
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwObj = 0;
    property.diph.dwHow = DIPH_DEVICE;
    property.dwData = bufferSize;
    return SUCCEEDED(s.keyboard->SetProperty(DIPROP_BUFFERSIZE, &property.diph));
}

bool createMouse(HWND window)
{
    SInputState& s = inputState;
    if (!s.directInput) return false;
    if (FAILED(s.directInput->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7,
                                             reinterpret_cast<LPVOID*>(&s.mouse), nullptr)))
        return false;
    if (FAILED(s.mouse->SetDataFormat(&c_dfDIMouse2))) return false;
    s.mouse->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    s.mouseScale = 1.0f;
    return true;
}

void releaseDevice(IDirectInputDevice7*& device)
{
    if (!device) return;
    device->Unacquire();
    device->Release();
    device = nullptr;
}

// Acquires while the last result says the input was lost, at most `retries` times.
HRESULT reacquireWhileLost(IDirectInputDevice7* device, HRESULT hr, int retries)
{
    for (int tries = 0; isInputLost(hr) && tries < retries; ++tries) hr = device->Acquire();
    return hr;
}

bool readKeyboardInto(BYTE* buffer, bool clearOnFailure)
{
    SInputState& s = inputState;
    if (s.keyboardDisabled) return false;
    if (!s.keyboard) return true;
    HRESULT hr = s.keyboard->GetDeviceState(256, buffer);
    if (SUCCEEDED(hr)) return true;
    if (clearOnFailure) std::memset(buffer, 0, 256);
    reacquireWhileLost(s.keyboard, hr, MAX_INPUT_RETRIES);
    return false;
}

void mergeKeyEvents()
{
    SInputState& s = inputState;
    if (!s.keyboard || !s.keyEvents) return;
    DWORD count = s.keyEventCapacity;
    HRESULT hr = s.keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), s.keyEvents, &count, 0);
    if (FAILED(hr)) {
        // Unlike a failed state read, a failed event read tries the acquire ten times in all.
        reacquireWhileLost(s.keyboard, s.keyboard->Acquire(), MAX_INPUT_RETRIES - 1);
        return;
    }
    if (count > s.keyEventCapacity) count = s.keyEventCapacity;
    for (DWORD i = 0; i < count; ++i) {
        const DIDEVICEOBJECTDATA& event = s.keyEvents[i];
        if (event.dwOfs > 255 || !(event.dwData & 0x80)) continue;
        if (!(s.keys[event.dwOfs] & 0x80)) s.keys[event.dwOfs] = static_cast<BYTE>(event.dwData);
    }
}

}  // namespace

bool initInputDevices(HWND window, const bool* wantedPads)
{
    SInputState& s = inputState;
    if (!createKeyboard(window, KEYBOARD_BUFFER_SIZE)) {
        shutdownInputDevices();
        return false;
    }
    acquireKeyboard();
    if (!createMouse(window)) {
        shutdownInputDevices();
        return false;
    }
    acquireMouse();

    enumerateJoysticks();
    bool none[MAX_JOYSTICKS] = {};
    openJoysticks(window, wantedPads ? wantedPads : none, s.directInput);
    s.joysticksPresent = false;
    for (const SJoystickSlot& slot : s.slots) s.joysticksPresent |= slot.inUse;
    if (s.joysticksPresent) acquireJoystick(-1);

    if (hooksSet && shellHooks.registerFunc) {
        activateIndex = shellHooks.registerFunc(WINCORE_ACTIVATE, &inputActivate);
        deactivateIndex = shellHooks.registerFunc(WINCORE_DEACTIVATE, &inputDeactivate);
    }
    return true;
}

void shutdownInputDevices()
{
    SInputState& s = inputState;
    if (s.joysticksPresent) shutdownJoysticks();
    s.joysticksPresent = false;
    releaseDevice(s.mouse);
    releaseDevice(s.keyboard);
    delete[] s.keyEvents;
    s.keyEvents = nullptr;
    s.keyEventCapacity = 0;
    if (s.directInput && s.createdInterface) s.directInput->Release();
    s.directInput = nullptr;
    s.createdInterface = false;
    if (hooksSet && shellHooks.unregisterFunc) {
        if (activateIndex >= 0) shellHooks.unregisterFunc(WINCORE_ACTIVATE, activateIndex);
        if (deactivateIndex >= 0) shellHooks.unregisterFunc(WINCORE_DEACTIVATE, deactivateIndex);
    }
    activateIndex = deactivateIndex = -1;
}

void setInputShellHooks(const SInputShellHooks* hooks)
{
    hooksSet = hooks != nullptr;
    shellHooks = hooks ? *hooks : SInputShellHooks{nullptr, nullptr};
}

void inputActivate() { acquireKeyboard(); }

void inputDeactivate() { unacquireKeyboard(); }

bool readKeyboard(BYTE* buffer) { return readKeyboardInto(buffer, false); }

bool isKeyDown(unsigned int scanCode, bool refresh)
{
    SInputState& s = inputState;
    if (s.keyboardDisabled) return false;
    if (refresh && !readKeyboardInto(s.keys, true)) return false;
    if (scanCode > 255) return false;
    if (s.keys[scanCode] & 0x80) return true;
    mergeKeyEvents();
    return false;
}

bool acquireKeyboard()
{
    SInputState& s = inputState;
    if (s.keyboardDisabled || !s.keyboard) return false;
    return SUCCEEDED(s.keyboard->Acquire());
}

void unacquireKeyboard()
{
    if (inputState.keyboard) inputState.keyboard->Unacquire();
}

const BYTE* getKeyboardState() { return inputState.keys; }

void setKeyboardDisabled(bool disabled) { inputState.keyboardDisabled = disabled; }

bool readMouse()
{
    SInputState& s = inputState;
    if (s.mouseDisabled) return false;
    if (!s.mouse) return true;
    for (int retries = 0;; ++retries) {
        if (SUCCEEDED(s.mouse->GetDeviceState(sizeof(DIMOUSESTATE2), &s.mouseState))) return true;
        std::memset(&s.mouseState, 0, sizeof(s.mouseState));
        // A fresh acquire has nothing to report this frame.
        if (SUCCEEDED(s.mouse->Acquire())) return true;
        if (retries >= MAX_INPUT_RETRIES) return false;
    }
}

bool acquireMouse()
{
    SInputState& s = inputState;
    if (s.mouseDisabled || !s.mouse) return false;
    return SUCCEEDED(s.mouse->Acquire());
}

void unacquireMouse()
{
    if (inputState.mouse) inputState.mouse->Unacquire();
}

const DIMOUSESTATE2& getMouseState() { return inputState.mouseState; }

float getMouseScale() { return inputState.mouseScale; }

void setMouseDisabled(bool disabled) { inputState.mouseDisabled = disabled; }
