// Our DirectShow base classes: what a renderer filter of the engine's is built on. A renderer
// derives from CBaseVideoRenderer and decides three things: which media types it takes
// (CheckMediaType), what to do when its input is connected (SetMediaType) and what to do with
// each frame (DoRenderSample). The filter graph does the rest: it connects a source's video pin
// to the renderer (and calls SetMediaType on the thread that connects), then calls DoRenderSample
// once per frame, at the frame's time, on the graph's streaming thread.
//
// Reference counting starts at 0, as with the classes this stands in for: whoever creates a
// renderer takes the first reference, and a graph the renderer is added to holds one until the
// graph goes.
#pragma once

#include "platform/dshow.h"

#include <atomic>
#include <string>

namespace platform::dshow {
class Graph;
}

// A media type that owns its format block.
class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    CMediaType(const AM_MEDIA_TYPE& type);
    CMediaType(const CMediaType& other);
    CMediaType& operator=(const CMediaType& other);
    ~CMediaType();

    const GUID* Type() const { return &majortype; }
    const GUID* Subtype() const { return &subtype; }
    const GUID* FormatType() const { return &formattype; }
    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // A zeroed format block of that size, replacing the one held; null for size 0.
    BYTE* AllocFormatBuffer(ULONG size);

private:
    void copyFrom(const AM_MEDIA_TYPE& type);
    void freeFormat();
};

class CBaseRenderer : public IBaseFilter {
public:
    // The outer unknown must be null (no aggregation: *result E_INVALIDARG). *result is left
    // alone on success, as derived constructors go on to set it.
    CBaseRenderer(const GUID& renderClass, const char* name, IUnknown* outer, HRESULT* result);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(const WCHAR* id, IPin** pin) override;

    // E_* for a type the renderer cannot draw; S_OK when it can.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // The type the input was connected with.
    virtual HRESULT SetMediaType(const CMediaType* type);
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;

    const GUID& ClassId() const { return m_class; }
    const char* Name() const { return m_name.c_str(); }
    // The type of the connection; empty (GUID_NULL major type) while not connected.
    const CMediaType& ConnectedType() const { return m_connectedType; }

protected:
    virtual ~CBaseRenderer();

private:
    friend class platform::dshow::Graph;
    class InputPin final : public IPin {
    public:
        explicit InputPin(CBaseRenderer* owner) : m_owner(owner) {}
        HRESULT QueryInterface(REFIID riid, void** object) override;
        ULONG AddRef() override;
        ULONG Release() override;
        HRESULT QueryDirection(PIN_DIRECTION* direction) override;
        HRESULT ConnectedTo(IPin** pin) override;

    private:
        CBaseRenderer* m_owner;
    };

    // The graph's side: offered a type, the renderer checks it and is connected with it.
    HRESULT connect(IPin* from, const CMediaType& type);
    void disconnect();

    const GUID m_class;
    const std::string m_name;
    std::atomic<ULONG> m_references{0};
    InputPin m_input{this};
    IPin* m_connectedTo = nullptr;  // the source's pin (its filter lives in the same graph)
    CMediaType m_connectedType;
};

// A renderer of video frames. Nothing beyond the renderer: frames arrive already paced.
class CBaseVideoRenderer : public CBaseRenderer {
public:
    using CBaseRenderer::CBaseRenderer;
};
