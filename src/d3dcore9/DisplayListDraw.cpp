// Drawing display lists: each block at once with its passes, or recorded for the sorted pass.
#include "d3dcore9/D3DCore.h"

#include "d3dcore9/RenderMatrix.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cstring>
#include <string>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

const DWORD FOG_BLACK = 0xFF000000u;

// "Can't set auto-transparency..." with the material and the textures of its first choice.
void reportNoTransparentVariant(const MatBlock* p)
{
    StateBlock* SB = D3DCore.StateBlocks.GetSB(p->MultiBlock.StateBlock[0]);
    std::string text = "Can't set auto-transparency - Multi-material required\nMaterial: ";
    if (SB && SB->GMaterial && SB->GMaterial->Name) text += SB->GMaterial->Name;
    if (SB)
        for (DWORD i = 0; i < SB->TexNames && i < MAXSBTEXTURES; ++i)
            if (DiskTexture* t = D3DCore.TextureTables.GetDiskTexture(SB->DiskTexture[i]))
                text += std::string("\nTexture: ") + (t->Name ? t->Name : "");
    assertFailedMsg(text.c_str(), "p->MultiBlock.Blocks > 1", __FILE__, __LINE__);
}

}  // namespace

void D3DCore::DrawDisplayList(DisplayHandle* Handle, uint32_t Flags)
{
    if (!VERIFY(Handle != NULL) || !BegunScene) return;
    RenderFlags = Flags & 0x1FF;
    MatBlock* p = SingleBlockMode ? SingleBlock : Handle->Blocks.First;
    if (SingleBlockMode && !VERIFY(p != NULL)) return;
    for (; p; p = p->Next) {
        DWORD handle = p->StateBlock;
        BYTE transparent = 0;
        if (AutoTransparency) {
            ASSERT(p->MultiBlock.Blocks >= 1);
            // Without a usable transparent variant the block is drawn as it is.
            if (p->MultiBlock.Blocks <= 1) {
                reportNoTransparentVariant(p);
            } else if (VERIFY(p->MultiBlock.TransparentBlock != 0xffffffff) &&
                       VERIFY(p->MultiBlock.TransparentBlock != 0)) {
                handle = p->MultiBlock.TransparentBlock;
                transparent = 1;
            }
        }
        StateBlock* SB = StateBlocks.GetSB(handle);
        if (!VERIFY(SB != NULL && SB->GMaterial != NULL)) {
            if (SingleBlockMode) return;
            continue;
        }
        GMaterial* GM = SB->GMaterial;
        if (MaterialOverride) {
            if (GM->DelayedSort == SORT_POLY) return;
            StateBlock* OSB = StateBlocks.GetSB(OverrideBlock);
            if (!VERIFY(OSB != NULL && OSB->GMaterial != NULL)) return;
            OSB->GMaterial->FVFFormat = GM->FVFFormat;
            SB = OSB;
            GM = OSB->GMaterial;
        }
        DWORD colour = GM->TextureFactor;
        if (AutoTransparency) colour = (colour & 0x00FFFFFFu) | (static_cast<DWORD>(AutoTransparencyAlpha) << 24);
        if (GM->DelayedSort != SORT_NONE)
            RecordDelayed(p, SB, transparent, colour);
        else
            DrawBlockNow(p, SB, colour);
        if (SingleBlockMode) return;
    }
}

void D3DCore::DrawBlockNow(MatBlock* p, StateBlock* SB, DWORD colour)
{
    GMaterial* GM = SB->GMaterial;
    if (GM->Lit) SetMaterialColours(SB);
    if (GM->BlackFog) SetRenderState(D3DRS_FOGCOLOR, FOG_BLACK);
    SetRenderState(D3DRS_TEXTUREFACTOR, ApplyColourModifiers(GM, colour));
    const DWORD fvf = p->VertexLists.First ? p->VertexLists.First->FVF : 0;
    D3DMATRIX camera = ViewMatrix;
    if (GM->DrawCallback) RenderMatrix::setInverseAffine(camera);
    for (DWORD pass = 0; pass < GM->Passes && pass < MAXPASSES; ++pass) {
        SetupMaterialPass(SB, pass);
        ApplyStateBlock(SB, pass, fvf);
        for (VertexList* v = p->VertexLists.First; v; v = v->Next) {
            if (GM->DrawCallback) GM->DrawCallback(v, &WorldMatrix, &camera);
            DrawVertexList(v, GM);
        }
        if (GM->BlackFog)
            SetRenderState(D3DRS_FOGCOLOR, FOG_BLACK | ((FogR & 0xFF) << 16) | ((FogG & 0xFF) << 8) | (FogB & 0xFF));
        ResetMaterialPass(SB, pass);
    }
}

void D3DCore::SetCountedStream(int32_t Stream, IDirect3DVertexBuffer9* Buffer, UINT Stride)
{
    if (Stream >= 0 && Stream < MAX_STREAMS && StreamSources[Stream] != Buffer) ++Counts.StreamChanges;
    SetStreamSource(Stream, Buffer, Stride);
}

void D3DCore::DrawVertexList(VertexList* v, const GMaterial* GM)
{
    // A list being written is not drawn half-filled.
    if (!VERIFY(!v->VBLocked) || !VERIFY(!v->IBLocked) || !device()) return;
    if (v->Streams == 0) {
        if (!v->Stream(0)) return;
        SetCountedStream(0, v->Stream(0), v->FVFSize);
    } else {
        for (int32_t s = 0; s < v->Streams; ++s) {
            if (!VERIFY(s <= 15) || !VERIFY(v->VertexBuffer[s] != NULL)) return;
            const DWORD stride = GM->StreamVertexSize && s < static_cast<int32_t>(GM->Streams) ? GM->StreamVertexSize[s] : 0;
            if (!VERIFY(stride != 0)) return;
            SetCountedStream(s, v->VertexBuffer[s], stride);
        }
    }
    const UINT count = static_cast<UINT>(v->PrimitiveCount > 0 ? v->PrimitiveCount : 0);
    // Lines are drawn uncounted; anything else is no list type the batches make.
    if (v->ListType < D3DPT_LINELIST || v->ListType > D3DPT_TRIANGLEFAN) assertFailed("false", __FILE__, __LINE__);
    if (count == 0) return;
    HRESULT Err;
    if (v->Indexed) {
        if (!v->IndexBuffer) return;
        device()->SetIndices(v->IndexBuffer);
        Err = device()->DrawIndexedPrimitive(v->ListType, 0, 0, static_cast<UINT>(v->Vertices), 0, count);
    } else {
        Err = device()->DrawPrimitive(v->ListType, 0, count);
    }
    ASSERT(Err == D3D_OK);
    CountDraw(v->ListType, count, static_cast<uint32_t>(v->Vertices), static_cast<uint32_t>(v->DegenerateCount));
    if (v->FVF != LastDrawFVF) ++Counts.FVFChanges;
    LastDrawFVF = v->FVF;
}
