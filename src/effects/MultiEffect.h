// CMultiEffect: a group of named sub-effects started together at one place and moved, paused and
// destroyed together. It draws nothing itself and lives while any started sub-effect does.
#pragma once

#include "effects/Effect.h"
#include "effects/EffectDefinition.h"
#include "effects/EffectManager.h"

#include <cstdint>

class CMultiEffectDefinition : public CEffectDefinition {
public:
    CMultiEffectDefinition() = default;
    ~CMultiEffectDefinition() override;

    // One name per entry of the "Effects" block, in order (empty when the entry names none).
    char (*pEffectNames)[EFFECTNAMELEN] = nullptr;
    uint32_t numEffects = 0;
};

class CMultiEffect : public CEffect {
public:
    CMultiEffect(CEffectManager* pManager, CMultiEffectDefinition* pDefinition, uintptr_t creationWord,
                 const Vector3& position, const Matrix3& orientation);
    ~CMultiEffect() override;

    int GetType() const override { return TYPE_MULTIEFFECT; }
    void SetPosition(const Vector3& position) override;
    void SetOrientation(const Matrix3& orientation) override;
    // True while any sub-effect started is still alive, or an entry never started keeps it.
    bool Update() override { return m_numLive != 0; }
    void Render(int, float) override {}
    void SetFollowedPoints(uint32_t count, Vector3* pPoints) override;
    void PauseEmitter() override;
    void UnpauseEmitter() override;
    bool IsEmitterPaused() const override { return m_paused; }

    // Fires the emitters of the particle systems among the live sub-effects, recursively.
    void Trigger();
    // The manager's destroy: every live sub-effect first, in entry order.
    void DestroySubEffects();

    uint32_t GetNumEntries() const { return m_numEntries; }
    uint32_t GetNumLive() const { return m_numLive; }
    CEffect* GetSubEffect(uint32_t index) const { return index < m_numEntries ? m_pSubEffects[index] : nullptr; }

private:
    struct TSubEffectRecord {
        CMultiEffect* pOwner;
        uint32_t index;
    };
    static void SubEffectEnded(CEffect* pEffect, void* pContext);

    uint32_t m_numLive;
    uint32_t m_numEntries;
    CEffect** m_pSubEffects;  // null once that sub-effect has ended
    TSubEffectRecord* m_pRecords;
    bool m_paused;
};

// The kind's reader for the kind table.
bool ReadMultiEffectDefinition(CEffectManager& manager, const CParamBlock& block, CEffectDefinition** ppDefinition);
