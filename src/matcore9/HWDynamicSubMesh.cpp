// Dynamic sub-meshes: geometry of one material and primitive type, editable before and after commit.
#include "matcore9/HWDynamicMesh.h"

#include "d3dcore9/D3DCore.h"
#include "matcore9/BufferAllocator.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Whatever a load or a copy does not fill is zeros, not the heap's leftovers.
void* allocate(uint64_t bytes)
{
    return bytes <= UINT32_MAX ? CBufferAllocator::GetInstance()->AllocZeroed(static_cast<uint32_t>(bytes)) : nullptr;
}

void release(BYTE*& p)
{
    if (p) CBufferAllocator::GetInstance()->Free(p);
    p = nullptr;
}

Vector3 readVector(const BYTE* p)
{
    Vector3 v;
    std::memcpy(&v.x, p, 4);
    std::memcpy(&v.y, p + 4, 4);
    std::memcpy(&v.z, p + 8, 4);
    return v;
}

void writeVector(BYTE* p, const Vector3& v)
{
    std::memcpy(p, &v.x, 4);
    std::memcpy(p + 4, &v.y, 4);
    std::memcpy(p + 8, &v.z, 4);
}

// v times the 3 x 3 part (rows m0-m2, m3-m5, m6-m8).
Vector3 rotate(const MeshTransform& t, const Vector3& v)
{
    const float* m = t.Rotation;
    return Vector3(m[0] * v.x + m[3] * v.y + m[6] * v.z, m[1] * v.x + m[4] * v.y + m[7] * v.z,
                   m[2] * v.x + m[5] * v.y + m[8] * v.z);
}

// A colour channel of 0..1 as a byte, rounded; a result past either end gives 255.
DWORD lightByte(float value)
{
    const float x = value * 255.0f;
    if (!(x > -1e9f && x < 1e9f)) return 255;
    const long r = std::lround(x);
    return r < 0 || r > 255 ? 255u : static_cast<DWORD>(r);
}

bool inRange(DWORD offset, DWORD count, DWORD total) { return uint64_t{offset} + count <= total; }

}  // namespace

HWDynamicSubMesh::~HWDynamicSubMesh() { Release(); }

bool HWDynamicSubMesh::Init(HWDynamicMeshObject* owner, DWORD maxVertices_, DWORD maxIndices_, DWORD indexSize_,
                            const struct MultiBlock& material, D3DPRIMITIVETYPE listType_, HWDynamicSubMesh*,
                            DWORD numDegen_)
{
    if (!VERIFY(!initialised)) return false;
    const DWORD numDegen = numDegen_;
    if (listType_ != D3DPT_TRIANGLESTRIP && !VERIFY(numDegen == 0)) return false;
    const DWORD indexSize = indexSize_;
    // The render core's vertex lists hold 16-bit indices.
    if (!VERIFY(indexSize == 2) || !VERIFY(maxVertices_ <= MESH_MAX_COUNT) || !VERIFY(maxIndices_ <= MESH_MAX_COUNT) ||
        !VERIFY(material.MainFVF.FormatValid))
        return false;
    vertexSize = material.MainFVF.Size;
    pNativeVertices = static_cast<BYTE*>(allocate(uint64_t{vertexSize} * maxVertices_));
    if (!VERIFY(pNativeVertices)) return false;
    pIndexBuffer = static_cast<BYTE*>(allocate(uint64_t{2} * maxIndices_));
    if (!VERIFY(pIndexBuffer)) {
        release(pNativeVertices);
        return false;
    }
    pDMO = owner;
    maxVertices = maxVertices_;
    maxIndices = maxIndices_;
    numVertices = numIndices = 0;
    this->indexSize = indexSize;
    MultiBlock = material;
    MultiBlock.AddRef();
    listType = listType_;
    this->numDegen = numDegen;
    initialised = 1;
    return true;
}

void HWDynamicSubMesh::Release()
{
    if (initialised) {
        if (!committed) {
            release(pNativeVertices);
            release(pIndexBuffer);
        }
        MultiBlock.Release();
    }
    delete[] pNormals;
    pNormals = nullptr;
    pVertexList = nullptr;
    initialised = committed = 0;
    vertexLock = indexLock = 0;
    vbMapped = ibMapped = 0;
}

