#include "l3render/LightManager.h"

#include "d3dcore9/D3DCore.h"
#include "matcore9/MatCore.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

CLightManager* CLightManager::m_pInstance = nullptr;

CLightManager* CLightManager::GetInstance()
{
    if (!m_pInstance) m_pInstance = new CLightManager();
    ASSERT(m_pInstance);
    return m_pInstance;
}

CLightManager::~CLightManager() { delete[] m_ppLights, delete[] m_pLightStates; }

bool CLightManager::Init(int32_t maxLights, int32_t maxVisibleLights)
{
    if (m_initialised) {
        assertFailedMsg("Light manager initialised twice", "!m_initialised", __FILE__, __LINE__);
        return false;
    }
    m_maxVisibleLights = GetMaxActiveLights();
    m_maxLights = ::GetMaxLights();
    if (maxLights > 0 && static_cast<uint32_t>(maxLights) < m_maxLights) m_maxLights = static_cast<uint32_t>(maxLights);
    if (maxVisibleLights > 0 && static_cast<uint32_t>(maxVisibleLights) < m_maxVisibleLights)
        m_maxVisibleLights = static_cast<uint32_t>(maxVisibleLights);
    m_maxVisibleLights = std::min(m_maxVisibleLights, m_maxLights);
    if (!VERIFY(m_maxVisibleLights > 0)) return false;

    m_ppLights = new CLight*[m_maxLights]();
    m_pLightStates = new uint8_t[m_maxLights]();
    m_numLights = 0;
    m_pPreDrawHook = m_pPostDrawHook = nullptr;
    m_lightingOn = 0;
    m_candidates.RemoveAll();
    m_prominentDirection[0] = m_prominentDirection[1] = 0.0f;
    m_prominentDirection[2] = -1.0f;
    // Until a light is applied, bump-mapped materials are lit from straight above.
    D3DCore.ProminentLight = m_prominentDirection;
    D3DCore.ProminentIntensity = 1.0f;
    m_initialised = 1;
    return true;
}

void CLightManager::Shutdown()
{
    if (!VERIFY(m_initialised)) return;
    for (uint32_t i = 0; i < m_maxLights; ++i)
        if (m_ppLights[i]) DestroyLight(m_ppLights[i]);
    if (m_numLights != 0) assertFailedMsg("Shutdown leaked lights", "m_numLights == 0", __FILE__, __LINE__);
    m_candidates.RemoveAll();
    delete[] m_ppLights;
    delete[] m_pLightStates;
    m_ppLights = nullptr;
    m_pLightStates = nullptr;
    m_initialised = m_lightingOn = 0;
    m_maxLights = m_numLights = m_maxVisibleLights = 0;
    m_pPreDrawHook = m_pPostDrawHook = nullptr;
    if (D3DCore.ProminentLight == m_prominentDirection) D3DCore.ProminentLight = nullptr;
}

void CLightManager::SetLightingEnabled(bool on)
{
    if (!VERIFY(m_initialised) || (m_lightingOn != 0) == on) return;
    m_lightingOn = on ? 1 : 0;
    if (on) return;
    for (uint32_t i = 0; i < m_maxLights; ++i) {
        if (!m_pLightStates[i]) continue;
        m_ppLights[i]->m_enabled = 0;
        m_ppLights[i]->UpdateDevice();
    }
}

int32_t CLightManager::FindSlot(const CLight* pLight) const
{
    for (uint32_t i = 0; i < m_maxLights; ++i)
        if (m_ppLights[i] == pLight) return static_cast<int32_t>(i);
    return -1;
}

CLight* CLightManager::CreateLight()
{
    if (!VERIFY(m_initialised) || m_numLights >= m_maxLights) return nullptr;
    CLight* pLight = new CLight();
    const int32_t slot = FindSlot(nullptr);
    if (slot < 0) {
        assertFailedMsg("Unable to find free light slot", "false", __FILE__, __LINE__);
        delete pLight;
        return nullptr;
    }
    // Another user may hold the rest of the device's table; the table has reported it.
    pLight->m_handle = MatCore.Lights.AllocLight();
    if (pLight->m_handle == LIGHT_NONE) {
        delete pLight;
        return nullptr;
    }
    m_ppLights[slot] = pLight;
    m_pLightStates[slot] = 0;
    ++m_numLights;
    return pLight;
}

bool CLightManager::DestroyLight(CLight* pLight)
{
    if (!VERIFY(m_initialised) || !VERIFY(pLight)) return false;
    const int32_t slot = FindSlot(pLight);
    if (slot < 0) {
        assertFailedMsg("Tried to destroy non-existent light", "false", __FILE__, __LINE__);
        return false;
    }
    if (pLight->m_enabled) {
        pLight->m_enabled = 0;
        pLight->UpdateDevice();
    }
    // A light switched on by hand must not leave the table's slot lit.
    if (MatCore.Lights.IsLightEnabled(pLight->m_handle)) MatCore.Lights.LightEnable(pLight->m_handle, false);
    MatCore.Lights.FreeLight(pLight->m_handle);
    delete pLight;
    m_ppLights[slot] = nullptr;
    m_pLightStates[slot] = 0;
    --m_numLights;
    return true;
}

