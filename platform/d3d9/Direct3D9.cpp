// The reference IDirect3D9: answers every question about the card from the configuration record.
#include "Control.h"
#include "Device.h"

#include <algorithm>

namespace d3d9ref {

namespace {

using platform::testing::D3D9Adapter;
using platform::testing::D3D9DeviceType;

template <class T>
bool contains(const std::vector<T>& list, const T& value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

class Direct3D9 final : public IDirect3D9 {
public:
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        record(Method::Release, {ptr(this)});
        ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

    UINT GetAdapterCount() override
    {
        record(Method::GetAdapterCount);
        return static_cast<UINT>(adapters().size());
    }

    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) override
    {
        record(Method::GetAdapterIdentifier, {adapter, flags});
        const D3D9Adapter* a = find(adapter);
        if (!a || !identifier || a->IdentifierFails) return D3DERR_INVALIDCALL;
        *identifier = a->Identifier;
        return D3D_OK;
    }

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override
    {
        record(Method::GetAdapterModeCount, {adapter, format});
        const D3D9Adapter* a = find(adapter);
        if (!a) return 0;
        return static_cast<UINT>(std::count_if(a->Modes.begin(), a->Modes.end(),
                                               [&](const D3DDISPLAYMODE& m) { return m.Format == format; }));
    }

    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* result) override
    {
        record(Method::EnumAdapterModes, {adapter, format, mode});
        const D3D9Adapter* a = find(adapter);
        if (!a || !result) return D3DERR_INVALIDCALL;
        UINT n = 0;
        for (const D3DDISPLAYMODE& m : a->Modes) {
            if (m.Format != format) continue;
            if (n++ == mode) {
                *result = m;
                return D3D_OK;
            }
        }
        return D3DERR_INVALIDCALL;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override
    {
        record(Method::GetAdapterDisplayMode, {adapter});
        const D3D9Adapter* a = find(adapter);
        if (!a || !mode || a->DesktopFails) return D3DERR_INVALIDCALL;
        *mode = a->Desktop;
        return D3D_OK;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override
    {
        record(Method::CheckDeviceFormat, {adapter, type, adapterFormat, usage, resourceType, checkFormat});
        const D3D9Adapter* a = find(adapter);
        if (!a || !findType(*a, type)) return D3DERR_INVALIDCALL;
        if (!contains(a->RenderTargetFormats, adapterFormat) && !isDisplayFormat(adapterFormat))
            return D3DERR_NOTAVAILABLE;
        const std::vector<D3DFORMAT>* list = &a->TextureFormats;
        if (usage & D3DUSAGE_DEPTHSTENCIL) list = &a->DepthFormats;
        else if (usage & D3DUSAGE_RENDERTARGET) list = &a->RenderTargetFormats;
        return contains(*list, checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat) override
    {
        record(Method::CheckDepthStencilMatch, {adapter, type, adapterFormat, renderTargetFormat, depthFormat});
        const D3D9Adapter* a = find(adapter);
        if (!a || !findType(*a, type)) return D3DERR_INVALIDCALL;
        if (!contains(a->DepthFormats, depthFormat)) return D3DERR_NOTAVAILABLE;
        if (contains(a->DepthMismatches, std::make_pair(renderTargetFormat, depthFormat))) return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) override
    {
        record(Method::CheckDeviceMultiSampleType, {adapter, type, format, static_cast<uint64_t>(windowed),
                                                    multiSample});
        const D3D9Adapter* a = find(adapter);
        if (!a || !findType(*a, type)) return D3DERR_INVALIDCALL;
        DWORD levels = 0;
        auto it = a->QualityLevels.find(format);
        if (it != a->QualityLevels.end()) levels = it->second;
        if (multiSample == D3DMULTISAMPLE_NONE) levels = 1;
        if (qualityLevels) *qualityLevels = levels;
        return levels > 0 ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override
    {
        record(Method::GetDeviceCaps, {adapter, type});
        const D3D9Adapter* a = find(adapter);
        const D3D9DeviceType* t = a ? findType(*a, type) : nullptr;
        if (!t || !caps || t->CapsFail) return D3DERR_INVALIDCALL;
        *caps = t->Caps;
        if (caps->DeviceType == 0) caps->DeviceType = type;
        if (caps->AdapterOrdinal == 0) caps->AdapterOrdinal = adapter;
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override
    {
        record(Method::CreateDevice, {adapter, type, ptr(focusWindow), behaviour,
                                      parameters ? parameters->AutoDepthStencilFormat : 0u});
        if (device) *device = nullptr;
        if (parameters) control().CreateAttempts.push_back(*parameters);
        const D3D9Adapter* a = find(adapter);
        if (!a || !findType(*a, type) || !parameters || !device) return D3DERR_INVALIDCALL;
        if (control().CreateDeviceResult) {
            HRESULT forced = control().CreateDeviceResult(*parameters, behaviour);
            if (forced != D3D_OK) return forced;
        }
        if (parameters->EnableAutoDepthStencil && !contains(a->DepthFormats, parameters->AutoDepthStencilFormat))
            return D3DERR_NOTAVAILABLE;
        *device = new Device(adapter, type, focusWindow, behaviour, *parameters);
        return D3D_OK;
    }

    HMONITOR GetAdapterMonitor(UINT adapter) override
    {
        record(Method::GetAdapterMonitor, {adapter});
        // A stable token per adapter; nothing draws on monitors.
        return find(adapter) ? reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(0x4D4F0000u + adapter)) : nullptr;
    }

private:
    ~Direct3D9() override = default;

    static const std::vector<D3D9Adapter>& adapters() { return control().Config.Adapters; }
    static const D3D9Adapter* find(UINT adapter)
    {
        return adapter < adapters().size() ? &adapters()[adapter] : nullptr;
    }
    static const D3D9DeviceType* findType(const D3D9Adapter& a, D3DDEVTYPE type)
    {
        for (const D3D9DeviceType& t : a.DeviceTypes)
            if (t.Type == type) return &t;
        return nullptr;
    }
    static bool isDisplayFormat(D3DFORMAT f)
    {
        return f == D3DFMT_X1R5G5B5 || f == D3DFMT_A1R5G5B5 || f == D3DFMT_R5G6B5 || f == D3DFMT_X8R8G8B8 ||
               f == D3DFMT_A8R8G8B8;
    }

    ULONG m_references = 1;
};

}  // namespace

}  // namespace d3d9ref

IDirect3D9* Direct3DCreate9(UINT sdkVersion)
{
    if (d3d9ref::control().CreateFails || sdkVersion != D3D_SDK_VERSION) return nullptr;
    return new d3d9ref::Direct3D9();
}
