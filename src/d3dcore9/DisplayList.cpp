// Display lists: the records, AddTris / EndAddTris, the vertex-list buffer operations and the
// buffers' life across a lost device. Drawing is in DisplayListDraw.cpp.
#include "d3dcore9/DisplayList.h"

#include "d3dcore9/D3DCore.h"
#include "d3dcore9/LogWriter.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cstring>

namespace {

IDirect3DDevice9* device() { return DXInterface.ID3DDevice; }

char* copyText(const char* text)
{
    if (!text) return nullptr;
    char* copy = new char[std::strlen(text) + 1];
    std::strcpy(copy, text);
    return copy;
}

void addRefSB(DWORD handle)
{
    if (StateBlock* SB = D3DCore.StateBlocks.GetSB(handle)) ++SB->RefCount;
}

void releaseSB(DWORD handle)
{
    if (handle != SB_NONE && D3DCore.StateBlocks.GetSB(handle)) D3DCore.StateBlocks.ReleaseSB(handle);
}

GMaterial* materialOf(DWORD handle)
{
    StateBlock* SB = handle != SB_NONE ? D3DCore.StateBlocks.GetSB(handle) : nullptr;
    return SB ? SB->GMaterial : nullptr;
}

int32_t choices(const MultiBlock& MM) { return std::clamp(MM.Blocks, 0, MAXSTATEBLOCKCHOICES); }

// Usage and pool of a new buffer: default pool only for dynamic buffers; system memory when
// shaders run in software and some choice has one.
void usageAndPool(bool clipping, bool dynamic, bool writeOnly, bool softwareShaders, DWORD& usage, D3DPOOL& pool)
{
    usage = (clipping ? 0 : D3DUSAGE_DONOTCLIP) | (dynamic ? D3DUSAGE_DYNAMIC : 0) | (writeOnly ? D3DUSAGE_WRITEONLY : 0);
    pool = dynamic ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED;
    if (softwareShaders) pool = D3DPOOL_SYSTEMMEM;
}

bool checkCreated(HRESULT Err)
{
    if (Err == D3D_OK) return true;
    DXErrorReport(Err);
    assertFailed("Err == D3D_OK", __FILE__, __LINE__);
    return false;
}

int32_t primitiveCount(D3DPRIMITIVETYPE type, int32_t vertices, int32_t indices)
{
    if (indices != 0) {
        switch (type) {
        case D3DPT_LINELIST: return indices / 2;
        case D3DPT_LINESTRIP: return indices - 1;
        case D3DPT_TRIANGLELIST: return indices / 3;
        case D3DPT_TRIANGLESTRIP: case D3DPT_TRIANGLEFAN: return indices - 2;
        default: break;
        }
    } else {
        switch (type) {
        case D3DPT_TRIANGLELIST: return vertices / 3;
        case D3DPT_TRIANGLESTRIP: case D3DPT_TRIANGLEFAN: return vertices - 2;
        default: break;
        }
    }
    assertFailed("false", __FILE__, __LINE__);
    return 0;
}

}  // namespace

// ---- MultiBlock ----

MultiBlock::MultiBlock(const MultiBlock& other) { *this = other; }

MultiBlock& MultiBlock::operator=(const MultiBlock& other)
{
    if (this == &other) return *this;
    Blocks = other.Blocks;
    TransparentBlock = other.TransparentBlock;
    std::copy(std::begin(other.StateBlock), std::end(other.StateBlock), StateBlock);
    MainFVF = other.MainFVF;
    delete[] Name;
    Name = copyText(other.Name);
    return *this;
}

MultiBlock::~MultiBlock() { delete[] Name; }

bool MultiBlock::operator==(const MultiBlock& o) const
{
    return Blocks == o.Blocks && TransparentBlock == o.TransparentBlock &&
           std::equal(std::begin(StateBlock), std::end(StateBlock), o.StateBlock) &&
           MainFVF.D3DFlags == o.MainFVF.D3DFlags && MainFVF.Size == o.MainFVF.Size;
}

void MultiBlock::AddRef()
{
    ASSERT(StateBlock[0] != 0xffffffff);
    for (int32_t i = 0; i < choices(*this); ++i) addRefSB(StateBlock[i]);
}

