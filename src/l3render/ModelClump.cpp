#include "l3render/ModelClump.h"

#include "d3dcore9/D3DCore.h"
#include "l3render/L3Render.h"
#include "l3render/Model.h"
#include "l3render/ModelInst.h"
#include "matcore9/HWDynamicMesh.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace {

const uint32_t MAX_16BIT = 0xffff;

// One sub-mesh of a member's element, as it will become a piece.
struct PlannedPiece {
    CModelElement* pElement;
    HWDynamicSubMesh* pSource;
};

// The dynamic sub-meshes of every element of the tree, each element checked to be dynamic.
bool planPieces(CModelElement* pRootElem, uint32_t maxVertices, uint32_t maxIndices, std::vector<PlannedPiece>* out)
{
    std::vector<CModelElement*> stack{pRootElem};
    while (!stack.empty()) {
        CModelElement* pElement = stack.back();
        stack.pop_back();
        for (CModelElement* child = pElement->m_pFirstChild; child; child = child->m_pNextSibling) stack.push_back(child);
        if (!VERIFY((pElement->m_flags & CModelElement::DYNAMIC) != 0)) return false;
        auto* pDMO = static_cast<HWDynamicMeshObject*>(pElement->m_pMeshObject);
        if (!VERIFY(pDMO)) return false;
        for (HWDynamicSubMesh* pDSM = pDMO->GetFirstSubMesh(); pDSM; pDSM = pDSM->GetNext()) {
            // Whatever does not fit one sub-mesh of the combined mesh cannot be given 16-bit offsets.
            if (!VERIFY(pDSM->GetNumVertices() <= maxVertices) || !VERIFY(pDSM->GetNumIndices() <= maxIndices))
                return false;
            out->push_back({pElement, pDSM});
        }
    }
    return true;
}

// The single dynamic sub-mesh of a state model's LOD, of the piece's counts; null after a report.
HWDynamicSubMesh* stateSource(CModel* pModel, uint32_t lod, const PlannedPiece& piece)
{
    CModelElement* pRootElem = pModel->GetRootLodModel(lod);
    if (!VERIFY(pRootElem) || !VERIFY((pRootElem->m_flags & CModelElement::DYNAMIC) != 0)) return nullptr;
    auto* pDMO = static_cast<HWDynamicMeshObject*>(pRootElem->m_pMeshObject);
    HWDynamicSubMesh* pDSM = pDMO ? pDMO->GetFirstSubMesh() : nullptr;
    if (!VERIFY(pDSM)) return nullptr;
    if (!VERIFY_MSG(pDSM->GetNext() == NULL, "Clump RSM has >1 mesh (could be hierarchy or >1 material)") ||
        !VERIFY_MSG(pDSM->GetNumVertices() == piece.pSource->GetNumVertices(),
                    "Each clump state RSM must have same vertex count") ||
        !VERIFY_MSG(pDSM->GetNumIndices() == piece.pSource->GetNumIndices(),
                    "Each clump state RSM must have same index count"))
        return nullptr;
    return pDSM;
}

// Every index of the source below the piece's vertex count.
bool indicesFit(HWDynamicSubMesh* pSourceDSM, const CClumpMeshPiece& piece)
{
    const WORD* pSourceIndices = static_cast<const WORD*>(pSourceDSM->LockIndices(DSM_LOCK_READ));
    if (!VERIFY(pSourceIndices)) return false;
    const DWORD n = std::min<DWORD>(pSourceDSM->GetNumIndices(), piece.numIndices);
    const bool fit = std::all_of(pSourceIndices, pSourceIndices + n, [&](WORD i) { return i < piece.numVertices; });
    pSourceDSM->UnlockIndexRange(0, 0);
    return VERIFY_MSG(fit, "Clump state mesh index beyond its vertices");
}

