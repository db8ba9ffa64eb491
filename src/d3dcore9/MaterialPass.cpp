// What a material's state block cannot hold because it changes with time or the scene: texture
// matrices (static and animated), the texture factor (animated, or the DOT3 light direction) and
// the material colours, set before each pass and undone after it.
#include "d3dcore9/D3DCore.h"

#include "d3dcore9/MaterialAnimation.h"
#include "d3dcore9/RenderMatrix.h"
#include "utility/Assert.h"
#include "utility/VectorMath.h"

#include <cmath>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

const float DEGREES = 0.017453292f;

// A colour program's value as a byte: +infinity means no program; not a number counts as 0.
bool factorByte(float value, DWORD& byte)
{
    if (std::isinf(value) && value > 0) return false;
    if (!(value > 0)) byte = 0;
    else if (value >= 255) byte = 255;
    else byte = static_cast<DWORD>(value);
    return true;
}

DWORD lightByte(float c)
{
    const float b = (c + 1.0f) * 127.5f;
    return b <= 0 || b != b ? 0 : (b >= 255 ? 255 : static_cast<DWORD>(b));
}

}  // namespace

DWORD D3DCore::ApplyColourModifiers(const GMaterial* GM, DWORD Colour)
{
    const DWORD a = Colour >> 24;
    if (GM->AddFade) Colour = a << 24 | a << 16 | a << 8 | a;
    if (GM->AddFadeModulate) {
        const DWORD r = (((Colour >> 16) & 0xFF) * a) >> 8, g = (((Colour >> 8) & 0xFF) * a) >> 8, b = ((Colour & 0xFF) * a) >> 8;
        Colour = a << 24 | r << 16 | g << 8 | b;
    }
    return Colour;
}

void D3DCore::SetTextureMatrix(DWORD Stage, DWORD Flags, const D3DMATRIX& Matrix)
{
    SetTextureStageState(Stage, D3DTSS_TEXTURETRANSFORMFLAGS, Flags);
    if (device()) device()->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + Stage), &Matrix);
    ++StateChanges;
}

void D3DCore::SetupMaterialPass(StateBlock* SB, DWORD Pass)
{
    GMaterial* GM = SB ? SB->GMaterial : nullptr;
    if (!GM || Pass >= MAXPASSES) return;
    if (GM->TextureMatrixCount)
        for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage)
            if (const D3DMATRIX* m = GM->TextureMatrix[Pass][stage]) SetTextureMatrix(stage, D3DTTFF_COUNT2, *m);

    const DWORD mode = GM->BumpMapType[Pass];
    if (mode == BUMP_DOT3TFACTOR || mode == BUMP_PIXELSHADER) {
        const D3DMATRIX& W = WorldMatrix;
        float d[3];
        if (ProminentLight) {
            d[0] = ProminentLight[0], d[1] = ProminentLight[1], d[2] = ProminentLight[2];
        } else {
            assertFailed("false", __FILE__, __LINE__);
            d[0] = W.m[2][0], d[1] = W.m[2][1], d[2] = W.m[2][2];
        }
        ASSERT(ProminentIntensity <= 1.0f);
        // The negated direction into object space by the transposed rotation.
        float o[3];
        for (int i = 0; i < 3; ++i) o[i] = -(d[0] * W.m[i][0] + d[1] * W.m[i][1] + d[2] * W.m[i][2]);
        const float lengthSquared = o[0] * o[0] + o[1] * o[1] + o[2] * o[2];
        const float scale = lengthSquared > 0 ? fastInvSqrt(lengthSquared) * ProminentIntensity : 0.0f;
        for (int i = 0; i < 3; ++i) LightColour[i] = static_cast<int32_t>(lightByte(o[i] * scale));
        if (mode == BUMP_DOT3TFACTOR)
            SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u | static_cast<DWORD>(LightColour[0]) << 16 |
                                                    static_cast<DWORD>(LightColour[1]) << 8 |
                                                    static_cast<DWORD>(LightColour[2]));
    } else if (mode != BUMP_NONE) {
        assertFailed("false", __FILE__, __LINE__);
    }

    // Animation belongs to the first pass only.
    AnimatedStages = 0;
    if (Pass != 0) return;
    for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage)
        if (GM->Animation[stage]) {
            ApplyTextureAnimation(GM, stage);
            AnimatedStages = 1;
        }
}

void D3DCore::ResetMaterialPass(StateBlock* SB, DWORD Pass)
{
    GMaterial* GM = SB ? SB->GMaterial : nullptr;
    if (!GM || Pass >= MAXPASSES) return;
    if (AnimatedStages)
        for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage)
            if (GM->Animation[stage] && GM->Animation[stage]->UVType != MaterialAnimation::UV_NOMATRIX)
                SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    if (GM->TextureMatrixCount)
        for (DWORD stage = 0; stage < MAXSBSTAGES; ++stage)
            if (GM->TextureMatrix[Pass][stage]) SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