void MultiBlock::Release()
{
    for (int32_t i = 0; i < choices(*this); ++i) releaseSB(StateBlock[i]);
    delete[] Name;
    Name = nullptr;
}

void MultiBlock::SetName(const char* name)
{
    if ((Name && name && std::strcmp(Name, name) == 0) || (!Name && !name)) return;
    delete[] Name;
    Name = copyText(name);
}

// ---- MatBlock ----

bool MatBlock::SetMaterial(int32_t Mat)
{
    if (!VERIFY(Mat < MultiBlock.Blocks && Mat >= 0) || Mat >= MAXSTATEBLOCKCHOICES) return false;
    const DWORD chosen = MultiBlock.StateBlock[Mat];
    if (chosen == SB_NONE) return false;
    Material = Mat;
    if (chosen != StateBlock) {
        releaseSB(StateBlock);
        addRefSB(chosen);
        StateBlock = chosen;
    }
    return true;
}

// ---- VertexList ----

VertexList::~VertexList()
{
    if (IndexBuffer) IndexBuffer->Release();
    for (int32_t s = 0; s < BufferCount(); ++s)
        if (VertexBuffer[s]) VertexBuffer[s]->Release();
    delete[] VertexBuffer;
    delete[] SysVertexBuffer;
    delete[] SysIndexBuffer;
}

IDirect3DVertexBuffer9* VertexList::Stream(int32_t s) const
{
    return s >= 0 && s < BufferCount() ? VertexBuffer[s] : nullptr;
}

bool VertexList::CreateIB()
{
    if (!device()) return false;
    return checkCreated(device()->CreateIndexBuffer(static_cast<UINT>(Indices * IndexSize), IBUsage,
                                                    IndexSize == 2 ? D3DFMT_INDEX16 : D3DFMT_INDEX32, IBPool,
                                                    &IndexBuffer, nullptr));
}

bool VertexList::CreateVB(int32_t s)
{
    if (!device() || s >= BufferCount()) return false;
    return checkCreated(device()->CreateVertexBuffer(static_cast<UINT>(Vertices) * StreamSize[s], VBUsage,
                                                     Streams > 0 ? 0 : FVF, VBPool, &VertexBuffer[s], nullptr));
}

bool VertexList::LockVB(void** Data, DWORD Options, DWORD Offset, DWORD Size)
{
    if (!VERIFY((Options == 0) || (Options == D3DLOCK_READONLY) || (Options == D3DLOCK_DISCARD))) return false;
    if (!VERIFY(!((Options == D3DLOCK_READONLY) && VBCreatedWOnly))) return false;
    if (!VERIFY(!VBLocked) || !VertexBuffer || !VertexBuffer[0] || !Data) return false;
    HRESULT Err = VertexBuffer[0]->Lock(Offset, Size, Data, Options);
    if (!VERIFY(Err == D3D_OK)) return false;
    VBLocked = 1;
    return true;
}

bool VertexList::LockIB(void** Data, DWORD Options, DWORD Offset, DWORD Size)
{
    if (!VERIFY((Options == 0) || (Options == D3DLOCK_READONLY) || (Options == D3DLOCK_DISCARD))) return false;
    if (!VERIFY(!((Options == D3DLOCK_READONLY) && IBCreatedWOnly))) return false;
    if (!VERIFY(!IBLocked) || !IndexBuffer || !Data) return false;
    if (Size == 0) Size = static_cast<DWORD>(Indices * IndexSize);
    HRESULT Err = IndexBuffer->Lock(Offset, Size, Data, Options);
    if (!VERIFY(Err == D3D_OK)) return false;
    IBLocked = 1;
    return true;
}

bool VertexList::UnlockVB()
{
    if (!VERIFY(VBLocked)) return false;
    for (int32_t s = 0; s < BufferCount(); ++s)
        if (VertexBuffer[s] && VertexBuffer[s]->Unlock() != D3D_OK) return false;
    VBLocked = 0;
    return true;
}

