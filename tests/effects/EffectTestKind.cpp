#include "EffectTestKind.h"

#include "d3dcore9/D3DCore.h"
#include "effects/Effect.h"
#include "effects/EffectDefinition.h"
#include "effects/EffectKinds.h"
#include "utility/ParamBlock.h"

#include <cstdio>

namespace {

struct CTestDefinition : CEffectDefinition {
    std::string name;
    int type = CEffect::TYPE_PARTICLESYSTEM, lifetime = 0, noBounds = 0;
};

class CTestEffect : public CEffect {
public:
    CTestEffect(CEffectManager* pManager, CTestDefinition* pDefinition, const Vector3& position,
                const Matrix3& orientation)
        : CEffect(pManager, pDefinition, 0, position, orientation), def(*pDefinition) { log("create"); }
    ~CTestEffect() override { log("delete"); }
    int GetType() const override { return def.type; }
    bool GetBounds(Vector3* pCentre, float* pRadius) const override
    {
        *pCentre = m_position, *pRadius = def.EffectRadius;
        return !def.noBounds;
    }
    bool Update() override { return log("update"), def.lifetime == 0 || ++updates < def.lifetime; }
    void Render(int pass, float) override
    {
        char more[16];
        std::snprintf(more, sizeof more, " %d", pass);
        log("render", more);
        renderedEffects().push_back(this);
        D3DCore.ForceRenderState(D3DRS_TEXTUREFACTOR, 0xE0u + static_cast<DWORD>(pass));
    }
    // Only the particle-system type has an emitter; the others answer as the base does.
    void PauseEmitter() override { emitter(true) ? log("pause") : CEffect::PauseEmitter(); }
    void UnpauseEmitter() override { emitter(false) ? log("unpause") : CEffect::UnpauseEmitter(); }
    bool IsEmitterPaused() const override { return def.type == TYPE_PARTICLESYSTEM ? paused : CEffect::IsEmitterPaused(); }
    void TriggerEmitter() override { log("trigger"); }

    const CTestDefinition& def;
    int updates = 0;
    bool paused = false;

private:
    void log(const char* what, const std::string& more = "") { effectLog().push_back(what + (" " + def.name) + more); }
    bool emitter(bool pause) { return def.type == TYPE_PARTICLESYSTEM && ((paused = pause), true); }
};

bool readTest(CEffectManager&, const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    CTestDefinition* pDefinition = new CTestDefinition;
    *ppDefinition = pDefinition;
    pDefinition->ReadCommonKeys(block);
    char name[64] = {};
    block.parseString("instancename", name);
    pDefinition->name = name;
    int fail = 0;
    block.parseInt("Type", &pDefinition->type), block.parseInt("Lifetime", &pDefinition->lifetime);
    block.parseInt("NoBounds", &pDefinition->noBounds), block.parseInt("Fail", &fail);
    return !fail;
}

CEffect* createTest(CEffectManager& manager, CEffectDefinition* pDefinition, uintptr_t, const Vector3& position,
                    const Matrix3& orientation)
{
    return new CTestEffect(&manager, static_cast<CTestDefinition*>(pDefinition), position, orientation);
}

const TEffectKind testKind = {"TESTEFFECT", readTest, createTest};

}  // namespace

std::vector<std::string>& effectLog()
{
    static std::vector<std::string> log;
    return log;
}

std::vector<std::string> logged(const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& entry : effectLog())
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    return out;
}

std::vector<const CEffect*>& renderedEffects()
{
    static std::vector<const CEffect*> rendered;
    return rendered;
}

std::string testEffectName(const CEffect* pEffect)
{
    const CTestEffect* pTest = dynamic_cast<const CTestEffect*>(pEffect);
    return pTest ? pTest->def.name : "multi";
}

void installTestKind()
{
    effectLog().clear();
    renderedEffects().clear();
    SetExtraEffectKind(&testKind);
}

void removeTestKind() { SetExtraEffectKind(nullptr); }