// The source's indices into the piece's range, moved by its vertex offset. In a strip the joins to
// the neighbouring pieces repeat the piece's first and last indices, so they follow them.
bool copyIndices(const CClumpMeshPiece& piece, HWDynamicSubMesh* pSourceDSM)
{
    HWDynamicSubMesh* pDSM = piece.pSubMesh;
    const WORD* pSourceIndices = static_cast<const WORD*>(pSourceDSM->LockIndices(DSM_LOCK_READ));
    if (!VERIFY(pSourceIndices)) return false;
    WORD* pClumpIndices = static_cast<WORD*>(pDSM->LockIndices(DSM_LOCK_READWRITE));
    if (!VERIFY(pClumpIndices)) {
        pSourceDSM->UnlockIndexRange(0, 0);
        return false;
    }
    const DWORD start = piece.indexOffset, end = start + piece.numIndices, total = pDSM->GetNumIndices();
    for (DWORD i = 0; i < piece.numIndices; ++i)
        pClumpIndices[start + i] = static_cast<WORD>(pSourceIndices[i] + piece.vertexOffset);
    DWORD from = start, to = end;
    if (pDSM->GetListType() == D3DPT_TRIANGLESTRIP && piece.numIndices > 0) {
        if (start > 0) pClumpIndices[--from] = pClumpIndices[start];
        if (end < total) {
            const DWORD repeats = 1 + (end & 1);
            for (DWORD i = 0; i < repeats && end + i < total; ++i) pClumpIndices[end + i] = pClumpIndices[end - 1];
            to = std::min(total, end + repeats);
        }
    }
    pDSM->UnlockIndexRange(from, to - from);
    pSourceDSM->UnlockIndexRange(0, 0);
    return true;
}

void freePieces(CClumpMeshPiece*& pFirst)
{
    while (pFirst) {
        CClumpMeshPiece* next = pFirst->pNext;
        delete pFirst;
        pFirst = next;
    }
}

}  // namespace

// ---- Members ----

CClumpElementData::~CClumpElementData() { freePieces(m_pFirstPiece); }

HWDynamicSubMesh* CClumpElementData::GetOriginalDSM(uint32_t state) const
{
    if (!m_pFirstPiece || !VERIFY(state < MAX_STATES)) return nullptr;
    return m_pFirstPiece->pSourceDSM[state];
}

bool CClumpElementData::Copy(uint32_t state, uint32_t copyMask, bool withIndices)
{
    if (!m_pFirstPiece) return true;
    if (!VERIFY(m_pModelInst) || !VERIFY(m_pModelInst->m_pModel)) return false;
    for (const CClumpMeshPiece* p = m_pFirstPiece; p; p = p->pNext) {
        const CClumpElementData* pData = this;
        if (!VERIFY(pData->GetOriginalDSM(state) != NULL) || !VERIFY(p->pSourceDSM[state] != NULL)) return false;
        if (withIndices && !indicesFit(p->pSourceDSM[state], *p)) return false;
    }
    CModelElement* pRootElem = m_pModelInst->m_pModel->GetRootLodModel(m_lod);
    if (!VERIFY(pRootElem)) return false;
    pRootElem->BuildWorldMatrices(m_pModelInst, m_pModelInst->m_transform, true);
    bool ok = true;
    for (const CClumpMeshPiece* p = m_pFirstPiece; p; p = p->pNext) {
        if (withIndices) ok = copyIndices(*p, p->pSourceDSM[state]) && ok;
        if (p->numVertices)
            ok = p->pSubMesh->CopyVertices(p->pElement->m_world, p->pSourceDSM[state], 0, p->vertexOffset,
                                           p->numVertices, copyMask) &&
                 ok;
    }
    return ok;
}

bool CClumpElementData::SetState(uint32_t state, uint32_t copyMask)
{
    if (!VERIFY(state < MAX_STATES)) return false;
    if (!Copy(state, copyMask, true)) return false;
    m_currentState = static_cast<uint8_t>(state);
    return true;
}

void CClumpElementData::ScaleColour(float r, float g, float b)
{
    for (const CClumpMeshPiece* p = m_pFirstPiece; p; p = p->pNext)
        if (p->numVertices) p->pSubMesh->ScaleDiffuse(r, g, b, p->vertexOffset, p->numVertices);
}

// ---- The clump ----

