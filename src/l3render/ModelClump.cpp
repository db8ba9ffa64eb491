#include "l3render/ModelClump.h"

#include "l3render/L3Render.h"
#include "l3render/Model.h"
#include "l3render/ModelInst.h"
#include "matcore9/Forwarders.h"
#include "matcore9/HWDynamicMesh.h"
#include "utility/Assert.h"

#include <algorithm>
#include <new>

namespace {

const uint32_t MAX_16BIT = 0xffff;

Vector3 positionOf(const CModelTransform& t) { return Vector3(t.Translation[0], t.Translation[1], t.Translation[2]); }

// The element's world transform for an instance placed at `instance`, through its parents.
CModelTransform worldOf(const CModelElement* pElement, const CModelTransform& instance, bool hierarchical)
{
    if (!hierarchical || !pElement->m_pParent) return PlaceElement(pElement->m_local, instance);
    return PlaceElement(pElement->m_local, worldOf(pElement->m_pParent, instance, hierarchical));
}

HWDynamicMeshObject* dynamicMesh(const CModelElement* pElement)
{
    return pElement && pElement->m_pMeshObject && (pElement->m_flags & CModelElement::DYNAMIC)
               ? static_cast<HWDynamicMeshObject*>(pElement->m_pMeshObject)
               : nullptr;
}

// Every mesh of the tree dynamic; counts the meshes' sub-meshes.
bool countPieces(const CModelElement* pElement, bool isRoot, uint32_t* pCount)
{
    for (const CModelElement* e = pElement; e; e = isRoot ? nullptr : e->m_pNextSibling) {
        if (e->m_pMeshObject) {
            const HWDynamicMeshObject* pDMO = dynamicMesh(e);
            if (!VERIFY(pDMO)) return false;
            for (const HWDynamicSubMesh* d = pDMO->GetFirstSubMesh(); d; d = d->GetNext()) {
                if (!VERIFY(d->GetNumVertices() <= MAX_16BIT && d->GetNumIndices() <= MAX_16BIT)) return false;
                ++*pCount;
            }
        }
        if (!countPieces(e->m_pFirstChild, false, pCount)) return false;
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

}  // namespace

CModelTransform PlaceElement(const CModelTransform& local, const CModelTransform& parent)
{
    CModelTransform world;
    const float* r = local.Rotation;
    const float* p = parent.Rotation;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            world.Rotation[row * 3 + col] =
                r[row * 3] * p[col] + r[row * 3 + 1] * p[3 + col] + r[row * 3 + 2] * p[6 + col];
    float t[3];
    for (int i = 0; i < 3; ++i) {
        world.Scale[i] = local.Scale[i] * parent.Scale[i];
        t[i] = local.Translation[i] * parent.Scale[i];
    }
    for (int col = 0; col < 3; ++col)
        world.Translation[col] = t[0] * p[col] + t[1] * p[3 + col] + t[2] * p[6 + col] + parent.Translation[col];
    return world;
}

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
        if (!VERIFY(inside)) return false;
    }
    currentState = static_cast<uint8_t>(state);
    if (!pFirstPiece || !VERIFY(pModelInst)) return true;
    const bool hierarchical = pModelInst->m_pModel && pModelInst->m_pModel->m_hierarchical;
    for (const CClumpPiece* p = pFirstPiece; p; p = p->pNext) {
        HWDynamicSubMesh* pSource = p->pSource[state];
        const WORD* pSourceIndices = static_cast<const WORD*>(pSource->LockIndices(DSM_LOCK_READ));
        WORD* pClumpIndices = static_cast<WORD*>(p->pDSM->LockIndices(DSM_LOCK_READWRITE));
        if (VERIFY(pSourceIndices) && VERIFY(pClumpIndices)) {
            for (uint32_t i = 0; i < p->indexCount; ++i)
                pClumpIndices[p->indexOffset + i] = static_cast<WORD>(pSourceIndices[i] + p->vertexOffset);
        }
        if (pClumpIndices) p->pDSM->UnlockIndexRange(p->indexOffset, p->indexCount);
        if (pSourceIndices) pSource->UnlockIndexRange(0, 0);
        p->pDSM->CopyVertices(worldOf(p->pElement, pModelInst->m_transform, hierarchical), pSource, 0,
                              p->vertexOffset, p->vertexCount, parts);
    }
    return true;
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
    m_numElements = 0;
    m_option = option ? 1 : 0;
    m_visibilityType = 1;
    m_fadeNear = m_fadeFar = -1.0f;
    m_alphaPermitted = 1;
    return true;
}

bool CModelClump::AddPieces(CClumpElementData* pData, CModelElement* pElement, const CModelTransform& parent,
                            bool hierarchical)
{
    const CModelTransform world = PlaceElement(pElement->m_local, parent);
    if (HWDynamicMeshObject* pDMO = dynamicMesh(pElement)) {
        for (HWDynamicSubMesh* d = pDMO->GetFirstSubMesh(); d; d = d->GetNext()) {
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
            if (pPiece->vertexCount) pDSM->TransformVertices(world, vertexOffset, pPiece->vertexCount);
        }
    }
    for (CModelElement* pChild = pElement->m_pFirstChild; pChild; pChild = pChild->m_pNextSibling)
        if (!AddPieces(pData, pChild, hierarchical ? world : parent, hierarchical)) return false;
    return true;
}

bool CModelClump::AddElement(CModelInst* pInstance, uint32_t lod, uint32_t* pIndex)
{
    if (!VERIFY(pInstance) || !VERIFY(pInstance->m_pModel) || !VERIFY(m_pElements) || !VERIFY(lod < MAX_LODS))
        return false;
    if (!VERIFY(m_numElements < m_maxElements)) return false;
    CModel* pModel = pInstance->m_pModel;
    CClumpElementData& data = m_pElements[m_numElements];
    if (m_pMeshObject) {
        CModelElement* pRoot = pModel->GetRootLodModel(lod);
        uint32_t pieces = 0;
        if (!VERIFY(pRoot) || !countPieces(pRoot, true, &pieces)) return false;
        if (!AddPieces(&data, pRoot, pInstance->m_transform, pModel->m_hierarchical != 0)) {
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
        if (!VERIFY(pRoot) || !countPieces(pRoot, true, &pieces)) return false;
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
    if (m_pMeshObject && m_pMeshObject->GetFirstSubMesh()) m_pMeshObject->Commit();
}

bool CModelClump::Render(float switchDistance, bool forceCombined, bool* pVisible)
{
    bool visible = L3SphereInFrustum(m_centre, m_radius, false);
    const float depth = L3Scene.lastDepth;
    if (visible) {
        int32_t alpha = 255;
        visible = L3AlphaForDistance(m_visibilityType, depth - m_radius, m_fadeNear, m_fadeFar, &alpha);
        if (visible && alpha < 255 && m_alphaPermitted) {
            MatSetAutoTransparency(1);
            MatSetFade(alpha);
        } else {
            MatSetAutoTransparency(0);
        }
    }
    if (pVisible) *pVisible = visible;
    if (!visible) return true;
    if (!forceCombined && depth <= switchDistance) {
        for (uint32_t i = 0; i < m_numElements; ++i) m_pElements[i].pModelInst->Render();
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
