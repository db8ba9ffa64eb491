// DirectShow as the engine calls it: a filter graph made through CoCreateInstance that renders a
// file, playing its sound through the DirectSound mixer and handing its video frames, on a
// streaming thread of the graph, to the Video Mixing Renderer 9 (and so to the engine's
// allocator-presenter) or to a renderer filter of the engine's (platform/dshow/baseclasses.h);
// with media control, events, seeking, position and volume. Every call may come from any thread.
#pragma once

#include "platform/com/objects.h"
#include "platform/d3d9.h"
#include "platform/win32.h"

typedef LONG_PTR OAEVENT;
typedef LONG OAFilterState;
typedef double REFTIME;         // seconds
typedef LONGLONG REFERENCE_TIME;  // 100 ns units
typedef uintptr_t DWORD_PTR;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE;

// Results.
#define E_ABORT ((HRESULT)0x80004004u)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204u)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209u)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216u)
#define VFW_E_CANNOT_CONNECT ((HRESULT)0x80040217u)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218u)
#define VFW_E_TYPE_NOT_ACCEPTED ((HRESULT)0x8004022Au)
#define VFW_E_UNSUPPORTED_STREAM ((HRESULT)0x80040265u)
#define VFW_S_STATE_INTERMEDIATE ((HRESULT)0x00040237)
#define VFW_S_PARTIAL_RENDER ((HRESULT)0x00040242)
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

// Pins.
typedef enum _PinDirection { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 } PIN_DIRECTION;

// Video Mixing Renderer 9 rendering modes (IVMRFilterConfig9::SetRenderingMode).
#define VMR9Mode_Windowed 0x1
#define VMR9Mode_Windowless 0x2
#define VMR9Mode_Renderless 0x4

// VMR9AllocationInfo::dwFlags.
#define VMR9AllocFlag_3DRenderTarget 0x0001
#define VMR9AllocFlag_DXVATarget 0x0002
#define VMR9AllocFlag_TextureSurface 0x0004
#define VMR9AllocFlag_OffscreenSurface 0x0008

// VMR9PresentationInfo::dwFlags.
#define VMR9Sample_SyncPoint 0x1
#define VMR9Sample_Preroll 0x2
#define VMR9Sample_Discontinuity 0x4
#define VMR9Sample_TimeValid 0x8

extern const GUID CLSID_FilterGraph;
extern const GUID CLSID_VideoMixingRenderer9;
extern const GUID IID_IFilterGraph;
extern const GUID IID_IGraphBuilder;
extern const GUID IID_IMediaControl;
extern const GUID IID_IMediaEvent;
extern const GUID IID_IMediaSeeking;
extern const GUID IID_IMediaPosition;
extern const GUID IID_IBasicAudio;
extern const GUID IID_IBaseFilter;
extern const GUID IID_IPin;
extern const GUID IID_IEnumPins;
extern const GUID IID_IMediaSample;
extern const GUID IID_IVMRFilterConfig9;
extern const GUID IID_IVMRSurfaceAllocatorNotify9;
extern const GUID IID_IVMRSurfaceAllocator9;
extern const GUID IID_IVMRImagePresenter9;

// Media types.
extern const GUID MEDIATYPE_Video;
extern const GUID MEDIATYPE_Audio;
extern const GUID MEDIASUBTYPE_RGB24;
extern const GUID MEDIASUBTYPE_RGB32;
extern const GUID MEDIASUBTYPE_PCM;
extern const GUID FORMAT_VideoInfo;
extern const GUID FORMAT_WaveFormatEx;
// The subtype of a four-character-code format (YUY2, UYVY...).
GUID mediaSubtypeOfFourCC(DWORD fourCC);

typedef struct _AMMediaType {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
} AM_MEDIA_TYPE;

#define BI_RGB 0

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // positive: rows stored bottom-up
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;  // BI_RGB or a four-character code
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER;
static_assert(sizeof(BITMAPINFOHEADER) == 40);

typedef struct tagVIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;
static_assert(sizeof(VIDEOINFOHEADER) == 88);

struct IPin : IUnknown {
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
    // The pin at the other end, with a reference; VFW_E_NOT_CONNECTED when none.
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
};

struct IEnumPins : IUnknown {
    // Up to `count` pins from the cursor, each with a reference; S_FALSE when fewer were left.
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
};

