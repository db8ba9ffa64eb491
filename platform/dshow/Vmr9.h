// The Video Mixing Renderer 9, renderless mode only: the engine installs its allocator-presenter,
// the VMR asks it for surfaces when a video is connected (InitializeDevice, on the connecting
// thread) and, on the graph's streaming thread, copies each frame into the surface GetSurface
// hands out and has it presented (PresentImage), between StartPresenting and StopPresenting.
//
// The allocator-presenter keeps the VMR's notify interface and the VMR keeps the allocator: when
// only that hold is left on the VMR, the VMR lets go of the allocator, so the two do not keep
// each other alive.
#pragma once

#include "Video.h"
#include "platform/dshow.h"

#include <atomic>
#include <mutex>

namespace platform::dshow {

class Vmr9 final : public IBaseFilter {
public:
    Vmr9();  // with the world's lock held

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(const WCHAR* id, IPin** pin) override;

    // The graph's side; none with the world's lock held.
    // Takes the video in a layout it offers and has the allocator make surfaces for it.
    HRESULT connect(const VideoFormat& format, IPin* from, DWORD* layout);
    // The graph goes: the allocator's surfaces are given back (TerminateDevice).
    void leaveGraph();
    void joinGraph();
    HRESULT startPresenting();
    void stopPresenting();
    // Copies the frame into the next surface and presents it.
    HRESULT present(const std::vector<uint8_t>& frame, DWORD layout, const VideoFormat& format, uint64_t index);

    class ConfigPart final : public IVMRFilterConfig9 {
    public:
        explicit ConfigPart(Vmr9* owner) : m_owner(owner) {}
        HRESULT QueryInterface(REFIID riid, void** object) override;
        ULONG AddRef() override;
        ULONG Release() override;
        HRESULT SetNumberOfStreams(DWORD streams) override;
        HRESULT GetNumberOfStreams(DWORD* streams) override;
        HRESULT SetRenderingMode(DWORD mode) override;
        HRESULT GetRenderingMode(DWORD* mode) override;

    private:
        Vmr9* m_owner;
    };

    class NotifyPart final : public IVMRSurfaceAllocatorNotify9 {
    public:
        explicit NotifyPart(Vmr9* owner) : m_owner(owner) {}
        HRESULT QueryInterface(REFIID riid, void** object) override;
        ULONG AddRef() override;
        ULONG Release() override;
        HRESULT AdviseSurfaceAllocator(DWORD_PTR userId, IVMRSurfaceAllocator9* allocator) override;
        HRESULT SetD3DDevice(IDirect3DDevice9* device, HMONITOR monitor) override;
        HRESULT AllocateSurfaceHelper(VMR9AllocationInfo* info, DWORD* buffers, IDirect3DSurface9** surfaces) override;

    private:
        Vmr9* m_owner;
    };

    class InputPin final : public IPin {
    public:
        explicit InputPin(Vmr9* owner) : m_owner(owner) {}
        HRESULT QueryInterface(REFIID riid, void** object) override;
        ULONG AddRef() override;
        ULONG Release() override;
        HRESULT QueryDirection(PIN_DIRECTION* direction) override;
        HRESULT ConnectedTo(IPin** pin) override;

    private:
        Vmr9* m_owner;
    };

    // Everything below under m_lock.
    std::mutex lock;
    DWORD mode = VMR9Mode_Windowed;
    DWORD streams = 0;
    bool inGraph = false;
    bool connected = false;
    IPin* connectedTo = nullptr;
    DWORD_PTR userId = 0;
    IVMRSurfaceAllocator9* allocator = nullptr;  // both hold a reference
    IVMRImagePresenter9* presenter = nullptr;
    IDirect3DDevice9* device = nullptr;  // holds a reference
    HMONITOR monitor = nullptr;
    VMR9AllocationInfo requested{};
    VMR9AllocationInfo granted{};
    DWORD buffers = 0;
    int initializeCalls = 0, terminateCalls = 0, startCalls = 0, stopCalls = 0, presented = 0, surfaceFailures = 0;

    ConfigPart config{this};
    NotifyPart notify{this};
    InputPin input{this};

private:
    ~Vmr9();
    // Lets go of the allocator-presenter (without m_lock); the VMR may be gone afterwards.
    void dropAllocator();
    std::atomic<ULONG> m_references{1};
    std::atomic<ULONG> m_notifyReferences{0};  // those taken through the notify interface
};

}  // namespace platform::dshow
