#include "input/InputDevices.h"
#include "input/InputRecordSet.h"
#include "input/InputState.h"

#include <cstring>

namespace {

const LONG JOYSTICK_RANGE = 500;
const DWORD JOYSTICK_DEAD_ZONE = 1000;   // tenths of a percent of the range: 10%
const DWORD JOYSTICK_SATURATION = 9500;  // 95%

BOOL recordJoystick(LPCDIDEVICEINSTANCEA instance, LPVOID context)
{
    CInputRecordSet* table = static_cast<CInputRecordSet*>(context);
    if (table->count() >= CInputRecordSet::MAX_RECORDS) return DIENUM_STOP;
    // A name that fills its whole field has no room for the terminator.
    if (strnlen(instance->tszInstanceName, MAX_PATH) >= MAX_PATH ||
        strnlen(instance->tszProductName, MAX_PATH) >= MAX_PATH)
        return DIENUM_CONTINUE;
    table->add(instance->guidInstance, instance->tszInstanceName, instance->tszProductName);
    return table->count() >= CInputRecordSet::MAX_RECORDS ? DIENUM_STOP : DIENUM_CONTINUE;
}

struct SCapsContext {
    CInputRecordSet* table;
    int record;
};

BOOL recordObject(LPCDIDEVICEOBJECTINSTANCEA object, LPVOID context)
{
    SCapsContext* caps = static_cast<SCapsContext*>(context);
    caps->table->addObject(caps->record, object->dwOfs);
    return DIENUM_CONTINUE;
}

struct SRangeContext {
    IDirectInputDevice7* device;
    bool failed;
};

BOOL setAxisRange(LPCDIDEVICEOBJECTINSTANCEA object, LPVOID context)
{
    SRangeContext* range = static_cast<SRangeContext*>(context);
    if (!(DIDFT_GETTYPE(object->dwType) & DIDFT_AXIS)) return DIENUM_CONTINUE;  // hats have no range
    DIPROPRANGE property;
    property.diph.dwSize = sizeof(DIPROPRANGE);
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwHow = DIPH_BYID;
    property.diph.dwObj = object->dwType;
    property.lMin = -JOYSTICK_RANGE;
    property.lMax = JOYSTICK_RANGE;
    if (FAILED(range->device->SetProperty(DIPROP_RANGE, &property.diph))) {
        range->failed = true;
        return DIENUM_STOP;
    }
    return DIENUM_CONTINUE;
}

bool setAxisDword(IDirectInputDevice7* device, REFDIPROP which, DWORD offset, DWORD value)
{
    DIPROPDWORD property;
    property.diph.dwSize = sizeof(DIPROPDWORD);
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwHow = DIPH_BYOFFSET;
    property.diph.dwObj = offset;
    property.dwData = value;
    return SUCCEEDED(device->SetProperty(which, &property.diph));
}

bool openJoystick(HWND window, int slot, IDirectInput7* directInput)
{
    SJoystickSlot& s = inputState.slots[slot];
    GUID instance = {};
    if (slot < theInputRecordSet.count()) instance = theInputRecordSet.record(slot).instance;
    IDirectInputDevice7* device = nullptr;
    if (FAILED(directInput->CreateDeviceEx(instance, IID_IDirectInputDevice7, reinterpret_cast<LPVOID*>(&device),
                                           nullptr)) ||
        !device)
        return false;
    SRangeContext range = {device, false};
    bool ok = SUCCEEDED(device->SetDataFormat(&c_dfDIJoystick)) &&
              SUCCEEDED(device->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_FOREGROUND)) &&
              SUCCEEDED(device->EnumObjects(setAxisRange, &range, DIDFT_AXIS | DIDFT_POV)) && !range.failed &&
              setAxisDword(device, DIPROP_DEADZONE, DIJOFS_X, JOYSTICK_DEAD_ZONE) &&
              setAxisDword(device, DIPROP_SATURATION, DIJOFS_X, JOYSTICK_SATURATION) &&
              setAxisDword(device, DIPROP_DEADZONE, DIJOFS_Y, JOYSTICK_DEAD_ZONE) &&
              setAxisDword(device, DIPROP_SATURATION, DIJOFS_Y, JOYSTICK_SATURATION);
    if (!ok) {
        device->Release();
        return false;
    }
    s.device = device;
    s.inUse = true;
    return true;
}

}  // namespace