bool VertexList::UnlockIB()
{
    if (!VERIFY(IBLocked)) return false;
    if (IndexBuffer && IndexBuffer->Unlock() != D3D_OK) return false;
    IBLocked = 0;
    return true;
}

namespace {

// Copies a byte range of a system copy into a device buffer; a range outside either is refused.
template <typename Buffer>
bool updateRange(Buffer* buffer, const BYTE* copy, int64_t total, int32_t Start, int32_t Size)
{
    if (Start == 0 && Size == 0) Size = static_cast<int32_t>(total);
    if (!VERIFY(Size > 0) || !VERIFY(Start >= 0) || !VERIFY(Start < total) || !VERIFY(Start + int64_t{Size} <= total) ||
        !copy)
        return false;
    void* data = nullptr;
    HRESULT Err = buffer->Lock(static_cast<UINT>(Start), static_cast<UINT>(Size), &data, 0);
    if (!VERIFY(Err == D3D_OK)) return false;
    std::memcpy(data, copy + Start, static_cast<size_t>(Size));
    buffer->Unlock();
    return true;
}

template <typename Buffer>
void clearBuffer(Buffer* buffer, int64_t bytes)
{
    void* data = nullptr;
    if (!buffer || bytes <= 0 || buffer->Lock(0, 0, &data, 0) != D3D_OK) return;
    std::memset(data, 0, static_cast<size_t>(bytes));
    buffer->Unlock();
}

}  // namespace

bool VertexList::UpdateVB(int32_t Start, int32_t Size)
{
    IDirect3DVertexBuffer9* vb = Stream(0);
    if (!VERIFY(vb != NULL)) return false;
    return updateRange(vb, SysVertexBuffer, int64_t{Vertices} * FVFSize, Start, Size);
}

bool VertexList::UpdateIB(int32_t Start, int32_t Size)
{
    if (!VERIFY(IndexBuffer != NULL)) return false;
    return updateRange(IndexBuffer, SysIndexBuffer, int64_t{Indices} * IndexSize, Start, Size);
}

void VertexList::ClearVB()
{
    for (int32_t s = 0; s < BufferCount(); ++s) clearBuffer(VertexBuffer[s], int64_t{Vertices} * StreamSize[s]);
}

void VertexList::ClearIB() { clearBuffer(IndexBuffer, int64_t{Indices} * IndexSize); }

void VertexList::Optimise()
{
    ASSERT(!Optimised);
    ASSERT(!PolySort);
    Optimised = 1;
}

void VertexList::LoseBuffers()
{
    if (PolySort) return;
    if (Indexed && IBDynamic) {
        ASSERT(IndexBuffer != NULL);
        if (IndexBuffer) IndexBuffer->Release();
        IndexBuffer = nullptr;
        IBLocked = 0;
    }
    if (VBDynamic) {
        ASSERT(Stream(0) != NULL);
        for (int32_t s = 0; s < BufferCount(); ++s) {
            if (VertexBuffer[s]) VertexBuffer[s]->Release();
            VertexBuffer[s] = nullptr;
        }
        VBLocked = 0;
    }
}

void VertexList::RestoreBuffers()
{
    if (PolySort) return;
    if (Indexed && IBDynamic && !IndexBuffer && CreateIB()) {
        if (IBRestore)
            UpdateIB(0, 0);
        else
            ClearIB();
    }
    if (VBDynamic) {
        for (int32_t s = 0; s < BufferCount(); ++s)
            if (!VertexBuffer[s]) CreateVB(s);
        if (VBRestore)
            UpdateVB(0, 0);
        else
            ClearVB();
    }
}

// ---- D3DCore: handles and batches ----

DisplayHandle* D3DCore::CreateDisplayHandle()
{
    DisplayHandle* handle = new DisplayHandle();
    DisplayHandles.Append(handle);
    return handle;
}

