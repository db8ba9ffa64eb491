// World and projection transforms, fog, and the snapshot of the render defaults.
#include "d3dcore9/D3DCore.h"

#include "d3dcore9/RenderMatrix.h"
#include "utility/Assert.h"

#include <cstring>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

DWORD floatBits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

}  // namespace

void D3DCore::SetWorldTransform(float AngleZ, float AngleY, float X, float Y, float Z, float Scale)
{
    if (!DeviceActive || !device()) return;
    D3DMATRIX m;
    RenderMatrix::buildRotationY(m, -AngleY);
    RenderMatrix::rotateZ(m, AngleZ);
    if (Scale != 1.0f)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) m.m[i][j] *= Scale;
    m.m[3][0] = X;
    m.m[3][1] = Y;
    m.m[3][2] = Z;
    m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
    m.m[3][3] = 1.0f;
    WorldMatrix = m;
    HRESULT Err = device()->SetTransform(D3DTS_WORLD, &WorldMatrix);
    ++WorldMatrixChanges;
    ASSERT(Err == D3D_OK);
}

void D3DCore::SetProjection(float Near, float Far, float Width, float Height)
{
    ASSERT(DeviceActive);
    ASSERT(DXInterface.ID3DDevice != NULL);
    D3DMATRIX m{};
    m.m[0][0] = 2 / Width;
    m.m[1][1] = 2 / Height;
    m.m[2][2] = 1 / (Far - Near);
    m.m[3][2] = -Near / (Far - Near);
    m.m[3][3] = 1;
    ProjectionMatrix = m;
    // The stored perspective no longer describes the device: the next perspective must not be
    // skipped as unchanged, and a restore or a depth bias re-sends this projection instead.
    NearZ = FarZ = ScaleX = ScaleY = 0;
    if (device()) device()->SetTransform(D3DTS_PROJECTION, &ProjectionMatrix);
}

void D3DCore::SetFog(float Start, float End, int32_t R, int32_t G, int32_t B)
{
    SetRenderState(D3DRS_FOGENABLE, TRUE);
    SetRenderState(D3DRS_FOGCOLOR, 0xFF000000u | ((R & 0xFF) << 16) | ((G & 0xFF) << 8) | (B & 0xFF));
    bool tableFog = CurrentDevice ? CurrentDevice->TableFog : (pDevice && pDevice->TableFog);
    if (tableFog) {
        SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
        SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    } else {
        SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
        SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    }
    SetRenderState(D3DRS_FOGSTART, floatBits(Start));
    SetRenderState(D3DRS_FOGEND, floatBits(End));
    FogR = R;
    FogG = G;
    FogB = B;
    FogEnabled = 1;
}

void D3DCore::EnableFog(bool on)
{
    SetRenderState(D3DRS_FOGENABLE, on ? TRUE : FALSE);
    FogEnabled = on ? 1 : 0;
}

void D3DCore::SaveRenderDefaults()
{
    std::memcpy(RenderStateDefaults, RenderStates, sizeof(RenderStates));
    std::memcpy(StageStateDefaults, StageStates, sizeof(StageStates));
}

void D3DCore::RestoreRenderDefaults()
{
    for (int state = 0; state < MAX_RENDER_STATES; ++state)
        if (RenderStateTouched[state]) SetRenderState(state, RenderStateDefaults[state]);
    for (int stage = 0; stage < MAX_TEXTURE_STAGES; ++stage)
        for (int type = 0; type < MAX_STAGE_STATES; ++type)
            if (StageStateTouched[stage][type]) SetTextureStageState(stage, type, StageStateDefaults[stage][type]);
    for (auto& s : StreamSources) s = nullptr;
    VertexShader = SHADER_UNKNOWN;
    PixelShader = SHADER_UNKNOWN;
    LastStateBlock = nullptr;
    LastStateList = nullptr;
}

void D3DCore::ForceRenderDefaults()
{
    for (int state = 0; state < MAX_RENDER_STATES; ++state)
        if (RenderStateTouched[state]) ForceRenderState(state, RenderStateDefaults[state]);
    for (int stage = 0; stage < MAX_TEXTURE_STAGES; ++stage)
        for (int type = 0; type < MAX_STAGE_STATES; ++type)
            if (StageStateTouched[stage][type]) ForceTextureStageState(stage, type, StageStateDefaults[stage][type]);
    for (auto& s : StreamSources) s = nullptr;
    LastStateBlock = nullptr;
    LastStateList = nullptr;
    if (device()) {
        device()->SetVertexShader(nullptr);
        device()->SetPixelShader(nullptr);
    }
    VertexShader = nullptr;
    PixelShader = nullptr;
}
