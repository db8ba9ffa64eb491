// Dynamic mesh objects: sub-meshes gathered by material, loaded from a mesh section or appended.
#include "matcore9/HWDynamicMesh.h"

#include "d3dcore9/D3DCore.h"
#include "utility/Assert.h"
#include "winfile/File.h"

#include <cstring>

HWDynamicMeshObject::HWDynamicMeshObject(DWORD maxVertices_, DWORD maxIndices_)
    : maxVertices(maxVertices_), maxIndices(maxIndices_)
{
}

HWDynamicMeshObject::~HWDynamicMeshObject()
{
    while (pFirst) {
        HWDynamicSubMesh* next = pFirst->next;
        delete pFirst;
        pFirst = next;
    }
    if (DispHandle) D3DCore.DeleteDisplayHandle(DispHandle);
}

HWDynamicSubMesh* HWDynamicMeshObject::AddSubMesh(HWDynamicSubMesh* pSubMesh, DWORD* vertexOffset, DWORD* indexOffset)
{
    if (!VERIFY(pSubMesh) || !VERIFY(!committed)) return nullptr;
    if (!DispHandle) DispHandle = D3DCore.CreateDisplayHandle();
    if (!VERIFY(DispHandle)) return nullptr;
    HWDynamicSubMesh* last = nullptr;
    for (HWDynamicSubMesh* d = pFirst; d; last = d, d = d->next) {
        // Ten indices to spare leave room for the joins of strips.
        if (d->MultiBlock == pSubMesh->MultiBlock && d->listType == pSubMesh->listType &&
            uint64_t{d->numVertices} + pSubMesh->numVertices <= d->maxVertices &&
            uint64_t{d->numIndices} + pSubMesh->numIndices + 10 <= d->maxIndices &&
            d->Append(pSubMesh, vertexOffset, indexOffset))
            return d;
    }
    HWDynamicSubMesh* pDSM = new HWDynamicSubMesh();
    if (!pDSM->Init(this, maxVertices, maxIndices, pSubMesh->indexSize, pSubMesh->MultiBlock, pSubMesh->listType,
                    nullptr, 0) ||
        !pDSM->Append(pSubMesh, vertexOffset, indexOffset)) {
        delete pDSM;
        return nullptr;
    }
    if (last)
        last->next = pDSM;
    else
        pFirst = pDSM;
    return pDSM;
}

bool HWDynamicMeshObject::Commit()
{
    if (!VERIFY(!committed)) return false;
    bool status = true;
    for (HWDynamicSubMesh* d = pFirst; d; d = d->next) {
        status = d->Commit(DispHandle);
        if (!VERIFY(status)) return false;
    }
    committed = 1;
    building = 0;
    active = 1;
    dirty = 0;
    return true;
}

void HWDynamicMeshObject::Render(uint32_t Flags)
{
    if (!VERIFY(committed) || !DispHandle) return;
    if (dirty) {
        for (HWDynamicSubMesh* d = pFirst; d; d = d->next) d->CommitChanges();
        dirty = 0;
    }
    D3DCore.DrawDisplayList(DispHandle, Flags);
}

void HWDynamicMeshObject::SetMaterial(int32_t Num)
{
    if (!VERIFY(Num >= 0) || !VERIFY(DispHandle)) return;
    D3DCore.SetDisplayListMaterial(DispHandle, Num);
}

void HWDynamicMeshObject::SetAnimationStart(float Time)
{
    if (VERIFY(DispHandle)) D3DCore.SetDisplayListAnimationStart(DispHandle, Time);
}

bool HWDynamicMeshObject::BuildNormals(bool force)
{
    for (HWDynamicSubMesh* d = pFirst; d; d = d->next)
        if (!d->BuildNormals(force)) {
            assertFailedMsg("Build normals failed on DSM", "false", __FILE__, __LINE__);
            return false;
        }
    return true;
}

bool HWDynamicMeshObject::Prelight(const Matrix3& orientation, const Vector3& direction, const Vector3& ambient,
                                   const Vector3& colour)
{
    // The light into the object's frame: the orientation's transpose applied to the reversed direction.
    const float(*m)[3] = orientation.m;
    Vector3 light(-(m[0][0] * direction.x + m[0][1] * direction.y + m[0][2] * direction.z),
                  -(m[1][0] * direction.x + m[1][1] * direction.y + m[1][2] * direction.z),
                  -(m[2][0] * direction.x + m[2][1] * direction.y + m[2][2] * direction.z));
    light.normalise();
    bool ok = true;
    for (HWDynamicSubMesh* d = pFirst; d; d = d->next) ok = d->Prelight(light, ambient, colour) && ok;
    return ok;
}

// ---- Loading ----

bool HWDynamicMeshObject::Load(CFile& file, DWORD FileVersion, const char* FileName)
{
    return LoadBlocks(file, FileVersion, FileName);
}

bool HWDynamicMeshObject::AddPrimitive(const MultiBlock& material, const MeshMaterialInfo& info,
                                        const MeshBlock& block, MeshPrimitive& prim, const MeshReader& reader)
{
    const bool fvfFile = reader.Version() >= MESH_VERSION_FVF;
    const DWORD indexSize = prim.IndexSize;
    // Older files' 32-bit indices are narrowed below; newer files must already have the sub-mesh's.
    if (fvfFile && !VERIFY(indexSize == 2)) return false;
    HWDynamicSubMesh scratch;
    if (!scratch.Init(this, prim.Vertices, prim.Indices, 2, material, prim.Type, nullptr, prim.Degenerates)) return false;
    BYTE* pFVFVertices = static_cast<BYTE*>(scratch.LockVertices(DSM_LOCK_WRITE));
    WORD* pFVFIndices = static_cast<WORD*>(scratch.LockIndices(DSM_LOCK_WRITE));
    if (!VERIFY(pFVFVertices) || !VERIFY(pFVFIndices)) return false;
    const FVFFormat& target = material.MainFVF;
    bool ok = true;
    if (prim.FVF == 0) {
        ok = ConvertGenericVertices(reinterpret_cast<const GenericVertex*>(prim.VertexData), pFVFVertices,
                                    prim.Vertices, prim.UVSets, material, !fvfFile);
    } else if (prim.FVF == target.D3DFlags) {
        std::memcpy(pFVFVertices, prim.VertexData, static_cast<size_t>(prim.Vertices) * prim.VertexSize);
    } else {
        FVFFormat format;
        format.D3DFlags = prim.FVF;
        AnalyseFVF(format);
        const StateBlock* SB = D3DCore.StateBlocks.GetSB(material.StateBlock[0]);
        CheckVertexComponents(format, target, block.Textures.TotalNames, reader.ModelName(), block.Material,
                              SB ? SB->GMaterial : nullptr, info.FileReported != 0);
        RebuildVertices(prim.VertexData, format, pFVFVertices, target, prim.Vertices);
    }
    if (indexSize == 4)
        ok = ok && ConvertGenericIndices(reinterpret_cast<const DWORD*>(prim.IndexData), pFVFIndices, prim.Indices,
                                         prim.Vertices);
    else
        std::memcpy(pFVFIndices, prim.IndexData, static_cast<size_t>(prim.Indices) * 2);
    scratch.SetNumVertices(prim.Vertices);
    scratch.SetNumIndices(prim.Indices);
    scratch.UnlockIndices();
    scratch.UnlockVertices();
    DWORD vertexOffset = 0, indexOffset = 0;
    return ok && AddSubMesh(&scratch, &vertexOffset, &indexOffset) != nullptr;
}
