// A model instance: one placed copy of a model, with its world transform, one animation node per
// element of the model's class (written by the animation code), the lights gathered for its last
// draw and its alpha cap. Made and destroyed through the model manager.
#pragma once

#include "gamemanagement/Resource.h"
#include "l3render/ModelElement.h"

#include <cstdint>

class CLight;
class CModel;
struct llistElement;

// A resource of the model resource manager: its handle is the one game objects keep.
class CModelInst : public CResource {
public:
    static constexpr uint32_t MAX_LIGHTS = 4;
    static constexpr uint32_t KIND_MODEL = RESOURCETYPE_MODEL;

    CModelInst(const CModelInst&) = delete;
    CModelInst& operator=(const CModelInst&) = delete;

    ~CModelInst() override;
    virtual uint32_t GetKind() const { return KIND_MODEL; }
    virtual const char* GetTypeName() const { return "Model"; }
    // As a resource of the model resource manager.
    uint32_t getResourceType() const override { return RESOURCETYPE_MODEL; }
    const char* getTypeName() const override { return "Model"; }

    // The model drawn at the LOD it chooses: the LOD drawn, -1 none qualified, -2 culled.
    int32_t Render();
    // The four per-instance words of the light manager's pre-draw hook.
    void CopyInstanceData(const CModelInst* pSourceInst);

    CModel* GetModel() const { return m_pModel; }
    uint32_t GetNumAnimNodes() const { return m_numAnimNodes; }
    // Null past the model's animation nodes.
    CModelTransform* GetAnimNode(uint32_t index) { return index < m_numAnimNodes ? &m_pAnimNodes[index] : nullptr; }

    uint8_t m_visible = 1;
    CLight* m_pLights[MAX_LIGHTS] = {};
    uint32_t m_numLights = 0;
    CModel* m_pModel = nullptr;
    CModelTransform m_transform;
    float m_instanceData[4] = {};
    CModelTransform* m_pAnimNodes = nullptr;  // m_numAnimNodes of them
    uint32_t m_id = 0;
    uint8_t m_created = 1;
    uint8_t m_alphaCap = 255;

protected:
    friend class CModelManager;
    explicit CModelInst(CModel* pModel);

private:
    uint32_t m_numAnimNodes = 0;
    llistElement* m_pListEntry = nullptr;
};
