#include "gameobjects/ModelResourceManager.h"

#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"
#include "utility/Assert.h"

#include <cstring>

CModelResourceManager::CModelResourceManager() : d_slots(MANAGER_MODELS, MAX_MODEL_INSTANCES) {}

CModelResourceManager::~CModelResourceManager()
{
    for (uint32_t slot = 0; slot < d_slots.getCapacity(); ++slot)
        if (CResource* pResource = d_slots.at(slot)) release(pResource->getResourceHandle());
    for (ModelType& type : d_types)
        if (type.pModel) CModelManager::ReleaseModel(type.pModel, true);
}

bool CModelResourceManager::addDefinition(const char* typeName, resDef* pDef)
{
    if (!VERIFY(typeName && pDef)) return false;
    // A cut name would never be found again, and every look-up would load the file once more.
    if (!VERIFY_MSG(strlen(typeName) < resDef::MAX_TYPE_NAME, "Model file name too long for a model type"))
        return false;
    uint32_t typeId = 0;
    if (findTypeByName(typeName, &typeId)) return false;
    if (!VERIFY_MSG(d_types.size() < MAX_MODEL_TYPES, "Too many model types")) return false;
    ModelType type;
    fillDefinition(&type.definition, MANAGER_MODELS | static_cast<uint32_t>(d_types.size()), typeName);
    type.pModel = nullptr;
    type.loadTried = false;
    d_types.push_back(type);
    *pDef = type.definition;
    return true;
}

CModel* CModelResourceManager::getModel(uint32_t typeId)
{
    const uint32_t index = typeId & ~MASK_MANAGER;
    if ((typeId & MASK_MANAGER) != MANAGER_MODELS || index >= d_types.size()) return nullptr;
    ModelType& type = d_types[index];
    // Loaded once: a file that fails is reported by the loader the first time only.
    if (!type.loadTried) {
        type.loadTried = true;
        type.pModel = CModelUtil::LoadModel(type.definition.typeName, 0, 1.0f, nullptr, 0);
    }
    return type.pModel;
}

bool CModelResourceManager::instantiate(uint32_t typeId, resourceHandle* pHandle, int)
{
    *pHandle = 0;
    CModel* pModel = getModel(typeId);
    if (!pModel) return false;
    CModelInst* pInstance = CModelManager::CreateModelInst(pModel);
    if (!pInstance) return false;
    resourceHandle handle = 0;
    if (!VERIFY_MSG(d_slots.insert(pInstance, &handle), "No free slot for a new model instance")) {
        CModelManager::ReleaseModelInst(pInstance);
        return false;
    }
    pInstance->setResourceHandle(handle);
    *pHandle = handle;
    return true;
}

void CModelResourceManager::release(resourceHandle handle)
{
    if (CResource* pResource = d_slots.remove(handle))
        CModelManager::ReleaseModelInst(static_cast<CModelInst*>(pResource));
}

bool CModelResourceManager::acquire(resourceHandle handle, CResource** ppResource)
{
    *ppResource = d_slots.find(handle);
    return *ppResource != nullptr;
}

resDef* CModelResourceManager::getDefinition(resDef* pDef, uint32_t index)
{
    if (!VERIFY(index < getNumDefinitions())) return nullptr;
    *pDef = d_types[index].definition;
    return pDef;
}

bool CModelResourceManager::findTypeByName(const char* typeName, uint32_t* pTypeId)
{
    for (const ModelType& type : d_types) {
        if (!typeNamesMatch(type.definition.typeName, typeName)) continue;
        *pTypeId = type.definition.typeId;
        return true;
    }
    return false;
}
