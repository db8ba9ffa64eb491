// The DirectInput objects: the interface and its keyboard, mouse and joystick devices.
#include "Devices.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using platform::testing::input::CALL_ACQUIRE;
using platform::testing::input::CALL_CREATEDEVICE;
using platform::testing::input::CALL_ENUMDEVICES;
using platform::testing::input::CALL_ENUMOBJECTS;
using platform::testing::input::CALL_GETDEVICEDATA;
using platform::testing::input::CALL_GETDEVICESTATE;
using platform::testing::input::CALL_INITIALIZE;
using platform::testing::input::CALL_POLL;
using platform::testing::input::CALL_SETCOOPERATIVELEVEL;
using platform::testing::input::CALL_SETDATAFORMAT;
using platform::testing::input::CALL_SETPROPERTY;
using platform::testing::input::KIND_INTERFACE;
using platform::testing::input::KIND_JOYSTICK;
using platform::testing::input::KIND_KEYBOARD;
using platform::testing::input::KIND_MOUSE;

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 0, 0, 256, 0, nullptr};
const DIDATAFORMAT c_dfDIMouse2 = {sizeof(DIDATAFORMAT), 0, 2, sizeof(DIMOUSESTATE2), 0, nullptr};
const DIDATAFORMAT c_dfDIJoystick = {sizeof(DIDATAFORMAT), 0, 1, sizeof(DIJOYSTATE), 0, nullptr};

const GUID CLSID_DirectInput = {0x7a3e1f01, 0x5d2c, 0x4b1e, {0x9a, 0x41, 0x00, 0x6e, 0x70, 0x75, 0x74, 0x01}};
const GUID IID_IDirectInput7 = {0x7a3e1f02, 0x5d2c, 0x4b1e, {0x9a, 0x41, 0x00, 0x6e, 0x70, 0x75, 0x74, 0x07}};
const GUID IID_IDirectInputDevice7 = {0x7a3e1f03, 0x5d2c, 0x4b1e,
                                      {0x9a, 0x41, 0x00, 0x6e, 0x70, 0x75, 0x74, 0x17}};
const GUID GUID_SysKeyboard = {0x7a3e1f04, 0x5d2c, 0x4b1e, {0x9a, 0x41, 0x00, 0x6b, 0x65, 0x79, 0x62, 0x64}};
const GUID GUID_SysMouse = {0x7a3e1f05, 0x5d2c, 0x4b1e, {0x9a, 0x41, 0x00, 0x6d, 0x6f, 0x75, 0x73, 0x65}};

namespace platform::dinput {

namespace {

const DWORD kDefaultRangeMax = 65535;

bool isObjectKind(DWORD type, DWORD wanted)
{
    return wanted == DIDFT_ALL || (DIDFT_GETTYPE(type) & wanted) != 0;
}

}  // namespace

Device::Device(DeviceKind kind, const GUID& instance) : m_kind(kind), m_instance(instance)
{
    for (int a = 0; a < 8; ++a) {
        m_rangeMin[a] = 0;
        m_rangeMax[a] = kDefaultRangeMax;
        m_deadZone[a] = 0;
        m_saturation[a] = 10000;
    }
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    w.devices.push_back(this);
}

Device::~Device()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    if (m_acquired && m_kind == KIND_MOUSE && (m_cooperative & DISCL_EXCLUSIVE)) liveMouseCapture(false);
    w.devices.erase(std::remove(w.devices.begin(), w.devices.end(), this), w.devices.end());
}

