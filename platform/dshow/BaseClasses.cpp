// Our base classes for the engine's renderer filters.
#include "Graph.h"

#include <cstdlib>
#include <cstring>

// ---- CMediaType ----

CMediaType::CMediaType() : AM_MEDIA_TYPE{} {}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type) : AM_MEDIA_TYPE{} { copyFrom(type); }

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE{} { copyFrom(other); }

CMediaType& CMediaType::operator=(const CMediaType& other)
{
    if (this != &other) copyFrom(other);
    return *this;
}

CMediaType::~CMediaType() { freeFormat(); }

BYTE* CMediaType::AllocFormatBuffer(ULONG size)
{
    freeFormat();
    if (size == 0) return nullptr;
    pbFormat = static_cast<BYTE*>(std::calloc(size, 1));
    cbFormat = pbFormat ? size : 0;
    return pbFormat;
}

void CMediaType::copyFrom(const AM_MEDIA_TYPE& type)
{
    freeFormat();
    static_cast<AM_MEDIA_TYPE&>(*this) = type;
    // The format block is copied below, never shared.
    pbFormat = nullptr;
    cbFormat = 0;
    pUnk = nullptr;
    if (type.cbFormat && type.pbFormat && AllocFormatBuffer(type.cbFormat))
        std::memcpy(pbFormat, type.pbFormat, type.cbFormat);
}

void CMediaType::freeFormat()
{
    std::free(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

// ---- CBaseRenderer ----

CBaseRenderer::CBaseRenderer(const GUID& renderClass, const char* name, IUnknown* outer, HRESULT* result)
    : m_class(renderClass), m_name(name ? name : "")
{
    if (outer && result) *result = E_INVALIDARG;
}

CBaseRenderer::~CBaseRenderer() = default;

HRESULT CBaseRenderer::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(riid == IID_IUnknown) && !(riid == IID_IBaseFilter)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IBaseFilter*>(this);
    return S_OK;
}

ULONG CBaseRenderer::AddRef() { return ++m_references; }

ULONG CBaseRenderer::Release()
{
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

HRESULT CBaseRenderer::EnumPins(IEnumPins** pins)
{
    if (HRESULT forced = platform::dshow::steer("EnumPins"); FAILED(forced)) return forced;
    if (!pins) return E_POINTER;
    *pins = new platform::dshow::PinList({&m_input});
    return S_OK;
}

HRESULT CBaseRenderer::FindPin(const WCHAR* id, IPin** pin)
{
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    if (platform::dshow::narrow(id) != "In") return VFW_E_NOT_FOUND;
    m_input.AddRef();
    *pin = &m_input;
    return S_OK;
}

HRESULT CBaseRenderer::SetMediaType(const CMediaType*) { return S_OK; }

HRESULT CBaseRenderer::connect(IPin* from, const CMediaType& type)
{
    if (m_connectedType.majortype == MEDIATYPE_Video) return VFW_E_ALREADY_CONNECTED;
    HRESULT hr = CheckMediaType(&type);
    if (FAILED(hr)) return hr;
    hr = SetMediaType(&type);
    if (FAILED(hr)) return hr;
    m_connectedTo = from;
    m_connectedType = type;
    return S_OK;
}

void CBaseRenderer::disconnect()
{
    m_connectedTo = nullptr;
    m_connectedType = CMediaType();
}

HRESULT CBaseRenderer::InputPin::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(riid == IID_IPin) && !(riid == IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IPin*>(this);
    return S_OK;
}

ULONG CBaseRenderer::InputPin::AddRef() { return m_owner->AddRef(); }
ULONG CBaseRenderer::InputPin::Release() { return m_owner->Release(); }

HRESULT CBaseRenderer::InputPin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction) return E_POINTER;
    *direction = PINDIR_INPUT;
    return S_OK;
}

HRESULT CBaseRenderer::InputPin::ConnectedTo(IPin** pin)
{
    if (!pin) return E_POINTER;
    *pin = m_owner->m_connectedTo;
    if (!*pin) return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
}
