// A model's preparation for its draw - the frustum test and gathering the 2 best of 32 active
// lights - per second, beside the same written plainly: the sphere against the view's six planes
// (its depth and its offsets along the view's axes), each light's key from its brightness and
// squared distance, and std::partial_sort for the best two.
#include "../PlainView.h"
#include "../RenderCoreBench.h"
#include "l3render/L3Render.h"
#include "l3render/LightManager.h"
#include "utility/Assert.h"
#include "utility/LList.h"

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

constexpr int LIGHTS = 32, MODELS = 256;

void quiet(const char*, const char*, const char*, int) {}

class Scene : public RenderCoreBench {
public:
    Scene() : RenderCoreBench(false, "scene")
    {
        setAssertReportHook(quiet);
        llistInitElementPool();
        std::mt19937 random(7);
        std::uniform_real_distribution<float> place(-1000.0f, 1000.0f), shade(0.2f, 1.0f);
        m_ok = m_ok && CLightManager::GetInstance()->Init(32, 0);
        if (!m_ok) return;
        CLightManager& manager = *CLightManager::GetInstance();
        manager.SetLightingEnabled(true);
        for (int i = 0; i < LIGHTS; ++i) {
            LightDescription d{};
            d.Type = D3DLIGHT_POINT;
            for (int c = 0; c < 3; ++c) d.Colour[c] = d.Ambient[c] = shade(random);
            for (float& p : d.Position) p = place(random);
            d.Range = 5000.0f;  // every light reaches every model: the whole list is ranked
            CLight* light = manager.CreateLight();
            light->SetDesc(&d);
            manager.SetLightActive(light, true);
            m_lights.push_back(light);
        }
        L3SetPerspective(10.0f, 5000.0f, 40.0f, 30.0f);
        L3SetViewFromAngles(Vector3(-1500.0f, 0.0f, 0.0f), 0.0f, 0.1f, 0.2f);
        for (int i = 0; i < MODELS; ++i) m_models.emplace_back(place(random), place(random), place(random));
    }

    ~Scene()
    {
        if (CLightManager::GetInstance()->IsInitialised()) CLightManager::GetInstance()->Shutdown();
        llistFreeElementPool();
        setAssertReportHook(nullptr);
    }

    std::vector<CLight*> m_lights;
    std::vector<Vector3> m_models;
};

void BM_ModelPreparation(benchmark::State& state)
{
    Scene scene;
    if (!scene.ok()) {
        state.SkipWithError("no device");
        return;
    }
    CLightManager& manager = *CLightManager::GetInstance();
    CLight* list[2];
    size_t i = 0;
    for (auto _ : state) {
        const Vector3& at = scene.m_models[i++ % MODELS];
        benchmark::DoNotOptimize(L3SphereInFrustum(at, 20.0f, false));
        uint32_t n = 2;
        manager.GatherLights(at, 20.0f, list, &n);
        benchmark::DoNotOptimize(list[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ModelPreparation);

void BM_PlainPreparation(benchmark::State& state)
{
    Scene scene;
    if (!scene.ok()) return state.SkipWithError("no device");
    struct Light {
        Vector3 position;
        float dimness;
    };
    std::vector<Light> lights;
    for (CLight* light : scene.m_lights) {
        const LightDescription& d = light->Desc();
        lights.push_back({Vector3(d.Position[0], d.Position[1], d.Position[2]), 1.0f - light->GetBrightness()});
    }
    const float RADIUS = 20.0f;
    std::vector<std::pair<float, int>> keys(LIGHTS);
    size_t i = 0;
    for (auto _ : state) {
        const Vector3& at = scene.m_models[i++ % MODELS];
        const bool inside = plainview::inView(at, RADIUS);
        benchmark::DoNotOptimize(inside);
        for (int l = 0; l < LIGHTS; ++l) keys[l] = {lights[l].dimness * (at - lights[l].position).lengthSquared(), l};
        std::partial_sort(keys.begin(), keys.begin() + 2, keys.end());
        benchmark::DoNotOptimize(keys[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainPreparation);
BENCH_PAIR(BM_ModelPreparation, BM_PlainPreparation);

}  // namespace

VELDRANE_BENCH_MAIN("scene")
