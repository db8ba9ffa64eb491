#include "videotexture/VideoTexture.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/DXWrappers.h"
#include "fegamelink/FEGameLink.h"
#include "matcore9/MatCore.h"
#include "platform/com.h"
#include "utility/Assert.h"
#include "l3render/L3Render.h"
#include "videoplayer9/VideoQuad.h"
#include "videotexture/TextureRenderer.h"

#include <cstring>

namespace {

const char* const MATERIAL = "data\\frontend\\movie.mtl";
const char* const DUMMY_TEXTURE = "data\\frontend\\dummy.tga";

bool failed(const char* message) { return videoOpenFailed(message); }

// A failed check named as the code names the pointer it needed.
bool missing(const char* expression)
{
    assertFailed(expression, __FILE__, __LINE__);
    return false;
}

}  // namespace

CVideoTexture::CVideoTexture(uint8_t halfSize) : m_HalfSize(halfSize)
{
    TexNames names;
    names.TotalNames = 1;
    std::strncpy(names.Name[0], DUMMY_TEXTURE, SB_TEXNAME_SIZE - 1);
    const bool result = MatCore.LoadMaterial(MATERIAL, names, &m_StateBlock);
    if (!result) assertFailedMsg("Failed to build state block for video texture", "result", __FILE__, __LINE__);
    m_DynamicVB = D3DCore.CreateDynamicVertexBuffer(VIDEO_FVF);
}

CVideoTexture::~CVideoTexture()
{
    ReleaseGraph();
    if (m_StateBlock != 0xFFFFFFFFu) D3DCore.StateBlocks.ReleaseSB(m_StateBlock);
}

void CVideoTexture::ReleaseGraph()
{
    if (m_pMC) m_pMC->Stop();
    DXReleaseInterface(m_pBA);
    DXReleaseInterface(m_pMC);
    DXReleaseInterface(m_pME);
    DXReleaseInterface(m_pMP);
    // The graph holds the last reference to the renderer.
    DXReleaseInterface(m_pGraph);
    m_pTextureRenderer = nullptr;
}

bool CVideoTexture::Open(HWND, const char* fileName, uint8_t loop, float left, float top, float width, float height,
                         uint32_t, uint8_t)
{
    if (!fileName) return missing("pFilename");
    CoInitialize(nullptr);
    m_Left = left;
    m_Top = top;
    m_Width = width;
    m_Height = height;
    m_Loop = loop;
    ReleaseGraph();
    return BuildGraph(fileName);
}

bool CVideoTexture::BuildGraph(const char* fileName)
{
    if (!videoNewGraph(&m_pGraph)) return false;
    WCHAR path[MAX_PATH];
    IBaseFilter* source = nullptr;
    if (!videoWideName(fileName, path) || FAILED(m_pGraph->AddSourceFilter(path, path, &source)))
        return failed("Failed to add source filter");

    HRESULT hr = E_FAIL;
    auto* renderer = new CTextureRenderer(nullptr, &hr, m_HalfSize);
    renderer->AddRef();  // ours until the graph holds it
    if (FAILED(hr)) {
        renderer->Release();
        source->Release();
        return failed("Failed to create texture renderer");
    }
    hr = m_pGraph->AddFilter(renderer, u"TEXTURERENDERER");
    IPin* input = nullptr;
    if (SUCCEEDED(hr)) renderer->FindPin(u"In", &input);
    m_pTextureRenderer = SUCCEEDED(hr) ? renderer : nullptr;
    renderer->Release();
    if (FAILED(hr)) {
        source->Release();
        return failed("Failed to add texturerenderer filter to graph");
    }
    if (!input) {
        source->Release();
        return missing("pTextureRendererInputPin");
    }
    input->Release();

    // Every output: the pictures go to the renderer already in the graph, the sound to the mixer.
    IEnumPins* pins = nullptr;
    if (FAILED(source->EnumPins(&pins))) {
        source->Release();
        return failed("Failed to enum source filter pins");
    }
    bool ok = true;
    IPin* pin = nullptr;
    while (ok && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        if (FAILED(pin->QueryDirection(&direction)))
            ok = failed("Failed to get pin direction");
        else if (direction == PINDIR_OUTPUT)
            m_pGraph->Render(pin);
        pin->Release();
    }
    pins->Release();
    source->Release();
    if (!ok) return false;

    static const char* const LACKING[] = {"m_pMC", "m_pMP", "m_pME", "m_pBA"};
    const int lacking = videoQueryGraph(m_pGraph, {{IID_IMediaControl, reinterpret_cast<void**>(&m_pMC)},
                                                   {IID_IMediaPosition, reinterpret_cast<void**>(&m_pMP)},
                                                   {IID_IMediaEvent, reinterpret_cast<void**>(&m_pME)},
                                                   {IID_IBasicAudio, reinterpret_cast<void**>(&m_pBA)}});
    if (lacking >= 0) return missing(LACKING[lacking]);
    REFTIME duration = 0;
    m_pMP->get_Duration(&duration);
    m_Duration = static_cast<int32_t>(duration * 1000.0);
    if (FAILED(m_pMC->Run())) return missing("SUCCEEDED(m_pMC->Run())");
    return true;
}

