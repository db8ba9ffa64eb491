// CEffectObjectResourceManager (manager 0x05): owns the one effect manager, the definitions that may
// be instantiated (effect names precached from the precache lists, or added at run time), and the
// effect objects that game code runs effects through. It steps and draws the effects every frame and
// rebuilds every running effect, under the same handles, when the device is reset.
//
// Handles keep reuse counts. 0x05FFFFFF is the blank effect: it always acquires an object that does
// nothing, and releasing it does nothing. Definition 0 is "blankeffect"; definition i is the
// (i - 1)-th effect name.
#pragma once

#include "gamemanagement/ResourceManager.h"

#include <cstdint>

class CEffectManager;
class CFreeSlots;
class CGameMemoryManager;
class CParticleSystemEffect;

class CEffectObjectResourceManager : public CResourceManager {
public:
    static constexpr uint32_t MAX_EFFECT_OBJECTS = 20000;
    static constexpr uint32_t MAX_EFFECT_DEFINITIONS = 220;
    static constexpr resourceHandle BLANK_HANDLE = 0x05FFFFFF;
    static constexpr const char* BLANK_NAME = "blankeffect";
    static constexpr const char* PRECACHE_LIST = "%sparticles\\particlesystem_precache.psp";

    // Creates the effect manager and the effects' vertex-buffer manager and reads the precache lists.
    CEffectObjectResourceManager();
    // The effect manager goes with its effects (without end callbacks); objects still in their slots
    // go with the pool.
    ~CEffectObjectResourceManager() override;
    CEffectObjectResourceManager(const CEffectObjectResourceManager&) = delete;
    CEffectObjectResourceManager& operator=(const CEffectObjectResourceManager&) = delete;

    // Reads "data\particles\<name>.ps_" and precaches the name.
    bool addDefinition(const char* typeName, resDef* pDef) override;
    bool instantiate(uint32_t typeId, resourceHandle* pHandle, int flag) override;
    // The slot is emptied before the object stops, so an end callback that releases the handle
    // again finds nothing.
    void release(resourceHandle handle) override;
    bool acquire(resourceHandle handle, CResource** ppResource) override;
    uint32_t getNumDefinitions() override { return numEffectDefinitions + 1; }
    resDef* getDefinition(resDef* pDef, uint32_t index) override;
    // Of several definitions of one name, the last.
    bool findTypeByName(const char* typeName, uint32_t* pTypeId) override;
    uint32_t getResourceManagerId() override { return MANAGER_EFFECTS; }
    bool initialise(CGameObjectManager*) override { return true; }
    // Saves the running effects, makes the effect manager and the definitions anew and starts the
    // effects again under the same handles; those started with a creation word other than 0 do not
    // come back.
    void deviceReset() override;
    // Nothing while the effect-update switch is set or the game is paused.
    void update(CGameObjectManager*) override;
    // Nothing while the effect-render switch is set; the first frame after it uses factor 0.
    void render(CGameObjectManager*, float interpolation) override;
    void destroy() override { delete this; }
    // Stops every object and releases those their effects did not release.
    void resetForRestart() override;

    // Reads "<directory>particles\particlesystem_precache.psp": each child block names a definitions
    // file ("filename") and the effects to precache from it ("ps_def0", "ps_def1"...). False when
    // the list cannot be read.
    bool loadPrecacheList(const char* directory);

    uint32_t getNumInUse() const { return d_numInUse; }
    float getInterpolation() const { return d_interpolation; }
    CEffectManager* getEffectManager() const { return pEffectManager; }

private:
    // The lists of the level's directory, the world's and "data\".
    void precacheAll();
    // Appends {0x05000000 | index, name}; false (reported) when the table is full.
    bool appendDefinition(const char* name, resDef* pDef);
    // The last definition of that name (without regard to case), or null.
    resDef* findDefinition(const char* name);
    // The slot of a live object of this handle, or MAX_EFFECT_OBJECTS.
    uint32_t liveSlot(resourceHandle handle, const char* managerCheck);
    void createEffectManager();
    // Every object's definition found again by name after the definitions were made anew; flagged
    // objects start again. Used by deviceReset.
    struct SavedEffect;
    void restartEffects(SavedEffect* pSaved, uint32_t count);

    CEffectManager* pEffectManager;
    CGameMemoryManager* effectsObjectMemory;
    CParticleSystemEffect** pEffects;
    CFreeSlots* pFreeSlots;  // the slots of pEffects that are null
    uint8_t* pCurrentKey;
    resDef* pEffectDefinitions;
    uint32_t numEffectDefinitions;
    uint32_t d_numInUse;
    float d_interpolation;
    CParticleSystemEffect* pBlankEffect;
    bool d_renderWasOff;
};

// The effect manager of the running level, through which effect objects release themselves.
extern CEffectObjectResourceManager* pTheEffectObjectManager;
