// Reads any bytes as a particle-system precache list: the effect-object manager precaches what it
// names from a definitions file of the logging test kind, then every definition is instantiated,
// started, stepped and the table emptied again.
#include "EffectTestKind.h"
#include "FuzzSupport.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "global/ProjData.h"

namespace {

// One manager for the run: making its 20,000 slots is the dearest part of a level's start. Each
// input is the data folder's list, read again by the manager's device reset, which makes the
// definitions anew.
CEffectObjectResourceManager& manager()
{
    static CEffectObjectResourceManager* made = [] {
        fuzz::setUp();
        // Nothing is drawn: without a device the effect manager only reports that its draw callbacks
        // wait for one.
        createProjData();
        installTestKind();
        const char effects[] = "TESTEFFECT\n{\ninstancename spark\n}\nTESTEFFECT\n{\ninstancename smoke\nLifetime 1\n}\n";
        fuzz::writeInput("data/particles/fx.txt", effects, sizeof effects - 1);
        return new CEffectObjectResourceManager;
    }();
    return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CEffectObjectResourceManager& effects = manager();
    effectLog().clear();
    const fuzz::InputFile input("data/particles/particlesystem_precache.psp", data, size);
    effects.deviceReset();
    for (uint32_t i = 1; i < effects.getNumDefinitions(); ++i) {
        resDef def;
        effects.getDefinition(&def, i);
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        if (!effects.instantiate(def.typeId, &handle, 1) || !effects.acquire(handle, &pResource)) abort();
        static_cast<CParticleSystemEffect*>(pResource)->start(Vector3(), Matrix3(), i & 1);
    }
    effects.update(nullptr);
    effects.resetForRestart();
    if (effects.getNumInUse() != 0) abort();
    return 0;
}
