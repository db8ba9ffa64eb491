// DirectShow as the engine calls it: a filter graph made through CoCreateInstance that renders a
// sound file and plays it through the DirectSound mixer, with media control, events, seeking,
// position and volume. Every call may come from any thread.
#pragma once

#include "platform/com/objects.h"
#include "platform/win32.h"

typedef LONG_PTR OAEVENT;
typedef LONG OAFilterState;
typedef double REFTIME;         // seconds
typedef LONGLONG REFERENCE_TIME;  // 100 ns units

// Results.
#define E_ABORT ((HRESULT)0x80004004u)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218u)
#define VFW_S_STATE_INTERMEDIATE ((HRESULT)0x00040237)
#define HRESULT_FROM_WIN32(code) ((HRESULT)(((code) & 0x0000FFFFu) | 0x80070000u))

// Event codes.
#define EC_COMPLETE 0x01
#define EC_USERABORT 0x02
#define EC_ERRORABORT 0x03

// Filter states.
#define State_Stopped 0
#define State_Paused 1
#define State_Running 2

// IMediaSeeking::SetPositions flags.
#define AM_SEEKING_NoPositioning 0x0
#define AM_SEEKING_AbsolutePositioning 0x1
#define AM_SEEKING_RelativePositioning 0x2
#define AM_SEEKING_IncrementalPositioning 0x3
#define AM_SEEKING_PositioningBitsMask 0x3

extern const GUID CLSID_FilterGraph;
extern const GUID IID_IFilterGraph;
extern const GUID IID_IGraphBuilder;
extern const GUID IID_IMediaControl;
extern const GUID IID_IMediaEvent;
extern const GUID IID_IMediaSeeking;
extern const GUID IID_IMediaPosition;
extern const GUID IID_IBasicAudio;

struct IFilterGraph : IUnknown {};

struct IGraphBuilder : IFilterGraph {
    // Builds the graph that plays the file. The play list is reserved (null).
    virtual HRESULT RenderFile(const WCHAR* file, const WCHAR* playList) = 0;
};

struct IMediaControl : IUnknown {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG milliseconds, OAFilterState* state) = 0;
};

struct IMediaEvent : IUnknown {
    // A manual-reset event, set while events wait; owned by the graph.
    virtual HRESULT GetEventHandle(OAEVENT* event) = 0;
    // The oldest waiting event; E_ABORT when none comes within the time.
    virtual HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG milliseconds) = 0;
    virtual HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IMediaSeeking : IUnknown {
    virtual HRESULT GetDuration(LONGLONG* duration) = 0;
    virtual HRESULT GetCurrentPosition(LONGLONG* current) = 0;
    // Positions in REFERENCE_TIME; a stop position is not supported (AM_SEEKING_NoPositioning).
    virtual HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) = 0;
};

struct IMediaPosition : IUnknown {
    virtual HRESULT get_Duration(REFTIME* length) = 0;
    virtual HRESULT get_CurrentPosition(REFTIME* time) = 0;
    virtual HRESULT put_CurrentPosition(REFTIME time) = 0;
};

struct IBasicAudio : IUnknown {
    // Hundredths of a decibel, -10000 (silent) to 0 (full).
    virtual HRESULT put_Volume(LONG volume) = 0;
    virtual HRESULT get_Volume(LONG* volume) = 0;
};

namespace platform {
// The graph's class, for the COM class table.
IUnknown* createFilterGraphObject();
}  // namespace platform
