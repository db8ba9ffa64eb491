// Overlay pages: a material with one or two textures and a page file of rectangles (sprites) on
// the first texture; a font page also maps character codes to sprites and gives each an advance.
// Quads of one page are batched between MatCore::BeginOverlay and MatCore::EndOverlay into locked
// dynamic buffers and drawn as one indexed triangle list, 128 quads at a time.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

const int32_t MAXOVERLAYPAGES = 130;
const int32_t OVERLAYVERTICES = 512;
const int32_t OVERLAYINDICES = 768;
// A page file asking for more sprites than this is refused.
const int32_t MAXOVERLAYSPRITES = 65536;
const uint32_t OVERLAY_FVF_ONE = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 324
const uint32_t OVERLAY_FVF_TWO = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2;  // 580

struct OverlaySpriteRect {
    float U0, V0, U1, V1;
    int32_t Width, Height;  // pixels, scaled as loaded
};

struct OverlayPageInfo {
    bool Used = false;
    bool Font = false;
    DWORD StateBlock = 0xFFFFFFFFu;
    int32_t Sprites = 0;
    OverlaySpriteRect* Sprite = nullptr;  // Sprites records
    int32_t* Widths = nullptr;        // advance per sprite (fonts)
    BYTE* CharMap = nullptr;          // 256 sprite indices by character code (fonts)
    int32_t VertexBuffer = -1;        // the dynamic vertex buffer of the page's format
    int32_t Textures = 1;             // texture coordinate sets per vertex
};

struct OverlayBatch {
    bool OverlayStarted = false;
    int32_t CurrentOverlayPage = -1;
    int32_t NextOverlayVertex = 0;
    int32_t NextOverlayIndex = 0;
    BYTE* Vertices = nullptr;  // the locked buffers
    uint16_t* Indices = nullptr;
    float OverlayMatrix[2][9] = {};
    bool OverlayMatrixUsed[2] = {};
};