void CLightManager::SetLightActive(CLight* pLight, bool on)
{
    if (!VERIFY(m_initialised) || !VERIFY(pLight)) return;
    const int32_t slot = FindSlot(pLight);
    if (!VERIFY(slot >= 0)) return;
    if (!on && pLight->m_enabled) {
        pLight->m_enabled = 0;
        pLight->UpdateDevice();
    }
    m_pLightStates[slot] = on ? 1 : 0;
    pLight->m_active = on ? 1 : 0;
}

void CLightManager::InsertCandidate(CLight* pLight, uint32_t room)
{
    // Only the first few are handed out: a candidate that cannot be among them is not kept.
    if (room == 0) return;
    if (m_candidates.getNumItems() >= room) {
        m_candidates.GotoTail();
        if (!(pLight->m_key < static_cast<const CLight*>(m_candidates.GetCurrent())->m_key)) return;
        m_candidates.RemoveCurrent();
    }
    for (m_candidates.GotoHead(); m_candidates.HasCurrent(); m_candidates.GotoNext()) {
        const CLight* pListLight = static_cast<const CLight*>(m_candidates.GetCurrent());
        if (pListLight->m_key > pLight->m_key) {
            m_candidates.InsertBefore(pLight);
            return;
        }
    }
    m_candidates.GotoTail();
    m_candidates.InsertAfter(pLight);
}

bool CLightManager::GatherLights(const Vector3& position, float radius, CLight** ppLightList, uint32_t* pLightListSize)
{
    if (!VERIFY(m_initialised) || !VERIFY(ppLightList) || !VERIFY(pLightListSize)) return true;
    if (!m_lightingOn) return true;
    m_gatherPosition = position;
    m_candidates.RemoveAll();
    const float radiusSquared = radius * radius;
    for (uint32_t i = 0; i < m_maxLights; ++i) {
        if (!m_pLightStates[i]) continue;
        CLight* pLight = m_ppLights[i];
        const LightDescription& d = pLight->m_desc;
        float key;
        if (d.Type == D3DLIGHT_DIRECTIONAL) {
            key = (1.0f - pLight->m_brightness) * 100.0f;
        } else if (d.Type == D3DLIGHT_POINT || d.Type == D3DLIGHT_SPOT) {
            Vector3 toModel = position - Vector3(d.Position[0], d.Position[1], d.Position[2]);
            const float d2 = toModel.lengthSquared();
            if (!(d2 - radiusSquared < pLight->m_rangeSquared)) continue;
            // A model at the light itself is inside the cone; a dot product rounded past 1 must not
            // make the angle NaN.
            if (d.Type == D3DLIGHT_SPOT && d2 > 0.0f) {
                toModel.normalise();
                const float cosine = std::clamp(toModel.dot(Vector3(d.Direction[0], d.Direction[1], d.Direction[2])), -1.0f, 1.0f);
                if (std::acos(cosine) > d.Phi) continue;
            }
            key = (1.0f - pLight->m_brightness) * d2;
        } else {
            continue;
        }
        if (key < 0.0f) key = 0.0f;
        if (pLight->m_priority) key = -1.0f;
        pLight->m_key = key;
        InsertCandidate(pLight, *pLightListSize);
    }
    uint32_t n = 0;
    for (m_candidates.GotoHead(); m_candidates.HasCurrent() && n < *pLightListSize; m_candidates.GotoNext()) {
        CLight* pListLight = static_cast<CLight*>(m_candidates.GetCurrent());
        if (!VERIFY(pListLight)) break;
        ppLightList[n++] = pListLight;
    }
    *pLightListSize = n;
    return true;
}

bool CLightManager::ApplyLights(CLight* const* ppLightList, uint32_t count)
{
    if (!VERIFY(m_initialised) || !VERIFY(ppLightList)) return true;
    const uint32_t k = std::min(count, m_maxVisibleLights);
    for (uint32_t i = 0; i < k; ++i)
        if (!VERIFY(ppLightList[i])) return true;
    for (uint32_t i = 0; i < m_maxLights; ++i)
        if (m_pLightStates[i]) m_ppLights[i]->m_enabled = 0;
    for (uint32_t i = 0; i < k; ++i) ppLightList[i]->m_enabled = 1;
    for (uint32_t i = 0; i < m_maxLights; ++i)
        if (m_pLightStates[i]) m_ppLights[i]->UpdateDevice();
    if (k > 0) SetProminentLight(ppLightList[0]);
    return true;
}

void CLightManager::SetProminentLight(const CLight* pLight)
{
    const LightDescription& d = pLight->m_desc;
    Vector3 direction(d.Direction[0], d.Direction[1], d.Direction[2]);
    // A point light shines from where it stands towards the model last gathered for.
    if (d.Type == D3DLIGHT_POINT) {
        const Vector3 away = m_gatherPosition - Vector3(d.Position[0], d.Position[1], d.Position[2]);
        if (away.lengthSquared() > 0.0f) direction = away;
    }
    if (direction.lengthSquared() > 0.0f) direction.normalise();
    m_prominentDirection[0] = direction.x;
    m_prominentDirection[1] = direction.y;
    m_prominentDirection[2] = direction.z;
    D3DCore.ProminentLight = m_prominentDirection;
    D3DCore.ProminentIntensity = std::clamp(pLight->m_brightness, 0.0f, 1.0f);
}

void CLightManager::SetDrawHooks(LightDrawHook preDraw, LightDrawHook postDraw)
{
    m_pPreDrawHook = preDraw;
    m_pPostDrawHook = postDraw;
}