bool enumerateJoysticks()
{
    IDirectInput7* di = inputState.directInput;
    theInputRecordSet.clear();
    if (!di) return false;
    if (FAILED(di->EnumDevices(DIDEVTYPE_JOYSTICK, recordJoystick, &theInputRecordSet, DIEDFL_ATTACHEDONLY)))
        return false;
    for (int i = 0; i < theInputRecordSet.count(); ++i) {
        IDirectInputDevice7* device = nullptr;
        if (FAILED(di->CreateDeviceEx(theInputRecordSet.record(i).instance, IID_IDirectInputDevice7,
                                      reinterpret_cast<LPVOID*>(&device), nullptr)) ||
            !device)
            continue;
        SCapsContext caps = {&theInputRecordSet, i};
        if (SUCCEEDED(device->SetDataFormat(&c_dfDIJoystick)))
            device->EnumObjects(recordObject, &caps, DIDFT_AXIS | DIDFT_BUTTON | DIDFT_POV);
        device->Release();
    }
    return true;
}

bool openJoysticks(HWND window, const bool* wantedPads, IDirectInput7* directInput)
{
    if (!directInput || !wantedPads) return false;
    for (int slot = 0; slot < MAX_JOYSTICKS; ++slot) {
        if (!wantedPads[slot] || inputState.slots[slot].inUse) continue;
        if (!openJoystick(window, slot, directInput)) return false;
    }
    for (const SJoystickSlot& slot : inputState.slots)
        if (slot.inUse) return true;
    return false;
}

bool acquireJoystick(int slot)
{
    SInputState& s = inputState;
    if (s.joysticksDisabled) return false;
    if (slot == -1) {
        bool all = true;
        for (SJoystickSlot& each : s.slots)
            if (each.inUse) all &= SUCCEEDED(each.device->Acquire());
        return all;
    }
    if (slot < 0 || slot >= MAX_JOYSTICKS || !s.slots[slot].inUse) return false;
    return SUCCEEDED(s.slots[slot].device->Acquire());
}

bool readJoystick(int slot, SJoystickState* state)
{
    SInputState& s = inputState;
    if (s.joysticksDisabled || slot < 0 || slot >= MAX_JOYSTICKS || !s.slots[slot].inUse || !state) return false;
    IDirectInputDevice7* device = s.slots[slot].device;
    HRESULT hr = E_FAIL;
    for (int tries = 0; tries < MAX_INPUT_RETRIES; ++tries) {
        HRESULT poll = device->Poll();
        if (poll != DI_OK && poll != DI_NOEFFECT) {
            device->Acquire();
            continue;
        }
        hr = device->GetDeviceState(sizeof(DIJOYSTATE), &s.lastJoystick);
        if (hr != DIERR_INPUTLOST) break;
        if (FAILED(device->Acquire())) return false;
    }
    if (FAILED(hr)) return false;
    const DIJOYSTATE& j = s.lastJoystick;
    state->lX = j.lX;
    state->lY = j.lY;
    state->lZ = j.lZ;
    state->lRx = j.lRx;
    state->lRy = j.lRy;
    state->lRz = j.lRz;
    state->rglSlider[0] = j.rglSlider[0];
    state->rglSlider[1] = j.rglSlider[1];
    for (int k = 0; k < 4; ++k) state->rglPOV[k] = static_cast<LONG>(j.rgdwPOV[k]);
    std::memcpy(state->rgbButtons, j.rgbButtons, sizeof(state->rgbButtons));
    return true;
}

bool areJoysticksPresent() { return inputState.joysticksPresent; }

const DIJOYSTATE& getLastJoystickState() { return inputState.lastJoystick; }

void setJoysticksDisabled(bool disabled) { inputState.joysticksDisabled = disabled; }

void setJoystickRumble(int slot, float left, float right)
{
    if (slot < 0 || slot >= MAX_JOYSTICKS || !inputState.slots[slot].inUse) return;
    DirectInputSetRumble(inputState.slots[slot].device, left, right);
}

void shutdownJoysticks()
{
    for (SJoystickSlot& slot : inputState.slots) {
        if (slot.device) {
            slot.device->Unacquire();
            slot.device->Release();
        }
        slot.device = nullptr;
        slot.inUse = false;
    }
}
