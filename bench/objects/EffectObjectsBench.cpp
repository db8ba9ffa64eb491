// The effect-object manager against the heap: instantiate, acquire and release cycles per second
// beside constructing and destroying the same object with the global new and delete. The manager
// stands on the scripted card with one definition of the logging test kind.
#include "EffectTestKind.h"
#include "ReferenceDevice.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "global/ProjData.h"
#include "utility/Assert.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>

namespace {

void dropReport(const char*, const char*, const char*, int) {}

// The device, the project data and a data folder with one effect, once for the program.
void bringUp()
{
    static bool done = false;
    if (done) return;
    done = true;
    setAssertReportHook(dropReport);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "veldrane-effects-bench";
    std::filesystem::create_directories(folder / "data" / "particles");
    std::filesystem::current_path(folder);
    FILE* f = fopen("data/particles/particlesystem_precache.psp", "wb");
    if (!f) abort();
    fputs("Precache\n{\nSet\n{\nfilename data\\particles\\fx.txt\nps_def0 spark\n}\n}\n", f);
    fclose(f);
    f = fopen("data/particles/fx.txt", "wb");
    if (!f) abort();
    fputs("TESTEFFECT\n{\ninstancename spark\n}\n", f);
    fclose(f);
    if (!bringUpReferenceDevice()) abort();
    createProjData();
    installTestKind();
}

void BM_EffectCycle(benchmark::State& state)
{
    bringUp();
    CEffectObjectResourceManager manager;
    // A quarter of the table taken, as in a busy level.
    resourceHandle handle = 0;
    for (uint32_t i = 0; i < CEffectObjectResourceManager::MAX_EFFECT_OBJECTS / 4; ++i)
        manager.instantiate(0x05000000, &handle, 1);
    for (auto _ : state) {
        CResource* pResource = nullptr;
        manager.instantiate(0x05000000, &handle, 1);
        manager.acquire(handle, &pResource);
        benchmark::DoNotOptimize(pResource);
        manager.release(handle);
    }
    manager.resetForRestart();
}
BENCHMARK(BM_EffectCycle);

void BM_EffectBaselineNewDelete(benchmark::State& state)
{
    for (auto _ : state) {
        void* pBlock = ::operator new(sizeof(CParticleSystemEffect));
        CParticleSystemEffect* pObject = ::new (pBlock) CParticleSystemEffect(0x05000000, nullptr);
        benchmark::DoNotOptimize(pBlock);
        pObject->~CParticleSystemEffect();
        ::operator delete(pBlock);
    }
}
BENCHMARK(BM_EffectBaselineNewDelete);

}  // namespace

BENCHMARK_MAIN();
