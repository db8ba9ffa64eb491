// Dynamic meshes: mesh objects whose geometry stays editable after loading. Geometry lives in
// sub-meshes (DSM), one per distinct multi-material and primitive type, which take further geometry
// until the object is committed:
//
//   HWDynamicMeshObject* mesh = new HWDynamicMeshObject(65535, 65535);
//   mesh->Load(file, fileVersion, name);          // or AddSubMesh(source, &v, &i) for each part
//   sub->CopyVertices(placement, source, 0, v, n, DSM_COPY_POSITION | ...);
//   mesh->Commit();                               // now a display list; locks still work
//   mesh->BuildNormals(false); mesh->Prelight(orientation, sun, ambient, colour);
//   each frame: mesh->Render(flags);              // changed ranges reach the card first
//
// Before commit a sub-mesh's vertices and indices live in allocator memory. After it they live in
// a vertex list of the render core: a discarding lock (DSM_LOCK_DISCARD) writes the card's buffer
// directly, any other lock the list's system copy, whose changed range goes to the card before the
// next draw. Main thread only.
#pragma once

#include "matcore9/HWObjects.h"
#include "utility/VectorMath.h"

#include <cstdint>

class HWDynamicMeshObject;

// Lock modes.
enum : DWORD { DSM_LOCK_READ = 1, DSM_LOCK_WRITE = 2, DSM_LOCK_READWRITE = 3, DSM_LOCK_DISCARD = 4 };
// What CopyVertices copies.
enum : DWORD {
    DSM_COPY_POSITION = 1,  // transformed
    DSM_COPY_NORMAL = 2,    // rotated
    DSM_COPY_DIFFUSE = 4,
    DSM_COPY_TEXTURES = 16,
};

class HWDynamicSubMesh {
public:
    HWDynamicSubMesh() = default;
    ~HWDynamicSubMesh();
    HWDynamicSubMesh(const HWDynamicSubMesh&) = delete;
    HWDynamicSubMesh& operator=(const HWDynamicSubMesh&) = delete;

    // Room for maxVertices and maxIndices (zeroed), drawn with the material. indexSize must be 2;
    // numDegen must be 0 unless the type is a triangle strip. False after a report.
    bool Init(HWDynamicMeshObject* owner, DWORD maxVertices, DWORD maxIndices, DWORD indexSize,
              const struct MultiBlock& material, D3DPRIMITIVETYPE listType, HWDynamicSubMesh* unused, DWORD numDegen);
    // The memory (before commit), the material's references and the normals go.
    void Release();

    // Null after a report when already locked (or not initialised).
    void* LockVertices(DWORD mode);
    void UnlockVertices();  // the whole list has changed
    void UnlockVertexRange(DWORD start, DWORD count);
    void* LockIndices(DWORD mode);
    void UnlockIndices();
    void UnlockIndexRange(DWORD start, DWORD count);
    // Before commit, inside the matching lock; refused above the maximum.
    bool SetNumVertices(DWORD n);
    bool SetNumIndices(DWORD n);

    // Adds the source's geometry after this one's (strips joined by degenerate triangles); the
    // offsets say where it went. Refused, changing nothing, when it does not fit or does not match.
    bool Append(HWDynamicSubMesh* pSubMesh, DWORD* vertexOffset, DWORD* indexOffset);
    // Into a vertex list of the display list; the allocator memory goes back.
    bool Commit(DisplayHandle* handle);
    // The changed ranges of the system copies to the card's buffers.
    void CommitChanges();

    // Range operations; refused, changing nothing, outside the vertices.
    bool CopyVertices(const MeshTransform& transform, HWDynamicSubMesh* pSourceDSM, DWORD sourceOffset,
                      DWORD destOffset, DWORD vertexCount, DWORD parts);
    bool TransformVertices(const MeshTransform& transform, DWORD vertexOffset, DWORD vertexCount);
    bool ScaleDiffuse(float r, float g, float b, DWORD vertexOffset, DWORD vertexCount);

    // Smooth normals of a committed triangle list (kept beside the vertices, which are unchanged);
    // later calls do nothing unless forced.
    bool BuildNormals(bool force);
    // A directional light (and ambient) baked into the diffuse colours; alpha is kept.
    bool Prelight(const Vector3& direction, const Vector3& ambient, const Vector3& colour);

