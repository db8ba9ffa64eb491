#include "EffectTestKind.h"

#include "d3dcore9/D3DCore.h"
#include "effects/EffectKinds.h"
#include "effects/EffectManager.h"
#include "utility/ParamBlock.h"

namespace {

class CTestDefinition : public CEffectDefinition {
public:
    std::string name;
    int type = CEffect::TYPE_PARTICLESYSTEM;
    uint32_t lifetime = 0;
    bool noBounds = false;
};

bool readTest(CEffectManager&, const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    CTestDefinition* pDefinition = new CTestDefinition;
    *ppDefinition = pDefinition;
    pDefinition->ReadCommonKeys(block);
    char name[64] = {};
    block.parseString("instancename", name);
    pDefinition->name = name;
    int value = 0;
    if (block.parseInt("Type", &value)) pDefinition->type = value;
    if (block.parseInt("Lifetime", &value)) pDefinition->lifetime = static_cast<uint32_t>(value);
    if (block.parseInt("NoBounds", &value)) pDefinition->noBounds = value != 0;
    effectLog().push_back("read " + pDefinition->name);
    return !(block.parseInt("Fail", &value) && value);
}

CEffect* createTest(CEffectManager& manager, CEffectDefinition* pDefinition, uintptr_t word, const Vector3& position,
                    const Matrix3& orientation)
{
    return new CTestEffect(&manager, pDefinition, word, position, orientation);
}

const TEffectKind testKind = {"TESTEFFECT", readTest, createTest};

const CTestDefinition& definitionOf(const CEffect* pEffect)
{
    return *static_cast<const CTestDefinition*>(pEffect->GetDefinition());
}

}  // namespace

CTestEffect::CTestEffect(CEffectManager* pManager, CEffectDefinition* pDefinition, uintptr_t creationWord,
                         const Vector3& position, const Matrix3& orientation)
    : CEffect(pManager, pDefinition, creationWord, position, orientation), name(definitionOf(this).name)
{
    effectLog().push_back("create " + name);
}

CTestEffect::~CTestEffect() { effectLog().push_back("delete " + name); }

int CTestEffect::GetType() const { return definitionOf(this).type; }

bool CTestEffect::GetBounds(Vector3* pCentre, float* pRadius) const
{
    if (definitionOf(this).noBounds) return false;
    *pCentre = m_position;
    *pRadius = m_pDefinition->EffectRadius;
    return true;
}

bool CTestEffect::Update()
{
    effectLog().push_back("update " + name);
    return definitionOf(this).lifetime == 0 || ++updates < definitionOf(this).lifetime;
}

void CTestEffect::Render(int pass, float)
{
    effectLog().push_back("render " + name + " " + std::to_string(pass));
    renderedEffects().push_back(this);
    // A mark the device recorder sees: the texture factor names the pass.
    D3DCore.ForceRenderState(D3DRS_TEXTUREFACTOR, 0xE0u + static_cast<DWORD>(pass));
}

// Only the particle-system type has an emitter; the others answer as the base does.
void CTestEffect::PauseEmitter()
{
    if (GetType() != TYPE_PARTICLESYSTEM) return CEffect::PauseEmitter();
    m_paused = true;
    effectLog().push_back("pause " + name);
}

void CTestEffect::UnpauseEmitter()
{
    if (GetType() != TYPE_PARTICLESYSTEM) return CEffect::UnpauseEmitter();
    m_paused = false;
    effectLog().push_back("unpause " + name);
}

void CTestEffect::TriggerEmitter() { effectLog().push_back("trigger " + name); }

std::vector<std::string>& effectLog()
{
    static std::vector<std::string> log;
    return log;
}

std::vector<const CEffect*>& renderedEffects()
{
    static std::vector<const CEffect*> rendered;
    return rendered;
}

void installTestKind()
{
    effectLog().clear();
    renderedEffects().clear();
    SetExtraEffectKind(&testKind);
}

void removeTestKind() { SetExtraEffectKind(nullptr); }

std::vector<std::string> logged(const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& entry : effectLog())
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    return out;
}
