// Clumps: a level's trees, bushes and other repeated dressing. The one CClumpManager owns what the
// level's clump file defines: the models, the sounds, the clump types and, inside each type, its
// clumps (CClumpInstance, ClumpInstance.h), each many elements drawn as one model clump. It keeps
// the effect objects that element state changes start (a ring of 32) and steps the fire weapons of
// flammable types.
//
//   CClumpManager clumps;
//   if (!clumps.LoadClumpFile("data\\clumps\\demo.clump")) ...   // non-fatal: the level goes on
//   clumps.GetClumpType(t)->pClumpList[c].SetElementState(e, 1, nullptr, true);
//   each frame: clumps.UpdateFireWeapons();
//   at the level's end: clumps.ReleaseHeldObjects(); clumps.Unload();
//
// Loading needs the world's AI map and land tree (placement, shadows), the sun, the model manager,
// the audio manager for sounds and, for effects, the effect objects that its maker hands it (the
// tree clumps hand over the object manager's). Main thread only.
#pragma once

#include "kestrune/ClumpInstance.h"

#include <cstdint>

class CModel;
class CParticleSystemEffect;
class WeaponDescription;
struct SAudioFile;
struct Vector3;

constexpr uint32_t MAX_CLUMP_ELEMENT_STATES = 6;

// One clump type, owned by the manager.
struct CClumpType {
    static constexpr uint16_t NO_SOUND = 32767;
    static constexpr uint32_t NO_EFFECT = 0xFFFFFFFF;
    static constexpr uint32_t MAX_WEAPON_NAME = 256;
    // Flags (only the low byte is used).
    enum : uint32_t {
        FLAG_TILT = 1,          // elements lean with the landscape's normal
        FLAG_FLAMMABLE = 2,     // the type has a fire weapon
        FLAG_SWAYS = 4,
        FLAG_SUNLIT = 8,        // state meshes are lit by the sun at each state change
        FLAG_LANDSCAPE_LIT = 16,
    };

    CClumpType();
    CClumpType(const CClumpType&) = delete;
    CClumpType& operator=(const CClumpType&) = delete;

    CClumpInstance* pClumpList = nullptr;  // numClumps of them
    uint32_t numClumps = 0;
    uint32_t particleEffect[MAX_CLUMP_ELEMENT_STATES];  // effect type ids; NO_EFFECT for none
    uint8_t objectType = 0;  // 0 trees that fall, 1 breakable, 2 no collision
    float fadeFar = -1.0f;
    float fadeNear = -1.0f;
    float secondFadeFar = -1.0f;
    float secondFadeNear = -1.0f;
    float health = 0.0f;
    uint32_t flags = 0;
    uint8_t hasCombinedMesh = 0;  // a state's model has a LOD 1 tree: the clumps draw one mesh
    char fireWeaponName[MAX_WEAPON_NAME] = {};
    WeaponDescription* pFireWeapon = nullptr;  // owned
    uint16_t stateSound[MAX_CLUMP_ELEMENT_STATES];  // sound ids; NO_SOUND for none
    uint16_t fallSound = NO_SOUND;
    uint8_t team = 255;
    float soundMinDistance = -1.0f;  // 0 or less: the audio manager's default
    float soundVolume = 1.0f;
    uint32_t further = 2;  // kept from the file, read by nothing here
    // What the type's clumps are built from.
    uint32_t numStates = 0;
    CModel* pStateModel[MAX_CLUMP_ELEMENT_STATES] = {};
    uint8_t secondPair = 0;  // the second fade pair was given: the clumps may fade by alpha
};

