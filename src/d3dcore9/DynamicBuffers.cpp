// D3DCore: the table of dynamic vertex buffers and the dynamic index buffer across the device's life.
#include "d3dcore9/D3DCore.h"

#include "d3dcore9/FVFFormat.h"
#include "utility/Assert.h"

namespace {

const DWORD DEFAULT_DYNAMIC_VB_SIZE = 12000;

}  // namespace

int32_t D3DCore::CreateDynamicVertexBuffer(DWORD FVF)
{
    for (int32_t i = 0; i < TotalDynamicVertexBuffers9; ++i)
        if (DynamicVertexBuffer9[i].FVF == FVF) return i;
    // A seventeenth format has no room: the caller must do without.
    if (!VERIFY(TotalDynamicVertexBuffers9 < MAXDYNAMICVERTEXBUFFERS)) return -1;
    FVFFormat format;
    format.D3DFlags = FVF;
    AnalyseFVF(format);
    if (!VERIFY(format.FormatValid)) return -1;

    DynamicVB& vb = DynamicVertexBuffer9[TotalDynamicVertexBuffers9];
    vb = DynamicVB();
    vb.FVF = FVF;
    vb.FVFSize = format.Size;
    BuildDynamicVBName(FVF, vb.Name, sizeof(vb.Name));
    vb.MaxVertices = DEFAULT_DYNAMIC_VB_SIZE;
    for (const DynamicVBSize& entry : DynamicVB9Size)
        if (entry.FVF == FVF && entry.Size != 0) {
            vb.MaxVertices = entry.Size;
            break;
        }
    vb.CreateBuffer();
    return TotalDynamicVertexBuffers9++;
}

void D3DCore::CreateDynamicBuffers()
{
    if (!DXInterface.ID3DDevice) return;
    if (DynamicIndexBuffer9.IB) DynamicIndexBuffer9.IB->Release();
    DynamicIndexBuffer9 = DynamicIB();
    DynamicIndexBuffer9.MaxIndices = DynamicIB9Size;
    DynamicIndexBuffer9.CreateBuffer();
    // Records kept from an earlier device get buffers on this one, so their handles stay good.
    for (int32_t i = 0; i < TotalDynamicVertexBuffers9; ++i) {
        DynamicVB& vb = DynamicVertexBuffer9[i];
        if (vb.VB) continue;
        if (!vb.Name[0]) BuildDynamicVBName(vb.FVF, vb.Name, sizeof(vb.Name));
        vb.FreeVertices = 0;
        vb.NextByte = vb.NextVertex = 0;
        vb.CreateBuffer();
    }
}

void D3DCore::LoseDynamicBuffers()
{
    for (int32_t i = 0; i < TotalDynamicVertexBuffers9; ++i) {
        DynamicVB& vb = DynamicVertexBuffer9[i];
        ASSERT(DynamicVertexBuffer9[i].VB != NULL);
        if (vb.VB) vb.VB->Release();
        vb.VB = nullptr;
        vb.Locked = false;
    }
    if (DynamicIndexBuffer9.IB) DynamicIndexBuffer9.IB->Release();
    DynamicIndexBuffer9.IB = nullptr;
    DynamicIndexBuffer9.Locked = false;
    LoseDisplayListBuffers();
}

void D3DCore::RestoreDynamicBuffers()
{
    RestoreDisplayListBuffers();
    for (int32_t i = 0; i < TotalDynamicVertexBuffers9; ++i) {
        DynamicVB& vb = DynamicVertexBuffer9[i];
        ASSERT(DynamicVertexBuffer9[i].VB == NULL);
        if (!vb.VB) vb.CreateBuffer();
    }
    if (!DynamicIndexBuffer9.IB) {
        if (DynamicIndexBuffer9.MaxIndices == 0) DynamicIndexBuffer9.MaxIndices = DynamicIB9Size;
        DynamicIndexBuffer9.CreateBuffer();
    }
}

void D3DCore::ReleaseDynamicBuffers()
{
    for (int32_t i = 0; i < TotalDynamicVertexBuffers9; ++i) {
        DynamicVB& vb = DynamicVertexBuffer9[i];
        if (vb.VB) vb.VB->Release();  // already gone while the device is lost
        vb.VB = nullptr;
        vb.Locked = false;
        vb.Name[0] = 0;
    }
    if (DynamicIndexBuffer9.IB) DynamicIndexBuffer9.IB->Release();
    DynamicIndexBuffer9.IB = nullptr;
    DynamicIndexBuffer9.Locked = false;
}

void D3DCore::ReleaseDynamicVertexBuffers()
{
    for (int32_t i = 0; i < TotalDynamicVertexBuffers9; ++i) {
        DynamicVB& vb = DynamicVertexBuffer9[i];
        if (vb.VB) vb.VB->Release();
        vb = DynamicVB();
    }
    TotalDynamicVertexBuffers9 = 0;
}
