#include "l3render/ModelInst.h"

#include "l3render/Model.h"
#include "utility/Assert.h"

#include <new>

CModelInst::CModelInst(CModel* pModel) : m_pModel(pModel), m_transform(IdentityTransform())
{
    m_numAnimNodes = pModel->GetNumAnimNodes();
    if (m_numAnimNodes == 0) return;
    m_pAnimNodes = new (std::nothrow) CModelTransform[m_numAnimNodes];
    if (!m_pAnimNodes) {
        m_numAnimNodes = 0;
        return;
    }
    for (uint32_t i = 0; i < m_numAnimNodes; ++i) {
        const CModelElement* element = pModel->FindElementByNode(i, 0);
        m_pAnimNodes[i] = element ? element->m_local : IdentityTransform();
    }
}

CModelInst::~CModelInst() { delete[] m_pAnimNodes; }

void CModelInst::CopyInstanceData(const CModelInst* pSourceInst)
{
    if (!VERIFY(pSourceInst)) return;
    for (int i = 0; i < 4; ++i) m_instanceData[i] = pSourceInst->m_instanceData[i];
}
