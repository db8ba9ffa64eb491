// CVMR9Player: a video through DirectShow's Video Mixing Renderer 9 in renderless mode, with
// CVMR9AllocatorPresenter drawing and presenting each frame on DirectShow's streaming thread.
// The main thread only starts, pauses, stops and asks; Render does nothing. The loop flag of
// Open is not used: this player plays once.
#pragma once

#include "platform/dshow.h"
#include "videoplayer9/VideoPlayer.h"

class CVMR9AllocatorPresenter;

class CVMR9Player : public CVideoPlayer {
public:
    // The render core's objects; either may be null (the presenter then makes its own).
    CVMR9Player(IDirect3D9* d3d, IDirect3DDevice9* device);
    ~CVMR9Player() override;

    // Builds and (unless start paused) runs the graph; false, with the failure reported, when any
    // step fails. A second Open closes the first graph.
    bool Open(HWND window, const char* fileName, uint8_t loop, float left, float top, float width, float height,
              uint32_t volume, uint8_t startPaused) override;
    bool Pause() override;
    bool Play() override;
    // Also closes the player.
    bool Stop() override;
    void Close() override;
    // True once less than a millisecond is left (and with no graph).
    bool IsFinished() override;
    int32_t GetPosition() override;
    void SetVolume(uint32_t volume) override;
    int32_t GetDuration() override;
    uint8_t SetFrontEndUpdate(uint8_t on) override;
    int32_t GetFrontEndResult() override;
    bool Update() override;
    void Render() override;

private:
    // Makes the allocator-presenter for the window and rectangle and installs it in the VMR.
    HRESULT SetAllocatorPresenter(IBaseFilter* filter, HWND window, float left, float top, float width, float height);

    HWND m_hWnd = nullptr;
    IDirect3D9* m_pD3D;
    IDirect3DDevice9* m_pD3DDevice;
    IGraphBuilder* m_pGraph = nullptr;
    IBaseFilter* m_pVMR9Filter = nullptr;
    IMediaControl* m_pMediaControl = nullptr;
    CVMR9AllocatorPresenter* m_pAlloc = nullptr;
    IMediaPosition* m_pMediaPosition = nullptr;
    IBasicAudio* m_pBasicAudio = nullptr;
};
