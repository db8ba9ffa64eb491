// The device's fixed-function lights, held for the scene's light code. A slot is taken, described,
// switched on and off and given back; the table keeps every description so that the lights can be
// sent again after the device is lost, and counts the lights that are on against the device's
// limit. Main thread only.
#pragma once

#include "platform/d3d9.h"

#include <cstdint>

const uint32_t MAXLIGHTS = 128;
const uint32_t LIGHT_NONE = 0xFFFFFFFFu;

// A light as callers describe it: twenty four-byte fields in this order.
struct LightDescription {
    DWORD Type;  // D3DLIGHTTYPE
    float Colour[3];
    float Ambient[3];
    float Position[3];
    float Direction[3];
    float Range;
    float Falloff;
    float Attenuation0, Attenuation1, Attenuation2;
    float Theta, Phi;
};
static_assert(sizeof(LightDescription) == 80);

class LightTable {
public:
    LightTable();
    // A table still holding lights is reported.
    ~LightTable();
    LightTable(const LightTable&) = delete;
    LightTable& operator=(const LightTable&) = delete;

    // The lowest free slot; LIGHT_NONE, after the report, when all 128 are taken.
    uint32_t AllocLight();
    // A light that is still on is reported and switched off first.
    void FreeLight(uint32_t Handle);
    // Diffuse is the colour, specular half of it with alpha 0, ambient as given.
    void SetLight(uint32_t Handle, const LightDescription& description);
    void LightEnable(uint32_t Light, bool Enable);
    bool IsLightEnabled(uint32_t Handle) const;
    // Device lost: the lights that are on go off on the device but stay on here.
    void LoseLights();
    // Device restored: every description sent again, the lights that were on switched on.
    void RestoreLights();

    bool Used[MAXLIGHTS];
    bool Active[MAXLIGHTS];
    D3DLIGHT9 Lights[MAXLIGHTS];
    uint32_t FirstUsed, LastUsed, FirstFree, SlotsUsed;
    uint32_t ActiveLights;

private:
    // Reports and refuses a handle past the table or not in use.
    bool Valid(uint32_t Handle) const;
    void SetEmpty();
};

// The slots of the table.
uint32_t GetMaxLights();
// The lights the device can have on at once, at most the table's size.
uint32_t GetMaxActiveLights();
