// Drawing straight from the caller's memory, for the odd debug or effect line that has no buffer of
// its own. The calls go to the device past the caches, which then forget what they went round.
#include "d3dcore9/D3DCore.h"

namespace {

// No flexible vertex format has every bit set: the next SetFVF always reaches the device.
const DWORD FVF_UNKNOWN = 0xFFFFFFFFu;

// The vertices' own colour, whatever the last material left in the first stage.
const struct {
    DWORD stage, type, value;
} LINE_STAGES[] = {
    {0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {0, D3DTSS_COLORARG1, D3DTA_DIFFUSE},
    {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1}, {0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE},
    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
};

}  // namespace

void D3DCore::DrawUserLines(const void* vertices, UINT numLines, UINT stride)
{
    IDirect3DDevice9* pDevice = DXInterface.ID3DDevice;
    if (!vertices || numLines == 0 || !pDevice || DeviceLost) return;
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    SetWorldMatrix(identity);
    SetTexture(0, nullptr);
    for (const auto& s : LINE_STAGES)
        pDevice->SetTextureStageState(s.stage, static_cast<D3DTEXTURESTAGESTATETYPE>(s.type), s.value);
    pDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    pDevice->SetVertexShader(nullptr);
    pDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    pDevice->DrawPrimitiveUP(D3DPT_LINELIST, numLines, vertices, stride);
    // The stages go back to what the cache holds; where it holds nothing, nothing is lost.
    for (const auto& s : LINE_STAGES)
        if (StageStates[s.stage][s.type] != STATE_UNKNOWN)
            pDevice->SetTextureStageState(s.stage, static_cast<D3DTEXTURESTAGESTATETYPE>(s.type),
                                          StageStates[s.stage][s.type]);
    RenderStates[D3DRS_LIGHTING] = STATE_UNKNOWN;
    VertexShader = SHADER_UNKNOWN;
    FVF = FVF_UNKNOWN;
    Declaration = nullptr;
    // A draw from memory leaves the device without a stream 0.
    StreamSources[0] = nullptr;
}
