#include "platform/com/objects.h"
#include "platform/dinput.h"
#include "platform/dshow.h"

#include <mutex>
#include <vector>

const GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

struct ClassEntry {
    GUID clsid;
    platform::ComClassFactory factory;
};

std::mutex classLock;

// The classes the layer provides itself; a static library would drop self-registering objects.
std::vector<ClassEntry>& classes()
{
    static std::vector<ClassEntry> table = {
        {CLSID_DirectInput, &platform::createDirectInputObject},
        {CLSID_FilterGraph, &platform::createFilterGraphObject},
        {CLSID_VideoMixingRenderer9, &platform::createVideoMixingRenderer9Object},
    };
    return table;
}

}  // namespace

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD /*context*/, REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    platform::ComClassFactory factory = nullptr;
    {
        std::lock_guard<std::mutex> lock(classLock);
        for (const ClassEntry& entry : classes())
            if (entry.clsid == clsid) factory = entry.factory;
    }
    if (!factory) return REGDB_E_CLASSNOTREG;
    IUnknown* created = factory();
    if (!created) return E_OUTOFMEMORY;
    HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}

namespace platform {

void registerComClass(REFCLSID clsid, ComClassFactory factory)
{
    std::lock_guard<std::mutex> lock(classLock);
    classes().push_back({clsid, factory});
}

}  // namespace platform