// ---- Locks ----

void* HWDynamicSubMesh::Lock(BYTE& lock, DWORD mode, bool vertices)
{
    if (!VERIFY(initialised) || !VERIFY(mode >= DSM_LOCK_READ && mode <= DSM_LOCK_DISCARD)) return nullptr;
    if (!committed) {
        lock = static_cast<BYTE>(mode);
        return vertices ? pNativeVertices : pIndexBuffer;
    }
    if (mode == DSM_LOCK_DISCARD) {
        void* data = nullptr;
        const bool ok = vertices ? pVertexList->LockVB(&data, D3DLOCK_DISCARD, 0, 0)
                                 : pVertexList->LockIB(&data, D3DLOCK_DISCARD, 0, 0);
        if (!ok) return nullptr;
        (vertices ? discardVertices : discardIndices) = 1;
        lock = static_cast<BYTE>(mode);
        return data;
    }
    BYTE* copy = vertices ? pVertexList->SysVertexBuffer : pVertexList->SysIndexBuffer;
    if (!copy) return nullptr;
    // A range already waiting for the card stays: it grows with this lock's.
    BYTE& mapped = vertices ? vbMapped : ibMapped;
    if (!mapped) {
        mapped = 1;
        if (vertices)
            vbDirtyStart = vbDirtyEnd = 0;
        else
            ibDirtyStart = ibDirtyEnd = 0;
    }
    lock = static_cast<BYTE>(mode);
    return copy;
}

void HWDynamicSubMesh::GrowRange(DWORD& start, DWORD& end, DWORD from, DWORD to)
{
    if (from >= to) return;
    if (start == end) {
        start = from;
        end = to;
    } else {
        start = std::min(start, from);
        end = std::max(end, to);
    }
    if (pDMO) pDMO->SetDirty();
}

bool HWDynamicSubMesh::Unlock(BYTE& lock, bool vertices, DWORD start, DWORD count)
{
    const BYTE mode = lock;
    lock = 0;
    if (!committed) return true;
    if (mode == DSM_LOCK_DISCARD) return vertices ? pVertexList->UnlockVB() : pVertexList->UnlockIB();
    const DWORD total = vertices ? numVertices : numIndices;
    if (!VERIFY(inRange(start, count, total))) count = start < total ? total - start : 0;
    if (vertices)
        GrowRange(vbDirtyStart, vbDirtyEnd, start, start + count);
    else
        GrowRange(ibDirtyStart, ibDirtyEnd, start, start + count);
    return true;
}

void* HWDynamicSubMesh::LockVertices(DWORD mode)
{
    if (!VERIFY(!vertexLock)) return nullptr;
    return Lock(vertexLock, mode, true);
}

void* HWDynamicSubMesh::LockIndices(DWORD mode)
{
    if (!VERIFY(!indexLock)) return nullptr;
    return Lock(indexLock, mode, false);
}

void HWDynamicSubMesh::UnlockVertices()
{
    if (VERIFY(vertexLock)) Unlock(vertexLock, true, 0, numVertices);
}

void HWDynamicSubMesh::UnlockVertexRange(DWORD start, DWORD count)
{
    if (VERIFY(vertexLock)) Unlock(vertexLock, true, start, count);
}

void HWDynamicSubMesh::UnlockIndices()
{
    if (VERIFY(indexLock)) Unlock(indexLock, false, 0, numIndices);
}

void HWDynamicSubMesh::UnlockIndexRange(DWORD start, DWORD count)
{
    if (VERIFY(indexLock)) Unlock(indexLock, false, start, count);
}

bool HWDynamicSubMesh::SetNumVertices(DWORD numVtx)
{
    if (!VERIFY(!committed) || !VERIFY(vertexLock) || !VERIFY(numVtx <= maxVertices)) return false;
    numVertices = numVtx;
    return true;
}

