// Model clumps: many small model instances (trees, rocks, fences) batched into one dynamic mesh, so
// that a distant group costs one draw while a near one is drawn instance by instance. Each member
// can switch between up to six state meshes (whole, damaged, burnt) that share the vertex and index
// counts of its first.
//
//   CModelClump clump;
//   clump.Init(count, 0xffff, 0xffff, true);            // (count, 0, 0, ...) for no combined mesh
//   clump.AddElementWithStates(inst, 1, 2, stateModels);  // or AddElement(inst, 1) for one state
//   clump.Finish();                                     // bounds, then the mesh is committed
//   clump.GetElement(i)->SetState(1, DSM_COPY_POSITION | ...);
//   clump.RefreshElement(i, DSM_COPY_POSITION | ...);  // after the member's instance moved
//   clump.Render(switchDistance, false, &visible);
//   clump.Destroy();
//
// Members must have dynamic meshes (model load flag 1) at the LOD they join with. Main thread only.
#pragma once

#include "l3render/ModelElement.h"

#include <cstdint>

class CModel;
class CModelClump;
class CModelInst;
class HWDynamicMeshObject;
class HWDynamicSubMesh;

// One sub-mesh of a member's element tree inside the combined mesh.
struct CClumpPiece {
    static constexpr uint32_t MAX_STATES = 6;
    CModelElement* pElement = nullptr;  // of the member's model, whose placement moves the piece
    HWDynamicSubMesh* pDSM = nullptr;   // the combined mesh's sub-mesh holding it
    uint16_t indexOffset = 0, vertexOffset = 0, indexCount = 0, vertexCount = 0;
    CClumpPiece* pNext = nullptr;
    HWDynamicSubMesh* pSource[MAX_STATES] = {};  // the geometry of each state
};

// One member of a clump.
class CClumpElementData {
public:
    static constexpr uint32_t MAX_STATES = 6;

    CClumpElementData() = default;
    ~CClumpElementData();
    CClumpElementData(const CClumpElementData&) = delete;
    CClumpElementData& operator=(const CClumpElementData&) = delete;

    // The state's geometry copied into the member's pieces: its indices, then its vertices placed
    // by the instance; parts says which vertex parts (DSM_COPY_*). False, copying nothing, for a
    // state of MAX_STATES or more, one without geometry, or one naming a vertex past its piece.
    bool SetState(uint32_t state, uint32_t parts);
    // Every vertex colour of the member's pieces multiplied by r, g, b.
    void ScaleColour(float r, float g, float b);
    HWDynamicSubMesh* GetOriginalDSM(uint32_t state) const;

    uint8_t colour[3] = {255, 255, 255};
    CModelInst* pModelInst = nullptr;
    uint8_t lod = 0;
    uint8_t currentState = 0;
    CClumpPiece* pFirstPiece = nullptr;
    CModel* pModelList[MAX_STATES] = {};  // state 0 is the instance's own model
    uint8_t numStates = 0;

private:
    friend class CModelClump;
    // The state's geometry into the pieces, placed by the instance; indices too unless asked not.
    bool Copy(uint32_t state, uint32_t parts, bool withIndices);
};

class CModelClump {
public:
    static constexpr uint32_t MAX_LODS = 8;

    CModelClump() = default;
    ~CModelClump() { Destroy(); }
    CModelClump(const CModelClump&) = delete;
    CModelClump& operator=(const CModelClump&) = delete;

    // Room for maxElems members; with capacities (at most 0xffff, both or neither) a combined mesh.
    bool Init(uint32_t maxElems, uint32_t maxVertices, uint32_t maxIndices, bool option);
    // A member of one state; with a combined mesh every mesh of its LOD tree joins it, placed as
    // drawn. False, adding nothing, when the clump is full or finished, or when an element of the
    // tree is not a dynamic mesh or a sub-mesh exceeds the capacities.
    bool AddElement(CModelInst* pInstance, uint32_t lod, uint32_t* pIndex = nullptr);
    // A member of numStates states: ppStateModels[s] is the model of state s (entry 0 unused, the
    // instance's own). With a combined mesh its tree must be one mesh of one sub-mesh, and every
    // state's the same shape.
    bool AddElementWithStates(CModelInst* pInstance, uint32_t lod, uint32_t numStates, CModel* const* ppStateModels,
                              uint32_t* pIndex = nullptr);
    // The bounding sphere of the members, then the combined mesh is committed.
    void Finish();
    // Draws the members one by one, each as its current state shows it, when near (depth not above
    // the switch distance, not forced), else the combined mesh: false for the combined path or
    // when forced. pVisible: whether it was drawn at all.
    bool Render(float switchDistance, bool forceCombined, bool* pVisible);
    void Destroy();
    // The member placed again by its instance: its current state's vertices copied again. False
    // when there is no such member.
    bool RefreshElement(uint32_t index, uint32_t parts);

    // Null past the members (reported).
    CClumpElementData* GetElement(uint32_t index);
    uint32_t GetNumElements() const { return m_numElements; }
    HWDynamicMeshObject* GetMeshObject() const { return m_pMeshObject; }
    const Vector3& GetCentre() const { return m_centre; }
    float GetRadius() const { return m_radius; }

    uint8_t m_visibilityType = 1;
    float m_fadeNear = -1.0f;
    float m_fadeFar = -1.0f;
    uint8_t m_alphaPermitted = 1;
    // For the clump's owner; nothing here reads them.
    float m_nearDistance = 1000.0f;
    float m_farDistance = 2000.0f;

private:
    // The member's pieces cut from its LOD tree; false (nothing kept) when the tree cannot join.
    bool AddPieces(CClumpElementData* pData, CModelElement* pElement);

    HWDynamicMeshObject* m_pMeshObject = nullptr;
    CClumpElementData* m_pElements = nullptr;
    uint32_t m_numElements = 0;
    uint32_t m_maxElements = 0;
    uint32_t m_maxVertices = 0, m_maxIndices = 0;
    Vector3 m_centre;
    float m_radius = 0.0f;
    uint8_t m_option = 0;
};