bool CModelClump::Init(uint32_t maxElems, uint32_t maxVertices, uint32_t maxIndices, uint8_t option)
{
    if (!VERIFY(m_pElements == NULL) || !VERIFY(maxElems > 0) || !VERIFY(maxVertices <= MAX_16BIT) ||
        !VERIFY(maxIndices <= MAX_16BIT))
        return false;
    if (maxVertices == 0 && !VERIFY(maxIndices == 0)) return false;
    if (maxIndices == 0 && !VERIFY(maxVertices == 0)) return false;
    if (maxVertices) {
        HWDynamicMeshObject* pMeshObject = new (std::nothrow) HWDynamicMeshObject(maxVertices, maxIndices);
        if (!VERIFY(pMeshObject)) return false;
        m_pMeshObject = pMeshObject;
    }
    m_pElements = new (std::nothrow) CClumpElementData[maxElems];
    if (!VERIFY(m_pElements)) {
        Destroy();
        return false;
    }
    m_maxElements = maxElems;
    m_maxVertices = maxVertices;
    m_maxIndices = maxIndices;
    m_numElements = 0;
    m_option = option;
    m_visibilityType = 1;
    m_fadeNear = m_fadeFar = -1.0f;
    m_alphaPermitted = 1;
    return true;
}

void CModelClump::Destroy()
{
    if (m_pMeshObject) m_pMeshObject->Release();
    m_pMeshObject = nullptr;
    delete[] m_pElements;
    m_pElements = nullptr;
    m_numElements = m_maxElements = 0;
}

bool CModelClump::AddElement(CModelInst* pModelInst, uint32_t lod, uint32_t* pIndex)
{
    return Add(pModelInst, lod, 1, nullptr, pIndex);
}

bool CModelClump::AddElementWithStates(CModelInst* pModelInst, uint32_t lod, uint32_t numStates,
                                       CModel* const* ppOtherStateModels, uint32_t* pIndex)
{
    if (!VERIFY(lod < CModel::MAX_LODS) || !VERIFY(numStates >= 1 && numStates <= CClumpElementData::MAX_STATES))
        return false;
    return Add(pModelInst, lod, numStates, ppOtherStateModels, pIndex);
}

