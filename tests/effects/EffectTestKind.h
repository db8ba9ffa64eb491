// A test-only effect kind under the block name "TESTEFFECT", which logs what is asked of it.
// Keys besides the common ones: "Type" (0 particle system, 2 trail, 3 point trail; default 0),
// "Lifetime" (updates before its update ends it; 0 never), "NoBounds" (1: it reports none),
// "Fail" (1: the reader fails after making its definition).
#pragma once

#include "effects/Effect.h"
#include "effects/EffectDefinition.h"

#include <string>
#include <vector>

class CTestEffect : public CEffect {
public:
    CTestEffect(CEffectManager* pManager, CEffectDefinition* pDefinition, uintptr_t creationWord,
                const Vector3& position, const Matrix3& orientation);
    ~CTestEffect() override;
    int GetType() const override;
    bool GetBounds(Vector3* pCentre, float* pRadius) const override;
    bool Update() override;
    void Render(int pass, float interpolation) override;
    void PauseEmitter() override;
    void UnpauseEmitter() override;
    bool IsEmitterPaused() const override
    {
        return GetType() == TYPE_PARTICLESYSTEM ? m_paused : CEffect::IsEmitterPaused();
    }
    void TriggerEmitter() override;

    std::string name;
    uint32_t updates = 0;
    bool m_paused = false;
};

// Every call, as "what name" (render: "render name pass"), in order; cleared by installTestKind.
std::vector<std::string>& effectLog();
// The effects drawn, in order.
std::vector<const CEffect*>& renderedEffects();
// Installs the kind (and clears the logs); removeTestKind takes it away.
void installTestKind();
void removeTestKind();
// The log entries that start with the text.
std::vector<std::string> logged(const std::string& prefix);
