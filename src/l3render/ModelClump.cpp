#include "l3render/ModelClump.h"

#include "l3render/L3Render.h"
#include "l3render/Model.h"
#include "l3render/ModelInst.h"
#include "matcore9/HWDynamicMesh.h"
#include "utility/Assert.h"

#include <algorithm>
#include <new>

namespace {

const uint32_t MAX_16BIT = 0xffff;

Vector3 positionOf(const CModelTransform& t) { return Vector3(t.Translation[0], t.Translation[1], t.Translation[2]); }

HWDynamicMeshObject* dynamicMesh(const CModelElement* pElement)
{
    return pElement && pElement->m_pMeshObject && (pElement->m_flags & CModelElement::DYNAMIC)
               ? static_cast<HWDynamicMeshObject*>(pElement->m_pMeshObject)
               : nullptr;
}

// Every element of the tree dynamic and every sub-mesh small enough for a sub-mesh of the combined
// mesh, so that adding its pieces cannot fail half way; counts the sub-meshes.
bool countPieces(const CModelElement* pElement, bool isRoot, uint32_t maxVertices, uint32_t maxIndices,
                 uint32_t* pCount)
{
    for (const CModelElement* e = pElement; e; e = isRoot ? nullptr : e->m_pNextSibling) {
        const HWDynamicMeshObject* pDMO = dynamicMesh(e);
        if (!VERIFY_MSG(pDMO, "Clump model element is not a dynamic mesh")) return false;
        for (const HWDynamicSubMesh* d = pDMO->GetFirstSubMesh(); d; d = d->GetNext()) {
            if (!VERIFY(d->GetNumVertices() <= maxVertices && d->GetNumIndices() <= maxIndices)) return false;
            ++*pCount;
        }
        if (!countPieces(e->m_pFirstChild, false, maxVertices, maxIndices, pCount)) return false;
    }
    return true;
}

// The only sub-mesh of a state model's LOD root, or null after the report.
HWDynamicSubMesh* singleSubMesh(const CModelElement* pRoot)
{
    const HWDynamicMeshObject* pDMO = dynamicMesh(pRoot);
    HWDynamicSubMesh* pDSM = pDMO ? pDMO->GetFirstSubMesh() : nullptr;
    if (!pDSM || pDSM->GetNext() || pRoot->m_pFirstChild) {
        assertFailedMsg("Clump RSM has >1 mesh (could be hierarchy or >1 material)", "pDSM", __FILE__, __LINE__);
        return nullptr;
    }
    return pDSM;
}

// The source's indices into the piece's range, moved by its vertex offset. In a strip the joins to
// the neighbouring pieces repeat the piece's first and last indices, so they follow them.
void copyIndices(const CClumpPiece& piece, HWDynamicSubMesh* pSource)
{
    const WORD* pSourceIndices = static_cast<const WORD*>(pSource->LockIndices(DSM_LOCK_READ));
    WORD* pClumpIndices = static_cast<WORD*>(piece.pDSM->LockIndices(DSM_LOCK_READWRITE));
    if (VERIFY(pSourceIndices) && VERIFY(pClumpIndices)) {
        const DWORD start = piece.indexOffset, end = start + piece.indexCount, total = piece.pDSM->GetNumIndices();
        for (uint32_t i = 0; i < piece.indexCount; ++i)
            pClumpIndices[start + i] = static_cast<WORD>(pSourceIndices[i] + piece.vertexOffset);
        DWORD from = start, to = end;
        if (piece.pDSM->GetListType() == D3DPT_TRIANGLESTRIP && piece.indexCount) {
            if (start > 0) pClumpIndices[--from] = pClumpIndices[start];
            for (; to < total && to < end + 1 + (end & 1); ++to) pClumpIndices[to] = pClumpIndices[end - 1];
        }
        piece.pDSM->UnlockIndexRange(from, to - from);
    } else if (pClumpIndices) {
        piece.pDSM->UnlockIndexRange(0, 0);
    }
    if (pSourceIndices) pSource->UnlockIndexRange(0, 0);
}

}  // namespace

// ---- Members ----

CClumpElementData::~CClumpElementData()
{
    while (pFirstPiece) {
        CClumpPiece* pNext = pFirstPiece->pNext;
        delete pFirstPiece;
        pFirstPiece = pNext;
    }
}

