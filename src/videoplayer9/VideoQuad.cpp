#include "videoplayer9/VideoQuad.h"

#include <cstring>

CVideoQuad::CVideoQuad()
{
    for (VideoVertex& v : m_Vertices) v = VideoVertex{0, 0, 0, 0.999f, 0xFFFFFFFFu, 0, 0};
    SetRectangle(0, 0, 640, 480);
    SetTextureExtent(1, 1);
}

CVideoQuad::~CVideoQuad() { ReleaseBuffer(); }

void CVideoQuad::SetRectangle(float left, float top, float width, float height)
{
    m_Vertices[0].x = left, m_Vertices[0].y = top;
    m_Vertices[1].x = left, m_Vertices[1].y = top + height;
    m_Vertices[2].x = left + width, m_Vertices[2].y = top;
    m_Vertices[3].x = left + width, m_Vertices[3].y = top + height;
}

void CVideoQuad::SetTextureExtent(float u, float v)
{
    m_Vertices[0].u = 0, m_Vertices[0].v = 0;
    m_Vertices[1].u = 0, m_Vertices[1].v = v;
    m_Vertices[2].u = u, m_Vertices[2].v = 0;
    m_Vertices[3].u = u, m_Vertices[3].v = v;
}

HRESULT CVideoQuad::CreateBuffer(IDirect3DDevice9* device)
{
    ReleaseBuffer();
    if (!device) return E_POINTER;
    return device->CreateVertexBuffer(sizeof(m_Vertices), D3DUSAGE_WRITEONLY, VIDEO_FVF, D3DPOOL_MANAGED, &m_pVB,
                                      nullptr);
}

void CVideoQuad::ReleaseBuffer()
{
    if (m_pVB) m_pVB->Release();
    m_pVB = nullptr;
}

HRESULT CVideoQuad::Fill()
{
    if (!m_pVB) return D3DERR_INVALIDCALL;
    void* data = nullptr;
    HRESULT hr = m_pVB->Lock(0, sizeof(m_Vertices), &data, 0);
    if (FAILED(hr)) return hr;
    std::memcpy(data, m_Vertices, sizeof(m_Vertices));
    return m_pVB->Unlock();
}