VertexList* D3DCore::AddTris(DisplayHandle* Handle, const MultiBlock* MM, AddTrisConfig* Config, void** Vertices,
                             void** Indices, VBStreams* Streams)
{
    if (!VERIFY(Handle != NULL) || !VERIFY(MM != NULL) || !VERIFY(Config != NULL) || !VERIFY(Vertices != NULL))
        return nullptr;
    // Every refusal leaves everything as it was: no buffer of the wrong size ever reaches a caller.
    if (!VERIFY_MSG(Config->Vertices != 0, "AddTris requested for zero vertices!!")) return nullptr;
    if (!WriteOnlyBuffers) Config->VBWriteOnly = Config->IBWriteOnly = 0;
    GMaterial* GM0 = materialOf(MM->StateBlock[0]);
    if (!VERIFY(GM0 != NULL)) return nullptr;
    const bool PolySort = GM0->DelayedSort == SORT_POLY;
    if (PolySort) Config->VBRestore = Config->IBRestore = 0;
    if (Config->Indices == 0) Config->IBRestore = 0;
    const int32_t streams = static_cast<int32_t>(GM0->Streams);
    if (!VERIFY_MSG(!Config->Use32BitIndices, "32-bit indices not supported yet")) return nullptr;
    ASSERT_MSG(Config->VBDynamic || !Config->VBRestore, "Can't have restore buffer on managed VB");
    ASSERT_MSG(Config->IBDynamic || !Config->IBRestore, "Can't have restore buffer on managed IB");
    if (streams > 1 && !VERIFY_MSG(Streams != NULL, "Final parameter required in AddTris call!!!")) return nullptr;
    if (!VERIFY(streams <= MAXVBSTREAMS) || (streams > 0 && !GM0->StreamVertexSize)) return nullptr;
    if (streams > 0 && (Config->VBRestore || Config->IBRestore)) {
        // A single system copy cannot refill several streams: the copies are dropped.
        assertFailedMsg("Can't have a restore buffer for non-FVF VBs", "!Config.VBRestore && !Config.IBRestore",
                        __FILE__, __LINE__);
        Config->VBRestore = Config->IBRestore = 0;
    }
    if (!VERIFY(!AddingTris)) return nullptr;
    if (Config->Indices > 65535) {
        assertFailed("Config.Indices <= 65535", __FILE__, __LINE__);
        return nullptr;
    }
    if (PolySort && Config->Indices == 0) {
        assertFailed("!PolySort", __FILE__, __LINE__);
        return nullptr;
    }
    if (!VERIFY(MM->MainFVF.Size != 0 || streams > 0)) return nullptr;

    bool anyVertexShader = false;
    for (int32_t i = 0; i < choices(*MM); ++i)
        if (GMaterial* GM = materialOf(MM->StateBlock[i])) anyVertexShader = anyVertexShader || GM->VertexShader != 0;
    const bool systemMemory = SoftwareShaders && anyVertexShader;

    MatBlock* block = Handle->Blocks.First;
    while (block && !(block->MultiBlock == *MM)) block = block->Next;
    const bool newBlock = !block;
    if (newBlock) {
        block = new MatBlock();
        block->MultiBlock = *MM;
        block->StateBlock = MM->StateBlock[0];
        addRefSB(block->StateBlock);
        block->MultiBlock.AddRef();
        Handle->Blocks.Append(block);
    }
    VertexList* v = new VertexList();
    block->VertexLists.Append(v);
    v->MatBlock = block;
    v->Vertices = static_cast<int32_t>(Config->Vertices);
    v->Indices = static_cast<int32_t>(Config->Indices);
    v->FVF = MM->MainFVF.D3DFlags;
    v->FVFSize = MM->MainFVF.Size;
    v->ListType = static_cast<D3DPRIMITIVETYPE>(Config->ListType);
    v->PolySort = PolySort;
    v->VBRestore = Config->VBRestore;
    v->IBRestore = Config->IBRestore;
    v->Indexed = Config->Indices != 0;
    v->VBDynamic = Config->VBDynamic;
    v->IBDynamic = Config->IBDynamic;
    v->VBCreatedWOnly = Config->VBWriteOnly;
    v->IBCreatedWOnly = Config->IBWriteOnly;
    v->Streams = streams;
    for (int32_t s = 0; s < std::max(streams, 1); ++s) v->StreamSize[s] = streams > 0 ? GM0->StreamVertexSize[s] : v->FVFSize;
    if (!PolySort) v->VertexBuffer = new IDirect3DVertexBuffer9*[std::max(streams, 1)]();

    bool ok = true;
    if (v->Indexed) {
        v->IndexSize = 2;
        if (v->IBRestore || PolySort) v->SysIndexBuffer = new BYTE[static_cast<size_t>(v->Indices) * 2]();
        if (!PolySort) {
            usageAndPool(Config->IBClipping, Config->IBDynamic, Config->IBWriteOnly, systemMemory, v->IBUsage, v->IBPool);
            ok = v->CreateIB();
        }
    }
    if (v->VBRestore || PolySort) v->SysVertexBuffer = new BYTE[static_cast<size_t>(v->Vertices) * v->FVFSize]();
    if (PolySort) {
        const int32_t h = CreateDynamicVertexBuffer(v->FVF);
        v->DynamicVB = block->DynamicVB = h;
        for (int32_t i = 0; i < choices(*MM); ++i)
            if (GMaterial* GM = materialOf(MM->StateBlock[i])) GM->DynamicVB = h;
        v->VBRestore = v->IBRestore = 0;
    } else {
        usageAndPool(Config->VBClipping, Config->VBDynamic, Config->VBWriteOnly, systemMemory, v->VBUsage, v->VBPool);
        for (int32_t s = 0; s < v->BufferCount() && ok; ++s) ok = v->CreateVB(s);
    }

    // Hand-out: the system copies, or the locked device buffers.
    void* vertices = v->SysVertexBuffer;
    if (ok && v->HandsOutDeviceVB()) {
        for (int32_t s = 0; s < v->BufferCount() && ok; ++s) {
            void* data = nullptr;
            ok = VERIFY(v->VertexBuffer[s]->Lock(0, 0, &data, 0) == D3D_OK);
            if (s == 0) vertices = data;
            if (Streams && ok) {
                Streams->Data[s] = data;
                Streams->VertexSize[s] = v->StreamSize[s];
            }
        }
        if (Streams) Streams->Streams = streams;
    }
    void* indices = v->SysIndexBuffer;
    if (ok && v->Indexed && v->HandsOutDeviceIB()) ok = VERIFY(v->IndexBuffer->Lock(0, 0, &indices, 0) == D3D_OK);
    if (!ok) {
        // Nothing to write into: the batch goes, and the block with it when it was made for it.
        block->VertexLists.Remove(v);
        if (newBlock) {
            ReleaseBlock(block);
            Handle->Blocks.Remove(block);
        }
        return nullptr;
    }
    v->VBLocked = 1;
    v->IBLocked = v->Indexed;
    *Vertices = vertices;
    if (Indices) *Indices = indices;
    v->PrimitiveCount = primitiveCount(v->ListType, v->Vertices, v->Indices);

    AddingTris = 1;
    AddTri = v;
    AddTriSB = StateBlocks.GetSB(MM->StateBlock[0]);
    AddTriMM = &block->MultiBlock;
    AddTriBuffer = vertices;
    return v;
}

