// State blocks on the device: one pass applied in a fixed order, material validation on placeholder
// textures, and the restore list of the last pass-0 block.
#include "d3dcore9/D3DCore.h"

#include "d3dcore9/DXWrappers.h"
#include "d3dcore9/LogWriter.h"
#include "d3dcore9/RenderMatrix.h"
#include "d3dcore9/MaterialTables.h"
#include "utility/Assert.h"

#include <cstring>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

const DWORD TTFF_DISABLE = 0;
const DWORD TTFF_COUNT3 = 3;

// Four registers of the constant cache, the matrix written transposed (a column per register).
void putTransposed(int32_t reg, const D3DMATRIX& m)
{
    if (reg < 0) return;
    float* c = D3DCore.GetVertexShaderConstants(reg, 4);
    if (!c) return;
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) c[r * 4 + k] = m.m[k][r];
}

void putProduct(int32_t reg, const D3DMATRIX& a, const D3DMATRIX& b)
{
    if (reg < 0) return;
    D3DMATRIX m;
    RenderMatrix::multiply(m, a, b);
    putTransposed(reg, m);
}

void setVector(float* c, float x, float y, float z, float w)
{
    c[0] = x;
    c[1] = y;
    c[2] = z;
    c[3] = w;
}

}  // namespace

DWORD D3DCore::StageCount() const
{
    const DXDevice* dev = CurrentDevice ? CurrentDevice : pDevice;
    if (!dev) return 0;
    return dev->MaxTextureBlendStages < MAXSBSTAGES ? dev->MaxTextureBlendStages : MAXSBSTAGES;
}

void D3DCore::ApplyStateList(const StateNode* node)
{
    for (; node; node = node->Next) {
        switch (node->Type) {
        case NODE_RENDERSTATE: SetRenderState(node->State, node->Value); break;
        case NODE_STAGESTATE: SetTextureStageState(node->Stage, node->State, node->Value); break;
        case NODE_TEXTURE:
            // A handle no longer in use binds nothing rather than a freed entry's texture.
            if (VERIFY(node->Stage < MAXSBSTAGES))
                SetTexture(static_cast<int32_t>(node->Stage),
                           node->Value == SB_NONE ? nullptr : materialtables::HWTexture(node->Value));
            break;
        case NODE_MATERIAL: {
            const D3DCOLORVALUE colour{node->Colour[0], node->Colour[1], node->Colour[2], 1.0f};
            NodeMaterial.Diffuse = NodeMaterial.Ambient = colour;
            if (device()) {
                HRESULT Err = device()->SetMaterial(&NodeMaterial);
                ASSERT(Err == D3D_OK);
            }
            break;
        }
        default: assertFailed("0", __FILE__, __LINE__); continue;
        }
        ++StateChanges;
    }
}

