#include "videoplayer9/VMR9Player.h"

#include "d3dcore9/DXWrappers.h"
#include "utility/Assert.h"
#include "videoplayer9/VMR9AllocatorPresenter.h"

namespace {

const DWORD_PTR USER_ID = 0xACDCACDC;

bool failed(const char* message) { return videoOpenFailed(message); }

}  // namespace

CVMR9Player::CVMR9Player(IDirect3D9* d3d, IDirect3DDevice9* device) : m_pD3D(d3d), m_pD3DDevice(device) {}

CVMR9Player::~CVMR9Player() { Close(); }

bool CVMR9Player::Open(HWND window, const char* fileName, uint8_t, float left, float top, float width, float height,
                       uint32_t volume, uint8_t startPaused)
{
    if (!fileName || !fileName[0]) return false;
    m_hWnd = window;
    Close();
    if (!videoNewGraph(&m_pGraph)) return false;
    if (FAILED(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&m_pVMR9Filter))))
        return failed("Failed to create VideoMixingRenderer9");
    IVMRFilterConfig9* config = nullptr;
    if (FAILED(m_pVMR9Filter->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(&config))))
        return failed("Failed to create VMRFilterConfig9");
    const HRESULT renderless = config->SetRenderingMode(VMR9Mode_Renderless);
    const HRESULT streams = SUCCEEDED(renderless) ? config->SetNumberOfStreams(2) : E_FAIL;
    config->Release();
    if (FAILED(renderless)) return failed("Failed to set renderless mode");
    if (FAILED(streams)) return failed("Failed to set number of streams");
    if (FAILED(SetAllocatorPresenter(m_pVMR9Filter, window, left, top, width, height)))
        return failed("Failed to SetAllocatorPresenter");
    if (FAILED(m_pGraph->AddFilter(m_pVMR9Filter, u"Video Mixing Renderer 9"))) return failed("Failed to add VMR9 filter");
    static const char* const QUERY_FAILURES[] = {"Failed to query IMediaControl", "Failed to query IMediaPosition",
                                                 "Failed to query IBasicAudio"};
    const int lacking = videoQueryGraph(m_pGraph, {{IID_IMediaControl, reinterpret_cast<void**>(&m_pMediaControl)},
                                                   {IID_IMediaPosition, reinterpret_cast<void**>(&m_pMediaPosition)},
                                                   {IID_IBasicAudio, reinterpret_cast<void**>(&m_pBasicAudio)}});
    if (lacking >= 0) return failed(QUERY_FAILURES[lacking]);
    WCHAR path[MAX_PATH];
    if (!videoWideName(fileName, path) || FAILED(m_pGraph->RenderFile(path, nullptr)))
        return failed("Failed to render video file");
    SetVolume(volume);
    if (!startPaused && FAILED(m_pMediaControl->Run())) return failed("Failed to run video");
    return true;
}

HRESULT CVMR9Player::SetAllocatorPresenter(IBaseFilter* filter, HWND window, float left, float top, float width,
                                           float height)
{
    IVMRSurfaceAllocatorNotify9* notify = nullptr;
    HRESULT hr = filter->QueryInterface(IID_IVMRSurfaceAllocatorNotify9, reinterpret_cast<void**>(&notify));
    if (FAILED(hr)) {
        failed("Faied to query IVMRSurfaceAllocatorNotify9");
        return hr;
    }
    auto* presenter = new CVMR9AllocatorPresenter(hr, window, m_pD3D, m_pD3DDevice);
    if (FAILED(hr)) {
        presenter->Release();
        notify->Release();
        return hr;
    }
    presenter->SetRectangle(left, top, width, height);
    DXReleaseInterface(m_pAlloc);
    m_pAlloc = presenter;
    hr = notify->AdviseSurfaceAllocator(USER_ID, m_pAlloc);
    if (FAILED(hr))
        failed("Failed to AdviseSurfaceAllocator");
    else if (FAILED(hr = m_pAlloc->AdviseNotify(notify)))
        failed("Failed to AdviseNotify");
    notify->Release();
    return hr;
}

bool CVMR9Player::Pause() { return m_pMediaControl && SUCCEEDED(m_pMediaControl->Pause()); }

bool CVMR9Player::Play() { return m_pMediaControl && SUCCEEDED(m_pMediaControl->Run()); }

bool CVMR9Player::Stop()
{
    if (!m_pMediaControl) return false;
    const HRESULT hr = m_pMediaControl->Stop();
    Close();
    return SUCCEEDED(hr);
}

void CVMR9Player::Close()
{
    if (m_pMediaControl) m_pMediaControl->Stop();
    DXReleaseInterface(m_pGraph);
    DXReleaseInterface(m_pVMR9Filter);
    DXReleaseInterface(m_pAlloc);
    DXReleaseInterface(m_pBasicAudio);
    DXReleaseInterface(m_pMediaPosition);
    DXReleaseInterface(m_pMediaControl);
}

bool CVMR9Player::IsFinished() { return videoFinished(m_pMediaPosition); }

int32_t CVMR9Player::GetPosition() { return videoPosition(m_pMediaPosition); }

int32_t CVMR9Player::GetDuration() { return videoDuration(m_pMediaPosition); }

void CVMR9Player::SetVolume(uint32_t volume)
{
    if (m_pBasicAudio) m_pBasicAudio->put_Volume(videoVolume(volume));
}

// Without a presenter (before Open, after Close) there are no frames: the report, and nothing done.
uint8_t CVMR9Player::SetFrontEndUpdate(uint8_t on)
{
    if (!m_pAlloc) {
        assertFailed("pAlloc", __FILE__, __LINE__);
        return 0;
    }
    m_pAlloc->SetFrontEndUpdate(on);
    return on;
}

int32_t CVMR9Player::GetFrontEndResult()
{
    if (!m_pAlloc) {
        assertFailed("pAlloc", __FILE__, __LINE__);
        return 1;
    }
    return m_pAlloc->GetFrontEndResult();
}

bool CVMR9Player::Update() { return true; }

void CVMR9Player::Render() {}