struct IBaseFilter : IUnknown {
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    // The pin of that id ("In" for a renderer's input, "Video" / "Audio" for a source's outputs).
    virtual HRESULT FindPin(const WCHAR* id, IPin** pin) = 0;
};

struct IMediaSample : IUnknown {
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual LONG GetSize() = 0;
    virtual LONG GetActualDataLength() = 0;
    // Start and end of the frame in stream time.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
};

struct IFilterGraph : IUnknown {
    // The graph keeps a reference to the filter until it is released itself.
    virtual HRESULT AddFilter(IBaseFilter* filter, const WCHAR* name) = 0;
};

struct IGraphBuilder : IFilterGraph {
    // Builds the graph that plays the file. The play list is reserved (null).
    virtual HRESULT RenderFile(const WCHAR* file, const WCHAR* playList) = 0;
    // A source filter for the file, added to the graph; its output pins are still to be rendered.
    virtual HRESULT AddSourceFilter(const WCHAR* file, const WCHAR* name, IBaseFilter** filter) = 0;
    // Connects an output pin: video to a renderer already in the graph that takes it, sound to the
    // DirectSound mixer.
    virtual HRESULT Render(IPin* output) = 0;
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

// ---- Video Mixing Renderer 9 in renderless mode ----

typedef struct _VMR9AllocationInfo {
    DWORD dwFlags;  // VMR9AllocFlag_
    DWORD dwWidth;
    DWORD dwHeight;
    D3DFORMAT Format;
    D3DPOOL Pool;
    DWORD MinBuffers;
    SIZE szAspectRatio;
    SIZE szNativeSize;
} VMR9AllocationInfo;

typedef struct _VMR9PresentationInfo {
    DWORD dwFlags;  // VMR9Sample_
    IDirect3DSurface9* lpSurf;
    REFERENCE_TIME rtStart;
    REFERENCE_TIME rtEnd;
    SIZE szAspectRatio;
    RECT rcSrc;
    RECT rcDst;
    DWORD dwReserved1;
    DWORD dwReserved2;
} VMR9PresentationInfo;

struct IVMRFilterConfig9 : IUnknown {
    virtual HRESULT SetNumberOfStreams(DWORD streams) = 0;
    virtual HRESULT GetNumberOfStreams(DWORD* streams) = 0;
    virtual HRESULT SetRenderingMode(DWORD mode) = 0;
    virtual HRESULT GetRenderingMode(DWORD* mode) = 0;
};

struct IVMRSurfaceAllocatorNotify9;

// What the engine's allocator-presenter implements; the VMR calls it (InitializeDevice while the
// video is connected, the rest on the graph's streaming thread).
struct IVMRSurfaceAllocator9 : IUnknown {
    virtual HRESULT InitializeDevice(DWORD_PTR userId, VMR9AllocationInfo* info, DWORD* buffers) = 0;
    virtual HRESULT TerminateDevice(DWORD_PTR userId) = 0;
    virtual HRESULT GetSurface(DWORD_PTR userId, DWORD index, DWORD flags, IDirect3DSurface9** surface) = 0;
    virtual HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* notify) = 0;
};

struct IVMRImagePresenter9 : IUnknown {
    virtual HRESULT StartPresenting(DWORD_PTR userId) = 0;
    virtual HRESULT StopPresenting(DWORD_PTR userId) = 0;
    virtual HRESULT PresentImage(DWORD_PTR userId, VMR9PresentationInfo* info) = 0;
};

struct IVMRSurfaceAllocatorNotify9 : IUnknown {
    // The allocator must also be an IVMRImagePresenter9. Renderless mode only.
    virtual HRESULT AdviseSurfaceAllocator(DWORD_PTR userId, IVMRSurfaceAllocator9* allocator) = 0;
    virtual HRESULT SetD3DDevice(IDirect3DDevice9* device, HMONITOR monitor) = 0;
    // Surfaces on the device given: level 0 of textures with VMR9AllocFlag_TextureSurface (refused
    // for four-character-code formats), else plain off-screen surfaces. *buffers in, made out.
    virtual HRESULT AllocateSurfaceHelper(VMR9AllocationInfo* info, DWORD* buffers, IDirect3DSurface9** surfaces) = 0;
};

namespace platform {
// The classes, for the COM class table.
IUnknown* createFilterGraphObject();
IUnknown* createVideoMixingRenderer9Object();
}  // namespace platform
