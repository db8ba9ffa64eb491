#include "kestrune/LightEffects.h"

#include "l3render/LightManager.h"
#include "utility/Assert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

LightEffect* d_pLightEffectList = nullptr;
uint16_t d_maxLights = 0;
uint16_t d_firstUsedLight = INVALID_LIGHT;
uint16_t d_firstFreeLight = INVALID_LIGHT;
uint16_t d_numLights = 0;

const float EPSILON = 1e-8f;
const float POINT_ATTENUATION_SCALE = 0.15f;
const float SPOT_ATTENUATION = 4.0f;
const float LIGHTMAP_SIZE_SCALE = 1.75f;
const float DIRECTIONAL_SHARE = 0.75f;
// Fades are sums of steps: within this of an end they have reached it.
const float FADE_END = 1e-5f;

CLightManager* lightManager()
{
    CLightManager* pManager = CLightManager::GetInstance();
    // Without a device there is no light for models: the part is not made.
    return pManager->IsInitialised() ? pManager : nullptr;
}

// Chains of pool indices: remove from and push onto the head of one.
void unlink(uint16_t& head, uint16_t handle)
{
    LightEffect& e = d_pLightEffectList[handle];
    if (e.prev != INVALID_LIGHT)
        d_pLightEffectList[e.prev].next = e.next;
    else
        head = e.next;
    if (e.next != INVALID_LIGHT) d_pLightEffectList[e.next].prev = e.prev;
    e.prev = e.next = INVALID_LIGHT;
}

void pushFront(uint16_t& head, uint16_t handle)
{
    LightEffect& e = d_pLightEffectList[handle];
    e.prev = INVALID_LIGHT;
    e.next = head;
    if (head != INVALID_LIGHT) d_pLightEffectList[head].prev = handle;
    head = handle;
}

void buildFreeChain()
{
    std::memset(static_cast<void*>(d_pLightEffectList), 0, sizeof(LightEffect) * d_maxLights);
    for (uint16_t i = 0; i < d_maxLights; ++i) {
        d_pLightEffectList[i].prev = i > 0 ? static_cast<uint16_t>(i - 1) : INVALID_LIGHT;
        d_pLightEffectList[i].next = i + 1 < d_maxLights ? static_cast<uint16_t>(i + 1) : INVALID_LIGHT;
    }
    d_firstFreeLight = d_maxLights > 0 ? 0 : INVALID_LIGHT;
    d_firstUsedLight = INVALID_LIGHT;
    d_numLights = 0;
}

uint8_t colourByte(float c, float fade)
{
    const float scaled = std::clamp(c * 255.0f, 0.0f, 255.0f) * fade;
    return static_cast<uint8_t>(std::clamp(scaled, 0.0f, 255.0f));
}

void describe(const LightProperties& p, float fade, LightDescription* pDesc)
{
    LightDescription& d = *pDesc;
    d = LightDescription{};
    const auto put = [](float out[3], const Vector3& v) {
        out[0] = v.x;
        out[1] = v.y;
        out[2] = v.z;
    };
    if (p.type == LIGHT_DIRECTIONAL) {
        d.Type = D3DLIGHT_DIRECTIONAL;
        put(d.Direction, p.direction);
    } else if (p.type == LIGHT_POINT) {
        d.Type = D3DLIGHT_POINT;
        put(d.Position, p.position);
        d.Range = p.range;
        d.Attenuation1 = p.range > EPSILON ? 1.0f / (p.range * POINT_ATTENUATION_SCALE) : 0.0f;
    } else {
        d.Type = D3DLIGHT_SPOT;
        put(d.Position, p.position);
        put(d.Direction, p.direction);
        d.Range = p.range;
        d.Falloff = 1.0f;
        d.Attenuation1 = p.range > EPSILON ? SPOT_ATTENUATION / p.range : 0.0f;
        d.Theta = p.innerCone;
        d.Phi = p.outerCone;
    }
    // The manager's first colour is the properties' second, and the other way round.
    for (int i = 0; i < 3; ++i) {
        d.Colour[i] = p.colour2[i] * fade;
        d.Ambient[i] = p.colour1[i] * fade;
    }
}

