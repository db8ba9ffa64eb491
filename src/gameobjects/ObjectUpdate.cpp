// The object manager's per-step passes (update, contact, post-collision, think with placement in the
// land tree, cameras), the tree bookkeeping around them, and drawing by render group.
#include "gameobjects/GameObjectManager.h"

#include "ai/LandTree.h"
#include "ai/WorldMgr.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/GameTree.h"
#include "gameobjects/ObjectListWalk.h"
#include "gameobjects/TreeClump.h"
#include "global/ProjData.h"
#include "utility/Assert.h"
#include "utility/RunLog.h"

using namespace objectlists;

namespace {

// How far beyond a leaf's square a moving object still looks for the objects placed in it.
const float LEAF_BOX_MARGIN = 120.0f;

bool hasSpeed(CGameObject* pObject)
{
    float speed = 0.0f;
    return pObject->GetCurrentSpeed(&speed) && speed > 0.0f;
}

bool isMoving(CGameObject* pObject) { return pObject->d_alwaysMoving || hasSpeed(pObject); }

bool takesPart(CGameObject* pObject) { return pObject->d_active && *pObject->getTreeEligibleFlag(); }

// The first element of a list, leaving its cursor past the end.
llistElement* headOf(llist* pList)
{
    pList->GotoHead();
    llistElement* element = pList->GetCurrentElement();
    endWalk(pList);
    return element;
}

// What a report about an object names: a tree clump's clump file (all of a file's clumps are one
// fault), else the object's type definition.
const char* sourceOf(CGameObjectManager& objects, CGameObject* pObject)
{
    if (pObject->GetType() == CTreeClump::TYPE_ID && CGameTree::getFileName()[0]) return CGameTree::getFileName();
    const char* pTypeName = nullptr;
    return objects.getTypeName(pObject->GetType(), &pTypeName) ? pTypeName : pObject->getTypeName();
}

}  // namespace

CLandTree* CGameObjectManager::landTree()
{
    CWorldMgr* pWorld = projDataExists() ? ::getProjData().getWorldMgr() : nullptr;
    return pWorld && pWorld->hasTree() ? pWorld->getTree() : nullptr;
}

void CGameObjectManager::runPasses(bool local)
{
    const bool objectsRun = m_objectsRunning || m_objectsStepOnce;
    const bool camerasRun = m_camerasRunning || m_camerasStepOnce;
    CLandTree* pTree = landTree();
    int frameStep = getFrameStep();

    if (objectsRun) {
        forEachIn(partialObjects, [frameStep](CGameObject* pObj) {
            if (pObj->d_active) pObj->update(frameStep);
        });
        forEachIn(activeObjects, [frameStep](CGameObject* pObj) {
            if (pObj && pObj->d_active && pObj->d_updateFlag) pObj->update(frameStep);
        });
        forEachIn(updateLastObjects, [frameStep](CGameObject* pObj) {
            if (pObj->d_active) pObj->update(frameStep);
        });
    }
    if (camerasRun) forEachIn(&m_pGameCameras, [frameStep](CGameObject* pObj) { pObj->update(frameStep); });

    if (objectsRun && !activeObjects->Empty()) {
        if (local && pTree) contactPass(pTree);
        forEachIn(postCollisionObjects, [](CGameObject* pObj) { pObj->postCollision(); });
        forEachIn(activeObjects, [this, pTree, frameStep](CGameObject* pObj) {
            if (pObj && pObj->d_active) placeInTree(pTree, pObj, pObj->think(frameStep));
        });
    }

    // The passes above may have changed the step (a slowed or paused game).
    frameStep = getFrameStep();
    auto thinkLast = [this, frameStep](CGameObject* pObj) {
        if (!pObj->d_active) return;
        if (pObj->think(frameStep) || pObj->d_leafIndex == CGameObject::NO_LEAF) replaceInTree(pObj);
    };
    if (objectsRun) {
        forEachIn(partialObjects, [frameStep](CGameObject* pObj) {
            if (pObj->d_active) pObj->think(frameStep);
        });
        forEachIn(updateLastObjects, thinkLast);
    }
    if (camerasRun) forEachIn(&m_pGameCameras, thinkLast);
}