bool CModelClump::Add(CModelInst* pModelInst, uint32_t lod, uint32_t numStates, CModel* const* ppOtherStateModels,
                      uint32_t* pIndex)
{
    const uint32_t numElements = m_numElements, maxElements = m_maxElements;
    if (!VERIFY(m_pElements) || !VERIFY(numElements < maxElements) || !VERIFY(pModelInst)) return false;
    CModel* pModel = pModelInst->m_pModel;
    if (!VERIFY(pModel) || !VERIFY(lod < CModel::MAX_LODS)) return false;
    for (uint32_t i = 1; i < numStates; ++i)
        if (!VERIFY(ppOtherStateModels && ppOtherStateModels[i])) return false;

    // Everything is checked before the combined mesh takes anything.
    std::vector<PlannedPiece> planned;
    std::vector<HWDynamicSubMesh*> stateSources(CClumpElementData::MAX_STATES, nullptr);
    CModelElement* pRootElem = nullptr;
    if (m_pMeshObject) {
        pRootElem = pModel->GetRootLodModel(lod);
        if (!VERIFY(pRootElem) || !VERIFY(!m_pMeshObject->IsCommitted()) ||
            !planPieces(pRootElem, m_maxVertices, m_maxIndices, &planned))
            return false;
        if (numStates > 1) {
            if (!VERIFY_MSG(planned.size() == 1, "Clump model contains >1 material or mesh")) return false;
            for (uint32_t i = 1; i < numStates; ++i)
                if (!(stateSources[i] = stateSource(ppOtherStateModels[i], lod, planned[0]))) return false;
        }
    }

    CClumpElementData* pElemData = &m_pElements[m_numElements];
    if (pRootElem) {
        pRootElem->BuildWorldMatrices(pModelInst, pModelInst->m_transform, true);
        for (const PlannedPiece& plan : planned) {
            DWORD vertexOffset = 0, indexOffset = 0;
            HWDynamicSubMesh* pDSM = m_pMeshObject->AddSubMesh(plan.pSource, &vertexOffset, &indexOffset);
            if (!VERIFY(pDSM)) {
                // Only when memory runs out: what went in stays in the combined mesh, unrecorded.
                freePieces(pElemData->m_pFirstPiece);
                return false;
            }
            auto* piece = new CClumpMeshPiece();
            piece->pElement = plan.pElement;
            piece->pSubMesh = pDSM;
            piece->indexOffset = static_cast<uint16_t>(indexOffset);
            piece->vertexOffset = static_cast<uint16_t>(vertexOffset);
            piece->numIndices = static_cast<uint16_t>(plan.pSource->GetNumIndices());
            piece->numVertices = static_cast<uint16_t>(plan.pSource->GetNumVertices());
            piece->pSourceDSM[0] = plan.pSource;
            for (uint32_t i = 1; i < numStates; ++i) piece->pSourceDSM[i] = stateSources[i];
            if (piece->numVertices)
                pDSM->TransformVertices(plan.pElement->m_world, piece->vertexOffset, piece->numVertices);
            piece->pNext = pElemData->m_pFirstPiece;
            pElemData->m_pFirstPiece = piece;
        }
    }
    pElemData->m_pModelInst = pModelInst;
    pElemData->m_lod = static_cast<uint8_t>(lod);
    pElemData->m_currentState = 0;
    pElemData->m_numStates = static_cast<uint8_t>(numStates);
    pElemData->m_pModelList[0] = pModel;
    for (uint32_t i = 1; i < numStates; ++i) pElemData->m_pModelList[i] = ppOtherStateModels[i];
    if (!(pModel->m_flags & CModel::FLAG_ALPHAFADE)) m_alphaPermitted = 0;
    if (pIndex) *pIndex = m_numElements;
    ++m_numElements;
    return true;
}

void CModelClump::Finish()
{
    Vector3 sum;
    for (uint32_t i = 0; i < m_numElements; ++i) {
        const CModelInst* inst = m_pElements[i].m_pModelInst;
        const float* t = inst->m_transform.Translation;
        sum = sum + inst->m_pModel->m_centre + Vector3(t[0], t[1], t[2]);
    }
    m_centre = m_numElements ? sum * (1.0f / static_cast<float>(m_numElements)) : Vector3();
    m_radius = 0.0f;
    for (uint32_t i = 0; i < m_numElements; ++i) {
        const CModelInst* inst = m_pElements[i].m_pModelInst;
        const float* t = inst->m_transform.Translation;
        const Vector3 d = inst->m_pModel->m_centre + Vector3(t[0], t[1], t[2]) - m_centre;
        m_radius = std::max(m_radius, std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z) + inst->m_pModel->m_radius);
    }
    if (m_pMeshObject && !m_pMeshObject->IsCommitted()) m_pMeshObject->Commit();
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
        // Each member as its current state shows it.
        for (uint32_t i = 0; i < m_numElements; ++i) {
            CClumpElementData& e = m_pElements[i];
            CModel* pModel = e.m_pModelList[e.m_currentState] ? e.m_pModelList[e.m_currentState] : e.m_pModelList[0];
            pModel->Render(e.m_pModelInst, -1);
        }
        return true;
    }
    if (m_pMeshObject) {
        D3DMATRIX identity{};
        identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = identity.m[3][3] = 1.0f;
        D3DCore.SetWorldMatrix(identity);
        m_pMeshObject->Render(0);
    }
    return false;
}

bool CModelClump::RefreshElement(uint32_t index, uint32_t copyMask)
{
    CClumpElementData* pElemData = GetElement(index);
    return pElemData && pElemData->Copy(pElemData->m_currentState, copyMask, false);
}

CClumpElementData* CModelClump::GetElement(uint32_t index)
{
    const uint32_t id = index, numElements = m_numElements;
    if (!VERIFY(id < numElements)) return nullptr;
    return &m_pElements[id];
}