// The effect objects that the clumps start belong to the object manager, above them: the tree clumps
// hand the manager they make how to reach them. Without it no effect is found or started.
struct SClumpEffectObjects {
    // The effect type of the name; false when there is none.
    bool (*findType)(const char* pName, uint32_t* pTypeId);
    // An effect object of the type, made through the object manager and started with the identity
    // orientation at the position; null, with nothing kept, when it cannot be made or does not start.
    CParticleSystemEffect* (*start)(uint32_t typeId, const Vector3& position);
    // Whether the object still runs its effect.
    bool (*isRunning)(const CParticleSystemEffect* pEffect);
    // Releases the object through the object manager, stopping it first when asked.
    void (*release)(CParticleSystemEffect* pEffect, bool stop);
};

class CClumpManager {
public:
    static constexpr uint32_t MAX_HELD_EFFECTS = 32;
    static constexpr uint32_t FIRE_WEAPON_STEP_MS = 33;

    explicit CClumpManager(const SClumpEffectObjects* pEffectObjects = nullptr);
    // Unloads whatever is loaded (held effect objects are the owner's to release first).
    ~CClumpManager();
    CClumpManager(const CClumpManager&) = delete;
    CClumpManager& operator=(const CClumpManager&) = delete;

    // Reads a clump file into the empty manager. False when a section fails; what loaded before the
    // failure stays until Unload.
    bool LoadClumpFile(const char* pFilename);
    // Weapons, clumps, types, models with their meshes, then samples.
    void Unload();

    // Null after a report for an index past the tables.
    CModel* GetModel(uint32_t index);
    CClumpType* GetClumpType(uint32_t type);
    // False when the type has no effect for the state (or the arguments are out of range).
    bool GetStateEffect(uint32_t clumpType, uint32_t state, uint32_t* pId);
    // Starts an effect object of the type at the position in the next free (or finished) slot of
    // the ring. False only when all 32 still run; a type that cannot be made starts nothing.
    bool StartEffect(uint32_t effectTypeId, const Vector3& position);
    // The state's effect started at the position; false when the state has none.
    bool SetTypeState(uint32_t clumpType, uint32_t state, const Vector3& position);
    // False for NO_SOUND, an id past the sounds, an empty sound slot or no audio manager. A minimum
    // distance of 0 or less plays at the audio manager's default.
    bool PlayClumpSound(uint32_t id, const Vector3& position, float volume, float minDistance, int32_t* pVoice);
    // Every started effect object released through the object manager; the ring starts again at 0.
    void ReleaseHeldObjects();
    // Each fire weapon stepped by FIRE_WEAPON_STEP_MS; once per game frame.
    void UpdateFireWeapons();

    uint32_t GetNumClumpTypes() const { return d_numClumpTypes; }
    uint32_t GetNumModels() const { return d_numModels; }
    uint32_t GetNumSounds() const { return d_numSoundResources; }
    uint32_t GetVersion() const { return d_version; }
    uint32_t GetMaxElements() const { return d_maxElements; }
    // The started effect object of a ring slot, or null.
    CParticleSystemEffect* GetHeldEffect(uint32_t slot) const
    {
        return slot < MAX_HELD_EFFECTS ? d_pEffects[slot] : nullptr;
    }
    uint32_t GetNextEffectSlot() const { return d_nextEffect; }

    // Default fade distances, for types whose own are missing or invalid.
    float d_defaultFadeFar = 6000.0f;
    float d_defaultFadeNear = 5000.0f;
    float d_defaultSecondFadeFar = 2000.0f;
    float d_defaultSecondFadeNear = 1500.0f;

private:
    class Reader;
    friend class Reader;

    CClumpType* d_pClumpTypeList = nullptr;
    uint32_t d_numClumpTypes = 0;
    CModel** d_ppModelList = nullptr;
    uint32_t d_numModels = 0;
    CParticleSystemEffect* d_pEffects[MAX_HELD_EFFECTS] = {};
    uint32_t d_nextEffect = 0;
    uint32_t d_version = 0;
    SAudioFile** d_pSoundResourceList = nullptr;
    uint32_t d_numSoundResources = 0;
    uint32_t d_maxElements = 0;
    const SClumpEffectObjects* d_pEffectObjects;
};