bool HWDynamicSubMesh::SetNumIndices(DWORD numIdx)
{
    if (!VERIFY(!committed) || !VERIFY(indexLock) || !VERIFY(numIdx <= maxIndices)) return false;
    numIndices = numIdx;
    return true;
}

// ---- Building ----

bool HWDynamicSubMesh::Append(HWDynamicSubMesh* pSubMesh, DWORD* vertexOffset, DWORD* indexOffset)
{
    if (!VERIFY(pSubMesh) || !VERIFY(!committed) || !VERIFY(initialised) || !VERIFY(pSubMesh->initialised))
        return false;
    // Strips are joined by repeating the last index (twice when the count is odd, to keep the
    // winding) and the first new one: degenerate triangles that draw nothing.
    const bool join = listType == D3DPT_TRIANGLESTRIP && numIndices > 0 && pSubMesh->numIndices > 0;
    const DWORD odd = join ? numIndices & 1 : 0;
    const DWORD joinIndices = join ? 2 + odd : 0;
    const DWORD indexOffset_ = numIndices + joinIndices;
    const DWORD vertexOffset_ = numVertices;
    if (!VERIFY((indexOffset_ + pSubMesh->numIndices) <= maxIndices) ||
        !VERIFY((vertexOffset_ + pSubMesh->numVertices) <= maxVertices) || !VERIFY(indexSize == pSubMesh->indexSize) ||
        !VERIFY(MultiBlock == *pSubMesh->GetMultiBlock()) || !VERIFY(listType == pSubMesh->listType))
        return false;

    const BYTE* srcVertices = static_cast<const BYTE*>(pSubMesh->LockVertices(DSM_LOCK_READ));
    const BYTE* srcIndices = srcVertices ? static_cast<const BYTE*>(pSubMesh->LockIndices(DSM_LOCK_READ)) : nullptr;
    BYTE* vertices = srcIndices ? static_cast<BYTE*>(LockVertices(DSM_LOCK_READWRITE)) : nullptr;
    BYTE* indices = vertices ? static_cast<BYTE*>(LockIndices(DSM_LOCK_READWRITE)) : nullptr;
    const bool ok = indices != nullptr;
    if (ok) {
        std::memcpy(vertices + static_cast<size_t>(vertexOffset_) * vertexSize, srcVertices,
                    static_cast<size_t>(pSubMesh->numVertices) * vertexSize);
        WORD* out = reinterpret_cast<WORD*>(indices) + numIndices;
        WORD source;
        if (join) {
            const WORD last = reinterpret_cast<const WORD*>(indices)[numIndices - 1];
            std::memcpy(&source, srcIndices, 2);
            if (odd) *out++ = last;
            *out++ = last;
            *out++ = static_cast<WORD>(source + vertexOffset_);
            numDegen += 4 + odd;
        }
        for (DWORD i = 0; i < pSubMesh->numIndices; ++i) {
            std::memcpy(&source, srcIndices + 2 * i, 2);
            *out++ = static_cast<WORD>(source + vertexOffset_);
        }
        numDegen += pSubMesh->numDegen;
        numVertices += pSubMesh->numVertices;
        numIndices = indexOffset_ + pSubMesh->numIndices;
        if (vertexOffset) *vertexOffset = vertexOffset_;
        if (indexOffset) *indexOffset = indexOffset_;
    }
    if (indices) UnlockIndices();
    if (vertices) UnlockVertices();
    if (srcIndices) pSubMesh->UnlockIndexRange(0, 0);
    if (srcVertices) pSubMesh->UnlockVertexRange(0, 0);
    return ok;
}