void D3DCore::ApplyTextureAnimation(GMaterial* GM, DWORD Stage)
{
    MaterialAnimation* A = GM && Stage < MAXSBSTAGES ? GM->Animation[Stage] : nullptr;
    if (!A) return;
    auto P = [&](uint32_t slot) { return A->Evaluate(slot, GM); };
    if (GM->VertexShader || GM->PixelShader) P(MaterialAnimation::SHADERREGISTERS);

    // The colour programs replace their bytes of the factor in force.
    DWORD factor = RenderStates[D3DRS_TEXTUREFACTOR];
    bool any = false;
    const struct {
        uint32_t slot;
        int shift;
    } bytes[4] = {{MaterialAnimation::AFACTOR, 24}, {MaterialAnimation::RFACTOR, 16}, {MaterialAnimation::GFACTOR, 8},
                  {MaterialAnimation::BFACTOR, 0}};
    for (const auto& b : bytes) {
        DWORD value;
        if (!factorByte(P(b.slot), value)) continue;
        factor = (factor & ~(0xFFu << b.shift)) | value << b.shift;
        any = true;
    }
    if (any) SetRenderState(D3DRS_TEXTUREFACTOR, ApplyColourModifiers(GM, factor));

    const uint32_t kind = A->UVType;
    if (kind == MaterialAnimation::UV_NOMATRIX) return;
    if (kind == MaterialAnimation::UV_CUBEMAP) {
        if (GM->VertexShader)
            SetTextureStageState(Stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        else
            SetTextureMatrix(Stage, D3DTTFF_COUNT3, CameraTextureMatrix);
        return;
    }

    D3DMATRIX& M = ScratchTextureMatrix;
    M = D3DMATRIX{};
    const float su = P(MaterialAnimation::SCALEU), sv = P(MaterialAnimation::SCALEV);
    float tu = 0, tv = 0;
    if (su == 1.0f && sv == 1.0f) {
        M.m[0][0] = M.m[1][1] = 1.0f;
    } else {
        M.m[0][0] = su;
        M.m[1][1] = sv;
        const float cu = P(MaterialAnimation::SCALEUORIG), cv = P(MaterialAnimation::SCALEVORIG);
        if (cu != 0 || cv != 0) {
            tu = (1 - su) * cu;
            tv = (1 - sv) * cv;
        }
    }
    const float a = P(MaterialAnimation::ROTATE);
    if (a != 0) {
        const float ru = P(MaterialAnimation::ROTATEUAXIS), rv = P(MaterialAnimation::ROTATEVAXIS);
        const float c = std::cos(a * DEGREES), s = std::sin(a * DEGREES);
        const float u = tu - ru, v = tv - rv;
        M.m[0][0] = c * su;
        M.m[0][1] = -s * su;
        M.m[1][0] = s * sv;
        M.m[1][1] = c * sv;
        tu = c * u + s * v + ru;
        tv = c * v - s * u + rv;
    }
    tu += P(MaterialAnimation::OFFSETU);
    tv += P(MaterialAnimation::OFFSETV);
    if (kind == MaterialAnimation::UV_EXPLICIT) {
        // Explicit coordinates are read as (u, v, 1): the offset sits in the third row.
        M.m[2][0] = tu;
        M.m[2][1] = tv;
        M.m[2][2] = 1.0f;
        M.m[3][3] = 1.0f;
    } else {
        // Generated coordinates are (x, y, z, 1): the offset sits in the fourth row.
        M.m[2][3] = 1.0f;
        M.m[3][0] = tu;
        M.m[3][1] = tv;
        M.m[3][3] = 1.0f;
    }
    if (!GM->VertexShader) {
        SetTextureMatrix(Stage, D3DTTFF_COUNT2, M);
        return;
    }
    const int32_t reg = GM->TextureMatrixRegister[Stage];
    // Four registers from a register the material names: none may lie past the last one.
    if (reg < 0 || reg + 3 > 95) return;
    D3DMATRIX C = M;
    C.m[3][0] = C.m[2][0];
    C.m[3][1] = C.m[2][1];
    C.m[2][0] = C.m[2][1] = 0.0f;
    float* registers = GetVertexShaderConstants(reg, 4);
    if (!registers) return;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) registers[r * 4 + c] = C.m[c][r];
}

void D3DCore::SetMaterialColours(StateBlock* SB)
{
    GMaterial* GM = SB ? SB->GMaterial : nullptr;
    if (!GM) return;
    bool any = false;
    auto source = [&](const float colour[3], D3DCOLORVALUE& out, DWORD state) {
        if (colour[0] == -1.0f) {
            SetRenderState(state, D3DMCS_COLOR1);
            return;
        }
        out = D3DCOLORVALUE{colour[0], colour[1], colour[2], 1.0f};
        SetRenderState(state, D3DMCS_MATERIAL);
        any = true;
    };
    source(GM->Diffuse, NodeMaterial.Diffuse, D3DRS_DIFFUSEMATERIALSOURCE);
    source(GM->Ambient, NodeMaterial.Ambient, D3DRS_AMBIENTMATERIALSOURCE);
    if (!any) return;
    if (device()) device()->SetMaterial(&NodeMaterial);
    ++StateChanges;
}

void D3DCore::BuildCameraTextureMatrix()
{
    D3DMATRIX M = ViewMatrix;
    for (int i = 0; i < 3; ++i) {
        M.m[2][i] = -M.m[2][i];
        M.m[3][i] = 0.0f;
        M.m[i][3] = 0.0f;
    }
    RenderMatrix::setInverseAffine(M);
    RenderMatrix::rotateX(M, 1.5707964f);
    RenderMatrix::rotateY(M, -1.5707964f);
    CameraTextureMatrix = M;
}
