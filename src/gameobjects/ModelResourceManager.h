// CModelResourceManager (manager 0x83): placed model instances by model file name. A type is one
// model file, defined by name (addDefinition) and loaded at its first instantiation; the model is
// kept until the manager goes, which must be before the model manager shuts down. Instantiating a
// type makes a CModelInst of that model, acquiring its handle gives the instance, releasing the
// handle destroys it. Handles keep reuse counts. A file that does not load is reported once, and its
// type makes no instances.
//
//   theObjectManager->instantiateResourceByName(MANAGER_MODELS, "data\\models\\robot.rsm", &handle);
//   theObjectManager->acquireResource(handle, &pResource);   // a CModelInst
#pragma once

#include "gamemanagement/ResourceManager.h"
#include "gamemanagement/ResourceSlotTable.h"

#include <vector>

class CModel;

class CModelResourceManager : public CResourceManager {
public:
    static constexpr uint32_t MAX_MODEL_TYPES = 256;
    static constexpr uint32_t MAX_MODEL_INSTANCES = 1024;

    CModelResourceManager();
    // Destroys the instances still live, then the models.
    ~CModelResourceManager() override;
    CModelResourceManager(const CModelResourceManager&) = delete;
    CModelResourceManager& operator=(const CModelResourceManager&) = delete;

    // A new type for the model file of that name. False when the name is defined already, longer
    // than a definition holds, or the type table is full.
    bool addDefinition(const char* typeName, resDef* pDef) override;
    bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) override;
    void release(resourceHandle handle) override;
    bool acquire(resourceHandle handle, CResource** ppResource) override;
    uint32_t getNumDefinitions() override { return static_cast<uint32_t>(d_types.size()); }
    resDef* getDefinition(resDef* pDef, uint32_t index) override;
    bool findTypeByName(const char* typeName, uint32_t* pTypeId) override;
    uint32_t getResourceManagerId() override { return MANAGER_MODELS; }
    bool initialise(CGameObjectManager*) override { return true; }
    void destroy() override { delete this; }

    // The model of a type, loaded now when it was not yet; null when the file does not load or the
    // type is not this manager's.
    CModel* getModel(uint32_t typeId);
    uint32_t getNumLive() const { return d_slots.getNumLive(); }

private:
    struct ModelType {
        resDef definition;
        CModel* pModel;
        bool loadTried;
    };

    std::vector<ModelType> d_types;
    CResourceSlotTable d_slots;
};
