// The quad a VMR9 frame is drawn on: four pre-transformed, lit vertices as a triangle strip
// (top left, bottom left, top right, bottom right) and the vertex buffer they are copied into.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

struct VideoVertex {
    float x, y, z, rhw;
    DWORD colour;
    float u, v;
};
static_assert(sizeof(VideoVertex) == 28);

const DWORD VIDEO_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class CVideoQuad {
public:
    // Corners (0, 0), (0, 480), (640, 0), (640, 480); z 0, rhw 0.999, white, the whole texture.
    CVideoQuad();
    ~CVideoQuad();
    CVideoQuad(const CVideoQuad&) = delete;
    CVideoQuad& operator=(const CVideoQuad&) = delete;

    void SetRectangle(float left, float top, float width, float height);
    // The part of the texture the picture fills: (0, 0) to (u, v).
    void SetTextureExtent(float u, float v);
    // A new write-only managed buffer of the four vertices on the device.
    HRESULT CreateBuffer(IDirect3DDevice9* device);
    void ReleaseBuffer();
    // Copies the vertices into the buffer.
    HRESULT Fill();

    IDirect3DVertexBuffer9* Buffer() const { return m_pVB; }
    const VideoVertex* Vertices() const { return m_Vertices; }

private:
    VideoVertex m_Vertices[4];
    IDirect3DVertexBuffer9* m_pVB = nullptr;
};