void D3DCore::ApplyStateBlock(StateBlock* SB, DWORD pass, DWORD fvf)
{
    IDirect3DDevice9* dev = device();
    if (!dev || !VERIFY(SB != NULL && SB->GMaterial != NULL)) return;
    GMaterial* GM = SB->GMaterial;
    if (!VERIFY(pass < GM->Passes && pass < MAXPASSES)) return;

    // 1. Depth bias through the projection.
    if (GM->DepthBias[pass] != PerspectiveFarMultiplier) {
        FarMultiplier = GM->DepthBias[pass];
        SetPerspective(NearZ, FarZ, ScaleX, ScaleY, false);
    }
    // 2. Texture factor.
    if (GM->UseTextureFactor) SetRenderState(D3DRS_TEXTUREFACTOR, GM->TextureFactor);
    // 3., 4. Pixel shader and its changed constants.
    const DXDevice* caps = CurrentDevice ? CurrentDevice : pDevice;
    if (caps && caps->PixelShaders) SetPixelShader(materialtables::PixelShader(GM->PixelShader));
    if (GM->PixelShader && PSConstantsLow <= PSConstantsHigh) {
        if (VERIFY(PSConstantsLow >= 0 && PSConstantsHigh <= 7)) {
            HRESULT Err = dev->SetPixelShaderConstantF(static_cast<UINT>(PSConstantsLow),
                                                       PixelShaderConstants[PSConstantsLow],
                                                       static_cast<UINT>(PSConstantsHigh - PSConstantsLow + 1));
            ASSERT(Err == D3D_OK);
        }
        PSConstantsLow = 1000;
        PSConstantsHigh = -1000;
    }

    const bool mixed = VertexProcessing == D3DCREATE_MIXED_VERTEXPROCESSING;
    if (GM->VertexShader) {
        // 5. Vertex shader: mixed devices run shaders in software.
        if (mixed && HWVertexProcessing) {
            dev->SetSoftwareVertexProcessing(TRUE);
            for (auto& s : StreamSources) s = nullptr;
            VertexShader = PixelShader = SHADER_UNKNOWN;
            HWVertexProcessing = 0;
        }
        if (ResetTexCoordIndex) {
            for (DWORD s = 0; s < StageCount(); ++s) SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, s);
            ResetTexCoordIndex = 0;
        }
        putProduct(GM->wvpmatrix, WorldMatrix, ViewProjection);
        putTransposed(GM->wmatrix, WorldMatrix);
        putTransposed(GM->vmatrix, ViewMatrix);
        putTransposed(GM->pmatrix, ProjectionMatrix);
        putTransposed(GM->vpmatrix, ViewProjection);
        putProduct(GM->wvmatrix, WorldMatrix, ViewMatrix);
        if (GM->pscubematrix >= 0) {
            if (float* c = GetVertexShaderConstants(GM->pscubematrix, 3)) {
                const D3DMATRIX& W = WorldMatrix;
                const D3DMATRIX& C = CameraTextureMatrix;
                setVector(c, -W.m[0][1], -W.m[1][1], -W.m[2][1], C.m[0][1]);
                setVector(c + 4, W.m[0][2], W.m[1][2], W.m[2][2], -C.m[0][2]);
                setVector(c + 8, W.m[0][0], W.m[1][0], W.m[2][0], -C.m[0][0]);
            }
        }
        if (GM->wvmatrixi >= 0) {
            if (float* c = GetVertexShaderConstants(GM->wvmatrixi, 4)) {
                D3DMATRIX m;
                RenderMatrix::multiply(m, WorldMatrix, ViewMatrix);
                RenderMatrix::setInverseAffine(m);
                std::memcpy(c, m.m, sizeof(m.m));
            }
        }
        putTransposed(GM->cubematrix, CameraTextureMatrix);
        if (VSConstantsLow <= VSConstantsHigh) {
            if (VERIFY(VSConstantsLow >= 0 && VSConstantsHigh <= 95)) {
                HRESULT Err = dev->SetVertexShaderConstantF(static_cast<UINT>(VSConstantsLow),
                                                            VertexShaderConstants[VSConstantsLow],
                                                            static_cast<UINT>(VSConstantsHigh - VSConstantsLow + 1));
                ASSERT(Err == D3D_OK);
            }
            VSConstantsLow = 1000;
            VSConstantsHigh = -1000;
        }
        IDirect3DVertexShader9* shader = materialtables::VertexShader(GM->VertexShader);
        if (VertexShader != shader) {
            VertexShader = shader;
            HRESULT Err = dev->SetVertexShader(shader);
            ASSERT_MSG(Err == D3D_OK, "Failed to set vertex shader");
        }
        SetVertexDeclaration(materialtables::VertexDeclaration(GM->VertexShader));
    } else {
        // 6. Fixed function.
        if (mixed && !HWVertexProcessing) {
            dev->SetSoftwareVertexProcessing(FALSE);
            for (auto& s : StreamSources) s = nullptr;
            VertexShader = PixelShader = SHADER_UNKNOWN;
            HWVertexProcessing = 1;
        }
        if (VertexShader != nullptr) {
            VertexShader = nullptr;
            HRESULT Err = dev->SetVertexShader(nullptr);
            if (FAILED(Err)) DXErrorReport(Err);
        }
        SetFVF(fvf ? fvf : GM->FVFFormat.D3DFlags);
        ResetTexCoordIndex = 1;
    }

    // 7. Textures, even when the pass list itself is already in place.
    for (DWORD s = 0; s < MAXSBSTAGES; ++s) SetTexture(static_cast<int32_t>(s), SB->Texture[pass][s]);
    // 8.
    const StateList* list = &GM->PassStates[pass];
    if (list == LastStateList) return;
    // 9. Palette of the first stage with a palettised texture.
    const DWORD stages = GM->Stages[pass] < MAXSBSTAGES ? GM->Stages[pass] : MAXSBSTAGES;
    for (DWORD s = 0; s < stages; ++s) {
        if (SB->HWTexture[pass][s] == SB_NONE) continue;
        const int32_t palette = materialtables::HWTexturePalette(SB->HWTexture[pass][s]);
        if (palette < 0) continue;
        if (palette != CurrentPalette) {
            HRESULT Err = dev->SetCurrentTexturePalette(static_cast<UINT>(palette));
            ASSERT(Err == D3D_OK);
            CurrentPalette = palette;
        }
        break;
    }
    // 10. What the previous material changed is put back first.
    if (pass == 0 && LastStateBlock) {
        if (LastStateBlock->GMaterial) ApplyStateList(LastStateBlock->GMaterial->RestoreStates.First);
        LastStateBlock = nullptr;
    }
    // 11.
    ApplyStateList(list->First);
    // 12. Stages the previous pass used and this one does not.
    const DWORD count = StageCount();
    ASSERT(GM->Stages[pass] <= count);
    ASSERT(ActiveStages <= count);
    for (DWORD s = GM->Stages[pass]; s < ActiveStages && s < MAXSBSTAGES; ++s) {
        SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
        SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, s);
        StateChanges += 2;
    }
    // 13.
    LastStateList = list;
    ActiveStages = GM->Stages[pass];
    if (pass == 0) LastStateBlock = SB;
}

