// The shared input state, the PLATFORM_SCRIPT feed and the test hooks.
#include "Devices.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform::dinput {

namespace {

GUID padGuid(uint32_t tag, int serial)
{
    GUID g = {0x7a3e1f10u + tag, 0x5d2c, 0x4b1e, {0x9a, 0x41, 0x00, 0x70, 0x61, 0x64, 0, 0}};
    g.Data4[6] = static_cast<uint8_t>(serial >> 8);
    g.Data4[7] = static_cast<uint8_t>(serial);
    return g;
}

void copyName(char* field, const std::string& name)
{
    // A name that does not fit fills the field with no terminator, as a driver's would.
    std::memset(field, 0, MAX_PATH);
    std::memcpy(field, name.data(), std::min<size_t>(name.size(), MAX_PATH));
}

int padSerial = 0;

Pad makeScriptedPad(int index)
{
    Pad p;
    p.instance = padGuid(0, ++padSerial);
    p.product = padGuid(1, 0);
    std::string name = "Scripted pad " + std::to_string(index);
    copyName(p.instanceName, name);
    copyName(p.productName, "Scripted pad");
    for (bool& axis : p.axes) axis = true;
    p.povs = 4;
    p.buttons = 32;
    p.scripted = true;
    return p;
}

}  // namespace

World& world()
{
    static World* instance = new World();  // outlives devices released by exit handlers
    return *instance;
}

bool takeForced(DeviceKind kind, Call call, HRESULT* result)
{
    World& w = world();
    ++w.calls[kind][call];
    for (auto it = w.forced.begin(); it != w.forced.end(); ++it) {
        if (it->kind != kind || it->call != call) continue;
        *result = it->result;
        if (--it->times <= 0) w.forced.erase(it);
        return true;
    }
    return false;
}

void feedKey(int scanCode, bool down)
{
    if (scanCode < 0 || scanCode > 255) return;
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    w.keys[scanCode] = down ? 0x80 : 0x00;
    for (Device* d : w.devices) d->feedKey(scanCode, down);
}

void feedMouseMove(LONG dx, LONG dy, LONG wheel)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    for (Device* d : w.devices) d->feedMouse(dx, dy, wheel);
}

void feedMouseButton(int button, bool down)
{
    if (button < 0 || button > 7) return;
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    w.mouseButtons[button] = down ? 0x80 : 0x00;
}

void feedForeground(bool foreground)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    w.foreground = foreground;
    if (!foreground)
        for (Device* d : w.devices) d->loseInput();
}

void refreshPads()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    if (!w.scriptPadsMade) {
        w.scriptPadsMade = true;
        const char* path = w.scriptPath.empty() ? std::getenv("PLATFORM_SCRIPT") : w.scriptPath.c_str();
        int highest = highestScriptPad(path);
        for (int i = highest; i >= 0; --i) w.pads.insert(w.pads.begin(), makeScriptedPad(i));
    }
    if (w.live) liveEnumerate();
}

void refresh()
{
    World& w = world();
    if (w.live) livePump();  // without the lock: SDL's event watch takes it
}

}  // namespace platform::dinput

namespace platform::testing::input {

using namespace platform::dinput;

void reset()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    w.live = false;
    w.foreground = true;
    std::memset(w.keys, 0, sizeof(w.keys));
    std::memset(w.mouseButtons, 0, sizeof(w.mouseButtons));
    w.pads.clear();
    w.forced.clear();
    std::memset(w.calls, 0, sizeof(w.calls));
    w.scriptPadsMade = false;
    w.scriptPath.clear();
}

void useLiveBackend()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    w.live = true;
    w.scriptPadsMade = false;
}

void useScript(const std::string& path)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    w.scriptPath = path;
    w.scriptPadsMade = false;
}

void keyDown(int scanCode) { feedKey(scanCode, true); }
void keyUp(int scanCode) { feedKey(scanCode, false); }
void mouseMove(LONG dx, LONG dy, LONG wheel) { feedMouseMove(dx, dy, wheel); }
void mouseButton(int button, bool down) { feedMouseButton(button, down); }

int attachJoystick(const std::string& instanceName, const std::string& productName, const PadObjects& objects)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    Pad p;
    p.instance = padGuid(2, ++padSerial);
    p.product = padGuid(3, 0);
    copyName(p.instanceName, instanceName);
    copyName(p.productName, productName);
    for (int a = 0; a < 8; ++a) p.axes[a] = objects.axes[a];
    p.povs = std::clamp(objects.povs, 0, 4);
    p.buttons = std::clamp(objects.buttons, 0, 32);
    w.pads.push_back(p);
    return static_cast<int>(w.pads.size()) - 1;
}

static Pad* testPad(int pad)
{
    World& w = world();
    if (pad < 0 || static_cast<size_t>(pad) >= w.pads.size()) return nullptr;
    return &w.pads[pad];
}

void setJoystickAxis(int pad, int axis, float value)
{
    std::lock_guard<std::recursive_mutex> lock(world().lock);
    if (Pad* p = testPad(pad); p && axis >= 0 && axis < 8) p->axisValue[axis] = std::clamp(value, -1.0f, 1.0f);
}

void setJoystickPov(int pad, int pov, DWORD hundredths)
{
    std::lock_guard<std::recursive_mutex> lock(world().lock);
    if (Pad* p = testPad(pad); p && pov >= 0 && pov < 4) p->pov[pov] = hundredths;
}

void setJoystickButton(int pad, int button, bool down)
{
    std::lock_guard<std::recursive_mutex> lock(world().lock);
    if (Pad* p = testPad(pad); p && button >= 0 && button < 32) p->button[button] = down ? 0x80 : 0;
}

void joystickRumble(int pad, float* left, float* right)
{
    std::lock_guard<std::recursive_mutex> lock(world().lock);
    Pad* p = testPad(pad);
    *left = p ? p->rumbleLeft : 0.0f;
    *right = p ? p->rumbleRight : 0.0f;
}

void forceResult(DeviceKind kind, Call call, HRESULT result, int times)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    if (times > 0) w.forced.push_back({kind, call, result, times});
}

void setForeground(bool foreground) { feedForeground(foreground); }

void loseInput()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    for (Device* d : w.devices) d->loseInput();
}

int callCount(DeviceKind kind, Call call)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    return w.calls[kind][call];
}

DeviceView device(DeviceKind kind, int pad)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    for (auto it = w.devices.rbegin(); it != w.devices.rend(); ++it) {
        Device* d = *it;
        if (d->kind() != kind) continue;
        if (kind == KIND_JOYSTICK) {
            Pad* p = testPad(pad);
            if (!p || !(p->instance == d->instance())) continue;
        }
        return d->view();
    }
    return DeviceView();
}

int liveDevices()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    return static_cast<int>(w.devices.size());
}

}  // namespace platform::testing::input
