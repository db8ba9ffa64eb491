// Test hooks of the DirectInput stand-in: scripted keys, mouse and pads, forced results and a
// view of the devices the engine created. Never used by the engine.
#pragma once

#include "platform/dinput.h"

#include <string>

namespace platform::testing::input {

enum DeviceKind { KIND_INTERFACE, KIND_KEYBOARD, KIND_MOUSE, KIND_JOYSTICK };
enum Call {
    CALL_INITIALIZE,
    CALL_CREATEDEVICE,
    CALL_ENUMDEVICES,
    CALL_SETDATAFORMAT,
    CALL_SETCOOPERATIVELEVEL,
    CALL_SETPROPERTY,
    CALL_ENUMOBJECTS,
    CALL_ACQUIRE,
    CALL_GETDEVICESTATE,
    CALL_GETDEVICEDATA,
    CALL_POLL,
    CALL_COUNT
};

// Switches to the scripted backend and forgets everything: no keys down, no mouse movement, no
// joysticks, no forced results, no devices. A keyboard and a mouse are always attached.
void reset();
// Back to the live backend (SDL2), as in the real program.
void useLiveBackend();

void keyDown(int scanCode);  // also queues a buffered press event
void keyUp(int scanCode);    // also queues a buffered release event
void mouseMove(LONG dx, LONG dy, LONG wheel = 0);
void mouseButton(int button, bool down);

// The script file scanned for pads at the next enumeration, instead of PLATFORM_SCRIPT's.
void useScript(const std::string& path);

// What a scripted joystick offers; axes in DIJOYSTATE order X, Y, Z, Rx, Ry, Rz, slider 0, 1.
struct PadObjects {
    bool axes[8] = {true, true, false, true, true, false, false, false};
    int povs = 1;
    int buttons = 16;
};
// Attaches a joystick (enumerated in attach order) and returns its index. A name of 260
// characters or more fills the whole record field without a terminator, as a driver could.
int attachJoystick(const std::string& instanceName, const std::string& productName,
                   const PadObjects& objects = PadObjects());
// Raw stick positions -1..1 (the device applies range, dead zone and saturation).
void setJoystickAxis(int pad, int axis, float value);
void setJoystickPov(int pad, int pov, DWORD hundredths);  // 0xFFFFFFFF centred
void setJoystickButton(int pad, int button, bool down);
// The rumble levels last sent to the pad's motors.
void joystickRumble(int pad, float* left, float* right);

// The next `times` calls of that kind (all joysticks for KIND_JOYSTICK) return the result.
void forceResult(DeviceKind kind, Call call, HRESULT result, int times = 1);
// Focus moved away: every acquired device loses its input (next read DIERR_INPUTLOST).
void loseInput();
// Without the focus, devices also lose their input and foreground ones cannot be acquired
// (DIERR_OTHERAPPHASPRIO) until it comes back.
void setForeground(bool foreground);
// How often a call was made on devices of the kind since reset.
int callCount(DeviceKind kind, Call call);

struct DeviceView {
    bool exists = false;
    bool acquired = false;
    DWORD cooperativeFlags = 0;
    DWORD dataSize = 0;
    DWORD bufferSize = 0;
    LONG rangeMin[8] = {}, rangeMax[8] = {};
    DWORD deadZone[8] = {}, saturation[8] = {};
};
// The newest live device of the kind (for joysticks, of that pad).
DeviceView device(DeviceKind kind, int pad = 0);
// Devices created and not yet released.
int liveDevices();

}  // namespace platform::testing::input