bool HWDynamicSubMesh::Commit(DisplayHandle* handle)
{
    if (!VERIFY(!vertexLock) || !VERIFY(!indexLock) || !VERIFY(initialised) || !VERIFY(!committed)) return false;
    AddTrisConfig config;
    config.Vertices = numVertices;
    config.Indices = numIndices;
    config.ListType = listType;
    // The system copies stay: read and partial locks use them, and they refill the card's buffers
    // after a lost device.
    config.VBDynamic = config.VBRestore = config.IBDynamic = config.IBRestore = 1;
    config.VBWriteOnly = config.IBWriteOnly = 1;
    void* vertices = nullptr;
    void* indices = nullptr;
    pVertexList = D3DCore.AddTris(handle, &MultiBlock, &config, &vertices, &indices, nullptr);
    if (!VERIFY(pVertexList)) return false;
    pVertexList->DegenerateCount = static_cast<int32_t>(numDegen);
    std::memcpy(vertices, pNativeVertices, static_cast<size_t>(numVertices) * vertexSize);
    if (indices && numIndices) std::memcpy(indices, pIndexBuffer, static_cast<size_t>(numIndices) * 2);
    D3DCore.EndAddTris();
    release(pNativeVertices);
    release(pIndexBuffer);
    committed = 1;
    return true;
}

void HWDynamicSubMesh::CommitChanges()
{
    if (!VERIFY(!vertexLock) || !VERIFY(!indexLock) || !committed) return;
    // A material sorted per triangle draws from the system copies themselves.
    const bool card = !pVertexList->PolySort;
    if (vbMapped) {
        if (discardVertices) {
            // The copy no longer matches what the card holds since a discarding lock.
            assertFailed("!discardContents", __FILE__, __LINE__);
            discardVertices = 0;
        }
        if (card && vbDirtyEnd > vbDirtyStart)
            pVertexList->UpdateVB(static_cast<int32_t>(vbDirtyStart * vertexSize),
                                  static_cast<int32_t>((vbDirtyEnd - vbDirtyStart) * vertexSize));
        vbMapped = 0;
        vbDirtyStart = vbDirtyEnd = 0;
    }
    if (ibMapped) {
        if (discardIndices) {
            assertFailed("!discardContents", __FILE__, __LINE__);
            discardIndices = 0;
        }
        if (card && ibDirtyEnd > ibDirtyStart)
            pVertexList->UpdateIB(static_cast<int32_t>(ibDirtyStart * 2), static_cast<int32_t>((ibDirtyEnd - ibDirtyStart) * 2));
        ibMapped = 0;
        ibDirtyStart = ibDirtyEnd = 0;
    }
}

// ---- Vertex ranges ----

void HWDynamicSubMesh::TransformRange(const MeshTransform& t, const BYTE* src, const FVFFormat& srcFVF, BYTE* dst,
                                      DWORD count, DWORD parts) const
{
    const FVFFormat& dstFVF = MultiBlock.MainFVF;
    for (DWORD v = 0; v < count; ++v, src += srcFVF.Size, dst += dstFVF.Size) {
        if (parts & DSM_COPY_POSITION) {
            const Vector3 p = readVector(src);
            const Vector3 s(p.x * t.Scale[0], p.y * t.Scale[1], p.z * t.Scale[2]);
            Vector3 out = rotate(t, s);
            out.x += t.Translation[0];
            out.y += t.Translation[1];
            out.z += t.Translation[2];
            writeVector(dst, out);
        }
        if ((parts & DSM_COPY_NORMAL) && srcFVF.Normal && dstFVF.Normal)
            writeVector(dst + dstFVF.NormalOffset, rotate(t, readVector(src + srcFVF.NormalOffset)));
        if ((parts & DSM_COPY_DIFFUSE) && srcFVF.Diffuse && dstFVF.Diffuse && src != dst)
            std::memcpy(dst + dstFVF.DiffuseOffset, src + srcFVF.DiffuseOffset, 4);
        if ((parts & DSM_COPY_TEXTURES) && src != dst)
            for (int32_t i = 0; i < srcFVF.TexSets && i < dstFVF.TexSets; ++i)
                std::memcpy(dst + dstFVF.TexOffset[i], src + srcFVF.TexOffset[i], 8);
    }
}

