// Where the boned animations get their models, standing in for the object manager that serves them
// in the game: one model per file name, loaded at its first instance (a file that does not load
// makes none), its instances by handle, and the game step. Everything else is refused.
#pragma once

#include "gamemanagement/ResourceManager.h"
#include "gameobjects/ObjectManagerInterfaces.h"
#include "l3render/ModelInst.h"
#include "l3render/ModelManager.h"
#include "l3render/ModelUtil.h"

#include <cstdlib>
#include <map>
#include <string>

class ModelSource : public CObjectManagerInterface {
public:
    explicit ModelSource(int frameStep) : d_frameStep(frameStep) {}
    ~ModelSource() override
    {
        for (auto& [handle, pInstance] : d_live) CModelManager::ReleaseModelInst(pInstance);
        for (auto& [name, pModel] : d_models)
            if (pModel) CModelManager::ReleaseModel(pModel, true);
    }

    size_t getNumLive() const { return d_live.size(); }

    bool instantiateResourceByName(uint32_t managerId, const char* typeName, resourceHandle* pHandle) override
    {
        *pHandle = 0;
        if (managerId != CResourceManager::MANAGER_MODELS) return false;
        auto [it, first] = d_models.try_emplace(typeName, nullptr);
        if (first) it->second = CModelUtil::LoadModel(typeName, 0, 1.0f, nullptr, 0);
        CModelInst* pInstance = it->second ? CModelManager::CreateModelInst(it->second) : nullptr;
        if (!pInstance) return false;
        *pHandle = CResourceManager::MANAGER_MODELS | ++d_lastHandle;
        pInstance->setResourceHandle(*pHandle);
        d_live[*pHandle] = pInstance;
        return true;
    }
    bool acquireResource(resourceHandle handle, CResource** ppResource) override
    {
        auto it = d_live.find(handle);
        *ppResource = it != d_live.end() ? it->second : nullptr;
        return *ppResource != nullptr;
    }
    void releaseResource(resourceHandle handle) override
    {
        auto it = d_live.find(handle);
        if (it == d_live.end()) return;
        CModelManager::ReleaseModelInst(it->second);
        d_live.erase(it);
    }
    int getFrameStep() override { return d_frameStep; }

    bool createObjectFromCode(uint32_t, resourceHandle, ObjectArgs) override { return false; }
    bool createObjectByNameFromCode(const char*, resourceHandle, ObjectArgs) override { return false; }
    bool createObject(uint32_t, CParamBlock*, resourceHandle) override { return false; }
    bool createObjectByName(const char*, CParamBlock*, resourceHandle) override { return false; }
    bool createObjectByNameWithHandle(resourceHandle*, const char*, resourceHandle, ObjectArgs) override { return false; }
    bool createObjectFromCodeWithHandle(uint32_t, resourceHandle*, resourceHandle, ObjectArgs) override { return false; }
    void deleteObject(CGameObject*) override {}
    bool findHandleByName(const char*, resourceHandle*) override { return false; }
    bool resolveNameList(llist*) override { return false; }
    bool findTypeId(uint32_t, const char*, uint32_t*) override { return false; }
    bool findTypeIdAnyManager(const char*, uint32_t*) override { return false; }
    bool getTypeName(uint32_t, const char**) override { return false; }
    bool addDefinition(uint32_t, const char*, uint32_t*) override { return false; }
    bool instantiateResource(uint32_t, uint32_t, resourceHandle*) override { return false; }
    bool instantiateResourceByNameAnyManager(const char*, resourceHandle*) override { return false; }
    void update() override {}
    void updateInterpolation() override {}
    CGameObject* findObjectByNetId(uint32_t) override { return nullptr; }
    bool isGameInfoFlagSet() override { return false; }
    bool allocDynamicListId(uint16_t*) override { return false; }
    llist* getDynamicList(uint16_t) override { return nullptr; }
    void freeDynamicListId(uint16_t) override {}
    bool allocStaticListId(uint16_t*) override { return false; }
    llist* getStaticList(uint16_t) override { return nullptr; }
    void freeStaticListId(uint16_t) override {}
    void prepareTreeInsertion(CGameObject*) override {}
    void replaceInTree(CGameObject*) override {}
    void querySenses(CGameObject*, uint32_t, void*) override {}
    bool getTreePosition(CGameObject*, Vector3*) override { return false; }
    bool footprintReaches(const CGameObject*, float, float, float, float) override { return false; }
    uint16_t getLeafIndex(const CGameObject*) override { return CGameObject::NO_LEAF; }
    void setLeafIndex(CGameObject*, uint16_t) override {}
    void renderGroups() override {}
    uint32_t GetNumObjects() override { return 0; }
    CGameObject* getObject(uint32_t) override { return nullptr; }
    bool getObjectPosition(uint32_t, Vector3*) override { return false; }
    llist* getActiveObjects() override { return nullptr; }
    void addToRenderList(CGameObject*) override {}
    void removeFromRenderList(CGameObject*) override {}
    CProjData& getProjData() override { std::abort(); }

private:
    int d_frameStep;
    uint32_t d_lastHandle = 0;
    std::map<std::string, CModel*> d_models;
    std::map<resourceHandle, CModelInst*> d_live;
};
