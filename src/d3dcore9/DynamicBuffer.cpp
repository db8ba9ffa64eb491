#include "d3dcore9/DynamicBuffer.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

}  // namespace

void BuildDynamicVBName(DWORD FVF, char* name, size_t size)
{
    std::string text;
    if (FVF & D3DFVF_XYZ) text = "XYZ";
    if (FVF & D3DFVF_XYZRHW) text = "XYZRHW";
    if (FVF & D3DFVF_DIFFUSE) text += "+DIFFUSE";
    if (FVF & D3DFVF_NORMAL) text += "+NORMAL";
    if (FVF & D3DFVF_SPECULAR) text += "+SPECULAR";
    const DWORD tex = (FVF >> 8) & 15;
    if (tex != 0) text += "+TEX" + std::to_string(tex);
    std::snprintf(name, size, "%s", text.c_str());
}

bool DynamicVB::CreateBuffer()
{
    if (!device()) return false;
    Locked = false;
    HRESULT Err = device()->CreateVertexBuffer(MaxVertices * FVFSize, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, FVF,
                                               D3DPOOL_DEFAULT, &VB, nullptr);
    ASSERT(Err == D3D_OK);
    if (FAILED(Err)) VB = nullptr;
    return VB != nullptr;
}

void* DynamicVB::Lock(uint32_t Vertices)
{
    if (!VERIFY(!Locked) || !VERIFY(Vertices != 0)) return nullptr;
    if (Vertices > MaxVertices / 3) {
        const std::string message = std::string("DynamicVB lock failed on ") + Name + ": Requested " +
                                    std::to_string(Vertices) + " vertices. VB can only hold " +
                                    std::to_string(MaxVertices) + " but only 1/3 VB allowed in any one call";
        assertFailedMsg(message.c_str(), "Vertices <= MaxVertices / 3", __FILE__, __LINE__);
        return nullptr;
    }
    // While the device is lost the buffer is gone: nothing to lock, and nothing worth a report
    // every frame.
    if (!VB) return nullptr;
    const int32_t N = static_cast<int32_t>(Vertices);
    const bool wrap = N > FreeVertices;
    const DWORD offset = wrap ? 0 : NextByte;
    const DWORD flags = wrap ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE;
    void* data = nullptr;
    HRESULT Err = VB->Lock(offset, Vertices * FVFSize, &data, flags);
    ASSERT(Err == D3D_OK);
    if (FAILED(Err) || !data) return nullptr;
    VerticesUsed += wrap ? static_cast<DWORD>(FreeVertices) + Vertices : Vertices;
    if (wrap) {
        LastByte = 0;
        LastStartVertex = 0;
        NextVertex = Vertices;
        NextByte = Vertices * FVFSize;
        FreeVertices = static_cast<int32_t>(MaxVertices) - N;
    } else {
        LastByte = NextByte;
        LastStartVertex = NextVertex;
        NextVertex += Vertices;
        NextByte += Vertices * FVFSize;
        FreeVertices -= N;
    }
    LastVertices = Vertices;
    Locked = true;
    return data;
}

void DynamicVB::Unlock()
{
    if (!VERIFY(Locked)) return;
    if (VB) VB->Unlock();
    Locked = false;
}

void DynamicVB::DrawTriList(int Vertices)
{
    if (!VERIFY(!Locked) || !VERIFY(LastVertices != 0) || !VB || !device()) return;
    D3DCore.SetStreamSource(0, VB, FVFSize);
    const DWORD count = Vertices == -1 ? LastVertices : static_cast<DWORD>(Vertices);
    device()->DrawPrimitive(D3DPT_TRIANGLELIST, LastStartVertex, count / 3);
}

void DynamicVB::DrawTriStrip(int Vertices)
{
    if (!VERIFY(!Locked) || !VERIFY(LastVertices != 0) || !VB || !device()) return;
    const DWORD count = Vertices == -1 ? LastVertices : static_cast<DWORD>(Vertices);
    // Fewer than three vertices make no triangle; the count would wrap.
    if (!VERIFY(count >= 3)) return;
    D3DCore.SetStreamSource(0, VB, FVFSize);
    device()->DrawPrimitive(D3DPT_TRIANGLESTRIP, LastStartVertex, count - 2);
}

void DynamicVB::DrawIndexed(DynamicIB& IdxBuffer, int FilledVertices, int FilledIndices)
{
    const DynamicIB* IdxList = &IdxBuffer;  // named so that the failed checks read as the run log knows them
    if (!VERIFY(!Locked) || !VERIFY(LastVertices != 0)) return;
    if (!VERIFY(!IdxList->Locked) || !VERIFY(IdxList->LastIndices != 0)) return;
    if (!VERIFY(FilledVertices == -1 || FilledVertices > 0) || !VERIFY(FilledIndices == -1 || FilledIndices > 0))
        return;
    if (!VB || !IdxList->IB || !device()) return;
    D3DCore.SetStreamSource(0, VB, FVFSize);
    device()->SetIndices(IdxList->IB);
    DWORD numVertices, count;
    if (FilledVertices == -1) {
        numVertices = LastVertices;
        count = IdxList->LastIndices / 3;
    } else {
        numVertices = static_cast<DWORD>(FilledVertices);
        count = FilledIndices == -1 ? IdxList->LastIndices / 3 : static_cast<DWORD>(FilledIndices) / 3;
    }
    device()->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, static_cast<INT>(LastStartVertex), 0, numVertices,
                                   IdxList->LastByte / 2, count);
}

bool DynamicIB::CreateBuffer()
{
    if (!device()) return false;
    Locked = false;
    HRESULT Err = device()->CreateIndexBuffer(MaxIndices * 2, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DFMT_INDEX16,
                                              D3DPOOL_DEFAULT, &IB, nullptr);
    ASSERT(Err == D3D_OK);
    if (FAILED(Err)) IB = nullptr;
    return IB != nullptr;
}

uint16_t* DynamicIB::Lock(uint32_t Indices)
{
    if (!VERIFY(!Locked) || !VERIFY(Indices != 0)) return nullptr;
    if (Indices > MaxIndices) {
        const std::string message = "DynamicIB lock failed: Requested " + std::to_string(Indices) +
                                    " indices, but IB can only hold " + std::to_string(MaxIndices);
        assertFailedMsg(message.c_str(), "Indices <= MaxIndices", __FILE__, __LINE__);
        return nullptr;
    }
    if (!IB) return nullptr;
    const int32_t N = static_cast<int32_t>(Indices);
    const bool wrap = N > FreeIndices;
    void* data = nullptr;
    HRESULT Err = IB->Lock(wrap ? 0 : NextByte, Indices * 2, &data, wrap ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE);
    ASSERT(Err == D3D_OK);
    if (FAILED(Err) || !data) return nullptr;
    IndicesUsed += Indices;
    if (wrap) {
        LastByte = 0;
        NextByte = Indices * 2;
        FreeIndices = static_cast<int32_t>(MaxIndices) - N;
    } else {
        LastByte = NextByte;
        NextByte += Indices * 2;
        FreeIndices -= N;
    }
    LastIndices = Indices;
    Locked = true;
    return static_cast<uint16_t*>(data);
}

void DynamicIB::Unlock()
{
    if (!VERIFY(Locked)) return;
    ASSERT(LastIndices != 0);
    if (IB) IB->Unlock();
    Locked = false;
}
