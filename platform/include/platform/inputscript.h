// The input devices' verbs of PLATFORM_SCRIPT, the file of timed platform events that plays the
// real program. Lines read "<frame> <verb> <arguments>"; these verbs belong to DirectInput:
//   dik <key> down|up                        key: DIK name ("DIK_SPACE" or "SPACE") or code ("0x39")
//   pad <i> axis <name> <value>              name: x y z rx ry rz slider0 slider1; value -1.0..1.0
//   pad <i> button <b> down|up               b: 0..31
//   pad <i> pov <k> <angle>|centre           k: 0..3; angle in hundredths of a degree, 0..35999
//   mouse move <dx> <dy> [<wheel>]
//   mouse button <b> down|up                 b: 0..7
// The script reader of the window layer runs each verb at its frame through these handlers
// (register each of inputScriptVerbs with it). Pads 0..3 that pad lines name are attached as
// joysticks ahead of any real one: DirectInput scans the file for them when it starts.
#pragma once

namespace platform::dinput {

// Applies the event at once; false (nothing applied) when the arguments are malformed.
typedef bool (*InputVerbHandler)(const char* arguments);

struct InputScriptVerb {
    const char* verb;
    InputVerbHandler handler;
};
extern const InputScriptVerb inputScriptVerbs[3];  // "dik", "pad", "mouse"

// A key name ("DIK_SPACE", "SPACE") or number ("0x39", "57") as a scan code; -1 when unknown.
int scanCodeFromName(const char* name);

// The highest pad index that pad lines of the script file name; -1 for none or no file.
int highestScriptPad(const char* path);

}  // namespace platform::dinput
