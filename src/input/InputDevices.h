// The input devices: the system keyboard, the system mouse and up to four joysticks through
// DirectInput 7. initInputDevices creates them at start-up and shutdownInputDevices releases them;
// in between the game reads their latest states from here. Everything runs on the main thread.
#pragma once

#include "platform/dinput.h"

const int MAX_JOYSTICKS = 4;
const DWORD KEYBOARD_BUFFER_SIZE = 10;  // buffered keyboard events kept between frames
const int MAX_INPUT_RETRIES = 10;       // re-acquire attempts after lost input

// A joystick as handed to callers: the 12 values of DIJOYSTATE (X, Y, Z, X/Y/Z rotations, two
// sliders, four POV hats with -1 centred) followed by the first 16 button bytes (bit 7 = down).
struct SJoystickState {
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    LONG rglPOV[4];
    BYTE rgbButtons[16];
};
static_assert(sizeof(SJoystickState) == 64);

// Start-up and exit. wantedPads says which joystick slots to open (null: none). Fails when the
// keyboard or the mouse cannot be created; joysticks may be absent.
bool initInputDevices(HWND window, const bool* wantedPads);
void shutdownInputDevices();

// The shell's activate (type 0) and deactivate (type 1) callbacks re-acquire and unacquire the
// keyboard. initInputDevices registers them through these hooks and shutdownInputDevices removes
// them; the game points the hooks at CWinCore::RegisterFunc / UnregisterFunc.
struct SInputShellHooks {
    int (*registerFunc)(DWORD type, void (*func)());  // returns the slot index, -1 when refused
    void (*unregisterFunc)(DWORD type, int index);
};
void setInputShellHooks(const SInputShellHooks* hooks);  // null: no shell (nothing registered)
void inputActivate();
void inputDeactivate();

// Keyboard. The key test reads the state first when refresh is set; it is true while the key is
// down, and otherwise merges the presses buffered since the last look, so that a key tapped
// between two frames shows as down to the next test without refresh.
bool readKeyboard(BYTE* buffer);  // 256 bytes; true when read or when there is no keyboard
bool isKeyDown(unsigned int scanCode, bool refresh);
bool acquireKeyboard();
void unacquireKeyboard();
const BYTE* getKeyboardState();  // 256 bytes, bit 7 = down
void setKeyboardDisabled(bool disabled);

// Mouse: x, y and wheel movement since the last read, and the buttons.
bool readMouse();
bool acquireMouse();
void unacquireMouse();
const DIMOUSESTATE2& getMouseState();
float getMouseScale();
void setMouseDisabled(bool disabled);

// Joysticks. enumerateJoysticks fills the table of attached joysticks (CInputRecordSet); the
// wanted slots are opened on the given interface. acquireJoystick takes a slot or -1 for all.
bool enumerateJoysticks();
bool openJoysticks(HWND window, const bool* wantedPads, IDirectInput7* directInput);
bool acquireJoystick(int slot);
bool readJoystick(int slot, SJoystickState* state);
bool areJoysticksPresent();
const DIJOYSTATE& getLastJoystickState();
void setJoysticksDisabled(bool disabled);
// Drives the pad's motors (levels 0..1); nothing happens for a slot not in use.
void setJoystickRumble(int slot, float left, float right);

// Translates a DirectInput key name ("DIK_ESCAPE" ...) to its scan code; exact and case-sensitive.
bool keyNameToScanCode(const char* name, DWORD* code);
