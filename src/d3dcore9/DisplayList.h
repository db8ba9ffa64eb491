// Display lists: retained geometry filled once and drawn every frame.
//
//   DisplayHandle* h = D3DCore.CreateDisplayHandle();
//   AddTrisConfig c;  c.Vertices = n;  c.Indices = m;  c.ListType = D3DPT_TRIANGLELIST;
//   void *v, *i;
//   VertexList* list = D3DCore.AddTris(h, &multi, &c, &v, &i, nullptr);   // null: refused
//   ... write n vertices to v and m 16-bit indices to i ...
//   D3DCore.EndAddTris();
//   each frame: D3DCore.DrawDisplayList(h, flags);
//   at the end: D3DCore.DeleteDisplayHandle(h);
//
// Batches whose multi-materials are equal (names aside) share one MatBlock, so its material is
// set once per pass for all of them. Batches of delayed-sort materials are recorded by
// DrawDisplayList and drawn, sorted, at the end of the scene. A display list must live until the
// end of the frame it was drawn in. Main thread only.
#pragma once

#include "d3dcore9/FVFFormat.h"
#include "d3dcore9/StateBlock.h"
#include "dxsetup9/ListMngr.h"
#include "platform/d3d9.h"

#include <cstdint>

const int32_t MAXSTATEBLOCKCHOICES = 4;
const int32_t MAXVBSTREAMS = 16;

// The materials one piece of geometry can be drawn with: up to four choices, one of them possibly
// the transparent variant, and the vertex layout they all read. Copies own their Name.
struct MultiBlock {
    int32_t Blocks = 0;                  // choices
    DWORD TransparentBlock = SB_NONE;    // state block of the transparent variant
    DWORD StateBlock[MAXSTATEBLOCKCHOICES] = {SB_NONE, SB_NONE, SB_NONE, SB_NONE};
    FVFFormat MainFVF;                   // MainFVF.Size is the vertex size
    char* Name = nullptr;

    MultiBlock() = default;
    MultiBlock(const MultiBlock& other);
    MultiBlock& operator=(const MultiBlock& other);
    ~MultiBlock();
    // Equal in every field but the Name.
    bool operator==(const MultiBlock& other) const;

    // One reference more / less on each choice's state block; Release also frees the Name.
    void AddRef();
    void Release();
    void SetName(const char* name);
};

// What a caller asks of AddTris.
struct AddTrisConfig {
    uint32_t Vertices = 0;     // not 0
    uint32_t Indices = 0;      // 0: not indexed; at most 65535
    BYTE VBDynamic = 0, VBWriteOnly = 0, VBClipping = 0;
    BYTE IBDynamic = 0, IBWriteOnly = 0, IBClipping = 0;
    BYTE Use32BitIndices = 0;  // refused
    BYTE VBRestore = 0, IBRestore = 0;  // keep a system copy that refills a dynamic buffer after a lost device
    int32_t ListType = D3DPT_TRIANGLELIST;
};

// Where AddTris hands out the memory of each stream, for materials with vertex streams.
struct VBStreams {
    int32_t Streams = 0;
    void* Data[MAXVBSTREAMS] = {};
    DWORD VertexSize[MAXVBSTREAMS] = {};
};

struct MatBlock;

// One batch: its buffers, or for SORT_POLY materials only system copies that the sorted pass
// reads. Locks hand out the device buffers again (dynamic sub-meshes rewrite them).
class VertexList : public ListRecord<VertexList> {
public:
    VertexList() = default;
    ~VertexList();  // releases the device buffers and frees the system copies
    VertexList(const VertexList&) = delete;
    VertexList& operator=(const VertexList&) = delete;

    // Options 0, D3DLOCK_READONLY (not on a write-only buffer) or D3DLOCK_DISCARD; false when the
    // buffer is locked already, missing, or the device refuses. Size 0: the whole buffer.
    bool LockVB(void** Data, DWORD Options, DWORD Offset, DWORD Size);
    bool LockIB(void** Data, DWORD Options, DWORD Offset, DWORD Size);
    bool UnlockVB();
    bool UnlockIB();
    // Bytes Start..Start+Size-1 of the system copy into the device buffer; (0, 0) all of it. A
    // range outside the buffer is refused.
    bool UpdateVB(int32_t Start, int32_t Size);
    bool UpdateIB(int32_t Start, int32_t Size);
    void ClearVB();
    void ClearIB();
    void Optimise();

    // The device buffers of the default pool go with a lost device and come back, refilled from
    // the system copies or cleared, after it.
    void LoseBuffers();
    void RestoreBuffers();

    IDirect3DIndexBuffer9* IndexBuffer = nullptr;
    IDirect3DVertexBuffer9** VertexBuffer = nullptr;  // one per stream (at least one); null for SORT_POLY
    int32_t Streams = 1;   // after AddTris: 0 for plain FVF vertices
    int32_t DynamicVB = -1;
    BYTE* SysVertexBuffer = nullptr;
    BYTE* SysIndexBuffer = nullptr;
    struct MatBlock* MatBlock = nullptr;
    BYTE VBCreatedWOnly = 0, VBDynamic = 0, IBCreatedWOnly = 0, IBDynamic = 0;
    BYTE PolySort = 0, IBRestore = 0, VBRestore = 0, Indexed = 0, Optimised = 0;
    BYTE VBLocked = 0, IBLocked = 0;
    DWORD IBUsage = 0, VBUsage = 0;
    D3DPOOL IBPool = D3DPOOL_MANAGED, VBPool = D3DPOOL_MANAGED;
    int32_t Vertices = 0, Indices = 0, IndexSize = 2;
    int32_t PrimitiveCount = 0;
    int32_t DegenerateCount = 0;  // set by the code that builds a strip
    D3DPRIMITIVETYPE ListType = D3DPT_TRIANGLELIST;
    DWORD FVF = 0, FVFSize = 0;
    DWORD StreamSize[MAXVBSTREAMS] = {};  // bytes per vertex of each stream
    float Centre[3] = {};                 // middle of the bounding box (SORT_MATERIAL)

    // The device buffer of stream s, null when it has none.
    IDirect3DVertexBuffer9* Stream(int32_t s) const;
    int32_t BufferCount() const { return VertexBuffer ? (Streams > 0 ? Streams : 1) : 0; }
    // The device buffers were locked by AddTris (no system copy in between).
    bool HandsOutDeviceVB() const { return !VBRestore && !PolySort; }
    bool HandsOutDeviceIB() const { return !IBRestore && !PolySort; }
    bool CreateIB();
    bool CreateVB(int32_t s);
};

// One distinct multi-material of a display list with its batches.
struct MatBlock : ListRecord<MatBlock> {
    DWORD StateBlock = SB_NONE;  // the choice drawn
    struct MultiBlock MultiBlock;
    int32_t Material = 0;        // the selected choice
    ListMngr<VertexList> VertexLists;
    int32_t DynamicVB = -1;      // SORT_POLY

    // Draws choice Mat from now on (when it has a state block), moving the reference.
    bool SetMaterial(int32_t Mat);
};

struct DisplayHandle : ListRecord<DisplayHandle> {
    ListMngr<MatBlock> Blocks;
};

// Per-frame figures of what reached the device (reset by BeginScene).
struct FrameCounts {
    uint32_t DrawCalls = 0;
    uint32_t Triangles = 0;
    uint32_t DegenerateTriangles = 0;
    uint32_t Vertices = 0;
    uint32_t ListTriangles = 0, StripTriangles = 0, FanTriangles = 0;
    uint32_t FVFChanges = 0;
    uint32_t StreamChanges = 0;
};
