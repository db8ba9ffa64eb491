// Drawing a model instance: visibility, lights, the LOD and the draw of its element tree.
#include "l3render/L3Render.h"
#include "l3render/LightManager.h"
#include "l3render/Model.h"
#include "l3render/ModelInst.h"
#include "utility/Assert.h"

namespace {

const uint8_t LIT_FLAGS = CModel::FLAG_LIT | CModel::FLAG_VSLIT;

Vector3 position(const CModelTransform& t) { return Vector3(t.Translation[0], t.Translation[1], t.Translation[2]); }

// Lights for the instance: the pre-draw hook, then up to `wanted` lights that reach the model's
// sphere round the instance's position.
void gatherLights(CLightManager* lights, CModelInst* pInstance, uint32_t wanted)
{
    if (LightDrawHook hook = lights->GetPreDrawHook()) hook(pInstance);
    uint32_t count = wanted;
    if (lights->GatherLights(position(pInstance->m_transform), pInstance->m_pModel->m_radius, pInstance->m_pLights,
                             &count))
        pInstance->m_numLights = count;
}

void postDraw(CLightManager* lights, CModelInst* pInstance)
{
    if (LightDrawHook hook = lights->GetPostDrawHook()) hook(pInstance);
}

}  // namespace

int32_t CModel::SelectLod(const CModelInst* pInstance) const
{
    (void)pInstance;
    const float depth = L3Scene.lastDepth;
    const float value = (m_flags & FLAG_NOBOUNDS) || depth <= 0.0f ? L3Scene.lodScale : L3Scene.lodScale / depth;
    for (uint32_t lod = 0; lod < MAX_LODS; ++lod)
        if (pRootLodModel[lod] && m_lodThreshold[lod] <= value) return static_cast<int32_t>(lod);
    return RENDER_NO_LOD;
}

bool CModel::IsVisible(CModelInst* pInstance) const
{
    // Only the first scale component sizes the sphere.
    const CModelTransform& t = pInstance->m_transform;
    const float scale = t.Scale[0];
    const Vector3 c = m_centre * scale;
    const float* r = t.Rotation;
    const Vector3 centre(c.x * r[0] + c.y * r[3] + c.z * r[6] + t.Translation[0],
                         c.x * r[1] + c.y * r[4] + c.z * r[7] + t.Translation[1],
                         c.x * r[2] + c.y * r[5] + c.z * r[8] + t.Translation[2]);
    if (!L3SphereInFrustum(centre, m_radius * scale, (m_flags & FLAG_NOBOUNDS) != 0)) return false;
    return L3ModelAlphaForDistance(this, L3Scene.lastDepth, pInstance->m_alphaCap);
}

int32_t CModel::Render(CModelInst* pInstance, int32_t lod)
{
    if (!VERIFY(pInstance)) return RENDER_CULLED;
    L3CountDrawAttempt();
    CLightManager* lights = CLightManager::GetInstance();
    const bool lit = (m_flags & LIT_FLAGS) && lights->IsLightingEnabled();

    if (m_pAlternateElement) {
        if (!m_keepPlacement) {
            pInstance->m_visible = IsVisible(pInstance) ? 1 : 0;
            if (!pInstance->m_visible) return RENDER_CULLED;
            if (lit) {
                pInstance->m_numLights = 0;
                gatherLights(lights, pInstance, (m_flags & FLAG_VSLIT) ? 2 : CModelInst::MAX_LIGHTS);
            }
            if (pRootLodModel[0]) pRootLodModel[0]->BuildWorldMatrices(pInstance, pInstance->m_transform, true);
        }
        if (lit) {
            if (LightDrawHook hook = lights->GetPreDrawHook()) hook(pInstance);
            lights->ApplyLights(pInstance->m_pLights, pInstance->m_numLights);
        }
        // The element alone, placed by the last placement of its tree.
        CModelElement* alternate = m_pAlternateElement;
        alternate->Draw(pInstance, alternate->m_pParent ? alternate->m_pParent->m_world : pInstance->m_transform,
                        nullptr, 0, false);
        if (lit) postDraw(lights, pInstance);
        return 0;
    }

    pInstance->m_numLights = 0;
    if (!IsVisible(pInstance)) return RENDER_CULLED;
    if (lit) {
        gatherLights(lights, pInstance, 2);
        if ((m_flags & FLAG_LIT) && !(m_flags & FLAG_VSLIT))
            lights->ApplyLights(pInstance->m_pLights, pInstance->m_numLights);
    }
    int32_t chosen = lod;
    if (lod >= 0) {
        const uint32_t lodNumber = static_cast<uint32_t>(lod);
        if (!VERIFY(lodNumber < MAX_LODS) || !VERIFY(pRootLodModel[lod] != NULL)) chosen = RENDER_NO_LOD;
    } else {
        chosen = SelectLod(pInstance);
    }
    if (chosen >= 0) {
        pRootLodModel[chosen]->Draw(pInstance, pInstance->m_transform, pInstance->m_pLights, pInstance->m_numLights,
                                    true);
        L3CountDrawDone();
    } else {
        L3CountDrawSkipped();
    }
    if (lit) postDraw(lights, pInstance);
    return chosen;
}

int32_t CModelInst::Render() { return m_pModel->Render(this, -1); }