// The light-map light of the properties; false when the light can have none.
bool makeLightMap(LightEffect& e, const LightProperties& properties)
{
    if (properties.type != LIGHT_POINT && properties.type != LIGHT_SPOT) return false;
    LightMapLight& lm = e.lightmap;
    lm = LightMapLight();
    lm.Type = properties.type == LIGHT_POINT ? LightMapLight::TYPE_POINT : LightMapLight::TYPE_SPOT;
    lm.Position = properties.position;
    lm.Range = properties.range;
    float size = properties.range * LIGHTMAP_SIZE_SCALE;
    if (properties.type == LIGHT_SPOT) {
        lm.Direction = properties.direction;
        if (!VERIFY(properties.range > EPSILON)) return false;
        size = std::tan((properties.innerCone + properties.outerCone) * 0.25f) * properties.range * LIGHTMAP_SIZE_SCALE;
    }
    const float fade = e.fadeProgress;
    lm.NearColour = 0xFF000000u | static_cast<DWORD>(colourByte(properties.colour2[0], fade)) << 16 |
                    static_cast<DWORD>(colourByte(properties.colour2[1], fade)) << 8 | colourByte(properties.colour2[2], fade);
    lm.FarColour = 0xFF000000u;
    lm.NearSize[0] = properties.lightMapSize[0];
    lm.NearSize[1] = properties.lightMapSize[1];
    lm.FarSize[0] = lm.FarSize[1] = size;
    lm.Map = properties.ownLightMap ? properties.lightMapIndex
                           : (properties.type == LIGHT_SPOT ? LightMapLight::DEFAULT_SPOT_MAP : LightMapLight::DEFAULT_POINT_MAP);
    return VERIFY(e.lightmap.Map < LightMaps.NumLightMaps());
}

// Brings the record's parts in line with the properties; its effects become the parts made.
bool applyProperties(LightEffect& e, const LightProperties& p)
{
    uint8_t made = 0;
    CLightManager* pManager = lightManager();
    if (!(p.effects & LIGHTEFFECT_MODEL)) {
        if (e.pD3DLight && pManager) pManager->DestroyLight(e.pD3DLight);
        e.pD3DLight = nullptr;
    } else if (pManager) {
        if (!e.pD3DLight) {
            e.pD3DLight = pManager->CreateLight();
            if (e.pD3DLight && e.on) pManager->SetLightActive(e.pD3DLight, true);
        }
        if (e.pD3DLight) {
            LightDescription desc;
            describe(p, e.fadeProgress, &desc);
            e.pD3DLight->SetDesc(&desc);
            e.pD3DLight->SetNoObjectColour(p.noObjectColour);
            made |= LIGHTEFFECT_MODEL;
        }
    }
    if ((p.effects & LIGHTEFFECT_LIGHTMAP) && makeLightMap(e, p)) made |= LIGHTEFFECT_LIGHTMAP;
    if (p.effects & LIGHTEFFECT_COLOUR) made |= LIGHTEFFECT_COLOUR;
    const uint8_t asked = p.effects & (LIGHTEFFECT_MODEL | LIGHTEFFECT_LIGHTMAP | LIGHTEFFECT_COLOUR);
    if (!VERIFY_MSG(asked == 0 || made != 0, "No part of the light effect could be made")) return false;
    e.properties = p;
    e.properties.effects = made;
    return true;
}

void reapply(LightEffect& e)
{
    const LightProperties p = e.properties;
    const uint8_t wanted = p.effects;
    applyProperties(e, p);
    const uint8_t actualEffects = e.properties.effects;
    ASSERT(actualEffects == wanted);
}

void setOn(LightEffect& e, bool on)
{
    if (e.pD3DLight) {
        if (CLightManager* pManager = lightManager()) pManager->SetLightActive(e.pD3DLight, on);
    }
    e.on = on ? 1 : 0;
}

// The record's parts released and the record back in the free chain.
void freeRecord(uint16_t handle)
{
    LightEffect& e = d_pLightEffectList[handle];
    setOn(e, false);
    applyProperties(e, LightProperties{});
    unlink(d_firstUsedLight, handle);
    pushFront(d_firstFreeLight, handle);
    e.used = 0;
    e.state = 0;
    if (VERIFY(d_numLights > 0)) --d_numLights;
}

void destroyEveryLight()
{
    while (d_firstUsedLight != INVALID_LIGHT) freeRecord(d_firstUsedLight);
    ASSERT(d_numLights == 0);
}

