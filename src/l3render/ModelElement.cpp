#include "l3render/ModelElement.h"

#include "l3render/ModelChunks.h"
#include "l3render/ModelManager.h"
#include "matcore9/HWDynamicMesh.h"
#include "utility/Assert.h"

void CollectStateBlocks(const CModelElement* pElement, std::vector<DWORD>& out, size_t wanted)
{
    for (; pElement && out.size() < wanted; pElement = pElement->m_pNextSibling) {
        if (const HWBaseObject* pMesh = pElement->m_pMeshObject) {
            const uint32_t count = pMesh->GetStateBlocks(nullptr, 0);
            const size_t at = out.size();
            out.resize(at + count);
            pMesh->GetStateBlocks(out.data() + at, count);
        }
        CollectStateBlocks(pElement->m_pFirstChild, out, wanted);
    }
    if (out.size() > wanted) out.resize(wanted);
}

CModelTransform IdentityTransform()
{
    CModelTransform t = {};
    t.Rotation[0] = t.Rotation[4] = t.Rotation[8] = 1.0f;
    t.Scale[0] = t.Scale[1] = t.Scale[2] = 1.0f;
    return t;
}

CModelElement::CModelElement() : m_local(IdentityTransform()), m_world(IdentityTransform()) {}

CModelElement::~CModelElement()
{
    if (m_pMeshObject) m_pMeshObject->Release();
    if (m_pChunks) m_pChunks->Release();
}

void CModelElement::AddChild(CModelElement* pNewChild)
{
    if (!VERIFY(pNewChild != NULL)) return;
    pNewChild->m_pParent = this;
    pNewChild->m_pNextSibling = m_pFirstChild;
    m_pFirstChild = pNewChild;
}

namespace {

CModelElement* cloneOne(const CModelElement* source, CModelElement* parent)
{
    CModelElement* copy = CModelManager::CreateElement();
    if (!copy) return nullptr;
    copy->m_local = source->m_local;
    copy->m_world = source->m_world;
    copy->m_pParent = parent;
    copy->m_pMeshObject = source->m_pMeshObject;
    if (copy->m_pMeshObject) copy->m_pMeshObject->AddRef();
    copy->m_animNodeIndex = source->m_animNodeIndex;
    copy->m_boundsCentre = source->m_boundsCentre;
    copy->m_boundsRadius = source->m_boundsRadius;
    copy->m_flags = source->m_flags;
    copy->m_pChunks = source->m_pChunks;
    if (copy->m_pChunks) copy->m_pChunks->AddRef();
    return copy;
}

// Copies of the element and its later siblings, each with its children, in the same order.
CModelElement* cloneChain(const CModelElement* source, CModelElement* parent, bool* ok)
{
    CModelElement* first = nullptr;
    CModelElement* last = nullptr;
    for (; source && *ok; source = source->m_pNextSibling) {
        CModelElement* copy = cloneOne(source, parent);
        if (!copy) {
            *ok = false;
            break;
        }
        (last ? last->m_pNextSibling : first) = copy;
        last = copy;
        if (source->m_pBinding) {
            copy->m_pBinding = CModelManager::CreateElementBinding();
            if (copy->m_pBinding) {
                copy->m_pBinding->m_value = source->m_pBinding->m_value;
                copy->m_pBinding->m_pElement = copy;
            } else {
                *ok = false;
            }
        }
        if (source->m_pFirstChild) copy->m_pFirstChild = cloneChain(source->m_pFirstChild, copy, ok);
    }
    return first;
}

}  // namespace

CModelElement* CModelElement::Clone(CModelElement* pNewParent, bool deep) const
{
    if (!deep) return cloneOne(this, pNewParent);
    bool ok = true;
    CModelElement* copy = cloneChain(this, pNewParent, &ok);
    if (!ok) {
        if (copy) CModelManager::ReleaseElement(copy, true);
        return nullptr;
    }
    return copy;
}

CModelElement* CModelElement::FindByNode(uint32_t node)
{
    for (CModelElement* e = this; e; e = e->m_pNextSibling) {
        if (e->m_animNodeIndex == node) return e;
        if (e->m_pFirstChild)
            if (CModelElement* found = e->m_pFirstChild->FindByNode(node)) return found;
    }
    return nullptr;
}

CModelElement* CModelElement::FindParentOf(const CModelElement* pSearchElement)
{
    if (!VERIFY(pSearchElement)) return nullptr;
    for (CModelElement* e = this; e; e = e->m_pNextSibling) {
        for (const CModelElement* child = e->m_pFirstChild; child; child = child->m_pNextSibling)
            if (child == pSearchElement) return e;
        if (e->m_pFirstChild)
            if (CModelElement* found = e->m_pFirstChild->FindParentOf(pSearchElement)) return found;
    }
    return nullptr;
}

void CModelElement::CommitDynamic(bool recursive)
{
    for (CModelElement* e = this; e; e = recursive ? e->m_pNextSibling : nullptr) {
        if ((e->m_flags & DYNAMIC) && e->m_pMeshObject) {
            auto* mesh = static_cast<HWDynamicMeshObject*>(e->m_pMeshObject);
            if (!mesh->IsCommitted()) mesh->Commit();
        }
        if (recursive && e->m_pFirstChild) e->m_pFirstChild->CommitDynamic(true);
    }
}

void CModelElement::SetMaterial(int32_t num)
{
    for (CModelElement* e = this; e; e = e->m_pNextSibling) {
        if (e->m_pMeshObject) e->m_pMeshObject->SetMaterial(num);
        if (e->m_pFirstChild) e->m_pFirstChild->SetMaterial(num);
    }
}

void CModelElement::SetAnimationStart(float time)
{
    for (CModelElement* e = this; e; e = e->m_pNextSibling) {
        if (e->m_pMeshObject) e->m_pMeshObject->SetAnimationStart(time);
        if (e->m_pFirstChild) e->m_pFirstChild->SetAnimationStart(time);
    }
}
