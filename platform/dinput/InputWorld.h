// The state behind the DirectInput stand-in: what the keys, the mouse and the pads are doing, fed
// by the live backend (SDL2), by the scripted backend (tests) and by PLATFORM_SCRIPT verbs.
// Devices read it; every access holds the world's lock.
#pragma once

#include "platform/dinput.h"
#include "platform/inputscript.h"
#include "platform/testing/input.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace platform::dinput {

using platform::testing::input::Call;
using platform::testing::input::DeviceKind;

class Device;

struct Pad {
    GUID instance{};
    GUID product{};
    char instanceName[MAX_PATH] = {};  // may fill the field without a terminator
    char productName[MAX_PATH] = {};
    bool axes[8] = {};
    int povs = 0;
    int buttons = 0;
    float axisValue[8] = {};  // -1..1
    DWORD pov[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    BYTE button[32] = {};
    float rumbleLeft = 0.0f, rumbleRight = 0.0f;
    bool scripted = false;  // made for PLATFORM_SCRIPT
    int liveId = -1;        // SDL joystick instance id
    void* liveHandle = nullptr;
    bool liveController = false;
};

struct Forced {
    DeviceKind kind;
    Call call;
    HRESULT result;
    int times;
};

struct World {
    std::recursive_mutex lock;
    bool live = true;
    bool foreground = true;  // foreground devices cannot be acquired while the program is not
    bool liveStarted = false;
    BYTE keys[256] = {};
    BYTE mouseButtons[8] = {};
    std::vector<Pad> pads;
    std::vector<Device*> devices;
    std::vector<Forced> forced;
    int calls[4][platform::testing::input::CALL_COUNT] = {};
    DWORD sequence = 0;
    bool scriptPadsMade = false;
    std::string scriptPath;  // tests: the script scanned for pads instead of PLATFORM_SCRIPT
};

World& world();

// Counts the call and answers a forced result when one is pending (true: use *result).
bool takeForced(DeviceKind kind, Call call, HRESULT* result);

// Input arriving from a backend; each reaches every acquired device that buffers or sums it.
void feedKey(int scanCode, bool down);
void feedMouseMove(LONG dx, LONG dy, LONG wheel);
void feedMouseButton(int button, bool down);
// The program gained or lost the focus; losing it takes the input of every acquired device.
void feedForeground(bool foreground);

// On the live backend, takes in what SDL2 has delivered.
void refresh();
// Attaches the pads a script names and, on the live backend, the real ones.
void refreshPads();

// The live backend (SDL2).
void liveStart();
void livePump();
void liveEnumerate();
void liveRumble(Pad& pad);
void liveMouseCapture(bool capture);

}  // namespace platform::dinput
