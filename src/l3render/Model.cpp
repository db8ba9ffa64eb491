#include "l3render/Model.h"

#include "l3render/ModelChunks.h"
#include "l3render/ModelManager.h"
#include "utility/Assert.h"

void CModel::SetRootLodModel(uint32_t lod, CModelElement* pRoot, float threshold)
{
    const uint32_t lodNumber = lod;
    if (!VERIFY(lodNumber < MAX_LODS)) return;
    pRootLodModel[lod] = pRoot;
    m_lodThreshold[lod] = threshold;
}

CModelElement* CModel::GetRootLodModel(uint32_t lod) const
{
    const uint32_t lodNumber = lod;
    if (!VERIFY(lodNumber < MAX_LODS)) return nullptr;
    return pRootLodModel[lod];
}

float CModel::GetLodThreshold(uint32_t lod) const
{
    const uint32_t lodNumber = lod;
    if (!VERIFY(lodNumber < MAX_LODS)) return 0.0f;
    return m_lodThreshold[lod];
}

CModelElement* CModel::FindElementByNode(uint32_t node, uint32_t lod) const
{
    CModelElement* pRoot = GetRootLodModel(lod);
    return pRoot ? pRoot->FindByNode(node) : nullptr;
}

CModelElement* CModel::FindParent(const CModelElement* pElement, uint32_t lod) const
{
    CModelElement* pRoot = GetRootLodModel(lod);
    return pRoot ? pRoot->FindParentOf(pElement) : nullptr;
}

CModel* CModel::Clone() const
{
    CModel* pClone = CModelManager::CreateModel();
    if (!pClone) return nullptr;
    pClone->m_numMeshElements = m_numMeshElements;
    pClone->m_classId = m_classId;
    pClone->m_radius = m_radius;
    pClone->m_centre = m_centre;
    pClone->m_numLods = m_numLods;
    pClone->m_hierarchical = m_hierarchical;
    pClone->m_numAnimNodes = m_numAnimNodes;
    pClone->m_flags = m_flags;
    pClone->m_visibilityType = m_visibilityType;
    pClone->m_fadeNear = m_fadeNear;
    pClone->m_fadeFar = m_fadeFar;
    pClone->m_pChunks = m_pChunks;
    if (m_pChunks) m_pChunks->AddRef();
    for (uint32_t lod = 0; lod < MAX_LODS; ++lod) {
        pClone->m_lodThreshold[lod] = m_lodThreshold[lod];
        if (!pRootLodModel[lod]) continue;
        pClone->pRootLodModel[lod] = pRootLodModel[lod]->Clone(nullptr, true);
        if (!VERIFY(pClone->pRootLodModel[lod] != NULL)) {
            CModelManager::ReleaseModel(pClone, true);
            return nullptr;
        }
    }
    return pClone;
}

void CModel::SetMaterial(int32_t num)
{
    for (CModelElement* pRoot : pRootLodModel)
        if (pRoot) pRoot->SetMaterial(num);
}

void CModel::SetAnimationStart(float time)
{
    for (CModelElement* pRoot : pRootLodModel)
        if (pRoot) pRoot->SetAnimationStart(time);
}