void D3DCore::EndAddTris()
{
    if (!VERIFY(AddingTris) || !VERIFY(AddTri != NULL)) return;
    VertexList* v = AddTri;
    ASSERT(AddTriSB != NULL);
    ASSERT(AddTriMM != NULL);
    ASSERT(AddTriBuffer != NULL);
    ASSERT(AddTri->VBLocked);
    ASSERT((AddTri->Indices == 0 && !AddTri->IBLocked) || (AddTri->Indices != 0 && AddTri->IBLocked));
    AddingTris = 0;
    bool sortByCentre = false;
    if (AddTriMM)
        for (int32_t i = 0; i < choices(*AddTriMM); ++i)
            if (GMaterial* GM = materialOf(AddTriMM->StateBlock[i])) sortByCentre = sortByCentre || GM->DelayedSort == SORT_MATERIAL;
    if (sortByCentre && AddTriBuffer && v->StreamSize[0] >= 12) {
        float low[3] = {1e10f, 1e10f, 1e10f}, high[3] = {-1e10f, -1e10f, -1e10f};
        const BYTE* p = static_cast<const BYTE*>(AddTriBuffer);
        for (int32_t i = 0; i < v->Vertices; ++i, p += v->StreamSize[0]) {
            float xyz[3];
            std::memcpy(xyz, p, sizeof(xyz));
            for (int k = 0; k < 3; ++k) {
                low[k] = std::min(low[k], xyz[k]);
                high[k] = std::max(high[k], xyz[k]);
            }
        }
        for (int k = 0; k < 3; ++k) v->Centre[k] = (low[k] + high[k]) * 0.5f;
    }
    if (v->VBLocked && v->HandsOutDeviceVB()) v->UnlockVB();
    v->VBLocked = 0;
    if (v->IBLocked && v->HandsOutDeviceIB()) v->UnlockIB();
    v->IBLocked = 0;
    if (v->VBRestore) v->UpdateVB(0, 0);
    if (v->IBRestore) v->UpdateIB(0, 0);
    AddTri = nullptr;
    AddTriSB = nullptr;
    AddTriMM = nullptr;
    AddTriBuffer = nullptr;
}

