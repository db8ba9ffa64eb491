// Model clumps: many small placed instances (trees, rocks, fences) copied into one dynamic mesh, so
// that a distant group costs one draw while a near one is drawn member by member. Each member can
// switch between up to six state meshes (whole, damaged, burnt...) of equal vertex and index counts,
// copied into its range of the combined mesh.
//
//   CModelClump clump;
//   clump.Init(members, 0xffff, 0xffff, 0);                   // 0, 0: no combined mesh
//   clump.AddElement(inst, 1, &index);                        // or AddElementWithStates(inst, 1, n, models, &index)
//   clump.Finish();                                           // bounds; the combined mesh committed
//   clump.GetElement(index)->SetState(2, DSM_COPY_POSITION | DSM_COPY_NORMAL | DSM_COPY_TEXTURES);
//   each frame: clump.Render(switchDistance, false, &visible);
//
// Members' models must be loaded with dynamic meshes (every element of the LOD used is DYNAMIC).
// The instances stay the caller's. Main thread only.
#pragma once

#include "utility/VectorMath.h"

#include <cstdint>

class CModel;
class CModelElement;
class CModelInst;
class HWDynamicMeshObject;
class HWDynamicSubMesh;

// A member's share of one sub-mesh of its elements: where it lies in the combined mesh and what it
// is copied from in each state.
struct CClumpMeshPiece {
    static constexpr uint32_t MAX_STATES = 6;

    CModelElement* pElement = nullptr;
    HWDynamicSubMesh* pSubMesh = nullptr;  // of the combined mesh
    uint16_t indexOffset = 0, vertexOffset = 0, numIndices = 0, numVertices = 0;
    CClumpMeshPiece* pNext = nullptr;
    HWDynamicSubMesh* pSourceDSM[MAX_STATES] = {};
};

class CClumpElementData {
public:
    static constexpr uint32_t MAX_STATES = CClumpMeshPiece::MAX_STATES;

    CClumpElementData() = default;
    ~CClumpElementData();
    CClumpElementData(const CClumpElementData&) = delete;
    CClumpElementData& operator=(const CClumpElementData&) = delete;

    // The state's mesh into the member's range of the combined mesh: indices, then the vertices
    // placed by the instance (copyMask: the DSM_COPY_ parts of HWDynamicSubMesh::CopyVertices).
    // Refused, copying nothing, for a state of MAX_STATES or more, a state without a source mesh
    // or a source index outside the piece.
    bool SetState(uint32_t state, uint32_t copyMask);
    // Every piece's vertex colours times r, g, b.
    void ScaleColour(float r, float g, float b);
    // The first piece's source mesh of the state; null when none.
    HWDynamicSubMesh* GetOriginalDSM(uint32_t state) const;

    uint8_t m_colour[3] = {255, 255, 255};
    CModelInst* m_pModelInst = nullptr;
    uint8_t m_lod = 0;
    uint8_t m_currentState = 0;
    CClumpMeshPiece* m_pFirstPiece = nullptr;  // newest first
    CModel* m_pModelList[MAX_STATES] = {};    // state 0: the instance's model
    uint8_t m_numStates = 0;

private:
    friend class CModelClump;
    // The state's sources into the pieces; indices too unless only the placement changed.
    bool Copy(uint32_t state, uint32_t copyMask, bool withIndices);
};

class CModelClump {
public:
    CModelClump() = default;
    ~CModelClump() { Destroy(); }
    CModelClump(const CModelClump&) = delete;
    CModelClump& operator=(const CModelClump&) = delete;

    // Room for maxElems members; a combined mesh of the capacities (at most 0xffff each) unless both
    // are 0. False after a report.
    bool Init(uint32_t maxElems, uint32_t maxVertices, uint32_t maxIndices, uint8_t option);
    // A member of one state at the LOD. False, nothing changed, when the clump is full or finished,
    // or when the member's meshes cannot go into the combined mesh.
    bool AddElement(CModelInst* pModelInst, uint32_t lod, uint32_t* pIndex);
    // A member of numStates (1..6) states: state s shows ppOtherStateModels[s] (entry 0 is not
    // read). With a combined mesh each state's LOD must be one dynamic sub-mesh of the member's
    // vertex and index counts. False, nothing changed, otherwise.
    bool AddElementWithStates(CModelInst* pModelInst, uint32_t lod, uint32_t numStates, CModel* const* ppOtherStateModels,
                              uint32_t* pIndex);
    // The bounding sphere round the members; the combined mesh committed.
    void Finish();
    // Draws the clump when it is in view (*pVisible says whether): member by member up to the
    // switch distance, else (or forced) the combined mesh. False when the combined path was taken
    // or forced.
    bool Render(float switchDistance, bool forceCombined, bool* pVisible);
    // The combined mesh released and the members forgotten (their instances stay).
    void Destroy();

    // The member re-placed after its instance moved: its current state's vertices copied again.
    bool RefreshElement(uint32_t index, uint32_t copyMask);
    // Null after a report when there is no such member.
    CClumpElementData* GetElement(uint32_t index);
    uint32_t GetNumElements() const { return m_numElements; }
    HWDynamicMeshObject* GetMeshObject() const { return m_pMeshObject; }

    Vector3 m_centre;
    float m_radius = 0.0f;
    uint8_t m_option = 0;
    uint8_t m_visibilityType = 1;
    float m_fadeNear = -1.0f;
    float m_fadeFar = -1.0f;
    uint8_t m_alphaPermitted = 1;  // cleared by a member whose model may not fade
    float m_nearDistance = 1000.0f;  // for the clump's owner; not read here
    float m_farDistance = 2000.0f;

private:
    bool Add(CModelInst* pModelInst, uint32_t lod, uint32_t numStates, CModel* const* ppOtherStateModels,
             uint32_t* pIndex);

    HWDynamicMeshObject* m_pMeshObject = nullptr;
    CClumpElementData* m_pElements = nullptr;
    uint32_t m_numElements = 0;
    uint32_t m_maxElements = 0;
    uint32_t m_maxVertices = 0, m_maxIndices = 0;
};
