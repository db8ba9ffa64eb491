// The filters the graph makes itself: a file's source with its output pins, and the pin lists
// every filter hands out.
#include "Graph.h"

namespace platform::dshow {

// ---- Pin lists ----

PinList::PinList(std::vector<IPin*> pins) : m_pins(std::move(pins))
{
    for (IPin* p : m_pins) p->AddRef();
}

PinList::~PinList()
{
    for (IPin* p : m_pins) p->Release();
}

HRESULT PinList::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(riid == IID_IEnumPins) && !(riid == IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IEnumPins*>(this);
    return S_OK;
}

ULONG PinList::AddRef() { return ++m_references; }

ULONG PinList::Release()
{
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

HRESULT PinList::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (HRESULT forced = steer("Next"); FAILED(forced)) return forced;
    if (!pins || (count > 1 && !fetched)) return E_POINTER;
    ULONG given = 0;
    for (; given < count && m_cursor < m_pins.size(); ++given, ++m_cursor) {
        pins[given] = m_pins[m_cursor];
        pins[given]->AddRef();
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
}

HRESULT PinList::Skip(ULONG count)
{
    m_cursor = std::min(m_pins.size(), m_cursor + count);
    return m_cursor < m_pins.size() ? S_OK : S_FALSE;
}

HRESULT PinList::Reset()
{
    m_cursor = 0;
    return S_OK;
}

// ---- Source filter ----

SourceFilter::SourceFilter(Graph* graph, Media opened)
    : graph(graph), media(std::move(opened)), hasVideo(media.video != nullptr), hasAudio(media.audio != nullptr)
{
}

HRESULT SourceFilter::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(riid == IID_IBaseFilter) && !(riid == IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IBaseFilter*>(this);
    return S_OK;
}

ULONG SourceFilter::AddRef() { return ++m_references; }

ULONG SourceFilter::Release()
{
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

HRESULT SourceFilter::EnumPins(IEnumPins** pins)
{
    if (HRESULT forced = steer("EnumPins"); FAILED(forced)) return forced;
    if (!pins) return E_POINTER;
    std::vector<IPin*> list;
    if (hasVideo) list.push_back(&videoPin);
    if (hasAudio) list.push_back(&audioPin);
    *pins = new PinList(std::move(list));
    return S_OK;
}

HRESULT SourceFilter::FindPin(const WCHAR* id, IPin** pin)
{
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    const std::string name = narrow(id);
    if (name == "Video" && hasVideo)
        *pin = &videoPin;
    else if (name == "Audio" && hasAudio)
        *pin = &audioPin;
    else
        return VFW_E_NOT_FOUND;
    (*pin)->AddRef();
    return S_OK;
}

HRESULT SourceFilter::OutputPin::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(riid == IID_IPin) && !(riid == IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IPin*>(this);
    return S_OK;
}

ULONG SourceFilter::OutputPin::AddRef() { return owner->AddRef(); }
ULONG SourceFilter::OutputPin::Release() { return owner->Release(); }

HRESULT SourceFilter::OutputPin::QueryDirection(PIN_DIRECTION* direction)
{
    if (HRESULT forced = steer("QueryDirection"); FAILED(forced)) return forced;
    if (!direction) return E_POINTER;
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

// The sound goes to the mixer, which has no pin: a rendered audio pin answers not connected.
HRESULT SourceFilter::OutputPin::ConnectedTo(IPin** pin)
{
    if (!pin) return E_POINTER;
    std::lock_guard<std::mutex> guard(dsound::world().lock);
    *pin = peer;
    if (!peer) return VFW_E_NOT_CONNECTED;
    peer->AddRef();
    return S_OK;
}

}  // namespace platform::dshow
