// The effect-object manager: instantiate, acquire and release cycles per second with a quarter of its
// slots taken, beside the plain way to do the same work - the object made and destroyed with the
// global new and delete in a std::vector of slots with a stack of free ones. The manager stands on
// the scripted card with one definition of a kind that never draws, in a folder of its own.
#include "ReferenceDevice.h"
#include "effects/Effect.h"
#include "effects/EffectDefinition.h"
#include "effects/EffectKinds.h"
#include "gameobjects/EffectObjectResourceManager.h"
#include "gameobjects/ParticleSystemEffect.h"
#include "global/ProjData.h"
#include "utility/Assert.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const uint32_t TYPE_ID = 0x05000000;
const uint32_t LIVE = CEffectObjectResourceManager::MAX_EFFECT_OBJECTS / 4;

void dropReport(const char*, const char*, const char*, int) {}

class CStill : public CEffect {
public:
    using CEffect::CEffect;
    int GetType() const override { return TYPE_PARTICLESYSTEM; }
    bool GetBounds(Vector3*, float*) const override { return false; }
    bool Update() override { return true; }
    void Render(int, float) override {}
};

bool readStill(CEffectManager&, const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    if (!*ppDefinition) *ppDefinition = new CEffectDefinition;
    (*ppDefinition)->ReadCommonKeys(block);
    return true;
}

CEffect* createStill(CEffectManager& manager, CEffectDefinition* pDefinition, uintptr_t word, const Vector3& position,
                     const Matrix3& orientation)
{
    return new CStill(&manager, pDefinition, word, position, orientation);
}

const TEffectKind stillKind = {"STILL", readStill, createStill};

bool put(const char* name, const char* text)
{
    FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    const bool written = std::fputs(text, f) >= 0;
    return std::fclose(f) == 0 && written;
}

// A private folder under the system's temporary folder, the working folder while it stands.
class PrivateFolder {
public:
    PrivateFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "veldrane-effectobjects-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        m_dir = pattern;
        std::error_code error;
        m_previous = std::filesystem::current_path(error);
        std::filesystem::current_path(m_dir, error);
        m_ok = !error;
    }
    ~PrivateFolder()
    {
        std::error_code error;
        if (!m_previous.empty()) std::filesystem::current_path(m_previous, error);
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir, error);
    }
    bool ok() const { return m_ok; }

private:
    std::filesystem::path m_dir, m_previous;
    bool m_ok = false;
};

// The device, the project data and a data folder with one effect definition.
bool bringUp()
{
    setAssertReportHook(dropReport);
    std::error_code error;
    std::filesystem::create_directories("data/particles", error);
    if (error || !put("data/4CC.txt", "3\nDXT1\nDXT3\nDXT5\n") ||
        !put("data/particles/particlesystem_precache.psp",
             "Precache\n{\nSet\n{\nfilename data\\particles\\fx.txt\nps_def0 spark\n}\n}\n") ||
        !put("data/particles/fx.txt", "STILL\n{\ninstancename spark\n}\n"))
        return false;
    if (!bringUpReferenceDevice()) return false;
    createProjData();
    SetExtraEffectKind(&stillKind);
    CEffectObjectResourceManager manager;
    uint32_t typeId = 0;
    return manager.findTypeByName("spark", &typeId) && typeId == TYPE_ID;
}

void BM_EffectCycle(benchmark::State& state)
{
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

void BM_EffectBaselineHeapSlots(benchmark::State& state)
{
    std::vector<CParticleSystemEffect*> slots(CEffectObjectResourceManager::MAX_EFFECT_OBJECTS);
    std::vector<uint32_t> free;
    for (uint32_t slot = static_cast<uint32_t>(slots.size()); slot-- > 0;) free.push_back(slot);
    // The global new and delete: the object's own go to the manager's pool.
    auto make = [&] {
        const uint32_t slot = free.back();
        free.pop_back();
        slots[slot] = ::new CParticleSystemEffect(TYPE_ID | slot, nullptr);
        return slot;
    };
    auto destroy = [&](uint32_t slot) {
        ::delete slots[slot];
        slots[slot] = nullptr;
        free.push_back(slot);
    };
    for (uint32_t i = 0; i < LIVE; ++i) make();
    for (auto _ : state) {
        const uint32_t slot = make();
        benchmark::DoNotOptimize(slots[slot]);
        destroy(slot);
    }
    for (uint32_t slot = 0; slot < LIVE; ++slot) destroy(slot);
}
BENCHMARK(BM_EffectBaselineHeapSlots);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PrivateFolder folder;
    if (!folder.ok() || !bringUp()) {
        std::fprintf(stderr, "effect objects: the device or the effect definition could not be brought up\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