void CGameObjectManager::placeInTree(CLandTree* pTree, CGameObject* pObject, bool moved)
{
    if (!pObject->isStaticObject()) {
        if (moved || pObject->d_leafIndex == CGameObject::NO_LEAF) replaceInTree(pObject);
        return;
    }
    // Statics go in once and never move.
    if (pObject->d_leafIndex != CGameObject::NO_LEAF || !pTree) return;
    if (!pTree->insertStatic(this, pObject) && !pTree->insertStaticAtRoot(this, pObject))
        assertFailedMsg(concatStrings("Static object could not be put into the land tree: ", sourceOf(*this, pObject)),
                        "theTree->insertStatic( this, pObj ) || theTree->insertStaticAtRoot( this, pObj )",
                        __FILE__, __LINE__);
}

void CGameObjectManager::replaceInTree(CGameObject* pObject)
{
    if (!VERIFY(pObject) || !pObject->d_active) return;
    CLandTree* pTree = landTree();
    // A world without land places nothing, and nothing can leave it.
    if (!pTree || pTree->relocateDynamic(this, pObject)) return;
    if (!isLocalSimulation()) {
        pObject->d_leafIndex = CGameObject::NO_LEAF;  // the host decides; it waits outside the tree
        return;
    }
    if (pObject->GetType() == TYPE_TREE_CAMERA) return;
    pObject->d_active = 0;
    pObject->d_treeMember = 0;
    deleteObject(pObject);
}

void CGameObjectManager::querySenses(CGameObject* pObject, uint32_t query, void* pSenses)
{
    if (!VERIFY(pObject) || pObject->d_leafIndex == CGameObject::NO_LEAF) return;
    CLandTree* theTree = landTree();
    if (!VERIFY(pSenses && theTree)) return;
    theTree->querySenses(this, pObject, query, pSenses);
}

// ---- Contact pass ------------------------------------------------------------------------------

void CGameObjectManager::contactPass(CLandTree* pTree)
{
    for (llist& list : d_dynamicLists) {
        if (list.Empty()) continue;
        for (llistElement* a = headOf(&list); a; a = a->next) {
            CGameObject* pA = static_cast<CGameObject*>(a->data);
            if (!pA || !takesPart(pA)) continue;
            const bool movingA = isMoving(pA);
            leafWalk(pTree, pA, movingA);
            for (llistElement* b = a->next; b; b = b->next) {
                CGameObject* pB = static_cast<CGameObject*>(b->data);
                if (pB && pB != pA && takesPart(pB) && (movingA || isMoving(pB))) pA->interact(pB);
            }
        }
    }
}

void CGameObjectManager::leafWalk(CLandTree* pTree, CGameObject* pObject, bool moving)
{
    if (pObject->d_leafIndex == CGameObject::NO_LEAF) return;
    CLeaf* pLeaf = pTree->getLeaf(pObject->d_leafIndex);
    if (!pLeaf) return;
    // From the parent up to the root.
    auto forEachAncestor = [pTree, pLeaf](auto visit) {
        for (uint16_t up = pLeaf->parent; up != CLeaf::NO_PARENT;) {
            CLeaf* pUp = pTree->getLeaf(up);
            if (!pUp) return;
            visit(pUp);
            up = pUp->parent;
        }
    };
    float speed = 0.0f;
    // The placed objects matter only to a mover, or to one that cannot tell.
    if (moving || !pObject->GetCurrentSpeed(&speed)) {
        if (pLeaf->staticCount > 0) testList(pObject, getStaticList(pLeaf->staticListId), true);
        for (uint16_t child : pLeaf->children) {
            CLeaf* pChild = child != CLeaf::NO_CHILD ? pTree->getLeaf(child) : nullptr;
            if (pChild && pChild->staticCount > 0) childWalk(pTree, pObject, pChild);
        }
        forEachAncestor([this, pObject](CLeaf* pUp) {
            if (pUp->staticCount > 0) testList(pObject, getStaticList(pUp->staticListId), false);
        });
    }
    forEachAncestor([this, pObject](CLeaf* pUp) {
        if (pUp->dynamicCount > 0) testList(pObject, getDynamicList(pUp->dynamicListId), true);
    });
}

