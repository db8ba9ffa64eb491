// The effect-object manager: instantiate, acquire and release cycles per second with a quarter of its
// slots taken, beside the plain way to do the same work - the object made and destroyed with the
// global new and delete in a std::vector of slots with a stack of free ones (HeapSlots.h). The
// manager stands on the scripted card with one definition of the logging test kind.
#include "../BenchMain.h"
#include "../SphereModel.h"
#include "EffectTestKind.h"
#include "HeapSlots.h"
#include "ReferenceDevice.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "global/ProjData.h"
#include "utility/Assert.h"
#include "utility/LList.h"

#include <cstdio>
#include <vector>

namespace {

const uint32_t TYPE_ID = 0x05000000;
const uint32_t LIVE = CEffectObjectResourceManager::MAX_EFFECT_OBJECTS / 4;

void dropReport(const char*, const char*, const char*, int) {}

bool put(const char* name, const char* text)
{
    FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    const bool written = std::fputs(text, f) >= 0;
    return std::fclose(f) == 0 && written;
}

// The device, the project data and a data folder with one effect definition and the sphere model,
// once for the program (in its private folder); false when any of it cannot be made.
bool bringUp()
{
    static const bool up = [] {
        setAssertReportHook(dropReport);
        llistInitElementPool();
        std::error_code error;
        std::filesystem::create_directories("data/particles", error);
        if (error || !put("data/4CC.txt", "3\nDXT1\nDXT3\nDXT5\n") ||
            !put("data/particles/particlesystem_precache.psp",
                 "Precache\n{\nSet\n{\nfilename data\\particles\\fx.txt\nps_def0 spark\n}\n}\n") ||
            !put("data/particles/fx.txt", "TESTEFFECT\n{\ninstancename spark\n}\n") || !bringUpReferenceDevice() ||
            !bench::prepareSphereModel(VELDRANE_DATA))
            return false;
        createProjData();
        installTestKind();
        CEffectObjectResourceManager manager;
        uint32_t typeId = 0;
        return manager.findTypeByName("spark", &typeId) && typeId == TYPE_ID;
    }();
    return up;
}

void BM_EffectCycle(benchmark::State& state)
{
    if (!bringUp()) return state.SkipWithError("no device or no effect definition");
    CEffectObjectResourceManager manager;
    resourceHandle handle = 0;
    for (uint32_t i = 0; i < LIVE; ++i) manager.instantiate(TYPE_ID, &handle, 1);
    for (auto _ : state) {
        CResource* pResource = nullptr;
        manager.instantiate(TYPE_ID, &handle, 1);
        manager.acquire(handle, &pResource);
        benchmark::DoNotOptimize(pResource);
        manager.release(handle);
    }
    if (manager.getNumInUse() != LIVE) state.SkipWithError("the cycle lost or kept an object");
    manager.resetForRestart();
}
BENCHMARK(BM_EffectCycle);

// The same object on the global heap: its own new and delete go to the manager's pool.
void BM_EffectBaselineHeapSlots(benchmark::State& state)
{
    heapSlotCycles<CParticleSystemEffect>(state, CEffectObjectResourceManager::MAX_EFFECT_OBJECTS, TYPE_ID,
                                          static_cast<resDef*>(nullptr));
}
BENCHMARK(BM_EffectBaselineHeapSlots);
BENCH_PAIR(BM_EffectCycle, BM_EffectBaselineHeapSlots);

}  // namespace

VELDRANE_BENCH_MAIN("effectobjects")
