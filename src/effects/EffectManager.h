// CEffectManager: the one owner of every running effect (pTheEffectManager). Definitions are read
// from held block files and precached by name; effects start by name, are limited per definition,
// faded by distance and by a kill fade, culled, updated once per game frame and drawn in five passes:
// pass 0 from Render inside the scene, passes 3 and 4 at the end of the scene before the render
// core flushes its delayed sorted draws, passes 1 and 2 after that flush. Only the end of a scene
// that Render drew into draws the later passes: a frame's other scenes look from other cameras.
//
// Use: ReadBlocks, PrecacheEffect for each name needed, FreeBlocks; then CreateEffect by name, and
// per frame Update (not while paused) and Render per viewport. Made after the render façade's device
// and gone before it. Main thread only.
#pragma once

#include "d3dcore9/D3DCore.h"
#include "effects/EffectKinds.h"
#include "effects/EffectSort.h"
#include "utility/BlockFile.h"
#include "utility/VectorMath.h"

#include <cstdint>
#include <string>
#include <unordered_map>

class CEffect;
class CEffectDefinition;
class CModel;
class CModelInst;

// Names are shorter than this.
const uint32_t EFFECTNAMELEN = 32;

// Called when an effect ends, before it is deleted.
typedef void (*EffectEndCallback)(CEffect* pEffect, void* pContext);

class CEffectManager;
extern CEffectManager* pTheEffectManager;

class CEffectManager {
public:
    static const uint32_t SORT_START_CAPACITY = 50;
    static const uint32_t SORT_GROWTH = 10;
    // Definitions that start or read each other nest at most this deep.
    static const uint32_t MAX_EFFECT_NESTING = 32;
    // Live effects at most (the game's effect objects number 20000); further creates are refused.
    static const uint32_t MAX_LIVE_EFFECTS = 20000;

    // A second manager is reported and takes over from the first.
    CEffectManager();
    // Deletes every live effect (without end callbacks) and every definition.
    ~CEffectManager();
    CEffectManager(const CEffectManager&) = delete;
    CEffectManager& operator=(const CEffectManager&) = delete;

    // Replaces the held blocks with the file's; false, with nothing held, when it cannot be read.
    // The caller reads the file in a scope of its own (ReadingFile) from before ReadBlocks to
    // FreeBlocks, so that the precaches from its blocks are that one read.
    bool ReadBlocks(const char* fileName);
    void FreeBlocks();
    // Builds the definition of that name from the held blocks. True when it exists already or is
    // being read further up (a definition naming itself). Its reports name the held blocks' file;
    // a name refused stays known with that file, so that starting it later is said as about it,
    // or not at all when that file's read made its report (by FreeBlocks, which ends the read).
    bool PrecacheEffect(const char* pName);
    // Deletes the first definition of that name; its live effects are reported and destroyed first.
    void UnprecacheEffect(const char* pName);

    // Null when the name is not precached, the instance limit refuses, the kind cannot make it, or
    // the definition is already being created further up (an effect that would start itself).
    CEffect* CreateEffect(const char* pName, const Vector3& position, const Matrix3& orientation, uintptr_t creationWord,
                          EffectEndCallback pEndCallback, void* pContext);
    // Ends a live effect at once (a multi-effect's live sub-effects first); anything else is reported.
    // The effect whose update is running, and the multi-effects that own it, end once it returns.
    void DestroyEffect(CEffect* pEffect);

    void Update();
    // Per viewport: keeps the interpolation factor, sorts, draws pass 0, and has the end of this
    // scene draw passes 1 to 4.
    void Render(float interpolation);
    // Draws one pass of the sorted effects (nothing before the first sort).
    void RenderPass(int pass);

    static float GetGlobalFade() { return s_globalFade; }