void CGameObjectManager::childWalk(CLandTree* pTree, CGameObject* pObject, CLeaf* pLeaf)
{
    // Without a collision object an object meets no leaf's box.
    const CCollisionObject* pShape = pObject->pCollisionObject;
    const float cell = pTree->getCellSize();
    if (!pShape || !pShape->testBox2D(pLeaf->cellX * cell, pLeaf->cellY * cell, (pLeaf->cellX + pLeaf->side) * cell,
                                      (pLeaf->cellY + pLeaf->side) * cell, LEAF_BOX_MARGIN))
        return;
    testList(pObject, getStaticList(pLeaf->staticListId), false);
    for (uint16_t child : pLeaf->children) {
        CLeaf* pChild = child != CLeaf::NO_CHILD ? pTree->getLeaf(child) : nullptr;
        if (pChild && pChild->staticCount > 0) childWalk(pTree, pObject, pChild);
    }
}

void CGameObjectManager::testList(CGameObject* pObject, llist* pList, bool movingCheck)
{
    if (!pList) return;
    for (llistElement* e = headOf(pList); e; e = e->next) {
        CGameObject* pOther = static_cast<CGameObject*>(e->data);
        if (!pOther) {
            assertFailed("current", __FILE__, __LINE__);
            continue;
        }
        bool moving = true;
        if (movingCheck && !pObject->d_alwaysMoving && !pOther->d_alwaysMoving)
            moving = hasSpeed(pOther) || hasSpeed(pObject);
        if (moving && takesPart(pOther)) pOther->interact(pObject);
    }
}

// ---- Leaving -----------------------------------------------------------------------------------

void CGameObjectManager::leaveTree(CGameObject* pObject)
{
    CLandTree* pTree = landTree();
    if (!pTree || pObject->d_leafIndex == CGameObject::NO_LEAF) return;
    if (pObject->GetType() != TYPE_TREE_CAMERA && pObject->isStaticObject())
        pTree->removeStatic(this, pObject);
    else
        pTree->removeDynamic(this, pObject);
}

void CGameObjectManager::leaveRenderGroup(CGameObject* pObject)
{
    llistElement* element = pObject->d_pRenderGroupElement;
    llist* pList = element ? d_renderGroups.find(pObject->d_renderGroupKey) : nullptr;
    pObject->d_pRenderGroupElement = nullptr;
    if (!pList || pList->Empty()) return;
    // Another object's element must not be unlinked in its place.
    if (!VERIFY(element->data == static_cast<void*>(pObject))) return;
    removeElement(pList, element);
}

// ---- Drawing -----------------------------------------------------------------------------------

void CGameObjectManager::renderGroups()
{
    while (!newRenderObjects->Empty()) {
        llistElement* first = headOf(newRenderObjects);
        CGameObject* pObject = static_cast<CGameObject*>(first->data);
        removeElement(newRenderObjects, first);
        if (!pObject) continue;
        const uint32_t key = pObject->getRenderGroupKey();
        pObject->d_renderGroupKey = key;
        if (key == CGameObject::NO_RENDER_GROUP) continue;
        llist* pList = d_renderGroups.findOrMake(key);
        if (!VERIFY(pList)) continue;
        append(pList, pObject, &pObject->d_pRenderGroupElement);
    }
    d_renderGroups.forEachObject<CGameObject>([](CGameObject* pObject) { pObject->render(); });
    const float factor = d_interpolationFactor;
    auto visit = [this, factor](RegistryNode* pNode) {
        pNode->pManager->render(this, factor);
        return true;
    };
    walkInOrder(d_pRegistry, visit);
}

void CGameObjectManager::renderObjects()
{
    forEachIn(&d_renderList, [](CGameObject* pObject) { pObject->render(); });
}
