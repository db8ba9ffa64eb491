// Placing and drawing an element tree for an instance: the one place where a model's draw reaches
// its meshes.
#include "d3dcore9/D3DCore.h"
#include "l3render/Light.h"
#include "l3render/LightManager.h"
#include "l3render/Model.h"
#include "l3render/ModelElement.h"
#include "l3render/ModelInst.h"
#include "matcore9/HWObjects.h"
#include "utility/Assert.h"

namespace {

// Registers of the shader lights: the first light's ambient colour, then (direction, colour) pairs.
const int32_t SHADER_LIGHT_REGISTER = 5;
const uint32_t MAX_SHADER_LIGHTS = 2;

// The transform the element moves by: its animation node in the instance, else its own.
const CModelTransform& sourceOf(const CModelElement* e, CModelInst* pInstance)
{
    const uint32_t index = e->m_animNodeIndex;
    if (index == CModelElement::NO_ANIM_NODE) return e->m_local;
    const CModel* pModel = pInstance->m_pModel;
    if (!VERIFY(index < pModel->GetNumAnimNodes())) return e->m_local;
    const CModelTransform* node = pInstance->GetAnimNode(index);
    return node ? *node : e->m_local;
}

void place(CModelElement* e, CModelInst* pInstance, const CModelTransform& parent)
{
    e->m_world = PlaceElement(sourceOf(e, pInstance), parent);
}

// A world vector in the element's frame: times the transpose of its world rotation.
Vector3 intoElement(const CModelTransform& w, const float* v)
{
    const float* r = w.Rotation;
    return Vector3(r[0] * v[0] + r[1] * v[1] + r[2] * v[2], r[3] * v[0] + r[4] * v[1] + r[5] * v[2],
                   r[6] * v[0] + r[7] * v[1] + r[8] * v[2]);
}

Vector3 unit(Vector3 v)
{
    if (v.x * v.x + v.y * v.y + v.z * v.z > 0.0f) v.normalise();
    return v;
}

void loadShaderLights(const CModelElement* e, CLight* const* ppLights, uint32_t numLights)
{
    int32_t reg = SHADER_LIGHT_REGISTER;
    if (numLights > 0 && ppLights[0]) {
        const LightDescription& first = ppLights[0]->Desc();
        D3DCore.SetVertexShaderConstant(reg++, first.Ambient[0], first.Ambient[1], first.Ambient[2], 0.0f);
    }
    for (uint32_t i = 0; i < MAX_SHADER_LIGHTS; ++i) {
        Vector3 direction(1.0f, 0.0f, 0.0f);
        float colour[3] = {0.0f, 0.0f, 0.0f};
        const CLight* light = i < numLights ? ppLights[i] : nullptr;
        if (light && light->Desc().Type == D3DLIGHT_POINT) {
            const LightDescription& d = light->Desc();
            const float toElement[3] = {e->m_world.Translation[0] - d.Position[0],
                                        e->m_world.Translation[1] - d.Position[1],
                                        e->m_world.Translation[2] - d.Position[2]};
            direction = intoElement(e->m_world, toElement);
            float d2 = direction.x * direction.x + direction.y * direction.y + direction.z * direction.z;
            // A light inside the unit sphere has no usable direction.
            if (d2 < 1.0f) {
                direction = Vector3(1.0f, 0.0f, 0.0f);
                d2 = 1.0f;
            }
            float attenuation = 1.0f - d2 / (d.Range * d.Range);
            if (!(attenuation > 0.0f)) attenuation = 0.0f;
            direction = unit(direction);
            for (int c = 0; c < 3; ++c) colour[c] = attenuation * d.Colour[c];
        } else if (light && light->Desc().Type == D3DLIGHT_DIRECTIONAL) {
            const LightDescription& d = light->Desc();
            direction = unit(intoElement(e->m_world, d.Direction));
            for (int c = 0; c < 3; ++c) colour[c] = d.Colour[c];
        }
        D3DCore.SetVertexShaderConstant(reg++, direction.x, direction.y, direction.z, 0.0f);
        D3DCore.SetVertexShaderConstant(reg++, colour[0], colour[1], colour[2], 0.0f);
    }
}

}  // namespace

CModelTransform PlaceElement(const CModelTransform& local, const CModelTransform& parent)
{
    CModelTransform world;
    const float* r = local.Rotation;
    const float* p = parent.Rotation;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            world.Rotation[row * 3 + col] =
                r[row * 3] * p[col] + r[row * 3 + 1] * p[3 + col] + r[row * 3 + 2] * p[6 + col];
    float t[3];
    for (int i = 0; i < 3; ++i) {
        world.Scale[i] = local.Scale[i] * parent.Scale[i];
        t[i] = local.Translation[i] * parent.Scale[i];
    }
    for (int col = 0; col < 3; ++col)
        world.Translation[col] = t[0] * p[col] + t[1] * p[3 + col] + t[2] * p[6 + col] + parent.Translation[col];
    return world;
}

void CModelElement::BuildWorldMatrices(CModelInst* pInstance, const CModelTransform& parent, bool recursive)
{
    CModelInst* pModelInst = pInstance;
    if (!VERIFY(pModelInst) || !VERIFY(pModelInst->m_pModel)) return;
    const bool hierarchical = pInstance->m_pModel->m_hierarchical != 0;
    for (CModelElement* e = this; e; e = recursive ? e->m_pNextSibling : nullptr) {
        place(e, pInstance, parent);
        if (recursive && e->m_pFirstChild)
            e->m_pFirstChild->BuildWorldMatrices(pInstance, hierarchical ? e->m_world : parent, true);
    }
}

void CModelElement::Draw(CModelInst* pInstance, const CModelTransform& parent, CLight* const* ppLights,
                         uint32_t numLights, bool recursive)
{
    CModelInst* pModelInst = pInstance;
    if (!VERIFY(pModelInst) || !VERIFY(pModelInst->m_pModel)) return;
    const bool hierarchical = pInstance->m_pModel->m_hierarchical != 0;
    const bool shaderLights = ppLights && CLightManager::GetInstance()->IsLightingEnabled();
    for (CModelElement* e = this; e; e = recursive ? e->m_pNextSibling : nullptr) {
        place(e, pInstance, parent);
        if (e->m_pMeshObject) {
            if (shaderLights && (e->m_flags & VSLIT)) loadShaderLights(e, ppLights, numLights);
            // The world scale stays out of the device's matrix.
            CModelTransform drawn = e->m_world;
            drawn.Scale[0] = drawn.Scale[1] = drawn.Scale[2] = 1.0f;
            SetWorldMatrixFrom43(drawn);
            // Materials that vary per object pick their entry of the random tables by the instance.
            D3DCore.UniqueIndex = static_cast<int32_t>(pInstance->m_id);
            e->m_pMeshObject->Render(pInstance->m_id);
        }
        if (recursive && e->m_pFirstChild)
            e->m_pFirstChild->Draw(pInstance, hierarchical ? e->m_world : parent, ppLights, numLights, true);
    }
}
