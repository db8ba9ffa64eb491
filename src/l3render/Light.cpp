#include "l3render/Light.h"

#include "matcore9/MatCore.h"
#include "utility/Assert.h"

#include <cstring>

void CLight::SetDesc(const LightDescription* pDesc)
{
    if (!VERIFY(pDesc)) return;
    m_desc = *pDesc;
    const float sum = m_desc.Colour[0] + m_desc.Colour[1] + m_desc.Colour[2] + m_desc.Ambient[0] +
                      m_desc.Ambient[1] + m_desc.Ambient[2];
    m_brightness = sum / 6.0f;
    m_rangeSquared = m_desc.Range * m_desc.Range;
    // Light effects describe their lights every frame; the device only hears of a change.
    if (m_sent && std::memcmp(&m_deviceDesc, &m_desc, sizeof(m_desc)) == 0) return;
    if (m_handle == LIGHT_NONE) return;
    MatCore.Lights.SetLight(m_handle, m_desc);
    m_deviceDesc = m_desc;
    m_sent = true;
}

void CLight::GetDesc(LightDescription* pDesc) const
{
    if (!VERIFY(pDesc)) return;
    *pDesc = m_desc;
}

void CLight::UpdateDevice()
{
    if (m_handle == LIGHT_NONE) return;
    const bool on = MatCore.Lights.IsLightEnabled(m_handle);
    if (m_enabled) {
        ASSERT(IsActive());
        if (!on) MatCore.Lights.LightEnable(m_handle, true);
    } else if (on) {
        MatCore.Lights.LightEnable(m_handle, false);
    }
}