HWDynamicSubMesh* CClumpElementData::GetOriginalDSM(uint32_t state) const
{
    return pFirstPiece && state < MAX_STATES ? pFirstPiece->pSource[state] : nullptr;
}

bool CClumpElementData::SetState(uint32_t state, uint32_t parts)
{
    if (!VERIFY(state < MAX_STATES)) return false;
    for (const CClumpPiece* p = pFirstPiece; p; p = p->pNext)
        if (!p->pSource[state]) {
            assertFailed("pData->GetOriginalDSM(state) != NULL", __FILE__, __LINE__);
            return false;
        }
    // Every source index must name a vertex of its piece before anything is copied.
    for (const CClumpPiece* p = pFirstPiece; p; p = p->pNext) {
        HWDynamicSubMesh* pSource = p->pSource[state];
        if (!VERIFY(pSource->GetNumIndices() == p->indexCount)) return false;
        const WORD* pSourceIndices = static_cast<const WORD*>(pSource->LockIndices(DSM_LOCK_READ));
        if (!VERIFY(pSourceIndices)) return false;
        const bool inside =
            std::all_of(pSourceIndices, pSourceIndices + p->indexCount, [p](WORD i) { return i < p->vertexCount; });
        pSource->UnlockIndexRange(0, 0);
        if (!VERIFY_MSG(inside, "Clump state mesh index beyond its vertices")) return false;
    }
    currentState = static_cast<uint8_t>(state);
    return Copy(state, parts, true);
}

bool CClumpElementData::Copy(uint32_t state, uint32_t parts, bool withIndices)
{
    if (!pFirstPiece) return true;
    if (!VERIFY(pModelInst) || !VERIFY(pModelInst->m_pModel)) return false;
    CModelElement* pRootElem = pModelInst->m_pModel->GetRootLodModel(lod);
    if (!VERIFY(pRootElem)) return false;
    pRootElem->BuildWorldMatrices(pModelInst, pModelInst->m_transform, true);
    bool ok = true;
    for (const CClumpPiece* p = pFirstPiece; p; p = p->pNext) {
        HWDynamicSubMesh* pSource = p->pSource[state];
        if (withIndices) copyIndices(*p, pSource);
        if (p->vertexCount)
            ok = p->pDSM->CopyVertices(p->pElement->m_world, pSource, 0, p->vertexOffset, p->vertexCount, parts) && ok;
    }
    return ok;
}

void CClumpElementData::ScaleColour(float r, float g, float b)
{
    for (const CClumpPiece* p = pFirstPiece; p; p = p->pNext)
        if (p->vertexCount) p->pDSM->ScaleDiffuse(r, g, b, p->vertexOffset, p->vertexCount);
}

// ---- The clump ----

bool CModelClump::Init(uint32_t maxElems, uint32_t maxVertices, uint32_t maxIndices, bool option)
{
    Destroy();
    if (!VERIFY(maxElems > 0) || !VERIFY(maxVertices <= MAX_16BIT) || !VERIFY(maxIndices <= MAX_16BIT)) return false;
    if ((maxVertices == 0 && !VERIFY(maxIndices == 0)) || (maxIndices == 0 && !VERIFY(maxVertices == 0))) return false;
    m_pElements = new (std::nothrow) CClumpElementData[maxElems];
    if (!VERIFY(m_pElements)) return false;
    if (maxVertices) m_pMeshObject = new HWDynamicMeshObject(maxVertices, maxIndices);
    m_maxElements = maxElems;
    m_maxVertices = maxVertices;
    m_maxIndices = maxIndices;
    m_numElements = 0;
    m_option = option ? 1 : 0;
    m_visibilityType = 1;
    m_fadeNear = m_fadeFar = -1.0f;
    m_alphaPermitted = 1;
    return true;
}

