// The input devices' global state, shared by the keyboard, mouse and joystick sources only.
#pragma once

#include "input/InputDevices.h"

struct SJoystickSlot {
    bool inUse;
    IDirectInputDevice7* device;
};

struct SInputState {
    IDirectInput7* directInput;
    bool createdInterface;  // released at shutdown only when this module made it

    IDirectInputDevice7* keyboard;
    bool keyboardDisabled;
    BYTE keys[256];
    DIDEVICEOBJECTDATA* keyEvents;
    DWORD keyEventCapacity;

    IDirectInputDevice7* mouse;
    bool mouseDisabled;
    DIMOUSESTATE2 mouseState;
    float mouseScale;

    bool joysticksDisabled;
    bool joysticksPresent;
    SJoystickSlot slots[MAX_JOYSTICKS];
    DIJOYSTATE lastJoystick;
};

extern SInputState inputState;

// True for the results after which the device is worth acquiring again.
inline bool isInputLost(HRESULT hr) { return hr == DIERR_INPUTLOST || hr == DIERR_OTHERAPPHASPRIO; }

void shutdownJoysticks();