    DWORD GetNumVertices() const { return numVertices; }
    DWORD GetNumIndices() const { return numIndices; }
    DWORD GetMaxVertices() const { return maxVertices; }
    DWORD GetMaxIndices() const { return maxIndices; }
    DWORD GetVertexSize() const { return vertexSize; }
    DWORD GetNumDegen() const { return numDegen; }
    D3DPRIMITIVETYPE GetListType() const { return listType; }
    const struct MultiBlock* GetMultiBlock() const { return &MultiBlock; }
    HWDynamicSubMesh* GetNext() const { return next; }
    VertexList* GetVertexList() const { return pVertexList; }
    const float* GetNormals() const { return pNormals; }
    bool IsCommitted() const { return committed != 0; }

private:
    friend class HWDynamicMeshObject;
    // The parts of a vertex range, after the range checks of the caller.
    void TransformRange(const MeshTransform& t, const BYTE* src, const FVFFormat& srcFVF, BYTE* dst, DWORD count,
                        DWORD parts) const;
    void GrowRange(DWORD& start, DWORD& end, DWORD from, DWORD to);
    void* Lock(BYTE& lock, DWORD mode, bool vertices);
    bool Unlock(BYTE& lock, bool vertices, DWORD start, DWORD count);

    // Changed ranges of the system copies, in vertices and indices, [start, end).
    BYTE vbMapped = 0;
    DWORD vbDirtyStart = 0, vbDirtyEnd = 0;
    BYTE ibMapped = 0;
    DWORD ibDirtyStart = 0, ibDirtyEnd = 0;
    VertexList* pVertexList = nullptr;
    DWORD maxIndices = 0, maxVertices = 0, numIndices = 0, numVertices = 0;
    BYTE* pIndexBuffer = nullptr;
    DWORD indexSize = 2;
    BYTE* pNativeVertices = nullptr;
    BYTE vertexLock = 0, indexLock = 0;
    struct MultiBlock MultiBlock;
    DWORD vertexSize = 0;
    D3DPRIMITIVETYPE listType = D3DPT_TRIANGLELIST;
    HWDynamicSubMesh* next = nullptr;
    BYTE initialised = 0, committed = 0, discardVertices = 0, discardIndices = 0;
    DWORD numDegen = 0;
    HWDynamicMeshObject* pDMO = nullptr;
    float* pNormals = nullptr;
};

class HWDynamicMeshObject : public HWBaseObject {
public:
    // The room of each new sub-mesh.
    HWDynamicMeshObject(DWORD maxVertices, DWORD maxIndices);

    // Every primitive of the section becomes part of a sub-mesh; not committed.
    bool Load(CFile& file, DWORD FileVersion, const char* FileName) override;
    void SetMaterial(int32_t Num) override;
    void SetAnimationStart(float Time) override;
    // Committed objects only: changed ranges go to the card, then the display list is drawn.
    void Render(uint32_t Flags) override;

    // The source's geometry appended to the first sub-mesh of the same material and type with room
    // for it (and 10 indices to spare), else to a new one; null when refused.
    HWDynamicSubMesh* AddSubMesh(HWDynamicSubMesh* pSubMesh, DWORD* vertexOffset, DWORD* indexOffset);
    bool Commit();
    bool BuildNormals(bool force);
    // The light turned into the object's frame by the orientation, then baked into every sub-mesh.
    bool Prelight(const Matrix3& orientation, const Vector3& direction, const Vector3& ambient, const Vector3& colour);

    HWDynamicSubMesh* GetFirstSubMesh() const { return pFirst; }
    DisplayHandle* GetDisplayHandle() const { return DispHandle; }
    bool IsCommitted() const { return committed != 0; }
    void SetDirty() { dirty = 1; }

protected:
    ~HWDynamicMeshObject() override;

private:
    // A primitive of a loaded section as a scratch sub-mesh, appended where it fits.
    bool AddPrimitive(const struct MultiBlock& material, const MeshMaterialInfo& info, const MeshBlock& block,
                      MeshPrimitive& prim, const MeshReader& reader) override;

    DWORD maxVertices, maxIndices;
    BYTE building = 1;  // taking geometry; cleared by Commit
    BYTE active = 1;    // set at construction and by Commit
    BYTE committed = 0;
    BYTE dirty = 0;
    HWDynamicSubMesh* pFirst = nullptr;
};