HRESULT Device::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    if (riid == IID_IDirectInputDevice7 || riid == IID_IUnknown) {
        *object = static_cast<IDirectInputDevice7*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::Release()
{
    ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

Pad* Device::pad()
{
    World& w = world();
    for (Pad& p : w.pads)
        if (p.instance == m_instance) return &p;
    return nullptr;
}

void Device::objects(std::vector<DIDEVICEOBJECTINSTANCEA>* list)
{
    list->clear();
    Pad* p = pad();
    if (!p) return;
    static const char* const axisNames[8] = {"X Axis", "Y Axis", "Z Axis", "X Rotation",
                                             "Y Rotation", "Z Rotation", "Slider", "Slider"};
    auto add = [&](DWORD offset, DWORD type, const char* name) {
        DIDEVICEOBJECTINSTANCEA object;
        std::memset(&object, 0, sizeof(object));
        object.dwSize = sizeof(object);
        object.dwOfs = offset;
        object.dwType = type;
        std::strncpy(object.tszName, name, MAX_PATH - 1);
        list->push_back(object);
    };
    for (int a = 0; a < 8; ++a)
        if (p->axes[a]) add(a * 4, DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(a), axisNames[a]);
    for (int k = 0; k < p->povs && k < 4; ++k) add(DIJOFS_POV(k), DIDFT_POV | DIDFT_MAKEINSTANCE(k), "Hat");
    for (int b = 0; b < p->buttons && b < 32; ++b)
        add(DIJOFS_BUTTON(b), DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(b), "Button");
}

HRESULT Device::EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID context, DWORD flags)
{
    std::vector<DIDEVICEOBJECTINSTANCEA> list;
    {
        World& w = world();
        std::lock_guard<std::recursive_mutex> lock(w.lock);
        HRESULT forced;
        if (takeForced(m_kind, CALL_ENUMOBJECTS, &forced)) return forced;
        if (!callback) return DIERR_INVALIDPARAM;
        objects(&list);
    }
    // The callback may call back into the device (SetProperty), so the lock is not held.
    for (const DIDEVICEOBJECTINSTANCEA& object : list) {
        if (!isObjectKind(object.dwType, flags)) continue;
        if (callback(&object, context) == DIENUM_STOP) break;
    }
    return DI_OK;
}

HRESULT Device::SetProperty(REFDIPROP property, LPCDIPROPHEADER header)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    HRESULT forced;
    if (takeForced(m_kind, CALL_SETPROPERTY, &forced)) return forced;
    if (!header || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    if (m_acquired) return DIERR_ACQUIRED;

    if (property == DIPROP_BUFFERSIZE) {
        if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE) return DIERR_INVALIDPARAM;
        m_bufferSize = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        while (m_events.size() > m_bufferSize) m_events.pop_front();
        return DI_OK;
    }
    if (property != DIPROP_RANGE && property != DIPROP_DEADZONE && property != DIPROP_SATURATION)
        return DIERR_UNSUPPORTED;
    if (m_kind != KIND_JOYSTICK) return DIERR_UNSUPPORTED;
    DWORD wantedSize = property == DIPROP_RANGE ? sizeof(DIPROPRANGE) : sizeof(DIPROPDWORD);
    if (header->dwSize != wantedSize) return DIERR_INVALIDPARAM;

    // Which axes the header names; a POV or a button takes none of these properties.
    bool chosen[8] = {};
    Pad* p = pad();
    if (!p) return DIERR_INPUTLOST;
    if (header->dwHow == DIPH_DEVICE) {
        if (header->dwObj != 0) return DIERR_INVALIDPARAM;
        for (int a = 0; a < 8; ++a) chosen[a] = p->axes[a];
    } else if (header->dwHow == DIPH_BYOFFSET || header->dwHow == DIPH_BYID) {
        std::vector<DIDEVICEOBJECTINSTANCEA> list;
        objects(&list);
        const DIDEVICEOBJECTINSTANCEA* found = nullptr;
        for (const DIDEVICEOBJECTINSTANCEA& object : list) {
            DWORD key = header->dwHow == DIPH_BYOFFSET ? object.dwOfs : object.dwType;
            if (key == header->dwObj) found = &object;
        }
        if (!found) return DIERR_OBJECTNOTFOUND;
        if (!(DIDFT_GETTYPE(found->dwType) & DIDFT_AXIS)) return DIERR_UNSUPPORTED;
        chosen[DIDFT_GETINSTANCE(found->dwType)] = true;
    } else {
        return DIERR_INVALIDPARAM;
    }

    if (property == DIPROP_RANGE) {
        const DIPROPRANGE* range = reinterpret_cast<const DIPROPRANGE*>(header);
        if (range->lMin >= range->lMax) return DIERR_INVALIDPARAM;
        for (int a = 0; a < 8; ++a)
            if (chosen[a]) m_rangeMin[a] = range->lMin, m_rangeMax[a] = range->lMax;
    } else {
        DWORD value = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        if (value > 10000) return DIERR_INVALIDPARAM;
        for (int a = 0; a < 8; ++a)
            if (chosen[a]) (property == DIPROP_DEADZONE ? m_deadZone : m_saturation)[a] = value;
    }
    return DI_OK;
}