bool CModelClump::AddPieces(CClumpElementData* pData, CModelElement* pElement)
{
    for (HWDynamicSubMesh* d = dynamicMesh(pElement)->GetFirstSubMesh(); d; d = d->GetNext()) {
        DWORD vertexOffset = 0, indexOffset = 0;
        HWDynamicSubMesh* pDSM = m_pMeshObject->AddSubMesh(d, &vertexOffset, &indexOffset);
        if (!VERIFY(pDSM)) return false;
        CClumpPiece* pPiece = new CClumpPiece;
        pPiece->pElement = pElement;
        pPiece->pDSM = pDSM;
        pPiece->indexOffset = static_cast<uint16_t>(indexOffset);
        pPiece->vertexOffset = static_cast<uint16_t>(vertexOffset);
        pPiece->indexCount = static_cast<uint16_t>(d->GetNumIndices());
        pPiece->vertexCount = static_cast<uint16_t>(d->GetNumVertices());
        pPiece->pSource[0] = d;
        pPiece->pNext = pData->pFirstPiece;
        pData->pFirstPiece = pPiece;
        if (pPiece->vertexCount) pDSM->TransformVertices(pElement->m_world, vertexOffset, pPiece->vertexCount);
    }
    for (CModelElement* pChild = pElement->m_pFirstChild; pChild; pChild = pChild->m_pNextSibling)
        if (!AddPieces(pData, pChild)) return false;
    return true;
}

bool CModelClump::AddElement(CModelInst* pInstance, uint32_t lod, uint32_t* pIndex)
{
    if (!VERIFY(pInstance) || !VERIFY(pInstance->m_pModel) || !VERIFY(m_pElements) || !VERIFY(lod < MAX_LODS))
        return false;
    if (!VERIFY_MSG(m_numElements < m_maxElements, "numElements < maxElements")) return false;
    CModel* pModel = pInstance->m_pModel;
    CClumpElementData& data = m_pElements[m_numElements];
    if (m_pMeshObject) {
        CModelElement* pRoot = pModel->GetRootLodModel(lod);
        uint32_t pieces = 0;
        if (!VERIFY(pRoot) || !VERIFY(!m_pMeshObject->IsCommitted()) ||
            !countPieces(pRoot, true, m_maxVertices, m_maxIndices, &pieces))
            return false;
        // Placed as a draw places them: animation nodes, hierarchy and all.
        pRoot->BuildWorldMatrices(pInstance, pInstance->m_transform, true);
        if (!AddPieces(&data, pRoot)) {
            // What joined the combined mesh already stays there, drawing nothing.
            for (CClumpPiece* p = data.pFirstPiece; p; p = p->pNext) {
                WORD* pIndices = static_cast<WORD*>(p->pDSM->LockIndices(DSM_LOCK_READWRITE));
                if (pIndices) {
                    std::fill(pIndices + p->indexOffset, pIndices + p->indexOffset + p->indexCount, p->vertexOffset);
                    p->pDSM->UnlockIndexRange(p->indexOffset, p->indexCount);
                }
            }
            data.~CClumpElementData();
            new (&data) CClumpElementData;
            return false;
        }
    }
    data.pModelInst = pInstance;
    data.pModelList[0] = pModel;
    data.lod = static_cast<uint8_t>(lod);
    data.currentState = 0;
    data.numStates = 1;
    if (!(pModel->m_flags & CModel::FLAG_ALPHAFADE)) m_alphaPermitted = 0;
    if (pIndex) *pIndex = m_numElements;
    ++m_numElements;
    return true;
}

