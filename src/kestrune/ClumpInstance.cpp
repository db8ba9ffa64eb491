#include "kestrune/ClumpInstance.h"

#include "ai/Sun.h"
#include "kestrune/ClumpManager.h"
#include "l3render/Model.h"
#include "l3render/ModelClump.h"
#include "l3render/ModelManager.h"
#include "matcore9/HWDynamicMesh.h"
#include "utility/Assert.h"

namespace {

const float BYTE_TO_UNIT = 0.003921569f;

Vector3 positionOf(const CModelInst* pInst)
{
    const CModelTransform& t = pInst->m_transform;
    return Vector3(t.Translation[0], t.Translation[1], t.Translation[2]);
}

// The element's colour under the sun, baked into the LOD 1 mesh of the state's model at the
// element's orientation.
void prelight(const CClumpElementData& element, CModel* pModel)
{
    CModelElement* pRoot = pModel->GetRootLodModel(1);
    if (!pRoot || !pRoot->m_pMeshObject || !(pRoot->m_flags & CModelElement::DYNAMIC)) return;
    float sun[CSun::NUM_WORDS];
    CSun::getSunProperties(sun);
    const float* s = sun + CSun::WORD_COLOUR;
    const Vector3 colour(element.colour[0] * s[0] * BYTE_TO_UNIT, element.colour[1] * s[1] * BYTE_TO_UNIT,
                         element.colour[2] * s[2] * BYTE_TO_UNIT);
    const float* d = sun + CSun::WORD_DIRECTION;
    const float* a = sun + CSun::WORD_AMBIENT;
    Matrix3 orientation;
    for (int i = 0; i < 9; ++i) orientation.element(i) = element.pModelInst->m_transform.Rotation[i];
    static_cast<HWDynamicMeshObject*>(pRoot->m_pMeshObject)
        ->Prelight(orientation, Vector3(d[0], d[1], d[2]), Vector3(a[0], a[1], a[2]), colour);
}

}  // namespace

CClumpInstance::~CClumpInstance()
{
    if (d_pClump) {
        d_pClump->Destroy();
        delete d_pClump;
    }
    if (d_ppModelInst)
        for (uint32_t i = 0; i < d_numInstances; ++i)
            if (d_ppModelInst[i]) CModelManager::ReleaseModelInst(d_ppModelInst[i]);
    delete[] d_ppModelInst;
}

bool CClumpInstance::SetElementState(uint32_t elementId, uint32_t state, const Vector3* pPosition, bool play)
{
    return SetElementStateEx(elementId, state, COPY_MASK_ALL, pPosition, play);
}

bool CClumpInstance::SetElementStateEx(uint32_t elementId, uint32_t state, uint32_t copyMask,
                                       const Vector3* pPosition, bool play)
{
    if (!VERIFY(d_pClump) || !VERIFY(d_pManager) || !VERIFY(elementId < d_numInstances) ||
        !VERIFY_MSG(elementId < d_pClump->GetNumElements(), "id < numElements"))
        return false;
    CClumpElementData* pElem = d_pClump->GetElement(elementId);
    CClumpType* pType = d_pManager->GetClumpType(d_clumpType);
    if (!VERIFY(pElem) || !VERIFY(pType) || !VERIFY(state < MAX_CLUMP_ELEMENT_STATES)) return false;
    if ((pType->flags & CClumpType::FLAG_SUNLIT) && pElem->pModelList[state] && pElem->pModelInst) {
        prelight(*pElem, pElem->pModelList[state]);
        copyMask |= COPY_MASK_DIFFUSE;
    }
    if (!pElem->SetState(state, copyMask)) return false;
    if (!play || !pElem->pModelInst) return true;
    const Vector3 at = positionOf(pElem->pModelInst);
    uint32_t effect = 0;
    if (d_pManager->GetStateEffect(d_clumpType, state, &effect)) d_pManager->StartEffect(effect, pPosition ? *pPosition : at);
    if (pType->stateSound[state] != CClumpType::NO_SOUND)
        d_pManager->PlayClumpSound(pType->stateSound[state], at, pType->soundVolume, pType->soundMinDistance, nullptr);
    return true;
}

uint8_t CClumpInstance::GetElementState(uint32_t elementId) const
{
    if (!VERIFY(d_pClump) || !VERIFY(elementId < d_numInstances)) return NO_STATE;
    const CClumpElementData* pElem = d_pClump->GetElement(elementId);
    return pElem ? pElem->currentState : NO_STATE;
}

CClumpType* CClumpInstance::GetClumpType() const
{
    if (!VERIFY(d_pManager)) return nullptr;
    return d_pManager->GetClumpType(d_clumpType);
}