bool CVideoTexture::Pause() { return m_pMC && SUCCEEDED(m_pMC->Pause()); }

bool CVideoTexture::Play() { return m_pMC && SUCCEEDED(m_pMC->Run()); }

bool CVideoTexture::Stop() { return m_pMC && SUCCEEDED(m_pMC->Stop()); }

void CVideoTexture::Close() {}

bool CVideoTexture::IsFinished() { return videoFinished(m_pMP); }

int32_t CVideoTexture::GetPosition() { return videoPosition(m_pMP); }

int32_t CVideoTexture::GetDuration() { return videoDuration(m_pMP); }

void CVideoTexture::SetVolume(uint32_t volume)
{
    if (m_pBA) m_pBA->put_Volume(videoVolume(volume));
}

uint8_t CVideoTexture::SetFrontEndUpdate(uint8_t on)
{
    m_FrontEndUpdate = on;
    return on;
}

int32_t CVideoTexture::GetFrontEndResult() { return m_FrontEndResult; }

bool CVideoTexture::Update()
{
    if (!m_pME) return true;
    LONG code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    bool result = true;
    if (SUCCEEDED(m_pME->GetEvent(&code, &param1, &param2, 0))) {
        if (code == EC_COMPLETE) {
            if (m_Loop) {
                if (m_pMP) m_pMP->put_CurrentPosition(0);
            } else {
                result = false;
            }
        }
        m_pME->FreeEventParams(code, param1, param2);
    }
    return result;
}

void CVideoTexture::Render()
{
    if (D3DCore.DeviceLost || !m_pTextureRenderer) return;
    CTextureRenderer& renderer = *m_pTextureRenderer;
    renderer.Lock();
    IDirect3DTexture9* texture = renderer.GetTexture();
    L3BeginScene(false);
    if (texture && m_DynamicVB >= 0) {
        const float u = static_cast<float>(renderer.GetVideoWidth()) / renderer.GetTextureWidth();
        const float v = static_cast<float>(renderer.GetVideoHeight()) / renderer.GetTextureHeight();
        DynamicVB& buffer = D3DCore.DynamicVertexBuffer9[m_DynamicVB];
        if (auto* quad = static_cast<VideoVertex*>(buffer.Lock(4))) {
            // Half a pixel up and left, so texels meet pixels; texture row 0 at the bottom shows
            // the bottom-up frames upright.
            const float l = m_Left - 0.5f, t = m_Top - 0.5f, r = l + m_Width, b = t + m_Height;
            quad[0] = VideoVertex{l, b, 0, 0.999f, 0xFFFFFFFFu, 0, 0};
            quad[1] = VideoVertex{l, t, 0, 0.999f, 0xFFFFFFFFu, 0, v};
            quad[2] = VideoVertex{r, b, 0, 0.999f, 0xFFFFFFFFu, u, 0};
            quad[3] = VideoVertex{r, t, 0, 0.999f, 0xFFFFFFFFu, u, v};
            buffer.Unlock();
            if (StateBlock* SB = D3DCore.StateBlocks.GetSB(m_StateBlock)) D3DCore.ApplyStateBlock(SB, 0, 0);
            D3DCore.SetTexture(0, texture);
            D3DCore.SetVertexShader(nullptr);
            D3DCore.SetFVF(VIDEO_FVF);
            buffer.DrawTriStrip();
        }
    }
    L3EndScene();
    if (m_FrontEndUpdate) m_FrontEndResult = getFEGameLink()->UpdateWaitFrontEnd(0, 0);
    L3Present(true);
    renderer.Unlock();
}