bool CModelClump::AddElementWithStates(CModelInst* pInstance, uint32_t lod, uint32_t numStates,
                                       CModel* const* ppStateModels, uint32_t* pIndex)
{
    if (!VERIFY(lod < MAX_LODS) || !VERIFY(numStates >= 1 && numStates <= CClumpElementData::MAX_STATES) ||
        !VERIFY(pInstance) || !VERIFY(pInstance->m_pModel) || !VERIFY(ppStateModels))
        return false;
    HWDynamicSubMesh* pSources[CClumpElementData::MAX_STATES] = {};
    if (m_pMeshObject) {
        // The member must be one piece, and every state's geometry shaped like it.
        CModelElement* pRoot = pInstance->m_pModel->GetRootLodModel(lod);
        uint32_t pieces = 0;
        if (!VERIFY(pRoot) || !countPieces(pRoot, true, m_maxVertices, m_maxIndices, &pieces)) return false;
        if (pieces != 1 || !(pSources[0] = singleSubMesh(pRoot))) {
            assertFailedMsg("Clump model contains >1 material or mesh", "numPieces == 1", __FILE__, __LINE__);
            return false;
        }
        for (uint32_t s = 1; s < numStates; ++s) {
            if (!VERIFY_MSG(ppStateModels[s], "ppOtherStateModels[i]")) return false;
            const CModelElement* pStateRoot = ppStateModels[s]->GetRootLodModel(lod);
            if (!VERIFY(pStateRoot) || !(pSources[s] = singleSubMesh(pStateRoot))) return false;
            if (pSources[s]->GetNumVertices() != pSources[0]->GetNumVertices()) {
                assertFailedMsg("Each clump state RSM must have same vertex count", "numVertices == pieceVertices",
                                __FILE__, __LINE__);
                return false;
            }
            if (pSources[s]->GetNumIndices() != pSources[0]->GetNumIndices()) {
                assertFailedMsg("Each clump state RSM must have same index count", "numIndices == pieceIndices",
                                __FILE__, __LINE__);
                return false;
            }
        }
    } else {
        for (uint32_t s = 1; s < numStates; ++s)
            if (!VERIFY_MSG(ppStateModels[s], "ppOtherStateModels[i]")) return false;
    }
    uint32_t index = 0;
    if (!AddElement(pInstance, lod, &index)) return false;
    CClumpElementData& data = m_pElements[index];
    for (uint32_t s = 1; s < numStates; ++s) {
        data.pModelList[s] = ppStateModels[s];
        if (data.pFirstPiece) data.pFirstPiece->pSource[s] = pSources[s];
    }
    data.numStates = static_cast<uint8_t>(numStates);
    if (pIndex) *pIndex = index;
    return true;
}

void CModelClump::Finish()
{
    if (m_numElements) {
        Vector3 sum;
        for (uint32_t i = 0; i < m_numElements; ++i) {
            const CModelInst* pInst = m_pElements[i].pModelInst;
            sum = sum + pInst->m_pModel->m_centre + positionOf(pInst->m_transform);
        }
        m_centre = sum * (1.0f / static_cast<float>(m_numElements));
        m_radius = 0.0f;
        for (uint32_t i = 0; i < m_numElements; ++i) {
            const CModelInst* pInst = m_pElements[i].pModelInst;
            const Vector3 d = pInst->m_pModel->m_centre + positionOf(pInst->m_transform) - m_centre;
            m_radius = std::max(m_radius, fastSqrt(d.x * d.x + d.y * d.y + d.z * d.z) + pInst->m_pModel->m_radius);
        }
    }
    if (m_pMeshObject && m_pMeshObject->GetFirstSubMesh() && !m_pMeshObject->IsCommitted()) m_pMeshObject->Commit();
}

bool CModelClump::Render(float switchDistance, bool forceCombined, bool* pVisible)
{
    bool visible = L3SphereInFrustum(m_centre, m_radius, false);
    const float depth = L3Scene.lastDepth;
    if (visible)
        visible = L3ApplyAlphaForDistance(m_visibilityType, depth - m_radius, m_fadeNear, m_fadeFar, 255,
                                          m_alphaPermitted != 0);
    if (pVisible) *pVisible = visible;
    if (!visible) return !forceCombined;
    if (!forceCombined && depth <= switchDistance) {
        for (uint32_t i = 0; i < m_numElements; ++i) {
            CClumpElementData& e = m_pElements[i];
            CModel* pModel = e.pModelList[e.currentState] ? e.pModelList[e.currentState] : e.pModelList[0];
            pModel->Render(e.pModelInst, -1);
        }
        return true;
    }
    if (m_pMeshObject && m_pMeshObject->IsCommitted()) {
        SetWorldMatrixFrom43(IdentityTransform());
        m_pMeshObject->Render(0);
    }
    return false;
}

void CModelClump::Destroy()
{
    delete[] m_pElements;
    m_pElements = nullptr;
    if (m_pMeshObject) m_pMeshObject->Release();
    m_pMeshObject = nullptr;
    m_numElements = m_maxElements = 0;
}

CClumpElementData* CModelClump::GetElement(uint32_t index)
{
    if (!VERIFY(index < m_numElements)) return nullptr;
    return &m_pElements[index];
}

bool CModelClump::RefreshElement(uint32_t index, uint32_t parts)
{
    CClumpElementData* pData = GetElement(index);
    return pData && pData->Copy(pData->currentState, parts, false);
}