HRESULT Device::Acquire()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    HRESULT forced;
    if (takeForced(m_kind, CALL_ACQUIRE, &forced)) return forced;
    if (m_dataSize == 0) return DIERR_INVALIDPARAM;
    if (m_kind == KIND_JOYSTICK && !pad()) return DIERR_INPUTLOST;
    if (m_acquired) return DI_NOEFFECT;
    if (!w.foreground && (m_cooperative & DISCL_FOREGROUND)) return DIERR_OTHERAPPHASPRIO;
    m_acquired = true;
    m_lost = false;
    m_events.clear();
    m_mouseX = m_mouseY = m_mouseZ = 0;
    if (m_kind == KIND_MOUSE && (m_cooperative & DISCL_EXCLUSIVE)) liveMouseCapture(true);
    return DI_OK;
}

HRESULT Device::Unacquire()
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    if (!m_acquired) return DI_NOEFFECT;
    m_acquired = false;
    if (m_kind == KIND_MOUSE && (m_cooperative & DISCL_EXCLUSIVE)) liveMouseCapture(false);
    return DI_OK;
}

void Device::loseInput()
{
    if (!m_acquired) return;
    m_acquired = false;
    m_lost = true;
}

HRESULT Device::readable()
{
    if (m_lost) return DIERR_INPUTLOST;
    if (!m_acquired) return DIERR_NOTACQUIRED;
    return DI_OK;
}

LONG Device::axisValue(int axis, float raw) const
{
    // Dead zone and saturation are tenths of a percent of the travel from the centre.
    float magnitude = std::fabs(raw) * 10000.0f;
    float dead = static_cast<float>(m_deadZone[axis]);
    float saturation = static_cast<float>(std::max(m_saturation[axis], m_deadZone[axis]));
    float shaped;
    if (magnitude <= dead) shaped = 0.0f;
    else if (magnitude >= saturation) shaped = 1.0f;
    else shaped = (magnitude - dead) / (saturation - dead);
    if (raw < 0.0f) shaped = -shaped;
    double centre = (static_cast<double>(m_rangeMin[axis]) + m_rangeMax[axis]) / 2.0;
    double half = (static_cast<double>(m_rangeMax[axis]) - m_rangeMin[axis]) / 2.0;
    return static_cast<LONG>(std::lround(centre + shaped * half));
}

HRESULT Device::GetDeviceState(DWORD size, LPVOID data)
{
    refresh();
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    HRESULT forced;
    if (takeForced(m_kind, CALL_GETDEVICESTATE, &forced)) return forced;
    if (!data || m_dataSize == 0 || size != m_dataSize) return DIERR_INVALIDPARAM;
    HRESULT state = readable();
    if (FAILED(state)) return state;

    if (m_kind == KIND_KEYBOARD) {
        std::memcpy(data, w.keys, 256);
    } else if (m_kind == KIND_MOUSE) {
        DIMOUSESTATE2 mouse;
        mouse.lX = m_mouseX;
        mouse.lY = m_mouseY;
        mouse.lZ = m_mouseZ;
        std::memcpy(mouse.rgbButtons, w.mouseButtons, 8);
        m_mouseX = m_mouseY = m_mouseZ = 0;
        std::memcpy(data, &mouse, sizeof(mouse));
    } else {
        Pad* p = pad();
        if (!p) {
            m_acquired = false;
            return DIERR_INPUTLOST;
        }
        DIJOYSTATE joy;
        std::memset(&joy, 0, sizeof(joy));
        LONG* axes[8] = {&joy.lX, &joy.lY, &joy.lZ, &joy.lRx, &joy.lRy, &joy.lRz, &joy.rglSlider[0],
                         &joy.rglSlider[1]};
        for (int a = 0; a < 8; ++a) *axes[a] = p->axes[a] ? axisValue(a, p->axisValue[a]) : 0;
        for (int k = 0; k < 4; ++k) joy.rgdwPOV[k] = k < p->povs ? p->pov[k] : 0xFFFFFFFFu;
        for (int b = 0; b < 32 && b < p->buttons; ++b) joy.rgbButtons[b] = p->button[b];
        std::memcpy(data, &joy, sizeof(joy));
    }
    return DI_OK;
}