bool HWDynamicSubMesh::CopyVertices(const MeshTransform& transform, HWDynamicSubMesh* pSourceDSM, DWORD sourceOffset,
                                    DWORD destOffset, DWORD vertexCount, DWORD parts)
{
    if (!VERIFY(pSourceDSM)) return false;
    if (!inRange(destOffset, vertexCount, numVertices)) {
        assertFailed("(destOffset + vertexCount) <= numVertices", __FILE__, __LINE__);
        return false;
    }
    if (!inRange(sourceOffset, vertexCount, pSourceDSM->GetNumVertices())) {
        assertFailed("(sourceOffset + vertexCount) <= pSourceDSM->GetNumVertices()", __FILE__, __LINE__);
        return false;
    }
    if (!VERIFY(pSourceDSM->GetVertexSize() == vertexSize)) return false;
    const BYTE* pSrcStart = static_cast<const BYTE*>(pSourceDSM->LockVertices(DSM_LOCK_READ));
    if (!VERIFY(pSrcStart)) return false;
    BYTE* pDstStart = static_cast<BYTE*>(LockVertices(DSM_LOCK_READWRITE));
    if (!VERIFY(pDstStart)) {
        pSourceDSM->UnlockVertexRange(0, 0);
        return false;
    }
    TransformRange(transform, pSrcStart + static_cast<size_t>(sourceOffset) * vertexSize,
                   pSourceDSM->MultiBlock.MainFVF, pDstStart + static_cast<size_t>(destOffset) * vertexSize,
                   vertexCount, parts);
    UnlockVertexRange(destOffset, vertexCount);
    pSourceDSM->UnlockVertexRange(0, 0);
    return true;
}

namespace {

// The checks of the in-place range operations.
bool checkRange(DWORD vertexOffset, DWORD vertexCount, DWORD numVertices)
{
    return VERIFY(vertexOffset < numVertices) && VERIFY(inRange(vertexOffset, vertexCount, numVertices)) &&
           VERIFY(vertexCount > 0);
}

}  // namespace

bool HWDynamicSubMesh::TransformVertices(const MeshTransform& transform, DWORD vertexOffset, DWORD vertexCount)
{
    const FVFFormat* pFVFFormat = initialised ? &MultiBlock.MainFVF : nullptr;
    if (!checkRange(vertexOffset, vertexCount, numVertices) || !VERIFY(pFVFFormat)) return false;
    BYTE* pVBStart = static_cast<BYTE*>(LockVertices(DSM_LOCK_READWRITE));
    if (!VERIFY(pVBStart)) return false;
    BYTE* start = pVBStart + static_cast<size_t>(vertexOffset) * vertexSize;
    TransformRange(transform, start, *pFVFFormat, start, vertexCount, DSM_COPY_POSITION | DSM_COPY_NORMAL);
    UnlockVertexRange(vertexOffset, vertexCount);
    return true;
}

bool HWDynamicSubMesh::ScaleDiffuse(float r, float g, float b, DWORD vertexOffset, DWORD vertexCount)
{
    const FVFFormat* pFVFFormat = initialised ? &MultiBlock.MainFVF : nullptr;
    if (!checkRange(vertexOffset, vertexCount, numVertices) || !VERIFY(pFVFFormat) || !VERIFY(pFVFFormat->Diffuse))
        return false;
    BYTE* pVBStart = static_cast<BYTE*>(LockVertices(DSM_LOCK_READWRITE));
    if (!VERIFY(pVBStart)) return false;
    const float factor[3] = {r, g, b};
    BYTE* p = pVBStart + static_cast<size_t>(vertexOffset) * vertexSize + pFVFFormat->DiffuseOffset;
    for (DWORD v = 0; v < vertexCount; ++v, p += vertexSize) {
        DWORD colour;
        std::memcpy(&colour, p, 4);
        for (int c = 0; c < 3; ++c) {
            const int shift = 16 - 8 * c;
            const float scaled = static_cast<float>((colour >> shift) & 0xFF) * factor[c];
            const DWORD value = scaled > 0.0f ? static_cast<DWORD>(std::lround(std::min(scaled, 255.0f))) : 0u;
            colour = (colour & ~(0xFFu << shift)) | value << shift;
        }
        std::memcpy(p, &colour, 4);
    }
    UnlockVertexRange(vertexOffset, vertexCount);
    return true;
}

// ---- Lighting ----

