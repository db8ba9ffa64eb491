#include "matcore9/Forwarders.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/RenderMatrix.h"
#include "utility/Assert.h"

namespace {

// A handle of -1 is reported (by the table) unless quiet.
GMaterial* materialOf(DWORD Handle, bool quiet = false)
{
    if (quiet && Handle == SB_NONE) return nullptr;
    StateBlock* SB = D3DCore.StateBlocks.GetSB(Handle);
    return SB ? SB->GMaterial : nullptr;
}

// Each colour component reported when outside 0..255.
bool components(int32_t R, int32_t G, int32_t B, int32_t A)
{
    bool ok = VERIFY(R >= 0 && R <= 255);
    ok = VERIFY(G >= 0 && G <= 255) && ok;
    ok = VERIFY(B >= 0 && B <= 255) && ok;
    return VERIFY(A >= 0 && A <= 255) && ok;
}

}  // namespace

void MatBeginScene(bool clear) { D3DCore.BeginScene(clear, false); }

void MatEndScene() { D3DCore.EndScene(true); }

void MatPresent(bool runOffscreenPasses) { D3DCore.Present(runOffscreenPasses); }

void MatRunRenderCallbacks() { D3DCore.RunOffscreenPasses(); }

void MatSetCameraAnglesZFirst(float a1, float a2, float a3, float x, float y, float z)
{
    D3DCore.SetCameraAnglesZFirst(a1, a2, a3, x, y, z);
}

void MatSetCameraAngles(float a1, float a2, float a3, float x, float y, float z)
{
    D3DCore.SetCameraAngles(a1, a2, a3, x, y, z);
}

void MatSetViewMatrix(const D3DMATRIX& matrix)
{
    D3DCore.ViewMatrix = matrix;
    RenderMatrix::multiply(D3DCore.ViewProjection, D3DCore.ViewMatrix, D3DCore.ProjectionMatrix);
    if (DXInterface.ID3DDevice) DXInterface.ID3DDevice->SetTransform(D3DTS_VIEW, &D3DCore.ViewMatrix);
}

void MatSetPerspective(float nearZ, float farZ, float scaleX, float scaleY)
{
    D3DCore.SetPerspective(nearZ, farZ, scaleX, scaleY, false);
}

void MatSetBorderColour(bool Enable, int32_t R, int32_t G, int32_t B, BYTE Flag)
{
    D3DCore.SetBorderColour(Enable, R, G, B, Flag);
}

int32_t MatShowLoadingScreen(const char* Text, int32_t Level) { return D3DCore.ShowLoadingScreen(Text, Level != 0); }

void MatEnableLoadingScreen(bool On, bool Flag)
{
    D3DCore.EnableLoadingScreen(On);
    D3DCore.SetLoadingUpdateMode(Flag);
}

void MatSetLoadingText(const char* Text) { D3DCore.SetLoadingText(Text); }

void MatSetFade(int32_t Alpha) { D3DCore.SetFade(Alpha); }

void MatSetAutoTransparency(BYTE on) { D3DCore.AutoTransparency = on; }

DWORD MatFindStateBlock(const char* MatID) { return D3DCore.StateBlocks.FindSBByMatID(MatID); }

bool MatFindStateBlocksByMatID(const char* MatID, DWORD* Handles, DWORD ArraySize, DWORD* NumFound)
{
    return D3DCore.StateBlocks.FindSBsByMatID(MatID, Handles, ArraySize, NumFound);
}

DWORD MatFindStageID(DWORD Handle, const char* StageName)
{
    const GMaterial* GM = materialOf(Handle, true);
    return GM ? GM->FindStageID(StageName) : 0xFFFFFFFFu;
}

void MatSetStageTextureMatrix(DWORD Handle, DWORD IDHandle, const float matrix[9])
{
    if (GMaterial* GM = materialOf(Handle)) GM->SetStageTextureMatrix(IDHandle, matrix);
}

void SetTextureFactor(DWORD Handle, int32_t R, int32_t G, int32_t B, int32_t A)
{
    GMaterial* GM = materialOf(Handle);
    if (!components(R, G, B, A) || !GM) return;
    GM->TextureFactor = static_cast<DWORD>(A) << 24 | static_cast<DWORD>(R) << 16 | static_cast<DWORD>(G) << 8 |
                        static_cast<DWORD>(B);
}

void SetTextureFactorAlpha(DWORD Handle, int32_t A)
{
    GMaterial* GM = materialOf(Handle);
    if (!components(0, 0, 0, A) || !GM) return;
    GM->TextureFactor = (GM->TextureFactor & 0x00FFFFFFu) | static_cast<DWORD>(A) << 24;
}

void SetTextureFactorRGB(DWORD Handle, int32_t R, int32_t G, int32_t B)
{
    GMaterial* GM = materialOf(Handle);
    if (!components(R, G, B, 0) || !GM) return;
    GM->TextureFactor = (GM->TextureFactor & 0xFF000000u) | static_cast<DWORD>(R) << 16 | static_cast<DWORD>(G) << 8 |
                        static_cast<DWORD>(B);
}
