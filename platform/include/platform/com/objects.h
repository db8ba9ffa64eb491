// COM objects as the engine uses them: IUnknown reference counting and creating an object of a
// registered class by its class id. Classes register a factory with the platform layer; the engine
// only calls CoCreateInstance.
#pragma once

#include "platform/win32/types.h"

typedef const GUID& REFGUID;
typedef const GUID& REFIID;
typedef const GUID& REFCLSID;

#define E_UNEXPECTED ((HRESULT)0x8000FFFFu)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)

#define CLSCTX_INPROC_SERVER 0x1

extern const GUID IID_IUnknown;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

// Creates an object of the class and hands out the asked interface (one reference).
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, void** object);

namespace platform {

// A class the layer can create: returns a new object holding one reference, or null.
typedef IUnknown* (*ComClassFactory)();
// Makes the class creatable through CoCreateInstance (a later registration of the same id wins).
void registerComClass(REFCLSID clsid, ComClassFactory factory);

}  // namespace platform