    uint32_t GetNumEffects() const { return m_numEffects; }
    uint32_t GetNumDefinitions() const { return m_numDefinitions; }
    // The precached definition of that name, or null.
    CEffectDefinition* FindDefinition(const char* pName) const;
    bool IsLive(const CEffect* pEffect) const;
    bool HoldsBlocks() const { return m_blocksHeld; }
    float GetInterpolation() const { return m_interpolation; }
    bool ShowsCullSpheres() const { return m_showCullSpheres; }
    // The model the cull spheres are drawn with (data\sphere.rsm, itself and not a lower-detail
    // variant, loaded with every manager); null when it did not load.
    const CModel* GetSphereModel() const { return m_pSphere; }
    const CModelInst* GetSphereInstance() const { return m_pSphereInst; }

private:
    struct TDefinitionRecord {
        char name[EFFECTNAMELEN];
        CEffectDefinition* pDefinition;
        EffectFactory pCreator;
        TDefinitionRecord* pNext;
    };
    struct TEffectRecord {
        CEffect* pEffect;  // null once destroyed while a walk still holds the record
        EffectEndCallback pEndCallback;
        void* pContext;
        bool ending;
        bool endAfterUpdate;  // destroyed while its own update ran
        TEffectRecord* pPrev;
        TEffectRecord* pNext;
    };

    static void RenderAfterSortedDraws();
    static void RenderBeforeSortedDraws();

    TDefinitionRecord* FindDefinitionRecord(const char* pName) const;
    TEffectRecord* FindRecord(const CEffect* pEffect) const;
    const CParamBlock* FindDefinitionBlock(const char* pName, char* pInstanceName) const;
    bool ApplyInstanceLimit(const CEffectDefinition* pDefinition);
    bool AppendSortEntry(CEffect* pEffect);
    void RemoveSortEntry(const CEffect* pEffect);
    void Sort();
    void UpdateEffect(TEffectRecord* pRecord);
    // Whether the effect is the one updating or a multi-effect that owns it.
    bool IsUpdating(const CEffect* pEffect) const;
    bool EndsAfterUpdate(const CEffect* pEffect) const;
    void DrawCullSpheres();

    CModel* m_pSphere;  // radius 2 round its origin
    CModelInst* m_pSphereInst;
    TEffectSortEntry* m_pSort;
    uint32_t m_sortCapacity;
    uint32_t m_sortCount;
    float m_interpolation;
    blockList m_readBlocks;
    bool m_blocksHeld;
    D3DCoreFuncHandle m_afterSortedHandle;   // type 2: passes 1 and 2
    D3DCoreFuncHandle m_beforeSortedHandle;  // type 3: passes 3 and 4
    bool m_sorted;
    bool m_scenePassesDue;  // Render drew into the scene now open
    TDefinitionRecord* m_pDefinitions;
    TDefinitionRecord* m_pLastDefinition;
    uint32_t m_numDefinitions;
    TEffectRecord* m_pFirstEffect;  // m_effects, in creation order
    TEffectRecord* m_pLastEffect;
    uint32_t m_numEffects;
    bool m_showCullSpheres;

    // Records destroyed during an update walk wait here until the walk ends.
    TEffectRecord* m_pEndedRecords;
    uint32_t m_walkDepth;
    CEffect* m_pUpdating;  // whose update is running
    uint32_t m_putOffEnds;  // live records whose destroy waits for their update to return
    char m_readFile[260];  // whose blocks are held, or were last
    // Names refused by PrecacheEffect (lower case), with the file read then, and whether that read
    // made a check, by the refusal or by the end of the read: a start of one then follows from what
    // the file's report said.
    struct Refusal {
        std::string file;
        bool explained;
        bool heldRead;  // refused from the blocks held now: their read has not ended
    };
    std::unordered_map<std::string, Refusal> m_refused;
    // Names being read and definitions being created, innermost last.
    char m_precaching[MAX_EFFECT_NESTING][EFFECTNAMELEN];
    uint32_t m_precacheDepth;
    const CEffectDefinition* m_creating[MAX_EFFECT_NESTING];
    uint32_t m_createDepth;

    static float s_globalFade;
};