void D3DCore::ApplyPendingRestore()
{
    if (LastStateBlock && LastStateBlock->GMaterial) ApplyStateList(LastStateBlock->GMaterial->RestoreStates.First);
    LastStateBlock = nullptr;
    LastStateList = nullptr;
}

void D3DCore::ForgetStateBlock(StateBlock* SB)
{
    if (!SB) return;
    if (LastStateBlock == SB) {
        if (device() && DeviceActive && !DeviceLost) ApplyPendingRestore();
        LastStateBlock = nullptr;
    }
    if (GMaterial* GM = SB->GMaterial) {
        const StateList* lists = GM->PassStates;
        if (LastStateList >= lists && LastStateList < lists + MAXPASSES) LastStateList = nullptr;
    }
}

bool D3DCore::FindStateBlockByName(const char* name, StateBlock** entry)
{
    const DWORD handle = StateBlocks.FindSBByName(name);
    if (handle == SB_NONE) return false;
    if (entry) *entry = &StateBlocks.StateBlock[handle];
    return true;
}

bool D3DCore::ValidateMaterial(GMaterial* GM, DWORD* passes, DWORD* totalPasses, HRESULT* result)
{
    IDirect3DDevice9* dev = device();
    if (!VERIFY(GM != NULL && dev != NULL && passes && totalPasses && result)) return false;

    // 1. The vertex input, caches kept in step.
    if (!GM->VertexShader) {
        VertexShader = nullptr;
        dev->SetVertexShader(nullptr);
        FVF = GM->FVFFormat.D3DFlags;
        Declaration = nullptr;
        dev->SetFVF(FVF);
    } else {
        Declaration = materialtables::VertexDeclaration(GM->VertexShader);
        FVF = 0;
        dev->SetVertexDeclaration(Declaration);
        IDirect3DVertexShader9* shader = materialtables::VertexShader(GM->VertexShader);
        VertexShader = shader;
        dev->SetVertexShader(shader);
    }
    // 2.
    *passes = GM->Passes;
    // 3. A placeholder per texture slot, in its format.
    IDirect3DBaseTexture9* placeholder[MAXSBTEXTURES] = {};
    for (DWORD t = 0; t < MAXSBTEXTURES; ++t) {
        if (!GM->TexFormat[t]) continue;
        if (GM->CubeMap[t]) {
            IDirect3DCubeTexture9* cube = nullptr;
            if (SUCCEEDED(DXCreateCubeTexture(4, 1, 0, GM->TexFormat[t]->Format, D3DPOOL_MANAGED, &cube)))
                placeholder[t] = cube;
        } else {
            IDirect3DTexture9* tex = nullptr;
            if (SUCCEEDED(DXCreateTexture(4, 4, 1, 0, GM->TexFormat[t]->Format, D3DPOOL_MANAGED, &tex)))
                placeholder[t] = tex;
        }
    }
    // 4., 5. Every pass on its own, the defaults back after each.
    bool ok = true;
    DWORD total = 0;
    const bool softwareShader = GM->VertexShader && !(CurrentDevice && CurrentDevice->VertexShaders);
    for (DWORD pass = 0; pass < GM->Passes && pass < MAXPASSES; ++pass) {
        DWORD count = 1;
        HRESULT Err = D3D_OK;
        if (!SkipValidation) {
            for (DWORD s = 0; s < MAXSBSTAGES; ++s) {
                const int32_t index = GM->TextureIndex[pass][s];
                SetTexture(static_cast<int32_t>(s),
                           index >= 0 && index < static_cast<int32_t>(MAXSBTEXTURES) ? placeholder[index] : nullptr);
                if (!GM->CubeMap[s]) continue;
                if (GM->VertexShader) {
                    SetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, TTFF_DISABLE);
                } else {
                    SetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, TTFF_COUNT3);
                    D3DMATRIX identity;
                    RenderMatrix::identity(identity);
                    dev->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + s), &identity);
                }
            }
            ApplyStateList(GM->PassStates[pass].First);
            if (softwareShader) dev->SetSoftwareVertexProcessing(TRUE);
            Err = dev->ValidateDevice(&count);
            if (softwareShader) dev->SetSoftwareVertexProcessing(FALSE);
            RestoreRenderDefaults();
            ActiveStages = StageCount();
        }
        *result = Err;
        if (FAILED(Err)) ok = false;
        total += count;
    }
    if (ok) *totalPasses = total;
    // 6. The placeholders go; no stage keeps one bound.
    CurrentPalette = -1;
    for (DWORD s = 0; s < MAXSBSTAGES; ++s) SetTexture(static_cast<int32_t>(s), nullptr);
    for (IDirect3DBaseTexture9*& t : placeholder) DXReleaseInterface(t);
    return ok;
}
