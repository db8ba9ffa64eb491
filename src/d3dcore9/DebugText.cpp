// D3DCore: the debug-text printer. Text is drawn with the debug font (data\font.mtl, loaded by the
// material library): a texture of 16 x 8 character cells, one screen-space quad per character.
#include "d3dcore9/D3DCore.h"

#include "utility/Assert.h"

#include <cstring>

namespace {

const DWORD DEBUG_TEXT_FVF = D3DFVF_XYZRHW | D3DFVF_TEX1;

struct GlyphVertex {
    float x, y, z, rhw;
    float u, v;
};
static_assert(sizeof(GlyphVertex) == 24);

D3DCore::DebugTextObserver observer = nullptr;

}  // namespace

void D3DCore::SetDebugTextObserver(DebugTextObserver o) { observer = o; }

void D3DCore::CreateDebugTextBuffer()
{
    ASSERT(DebugPrintVertexBuffer == -1);
    DebugPrintVertexBuffer = CreateDynamicVertexBuffer(DEBUG_TEXT_FVF);
}

void D3DCore::ReleaseDebugTextBuffer() { DebugPrintVertexBuffer = -1; }

void D3DCore::SetDebugTextMode(int32_t mode) { DebugTextMode = mode; }

void D3DCore::DebugPrint(const char* text, float x, float y)
{
    if (DebugTextMode != 0 || !BegunScene || !text || !text[0]) return;
    DrawDebugText(text, x, y, 1.0f);
}

void D3DCore::DebugPrintScaled(const char* text, float x, float y, float scale, bool sceneBegun, bool force)
{
    if (DebugTextMode == 2 && !force) return;
    if ((!BegunScene && !sceneBegun) || !text || !text[0]) return;
    DrawDebugText(text, x, y, scale);
}

void D3DCore::DrawDebugText(const char* text, float x, float y, float scale)
{
    if (observer) observer(text, x, y, scale);
    // Without the font there is nothing to draw with: the material library loads it with the device.
    if (!FontLoaded || !DeviceActive || DeviceLost) return;
    if (!VERIFY(TotalDynamicVertexBuffers9 > DebugPrintVertexBuffer) || DebugPrintVertexBuffer < 0) return;
    StateBlock* SB = StateBlocks.GetSB(DebugFontBlock);
    if (!SB) return;
    DynamicVB& vb = DynamicVertexBuffer9[DebugPrintVertexBuffer];
    // A lock above a third of the buffer is refused: long texts go in pieces.
    const size_t perLock = vb.MaxVertices / 3 / 6;
    if (perLock == 0) return;
    const float left = static_cast<float>(FrameViewPort.X) + x - 0.5f;
    const float top = static_cast<float>(FrameViewPort.Y) + y - 0.5f;
    const float w = 4.0f * scale, h = 8.0f * scale;
    const size_t length = std::strlen(text);
    for (size_t first = 0; first < length; first += perLock) {
        const size_t count = length - first < perLock ? length - first : perLock;
        auto* v = static_cast<GlyphVertex*>(vb.Lock(static_cast<uint32_t>(count * 6)));
        if (!v) return;
        for (size_t i = 0; i < count; ++i) {
            // Codes of 128 and above fall below the grid's eight rows; they are drawn as they come.
            const unsigned c = static_cast<unsigned char>(text[first + i]);
            const float u0 = static_cast<float>(c % 16) / 16.0f, v0 = static_cast<float>(c / 16) / 8.0f;
            const float u1 = u0 + 1.0f / 16.0f, v1 = v0 + 1.0f / 8.0f;
            const float x0 = left + w * static_cast<float>(first + i), x1 = x0 + w, y0 = top, y1 = top + h;
            const GlyphVertex quad[6] = {{x0, y0, 0.01f, 100.0f, u0, v0}, {x1, y0, 0.01f, 100.0f, u1, v0},
                                         {x0, y1, 0.01f, 100.0f, u0, v1}, {x0, y1, 0.01f, 100.0f, u0, v1},
                                         {x1, y0, 0.01f, 100.0f, u1, v0}, {x1, y1, 0.01f, 100.0f, u1, v1}};
            std::memcpy(v + i * 6, quad, sizeof(quad));
        }
        vb.Unlock();
        ApplyStateBlock(SB, 0, DEBUG_TEXT_FVF);
        vb.DrawTriList();
        CountDraw(D3DPT_TRIANGLELIST, static_cast<uint32_t>(count * 2), static_cast<uint32_t>(count * 6), 0);
    }
}