LightEffect* usedRecord(uint16_t handle) { return IsLightEffectValid(handle) ? &d_pLightEffectList[handle] : nullptr; }

}  // namespace

bool InitLightEffects(uint32_t maxLights)
{
    if (!VERIFY(maxLights < 0xffff)) return false;
    // A second level load without the first's shutdown starts again from an empty pool.
    if (!VERIFY(d_pLightEffectList == nullptr)) ShutdownLightEffects();
    LightMaps.Initialise();
    d_pLightEffectList = new (std::nothrow) LightEffect[maxLights];
    if (!VERIFY(d_pLightEffectList)) return false;
    d_maxLights = static_cast<uint16_t>(maxLights);
    buildFreeChain();
    return true;
}

void ShutdownLightEffects()
{
    if (d_pLightEffectList) {
        destroyEveryLight();
        delete[] d_pLightEffectList;
        d_pLightEffectList = nullptr;
    }
    d_maxLights = 0;
    d_firstUsedLight = d_firstFreeLight = INVALID_LIGHT;
    d_numLights = 0;
    if (LightMaps.IsInitialised()) LightMaps.Shutdown();
}

bool DestroyAllLightEffects()
{
    if (!d_pLightEffectList) return false;
    destroyEveryLight();
    buildFreeChain();
    return true;
}

bool IsLightEffectValid(uint16_t handle)
{
    return d_pLightEffectList && handle < d_maxLights && d_pLightEffectList[handle].used;
}

bool CreateLightEffect(const LightProperties& properties, uint16_t* pLightHandle)
{
    if (!VERIFY(d_pLightEffectList) || !VERIFY(pLightHandle)) return false;
    *pLightHandle = INVALID_LIGHT;
    const uint16_t handle = d_firstFreeLight;
    if (handle == INVALID_LIGHT) return false;
    LightEffect& e = d_pLightEffectList[handle];
    unlink(d_firstFreeLight, handle);
    e.state = 0;
    e.on = 0;
    e.pD3DLight = nullptr;
    e.properties = LightProperties{};
    e.fadeProgress = properties.fadeInDelay ? 0.0f : 1.0f;
    if (!applyProperties(e, properties)) {
        // Nothing could be made: the record goes back for the next light.
        pushFront(d_firstFreeLight, handle);
        return false;
    }
    e.used = 1;
    pushFront(d_firstUsedLight, handle);
    ++d_numLights;
    *pLightHandle = handle;
    return true;
}

void DestroyLightEffect(uint16_t handle, bool immediately)
{
    if (handle >= INVALID_LIGHT || !d_pLightEffectList || handle >= d_maxLights) return;
    LightEffect& e = d_pLightEffectList[handle];
    if (!e.used) {
        assertFailedMsg("Tried to destroy a non-existent light", "pEffect->used", __FILE__, __LINE__);
        return;
    }
    if (!immediately && e.properties.fadeOutDelay) {
        if (!VERIFY_MSG(!(e.state & LightEffect::STATE_MARKEDFORDEATH), "Tried to destroy a light twice")) return;
        e.state = LightEffect::STATE_FADINGOUT | LightEffect::STATE_MARKEDFORDEATH;
        return;
    }
    freeRecord(handle);
}

void SwitchLightEffect(uint16_t handle, bool on)
{
    LightEffect* pEffect = usedRecord(handle);
    if (!VERIFY(pEffect) || !VERIFY(!(pEffect->state & LightEffect::STATE_MARKEDFORDEATH))) return;
    if (!on) {
        if (pEffect->properties.fadeOutDelay) {
            pEffect->state = LightEffect::STATE_FADINGOUT;
        } else {
            setOn(*pEffect, false);
            pEffect->fadeProgress = 0.0f;
            pEffect->state = 0;
        }
        return;
    }
    setOn(*pEffect, true);
    if (!pEffect->properties.fadeInDelay) {
        pEffect->fadeProgress = 1.0f;
        pEffect->state = 0;
        reapply(*pEffect);
    } else {
        pEffect->state = LightEffect::STATE_FADINGIN;
    }
}

bool GetLightEffectProperties(uint16_t handle, LightProperties* pLightProperties)
{
    const LightEffect* pEffect = usedRecord(handle);
    if (!VERIFY(pLightProperties) || !VERIFY(pEffect)) return false;
    *pLightProperties = pEffect->properties;
    return true;
}

