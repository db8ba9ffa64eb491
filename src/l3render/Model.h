// A loaded model: up to eight level-of-detail element trees with their switch thresholds, a model
// class (whose element list numbers the animation nodes), a bounding sphere in model space, flags
// and fade settings. Made by the model loader (ModelUtil.h) through the model manager and released
// by its owner through the model manager; drawn through its instances.
#pragma once

#include "l3render/ModelElement.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CModelExtensionChunkSet;
class CModelInst;
struct llistElement;

class CModel {
public:
    static constexpr uint32_t MAX_LODS = 8;
    static constexpr uint32_t NUM_VISIBILITY_TYPES = 4;
    enum : uint8_t {
        FLAG_NOBOUNDS = 1,   // file without bounds: no LOD by distance
        FLAG_LIT = 2,        // lit by the fixed-function lights
        FLAG_ALPHAFADE = 4,  // may be drawn transparent when it fades
        FLAG_TOOLMESH = 8,
        FLAG_VSLIT = 16,     // lit in the vertex shader
    };
    // Results of Render besides a LOD index.
    static constexpr int32_t RENDER_NO_LOD = -1;
    static constexpr int32_t RENDER_CULLED = -2;

    // A model made here is not in the model manager's list (which refuses to release it); the
    // game's models come from the manager.
    CModel() = default;
    ~CModel() = default;
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    // lod must be below MAX_LODS (reported and refused otherwise).
    void SetRootLodModel(uint32_t lod, CModelElement* pRoot, float threshold);
    CModelElement* GetRootLodModel(uint32_t lod) const;
    float GetLodThreshold(uint32_t lod) const;
    uint32_t GetNumAnimNodes() const { return m_numAnimNodes; }

    // Depth first in the LOD's tree (element, children, later siblings); null when none.
    CModelElement* FindElementByNode(uint32_t node, uint32_t lod) const;
    // The element of the LOD's tree with pElement among its direct children.
    CModelElement* FindParent(const CModelElement* pElement, uint32_t lod) const;

    // The bounding sphere again from the first LOD that has a root (as the loader computes it).
    void ComputeBounds();

    // A new model with the same bounds, class, flags, visibility and fade values, the same chunk
    // set and a deep copy of each LOD tree; null when it cannot be made.
    CModel* Clone() const;

    // The first LOD with a root whose threshold is not above the LOD value (the scene's LOD scale
    // over the depth of the last visibility test); -1 when none.
    int32_t SelectLod(const CModelInst* pInstance) const;
    // The instance's bounding sphere against the frustum, then the model's fade rules.
    bool IsVisible(CModelInst* pInstance) const;
    // Draws the instance at the given LOD (-1: the chosen one) with its gathered lights. Returns the
    // LOD drawn, RENDER_NO_LOD or RENDER_CULLED, and counts into the scene's draw counters.
    int32_t Render(CModelInst* pInstance, int32_t lod);

    // Handed to the mesh object of every element of every LOD.
    void SetMaterial(int32_t num);
    void SetAnimationStart(float time);

    uint8_t m_numMeshElements = 0;  // mesh elements read from the file
    uint32_t m_id = 0;
    uint32_t m_classId = 0xFFFFFFFF;
    float m_radius = 0.0f;
    Vector3 m_centre;
    uint32_t m_numLods = 0;  // as the file says
    CModelElement* pRootLodModel[MAX_LODS] = {};
    float m_lodThreshold[MAX_LODS] = {};
    uint8_t m_hierarchical = 1;  // 1: children placed by their parent's world transform
    uint32_t m_numAnimNodes = 0;
    uint8_t m_flags = 0;
    uint8_t m_visibilityType = 0;  // 0..3, see L3AlphaForDistance
    float m_fadeNear = -1.0f;      // the range of visibility type 3
    float m_fadeFar = -1.0f;
    CModelExtensionChunkSet* m_pChunks = nullptr;  // one reference held
    // When set, a draw places LOD 0 and draws this one element instead; with m_keepPlacement the
    // placement of the last draw is kept.
    CModelElement* m_pAlternateElement = nullptr;
    uint8_t m_keepPlacement = 0;

private:
    friend class CModelManager;
    llistElement* m_pListEntry = nullptr;
};