HRESULT Device::GetDeviceData(DWORD objectSize, LPDIDEVICEOBJECTDATA data, LPDWORD inOut, DWORD flags)
{
    refresh();
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    HRESULT forced;
    if (takeForced(m_kind, CALL_GETDEVICEDATA, &forced)) return forced;
    if (!inOut || objectSize != sizeof(DIDEVICEOBJECTDATA) || flags != 0) return DIERR_INVALIDPARAM;
    if (m_bufferSize == 0) return DIERR_NOTINITIALIZED;
    HRESULT state = readable();
    if (FAILED(state)) {
        *inOut = 0;
        return state;
    }
    DWORD wanted = *inOut, given = 0;
    while (given < wanted && !m_events.empty()) {
        if (data) data[given] = m_events.front();
        m_events.pop_front();
        ++given;
    }
    *inOut = given;
    HRESULT result = m_overflow ? DI_BUFFEROVERFLOW : DI_OK;
    m_overflow = false;
    return result;
}

HRESULT Device::SetDataFormat(LPCDIDATAFORMAT format)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    HRESULT forced;
    if (takeForced(m_kind, CALL_SETDATAFORMAT, &forced)) return forced;
    if (!format) return DIERR_INVALIDPARAM;
    if (m_acquired) return DIERR_ACQUIRED;
    DWORD expected = m_kind == KIND_KEYBOARD ? 256 : m_kind == KIND_MOUSE ? sizeof(DIMOUSESTATE2) : sizeof(DIJOYSTATE);
    if (format->dwDataSize != expected) return DIERR_INVALIDPARAM;
    m_dataSize = format->dwDataSize;
    return DI_OK;
}

HRESULT Device::SetCooperativeLevel(HWND /*window*/, DWORD flags)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    HRESULT forced;
    if (takeForced(m_kind, CALL_SETCOOPERATIVELEVEL, &forced)) return forced;
    bool exclusive = flags & DISCL_EXCLUSIVE, shared = flags & DISCL_NONEXCLUSIVE;
    bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
    if (exclusive == shared || foreground == background) return DIERR_INVALIDPARAM;
    if (m_kind == KIND_KEYBOARD && exclusive && background) return DIERR_UNSUPPORTED;
    m_cooperative = flags;
    return DI_OK;
}

HRESULT Device::Poll()
{
    refresh();
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    HRESULT forced;
    if (takeForced(m_kind, CALL_POLL, &forced)) return forced;
    HRESULT state = readable();
    if (FAILED(state)) return state;
    return m_kind == KIND_JOYSTICK ? DI_OK : DI_NOEFFECT;
}

void Device::feedKey(int scanCode, bool down)
{
    if (m_kind != KIND_KEYBOARD || !m_acquired || m_bufferSize == 0) return;
    if (m_events.size() >= m_bufferSize) {
        m_overflow = true;
        return;
    }
    World& w = world();
    DIDEVICEOBJECTDATA event;
    event.dwOfs = static_cast<DWORD>(scanCode);
    event.dwData = down ? 0x80 : 0x00;
    event.dwTimeStamp = timeGetTime();
    event.dwSequence = ++w.sequence;
    m_events.push_back(event);
}

void Device::feedMouse(LONG dx, LONG dy, LONG wheel)
{
    if (m_kind != KIND_MOUSE || !m_acquired) return;
    // Movement piles up between reads: a storm of it holds at the limits rather than wrapping.
    auto add = [](LONG& sum, LONG delta) {
        const int64_t total = static_cast<int64_t>(sum) + delta;
        sum = static_cast<LONG>(std::clamp<int64_t>(total, std::numeric_limits<LONG>::min(),
                                                    std::numeric_limits<LONG>::max()));
    };
    add(m_mouseX, dx);
    add(m_mouseY, dy);
    add(m_mouseZ, wheel);
}

platform::testing::input::DeviceView Device::view() const
{
    platform::testing::input::DeviceView v;
    v.exists = true;
    v.acquired = m_acquired;
    v.cooperativeFlags = m_cooperative;
    v.dataSize = m_dataSize;
    v.bufferSize = m_bufferSize;
    for (int a = 0; a < 8; ++a) {
        v.rangeMin[a] = m_rangeMin[a];
        v.rangeMax[a] = m_rangeMax[a];
        v.deadZone[a] = m_deadZone[a];
        v.saturation[a] = m_saturation[a];
    }
    return v;
}

