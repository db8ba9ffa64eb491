// CSlotResourceManager: the common shape of a resource manager - a table of {type id, name}
// definitions searched without regard to case, and a fixed slot table whose handles keep reuse
// counts. A concrete manager says how an object of each type is made.
#pragma once

#include "gamemanagement/ResourceManager.h"
#include "gamemanagement/ResourceSlotTable.h"

#include <vector>

class CSlotResourceManager : public CResourceManager {
public:
    CSlotResourceManager(uint32_t managerId, uint32_t capacity, const resDef* pDefinitions, uint32_t numDefinitions);
    // Destroys the objects still live.
    ~CSlotResourceManager() override;

    bool addDefinition(const char*, resDef*) override { return false; }
    // A type of another manager is a failed check; an unknown type and a full table give false.
    bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) override;
    void release(resourceHandle handle) override;
    bool acquire(resourceHandle handle, CResource** ppResource) override;
    uint32_t getNumDefinitions() override { return static_cast<uint32_t>(d_definitions.size()); }
    resDef* getDefinition(resDef* pDef, uint32_t index) override;
    bool findTypeByName(const char* typeName, uint32_t* pTypeId) override;
    uint32_t getResourceManagerId() override { return d_managerId; }
    bool initialise(CGameObjectManager*) override { return true; }

    uint32_t getNumLive() const { return d_slots.getNumLive(); }

protected:
    // A new object of a defined type; null when it cannot be made.
    virtual CResource* makeResource(uint32_t typeId) = 0;
    void appendDefinition(const resDef& definition) { d_definitions.push_back(definition); }

private:
    uint32_t d_managerId;
    CResourceSlotTable d_slots;
    std::vector<resDef> d_definitions;
};
