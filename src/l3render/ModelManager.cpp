#include "l3render/ModelManager.h"

#include "l3render/ModelChunks.h"
#include "matcore9/HWObjects.h"
#include "utility/Assert.h"
#include "utility/LList.h"

#include <new>

namespace {

struct ModelLists {
    llist elements;
    llist bindings;
    llist models;
    llist instances;
    uint32_t nextId = 0;
};
ModelLists g;

// Each object keeps the list element that holds it, so that it leaves its list in constant time;
// an object that no list holds (never listed, or from elsewhere) is refused.
template <class T>
T* enlist(llist& list, T* object, uint32_t id, llistElement*& entry)
{
    object->m_id = id;
    list.GotoTail();
    list.InsertAfterGetElement(object, &entry);
    return object;
}

bool delist(llist& list, const void* object, llistElement*& entry)
{
    if (!entry || entry->data != object) return false;
    list.RemoveElement(entry);
    entry = nullptr;
    return true;
}

// The elements of a tree (the element, its children, its later siblings), each with its binding.
// Siblings are walked, children recursed, so the stack grows only with the tree's depth.
void releaseTree(CModelElement* pElement)
{
    while (pElement) {
        CModelElement* next = pElement->m_pNextSibling;
        if (pElement->m_pFirstChild) releaseTree(pElement->m_pFirstChild);
        if (pElement->m_pBinding) CModelManager::ReleaseElementBinding(pElement->m_pBinding);
        pElement->m_pBinding = nullptr;
        CModelManager::ReleaseElement(pElement, false);
        pElement = next;
    }
}

}  // namespace

bool CModelManager::Init()
{
    g.nextId = 0;
    return true;
}

void CModelManager::Shutdown()
{
    while (!g.instances.Empty()) {
        g.instances.GotoHead();
        ReleaseModelInst(static_cast<CModelInst*>(g.instances.GetCurrent()));
    }
    while (!g.models.Empty()) {
        g.models.GotoHead();
        ReleaseModel(static_cast<CModel*>(g.models.GetCurrent()), false);
    }
    while (!g.elements.Empty()) {
        g.elements.GotoHead();
        ReleaseElement(static_cast<CModelElement*>(g.elements.GetCurrent()), false);
    }
    while (!g.bindings.Empty()) {
        g.bindings.GotoHead();
        ReleaseElementBinding(static_cast<CModelElementBinding*>(g.bindings.GetCurrent()));
    }
}

CModel* CModelManager::CreateModel()
{
    const uint32_t id = g.nextId++;
    CModel* pModel = new (std::nothrow) CModel();
    return pModel ? enlist(g.models, pModel, id, pModel->m_pListEntry) : nullptr;
}

bool CModelManager::ReleaseModel(CModel* pModel, bool releaseElements)
{
    if (!pModel || !delist(g.models, pModel, pModel->m_pListEntry)) return false;
    if (releaseElements)
        for (CModelElement*& pRoot : pModel->pRootLodModel) {
            if (pRoot) ReleaseElement(pRoot, true);
            pRoot = nullptr;
        }
    if (pModel->m_pChunks) pModel->m_pChunks->Release();
    delete pModel;
    return true;
}

CModelElement* CModelManager::CreateElement()
{
    const uint32_t id = g.nextId++;
    CModelElement* pElement = new (std::nothrow) CModelElement();
    return pElement ? enlist(g.elements, pElement, id, pElement->m_pListEntry) : nullptr;
}

bool CModelManager::ReleaseElement(CModelElement* pElement, bool recursive)
{
    if (!pElement || !pElement->m_pListEntry || pElement->m_pListEntry->data != pElement) return false;
    if (recursive) {
        releaseTree(pElement);
        return true;
    }
    delist(g.elements, pElement, pElement->m_pListEntry);
    if (pElement->m_pBinding && pElement->m_pBinding->m_pElement == pElement) pElement->m_pBinding->m_pElement = nullptr;
    delete pElement;
    return true;
}

CModelElementBinding* CModelManager::CreateElementBinding()
{
    const uint32_t id = g.nextId++;
    CModelElementBinding* pBinding = new (std::nothrow) CModelElementBinding();
    return pBinding ? enlist(g.bindings, pBinding, id, pBinding->m_pListEntry) : nullptr;
}

bool CModelManager::ReleaseElementBinding(CModelElementBinding* pBinding)
{
    if (!pBinding || !delist(g.bindings, pBinding, pBinding->m_pListEntry)) return false;
    if (pBinding->m_pElement && pBinding->m_pElement->m_pBinding == pBinding) pBinding->m_pElement->m_pBinding = nullptr;
    delete pBinding;
    return true;
}

CModelInst* CModelManager::CreateModelInst(CModel* pModel)
{
    const uint32_t id = g.nextId++;
    if (!VERIFY(pModel)) return nullptr;
    CModelInst* pInstance = new (std::nothrow) CModelInst(pModel);
    if (!pInstance) return nullptr;
    if (pModel->m_numAnimNodes && !VERIFY(pInstance->m_pAnimNodes != NULL)) {
        delete pInstance;
        return nullptr;
    }
    return enlist(g.instances, pInstance, id, pInstance->m_pListEntry);
}

bool CModelManager::ReleaseModelInst(CModelInst* pInstance)
{
    if (!pInstance || !delist(g.instances, pInstance, pInstance->m_pListEntry)) return false;
    delete pInstance;
    return true;
}

uint32_t CModelManager::GetNumModels() { return g.models.getNumItems(); }
uint32_t CModelManager::GetNumElements() { return g.elements.getNumItems(); }
uint32_t CModelManager::GetNumElementBindings() { return g.bindings.getNumItems(); }
uint32_t CModelManager::GetNumModelInsts() { return g.instances.getNumItems(); }
uint32_t CModelManager::GetNextId() { return g.nextId; }