bool HWDynamicSubMesh::BuildNormals(bool force)
{
    if (!committed) {
        assertFailedMsg("Tried to build DSM normals before committing", "committed", __FILE__, __LINE__);
        return false;
    }
    if (pNormals && !force) return true;
    if (!VERIFY(listType == D3DPT_TRIANGLELIST)) return false;
    const BYTE* indices = static_cast<const BYTE*>(LockIndices(DSM_LOCK_READ));
    if (!indices) {
        assertFailedMsg("LockIndices failed, probably called DSM BuildNormals during a lock", "pIndices", __FILE__,
                        __LINE__);
        return false;
    }
    const BYTE* vertices = static_cast<const BYTE*>(LockVertices(DSM_LOCK_READ));
    if (!vertices) {
        assertFailedMsg("LockVertices failed, probably called DSM BuildNormals during a lock", "pVertices", __FILE__,
                        __LINE__);
        UnlockIndexRange(0, 0);
        return false;
    }
    if (!pNormals) pNormals = new float[static_cast<size_t>(numVertices) * 3];
    std::fill(pNormals, pNormals + static_cast<size_t>(numVertices) * 3, 0.0f);
    for (DWORD i = 0; i + 3 <= numIndices; i += 3) {
        WORD t[3];
        std::memcpy(t, indices + 2 * i, 6);
        if (t[0] >= numVertices || t[1] >= numVertices || t[2] >= numVertices) continue;
        const Vector3 pa = readVector(vertices + static_cast<size_t>(t[0]) * vertexSize);
        const Vector3 pb = readVector(vertices + static_cast<size_t>(t[1]) * vertexSize);
        const Vector3 pc = readVector(vertices + static_cast<size_t>(t[2]) * vertexSize);
        const Vector3 e1(pa.x - pb.x, pa.y - pb.y, pa.z - pb.z);
        const Vector3 e2(pc.x - pb.x, pc.y - pb.y, pc.z - pb.z);
        Vector3 n(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
        n.normalise();
        for (WORD k : t) {
            float* out = pNormals + static_cast<size_t>(k) * 3;
            out[0] += n.x;
            out[1] += n.y;
            out[2] += n.z;
        }
    }
    for (DWORD v = 0; v < numVertices; ++v) {
        float* out = pNormals + static_cast<size_t>(v) * 3;
        Vector3 n(out[0], out[1], out[2]);
        n.normalise();
        out[0] = n.x;
        out[1] = n.y;
        out[2] = n.z;
    }
    UnlockVertexRange(0, 0);
    UnlockIndexRange(0, 0);
    return true;
}

bool HWDynamicSubMesh::Prelight(const Vector3& direction, const Vector3& ambient, const Vector3& colour)
{
    if (!pNormals) {
        assertFailedMsg("Tried to Prelight DSM without first building normals", "pNormals", __FILE__, __LINE__);
        return false;
    }
    if (!MultiBlock.MainFVF.Diffuse) {
        assertFailedMsg("Tried to Prelight DSM with no DIFFUSE component", "MultiBlock.MainFVF.Diffuse", __FILE__,
                        __LINE__);
        return false;
    }
    BYTE* vertices = static_cast<BYTE*>(LockVertices(DSM_LOCK_WRITE));
    if (!vertices) {
        assertFailedMsg("LockVertices failed, probably called DSM Prelight during a lock", "pVertices", __FILE__,
                        __LINE__);
        return false;
    }
    BYTE* p = vertices + MultiBlock.MainFVF.DiffuseOffset;
    for (DWORD v = 0; v < numVertices; ++v, p += vertexSize) {
        const float* n = pNormals + static_cast<size_t>(v) * 3;
        const float d = std::max(0.0f, n[0] * direction.x + n[1] * direction.y + n[2] * direction.z);
        DWORD old;
        std::memcpy(&old, p, 4);
        const DWORD lit = (old & 0xFF000000u) | lightByte(d * colour.x + ambient.x) << 16 |
                          lightByte(d * colour.y + ambient.y) << 8 | lightByte(d * colour.z + ambient.z);
        std::memcpy(p, &lit, 4);
    }
    UnlockVertices();
    return true;
}
