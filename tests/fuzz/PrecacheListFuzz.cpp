// Reads any bytes as a particle-system precache list: the effect-object manager precaches what it
// names from a definitions file of the logging test kind, then every definition is instantiated,
// started, stepped and the table emptied again.
#include "EffectTestKind.h"
#include "FuzzSupport.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "global/ProjData.h"

#include <filesystem>

namespace {

void setUpOnce()
{
    static bool done = false;
    if (done) return;
    done = true;
    // Nothing is drawn: without a device the effect manager only reports that its draw callbacks
    // wait for one.
    createProjData();
    installTestKind();
    std::filesystem::create_directories("fuzz/particles");
    std::filesystem::create_directories("data/particles");
    FILE* f = fopen("data/particles/fx.txt", "wb");
    if (!f) abort();
    fputs("TESTEFFECT\n{\ninstancename spark\n}\nTESTEFFECT\n{\ninstancename smoke\nLifetime 1\n}\n", f);
    fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    setUpOnce();
    effectLog().clear();
    fuzz::writeInput("fuzz/particles/particlesystem_precache.psp", data, size);
    CEffectObjectResourceManager manager;
    manager.loadPrecacheList("fuzz\\");
    for (uint32_t i = 1; i < manager.getNumDefinitions(); ++i) {
        resDef def;
        manager.getDefinition(&def, i);
        resourceHandle handle = 0;
        CResource* pResource = nullptr;
        if (!manager.instantiate(def.typeId, &handle, 1) || !manager.acquire(handle, &pResource)) abort();
        static_cast<CParticleSystemEffect*>(pResource)->start(Vector3(), Matrix3(), i & 1);
    }
    manager.update(nullptr);
    manager.resetForRestart();
    if (manager.getNumInUse() != 0) abort();
    return 0;
}
