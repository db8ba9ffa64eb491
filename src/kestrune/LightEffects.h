// Light effects: the short-lived dynamic lights of the world (muzzle flashes, explosions, burning
// wrecks, lamps). One light effect can light models through a light of the light manager, paint a
// light map on the landscape and tint objects through GetLightEffectColourAtPoint, each as its
// properties ask.
//
// A fixed pool made at level load (InitLightEffects(32)) and freed at its end; lights are addressed
// by 16-bit handles (INVALID_LIGHT for none). A new light is off: the caller switches it on. Lights
// fade in and out over their delays, and a light destroyed with a fade-out delay fades out and then
// frees itself.
//
//   LightProperties p = {};  p.effects = LIGHTEFFECT_MODEL | LIGHTEFFECT_LIGHTMAP;  p.type = LIGHT_POINT; ...
//   uint16_t light;
//   if (CreateLightEffect(p, &light)) SwitchLightEffect(light, true);
//   ... each frame UpdateLightEffects(ms); per viewport RenderLightEffectMaps() ...
//   DestroyLightEffect(light, false);
//
// Main thread only.
#pragma once

#include "kestrune/LightMaps.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CLight;

const uint16_t INVALID_LIGHT = 0xFFFF;

enum : uint8_t {
    LIGHTEFFECT_MODEL = 1,     // a light of the light manager for models
    LIGHTEFFECT_LIGHTMAP = 2,  // a light map on the landscape (point and spot lights)
    LIGHTEFFECT_COLOUR = 4,    // a share of the object colour
};

enum : uint8_t { LIGHT_DIRECTIONAL = 0, LIGHT_POINT = 1, LIGHT_SPOT = 2 };

// The caller's description of a light, copied whole.
struct LightProperties {
    uint8_t effects;  // LIGHTEFFECT_ bits (8 and 16 are taken and make nothing)
    uint8_t type;     // LIGHT_ type
    Vector3 position;
    Vector3 direction;
    float colour1[3];  // red, green, blue, 0..1
    float colour2[3];
    float range;
    float innerCone, outerCone;  // radians, spot lights
    uint8_t noObjectColour;      // takes no part in the object colour
    uint32_t fadeInDelay;        // ms; 0 appears at once
    uint32_t fadeOutDelay;       // ms; 0 vanishes at once
    float lightMapSize[2];       // the patch's half sizes in x and y with the light on the ground
    uint8_t ownLightMap;
    uint32_t lightMapIndex;      // with ownLightMap
};

// One record of the pool.
struct LightEffect {
    enum : uint32_t { STATE_FADINGIN = 1, STATE_FADINGOUT = 2, STATE_MARKEDFORDEATH = 4 };

    LightProperties properties;
    CLight* pD3DLight;
    LightMapLight lightmap;
    uint8_t on;
    uint8_t used;
    uint32_t state;
    float fadeProgress;  // 0..1, the light's strength now
    uint16_t prev, next;
};

// Reports maxLights of 0xFFFF or more. Loads the light maps; false when the pool cannot be made.
bool InitLightEffects(uint32_t maxLights);
// Every light destroyed at once, the pool freed, the light maps released.
void ShutdownLightEffects();
// Every light destroyed at once; the pool stays. False without a pool.
bool DestroyAllLightEffects();
// The fades, elapsed milliseconds since the last update.
void UpdateLightEffects(uint32_t elapsed);

// True for a handle of a light in use.
bool IsLightEffectValid(uint16_t handle);
// False when the pool is full or none of the parts asked for can be made.
bool CreateLightEffect(const LightProperties& properties, uint16_t* pLightHandle);
// With a fade-out delay (and not immediately) the light fades out first. Handles of no light in
// use are ignored (one within the pool is reported).
void DestroyLightEffect(uint16_t handle, bool immediately);
void SwitchLightEffect(uint16_t handle, bool on);
bool GetLightEffectProperties(uint16_t handle, LightProperties* pLightProperties);
bool SetLightEffectProperties(uint16_t handle, const LightProperties& lightProperties);

// The light-map pass of a viewport: the maps of the lights that are on.
void RenderLightEffectMaps();
// 0x00RRGGBB: a grey of one half plus what the lights that are on give the point.
uint32_t GetLightEffectColourAtPoint(const Vector3& point);

// For inspection: the pool's size, the lights in use, and a record (null past the pool).
uint16_t GetMaxLightEffects();
uint16_t GetNumLightEffects();
const LightEffect* GetLightEffect(uint16_t handle);