bool SetLightEffectProperties(uint16_t handle, const LightProperties& lightProperties)
{
    LightEffect* pEffect = usedRecord(handle);
    if (!VERIFY(pEffect) || !VERIFY(lightProperties.effects != 0)) return false;
    return applyProperties(*pEffect, lightProperties);
}

void UpdateLightEffects(uint32_t elapsed)
{
    if (!d_pLightEffectList) return;
    const float dt = static_cast<float>(elapsed);
    for (uint16_t handle = d_firstUsedLight; handle != INVALID_LIGHT;) {
        LightEffect& e = d_pLightEffectList[handle];
        const uint16_t next = e.next;  // a finished fade may free the record
        ASSERT(e.fadeProgress >= 0.0f);
        ASSERT(e.fadeProgress <= 1.0f);
        if (e.state & LightEffect::STATE_FADINGIN) {
            if (VERIFY(e.properties.fadeInDelay > 0)) e.fadeProgress += dt / static_cast<float>(e.properties.fadeInDelay);
            else e.fadeProgress = 1.0f;
            if (e.fadeProgress >= 1.0f - FADE_END) {
                e.fadeProgress = 1.0f;
                e.state = 0;
            }
            reapply(e);
        } else if (e.state & LightEffect::STATE_FADINGOUT) {
            if (VERIFY(e.properties.fadeOutDelay > 0)) e.fadeProgress -= dt / static_cast<float>(e.properties.fadeOutDelay);
            else e.fadeProgress = 0.0f;
            if (e.fadeProgress > FADE_END) {
                reapply(e);
            } else {
                e.fadeProgress = 0.0f;
                setOn(e, false);
                const bool condemned = (e.state & LightEffect::STATE_MARKEDFORDEATH) != 0;
                e.state = 0;
                if (condemned) freeRecord(handle);
            }
        }
        handle = next;
    }
}

void RenderLightEffectMaps()
{
    if (!d_pLightEffectList || !LightMaps.IsInitialised()) return;
    LightMaps.BeginLightMapping();
    for (uint16_t handle = d_firstUsedLight; handle != INVALID_LIGHT; handle = d_pLightEffectList[handle].next) {
        const LightEffect& e = d_pLightEffectList[handle];
        if (e.on && (e.properties.effects & LIGHTEFFECT_LIGHTMAP)) LightMaps.DrawLightMapLight(e.lightmap);
    }
    LightMaps.EndLightMapping();
}

uint32_t GetLightEffectColourAtPoint(const Vector3& point)
{
    float colour[3] = {0.5f, 0.5f, 0.5f};
    for (uint16_t handle = d_pLightEffectList ? d_firstUsedLight : INVALID_LIGHT; handle != INVALID_LIGHT;
         handle = d_pLightEffectList[handle].next) {
        const LightEffect& e = d_pLightEffectList[handle];
        const LightProperties& p = e.properties;
        if (!e.on || !(p.effects & LIGHTEFFECT_COLOUR) || p.noObjectColour) continue;
        if (p.type == LIGHT_DIRECTIONAL) {
            for (int i = 0; i < 3; ++i) colour[i] += (p.colour1[i] + p.colour2[i]) * e.fadeProgress * DIRECTIONAL_SHARE;
        } else if (p.type == LIGHT_POINT) {
            const float d2 = (p.position - point).lengthSquared(), r2 = p.range * p.range;
            if (d2 < r2)
                for (int i = 0; i < 3; ++i) colour[i] += p.colour2[i] * (1.0f - d2 / r2) * e.fadeProgress;
        } else {
            ASSERT(p.type == LIGHT_SPOT);
        }
    }
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        const float rounded = std::round(colour[i] * 255.0f);
        const float v = rounded >= 0.0f ? std::min(rounded, 255.0f) : 0.0f;
        out = out << 8 | static_cast<uint32_t>(v);
    }
    return out;
}

uint16_t GetMaxLightEffects() { return d_maxLights; }
uint16_t GetNumLightEffects() { return d_numLights; }
const LightEffect* GetLightEffect(uint16_t handle)
{
    return d_pLightEffectList && handle < d_maxLights ? &d_pLightEffectList[handle] : nullptr;
}
