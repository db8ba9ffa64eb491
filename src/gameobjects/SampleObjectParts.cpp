#include "gameobjects/SampleObjectParts.h"

#include "ai/LandTree.h"
#include "ai/WorldMgr.h"
#include "gamemanagement/ResourceManager.h"
#include "gameobjects/CollisionObject.h"
#include "gameobjects/CollisionServices.h"
#include "gameobjects/GameObject.h"
#include "gameobjects/GameObjectManager.h"
#include "gameobjects/ModelResourceManager.h"
#include "l3render/ModelInst.h"
#include "gameobjects/PhysicsObject.h"
#include "global/ProjData.h"
#include "utility/Assert.h"

namespace sampleparts {

CGameObjectManager* objects() { return VERIFY(pTheObjectManager) ? pTheObjectManager : nullptr; }

namespace {

// Instantiates and acquires a resource of the manager: by name, or by type id when there is none.
CResource* attach(uint32_t managerId, uint32_t typeId, const char* typeName, uint32_t resourceType,
                  resourceHandle* pHandle)
{
    CGameObjectManager* pObjects = objects();
    if (!pObjects) return nullptr;
    resourceHandle handle = 0;
    const bool made = typeName ? pObjects->instantiateResourceByName(managerId, typeName, &handle)
                               : pObjects->instantiateResource(managerId, typeId, &handle);
    CResource* pResource = nullptr;
    if (!made) return nullptr;
    if (!pObjects->acquireResource(handle, &pResource) || !VERIFY(pResource->getResourceType() == resourceType)) {
        pObjects->releaseResource(handle);
        return nullptr;
    }
    *pHandle = handle;
    return pResource;
}

}  // namespace

bool SAttachments::attachCollision(CGameObject& owner, uint32_t typeId, const char* typeName)
{
    CResource* pShape = attach(CResourceManager::MANAGER_COLLISION, typeId, typeName,
                               CResource::RESOURCETYPE_COLLISIONOBJECT, &collision);
    owner.pCollisionObject = static_cast<CCollisionObject*>(pShape);
    return pShape != nullptr;
}

bool SAttachments::attachPhysics(CGameObject& owner, uint32_t typeId, const char* typeName)
{
    CResource* pPhysics = attach(CResourceManager::MANAGER_PHYSICS, typeId, typeName,
                                 CResource::RESOURCETYPE_PHYSICSOBJECT, &physics);
    owner.pPhysicsObject = static_cast<CPhysicsObject*>(pPhysics);
    return pPhysics != nullptr;
}

bool SAttachments::attachModel(uint32_t typeId, const char* fileName, uint32_t flags)
{
    pModel = static_cast<CModelInst*>(
        attach(CResourceManager::MANAGER_MODELS, typeId, fileName, CResource::RESOURCETYPE_MODEL, &model));
    if (pModel) modelFlags |= flags;
    return pModel != nullptr;
}

void SAttachments::release(CGameObject& owner)
{
    CGameObjectManager* pObjects = pTheObjectManager;
    for (resourceHandle* pHandle : {&physics, &collision, &model}) {
        if (*pHandle && pObjects) pObjects->releaseResource(*pHandle);
        *pHandle = 0;
    }
    owner.pPhysicsObject = nullptr;
    owner.pCollisionObject = nullptr;
    pModel = nullptr;
}

void SAttachments::drawModel(const Matrix3& orientation, const Vector3& position, float scale)
{
    if (!pModel) return;
    CModelTransform& t = pModel->m_transform;
    for (int i = 0; i < 9; ++i) t.Rotation[i] = orientation.element(i);
    t.Translation[0] = position.x;
    t.Translation[1] = position.y;
    t.Translation[2] = position.z;
    t.Scale[0] = t.Scale[1] = t.Scale[2] = scale;
    pModel->Render();
}

bool testShapes(CGameObject& owner, CGameObject& other, Vector3* pPoint, Vector3* pNormal)
{
    if (!owner.pCollisionObject || !other.pCollisionObject) return false;
    collisionPairFirst = &owner;
    collisionPairSecond = &other;
    const bool hit = owner.pCollisionObject->test(other.pCollisionObject, pPoint, pNormal, 0);
    collisionPairFirst = collisionPairSecond = nullptr;
    return hit;
}

namespace {

CLandTree* landTree()
{
    CWorldMgr* pWorld = projDataExists() ? getProjData().getWorldMgr() : nullptr;
    return pWorld && pWorld->hasTree() ? pWorld->getTree() : nullptr;
}

}  // namespace

float groundHeight(float x, float y, Vector3* pNormal)
{
    if (const CLandTree* pTree = landTree()) return pTree->getGroundHeight(Vector3(x, y, 0.0f), pNormal);
    if (pNormal) pNormal->set(0.0f, 0.0f, 1.0f);
    return 0.0f;
}

bool groundRayTest(const Vector3& start, const Vector3& direction, float length, Vector3* pHit, Vector3* pNormal)
{
    const CLandTree* pTree = landTree();
    return pTree && pTree->rayTest(start, direction, length, pHit, pNormal);
}

bool networkGameRuns() { return projDataExists() && getProjData().hasNetwork(); }

bool localHitsAllowed() { return projDataExists() && getProjData().NetSettings.localHits != 0; }

uint32_t gameTime() { return projDataExists() ? static_cast<uint32_t>(getProjData().getTime()) : 0; }

int frameStep()
{
    const int step = projDataExists() ? getFrameStep() : 0;
    return step > 0 ? step : 1;
}

}  // namespace sampleparts
