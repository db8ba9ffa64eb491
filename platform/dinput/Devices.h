// The stand-in's DirectInput interface and device objects.
#pragma once

#include "InputWorld.h"

#include <atomic>
#include <deque>
#include <vector>

namespace platform::dinput {

class Device final : public IDirectInputDevice7 {
public:
    Device(DeviceKind kind, const GUID& instance);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override;

    HRESULT EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA callback, LPVOID context, DWORD flags) override;
    HRESULT SetProperty(REFDIPROP property, LPCDIPROPHEADER header) override;
    HRESULT Acquire() override;
    HRESULT Unacquire() override;
    HRESULT GetDeviceState(DWORD size, LPVOID data) override;
    HRESULT GetDeviceData(DWORD objectSize, LPDIDEVICEOBJECTDATA data, LPDWORD inOut, DWORD flags) override;
    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT Poll() override;

    // Called with the world locked.
    DeviceKind kind() const { return m_kind; }
    const GUID& instance() const { return m_instance; }
    Pad* pad();
    void feedKey(int scanCode, bool down);
    void feedMouse(LONG dx, LONG dy, LONG wheel);
    void loseInput();
    platform::testing::input::DeviceView view() const;

private:
    ~Device() override;
    HRESULT readable();
    LONG axisValue(int axis, float raw) const;
    void objects(std::vector<DIDEVICEOBJECTINSTANCEA>* list);

    std::atomic<ULONG> m_references{1};
    DeviceKind m_kind;
    GUID m_instance;
    DWORD m_dataSize = 0;
    DWORD m_cooperative = 0;
    bool m_acquired = false;
    bool m_lost = false;
    DWORD m_bufferSize = 0;
    std::deque<DIDEVICEOBJECTDATA> m_events;
    bool m_overflow = false;
    LONG m_mouseX = 0, m_mouseY = 0, m_mouseZ = 0;
    LONG m_rangeMin[8], m_rangeMax[8];
    DWORD m_deadZone[8], m_saturation[8];
};

class DirectInput final : public IDirectInput7 {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override;

    HRESULT EnumDevices(DWORD deviceType, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) override;
    HRESULT Initialize(HINSTANCE instance, DWORD version) override;
    HRESULT CreateDeviceEx(REFGUID device, REFIID riid, LPVOID* out, LPUNKNOWN outer) override;

private:
    ~DirectInput() override = default;

    std::atomic<ULONG> m_references{1};
    bool m_initialised = false;
};

}  // namespace platform::dinput
