// A dynamic light of the scene: a description, a slot of the device's light table, and the bytes
// that say whether the game wants it (active) and whether the current draw has it on (enabled).
// Lights are made, destroyed and switched by CLightManager; the game describes them.
#pragma once

#include "matcore9/LightTable.h"

#include <cstdint>

class CLight {
public:
    // Copies the description, derives brightness and squared range, and sends it to the device
    // slot unless it equals what the slot already has.
    void SetDesc(const LightDescription* pDesc);
    void GetDesc(LightDescription* pDesc) const;
    // Brings the device light to the enabled byte; only a change is sent.
    void UpdateDevice();

    bool IsActive() const { return m_active != 0; }
    bool IsEnabled() const { return m_enabled != 0; }
    // A priority light ranks before every other candidate.
    void SetPriority(bool on) { m_priority = on ? 1 : 0; }
    bool IsPriority() const { return m_priority != 0; }
    // Kept for the light's owner: the light takes no part in the colour objects are tinted with.
    void SetNoObjectColour(uint8_t noObjectColour) { m_noObjectColour = noObjectColour; }
    uint8_t GetNoObjectColour() const { return m_noObjectColour; }
    float GetBrightness() const { return m_brightness; }
    float GetKey() const { return m_key; }
    uint32_t GetHandle() const { return m_handle; }
    const LightDescription& Desc() const { return m_desc; }

private:
    friend class CLightManager;

    float m_brightness = 0.0f;  // mean of the six colour components
    float m_rangeSquared = 0.0f;
    LightDescription m_desc{};
    LightDescription m_deviceDesc{};  // as last sent
    bool m_sent = false;              // m_deviceDesc holds something
    uint32_t m_handle = LIGHT_NONE;   // the device light table's slot
    uint8_t m_priority = 0;
    uint8_t m_active = 0;
    uint8_t m_enabled = 0;
    uint8_t m_noObjectColour = 0;
    float m_key = 0.0f;  // rank of the last gather
};
