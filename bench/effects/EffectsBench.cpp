// One frame of the effect manager with 1,000 live effects - its update walk (with distance fades)
// and its render's sort and walk from a moving camera - per second, beside the same frame over a
// std::vector: each effect's fade from its distance, the squared distances sorted with std::sort,
// and the sorted walk past the faded-out ones.
#include "../RenderCoreBench.h"
#include "../SphereModel.h"
#include "d3dcore9/D3DCore.h"
#include "effects/Effect.h"
#include "effects/EffectDefinition.h"
#include "effects/EffectManager.h"
#include "effects/EffectScene.h"
#include "global/ProjData.h"
#include "platform/testing.h"
#include "utility/Assert.h"
#include "utility/LList.h"
#include "utility/ParamBlock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

namespace {

constexpr int COUNT = 1000;

void quiet(const char*, const char*, const char*, int) {}

// A kind that lives for ever and draws nothing: the frame's cost is the manager's own.
class CStill : public CEffect {
public:
    using CEffect::CEffect;
    int GetType() const override { return TYPE_PARTICLESYSTEM; }
    bool GetBounds(Vector3* pCentre, float* pRadius) const override
    {
        *pCentre = m_position;
        *pRadius = 1.0f;
        return true;
    }
    bool Update() override { return true; }
    void Render(int, float) override {}
};

bool readStill(CEffectManager&, const CParamBlock& block, CEffectDefinition** ppDefinition)
{
    *ppDefinition = new CEffectDefinition;
    (*ppDefinition)->ReadCommonKeys(block);
    return true;
}

CEffect* createStill(CEffectManager& manager, CEffectDefinition* pDefinition, uintptr_t word, const Vector3& position,
                     const Matrix3& orientation)
{
    return new CStill(&manager, pDefinition, word, position, orientation);
}

const TEffectKind stillKind = {"STILL", readStill, createStill};

Vector3 camera;

// The device, the project data and COUNT effects scattered over a square kilometre, in a folder of
// their own (the render core's format list and the sphere model every effect manager loads).
CEffectManager* level()
{
    static CEffectManager* manager = nullptr;
    if (manager) return manager;
    setAssertReportHook(quiet);
    llistInitElementPool();
    static RenderCoreBench core(false, "effects");
    if (!core.ok() || !bench::prepareSphereModel(VELDRANE_DATA)) return nullptr;
    createProjData();
    SetExtraEffectKind(&stillKind);
    const char* file = "effects.txt";
    FILE* f = std::fopen(file, "w");
    std::fputs("STILL\n{\ninstancename still\nFadeMode 2\nFadeNear 300\nFadeFar 600\n}\n", f);
    std::fclose(f);
    manager = new CEffectManager;
    if (!manager->ReadBlocks(file) || !manager->PrecacheEffect("still")) return nullptr;
    manager->FreeBlocks();
    std::filesystem::remove(file);
    SetEffectSortCamera([](Vector3* p) {
        *p = camera;
        return true;
    });
    std::mt19937 random(1);
    std::uniform_real_distribution<float> spread(-500.0f, 500.0f);
    for (int i = 0; i < COUNT; ++i)
        manager->CreateEffect("still", Vector3(spread(random), spread(random), 0), Matrix3(), 0, nullptr, nullptr);
    return manager;
}

void BM_UpdateAndSort(benchmark::State& state)
{
    CEffectManager* manager = level();
    if (!manager) return state.SkipWithError("the effects could not be made");
    float step = 0;
    for (auto _ : state) {
        camera.set(400.0f * std::sin(step), 400.0f * std::cos(step), 0.0f);
        SetEffectCameraPosition(camera);
        step += 0.1f;
        manager->Update();
        manager->Render(0.5f);
    }
    state.SetItemsProcessed(state.iterations() * COUNT);
}
BENCHMARK(BM_UpdateAndSort);

// The baseline: the same fades, squared distances and sort from the same moving camera.
void BM_PlainUpdateAndSort(benchmark::State& state)
{
    if (!level()) return state.SkipWithError("the effects could not be made");
    struct Effect {
        Vector3 position;
        float fade = 1.0f;
        bool hidden = false;
    };
    std::mt19937 random(1);
    std::uniform_real_distribution<float> spread(-500.0f, 500.0f);
    std::vector<Effect> effects(COUNT);
    for (Effect& e : effects) e.position.set(spread(random), spread(random), 0);
    std::vector<std::pair<float, Effect*>> keys(COUNT);
    const float NEAR = 300.0f, FAR = 600.0f, RADIUS = 1.0f;
    float step = 0;
    uint32_t drawn = 0;
    for (auto _ : state) {
        camera.set(400.0f * std::sin(step), 400.0f * std::cos(step), 0.0f);
        step += 0.1f;
        for (Effect& e : effects) {
            const float d = (e.position - camera).length() - RADIUS;
            e.fade = d > FAR ? 0.0f : d > NEAR ? 1.0f - (d - NEAR) / (FAR - NEAR) : 1.0f;
        }
        for (int i = 0; i < COUNT; ++i) keys[i] = {(effects[i].position - camera).lengthSquared(), &effects[i]};
        std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [key, pEffect] : keys) drawn += pEffect->fade > 0.0f && !pEffect->hidden;
        benchmark::DoNotOptimize(keys.data());
    }
    benchmark::DoNotOptimize(drawn);
    state.SetItemsProcessed(state.iterations() * COUNT);
}
BENCHMARK(BM_PlainUpdateAndSort);
BENCH_PAIR(BM_UpdateAndSort, BM_PlainUpdateAndSort);

}  // namespace

VELDRANE_BENCH_MAIN("effects")