HRESULT DirectInput::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    if (riid == IID_IDirectInput7 || riid == IID_IUnknown) {
        *object = static_cast<IDirectInput7*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DirectInput::Release()
{
    ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

HRESULT DirectInput::Initialize(HINSTANCE /*instance*/, DWORD version)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    HRESULT forced;
    if (takeForced(KIND_INTERFACE, CALL_INITIALIZE, &forced)) return forced;
    if (version < 0x0300 || version > DIRECTINPUT_VERSION) return DIERR_INVALIDPARAM;
    if (w.live) liveStart();
    m_initialised = true;
    return DI_OK;
}

HRESULT DirectInput::EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                                 DWORD /*flags*/)
{
    std::vector<DIDEVICEINSTANCEA> found;
    {
        World& w = world();
        std::lock_guard<std::recursive_mutex> lock(w.lock);
        HRESULT forced;
        if (takeForced(KIND_INTERFACE, CALL_ENUMDEVICES, &forced)) return forced;
        if (!m_initialised) return DIERR_NOTINITIALIZED;
        if (!callback) return DIERR_INVALIDPARAM;
        if (deviceType == DIDEVTYPE_JOYSTICK || deviceType == 0) {
            refreshPads();
            for (const Pad& p : w.pads) {
                DIDEVICEINSTANCEA instance;
                std::memset(&instance, 0, sizeof(instance));
                instance.dwSize = sizeof(instance);
                instance.guidInstance = p.instance;
                instance.guidProduct = p.product;
                instance.dwDevType = DIDEVTYPE_JOYSTICK;
                std::memcpy(instance.tszInstanceName, p.instanceName, MAX_PATH);
                std::memcpy(instance.tszProductName, p.productName, MAX_PATH);
                found.push_back(instance);
            }
        }
    }
    for (const DIDEVICEINSTANCEA& instance : found)
        if (callback(&instance, context) == DIENUM_STOP) break;
    return DI_OK;
}

HRESULT DirectInput::CreateDeviceEx(REFGUID deviceGuid, REFIID riid, LPVOID* out, LPUNKNOWN outer)
{
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    if (!out) return E_POINTER;
    *out = nullptr;
    DeviceKind kind = KIND_JOYSTICK;
    int padIndex = -1;
    if (deviceGuid == GUID_SysKeyboard) kind = KIND_KEYBOARD;
    else if (deviceGuid == GUID_SysMouse) kind = KIND_MOUSE;
    else {
        for (size_t i = 0; i < w.pads.size(); ++i)
            if (w.pads[i].instance == deviceGuid) padIndex = static_cast<int>(i);
    }
    HRESULT forced;
    if (takeForced(kind, CALL_CREATEDEVICE, &forced)) return forced;
    if (!m_initialised) return DIERR_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!(riid == IID_IDirectInputDevice7)) return E_NOINTERFACE;
    if (kind == KIND_JOYSTICK && padIndex < 0) return DIERR_DEVICENOTREG;
    *out = static_cast<IDirectInputDevice7*>(new Device(kind, deviceGuid));
    return DI_OK;
}

}  // namespace platform::dinput

HRESULT DirectInputSetRumble(IDirectInputDevice7* device, float left, float right)
{
    using namespace platform::dinput;
    if (!device) return E_POINTER;
    World& w = world();
    std::lock_guard<std::recursive_mutex> lock(w.lock);
    Device* d = static_cast<Device*>(device);
    if (d->kind() != KIND_JOYSTICK) return DIERR_UNSUPPORTED;
    Pad* p = d->pad();
    if (!p) return DIERR_INPUTLOST;
    p->rumbleLeft = std::clamp(left, 0.0f, 1.0f);
    p->rumbleRight = std::clamp(right, 0.0f, 1.0f);
    if (w.live) liveRumble(*p);
    return DI_OK;
}

namespace platform {

IUnknown* createDirectInputObject() { return static_cast<IDirectInput7*>(new dinput::DirectInput()); }

}  // namespace platform
