// The light manager: the scene's dynamic lights bound to slots of the device's light table. For each
// lit model it gathers the lights that reach the model, ranked by distance weighted by darkness, and
// switches exactly the first few on in the device before the model is drawn.
//
// One instance, made on first use (GetInstance); L3CreateDevice initialises it and L3DestroyDevice
// shuts it down. Lighting stays off until the game switches it on. Main thread only.
#pragma once

#include "l3render/Light.h"
#include "utility/LList.h"
#include "utility/VectorMath.h"

#include <cstdint>

class CModelInst;

// Called around the draw of a lit model instance; the world manager sets both with a level.
typedef void (*LightDrawHook)(CModelInst* pInstance);

class CLightManager {
public:
    static CLightManager* GetInstance();

    // maxLights and maxVisibleLights replace the table's and the device's limits only when they are
    // above 0 and below them. A second call is reported and keeps the live tables.
    bool Init(int32_t maxLights, int32_t maxVisibleLights);
    // Destroys every light still held; any left over afterwards is reported.
    void Shutdown();

    // Off: every light goes off in the device, and gathering finds nothing.
    void SetLightingEnabled(bool on);
    bool IsLightingEnabled() const { return m_lightingOn != 0; }

    // A new inactive light in the first free slot; null when the limit is reached.
    CLight* CreateLight();
    bool DestroyLight(CLight* pLight);
    // The game wants the light on (it then takes part in gathering) or off.
    void SetLightActive(CLight* pLight, bool on);

    // Up to *pLightListSize lights that reach the sphere, best first; the count becomes the number
    // written. With lighting off, list and count are left as they are.
    bool GatherLights(const Vector3& position, float radius, CLight** ppLightList, uint32_t* pLightListSize);
    // The first lights of the list (as many as the device shows at once) on, every other active
    // light off; only changes reach the device. The first light becomes the render core's
    // prominent light.
    bool ApplyLights(CLight* const* ppLightList, uint32_t count);

    void SetDrawHooks(LightDrawHook preDraw, LightDrawHook postDraw);
    LightDrawHook GetPreDrawHook() const { return m_pPreDrawHook; }
    LightDrawHook GetPostDrawHook() const { return m_pPostDrawHook; }

    bool IsInitialised() const { return m_initialised != 0; }
    uint32_t GetMaxLights() const { return m_maxLights; }
    uint32_t GetMaxVisibleLights() const { return m_maxVisibleLights; }
    uint32_t GetNumLights() const { return m_numLights; }

private:
    CLightManager() = default;
    ~CLightManager();
    // Where the candidate goes: before the first light with a greater key, so that equal keys keep
    // the order in which the slots were met. The list holds at most room lights.
    void InsertCandidate(CLight* pLight, uint32_t room);
    // Direction and intensity of the first applied light, for the render core's bump lighting.
    void SetProminentLight(const CLight* pLight);
    // The slot holding the light; -1 when none does.
    int32_t FindSlot(const CLight* pLight) const;

    static CLightManager* m_pInstance;

    uint8_t m_initialised = 0;
    uint8_t m_lightingOn = 0;
    uint32_t m_maxLights = 0;
    uint32_t m_numLights = 0;
    uint32_t m_maxVisibleLights = 0;
    LightDrawHook m_pPreDrawHook = nullptr;
    LightDrawHook m_pPostDrawHook = nullptr;
    CLight** m_ppLights = nullptr;      // one per slot
    uint8_t* m_pLightStates = nullptr;  // 1 active, 0 not
    llist m_candidates;                 // the best of the last gather, ascending keys
    Vector3 m_gatherPosition;           // of the last gather
    float m_prominentDirection[3] = {0.0f, 0.0f, -1.0f};
};