// The block's references go back: the state block drawn and every choice.
void D3DCore::ReleaseBlock(MatBlock* block)
{
    releaseSB(block->StateBlock);
    block->StateBlock = SB_NONE;
    block->MultiBlock.Release();
    Delayed.Forget(block);
    if (SingleBlock == block) SingleBlock = nullptr;
    if (AddTri && AddTri->MatBlock == block) {
        // The open batch goes with its block.
        AddingTris = 0;
        AddTri = nullptr;
        AddTriSB = nullptr;
        AddTriMM = nullptr;
        AddTriBuffer = nullptr;
    }
}

void D3DCore::DeleteDisplayHandle(DisplayHandle* Handle)
{
    if (!VERIFY(Handle != NULL)) return;
    for (MatBlock* b = Handle->Blocks.First; b; b = b->Next) ReleaseBlock(b);
    Handle->Blocks.Clear();
    if (!VERIFY(DisplayHandles.Objects >= 1)) return;
    DisplayHandles.Remove(Handle);
}

void D3DCore::FreeDisplayHandles()
{
    if (DeviceActive)
        for (DisplayHandle* h = DisplayHandles.First; h; h = h->Next)
            for (MatBlock* b = h->Blocks.First; b; b = b->Next) ReleaseBlock(b);
    DisplayHandles.Clear();
}

void D3DCore::FreeVertexLists()
{
    for (DisplayHandle* h = DisplayHandles.First; h; h = h->Next)
        for (MatBlock* b = h->Blocks.First; b; b = b->Next) {
            Delayed.Forget(b);
            if (AddTri && AddTri->MatBlock == b) {
                AddingTris = 0;
                AddTri = nullptr;
            }
            b->VertexLists.Clear();
        }
}

void D3DCore::SetDisplayListMaterial(DisplayHandle* Handle, int32_t Mat)
{
    if (!VERIFY(Handle != NULL) || !VERIFY(Mat >= 0)) return;
    for (MatBlock* b = Handle->Blocks.First; b; b = b->Next)
        if (b->MultiBlock.Blocks > Mat) b->SetMaterial(Mat);
}

void D3DCore::SetDisplayListAnimationStart(DisplayHandle* Handle, float Time)
{
    if (!VERIFY(Handle != NULL)) return;
    for (MatBlock* b = Handle->Blocks.First; b; b = b->Next)
        for (int32_t i = 0; i < choices(b->MultiBlock); ++i)
            if (GMaterial* GM = materialOf(b->MultiBlock.StateBlock[i])) GM->AnimStart = Time;
}

void D3DCore::LoseDisplayListBuffers()
{
    for (DisplayHandle* h = DisplayHandles.First; h; h = h->Next)
        for (MatBlock* b = h->Blocks.First; b; b = b->Next)
            for (VertexList* v = b->VertexLists.First; v; v = v->Next) v->LoseBuffers();
}

void D3DCore::RestoreDisplayListBuffers()
{
    for (DisplayHandle* h = DisplayHandles.First; h; h = h->Next)
        for (MatBlock* b = h->Blocks.First; b; b = b->Next)
            for (VertexList* v = b->VertexLists.First; v; v = v->Next) v->RestoreBuffers();
}
