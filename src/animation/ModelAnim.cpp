#include "animation/ModelAnim.h"

#include "l3render/Model.h"
#include "l3render/ModelClassManager.h"
#include "l3render/ModelInst.h"
#include "utility/Assert.h"

#include <cstdio>
#include <cstring>

namespace {

bool unbind(CAnimNode* node, void*)
{
    node->Bound = false;
    return true;
}

bool bindNode(CAnimNode* node, void* argument)
{
    if (node->Dummy) return true;
    const CModelClass* pClass = static_cast<const CModelClass*>(argument);
    uint32_t index = 0;
    const bool ret = pClass->FindElement(node->Name, &index);
    if (!ret) {
        char text[600];
        snprintf(text, sizeof text, "Cant find animation node %s in model with class %s", node->Name,
                 pClass->m_pName ? pClass->m_pName : "");
        assertFailedMsg(text, "ret", __FILE__, __LINE__);
        return false;
    }
    node->Id = static_cast<uint16_t>(index);
    node->Bound = true;
    return true;
}

bool writeNode(CAnimNode* node, void* argument)
{
    // Dummies and nodes a failed binding left alone still carry their creation index: writing
    // them would move whatever element has that index.
    if (!node->Bound) return true;
    CModelInst* pInstance = static_cast<CModelInst*>(argument);
    const CModel* pModel = pInstance->GetModel();
    if (!VERIFY(pModel)) return false;
    const uint32_t index = node->Id;
    if (!VERIFY(index < pModel->GetNumAnimNodes())) return true;
    if (CModelTransform* pNode = pInstance->GetAnimNode(index)) {
        for (int i = 0; i < 9; ++i) pNode->Rotation[i] = node->RotationMatrix.element(i);
        pNode->Translation[0] = node->Translation.x;
        pNode->Translation[1] = node->Translation.y;
        pNode->Translation[2] = node->Translation.z;
        pNode->Scale[0] = node->Scale.x;
        pNode->Scale[1] = node->Scale.y;
        pNode->Scale[2] = node->Scale.z;
    }
    node->BlendPosition = 0.0f;
    return true;
}

bool blendNode(CAnimNode* a, CAnimNode* b, void* argument)
{
    const float distance = *static_cast<const float*>(argument);
    float p = (distance - a->BlendPosition) * a->BlendResponse + a->BlendPosition;
    if (p > 1.0f) p = 1.0f;
    a->BlendPosition = p;
    Quaternion mixed;
    quatSlerp(b->Rotation, a->Rotation, p, mixed);
    a->Rotation = mixed;
    quatToMatrix3(a->Rotation, a->RotationMatrix);
    a->Translation = b->Translation + (a->Translation - b->Translation) * p;
    a->Scale = b->Scale + (a->Scale - b->Scale) * p;
    return true;
}

}  // namespace

bool CModelAnim::Attach(const CModelClass* pClass, CModelInst* pInstance)
{
    if (GetAnimError() != ANIM_OK || !pClass || !pInstance) return false;
    m_pClass = pClass;
    m_pInstance = pInstance;
    GetHierarchy().ForEach(unbind, nullptr);
    return GetHierarchy().ForEach(bindNode, const_cast<CModelClass*>(pClass));
}

void CModelAnim::WriteNodes()
{
    if (GetAnimError() != ANIM_OK || !m_pInstance) return;
    GetHierarchy().ForEach(writeNode, m_pInstance);
}

void CModelAnim::Play(uint32_t elapsed)
{
    Advance(elapsed);
    WriteNodes();
}

void CModelAnim::Blend(CModelAnim* pOther, float distance)
{
    if (!(distance >= 0.0f && distance <= 1.0f))
        assertFailedMsg("Distance for blend is not in range 0 to 1", "distance >=0.0f && distance <=1.0f", __FILE__,
                        __LINE__);
    CAnimNode* otherRoot = pOther->GetHierarchy().RootNode;
    if (!GetHierarchy().RootNode || !otherRoot) return;
    GetHierarchy().ForEachPair(otherRoot, blendNode, &distance);
}

void CModelAnim::PlayBlend(uint32_t elapsed, CModelAnim* pOther, float distance)
{
    if (!(distance >= 0 && distance <= 1.0f))
        assertFailedMsg("Distance greater than 1 passed into PlayBlend\n", "distance >=0 && distance <=1.0f", __FILE__,
                        __LINE__);
    if (!VERIFY(pOther)) return;
    Advance(elapsed);
    pOther->Advance(elapsed);
    Blend(pOther, distance);
    WriteNodes();
}
